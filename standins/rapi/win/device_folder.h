// Win32 side of the emulated device's folder, shared by rapi.dll and the device pieces' emulator
// builds: where the device root is, where its state files are, and whole-file text I/O with a
// stamp that tells when another process changed a state file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rapiemu {

// The device root named by KEL_DEVICE_ROOT (a Windows path), without trailing backslashes;
// empty when the variable is unset or the folder does not exist.
std::wstring DeviceRootFromEnvironment();

// root + "\.device\" + file.
std::wstring StatePath(const std::wstring& root, std::u16string_view file);

inline std::wstring ToWide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// Size and last-write time of a file, to notice changes made by others (tests, device pieces).
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  uint64_t writeTime = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::wstring& path);

// Reads a whole file (at most 64 MiB); false when it is missing or unreadable.
bool ReadWholeFile(const std::wstring& path, std::string& out);
// Writes a whole file through a temporary beside it, creating the state folder when needed, so
// that a reader never sees half a file.
bool WriteWholeFile(const std::wstring& path, std::string_view data);
// Appends one line (a newline is added) to a log file; false on failure.
bool AppendLine(const std::wstring& path, std::string_view line);

}  // namespace rapiemu
