#include "archiveformats/diskimage/core/image_reader.h"

#include <utility>

namespace oculo {

ImageReader::ImageReader(ByteSource& source, LongNameConverter convert)
    : source_(source), convert_(convert ? std::move(convert) : LongNameConverter(AsciiLongNames)) {}

ImageReader::~ImageReader() = default;

bool ImageReader::Detect() {
  walker_.reset();
  detected_ = DetectImage(source_, image_);
  Rewind();
  return detected_;
}

void ImageReader::Rewind() {
  walker_.reset();
  current_ = 0;
  descriptionGiven_ = false;
}

bool ImageReader::Next(ImageItem& item) {
  if (!detected_) return false;
  while (current_ < image_.volumes.size()) {
    if (!walker_) {
      int number = image_.partitioned ? static_cast<int>(current_ + 1) : 0;
      walker_ = std::make_unique<VolumeWalker>(source_, image_.volumes[current_], number, convert_);
    }
    if (walker_->Next(item)) return true;
    clustersRead_ += walker_->ClustersRead();
    walker_.reset();
    ++current_;
    if (image_.partitioned && !descriptionGiven_) {
      descriptionGiven_ = true;
      item = ImageItem{};
      item.name = "descript.ion";
      item.nameOnly = true;
      return true;
    }
  }
  return false;
}

int64_t ImageReader::FirstVolumeOffset() const {
  if (!detected_ || image_.volumes.empty()) return -1;
  return static_cast<int64_t>(image_.volumes.front().offset);
}

}  // namespace oculo
