// The desktop module's portable logic: the picture entries made from the device's screen
// metrics, the screenshot request and its retry, the checks on a screenshot answer, and the
// growable memory block behind the COM stream that carries pictures to and from the encoder.
// Names and requests are UTF-16. Threads: the host's only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::desktop {

enum class PictureFormat { kBmp = 0, kJpg = 1, kPng = 2 };

constexpr int32_t kServedBitsPerPixel = 16;
constexpr uint32_t kMaxPictureSide = 16384;  // the device-side library refuses larger captures

// One panel entry: the screen at one zoom in one format.
struct Picture {
  PictureFormat format = PictureFormat::kBmp;
  uint16_t width = 0, height = 0;
  int zoom = 100;          // 50, 100 or 200
  uint32_t estimate = 0;   // width x height x 2: the size of its 16-bit pixels
  std::u16string name;     // "240x320x16.bmp"
  std::vector<uint8_t> bytes;  // the picture once taken
  bool taken = false;
  size_t position = 0;     // read position in bytes

  // The listed size until the picture is taken, then its byte count.
  uint64_t Size() const { return taken ? bytes.size() : estimate; }
};

// The entries for a screen: BMP, JPG, PNG, each at 100 %, 50 % and 200 %. False (and no entries)
// when the bits per pixel are not 16. A size that comes out 0 or above kMaxPictureSide (a device
// reporting nonsense) leaves its entries out.
bool BuildPictures(int32_t width, int32_t height, int32_t bitsPerPixel, std::vector<Picture>& pictures);

// "%ix%ix%i" with width, height and 16, and the format's extension.
std::u16string PictureName(uint32_t width, uint32_t height, PictureFormat format);

// The picture named by the last component of a path (ASCII letters compared without regard to
// case), or null.
Picture* FindPicture(std::vector<Picture>& pictures, const std::u16string& path);

// "GetSnapshoot;" with "ZOOM=50%;" or "ZOOM=200%;" (nothing for 100 %).
std::u16string SnapshotRequest(int zoom);

// The device's answer to one invoke request.
class SnapshotSeam {
 public:
  virtual ~SnapshotSeam() = default;
  // Sends the request (its text and terminator). True when an answer came; status: the call's.
  virtual bool Invoke(const std::u16string& request, std::vector<uint8_t>& answer, uint32_t& status) = 0;
  // Drops and restarts the connection: true when it is back.
  virtual bool Reconnect() = 0;
};

constexpr uint32_t kUnspecifiedFailure = 0x80004005;

// The screenshot for a zoom: the request, and when it fails or brings no answer a reconnect and
// one more request. False with the call's status (0x80004005 when that was 0).
bool TakeSnapshot(SnapshotSeam& seam, int zoom, std::vector<uint8_t>& answer, uint32_t& error);

// What a screenshot answer must be before anything uses it: a bitmap file whose headers hold
// together and whose pixels are all inside the answer.
enum class BitmapFault {
  kNone,
  kTooShort,       // not even the two headers
  kNotBitmap,      // no "BM", or an unknown header size
  kTruncated,      // shorter than the file size or pixel data its headers give
  kBadGeometry,    // zero or oversized sides, planes not 1
  kBadFormat,      // bit depth or compression this module does not take
};
struct BitmapFacts {
  uint32_t width = 0, height = 0, bits = 0;
  size_t pixelOffset = 0, pixelBytes = 0;
};
BitmapFault CheckBitmap(const uint8_t* data, size_t size, BitmapFacts& facts);

// ---- The growable block behind the memory stream --------------------------------------------

// One block of memory: capacity bytes allocated, the first `size` of them content, a position.
// A block it allocated it frees; a block handed in (Wrap) it only reads and never grows or frees.
// Writing past the capacity grows it by the larger of (bytes to write + 1024) and 256 KiB.
class GrowableBlock {
 public:
  static constexpr size_t kMinGrowth = 262144;
  static constexpr size_t kGrowthSlack = 1024;
  using Reallocate = void* (*)(void* block, size_t size);

  explicit GrowableBlock(Reallocate reallocate = nullptr);
  ~GrowableBlock();
  GrowableBlock(const GrowableBlock&) = delete;
  GrowableBlock& operator=(const GrowableBlock&) = delete;

  // A zeroed block of `capacity` bytes, empty, owned. False when it cannot be allocated.
  bool Allocate(size_t capacity);
  // Someone else's bytes, read only.
  void Wrap(const uint8_t* data, size_t size);

  // Copies at most `count` bytes from the position and advances.
  size_t Read(void* out, size_t count);
  // Writes at the position (growing first when needed) and advances; false only when the growth
  // fails (or the block is not its own).
  bool Write(const void* data, size_t count);
  // origin 0: the start, 1: the position, 2: the end (the size). False when the result falls
  // outside 0..capacity.
  bool Seek(int origin, int64_t offset, uint64_t& newPosition);
  // Reallocates when it grows; the size becomes `size`. False when the growth fails.
  bool SetSize(uint64_t size);

  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }
  size_t Position() const { return position_; }
  bool Owned() const { return owned_; }

 private:
  bool Grow(size_t capacity);
  Reallocate reallocate_;
  uint8_t* data_ = nullptr;
  size_t capacity_ = 0, size_ = 0, position_ = 0;
  bool owned_ = false;
};

}  // namespace handrel::desktop
