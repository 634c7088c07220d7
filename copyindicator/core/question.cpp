#include "copyindicator/core/question.h"

#include <cstdio>

namespace veloma {
namespace {

struct QuestionKind {
  uint32_t question;
  const char16_t* buttons[kQuestionButtons];
  uint32_t answers[kQuestionButtons];
  bool applyToAll;
};

// One table: each question's buttons in the dialog's order and the answer each one sends.
constexpr QuestionKind kQuestions[] = {
    {kTargetExists, {u"П&ерезаписать", u"&Пропустить", u"&Дописать", u"П&рервать"},
     {kAnswerOverwrite, kAnswerSkip, kAnswerAppend, kAnswerAbort}, true},
    {kErrorOccurred, {u"П&овторить", u"&Пропустить", u"Пропустить &все", u"П&рервать"},
     {kAnswerRetry, kAnswerSkip, kAnswerSkipAll, kAnswerAbort}, false},
    {kLinkFound, {u"&Скопировать", u"С&линковать", u"&Пропустить", u"П&рервать"},
     {kAnswerCopy, kAnswerLink, kAnswerSkip, kAnswerAbort}, true},
};

const QuestionKind* Find(uint32_t question) {
  for (const QuestionKind& k : kQuestions)
    if (k.question == question) return &k;
  return nullptr;
}

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

// "\r\nРазмер: <size>\r\nДата: dd.mm.yyyy hh:mm:ss"
std::u16string Facts(const FileFacts& f) {
  char size[32], date[48];
  std::snprintf(size, sizeof size, "%llu", static_cast<unsigned long long>(f.size));
  const SystemTime& t = f.lastWrite;
  std::snprintf(date, sizeof date, "%02u.%02u.%04u %02u:%02u:%02u", unsigned{t.day}, unsigned{t.month},
                unsigned{t.year}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
  return u"\r\nРазмер: " + Ascii(size) + u"\r\nДата: " + Ascii(date);
}

}  // namespace

std::u16string FileNameOf(const std::u16string& path) {
  size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

QuestionForm ComposeQuestion(const JobDetails& d, const FileFacts& source, const FileFacts& destination,
                             const std::u16string& systemMessage) {
  QuestionForm form;
  const QuestionKind* kind = Find(d.job.question);
  if (!kind) return form;
  for (int i = 0; i < kQuestionButtons; ++i) form.buttons[static_cast<size_t>(i)] = kind->buttons[i];
  if (kind->applyToAll) form.applyToAll = u"Применить для &всех";
  switch (d.job.question) {
    case kTargetExists:
      form.text = u"Такой файл уже существует\r\n\r\nИсходный: " + FileNameOf(d.fullSource) + Facts(source) +
                  u"\r\n\r\nЦелевой: " + FileNameOf(d.fullDestination) + Facts(destination);
      break;
    case kErrorOccurred: form.text = systemMessage; break;
    default: form.text = u"Найдена символическая связь"; break;
  }
  return form;
}

bool AnswerFor(uint32_t question, int button, bool applyToAll, uint32_t& code) {
  const QuestionKind* kind = Find(question);
  if (!kind || button < 0 || button >= kQuestionButtons) return false;
  code = kind->answers[button];
  if (applyToAll && kind->applyToAll) code |= kApplyToAll;
  return true;
}

}  // namespace veloma
