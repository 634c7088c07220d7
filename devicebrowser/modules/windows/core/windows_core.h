// The portable part of the windows module: the "GetWindows" answer walk, the window list and its
// growth, the window action request and its outcome, the trace log, and the listing itself over a
// seam to the device, the user interface and the log file.
// Texts: device texts UTF-16 (char16_t), host texts 8-bit OEM. Threads: the host's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace handrel::windows {

constexpr uint32_t kVisibleStyle = 0x10000000;  // the style bit of a visible window
constexpr size_t kMaxWindowTextChars = 260;     // a class name or title, without its terminator
constexpr size_t kRecordHeader = 8;             // handle and style, 32 bits each
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr size_t kMaxHandleTextChars = 12;      // the handle as the request carries it
constexpr size_t kMaxExplanationBytes = 150;    // of the device's answer text in a message

// One record of a "GetWindows" answer: where it lies in the answer (for the trace) and its fields.
struct WindowRecord {
  size_t offset = 0, size = 0;
  uint32_t handle = 0, style = 0;
  std::u16string className, title;
};

// Walks the answer record by record up to its size. The answer is untrusted: a record cut short,
// a string without its terminator within its 260 characters, or trailing bytes too few for a
// record end the walk; the records before it stay. Nothing is read at or past data + size.
std::vector<WindowRecord> ParseWindowsAnswer(const uint8_t* data, size_t size);

// One entry of the window list: what the panel item is built from.
struct WindowEntry {
  std::string name;        // the title in the OEM code page, empty when the window has none
  uint32_t attributes = kAttributeNormal;  // hidden added when the window is not visible
  std::string handleText;  // "0x%08x"
  std::string className;   // OEM
  bool visible = false;
  // Shown in the panel: visible and titled.
  bool Listed() const { return visible && !name.empty(); }
};

// The handle as the HWND column shows it and the action request carries it.
std::string HandleText(uint32_t handle);

// The window list, rebuilt at every listing. It grows by its own size, at least 10 and at most 4096
// entries at a time.
class WindowList {
 public:
  static size_t GrownCapacity(size_t capacity);
  void Clear();
  void Append(WindowEntry entry);
  const std::vector<WindowEntry>& Entries() const { return entries_; }
  size_t Capacity() const { return entries_.capacity(); }

 private:
  std::vector<WindowEntry> entries_;
};

// ---- The trace log --------------------------------------------------------------------------

// Appends bytes to the named log file (created when missing), one open-append-close per call.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Append(const std::u16string& fileName, const std::string& bytes) = 0;
};

// The module's trace: each line (text or raw bytes) followed by CR LF, written only when a log file
// is named.
class TraceLog {
 public:
  TraceLog(LogSink& sink, std::u16string fileName) : sink_(sink), fileName_(std::move(fileName)) {}
  void Line(const std::string& text);
  void Bytes(const uint8_t* data, size_t size);

 private:
  LogSink& sink_;
  std::u16string fileName_;
};

// ---- The device and the user, as the module's operations need them ---------------------------

struct InvokeResult {
  uint32_t status = 0;
  bool answered = false;            // an answer buffer came back (possibly of 0 bytes)
  std::vector<uint8_t> answer;
};

class WindowsSeam {
 public:
  virtual ~WindowsSeam() = default;
  // One invoke request: command text and payload text (UTF-16, without terminators).
  virtual InvokeResult Invoke(const std::u16string& command, const std::u16string& payload) = 0;
  // After a failed call: true when the remote access layer reports a transport error.
  virtual bool TransportError() = 0;
  virtual uint32_t DeviceLastError() = 0;
  // The plugin's reconnect service: true when the connection is back.
  virtual bool Reconnect() = 0;
  // Device text to OEM (through the ANSI code page).
  virtual std::string ToOem(const std::u16string& text) = 0;
  // The status window: opened with a title and text, its text replaced, closed.
  virtual void OpenStatus(const std::string& title, const std::string& text) = 0;
  virtual void StatusText(const std::string& text) = 0;
  virtual void CloseStatus() = 0;
  // A warning message titled with the module's short name; one button "OK".
  virtual void Warning(const std::string& text) = 0;
};

// Lists the windows into list: the request (retried once after a reconnect when a transport error
// failed it), the walk of the answer, the trace. Without an answer the list stays empty and
// "Can't get window list\nHR=0x%08x" is shown, silent or not. The status window only when not
// silent.
void ListWindows(WindowsSeam& seam, TraceLog& log, bool silent, WindowList& list);

enum class WindowAction { kActivate, kClose };

// The parameters after "WindowAction;": action, ";", the handle text (at most 12 characters).
std::u16string ActionPayload(WindowAction action, const std::string& handleText);

// Sends one action. True when the call's status is 0 and the answer text is "OK"; otherwise the
// failure message (with the device's explanation when it sent one) is shown unless silent.
bool RunWindowAction(WindowsSeam& seam, WindowAction action, const std::string& handleText, bool silent);

// The message of a failed action: "Can't activate window" / "Can't minimize window", the call's
// status and the device's last error, then the explanation (OEM, at most 150 bytes) on a new line.
std::string ActionFailureText(WindowAction action, uint32_t status, uint32_t lastError,
                              const std::string& explanationOem);

// The UTF-16 text of an answer, up to its first zero or its end; an odd last byte is left out.
std::u16string AnswerText(const std::vector<uint8_t>& answer);

// The view mode the panel gets back when the module is left: the value at byte 56 of the panel
// state, minus 48 when at least 48 ('0' + mode), else 1.
int ViewModeOnLeaving(int32_t stateValue);

}  // namespace handrel::windows
