// The stand-in service plays its scenario and obeys requests as the indicator's tests expect.
#include <gtest/gtest.h>

#include "standins/ferry/core/ferry.h"

namespace ferry {
namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> b;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return b;
}

Service Play(const std::string& text) {
  std::vector<Event> events;
  std::string error;
  EXPECT_TRUE(ParseScenario(text, events, error)) << error;
  return Service(events, [] { return LocalTime{2026, 12, 2, 8, 10, 0, 0, 0}; });
}

TEST(FerryTest, ScenarioErrorsNameTheLine) {
  std::vector<Event> events;
  std::string error;
  EXPECT_FALSE(ParseScenario("at 0 add 1\nat 5 fly 1\n", events, error));
  EXPECT_EQ(error, "line 2: unknown verb 'fly'");
  EXPECT_FALSE(ParseScenario("at 0 add 1 total\n", events, error));
}

TEST(FerryTest, JobsProgressPauseAskAndEnd) {
  Service s = Play("# two jobs\n"
                   "at 0 add 1 kind=copy total=1000 rate=100 src=\"C:\\My files\\a.bin\" dst=D:\\\n"
                   "at 0 add 2 kind=delete total=21\n"
                   "at 500 ask 2 question=2 error=5 token=1122334455667788\n"
                   "at 900 end 2\n"
                   "at 5000 exit\n");
  EXPECT_EQ(s.ExitTime(), 5000u);
  s.Advance(400);
  ASSERT_EQ(s.Jobs().size(), 2u);
  EXPECT_EQ(s.Jobs()[0].Percent(), 4u);
  EXPECT_EQ(s.Jobs()[0].source, u"C:\\My files\\a.bin");
  std::string log;
  s.Handle(Words({2, 8, 1}), log);
  EXPECT_EQ(log, "TogglePause 1 -> paused");
  s.Advance(800);
  EXPECT_EQ(s.Jobs()[0].Percent(), 4u) << "a paused job stands still";
  EXPECT_EQ(s.Jobs()[1].question, 2u);
  // A wrong token leaves the question; the right one answers it.
  std::vector<uint8_t> answer = Words({4, 3, 2});
  for (uint8_t b : {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x10}) answer.push_back(b);
  s.Handle(answer, log);
  EXPECT_EQ(log, "Answer 2 code=0x00000003 token=1022334455667788 (token mismatch)");
  answer.back() = 0x11;
  s.Handle(answer, log);
  EXPECT_EQ(log, "Answer 2 code=0x00000003 token=1122334455667788");
  EXPECT_EQ(s.Jobs()[1].question, 0u);
  s.Advance(1000);
  EXPECT_EQ(s.Jobs().size(), 1u) << "job 2 ended by the scenario";
  std::vector<uint8_t> list = s.Handle(Words({2, 1}), log);
  EXPECT_EQ(log, "ListJobs -> 1");
  EXPECT_EQ(list.size(), 8u + 2112u);
  s.Handle(Words({2, 4, 1}), log);
  EXPECT_EQ(log, "AbortJob 1");
  EXPECT_TRUE(s.Jobs().empty());
  s.Handle({1, 2, 3}, log);
  EXPECT_EQ(log, "Unknown 010203");
}

TEST(FerryTest, DetailRecordCarriesTokenStartAndAmounts) {
  Service s = Play("at 0 add 3 kind=move total=5000 done=1001 token=a1b2c3d4e5f60718\n");
  s.Advance(0);
  std::string log;
  std::vector<uint8_t> r = s.Handle(Words({2, 2, 3}), log);
  ASSERT_EQ(r.size(), 4u + 4288u);
  const uint8_t* d = r.data() + 4;
  EXPECT_EQ(d[4], 2);
  EXPECT_EQ(d[4200], 0x18);
  EXPECT_EQ(d[4207], 0xa1);
  EXPECT_EQ(d[4216] | d[4217] << 8, 2026);
  auto u64 = [d](size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v |= static_cast<uint64_t>(d[at + i]) << (8 * i);
    return v;
  };
  EXPECT_EQ(u64(4232), 5000u);
  EXPECT_EQ(u64(4240) + u64(4248), 1001u) << "the amount done comes in two parts";
}

}  // namespace
}  // namespace ferry

namespace ferry {
namespace {

TEST(FerryFaultTest, ScriptedFailuresShapeRepliesUntilCleared) {
  Service s = Play("at 0 add 1 total=10\n"
                   "at 100 fault busy\n"
                   "at 200 fault short times=1\n"
                   "at 300 fault huge count=4000\n"
                   "at 400 fault silent\n"
                   "at 500 fault none\n");
  auto exchange = [&](std::initializer_list<uint32_t> request, bool& sent, bool& cut) {
    std::string log;
    std::vector<uint8_t> reply = s.Handle(Words(request), log);
    sent = s.ShapeReply(reply, log, cut);
    return std::make_pair(reply, log);
  };
  bool sent = false, cut = false;
  s.Advance(100);
  EXPECT_TRUE(s.Busy());
  s.Advance(200);
  EXPECT_FALSE(s.Busy());
  auto [shortList, shortLog] = exchange({2, 1}, sent, cut);
  EXPECT_TRUE(sent);
  EXPECT_TRUE(cut);
  EXPECT_EQ(shortList.size(), (8u + 2112u) / 2);
  EXPECT_EQ(shortLog, "ListJobs -> 1 (short reply: 1060 of 2120 bytes)");
  auto [whole, wholeLog] = exchange({2, 1}, sent, cut);
  EXPECT_EQ(whole.size(), 8u + 2112u) << "times=1: the next reply is whole again";
  EXPECT_FALSE(cut);

  s.Advance(300);
  auto [details, detailsLog] = exchange({2, 2, 1}, sent, cut);
  EXPECT_EQ(detailsLog, "GetJobDetails 1") << "only a list names a count";
  auto [huge, hugeLog] = exchange({2, 1}, sent, cut);
  EXPECT_EQ(huge[0] | huge[1] << 8, 4000);
  EXPECT_EQ(huge.size(), 8u + 2112u) << "the real records only";
  EXPECT_EQ(hugeLog, "ListJobs -> 1 (count 4000)");

  s.Advance(400);
  auto [silent, silentLog] = exchange({2, 2, 1}, sent, cut);
  EXPECT_FALSE(sent);
  EXPECT_EQ(silentLog, "GetJobDetails 1 (no answer)");
  auto [command, commandLog] = exchange({2, 8, 1}, sent, cut);
  EXPECT_TRUE(sent) << "a command has no reply to withhold";
  EXPECT_EQ(commandLog, "TogglePause 1 -> paused");

  s.Advance(500);
  exchange({2, 1}, sent, cut);
  EXPECT_TRUE(sent);

  std::vector<Event> events;
  std::string error;
  EXPECT_FALSE(ParseScenario("at 0 fault sleepy\n", events, error));
  EXPECT_EQ(error, "line 1: a fault is none, busy, short, huge or silent");
}

}  // namespace
}  // namespace ferry
