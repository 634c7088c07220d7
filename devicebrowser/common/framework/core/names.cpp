#include "devicebrowser/common/framework/core/names.h"

#include <cstdio>
#include <cstring>

namespace handrel::fw {

int CapacityForNext(int count, int capacity) {
  return count + 1 >= capacity ? capacity + kItemGrowth : capacity;
}

uint32_t UserDataSize(bool exact, size_t nameChars) {
  return exact ? kUserDataHeader : kUserDataHeader + 2 * static_cast<uint32_t>(nameChars);
}

bool IsForbiddenNameChar(unsigned char c) { return c != 0 && std::strchr("\"*/:<>?\\|", c) != nullptr; }

void ReplaceChar(std::string& name, char replacement) {
  for (char& c : name)
    if (IsForbiddenNameChar(static_cast<unsigned char>(c))) c = replacement;
}

namespace {

std::string Fold(const std::string& s) {
  std::string f = s;
  for (char& c : f)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return f;
}

}  // namespace

bool AltNames::Take(const std::string& name) {
  ++probes_;
  return used_.insert(Fold(name)).second; }

void AltNames::Clear() {
  used_.clear();
  nextNumber_.clear();
  probes_ = 0;
}

std::string AltNames::Assign(const std::string& oemName, char replacement) {
  size_t dot = oemName.rfind('.');
  std::string base = oemName.substr(0, dot == std::string::npos ? oemName.size() : dot);
  std::string ext = dot == std::string::npos ? std::string() : oemName.substr(dot, 4);
  if (base.size() > 8) base.resize(8);
  ReplaceChar(base, replacement);
  ReplaceChar(ext, replacement);
  std::string plain = base + ext;
  if (Take(plain)) return plain;
  // Every numbered form is fixed by the first six base characters and the extension; the forms
  // below the remembered number were all taken when it was stored, and names are never released.
  std::string key = Fold(base.substr(0, 6)) + '\0' + Fold(ext);
  int& next = nextNumber_[key];
  if (next < 1) next = 1;
  for (; next <= 99999; ++next) {
    size_t keep = next < 10 ? 6 : next < 100 ? 5 : next < 1000 ? 4 : next < 10000 ? 3 : 2;
    char number[16];
    std::snprintf(number, sizeof number, "~%i", next);
    std::string candidate = base.substr(0, keep) + number + ext;
    if (Take(candidate)) {
      ++next;
      return candidate;
    }
  }
  return std::string();
}

ItemName BuildItemName(const std::u16string& wide, const std::string& oem, bool exact, char replacement,
                       AltNames& altNames) {
  ItemName item;
  item.exact = exact;
  item.userDataSize = UserDataSize(exact, wide.size());
  if (!exact) item.altName = altNames.Assign(oem, replacement);
  item.oemName = oem;
  ReplaceChar(item.oemName, replacement);
  return item;
}

bool DebugSettingsPath(const std::u16string& modulePath, std::u16string& out) {
  size_t slash = modulePath.rfind(u'\\');
  size_t dot = modulePath.rfind(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash) || dot == 0) return false;
  out = modulePath.substr(0, dot) + u".ini";
  return true;
}

PathFault JoinItemPath(const std::u16string& folder, const std::u16string& name, size_t bufferChars,
                       std::u16string& out, size_t* namePos) {
  if (name.find(u'\\') != std::u16string::npos) return PathFault::kSlash;
  if (folder.size() + name.size() + 1 >= bufferChars) return PathFault::kTooLarge;
  out = folder + name;
  if (namePos) *namePos = folder.size();
  return PathFault::kNone;
}

std::u16string LastPathKey(const std::u16string& shortName, const std::u16string& deviceName) {
  return u"LastPath_" + shortName.substr(0, 100) + u"-" + deviceName;
}

std::vector<uint8_t> InvokeRequest(const std::u16string& command, const void* payload, size_t payloadSize) {
  std::vector<uint8_t> request;
  size_t textBytes = command.size() * 2;
  request.reserve(textBytes + payloadSize + 4);
  for (char16_t c : command) {
    request.push_back(static_cast<uint8_t>(c & 0xFF));
    request.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (payload && payloadSize) {
    const uint8_t* p = static_cast<const uint8_t*>(payload);
    request.insert(request.end(), p, p + payloadSize);
  } else {
    request.insert(request.end(), {0, 0});
  }
  request.insert(request.end(), {0, 0});
  return request;
}

int MakeDirectoryPath(const std::u16string& path, DirectorySeam& seam) {
  size_t first = path.find(u'\\');
  if (first == std::u16string::npos || (first == 0 && path.find(u'\\', 1) == std::u16string::npos)) return 1;
  std::u16string whole = path;
  if (whole.size() > 1 && whole.back() == u'\\') whole.pop_back();
  uint32_t a = seam.Attributes(whole);
  if (a != DirectorySeam::kMissing && (a & DirectorySeam::kDirectory)) return 1;
  std::vector<std::u16string> levels;
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == u'\\') levels.push_back(path.substr(0, i));
  if (whole.size() > (levels.empty() ? 0 : levels.back().size())) levels.push_back(whole);
  for (const std::u16string& level : levels) {
    if (level.empty() || level.back() == u':') continue;  // a drive ("C:") is there already
    uint32_t attributes = seam.Attributes(level);
    if (attributes == DirectorySeam::kMissing) {
      if (!seam.Create(level)) return 0;
    } else if (!(attributes & DirectorySeam::kDirectory)) {
      return 0;
    }
  }
  return 1;
}

}  // namespace handrel::fw
