#include "copyindicator/core/protocol.h"

#include "copyindicator/core/bytes.h"

namespace veloma {
namespace {

// JobListRecord field offsets (the first 2112 bytes of a JobDetailRecord are the same).
constexpr size_t kRecId = 0;
constexpr size_t kRecKind = 4;
constexpr size_t kRecSource = 8, kRecSourceBytes = 1560;
constexpr size_t kRecDestination = 1568, kRecDestinationBytes = 520;
constexpr size_t kRecPercent = 2088;
constexpr size_t kRecPaused = 2092;
constexpr size_t kRecQuestion = 2100;
constexpr size_t kRecWaiting = 2104;
// JobDetailRecord fields past the listing part.
constexpr size_t kDetFullSource = 2112, kDetFullSourceBytes = 1040;
constexpr size_t kDetFullDestination = 3152, kDetFullDestinationBytes = 1040;
constexpr size_t kDetToken = 4200;
constexpr size_t kDetErrorCode = 4208;
constexpr size_t kDetStart = 4216;
constexpr size_t kDetTotal = 4232;
constexpr size_t kDetDone1 = 4240, kDetDone2 = 4248;

static_assert(kRecWaiting + 4 + 4 == kJobListRecordSize, "list record ends after the last u32");
static_assert(kDetDone2 + 8 + 32 == kJobDetailRecordSize, "detail record ends after 32 unread bytes");

constexpr uint32_t kRequestQuery = 2, kRequestAnswer = 4;
constexpr uint32_t kQueryList = 1, kQueryDetails = 2;

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes(words.size() * 4);
  size_t at = 0;
  for (uint32_t w : words) {
    Store32(bytes.data() + at, w);
    at += 4;
  }
  return bytes;
}

bool WriteAll(PipeConnection& pipe, const std::vector<uint8_t>& bytes) {
  return pipe.Write(bytes.data(), bytes.size());
}

}  // namespace

bool DecodeJobListing(const uint8_t* p, size_t size, JobListing& out) {
  if (size < kJobListRecordSize) return false;
  out.id = Load32(p + kRecId);
  out.kind = Load32(p + kRecKind);
  out.source = LoadText(p + kRecSource, kRecSourceBytes);
  out.destination = LoadText(p + kRecDestination, kRecDestinationBytes);
  uint32_t percent = Load32(p + kRecPercent);
  out.percent = percent > 100 ? 100 : percent;  // a bar never runs past its row
  out.paused = Load32(p + kRecPaused) != 0;
  out.question = Load32(p + kRecQuestion);
  out.waiting = Load32(p + kRecWaiting) != 0;
  return true;
}

bool DecodeJobDetails(const uint8_t* p, size_t size, JobDetails& out) {
  if (size < kJobDetailRecordSize) return false;
  DecodeJobListing(p, size, out.job);
  out.fullSource = LoadText(p + kDetFullSource, kDetFullSourceBytes);
  out.fullDestination = LoadText(p + kDetFullDestination, kDetFullDestinationBytes);
  for (size_t i = 0; i < out.token.size(); ++i) out.token[i] = p[kDetToken + i];
  out.errorCode = Load32(p + kDetErrorCode);
  const uint8_t* t = p + kDetStart;
  out.start = {Load16(t), Load16(t + 2), Load16(t + 4), Load16(t + 6),
               Load16(t + 8), Load16(t + 10), Load16(t + 12), Load16(t + 14)};
  out.total = Load64(p + kDetTotal);
  // Two parts that a broken service could make wrap: saturate instead.
  uint64_t a = Load64(p + kDetDone1), b = Load64(p + kDetDone2);
  out.done = a > UINT64_MAX - b ? UINT64_MAX : a + b;
  return true;
}

std::vector<uint8_t> EncodeListJobs() { return Words({kRequestQuery, kQueryList}); }
std::vector<uint8_t> EncodeGetJobDetails(uint32_t id) { return Words({kRequestQuery, kQueryDetails, id}); }
std::vector<uint8_t> EncodeCommand(JobCommand command, uint32_t id) {
  return Words({kRequestQuery, static_cast<uint32_t>(command), id});
}
std::vector<uint8_t> EncodeAnswer(uint32_t code, uint32_t id) { return Words({kRequestAnswer, code, id}); }

bool ServiceClient::ListJobs(std::vector<JobListing>& out) {
  out.clear();
  std::unique_ptr<PipeConnection> pipe = connector_.Connect();
  if (!pipe || !WriteAll(*pipe, EncodeListJobs())) return false;
  uint8_t head[8];
  if (pipe->Read(head, sizeof head) != sizeof head) return false;
  uint32_t count = Load32(head);
  if (count > kMaxListedJobs) return false;
  std::vector<uint8_t> records(count * kJobListRecordSize);
  if (count != 0 && pipe->Read(records.data(), records.size()) != records.size()) return false;
  out.resize(count);
  for (uint32_t i = 0; i < count; ++i)
    DecodeJobListing(records.data() + i * kJobListRecordSize, kJobListRecordSize, out[i]);
  return true;
}

bool ServiceClient::GetJobDetails(uint32_t id, JobDetails& out) {
  out = JobDetails{};  // kind 0: unusable until a record arrives
  std::unique_ptr<PipeConnection> pipe = connector_.Connect();
  if (!pipe || !WriteAll(*pipe, EncodeGetJobDetails(id))) return false;
  uint8_t head[4];
  if (pipe->Read(head, sizeof head) != sizeof head) return false;
  std::vector<uint8_t> record(kJobDetailRecordSize);
  if (pipe->Read(record.data(), record.size()) == record.size())
    DecodeJobDetails(record.data(), record.size(), out);
  return true;
}

void ServiceClient::SendCommand(JobCommand command, uint32_t id) {
  std::unique_ptr<PipeConnection> pipe = connector_.Connect();
  if (pipe) WriteAll(*pipe, EncodeCommand(command, id));
}

void ServiceClient::SendAnswer(uint32_t code, uint32_t id, const QuestionToken& token) {
  std::unique_ptr<PipeConnection> pipe = connector_.Connect();
  if (pipe && WriteAll(*pipe, EncodeAnswer(code, id))) pipe->Write(token.data(), token.size());
}

}  // namespace veloma
