// The portable part of the module framework: panel item names (the 8-bit name, the alternate 8.3
// name and its numbered forms), the item array's growth, the module's debug settings path, device
// item paths, the remembered-folder key, the invoke request and the walk that makes a folder path.
// Texts: device names UTF-16 (char16_t), host names 8-bit OEM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace handrel::fw {

constexpr int kItemGrowth = 255;
constexpr size_t kMaxFolderChars = 260;
constexpr uint32_t kUserDataHeader = 18;

// The capacity the item array needs before one more item is added: unchanged while count + 1 stays
// below it, else grown by 255 (one entry is always kept free; the first item allocates 255).
int CapacityForNext(int count, int capacity);

// Byte size of an item's user data: 18 when the 8-bit name is exact, else 18 + 2 x name length.
uint32_t UserDataSize(bool exact, size_t nameChars);

// The characters a host file name may not hold: " * / : < > ? \ |
bool IsForbiddenNameChar(unsigned char c);
// Replaces each of them in name by replacement.
void ReplaceChar(std::string& name, char replacement);

// The alternate short names of one listing. Assign gives an item its 8.3 name: the base (the 8-bit
// name up to its last dot, at most 8 characters) and the extension (the last dot and at most three
// characters), forbidden characters replaced; when another item of the list has it already, the
// first free numbered form "~n" after a base of 6 (n < 10), 5, 4, 3 or 2 (n < 100000) characters;
// empty when all are taken. Names compare without regard to ASCII case. Each search resumes where
// the last one for the same six-character base and extension stopped, so a folder of names that
// all collide costs linear time.
class AltNames {
 public:
  std::string Assign(const std::string& oemName, char replacement);
  void Clear();
  // Names tried since the list began (each a set look-up).
  size_t Probes() const { return probes_; }

 private:
  bool Take(const std::string& name);
  std::unordered_set<std::string> used_;
  std::unordered_map<std::string, int> nextNumber_;
  size_t probes_ = 0;
};

// What an item shows for a device name, given its OEM conversion.
struct ItemName {
  std::string oemName;  // forbidden characters replaced
  std::string altName;  // empty when exact
  uint32_t userDataSize = kUserDataHeader;
  bool exact = true;
};
ItemName BuildItemName(const std::u16string& wide, const std::string& oem, bool exact, char replacement,
                       AltNames& altNames);

// The debug settings file of a module: its path up to the last dot with ".ini". False when there is
// no dot after the last backslash (or nothing before the dot).
bool DebugSettingsPath(const std::u16string& modulePath, std::u16string& out);

// folder + name for a buffer of bufferChars characters. namePos receives where the name starts.
enum class PathFault { kNone, kSlash, kTooLarge };
PathFault JoinItemPath(const std::u16string& folder, const std::u16string& name, size_t bufferChars,
                       std::u16string& out, size_t* namePos);

// "LastPath_" + short name (at most 100 characters) + "-" + device name.
std::u16string LastPathKey(const std::u16string& shortName, const std::u16string& deviceName);

// An invoke request: the command without terminator, the payload, two zero bytes; with no payload
// the command, its terminator and two zero bytes.
std::vector<uint8_t> InvokeRequest(const std::u16string& command, const void* payload, size_t payloadSize);

// The file functions a folder walk needs (device or local).
class DirectorySeam {
 public:
  virtual ~DirectorySeam() = default;
  static constexpr uint32_t kMissing = 0xFFFFFFFFu;
  static constexpr uint32_t kDirectory = 0x10;
  virtual uint32_t Attributes(const std::u16string& path) = 0;  // kMissing when absent
  virtual bool Create(const std::u16string& path) = 0;
};
// Makes every missing level of path. 1 when every level exists or was made; 0 when a level is a
// file or cannot be made. A path without a backslash, or with one only at its start, answers 1.
int MakeDirectoryPath(const std::u16string& path, DirectorySeam& seam);

}  // namespace handrel::fw
