// The seam between the stand-in's parsers and the bytes of a file: read N bytes at an offset.
// The Win32 shell reads files through it; tests and fuzz harnesses read memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bass {

class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly n bytes at off; false when any of them lies outside the source or on I/O error.
  virtual bool ReadAt(uint64_t off, void* buf, size_t n) = 0;
};

// A source over memory the caller keeps alive.
class MemorySource : public Source {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t off, void* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A source over a file opened with the C library (UTF-8 path on POSIX).
class StdFileSource : public Source {
 public:
  ~StdFileSource() override;
  bool Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t off, void* buf, size_t n) override;

 private:
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

// A window [offset, offset + length) of another source (length 0: to its end).
class SliceSource : public Source {
 public:
  SliceSource(Source& inner, uint64_t offset, uint64_t length);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t off, void* buf, size_t n) override;

 private:
  Source& inner_;
  uint64_t offset_;
  uint64_t size_;
};

// Reads up to max bytes from the start of a source (all of it when smaller).
std::vector<uint8_t> ReadHead(Source& src, size_t max);

inline uint16_t Ld16le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Ld32le(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t Ld16be(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Ld32be(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// A bounds-checked view over a byte buffer: every read past the end fails and stays failed.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return ok_ ? size_ - pos_ : 0; }
  void Seek(size_t at) {
    if (at > size_) ok_ = false;
    else pos_ = at;
  }
  uint8_t U8() { return Need(1) ? data_[pos_++] : 0; }
  uint16_t U16le() {
    if (!Need(2)) return 0;
    uint16_t v = Ld16le(data_ + pos_);
    pos_ += 2;
    return v;
  }
  uint32_t U32le() {
    if (!Need(4)) return 0;
    uint32_t v = Ld32le(data_ + pos_);
    pos_ += 4;
    return v;
  }
  void Skip(size_t n) {
    if (Need(n)) pos_ += n;
  }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace bass
