// The item sequence of a whole image: the volumes one after the other, with the description
// item after the first volume of a partitioned image.
#pragma once

#include <cstdint>
#include <memory>

#include "archiveformats/diskimage/core/detect.h"
#include "archiveformats/diskimage/core/fat_walk.h"

namespace oculo {

class ImageReader {
 public:
  // The source and the converter must outlive the reader.
  ImageReader(ByteSource& source, LongNameConverter convert);
  ~ImageReader();
  ImageReader(const ImageReader&) = delete;
  ImageReader& operator=(const ImageReader&) = delete;

  // Finds the volumes. true: the source is a disk image (the walk starts over).
  bool Detect();
  const DetectedImage& Image() const { return image_; }

  // Starts the item walk at volume 1 (partitioned) or at the one volume.
  void Rewind();

  // The next item: true with `item` filled, false after the last volume. On a partitioned image
  // the end of the first volume gives one item named "descript.ion" (nameOnly); the end of any
  // other volume goes straight on to the next one.
  bool Next(ImageItem& item);

  // Offset of the volume the walk starts with, or -1 before a successful Detect.
  int64_t FirstVolumeOffset() const;

  // Directory clusters read so far by the walk (each at most once per volume).
  uint64_t ClustersRead() const { return clustersRead_; }

 private:
  ByteSource& source_;
  LongNameConverter convert_;
  DetectedImage image_;
  bool detected_ = false;
  size_t current_ = 0;  // index into image_.volumes of the volume being walked
  bool descriptionGiven_ = false;
  std::unique_ptr<VolumeWalker> walker_;
  uint64_t clustersRead_ = 0;
};

}  // namespace oculo
