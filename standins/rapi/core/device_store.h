// The emulated device's state that the host file system cannot hold, kept as text files in the
// root's state folder (".device"): the attribute sidecar ("attributes") and the registry store
// ("registry"). Tests write both; the emulator and the device pieces' emulator builds read and
// update them. Both formats are UTF-8 text, one record a line; see standins/rapi/README.md.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rapiemu {

// File names inside the state folder.
inline constexpr std::u16string_view kAttributesFile = u"attributes";
inline constexpr std::u16string_view kRegistryFile = u"registry";

// Device attribute bits.
enum : uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrInRom = 0x40,
  kAttrNormal = 0x80,
  kAttrStorageCard = 0x100,  // also the temporary bit; a root folder with it is a storage card
  kAttrCompressed = 0x800,
  kAttrRomModule = 0x2000,
};
// The bits a program may change on the device; the others are the file system's own.
inline constexpr uint32_t kSettableAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | kAttrNormal;

// A device write time is kept at two-second precision (FILETIME units of 100 ns), as the
// device's FAT storage keeps it: the time is cut down to the even second.
inline constexpr uint64_t DeviceWriteTime(uint64_t fileTime) { return fileTime - fileTime % 20000000u; }

// The attribute word the device reports for an entry: the sidecar's word when it has one
// (the directory bit always from the host), else archive for a file and directory for a folder
// plus the host's read-only bit; "normal" only when no other bit is set.
uint32_t ComposeAttributes(bool isDirectory, bool hostReadOnly, std::optional<uint32_t> sidecar);

// The word stored after a program sets `requested` on an entry whose word is `current`: the
// settable bits come from the request, every other bit stays as the file system keeps it.
uint32_t ApplySetAttributes(uint32_t current, uint32_t requested);

// Attribute sidecar: lines "0x<hex word> <canonical device path>"; '#' starts a comment line.
// Paths compare without regard to case.
class AttributeSidecar {
 public:
  // Malformed lines are skipped and counted (badLines).
  static AttributeSidecar Parse(std::string_view text);
  std::string Serialize() const;

  std::optional<uint32_t> Find(std::u16string_view devicePath) const;
  void Set(std::u16string_view devicePath, uint32_t attributes);
  // Removes the entry and every entry below it (a deleted folder takes its content along).
  void Remove(std::u16string_view devicePath);
  // Moves the entry and every entry below it to the new path.
  void Rename(std::u16string_view from, std::u16string_view to);
  size_t size() const { return entries_.size(); }
  size_t badLines() const { return badLines_; }

 private:
  struct Entry {
    std::u16string path;  // as written
    uint32_t attributes;
  };
  std::map<std::u16string, Entry> entries_;  // keyed by the folded path
  size_t badLines_ = 0;
};

// Registry value types the store knows by name; others are kept as hexadecimal bytes.
enum : uint32_t { kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

struct RegistryValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;  // as the registry returns it (REG_SZ: UTF-16LE with its zero)
};

// Registry store in the form of a registry export:
//   [HKEY_LOCAL_MACHINE\Ident]
//   "Name"="Handheld"            (string; \\ \" \n \r escapes)
//   "00001001"=dword:00000001    (32-bit value)
//   "Blob"=hex(3):01,02,ff       (any other type; also a string without its zero)
//   @="default value"
// Key paths begin with the root's name and compare without regard to case.
class RegistryStore {
 public:
  // Malformed lines are skipped and counted (badLines); a value line before any key is malformed.
  static RegistryStore Parse(std::string_view text);
  std::string Serialize() const;

  // A key exists when it is stored or is the prefix of a stored key; a bare root always exists.
  bool KeyExists(std::u16string_view keyPath) const;
  void CreateKey(std::u16string_view keyPath);
  const RegistryValue* Find(std::u16string_view keyPath, std::u16string_view valueName) const;
  void Set(std::u16string_view keyPath, std::u16string_view valueName, RegistryValue value);
  size_t badLines() const { return badLines_; }

  static RegistryValue String(std::u16string_view text);
  static RegistryValue Dword(uint32_t value);

 private:
  struct Key {
    std::u16string path;  // as written
    std::map<std::u16string, std::pair<std::u16string, RegistryValue>> values;  // folded name -> (name, value)
  };
  Key& KeyFor(std::u16string_view keyPath);
  std::map<std::u16string, Key> keys_;  // keyed by the folded path
  size_t badLines_ = 0;
};

// Joins a key path and a sub key ("HKEY_LOCAL_MACHINE" + "Ident" -> "HKEY_LOCAL_MACHINE\Ident"),
// dropping separators at the joint; an empty sub key leaves the path as it is.
std::u16string JoinKeyPath(std::u16string_view base, std::u16string_view subKey);

}  // namespace rapiemu
