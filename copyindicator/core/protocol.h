// The messages of the copy service's pipe "\\.\pipe\KELFerry" and the client that exchanges them.
// Every exchange is one connection: write the request, read the reply if there is one, close.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veloma {

constexpr size_t kJobListRecordSize = 2112;
constexpr size_t kJobDetailRecordSize = 4288;
// A list reply names its own record count; more than this is taken as a broken reply rather
// than allocated (the service never runs that many jobs, and the table shows 100 at most).
constexpr uint32_t kMaxListedJobs = 4096;

enum OperationKind : uint32_t { kCopy = 1, kMove = 2, kWipe = 3, kDelete = 4, kSetAttributes = 5 };
enum PendingQuestion : uint32_t { kNoQuestion = 0, kTargetExists = 1, kErrorOccurred = 2, kLinkFound = 4 };
enum class JobCommand : uint32_t { kAbort = 4, kTogglePause = 8 };

// AnswerCode values; kApplyToAll is added when the user ticked "apply to all".
enum AnswerCode : uint32_t {
  kAnswerAbort = 0, kAnswerOverwrite = 1, kAnswerAppend = 2, kAnswerSkip = 3, kAnswerSkipAll = 4,
  kAnswerRetry = 5, kAnswerCopy = 6, kAnswerLink = 7,
};
constexpr uint32_t kApplyToAll = 0x80000000u;

using QuestionToken = std::array<uint8_t, 8>;

struct SystemTime {  // the service's local start time, as the platform's SYSTEMTIME
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
};

// What the indicator reads of a JobListRecord.
struct JobListing {
  uint32_t id = 0;  // 0: not a real job
  uint32_t kind = 0;
  std::u16string source, destination;
  uint32_t percent = 0;  // clamped to 0..100
  bool paused = false;
  uint32_t question = kNoQuestion;
  bool waiting = false;
};

// What the indicator reads of a JobDetailRecord; kind 0 marks an unusable record.
struct JobDetails {
  JobListing job;
  std::u16string fullSource, fullDestination;
  QuestionToken token{};
  uint32_t errorCode = 0;
  SystemTime start;
  uint64_t total = 0;
  uint64_t done = 0;  // sum of the two parts the service reports
};

// Decoders of the reply bodies; each reads only within the given size.
// DecodeJobListing/DecodeJobDetails need at least the record size: false otherwise.
bool DecodeJobListing(const uint8_t* record, size_t size, JobListing& out);
bool DecodeJobDetails(const uint8_t* record, size_t size, JobDetails& out);

// The requests, byte for byte.
std::vector<uint8_t> EncodeListJobs();
std::vector<uint8_t> EncodeGetJobDetails(uint32_t id);
std::vector<uint8_t> EncodeCommand(JobCommand command, uint32_t id);
std::vector<uint8_t> EncodeAnswer(uint32_t code, uint32_t id);  // the token goes in a second write

// One open connection to the pipe. The shell implements it over a file handle; tests fake it.
class PipeConnection {
 public:
  virtual ~PipeConnection() = default;
  // true when every byte was written.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Reads up to size bytes, waiting for all of them unless the pipe ends or fails; returns the count.
  virtual size_t Read(uint8_t* data, size_t size) = 0;
};

class PipeConnector {
 public:
  virtual ~PipeConnector() = default;
  // A new connection, or nullptr when the service is absent or busy (no wait, no retry).
  virtual std::unique_ptr<PipeConnection> Connect() = 0;
};

// The client side of the service's messages. Every failure is silent: the caller simply tries
// again at its next poll.
class ServiceClient {
 public:
  explicit ServiceClient(PipeConnector& connector) : connector_(connector) {}

  // true with the listed jobs; false (out empty) when the exchange failed: not connected, the
  // request not written, a leading u32 missing, N above kMaxListedJobs, or the records short.
  bool ListJobs(std::vector<JobListing>& out);
  // true when the reply's first u32 arrived; out.job.kind is 0 when the record itself is unusable.
  bool GetJobDetails(uint32_t id, JobDetails& out);
  void SendCommand(JobCommand command, uint32_t id);
  void SendAnswer(uint32_t code, uint32_t id, const QuestionToken& token);

 private:
  PipeConnector& connector_;
};

}  // namespace veloma
