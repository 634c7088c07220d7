#include "launcher/core/launch.h"

#include "host/kel_text.h"

#include <cstring>

namespace lofter {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Header layout: the DOS header's new-header offset, then fields of the header found there.
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kDosNewHeaderOffset = 0x3C;
constexpr size_t kNewHeaderRead = 264;
constexpr size_t kPeOptionalMagic = 24;          // after "PE\0\0" and the 20-byte file header
constexpr size_t kPeSubsystem = 24 + 68;         // the same place for 0x10B and 0x20B headers
constexpr size_t kNeTargetSystem = 0x36;

Text Ascii(const char* s) {
  Text t;
  for (; *s; ++s) t += static_cast<char16_t>(static_cast<unsigned char>(*s));
  return t;
}

Text Number(long long value) { return Ascii(std::to_string(value).c_str()); }

// Removes every double quote (a program name never holds one).
Text Unquote(const Text& text) {
  Text out;
  for (char16_t c : text)
    if (c != u'"') out += c;
  return out;
}

void WarningBox(LaunchSystem& sys, uint32_t extra, const Text& topic, std::vector<Text> lines) {
  lines.push_back(sys.Message(kMsgLine6));
  lines.push_back(sys.Message(kMsgLine5));
  sys.Box(kBoxWarning | kBoxOk | extra, topic, lines);
}

void AboutBox(LaunchSystem& sys) {
  Text spacer = sys.Message(kMsgSpacer);
  Text title(1, u'\u00AB');
  title.append(sys.Message(kMsgName)).append(u" ").append(kVersion).append(1, u'\u00BB');
  std::vector<Text> lines{spacer, title, spacer, u"Programs and documents from the command line",
                          sys.Message(kMsgLine6), sys.Message(kMsgLine5)};
  sys.Box(kBoxOk, u"Contents", lines);
}

// Console programs run inside the host's console while the user screen is shown; the host is
// waiting meanwhile, as it does for programs started from its own command line.
void ConsoleRun(LaunchSystem& sys, const Command& cmd, const Text& resolved, const Text& folder) {
  Text line = resolved.find(u' ') != Text::npos ? u"\"" + resolved + u"\"" : resolved;
  if (!cmd.parameters.empty()) line += u" " + cmd.parameters;
  sys.ShowUserScreen();
  std::optional<uint32_t> oldMode = sys.SetConsoleInputMode(kConsoleInputMode);
  bool ran = sys.RunAndWait(line, folder);
  sys.RestorePanels();
  sys.RedrawAll();
  if (oldMode) sys.RestoreConsoleInputMode(*oldMode);
  if (!ran)
    WarningBox(sys, 0, u"ErrorCannotExecute", {sys.Message(kMsgName), sys.Message(kMsgCannotRun), CutText(cmd.program, 66, 36)});
}

void ShellRun(LaunchSystem& sys, const Settings& settings, const Command& cmd, const Text& folder) {
  if (settings.displayLaunchMsg) {
    sys.SaveScreen();
    sys.Box(0, Text(), {sys.Message(kMsgName), sys.Message(kMsgLaunching)});
  }
  intptr_t result = sys.ShellExecute(cmd.program, cmd.parameters, folder, cmd.showMode);
  if (settings.displayLaunchMsg) sys.RestoreScreen();
  if (result > 32) return;
  Text topic = u"Error" + Number(result);
  if (result == 2) {
    WarningBox(sys, 0, topic, {sys.Message(kMsgName), sys.Message(kMsgNotFound), CutText(cmd.program, 66, 24)});
  } else if (result == 31) {
    // No handler for the document: the shell's own dialog lets the user pick one.
    sys.ShellExecute(u"rundll32", u"shell32,OpenAs_RunDLL " + cmd.program, folder, cmd.showMode);
  } else {
    WarningBox(sys, kBoxErrorType, topic, {sys.Message(kMsgName), FormatNumber(sys.Message(kMsgShellError), result)});
  }
}

}  // namespace

int ExecutableKind(ByteReader& file) {
  uint8_t dos[kDosHeaderSize];
  if (file.ReadAt(0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z') return kKindUnreadable;
  uint32_t at = Le32(dos + kDosNewHeaderOffset);
  uint8_t hdr[kNewHeaderRead];
  size_t got = file.ReadAt(at, hdr, sizeof hdr);
  if (got > sizeof hdr) got = 0;  // a reader that claims more than it was given is not believed
  if (got >= kPeSubsystem + 2 && std::memcmp(hdr, "PE\0\0", 4) == 0) {
    uint16_t magic = Le16(hdr + kPeOptionalMagic);
    if (magic == 0x10B || magic == 0x20B) return Le16(hdr + kPeSubsystem);
    return kKindUnreadable;
  }
  if (got > kNeTargetSystem && hdr[0] == 'N' && hdr[1] == 'E') {
    uint8_t target = hdr[kNeTargetSystem];
    return target == 2 || target == 4 ? kKindWindowed : kKindUnreadable;
  }
  return kKindUnreadable;
}

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  if (auto v = store.ReadDword(u"DisplayLaunchMsg")) s.displayLaunchMsg = *v != 0;
  if (auto v = store.ReadString(u"PluginPrefix", kPrefixMaxChars)) s.prefix = *v;
  return s;
}

Text Trim(const Text& text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool TakeShowOption(Text* text, int* mode) {
  if (text->size() < 2 || (*text)[0] != u'/') return false;
  static const struct { char16_t ch; int mode; } kModes[] = {
      {u'0', 0}, {u'h', 0}, {u'1', 1}, {u'2', 2}, {u'3', 3}, {u'M', 3}, {u'4', 4}, {u'5', 5},
      {u'n', 5}, {u'6', 6}, {u'm', 6}, {u'7', 7}, {u'8', 8}, {u'9', 9}};
  for (const auto& m : kModes) {
    if ((*text)[1] == m.ch) {
      *mode = m.mode;
      *text = Trim(text->substr(2));
      return true;
    }
  }
  return false;
}

Command ParseCommand(const Text& expandedText) {
  Command cmd;
  Text text = Trim(expandedText);
  cmd.showGiven = TakeShowOption(&text, &cmd.showMode);
  if (!text.empty() && text[0] == u'"') {
    size_t close = text.find(u'"', 1);
    if (close != Text::npos) {
      cmd.program = text.substr(1, close - 1);
      cmd.parameters = Trim(text.substr(close + 1));
      return cmd;
    }
  }
  size_t space = text.find(u' ');
  if (space == Text::npos) {
    cmd.program = text;
  } else {
    cmd.program = text.substr(0, space);
    cmd.parameters = Trim(text.substr(space + 1));
  }
  return cmd;
}

Text CutText(const Text& text, size_t n, size_t keep) {
  static const Text kMark = u"{...}";
  if (text.size() <= 4 || text.size() <= n || n < kMark.size()) return text;
  size_t room = n - kMark.size();
  if (keep > room) keep = n / 2 < room ? n / 2 : room;
  size_t tail = room - keep;
  Text out;
  out.reserve(n);
  out.append(text, 0, keep);
  out.append(kMark);
  out.append(text, text.size() - tail, tail);
  return out;
}

Text FormatNumber(const Text& format, long long value) { return kel::FormatNumber(format, value); }

bool EndsWithExe(const Text& path) {
  static const char16_t kExe[] = u".exe";
  if (path.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (Lower(path[path.size() - 4 + i]) != kExe[i]) return false;
  return true;
}

std::optional<Text> ResolveProgram(LaunchSystem& sys, const Text& typed, const Text& folder) {
  Text program = Unquote(typed);
  if (program.empty()) return std::nullopt;
  Text list = folder + u";" + sys.Environment(u"KELHOME").value_or(Text()) + u";" + sys.Environment(u"PATH").value_or(Text());
  if (auto found = sys.SearchPath(&list, program, u".exe")) return found;
  if (auto found = sys.SearchPath(nullptr, program, u".exe")) return found;
  Text key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program + (EndsWithExe(program) ? u"" : u".exe");
  std::optional<Text> registered = sys.RegisteredPath(false, key);
  if (auto machine = sys.RegisteredPath(true, key)) registered = machine;
  if (registered) {
    Text path = Trim(Unquote(*registered));
    if (!path.empty()) return path;
  }
  return std::nullopt;
}

void HandleCommand(LaunchSystem& sys, const Settings& settings, const Text& commandText) {
  Text text = Trim(sys.ExpandEnvironment(commandText));
  if (text.empty()) {
    AboutBox(sys);
    return;
  }
  Command cmd = ParseCommand(text);
  if (cmd.program.empty()) {
    AboutBox(sys);
    return;
  }
  Text folder = sys.PanelFolder();
  std::optional<Text> resolved = ResolveProgram(sys, cmd.program, folder);
  if (!cmd.showGiven && resolved && EndsWithExe(*resolved)) {
    int kind = sys.ExecutableKindOf(*resolved);
    if (kind != kKindWindowed && kind != kKindUnreadable) {
      ConsoleRun(sys, cmd, *resolved, folder);
      return;
    }
  }
  ShellRun(sys, settings, cmd, folder);
}

}  // namespace lofter
