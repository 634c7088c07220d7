#include "devicebrowser/modules/windows/core/windows_core.h"

#include <algorithm>
#include <cstdio>

namespace handrel::windows {

namespace {

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Reads one zero-terminated string at `at`: at most 260 characters and its terminator, all inside
// the answer. False when the terminator is not found there.
bool ReadText(const uint8_t* data, size_t size, size_t& at, std::u16string& out) {
  out.clear();
  for (size_t n = 0; n <= kMaxWindowTextChars; ++n) {
    if (size - at < 2) return false;
    char16_t c = static_cast<char16_t>(data[at] | (data[at + 1] << 8));
    at += 2;
    if (c == 0) return true;
    out.push_back(c);
  }
  return false;
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

}  // namespace

std::vector<WindowRecord> ParseWindowsAnswer(const uint8_t* data, size_t size) {
  std::vector<WindowRecord> records;
  if (!data) return records;
  size_t at = 0;
  // The smallest record: handle, style and two empty strings.
  while (size - at >= kRecordHeader + 4) {
    WindowRecord r;
    r.offset = at;
    r.handle = Load32(data + at);
    r.style = Load32(data + at + 4);
    size_t p = at + kRecordHeader;
    if (!ReadText(data, size, p, r.className) || !ReadText(data, size, p, r.title)) break;
    r.size = p - at;
    at = p;
    records.push_back(std::move(r));
  }
  return records;
}

std::string HandleText(uint32_t handle) { return Hex8(handle); }

size_t WindowList::GrownCapacity(size_t capacity) { return capacity + std::clamp<size_t>(capacity, 10, 4096); }

void WindowList::Clear() { entries_.clear(); }

void WindowList::Append(WindowEntry entry) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(GrownCapacity(entries_.capacity()));
  entries_.push_back(std::move(entry));
}

void TraceLog::Line(const std::string& text) {
  if (fileName_.empty()) return;
  sink_.Append(fileName_, text + "\r\n");
}

void TraceLog::Bytes(const uint8_t* data, size_t size) {
  if (fileName_.empty()) return;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  sink_.Append(fileName_, bytes + "\r\n");
}

void ListWindows(WindowsSeam& seam, TraceLog& log, bool silent, WindowList& list) {
  log.Line("Listing windows (begin)");
  list.Clear();
  if (!silent) seam.OpenStatus("Windows", "Listing windows...");
  auto call = [&] {
    log.Line("Invoke call");
    if (!silent) seam.StatusText("Invoke listing...");
    InvokeResult r = seam.Invoke(u"GetWindows", u"");
    log.Line("Invoke done");
    if (!silent) seam.StatusText("Invoke done...");
    return r;
  };
  InvokeResult r = call();
  if ((r.status != 0 || !r.answered) && seam.TransportError()) {
    log.Line("Failed, reconnect trying");
    if (seam.Reconnect()) r = call();
  }
  if (r.answered) {
    if (!silent) seam.StatusText("Parsing result...");
    for (const WindowRecord& w : ParseWindowsAnswer(r.answer.data(), r.answer.size())) {
      log.Line("--next window:");
      log.Bytes(r.answer.data() + w.offset, w.size);
      WindowEntry e;
      e.name = seam.ToOem(w.title);
      e.className = seam.ToOem(w.className);
      e.handleText = HandleText(w.handle);
      e.visible = (w.style & kVisibleStyle) != 0;
      e.attributes = kAttributeNormal | (e.visible ? 0 : kAttributeHidden);
      list.Append(std::move(e));
    }
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "Can't get window list\nHR=0x%08x", r.status);
    seam.Warning(text);
  }
  if (!silent) seam.CloseStatus();
  log.Line("Listing windows (done)");
}

std::u16string ActionPayload(WindowAction action, const std::string& handleText) {
  std::u16string payload = action == WindowAction::kActivate ? u"Activate;" : u"Close;";
  for (size_t i = 0; i < handleText.size() && i < kMaxHandleTextChars; ++i)
    payload.push_back(static_cast<char16_t>(static_cast<unsigned char>(handleText[i])));
  return payload;
}

std::u16string AnswerText(const std::vector<uint8_t>& answer) {
  std::u16string text;
  for (size_t i = 0; i + 1 < answer.size(); i += 2) {
    char16_t c = static_cast<char16_t>(answer[i] | (answer[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::string ActionFailureText(WindowAction action, uint32_t status, uint32_t lastError,
                              const std::string& explanationOem) {
  char text[128];
  std::snprintf(text, sizeof text, "%s\nRapi=0x%08x, LastError=0x%08x",
                action == WindowAction::kActivate ? "Can't activate window" : "Can't minimize window", status,
                lastError);
  std::string out = text;
  if (!explanationOem.empty()) {
    out += '\n';
    out.append(explanationOem, 0, kMaxExplanationBytes);
  }
  return out;
}

bool RunWindowAction(WindowsSeam& seam, WindowAction action, const std::string& handleText, bool silent) {
  InvokeResult r = seam.Invoke(u"WindowAction;", ActionPayload(action, handleText));
  std::u16string answer = r.answered ? AnswerText(r.answer) : std::u16string();
  if (r.status == 0 && r.answered && answer == u"OK") return true;
  uint32_t lastError = seam.DeviceLastError();
  if (!silent) seam.Warning(ActionFailureText(action, r.status, lastError, r.answered ? seam.ToOem(answer) : ""));
  return false;
}

int ViewModeOnLeaving(int32_t stateValue) { return stateValue >= 48 ? stateValue - 48 : 1; }

}  // namespace handrel::windows
