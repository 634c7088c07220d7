// Requests to the device-side invoke library: a UTF-16 command text, then for the commands that
// end in ";" their parameters directly behind it. Every parser here is bounded by the request
// size; a parameter that would run past the end is refused, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::invoke {

// In the order the commands are tested; the first match wins.
enum class Command {
  kSnapshot,       // "GetSnapshoot;"
  kWindows,        // "GetWindows"
  kBrowserInfo,    // "GetBrowserInfo"
  kWindowAction,   // "WindowAction;"
  kMoveFile,       // "MoveFile;"
  kEnumContacts,   // "EnumContacts;"
  kUpdateContact,  // "UpdateContact;"
  kInputEvent,     // "InputEvent;"
  kDeleteFile,     // "DeleteFile;"
  kSetAttrib,      // "SetAttrib;"
  kEmpty,          // a request of zero bytes
  kUnknown,
};

struct Request {
  Command command = Command::kUnknown;
  const uint8_t* params = nullptr;  // the bytes behind a ";" command's text, inside the request
  size_t paramsSize = 0;
};
// Commands ending in ";" match when the request begins with their text; the others match when
// the request's text (up to its zero or the end of the request) is exactly theirs.
Request ParseRequest(const uint8_t* data, size_t size);

// "GetSnapshoot;" options.
struct SnapshotOptions {
  uint32_t bits = 16;  // 4, 8, 16, 24 or 32
  int zoom = 100;      // 50, 100 or 200
};
SnapshotOptions ParseSnapshotOptions(const uint8_t* params, size_t size);

// "WindowAction;": action ";" "0x" handle [";"]. On a malformed request `error` holds the answer.
struct WindowActionRequest {
  std::u16string action;
  uint32_t handle = 0;
  std::u16string error;  // empty when the request is well formed
};
WindowActionRequest ParseWindowAction(const uint8_t* params, size_t size);

// A zero-terminated path; false when the terminator is not inside the request.
bool ParsePath(const uint8_t* params, size_t size, std::u16string& path, size_t* consumed = nullptr);
// "MoveFile;": source, zero, destination, zero.
bool ParseMoveFile(const uint8_t* params, size_t size, std::u16string& source, std::u16string& destination);
// "SetAttrib;": 32-bit attributes, then the path.
bool ParseSetAttrib(const uint8_t* params, size_t size, uint32_t& attributes, std::u16string& path);

// "InputEvent;": 24-byte records up to the end of the list.
enum class InputKind : uint32_t { kEnd = 0, kChar = 1, kKey = 2, kMouse = 3, kText = 4 };
constexpr size_t kInputRecordSize = 24;
constexpr size_t kInputTextOffset = 8;  // a text record's characters replace B onward
struct InputEvent {
  InputKind kind = InputKind::kEnd;
  uint32_t a = 0, b = 0, c = 0, d = 0, e = 0;
  std::u16string text;  // kText only: exactly the record's count of characters
};
struct InputList {
  std::vector<InputEvent> events;
  std::u16string error;  // empty when the list is well formed
};
// The whole list is checked before any event is acted on: a record that does not fit, a text
// whose count runs past the request, or a list without its end inside the request is refused.
InputList ParseInputEvents(const uint8_t* params, size_t size);

}  // namespace handrel::invoke
