// The question dialog of a job: what it says, which buttons it offers and what each one answers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "copyindicator/core/protocol.h"

namespace veloma {

constexpr int kQuestionButtons = 4;  // the dialog has six button places; the first four are used

// A file as the indicator finds it on disk now; an absent file has size 0 and a zero date.
struct FileFacts {
  uint64_t size = 0;
  SystemTime lastWrite;  // local time
};

// What the dialog shows: its text, the labels of buttons 1..4 and of the check box. An empty
// label hides its control.
struct QuestionForm {
  std::u16string text;
  std::array<std::u16string, kQuestionButtons> buttons;
  std::u16string applyToAll;
};

// The part after the last backslash; the whole path when there is none.
std::u16string FileNameOf(const std::u16string& path);

// The form for the job's pending question. systemMessage is the platform's text for the error
// code (question 2); source and destination are the two files of question 1. A question the
// indicator does not know gives an empty form (no text, no buttons).
QuestionForm ComposeQuestion(const JobDetails& details, const FileFacts& source, const FileFacts& destination,
                             const std::u16string& systemMessage);

// The answer of button 0..3 for the question, with kApplyToAll added when ticked (only where
// the question has the check box); false for an unknown question or button.
bool AnswerFor(uint32_t question, int button, bool applyToAll, uint32_t& code);

}  // namespace veloma
