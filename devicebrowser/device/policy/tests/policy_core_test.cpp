// The policy updater's steps against a scripted registry key and user.
#include <gtest/gtest.h>

#include <vector>

#include "devicebrowser/device/policy/core/policy.h"

using namespace handrel::policy;

namespace {

struct ScriptedDevice : PolicyDevice {
  uint32_t openError = 0, queryError = 0, setError = 0;
  uint32_t storedType = 4, storedValue = 0;
  bool answerYes = true;
  bool open = false;
  std::vector<std::u16string> shown;
  std::vector<std::pair<uint32_t, uint32_t>> writes;

  uint32_t OpenKey() override {
    if (!openError) open = true;
    return openError;
  }
  uint32_t QueryValue(uint32_t& type, uint32_t& value) override {
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    if (queryError) return queryError;
    type = storedType;
    value = storedValue;
    return 0;
  }
  uint32_t SetValue(uint32_t type, uint32_t value) override {
    writes.emplace_back(type, value);
    return setError;
  }
  void CloseKey() override {
    EXPECT_TRUE(open);
    open = false;
  }
  void ShowError(const std::u16string& text) override { shown.push_back(u"stop:" + text); }
  bool AskYesNo(const std::u16string& text) override {
    shown.push_back(u"ask:" + text);
    return answerYes;
  }
};

const std::u16string kQuestion =
    u"ask:Handrel requires updating policy value\r\n[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\r\n"
    u"\"00001001\"=dword:00000001\r\nContinue?";

}  // namespace

TEST(PolicyUpdater, AlreadyOneExitsAtOnceAndShowsNothing) {
  ScriptedDevice d;
  d.storedValue = 1;
  EXPECT_EQ(RunPolicyUpdater(d), 0u);
  EXPECT_TRUE(d.shown.empty());
  EXPECT_TRUE(d.writes.empty());
  EXPECT_FALSE(d.open);
}

TEST(PolicyUpdater, MissingKeyExits100) {
  ScriptedDevice d;
  d.openError = 2;
  EXPECT_EQ(RunPolicyUpdater(d), 100u);
  ASSERT_EQ(d.shown.size(), 1u);
  EXPECT_EQ(d.shown[0], u"stop:Can't open registry key\r\nSome plugin features may be unavailable\r\nErrCode=0x00000002");
}

TEST(PolicyUpdater, YesWritesOneWithTheTypeRead) {
  ScriptedDevice d;
  d.storedValue = 0;
  d.storedType = 3;
  EXPECT_EQ(RunPolicyUpdater(d), 0u);
  ASSERT_EQ(d.shown.size(), 1u);
  EXPECT_EQ(d.shown[0], kQuestion);
  ASSERT_EQ(d.writes.size(), 1u);
  EXPECT_EQ(d.writes[0], std::make_pair(3u, 1u));
  EXPECT_FALSE(d.open);
}

TEST(PolicyUpdater, UnreadableValueIsReportedThenOfferedAsA32BitValue) {
  ScriptedDevice d;
  d.queryError = 2;
  EXPECT_EQ(RunPolicyUpdater(d), 0u);
  ASSERT_EQ(d.shown.size(), 2u);
  EXPECT_EQ(d.shown[0], u"stop:Can't query policy value\r\nSome plugin features may be unavailable\r\nErrCode=0x00000002");
  EXPECT_EQ(d.shown[1], kQuestion);
  EXPECT_EQ(d.writes.at(0), std::make_pair(4u, 1u));
}

TEST(PolicyUpdater, FailedWriteExits102AndNoExits103) {
  ScriptedDevice d;
  d.setError = 5;
  EXPECT_EQ(RunPolicyUpdater(d), 102u);
  EXPECT_EQ(d.shown.back(), u"stop:Can't update policy value\r\nSome plugin features may be unavailable\r\nErrCode=0x00000005");
  EXPECT_FALSE(d.open);
  ScriptedDevice no;
  no.answerYes = false;
  EXPECT_EQ(RunPolicyUpdater(no), 103u);
  EXPECT_TRUE(no.writes.empty());
  EXPECT_FALSE(no.open);
}
