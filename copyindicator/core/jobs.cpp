#include "copyindicator/core/jobs.h"

#include <algorithm>

#include "copyindicator/core/detail.h"

namespace veloma {

void SpeedMeter::Reset() { *this = SpeedMeter{}; }

double SpeedMeter::Update(uint32_t elapsedMs, double amount) {
  if (amount < last_ || last_ == 0) last_ = amount;
  double rate = elapsedMs == 0 ? 0 : (amount - last_) / elapsedMs * 1000.0;
  last_ = amount;
  sum_ = sum_ + rate - samples_[static_cast<size_t>(index_)];
  if (sum_ < 0) sum_ = 0;
  // A stall leaves the ring alone, so each tick takes the oldest sample off the sum once more.
  if (rate != 0) {
    samples_[static_cast<size_t>(index_)] = rate;
    index_ = (index_ + 1) % kSamples;
    if (count_ < kSamples) ++count_;
  }
  return Speed();
}

double SpeedMeter::Speed() const { return sum_ / std::max(count_, 1); }

uint64_t SystemTimeToFileTime(const SystemTime& t) {
  if (t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return 0;
  // Days from 1601-01-01 by the civil-calendar formula (March-based years).
  int64_t y = t.year - (t.month <= 2 ? 1 : 0);
  int64_t era = y / 400;
  int64_t yoe = y - era * 400;
  int64_t m = t.month;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t daysFromEpoch0 = era * 146097 + doe;  // days since 0000-03-01
  constexpr int64_t k1601 = 584694;             // 1601-01-01 in the same count
  int64_t days = daysFromEpoch0 - k1601;
  int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return static_cast<uint64_t>(seconds) * 10000000u + static_cast<uint64_t>(t.ms) * 10000u;
}

JobModel::JobModel(ServiceClient& client, IndicatorSeam& seam, const Settings& settings)
    : client_(client), seam_(seam), settings_(settings) {
  TakeNoNotifyTime();
}

void JobModel::SetHovered(int row) {
  if (row != hovered_) {
    meter_.Reset();
    detailText_.clear();
  }
  hovered_ = row;
}

int JobModel::RowOf(uint32_t id) const {
  if (id == 0) return -1;
  for (int i = 0; i < count_; ++i)
    if (Job(i).id == id) return i;
  return -1;
}

void JobModel::Register(const JobListing& listing) {
  if (count_ >= kMaxJobs) return;
  auto free = std::find_if(jobs_.begin(), jobs_.end(), [](const CopyJob& j) { return j.id == 0; });
  if (free == jobs_.end()) return;
  CopyJob job;
  job.id = listing.id;
  JobDetails details;
  client_.GetJobDetails(listing.id, details);
  uint64_t start = details.job.kind != 0 ? SystemTimeToFileTime(details.start) : 0;
  // Without a usable start time the job is timed from now.
  job.startTime = start != 0 ? start : seam_.NowLocalFileTime();
  *free = job;
  ++count_;
}

PollResult JobModel::Poll(uint32_t tickMs) {
  PollResult result;
  std::vector<JobListing> listed;
  result.listed = client_.ListJobs(listed);
  if (result.listed) {
    for (const JobListing& l : listed) {
      if (l.id == 0) continue;
      auto found = std::find_if(jobs_.begin(), jobs_.end(), [&](const CopyJob& j) { return j.id == l.id; });
      if (found == jobs_.end()) {
        int before = count_;
        Register(l);
        result.added += count_ - before;
        continue;
      }
      CopyJob& job = *found;
      if (job.state == JobState::kUserAborted) continue;
      job.percent = l.percent;
      JobState state = l.question != kNoQuestion ? JobState::kAttention
                       : l.paused                ? JobState::kPaused
                       : l.waiting               ? JobState::kWaiting
                                                 : JobState::kRunning;
      if (state == JobState::kAttention && job.state != JobState::kAttention) seam_.Notify(kSlotAttention);
      if (state == JobState::kRunning && job.state != JobState::kRunning && !settings_.notifyIncludeWaits)
        job.startTime = seam_.NowLocalFileTime();
      if (state != job.state && hovered_ == -1) result.stateChanged = true;
      job.state = state;
    }
    if (count_ > 0) result.removed = RemoveVanished(listed);
  }
  if (hovered_ >= count_) SetHovered(-1);
  if (hovered_ != -1) {
    JobDetails details;
    client_.GetJobDetails(jobs_[static_cast<size_t>(hovered_)].id, details);
    detailText_ = ComposeDetailText(details, meter_, tickMs - previousTick_, seam_.NowLocalFileTime(),
                                    [this](const std::u16string& t) { return seam_.MeasureText(t); });
  }
  previousTick_ = tickMs;
  return result;
}

int JobModel::RemoveVanished(const std::vector<JobListing>& listed) {
  int removed = 0;
  uint64_t threshold = static_cast<uint64_t>(noNotifyTime_) * 10000u;
  int i = 0;
  while (i < count_) {
    CopyJob& job = jobs_[static_cast<size_t>(i)];
    bool present = std::any_of(listed.begin(), listed.end(), [&](const JobListing& l) { return l.id == job.id; });
    if (present) {
      ++i;
      continue;
    }
    if (job.notify) {
      uint64_t now = seam_.NowLocalFileTime();
      uint64_t elapsed = now > job.startTime ? now - job.startTime : 0;
      bool abortAllowed = job.state != JobState::kUserAborted || settings_.notifyUserAbort != 0;
      if (elapsed >= threshold && abortAllowed) seam_.Notify(kSlotJobFinished);
      finishedSum_ += elapsed;
      if (count_ <= 1) {
        if (finishedSum_ >= threshold && abortAllowed) seam_.Notify(kSlotAllFinished);
        finishedSum_ = 0;
      }
    }
    // Close the gap; the entry moved into place i is examined next, so none is skipped.
    std::move(jobs_.begin() + i + 1, jobs_.begin() + count_, jobs_.begin() + i);
    jobs_[static_cast<size_t>(count_ - 1)] = CopyJob{0, 0, JobState::kRunning, 0, true};
    jobs_[static_cast<size_t>(count_ - 1)].id = 0;
    --count_;
    ++removed;
  }
  return removed;
}

void JobModel::ClickPause(int index) {
  if (!Valid(index)) return;
  JobState s = Job(index).state;
  if (s == JobState::kAttention || s == JobState::kWaiting) return;
  client_.SendCommand(JobCommand::kTogglePause, Job(index).id);
}

void JobModel::MenuPause(int index) {
  if (!Valid(index)) return;
  JobDetails details;
  client_.GetJobDetails(Job(index).id, details);
  JobState s = Job(index).state;
  bool send = !details.job.paused && !details.job.waiting ? s != JobState::kPaused
                                                          : s != JobState::kRunning && s != JobState::kWaiting;
  if (send) client_.SendCommand(JobCommand::kTogglePause, Job(index).id);
}

void JobModel::Abort(int index) {
  if (!Valid(index)) return;
  client_.SendCommand(JobCommand::kAbort, Job(index).id);
  jobs_[static_cast<size_t>(index)].state = JobState::kUserAborted;
}

void JobModel::PauseAll() {
  for (int i = 0; i < count_; ++i)
    if (Job(i).state != JobState::kPaused) client_.SendCommand(JobCommand::kTogglePause, Job(i).id);
}

void JobModel::StartAll() {
  for (int i = 0; i < count_; ++i) {
    JobState s = Job(i).state;
    if (s != JobState::kRunning && s != JobState::kWaiting) client_.SendCommand(JobCommand::kTogglePause, Job(i).id);
  }
}

void JobModel::AbortAll() {
  for (int i = 0; i < count_; ++i) Abort(i);
}

bool JobModel::QuestionOf(int index, JobDetails& details) {
  if (!Valid(index)) return false;
  if (!client_.GetJobDetails(Job(index).id, details)) return false;
  return details.job.kind != 0 && details.job.question != kNoQuestion;
}

void JobModel::Answer(int index, uint32_t code, const QuestionToken& token) {
  if (!Valid(index)) return;
  client_.SendAnswer(code, Job(index).id, token);
  if ((code & 0xFFFF) == kAnswerAbort) jobs_[static_cast<size_t>(index)].state = JobState::kUserAborted;
}

}  // namespace veloma
