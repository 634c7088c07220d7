#include "devicebrowser/modules/desktop/core/pictures.h"

#include <cstdlib>
#include <cstring>

namespace handrel::desktop {

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Bitmap file layout: the file header, then the information header.
namespace bmp {
constexpr size_t kMagic = 0, kFileSize = 2, kPixelOffset = 10;
constexpr size_t kInfoSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26, kBits = 28, kCompression = 30;
constexpr size_t kFileHeader = 14, kInfoHeader = 40, kHeaders = kFileHeader + kInfoHeader;
constexpr uint32_t kRgb = 0, kBitFields = 3;
}  // namespace bmp

const char16_t* Extension(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpg: return u".jpg";
    case PictureFormat::kPng: return u".png";
    case PictureFormat::kBmp:
    default: return u".bmp";
  }
}

std::u16string Decimal(uint32_t value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return text;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

std::u16string PictureName(uint32_t width, uint32_t height, PictureFormat format) {
  return Decimal(width) + u"x" + Decimal(height) + u"x16" + Extension(format);
}

bool BuildPictures(int32_t width, int32_t height, int32_t bitsPerPixel, std::vector<Picture>& pictures) {
  pictures.clear();
  if (bitsPerPixel != kServedBitsPerPixel) return false;
  const PictureFormat formats[] = {PictureFormat::kBmp, PictureFormat::kJpg, PictureFormat::kPng};
  const int zooms[] = {100, 50, 200};
  for (PictureFormat format : formats) {
    for (int zoom : zooms) {
      int64_t w = width, h = height;
      if (zoom == 50) {
        w /= 2;
        h /= 2;
      } else if (zoom == 200) {
        w *= 2;
        h *= 2;
      }
      if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) continue;
      Picture p;
      p.format = format;
      p.zoom = zoom;
      p.width = static_cast<uint16_t>(w);
      p.height = static_cast<uint16_t>(h);
      p.estimate = static_cast<uint32_t>(w * h * 2);
      p.name = PictureName(p.width, p.height, format);
      pictures.push_back(std::move(p));
    }
  }
  return true;
}

Picture* FindPicture(std::vector<Picture>& pictures, const std::u16string& path) {
  size_t slash = path.rfind(u'\\');
  std::u16string last = slash == std::u16string::npos ? path : path.substr(slash + 1);
  for (Picture& p : pictures) {
    if (p.name.size() != last.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < last.size(); ++i) same = Lower(p.name[i]) == Lower(last[i]);
    if (same) return &p;
  }
  return nullptr;
}

std::u16string SnapshotRequest(int zoom) {
  std::u16string request = u"GetSnapshoot;";
  if (zoom == 50) request += u"ZOOM=50%;";
  if (zoom == 200) request += u"ZOOM=200%;";
  return request;
}

bool TakeSnapshot(SnapshotSeam& seam, int zoom, std::vector<uint8_t>& answer, uint32_t& error) {
  std::u16string request = SnapshotRequest(zoom);
  uint32_t status = 0;
  answer.clear();
  bool answered = seam.Invoke(request, answer, status);
  if (!answered || status != 0) {
    // The connection may have dropped since the listing: once more after reconnecting.
    answer.clear();
    if (seam.Reconnect()) {
      status = 0;
      answered = seam.Invoke(request, answer, status);
    }
  }
  if (answered && status == 0) {
    error = 0;
    return true;
  }
  answer.clear();
  error = status != 0 ? status : kUnspecifiedFailure;
  return false;
}

BitmapFault CheckBitmap(const uint8_t* data, size_t size, BitmapFacts& facts) {
  facts = BitmapFacts{};
  if (data == nullptr || size < bmp::kHeaders) return BitmapFault::kTooShort;
  if (data[bmp::kMagic] != 'B' || data[bmp::kMagic + 1] != 'M') return BitmapFault::kNotBitmap;
  uint32_t infoSize = Le32(data + bmp::kInfoSize);
  // The information header's known forms: 40, 52, 56, 108 and 124 bytes.
  if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) {
    return BitmapFault::kNotBitmap;
  }
  uint64_t fileSize = Le32(data + bmp::kFileSize);
  uint64_t pixelOffset = Le32(data + bmp::kPixelOffset);
  if (fileSize > size || bmp::kFileHeader + uint64_t{infoSize} > size) return BitmapFault::kTruncated;
  int32_t width = static_cast<int32_t>(Le32(data + bmp::kWidth));
  int32_t height = static_cast<int32_t>(Le32(data + bmp::kHeight));
  int64_t absHeight = height < 0 ? -int64_t{height} : height;
  if (width <= 0 || absHeight == 0 || static_cast<uint64_t>(width) > kMaxPictureSide ||
      static_cast<uint64_t>(absHeight) > kMaxPictureSide || Le16(data + bmp::kPlanes) != 1) {
    return BitmapFault::kBadGeometry;
  }
  uint16_t bits = Le16(data + bmp::kBits);
  uint32_t compression = Le32(data + bmp::kCompression);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return BitmapFault::kBadFormat;
  if (compression != bmp::kRgb && !(compression == bmp::kBitFields && (bits == 16 || bits == 32))) {
    return BitmapFault::kBadFormat;
  }
  uint64_t rowSize = ((uint64_t{static_cast<uint32_t>(width)} * bits + 31) / 32) * 4;
  uint64_t pixelBytes = rowSize * static_cast<uint64_t>(absHeight);
  if (pixelOffset < bmp::kFileHeader + infoSize || pixelOffset > size || pixelBytes > size - pixelOffset) {
    return BitmapFault::kTruncated;
  }
  facts.width = static_cast<uint32_t>(width);
  facts.height = static_cast<uint32_t>(absHeight);
  facts.bits = bits;
  facts.pixelOffset = static_cast<size_t>(pixelOffset);
  facts.pixelBytes = static_cast<size_t>(pixelBytes);
  return BitmapFault::kNone;
}

// ---- GrowableBlock --------------------------------------------------------------------------

GrowableBlock::GrowableBlock(Reallocate reallocate) : reallocate_(reallocate ? reallocate : std::realloc) {}

GrowableBlock::~GrowableBlock() {
  if (owned_ && data_ != nullptr) std::free(data_);
}

bool GrowableBlock::Allocate(size_t capacity) {
  if (owned_ && data_ != nullptr) std::free(data_);
  data_ = nullptr;
  owned_ = true;
  capacity_ = size_ = position_ = 0;
  if (!Grow(capacity)) return false;
  return true;
}

void GrowableBlock::Wrap(const uint8_t* data, size_t size) {
  if (owned_ && data_ != nullptr) std::free(data_);
  data_ = const_cast<uint8_t*>(data);  // never written: Write and SetSize refuse a wrapped block
  owned_ = false;
  capacity_ = size_ = size;
  position_ = 0;
}

bool GrowableBlock::Grow(size_t capacity) {
  if (!owned_) return false;
  if (capacity <= capacity_ && data_ != nullptr) return true;
  void* grown = reallocate_(data_, capacity == 0 ? 1 : capacity);
  if (grown == nullptr) return false;
  data_ = static_cast<uint8_t*>(grown);
  std::memset(data_ + capacity_, 0, capacity - capacity_);
  capacity_ = capacity;
  return true;
}

size_t GrowableBlock::Read(void* out, size_t count) {
  size_t available = size_ > position_ ? size_ - position_ : 0;
  size_t n = count < available ? count : available;
  if (n != 0) std::memcpy(out, data_ + position_, n);
  position_ += n;
  return n;
}

bool GrowableBlock::Write(const void* data, size_t count) {
  if (!owned_) return false;
  if (count > capacity_ - position_) {
    size_t growth = count + kGrowthSlack > kMinGrowth ? count + kGrowthSlack : kMinGrowth;
    if (growth > SIZE_MAX - capacity_ || !Grow(capacity_ + growth)) return false;
  }
  if (count != 0) std::memcpy(data_ + position_, data, count);
  position_ += count;
  if (position_ > size_) size_ = position_;
  return true;
}

bool GrowableBlock::Seek(int origin, int64_t offset, uint64_t& newPosition) {
  int64_t base = 0;
  if (origin == 1) {
    base = static_cast<int64_t>(position_);
  } else if (origin == 2) {
    base = static_cast<int64_t>(size_);
  } else if (origin != 0) {
    return false;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return false;
  int64_t target = base + offset;
  if (static_cast<uint64_t>(target) > capacity_) return false;
  position_ = static_cast<size_t>(target);
  newPosition = static_cast<uint64_t>(target);
  return true;
}

bool GrowableBlock::SetSize(uint64_t size) {
  if (!owned_ || size > SIZE_MAX) return false;
  if (size > capacity_ && !Grow(static_cast<size_t>(size))) return false;
  size_ = static_cast<size_t>(size);
  if (position_ > capacity_) position_ = capacity_;
  return true;
}

}  // namespace handrel::desktop
