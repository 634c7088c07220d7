// A copy service in memory for the model's tests: it answers the pipe's messages from a list of
// jobs, records every request, and can be told to be absent or to send broken replies.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "copyindicator/core/jobs.h"
#include "copyindicator/core/protocol.h"

namespace veloma::test {

// Records written with literal offsets, so that a wrong offset in the decoder cannot agree with itself.
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutText(std::vector<uint8_t>& b, size_t at, const std::u16string& t) {
  for (size_t i = 0; i < t.size(); ++i) {
    b[at + 2 * i] = static_cast<uint8_t>(t[i]);
    b[at + 2 * i + 1] = static_cast<uint8_t>(t[i] >> 8);
  }
}

struct FakeJob {
  uint32_t id = 0;
  uint32_t kind = 1;
  std::u16string source = u"C:\\src\\a.bin", destination = u"D:\\dst";
  std::u16string fullSource, fullDestination;
  uint32_t percent = 0, paused = 0, question = 0, waiting = 0, errorCode = 0;
  uint64_t token = 0;
  uint16_t start[8] = {2026, 12, 2, 8, 10, 20, 30, 0};
  uint64_t total = 0, done1 = 0, done2 = 0;
};

inline std::vector<uint8_t> ListRecord(const FakeJob& j, size_t size = 2112) {
  std::vector<uint8_t> b(size);
  Put32(b, 0, j.id);
  Put32(b, 4, j.kind);
  PutText(b, 8, j.source);
  PutText(b, 1568, j.destination);
  Put32(b, 2088, j.percent);
  Put32(b, 2092, j.paused);
  Put32(b, 2100, j.question);
  Put32(b, 2104, j.waiting);
  return b;
}

inline std::vector<uint8_t> DetailRecord(const FakeJob& j) {
  std::vector<uint8_t> b = ListRecord(j, 4288);
  PutText(b, 2112, j.fullSource);
  PutText(b, 3152, j.fullDestination);
  Put64(b, 4200, j.token);
  Put32(b, 4208, j.errorCode);
  for (int i = 0; i < 8; ++i) {
    b[4216 + 2 * static_cast<size_t>(i)] = static_cast<uint8_t>(j.start[i]);
    b[4217 + 2 * static_cast<size_t>(i)] = static_cast<uint8_t>(j.start[i] >> 8);
  }
  Put64(b, 4232, j.total);
  Put64(b, 4240, j.done1);
  Put64(b, 4248, j.done2);
  return b;
}

class FakeService : public PipeConnector {
 public:
  std::vector<FakeJob> jobs;
  bool absent = false;
  // List replies sent as these bytes, in turn, before the real ones (broken or oversized replies).
  std::deque<std::vector<uint8_t>> rawListReplies;
  std::vector<std::vector<uint8_t>> requests;  // each connection's written bytes, concatenated
  int connections = 0;

  std::unique_ptr<PipeConnection> Connect() override;

  FakeJob* Find(uint32_t id) {
    for (FakeJob& j : jobs)
      if (j.id == id) return &j;
    return nullptr;
  }
  // The requests other than ListJobs and GetJobDetails, as words, e.g. {2, 8, 7} for TogglePause 7.
  std::vector<std::vector<uint32_t>> Commands() const {
    std::vector<std::vector<uint32_t>> out;
    for (const auto& r : requests) {
      std::vector<uint32_t> words;
      for (size_t i = 0; i + 4 <= r.size(); i += 4) {
        uint32_t w;
        std::memcpy(&w, r.data() + i, 4);
        words.push_back(w);
      }
      if (words.size() >= 2 && words[0] == 2 && (words[1] == 1 || words[1] == 2)) continue;
      out.push_back(words);
    }
    return out;
  }
};

class FakeConnection : public PipeConnection {
 public:
  explicit FakeConnection(FakeService& service) : service_(service) { service_.requests.emplace_back(); }
  bool Write(const uint8_t* data, size_t size) override {
    service_.requests.back().insert(service_.requests.back().end(), data, data + size);
    Answer();
    return true;
  }
  size_t Read(uint8_t* data, size_t size) override {
    size_t n = std::min(size, reply_.size() - readAt_);
    std::memcpy(data, reply_.data() + readAt_, n);
    readAt_ += n;
    return n;
  }

 private:
  void Answer() {
    const std::vector<uint8_t>& r = service_.requests.back();
    if (r.size() == 8 && r[0] == 2 && r[4] == 1) {
      if (!service_.rawListReplies.empty()) {
        reply_ = service_.rawListReplies.front();
        service_.rawListReplies.pop_front();
        return;
      }
      reply_.assign(8, 0);
      Put32(reply_, 0, static_cast<uint32_t>(service_.jobs.size()));
      for (const FakeJob& j : service_.jobs) {
        std::vector<uint8_t> rec = ListRecord(j);
        reply_.insert(reply_.end(), rec.begin(), rec.end());
      }
    } else if (r.size() == 12 && r[0] == 2 && r[4] == 2) {
      uint32_t id;
      std::memcpy(&id, r.data() + 8, 4);
      reply_.assign(4, 0);
      if (FakeJob* j = service_.Find(id)) {
        std::vector<uint8_t> rec = DetailRecord(*j);
        reply_.insert(reply_.end(), rec.begin(), rec.end());
      }
    }
  }
  FakeService& service_;
  std::vector<uint8_t> reply_;
  size_t readAt_ = 0;
};

inline std::unique_ptr<PipeConnection> FakeService::Connect() {
  if (absent) return nullptr;
  ++connections;
  return std::make_unique<FakeConnection>(*this);
}

// Clock, sink and text measure of the model.
class FakeSeam : public IndicatorSeam {
 public:
  uint64_t now = 0;
  std::vector<int> notified;
  uint64_t NowLocalFileTime() override { return now; }
  void Notify(int slot) override { notified.push_back(slot); }
  // 6 pixels a character, like a small fixed font.
  int MeasureText(const std::u16string& text) override { return static_cast<int>(text.size()) * 6; }
  void AdvanceMs(uint64_t ms) { now += ms * 10000; }
};

}  // namespace veloma::test
