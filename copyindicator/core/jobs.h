// The table of the service's jobs as the indicator shows them, and the poll that keeps it in step
// with the service. All of it runs on the window thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "copyindicator/core/protocol.h"
#include "copyindicator/core/settings.h"

namespace veloma {

constexpr int kMaxJobs = 100;

enum class JobState : uint32_t { kRunning = 1, kPaused = 2, kAttention = 3, kWaiting = 4, kUserAborted = 5 };

struct CopyJob {
  uint32_t id = 0;  // 0: free entry
  uint32_t percent = 0;
  JobState state = JobState::kRunning;
  uint64_t startTime = 0;  // FILETIME in local time: the job's duration is measured from here
  bool notify = true;
};

// Notification slots.
enum NotifySlot : int { kSlotJobFinished = 0, kSlotAllFinished = 1, kSlotAttention = 2 };

// What the model needs of its surroundings besides the pipe.
class IndicatorSeam {
 public:
  virtual ~IndicatorSeam() = default;
  virtual uint64_t NowLocalFileTime() = 0;  // 100-ns units since 1601, local time
  virtual void Notify(int slot) = 0;        // plays the slot's sound
  // Width in pixels of a text on the tooltip's device context, for shortening paths.
  virtual int MeasureText(const std::u16string& text) = 0;
};

// The amount and speed of the hovered job: a ring of the last 15 nonzero rates.
class SpeedMeter {
 public:
  void Reset();
  // elapsedMs: time since the previous update; returns the speed per second.
  double Update(uint32_t elapsedMs, double amount);
  double Speed() const;

 private:
  static constexpr int kSamples = 15;
  std::array<double, kSamples> samples_{};
  int index_ = 0;
  int count_ = 0;
  double sum_ = 0;
  double last_ = 0;
};

struct PollResult {
  bool listed = false;        // the list exchange succeeded
  int added = 0;              // jobs registered this poll
  int removed = 0;            // jobs that vanished this poll
  bool stateChanged = false;  // some job changed state while no row was hovered
};

class JobModel {
 public:
  JobModel(ServiceClient& client, IndicatorSeam& seam, const Settings& settings);

  // One poll; tickMs is the timer tick, used for the speed of the hovered job.
  PollResult Poll(uint32_t tickMs);

  int Count() const { return count_; }
  const CopyJob& Job(int index) const { return jobs_[static_cast<size_t>(index)]; }
  void SetNotify(int index, bool on) { jobs_[static_cast<size_t>(index)].notify = on; }

  // The row of the job with this identifier now; -1 when it has left the table.
  int RowOf(uint32_t id) const;

  // The hovered row, -1 for none; a new row restarts the speed meter and drops the previous
  // row's detail text (the next poll composes the new one).
  int Hovered() const { return hovered_; }
  void SetHovered(int row);
  const std::u16string& DetailText() const { return detailText_; }

  // Takes the minimum job duration for notifications; done at start and when settings are confirmed.
  void TakeNoNotifyTime() { noNotifyTime_ = settings_.noNotifyTime; }

  // User commands on the row's job; out-of-range rows are ignored.
  void ClickPause(int index);   // left click: not while the job waits or asks
  void MenuPause(int index);    // the row menu's pause/resume item
  void Abort(int index);
  void PauseAll();
  void StartAll();
  void AbortAll();
  // The details of a job with a pending question; false when there is none (or no reply).
  bool QuestionOf(int index, JobDetails& details);
  // Sends the answer; an abort answer marks the job UserAborted.
  void Answer(int index, uint32_t code, const QuestionToken& token);

 private:
  bool Valid(int index) const { return index >= 0 && index < count_; }
  void Register(const JobListing& listing);
  int RemoveVanished(const std::vector<JobListing>& listed);

  ServiceClient& client_;
  IndicatorSeam& seam_;
  const Settings& settings_;
  std::array<CopyJob, kMaxJobs> jobs_{};
  int count_ = 0;
  int hovered_ = -1;
  uint64_t finishedSum_ = 0;
  uint32_t noNotifyTime_ = 0;
  uint32_t previousTick_ = 0;
  SpeedMeter meter_;
  std::u16string detailText_;
};

// SYSTEMTIME to FILETIME, both local; an invalid date gives 0.
uint64_t SystemTimeToFileTime(const SystemTime& t);

}  // namespace veloma
