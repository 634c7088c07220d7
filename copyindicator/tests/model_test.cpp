// The job table as the user sees it: jobs appear, change state, end and notify.
#include <gtest/gtest.h>

#include "copyindicator/core/jobs.h"
#include "copyindicator/tests/fake_service.h"

namespace veloma::test {
namespace {

constexpr uint64_t kJobStart = 133790400000000000ull;  // any moment; jobs in these tests start here

class ModelTest : public ::testing::Test {
 protected:
  ModelTest() : client(service), model(client, seam, settings) { seam.now = kJobStart; }

  FakeJob& AddJob(uint32_t id) {
    FakeJob j;
    j.id = id;
    j.start[0] = 0;  // no usable start time: the model times the job from "now"
    service.jobs.push_back(j);
    return service.jobs.back();
  }
  void Remove(uint32_t id) {
    std::erase_if(service.jobs, [id](const FakeJob& j) { return j.id == id; });
  }
  PollResult Poll() {
    tick += 200;
    return model.Poll(tick);
  }

  FakeService service;
  FakeSeam seam;
  Settings settings;
  ServiceClient client;
  JobModel model;
  uint32_t tick = 0;
};

TEST(FileTimeTest, ConvertsTheServiceStartTime) {
  EXPECT_EQ(SystemTimeToFileTime({2000, 1, 6, 1, 0, 0, 0, 0}), 125911584000000000ull);
  EXPECT_EQ(SystemTimeToFileTime({1601, 1, 1, 1, 0, 0, 1, 5}), 10000000ull + 50000ull);
  EXPECT_EQ(SystemTimeToFileTime({2024, 2, 4, 29, 23, 59, 59, 0}) + 10000000ull,
            SystemTimeToFileTime({2024, 3, 5, 1, 0, 0, 0, 0}));
  EXPECT_EQ(SystemTimeToFileTime({2024, 13, 0, 1, 0, 0, 0, 0}), 0u);
}

TEST_F(ModelTest, NewJobIsRegisteredWithItsDetailsStartTime) {
  FakeJob& j = AddJob(7);
  j.start[0] = 2000, j.start[1] = 1, j.start[3] = 1, j.start[4] = j.start[5] = j.start[6] = 0;
  j.percent = 40;
  PollResult r = Poll();
  EXPECT_TRUE(r.listed);
  EXPECT_EQ(r.added, 1);
  ASSERT_EQ(model.Count(), 1);
  EXPECT_EQ(model.Job(0).id, 7u);
  EXPECT_EQ(model.Job(0).percent, 0u) << "a new entry starts at 0 % until the next list";
  EXPECT_EQ(model.Job(0).state, JobState::kRunning);
  EXPECT_TRUE(model.Job(0).notify);
  EXPECT_EQ(model.Job(0).startTime, 125911584000000000ull);
  // The details were asked for at once, by the job's identifier.
  ASSERT_GE(service.requests.size(), 2u);
  EXPECT_EQ(service.requests[1], (std::vector<uint8_t>{2, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0}));
  Poll();
  EXPECT_EQ(model.Job(0).percent, 40u);
}

TEST_F(ModelTest, IdentifierZeroAndTheHundredJobLimit) {
  AddJob(0);
  Poll();
  EXPECT_EQ(model.Count(), 0);
  service.jobs.clear();
  for (uint32_t id = 1; id <= 101; ++id) AddJob(id);
  EXPECT_EQ(Poll().added, 100);
  EXPECT_EQ(model.Count(), 100);
  EXPECT_EQ(model.Job(99).id, 100u);
  Remove(50);
  PollResult r = Poll();  // 50 leaves, and only then 101 finds room, at the next poll
  EXPECT_EQ(r.removed, 1);
  EXPECT_EQ(model.Count(), 99);
  Poll();
  EXPECT_EQ(model.Count(), 100);
  EXPECT_EQ(model.Job(99).id, 101u);
  EXPECT_EQ(model.Job(49).id, 51u) << "rows below a vanished job move up";
}

TEST_F(ModelTest, VanishedNeighboursAreAllRemovedInOnePoll) {
  for (uint32_t id : {1u, 2u, 3u, 4u, 5u}) AddJob(id);
  Poll();
  Remove(2);
  Remove(3);
  Remove(5);
  EXPECT_EQ(Poll().removed, 3);
  ASSERT_EQ(model.Count(), 2);
  EXPECT_EQ(model.Job(0).id, 1u);
  EXPECT_EQ(model.Job(1).id, 4u);
  EXPECT_EQ(model.Job(2).id, 0u) << "freed entries are empty again";
}

TEST_F(ModelTest, FailedListKeepsEveryJob) {
  AddJob(1);
  Poll();
  service.jobs.clear();
  service.absent = true;
  EXPECT_FALSE(Poll().listed);
  EXPECT_EQ(model.Count(), 1);
  service.absent = false;
  service.rawListReplies.push_back({1, 0, 0});  // short head
  service.rawListReplies.push_back({2, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3});  // records short
  std::vector<uint8_t> huge(8 + 2112, 0);
  Put32(huge, 0, 4097);
  service.rawListReplies.push_back(huge);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Poll().listed);
  EXPECT_EQ(model.Count(), 1);
  EXPECT_TRUE(seam.notified.empty());
  EXPECT_EQ(Poll().removed, 1);
}

TEST_F(ModelTest, LastJobGivesBothNotificationsInOrder) {
  AddJob(1);
  Poll();
  seam.AdvanceMs(10000);
  Remove(1);
  Poll();
  EXPECT_EQ(seam.notified, (std::vector<int>{kSlotJobFinished, kSlotAllFinished}));
}

TEST_F(ModelTest, ShortJobsAddUpToTheAllFinishedNotification) {
  AddJob(1);
  AddJob(2);
  Poll();
  seam.AdvanceMs(6000);
  Remove(1);
  Poll();
  EXPECT_TRUE(seam.notified.empty()) << "6 s is under NoNotifyTime";
  Remove(2);
  Poll();  // 6 s + 6 s reach 10 s
  EXPECT_EQ(seam.notified, (std::vector<int>{kSlotAllFinished}));
  // The sum starts again from 0.
  AddJob(3);
  Poll();
  seam.AdvanceMs(4000);
  Remove(3);
  Poll();
  EXPECT_EQ(seam.notified.size(), 1u);
}

TEST_F(ModelTest, NoNotifyTimeIsTakenOnlyWhenAsked) {
  settings.noNotifyTime = 1000;
  AddJob(1);
  Poll();
  seam.AdvanceMs(2000);
  Remove(1);
  Poll();
  EXPECT_TRUE(seam.notified.empty()) << "the threshold in use is still 10000 ms";
  model.TakeNoNotifyTime();
  AddJob(2);
  Poll();
  seam.AdvanceMs(2000);
  Remove(2);
  Poll();
  EXPECT_EQ(seam.notified, (std::vector<int>{kSlotJobFinished, kSlotAllFinished}));
}

TEST_F(ModelTest, NotifyFlagOffGivesNothingAndAddsNothing) {
  AddJob(1);
  AddJob(2);
  Poll();
  model.SetNotify(0, false);
  seam.AdvanceMs(9000);
  Remove(1);
  Poll();
  EXPECT_EQ(model.Count(), 1);
  seam.AdvanceMs(2000);  // job 2 ran 11 s: alone it reaches the threshold; 9 s of job 1 do not count
  Remove(2);
  Poll();
  EXPECT_EQ(seam.notified, (std::vector<int>{kSlotJobFinished, kSlotAllFinished}));
}

TEST_F(ModelTest, PausedTimeIsNotCountedUnlessWaitsAreIncluded) {
  for (uint32_t includeWaits : {0u, 1u}) {
    settings.notifyIncludeWaits = includeWaits;
    seam.notified.clear();
    FakeJob& j = AddJob(1);
    Poll();
    j.paused = 1;
    seam.AdvanceMs(20000);
    Poll();
    EXPECT_EQ(model.Job(0).state, JobState::kPaused);
    service.Find(1)->paused = 0;
    Poll();
    seam.AdvanceMs(1000);
    Remove(1);
    Poll();
    if (includeWaits) EXPECT_EQ(seam.notified.size(), 2u);
    else EXPECT_TRUE(seam.notified.empty()) << "only the 1 s since resuming counts";
  }
}

TEST_F(ModelTest, AttentionSoundsAtOnceAndStateOrder) {
  FakeJob& j = AddJob(1);
  Poll();
  j.question = kErrorOccurred;
  j.paused = 1;
  j.waiting = 1;
  PollResult r = Poll();
  EXPECT_TRUE(r.stateChanged);
  EXPECT_EQ(model.Job(0).state, JobState::kAttention);
  EXPECT_EQ(seam.notified, (std::vector<int>{kSlotAttention}));
  Poll();
  EXPECT_EQ(seam.notified.size(), 1u) << "staying in Attention does not sound again";
  j.question = 0;
  Poll();
  EXPECT_EQ(model.Job(0).state, JobState::kPaused);
  j.paused = 0;
  Poll();
  EXPECT_EQ(model.Job(0).state, JobState::kWaiting);
  model.SetHovered(0);
  j.waiting = 0;
  EXPECT_FALSE(Poll().stateChanged) << "a hovered row does not raise the window";
  EXPECT_EQ(model.Job(0).state, JobState::kRunning);
}

TEST_F(ModelTest, UserAbortIsFinalAndNotifiesOnlyWhenAllowed) {
  for (uint32_t notifyAbort : {0u, 1u}) {
    settings.notifyUserAbort = notifyAbort;
    seam.notified.clear();
    FakeJob& j = AddJob(1);
    Poll();
    model.Abort(0);
    EXPECT_EQ(service.Commands().back(), (std::vector<uint32_t>{2, 4, 1}));
    j.percent = 90;
    j.paused = 1;
    Poll();
    EXPECT_EQ(model.Job(0).state, JobState::kUserAborted);
    EXPECT_EQ(model.Job(0).percent, 0u);
    seam.AdvanceMs(30000);
    Remove(1);
    Poll();
    EXPECT_EQ(seam.notified.size(), notifyAbort ? 2u : 0u);
  }
}

TEST_F(ModelTest, PauseCommandsFollowTheJobState) {
  FakeJob& a = AddJob(1);
  FakeJob& b = AddJob(2);
  AddJob(3);
  Poll();
  service.Find(2)->paused = 1;
  service.Find(3)->waiting = 1;
  (void)a;
  (void)b;
  Poll();
  service.requests.clear();
  model.ClickPause(0);
  model.ClickPause(1);
  model.ClickPause(2);  // waiting: a click does nothing
  model.ClickPause(7);  // no such row
  EXPECT_EQ(service.Commands(), (std::vector<std::vector<uint32_t>>{{2, 8, 1}, {2, 8, 2}}));
  service.requests.clear();
  model.PauseAll();
  EXPECT_EQ(service.Commands(), (std::vector<std::vector<uint32_t>>{{2, 8, 1}, {2, 8, 3}}));
  service.requests.clear();
  model.StartAll();
  EXPECT_EQ(service.Commands(), (std::vector<std::vector<uint32_t>>{{2, 8, 2}}));
  service.requests.clear();
  model.MenuPause(0);  // running and not paused: pause
  model.MenuPause(1);  // paused: resume
  model.MenuPause(2);  // waiting: the table says Waiting, so nothing
  EXPECT_EQ(service.Commands(), (std::vector<std::vector<uint32_t>>{{2, 8, 1}, {2, 8, 2}}));
}

TEST_F(ModelTest, AnswerEchoesTheTokenAndAbortMarksTheJob) {
  FakeJob& j = AddJob(9);
  Poll();
  j.question = kTargetExists;
  j.token = 0x8877665544332211ull;
  Poll();
  JobDetails d;
  ASSERT_TRUE(model.QuestionOf(0, d));
  service.requests.clear();
  model.Answer(0, kAnswerOverwrite | kApplyToAll, d.token);
  ASSERT_EQ(service.requests.size(), 1u);
  EXPECT_EQ(service.requests[0], (std::vector<uint8_t>{4, 0, 0, 0, 1, 0, 0, 0x80, 9, 0, 0, 0,
                                                       0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(model.Job(0).state, JobState::kAttention);
  model.Answer(0, kAnswerAbort | kApplyToAll, d.token);
  EXPECT_EQ(model.Job(0).state, JobState::kUserAborted);
  j.question = 0;
  EXPECT_FALSE(model.QuestionOf(0, d));
}

TEST_F(ModelTest, HoveredRowShowsTheSpeedOfItsJob) {
  FakeJob& j = AddJob(1);
  j.total = 100000000;
  Poll();
  model.SetHovered(0);
  for (int i = 0; i < 5; ++i) {
    j.done1 += 4000000;  // 4 MB every 200 ms poll
    Poll();
  }
  EXPECT_NE(model.DetailText().find(u") 19.1 МБ/с\n"), std::u16string::npos);
}

TEST_F(ModelTest, HoveredRowGetsADetailText) {
  FakeJob& j = AddJob(1);
  j.total = 1000000;
  Poll();
  model.SetHovered(0);
  Poll();
  EXPECT_NE(model.DetailText().find(u"Копирование"), std::u16string::npos);
  model.SetHovered(0);
  Remove(1);
  Poll();
  EXPECT_EQ(model.Hovered(), -1) << "the hovered row left with its job";
}

TEST_F(ModelTest, AnotherHoveredRowNeverShowsThePreviousRowsText) {
  AddJob(1).fullSource = u"C:\\first\\a.bin";
  FakeJob& b = AddJob(2);  // (a reference to the first would not survive this push)
  b.kind = kDelete;
  b.fullSource = u"C:\\second";
  Poll();
  model.SetHovered(0);
  Poll();
  ASSERT_NE(model.DetailText().find(u"C:\\first"), std::u16string::npos) << "row 0's text";
  model.SetHovered(1);  // the mouse moved on: until the next poll there is no text of row 1 yet
  EXPECT_EQ(model.DetailText(), u"");
  Poll();
  EXPECT_NE(model.DetailText().find(u"Удаление"), std::u16string::npos);
  model.SetHovered(1);  // the same row again keeps its text
  EXPECT_NE(model.DetailText(), u"");
}

TEST_F(ModelTest, JobsAreFoundAgainByIdentifierAfterRowsShift) {
  AddJob(1);
  AddJob(2);
  AddJob(3);
  Poll();
  EXPECT_EQ(model.RowOf(2), 1);
  Remove(1);  // the first job ends while, say, a menu is open on job 2
  Poll();
  EXPECT_EQ(model.RowOf(2), 0);
  EXPECT_EQ(model.RowOf(1), -1);
  EXPECT_EQ(model.RowOf(0), -1) << "identifier 0 is a free entry, never a job";
}

}  // namespace
}  // namespace veloma::test

namespace veloma::test {
namespace {

TEST(ProtocolTest, PathsWithoutTerminatorStayInsideTheirFields) {
  FakeJob j;
  j.id = 3;
  j.source = std::u16string(780, u'S');        // fills the whole field, no terminator
  j.destination = std::u16string(260, u'D');   // likewise, right before the percent
  j.percent = 250;                             // past 100: the bar stops at the row's end
  std::vector<uint8_t> record = ListRecord(j);
  JobListing out;
  ASSERT_TRUE(DecodeJobListing(record.data(), record.size(), out));
  EXPECT_EQ(out.source, j.source);
  EXPECT_EQ(out.destination, j.destination);
  EXPECT_EQ(out.percent, 100u);
  EXPECT_FALSE(DecodeJobListing(record.data(), record.size() - 1, out)) << "one byte short";

  j.fullSource = std::u16string(520, u'F');
  std::vector<uint8_t> details = DetailRecord(j);
  JobDetails d;
  ASSERT_TRUE(DecodeJobDetails(details.data(), details.size(), d));
  EXPECT_EQ(d.fullSource.size(), 520u);
  EXPECT_TRUE(d.fullDestination.empty());
}

TEST(ProtocolTest, ListCountIsTakenUpTo4096) {
  FakeService service;
  ServiceClient client(service);
  std::vector<JobListing> jobs;
  for (uint32_t n : {4096u, 4097u}) {
    std::vector<uint8_t> reply(8 + static_cast<size_t>(n) * 2112, 0);
    Put32(reply, 0, n);
    Put32(reply, 8, 77);  // the first record's identifier
    service.rawListReplies.push_back(reply);
  }
  ASSERT_TRUE(client.ListJobs(jobs));
  EXPECT_EQ(jobs.size(), 4096u);
  EXPECT_EQ(jobs[0].id, 77u);
  EXPECT_FALSE(client.ListJobs(jobs)) << "4097 records is a broken reply, not an allocation";
  EXPECT_TRUE(jobs.empty());
}

TEST(ProtocolTest, ShortDetailRecordIsUnusable) {
  FakeService service;
  FakeJob j;
  j.id = 5;
  j.kind = 2;
  service.jobs.push_back(j);
  ServiceClient client(service);
  JobDetails d;
  ASSERT_TRUE(client.GetJobDetails(5, d));
  EXPECT_EQ(d.job.kind, 2u);
  ASSERT_TRUE(client.GetJobDetails(6, d)) << "the reply's first u32 came";
  EXPECT_EQ(d.job.kind, 0u) << "but no record: unusable";
}

}  // namespace
}  // namespace veloma::test
