// Lofter's logic: from the text typed after the command prefix to a program started in the
// host's console or through the shell, with the failure boxes. Everything the launcher asks of
// the system goes through LaunchSystem, which the plugin implements over Win32 and the tests
// over a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lofter {

using Text = std::u16string;

// Language file texts (by number).
enum Msg : int {
  kMsgName = 0,         // the plugin's name, also its settings key
  kMsgLaunching = 1,    // the notice shown while the shell starts a program
  kMsgShellError = 2,   // other shell errors; holds one "%d"
  kMsgNotFound = 3,
  kMsgCannotRun = 4,
  kMsgLine5 = 5,        // the boxes' closing lines
  kMsgLine6 = 6,
  kMsgSpacer = 7,       // the about box's spacer line
};

inline constexpr const char16_t* kVersion = u"0.7.25";
inline constexpr int kDefaultShowMode = 5;   // show
inline constexpr uint32_t kConsoleInputMode = 7;  // processed, line and echo input

// Executable kinds read from a file's header.
inline constexpr int kKindWindowed = 2;
inline constexpr int kKindUnreadable = 255;  // not MZ, unknown MZ, short or malformed

// Reads bytes of the file at `offset` into `buffer`; returns how many were read (0 at the end or
// on an error). Offsets past the file's end read nothing.
class ByteReader {
 public:
  virtual ~ByteReader() = default;
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

// The kind of an executable: the PE subsystem number (2 windowed, 3 console, ...), 2 for a
// Windows NE file, else kKindUnreadable. Reads at most 64 + 264 bytes; every field is checked
// against what was actually read.
int ExecutableKind(ByteReader& file);

// Settings, one table for loading (there is no dialog: the host's registry editor is it).
struct Settings {
  bool displayLaunchMsg = true;
  Text prefix = u"lf";
};
inline constexpr size_t kPrefixMaxChars = 11;

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::optional<uint32_t> ReadDword(const char16_t* name) = 0;
  // The string value, or nullopt when missing, of the wrong type, or longer than maxChars.
  virtual std::optional<Text> ReadString(const char16_t* name, size_t maxChars) = 0;
};
Settings LoadSettings(SettingsStore& store);

// Everything the launcher does to the outside.
class LaunchSystem {
 public:
  virtual ~LaunchSystem() = default;
  virtual Text Message(int id) = 0;                         // language text; empty when missing
  virtual Text ExpandEnvironment(const Text& text) = 0;
  virtual std::optional<Text> Environment(const Text& name) = 0;
  virtual Text PanelFolder() = 0;                           // the active panel's folder
  // Searches `pathList` (";"-separated), or the system's default order when null, for `file`
  // with `extension` added when it has none. Returns the full path.
  virtual std::optional<Text> SearchPath(const Text* pathList, const Text& file, const Text& extension) = 0;
  // The default value of HKEY_LOCAL_MACHINE (machine) or HKEY_CURRENT_USER key `subkey`.
  virtual std::optional<Text> RegisteredPath(bool machine, const Text& subkey) = 0;
  virtual int ExecutableKindOf(const Text& path) = 0;      // ExecutableKind over the file
  // The console run's frame.
  virtual void ShowUserScreen() = 0;
  virtual void RestorePanels() = 0;
  virtual void RedrawAll() = 0;
  virtual std::optional<uint32_t> SetConsoleInputMode(uint32_t mode) = 0;  // returns the old mode
  virtual void RestoreConsoleInputMode(uint32_t mode) = 0;
  // Creates the process (handles inherited) and waits for it; false when it cannot be created.
  virtual bool RunAndWait(const Text& commandLine, const Text& folder) = 0;
  // The shell run.
  virtual void SaveScreen() = 0;
  virtual void RestoreScreen() = 0;
  virtual intptr_t ShellExecute(const Text& file, const Text& parameters, const Text& folder, int showMode) = 0;
  // A host message box; `lines` holds the title first. Flags are the host's FMSG_* bits.
  virtual void Box(uint32_t flags, const Text& helpTopic, const std::vector<Text>& lines) = 0;
};

// Host message flags the launcher uses (the host's values).
inline constexpr uint32_t kBoxWarning = 0x1;
inline constexpr uint32_t kBoxErrorType = 0x2;  // adds the system's text for the last error
inline constexpr uint32_t kBoxOk = 0x10000;

// The parts of a command text.
struct Command {
  Text program;      // as typed, without the quotes around it
  Text parameters;   // trimmed
  int showMode = kDefaultShowMode;
  bool showGiven = false;
};

Text Trim(const Text& text);  // blanks (spaces and tabs) at both ends
// Takes a leading "/" show option off `text` (then trimmed again); false leaves it untouched.
bool TakeShowOption(Text* text, int* mode);
// The show option, then the program and its parameters.
Command ParseCommand(const Text& expandedText);
// At most `n` characters: the first `keep` (at most n / 2 when that would leave no room), "{...}",
// and the end. Texts of 4 characters or fewer, or of at most n, stay as they are.
Text CutText(const Text& text, size_t n, size_t keep);
// "%d" in `format` replaced by `value` (once); the format is a language text, never printf's.
Text FormatNumber(const Text& format, long long value);
bool EndsWithExe(const Text& path);

// Where the program is: the panel folder, KELHOME and PATH, then the system's order, then the
// registered application paths (the machine's winning). nullopt when nowhere.
std::optional<Text> ResolveProgram(LaunchSystem& sys, const Text& program, const Text& folder);

// What the user asked for, end to end. Handles the empty text (the about box) too.
void HandleCommand(LaunchSystem& sys, const Settings& settings, const Text& commandText);

}  // namespace lofter
