// The question dialog's text, buttons and answers, and the window's show, hide and hold rules.
#include <gtest/gtest.h>

#include "copyindicator/core/question.h"
#include "copyindicator/core/window_logic.h"

namespace veloma {
namespace {

JobDetails Asking(uint32_t question) {
  JobDetails d;
  d.job.id = 9;
  d.job.kind = kCopy;
  d.job.question = question;
  d.fullSource = u"C:\\Документы\\отчёт.docx";
  d.fullDestination = u"E:\\Копии\\отчёт.docx";
  return d;
}

TEST(QuestionTest, TargetExistsShowsBothFilesAsFoundOnDisk) {
  FileFacts source{123456789012ull, {2026, 12, 2, 8, 9, 5, 7, 0}};
  FileFacts absent;  // not on this disk: size 0 and a zero date
  QuestionForm f = ComposeQuestion(Asking(kTargetExists), source, absent, u"ignored");
  EXPECT_EQ(f.text,
            u"Такой файл уже существует\r\n\r\n"
            u"Исходный: отчёт.docx\r\nРазмер: 123456789012\r\nДата: 08.12.2026 09:05:07\r\n\r\n"
            u"Целевой: отчёт.docx\r\nРазмер: 0\r\nДата: 00.00.0000 00:00:00");
  EXPECT_EQ(f.buttons[0], u"П&ерезаписать");
  EXPECT_EQ(f.buttons[3], u"П&рервать");
  EXPECT_EQ(f.applyToAll, u"Применить для &всех");
}

TEST(QuestionTest, ErrorShowsTheSystemTextWithoutTheCheckBox) {
  QuestionForm f = ComposeQuestion(Asking(kErrorOccurred), {}, {}, u"Отказано в доступе.\r\n");
  EXPECT_EQ(f.text, u"Отказано в доступе.\r\n");
  EXPECT_EQ(f.buttons[0], u"П&овторить");
  EXPECT_EQ(f.buttons[2], u"Пропустить &все");
  EXPECT_EQ(f.applyToAll, u"") << "hidden";
}

TEST(QuestionTest, LinkFoundAndUnknownQuestions) {
  QuestionForm link = ComposeQuestion(Asking(kLinkFound), {}, {}, u"");
  EXPECT_EQ(link.text, u"Найдена символическая связь");
  EXPECT_EQ(link.buttons[1], u"С&линковать");
  EXPECT_EQ(link.applyToAll, u"Применить для &всех");
  QuestionForm unknown = ComposeQuestion(Asking(3), {}, {}, u"x");
  EXPECT_EQ(unknown.text, u"");
  for (const auto& b : unknown.buttons) EXPECT_EQ(b, u"") << "every button hidden";
  uint32_t code = 77;
  EXPECT_FALSE(AnswerFor(3, 0, false, code));
  EXPECT_EQ(code, 77u);
}

TEST(QuestionTest, PathWithoutBackslashIsItsOwnName) {
  EXPECT_EQ(FileNameOf(u"readme.txt"), u"readme.txt");
  EXPECT_EQ(FileNameOf(u"D:\\"), u"");
}

TEST(QuestionTest, EachButtonGivesItsAnswer) {
  struct Case {
    uint32_t question;
    uint32_t answers[4];
  };
  const Case cases[] = {{1, {1, 3, 2, 0}}, {2, {5, 3, 4, 0}}, {4, {6, 7, 3, 0}}};
  for (const Case& c : cases) {
    for (int button = 0; button < 4; ++button) {
      uint32_t code = 0;
      ASSERT_TRUE(AnswerFor(c.question, button, false, code));
      EXPECT_EQ(code, c.answers[button]) << "question " << c.question << " button " << button + 1;
      ASSERT_TRUE(AnswerFor(c.question, button, true, code));
      // Only the questions with the check box carry "apply to all".
      EXPECT_EQ(code, c.answers[button] | (c.question == 2 ? 0u : kApplyToAll)) << c.question;
    }
    uint32_t code = 0;
    EXPECT_FALSE(AnswerFor(c.question, 4, false, code)) << "buttons 5 and 6 are not used";
    EXPECT_FALSE(AnswerFor(c.question, -1, false, code));
  }
}

TEST(WindowRulesTest, FirstJobShowsTheHiddenWindowAndTheLastOneHidesIt) {
  PollPlan show = PlanAfterPoll(1, 0, false, 1, false, true);
  EXPECT_EQ(show.visibility, Visibility::kShow);
  EXPECT_TRUE(show.fit);
  EXPECT_TRUE(show.attention);
  EXPECT_EQ(show.pollPeriodMs, kPollShownMs);

  PollPlan stay = PlanAfterPoll(0, 0, false, 2, true, true);
  EXPECT_EQ(stay.visibility, Visibility::kKeep);
  EXPECT_FALSE(stay.fit || stay.attention || stay.raise);
  EXPECT_EQ(stay.pollPeriodMs, 0u);

  PollPlan held = PlanAfterPoll(0, 1, false, 0, true, false);
  EXPECT_EQ(held.visibility, Visibility::kKeep) << "the hold timer keeps an empty window shown";
  EXPECT_TRUE(held.fit);

  PollPlan hide = PlanAfterPoll(0, 0, false, 0, true, true);
  EXPECT_EQ(hide.visibility, Visibility::kHide);
  EXPECT_EQ(hide.pollPeriodMs, kPollHiddenMs);
  EXPECT_EQ(PlanAfterPoll(0, 0, false, 0, false, true).visibility, Visibility::kKeep) << "already hidden";
  EXPECT_EQ(PlanAfterPoll(0, 0, false, 0, false, false).visibility, Visibility::kShow) << "woken by a second start";
}

TEST(WindowRulesTest, NewJobsAndStateChangesDrawAttention) {
  PollPlan added = PlanAfterPoll(2, 0, false, 3, true, true);
  EXPECT_TRUE(added.attention);
  EXPECT_FALSE(added.raise);
  PollPlan changed = PlanAfterPoll(0, 0, true, 3, true, true);
  EXPECT_TRUE(changed.raise);
  EXPECT_TRUE(changed.attention);
  EXPECT_FALSE(changed.fit);
}

TEST(WindowRulesTest, SecondStartHoldsForFadeInHoldAndFadeOut) {
  EXPECT_EQ(WakeHoldMs(3000, 500), 3000u + 1000u + 200u);
  EXPECT_EQ(WakeHoldMs(100, 500), 3000u + 1000u + 200u) << "at least 3000 ms of hold";
  EXPECT_EQ(WakeHoldMs(5000, 1), 5202u);
  EXPECT_EQ(WakeHoldMs(4000000000u, 4000000000u), 12000000200ull) << "no wrap with stored extremes";

  Fade f;
  f.from = 229, f.to = 76, f.current = 150;
  f.ShownByPoll(3000);
  EXPECT_EQ(f.current, 76) << "a window shown by the poll starts faint";
  EXPECT_EQ(f.direction, -1) << "and moves towards the more opaque bound";
  EXPECT_TRUE(f.fading);
  EXPECT_EQ(f.holdLeft, 3000);
}

}  // namespace
}  // namespace veloma
