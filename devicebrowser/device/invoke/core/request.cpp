#include "devicebrowser/device/invoke/core/request.h"

#include "devicebrowser/device/invoke/core/bytes.h"

namespace handrel::invoke {
namespace {

struct CommandText {
  const char16_t* text;
  Command command;
  bool takesParams;  // the text ends in ";"
};
constexpr CommandText kCommands[] = {
    {u"GetSnapshoot;", Command::kSnapshot, true},
    {u"GetWindows", Command::kWindows, false},
    {u"GetBrowserInfo", Command::kBrowserInfo, false},
    {u"WindowAction;", Command::kWindowAction, true},
    {u"MoveFile;", Command::kMoveFile, true},
    {u"EnumContacts;", Command::kEnumContacts, true},
    {u"UpdateContact;", Command::kUpdateContact, true},
    {u"InputEvent;", Command::kInputEvent, true},
    {u"DeleteFile;", Command::kDeleteFile, true},
    {u"SetAttrib;", Command::kSetAttrib, true},
};

bool StartsWith(const uint8_t* data, size_t size, std::u16string_view text) {
  if (size / 2 < text.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (Load16(data + 2 * i) != text[i]) return false;
  return true;
}

}  // namespace

Request ParseRequest(const uint8_t* data, size_t size) {
  Request r;
  if (size == 0) {
    r.command = Command::kEmpty;
    return r;
  }
  std::u16string whole;  // read once, only when a whole-text command is compared
  bool wholeRead = false;
  for (const auto& c : kCommands) {
    std::u16string_view text(c.text);
    if (c.takesParams) {
      if (StartsWith(data, size, text)) {
        r.command = c.command;
        r.params = data + 2 * text.size();
        r.paramsSize = size - 2 * text.size();
        return r;
      }
    } else {
      if (!wholeRead) {
        whole = ReadText(data, size).text;
        wholeRead = true;
      }
      if (whole == text) {
        r.command = c.command;
        return r;
      }
    }
  }
  return r;
}

SnapshotOptions ParseSnapshotOptions(const uint8_t* params, size_t size) {
  SnapshotOptions o;
  std::u16string text = ReadText(params, size).text;
  auto has = [&](const char16_t* option) { return text.find(option) != std::u16string::npos; };
  if (has(u"BPP=8;"))
    o.bits = 8;
  else if (has(u"BPP=4;"))
    o.bits = 4;
  else if (has(u"BPP=24;"))
    o.bits = 24;
  else if (has(u"BPP=32;"))
    o.bits = 32;
  if (has(u"ZOOM=50%;"))
    o.zoom = 50;
  else if (has(u"ZOOM=200%;"))
    o.zoom = 200;
  return o;
}

WindowActionRequest ParseWindowAction(const uint8_t* params, size_t size) {
  WindowActionRequest r;
  std::u16string text = ReadText(params, size).text;
  if (text.empty()) {
    r.error = u"Params empty!";
    return r;
  }
  size_t colon = text.find(u';');
  if (colon == std::u16string::npos) {
    r.error = u"First colon not found:\n" + text;
    return r;
  }
  r.action = text.substr(0, colon);
  std::u16string rest = text.substr(colon + 1);
  if (rest.compare(0, 2, u"0x") != 0) {
    r.error = u"HWND 0x not found";
    return r;
  }
  // Hexadecimal digits after "0x" up to the first other character, as "%x" would scan them;
  // more than eight digits cannot be a 32-bit handle.
  uint32_t handle = 0;
  size_t digits = 0;
  for (size_t i = 2; i < rest.size(); ++i) {
    char16_t ch = rest[i];
    uint32_t v;
    if (ch >= u'0' && ch <= u'9')
      v = static_cast<uint32_t>(ch - u'0');
    else if (ch >= u'a' && ch <= u'f')
      v = static_cast<uint32_t>(ch - u'a' + 10);
    else if (ch >= u'A' && ch <= u'F')
      v = static_cast<uint32_t>(ch - u'A' + 10);
    else
      break;
    if (++digits > 8) {
      handle = 0;
      break;
    }
    handle = (handle << 4) | v;
  }
  if (handle == 0) {
    r.error = u"Can't parse HWND";
    return r;
  }
  r.handle = handle;
  return r;
}

bool ParsePath(const uint8_t* params, size_t size, std::u16string& path, size_t* consumed) {
  BoundedText t = ReadText(params, size);
  if (!t.terminated) return false;
  path = std::move(t.text);
  if (consumed) *consumed = t.consumed;
  return true;
}

bool ParseMoveFile(const uint8_t* params, size_t size, std::u16string& source, std::u16string& destination) {
  size_t used = 0;
  if (!ParsePath(params, size, source, &used)) return false;
  return ParsePath(params + used, size - used, destination);
}

bool ParseSetAttrib(const uint8_t* params, size_t size, uint32_t& attributes, std::u16string& path) {
  if (size < 4) return false;
  attributes = Load32(params);
  return ParsePath(params + 4, size - 4, path);
}

InputList ParseInputEvents(const uint8_t* params, size_t size) {
  InputList list;
  size_t at = 0;
  for (;;) {
    // The kind word alone decides whether the list ends here; every other kind needs its record.
    if (size - at < 4) {
      list.events.clear();
      list.error = u"Input list runs past the end of the request!";
      return list;
    }
    InputEvent ev;
    uint32_t kind = Load32(params + at);
    if (kind == 0 || kind > 4) return list;  // the end, or a kind that ends the list
    ev.kind = static_cast<InputKind>(kind);
    if (ev.kind == InputKind::kText) {
      if (size - at < kInputTextOffset) {
        list.events.clear();
        list.error = u"Input list runs past the end of the request!";
        return list;
      }
      uint32_t count = Load32(params + at + 4);
      if (count > (size - at - kInputTextOffset) / 2) {
        list.events.clear();
        list.error = u"Text record runs past the end of the request!";
        return list;
      }
      ev.a = count;
      const uint8_t* chars = params + at + kInputTextOffset;
      ev.text.resize(count);
      for (uint32_t i = 0; i < count; ++i) ev.text[i] = static_cast<char16_t>(Load16(chars + 2 * i));
      list.events.push_back(std::move(ev));
      return list;  // a text record ends the list
    }
    if (size - at < kInputRecordSize) {
      list.events.clear();
      list.error = u"Input list runs past the end of the request!";
      return list;
    }
    const uint8_t* r = params + at;
    ev.a = Load32(r + 4);
    ev.b = Load32(r + 8);
    ev.c = Load32(r + 12);
    ev.d = Load32(r + 16);
    ev.e = Load32(r + 20);
    list.events.push_back(std::move(ev));
    at += kInputRecordSize;
  }
}

}  // namespace handrel::invoke
