// The emulated device's file system as seen from the host: one folder of the local disk (the
// device root) holds the device's "\". Every device path crosses into a host path through
// MapDevicePath and nowhere else, so no caller can reach outside the root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rapiemu {

// The device's error codes (the Win32 numbers the device reports through CeGetLastError).
enum DeviceError : uint32_t {
  kErrNone = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNoMoreFiles = 18,
  kErrSharingViolation = 32,
  kErrFileExists = 80,
  kErrInvalidParameter = 87,
  kErrDiskFull = 112,
  kErrInsufficientBuffer = 122,
  kErrInvalidName = 123,
  kErrModNotFound = 126,
  kErrProcNotFound = 127,
  kErrDirNotEmpty = 145,
  kErrAlreadyExists = 183,
  kErrBadExeFormat = 193,
  kErrFilenameTooLong = 206,
  kErrMoreData = 234,
  kErrDeviceNotConnected = 1167,  // transport: no connection (before the start, after the end)
  kErrConnectionAborted = 1236,   // transport: the connection was lost during the call
};

// Name of the root's entry that holds the emulator's own state (attribute sidecar, registry
// store, fault script, call log, the device pieces' logs). The device never sees it.
inline constexpr std::u16string_view kStateFolder = u".device";

// A device path can name at most this many characters (the device's MAX_PATH less the zero).
inline constexpr size_t kMaxDevicePath = 259;

struct MappedPath {
  uint32_t error = kErrNone;  // 0: mapped; else the device's error for this path
  std::u16string devicePath;  // canonical: "\" or "\A\B", no trailing or doubled backslashes
  std::u16string hostPath;    // root + "\A\B" (the root itself for "\")
  bool ok() const { return error == kErrNone; }
};

// Maps an absolute device path ("\" or "/" separated, leading separator required) below `root`
// (a Windows path without a trailing backslash). Refused, with the device's error:
//   123 (invalid name): ".." or "." components, drive letters, UNC prefixes, ':' (alternate
//       streams), wildcards and control characters, reserved device names (CON, NUL, COM1 ...),
//       components that are empty after the host's trailing dot and space trimming;
//   3 (path not found): a path that does not start at the root;
//   206 (name too long): more than kMaxDevicePath characters;
//   5 (access denied): anything inside the emulator's state folder.
// Each component loses trailing dots and spaces, as the device's file system does.
MappedPath MapDevicePath(std::u16string_view root, std::u16string_view devicePath);

// A find request split into its folder (mapped) and the pattern of its last component, which may
// hold '*' and '?'. A pattern naming the root itself ("\") is refused with 2.
struct MappedPattern {
  MappedPath folder;
  std::u16string pattern;
  bool ok() const { return folder.ok(); }
};
MappedPattern MapFindPattern(std::u16string_view root, std::u16string_view pattern);

// Whether `name` matches a find pattern, ignoring case: '*' any run, '?' one character, and a
// pattern ending in ".*" also matches names without a dot ("*.*" matches everything).
bool MatchFindPattern(std::u16string_view pattern, std::u16string_view name);

// Whether a pattern holds wildcards.
bool HasWildcards(std::u16string_view pattern);

// Case folding used for every device name comparison (ASCII, Latin-1, Greek and Cyrillic).
char16_t FoldChar(char16_t c);
std::u16string FoldCase(std::u16string_view s);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

// Stable nonzero object identifier of a canonical device path.
uint32_t ObjectId(std::u16string_view canonicalDevicePath);

// UTF-8 <-> UTF-16 for the emulator's text files; malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace rapiemu
