// Fuzz harness: whatever the service sends back, list and detail replies decode within bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "copyindicator/core/protocol.h"

namespace {

// A pipe whose every reply is the fuzz input.
class BytesPipe : public veloma::PipeConnection {
 public:
  BytesPipe(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Write(const uint8_t*, size_t) override { return true; }
  size_t Read(uint8_t* out, size_t n) override {
    size_t take = n < size_ - at_ ? n : size_ - at_;
    if (take) std::memcpy(out, data_ + at_, take);
    at_ += take;
    return take;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class BytesConnector : public veloma::PipeConnector {
 public:
  BytesConnector(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::unique_ptr<veloma::PipeConnection> Connect() override { return std::make_unique<BytesPipe>(data_, size_); }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesConnector connector(data, size);
  veloma::ServiceClient client(connector);
  std::vector<veloma::JobListing> jobs;
  if (client.ListJobs(jobs)) {
    for (const auto& j : jobs)
      if (j.percent > 100 || j.source.size() > 780 || j.destination.size() > 260) __builtin_trap();
  }
  veloma::JobDetails details;
  if (client.GetJobDetails(1, details) && (details.fullSource.size() > 520 || details.fullDestination.size() > 520))
    __builtin_trap();
  return 0;
}
