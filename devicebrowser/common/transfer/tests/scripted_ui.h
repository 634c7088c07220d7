// A user for the engine's tests: answers the questions from queues, presses Esc when told, and
// records every question and message.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::transfer {

class ScriptedUi : public TransferUi {
 public:
  std::deque<int> overwriteAnswers, readOnlyAnswers, openErrorAnswers;
  int escapeAfterBlocks = -1;  // Escape answers yes once this many calls have passed; -1: never
  std::vector<Message> messages;
  std::vector<std::u16string> messagePaths;
  int overwriteAsked = 0, readOnlyAsked = 0, openErrorsAsked = 0;
  uint32_t lastOpenError = 0;
  int progressStarts = 0;
  uint64_t progressBytes = 0;

  void Show(Message message, const std::u16string& path) override {
    messages.push_back(message);
    messagePaths.push_back(path);
  }
  int AskOverwrite(bool readOnly, const std::u16string&, const FileInfo&, const FileInfo&) override {
    std::deque<int>& answers = readOnly ? readOnlyAnswers : overwriteAnswers;
    ++(readOnly ? readOnlyAsked : overwriteAsked);
    if (answers.empty()) return -1;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int AskOpenError(bool, const std::u16string&, uint32_t error) override {
    ++openErrorsAsked;
    lastOpenError = error;
    if (openErrorAnswers.empty()) return -1;
    int answer = openErrorAnswers.front();
    openErrorAnswers.pop_front();
    return answer;
  }
  bool Escape() override {
    if (escapeAfterBlocks < 0) return false;
    return escapeAfterBlocks-- == 0;
  }
  bool ListTick() override { return false; }
  void ProgressStart(int, uint64_t) override { ++progressStarts; }
  void ProgressFile(const std::u16string&, const std::u16string&, uint64_t) override {}
  void ProgressAdd(uint64_t bytes) override { progressBytes += bytes; }
};

}  // namespace handrel::transfer
