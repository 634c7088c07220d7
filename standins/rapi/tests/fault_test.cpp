#include <gtest/gtest.h>

#include "standins/rapi/core/fault_script.h"

using namespace rapiemu;
using Kind = FaultOutcome::Kind;

namespace {

TEST(FaultScript, ParsesEveryLineKindAndReportsTheRest) {
  FaultScript s = FaultScript::Parse(
      "# a test's script\n"
      "connect delay 300\r\n"
      "fail CeReadFile 3 lost\n"
      "fail CeWriteFile 2+ error 112   # disk full from the second write on\n"
      "fail * random 12.5% seed 42 error 0x5\n"
      "fail CeCreateFile always error 5\n"
      "reconnect after 2\n"
      "record\n"
      "connect\n"
      "fail CeReadFile 0 lost\n"
      "fail CeReadFile 1 error 0\n"
      "fail CeReadFile 1 crash\n"
      "fail * random 101% seed 1 lost\n"
      "fail * random 5 seed 1 lost\n"
      "connect fail 5\n"
      "bogus\n");
  EXPECT_EQ(s.connect.mode, ConnectSettings::Mode::Delay);
  EXPECT_EQ(s.connect.delayMs, 300u);
  EXPECT_EQ(s.reconnectAfter, 2u);
  EXPECT_TRUE(s.record);
  ASSERT_EQ(s.rules.size(), 4u);
  EXPECT_EQ(s.rules[0].call, "CeReadFile");
  EXPECT_EQ(s.rules[0].when, FaultRule::When::Nth);
  EXPECT_EQ(s.rules[0].count, 3u);
  EXPECT_TRUE(s.rules[0].lost);
  EXPECT_EQ(s.rules[1].when, FaultRule::When::NthAndLater);
  EXPECT_EQ(s.rules[1].error, 112u);
  EXPECT_EQ(s.rules[2].partsPerMillion, 125000u);
  EXPECT_EQ(s.rules[2].seed, 42u);
  EXPECT_EQ(s.rules[2].error, 5u);
  EXPECT_EQ(s.rules[3].when, FaultRule::When::Always);
  ASSERT_EQ(s.errors.size(), 8u);
  EXPECT_EQ(s.errors[0].substr(0, 7), "line 9:");
  EXPECT_EQ(s.errors.back().substr(0, 8), "line 16:");

  FaultScript never = FaultScript::Parse("connect never");
  EXPECT_EQ(never.connect.mode, ConnectSettings::Mode::Never);
  FaultScript fail = FaultScript::Parse("connect fail 0x8007048F\n");
  EXPECT_EQ(fail.connect.mode, ConnectSettings::Mode::Fail);
  EXPECT_EQ(fail.connect.failResult, static_cast<int32_t>(0x8007048Fu));
  EXPECT_TRUE(FaultScript::Parse("").errors.empty());
}

TEST(FaultPlan, NthCallFailsOnceAndOnlyThatCall) {
  FaultPlan plan(FaultScript::Parse("fail CeReadFile 3 error 5\n"));
  std::vector<Kind> seen;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(plan.OnCall("CeWriteFile").kind, Kind::None);
    seen.push_back(plan.OnCall("CeReadFile").kind);
  }
  EXPECT_EQ(seen, (std::vector<Kind>{Kind::None, Kind::None, Kind::DeviceError, Kind::None, Kind::None}));
}

TEST(FaultPlan, FromTheNthOnAndAlways) {
  FaultPlan plan(FaultScript::Parse("fail CeWriteFile 2+ error 112\nfail CeFindNextFile always lost\n"));
  EXPECT_EQ(plan.OnCall("CeWriteFile").kind, Kind::None);
  for (int i = 0; i < 3; ++i) {
    FaultOutcome o = plan.OnCall("CeWriteFile");
    EXPECT_EQ(o.kind, Kind::DeviceError);
    EXPECT_EQ(o.error, 112u);
  }
  EXPECT_EQ(plan.OnCall("CeFindNextFile").kind, Kind::Lost);
}

TEST(FaultPlan, EveryMatchingRuleCountsSoOrderDoesNotShiftCounts) {
  FaultPlan plan(FaultScript::Parse("fail * 2 error 5\nfail CeReadFile 2 lost\n"));
  EXPECT_EQ(plan.OnCall("CeReadFile").kind, Kind::None);
  // The second call fires both rules; the first rule in the script decides.
  FaultOutcome o = plan.OnCall("CeReadFile");
  EXPECT_EQ(o.kind, Kind::DeviceError);
  EXPECT_EQ(plan.OnCall("CeReadFile").kind, Kind::None);
}

TEST(FaultPlan, RandomFaultsRepeatWithTheirSeed) {
  auto draw = [](uint32_t seed) {
    FaultPlan plan(FaultScript::Parse("fail * random 10% seed " + std::to_string(seed) + " lost\n"));
    std::vector<int> fired;
    for (int i = 0; i < 2000; ++i) {
      if (plan.OnCall(i % 2 ? "CeReadFile" : "CeWriteFile").kind == Kind::Lost) fired.push_back(i);
    }
    return fired;
  };
  std::vector<int> a = draw(7), b = draw(7), c = draw(8);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  // About one call in ten.
  EXPECT_GT(a.size(), 140u);
  EXPECT_LT(a.size(), 260u);
  FaultPlan none(FaultScript::Parse("fail * random 0% seed 1 lost\n"));
  FaultPlan all(FaultScript::Parse("fail * random 100% seed 1 lost\n"));
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(none.OnCall("CeReadFile").kind, Kind::None);
    EXPECT_EQ(all.OnCall("CeReadFile").kind, Kind::Lost);
  }
}

TEST(FaultPlan, ConnectionComesBackOnlyAfterTheScriptedAttempts) {
  FaultPlan plan(FaultScript::Parse("connect delay 250\nreconnect after 2\nfail CeReadFile 1 lost\n"));
  ConnectDecision first = plan.OnConnectAttempt();
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(first.delayMs, 250u);
  EXPECT_FALSE(first.never);
  ASSERT_EQ(plan.OnCall("CeReadFile").kind, Kind::Lost);
  EXPECT_LT(plan.OnConnectAttempt().result, 0);
  EXPECT_LT(plan.OnConnectAttempt().result, 0);
  EXPECT_EQ(plan.OnConnectAttempt().result, 0);
  EXPECT_EQ(plan.OnConnectAttempt().result, 0);
}

TEST(FaultPlan, ScriptedStartModes) {
  EXPECT_TRUE(FaultPlan(FaultScript::Parse("connect never\n")).OnConnectAttempt().never);
  ConnectDecision d = FaultPlan(FaultScript::Parse("connect fail 0x80004005\n")).OnConnectAttempt();
  EXPECT_FALSE(d.never);
  EXPECT_EQ(d.result, static_cast<int32_t>(0x80004005u));
  EXPECT_EQ(FaultPlan().OnConnectAttempt().result, 0);
}

}  // namespace
