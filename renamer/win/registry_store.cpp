#include "renamer/win/registry_store.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace quillet {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 texts are UTF-16");

// An open registry key, closed when it goes.
class Key {
 public:
  Key(const std::wstring& path, REGSAM access) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::wstring RegistryStore::Path(const std::u16string& key) const {
  return root_.empty() ? Wide(key) : root_ + L"\\" + Wide(key);
}

bool RegistryStore::OpenKey(const std::u16string& key) { return bool(Key(Path(key), KEY_READ)); }

bool RegistryStore::CreateKey(const std::u16string& key) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Path(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

bool RegistryStore::DeleteKey(const std::u16string& key) {
  return RegDeleteKeyW(HKEY_CURRENT_USER, Path(key).c_str()) == ERROR_SUCCESS;
}

std::optional<uint32_t> RegistryStore::ReadDword(const std::u16string& key, const std::u16string& name) {
  Key k(Path(key), KEY_READ);
  if (!k) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExW(k.get(), Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return std::nullopt;
  return value;
}

std::optional<std::u16string> RegistryStore::ReadString(const std::u16string& key, const std::u16string& name,
                                                        uint32_t maxBytes) {
  Key k(Path(key), KEY_READ);
  if (!k) return std::nullopt;
  // A value longer than maxBytes fails the query with ERROR_MORE_DATA: it counts as missing.
  std::vector<BYTE> data(maxBytes);
  DWORD type = 0, size = maxBytes;
  if (RegQueryValueExW(k.get(), Wide(name).c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data.data(), text.size() * 2);
  return text;
}

bool RegistryStore::WriteDword(const std::u16string& key, const std::u16string& name, uint32_t value) {
  Key k(Path(key), KEY_SET_VALUE);
  if (!k) return false;
  DWORD v = value;
  return RegSetValueExW(k.get(), Wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof(v)) ==
         ERROR_SUCCESS;
}

bool RegistryStore::WriteString(const std::u16string& key, const std::u16string& name, const std::u16string& text) {
  Key k(Path(key), KEY_SET_VALUE);
  if (!k) return false;
  const std::wstring w = Wide(text);
  const DWORD bytes = DWORD((w.size() + 1) * sizeof(wchar_t));  // with the terminator
  return RegSetValueExW(k.get(), Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()), bytes) ==
         ERROR_SUCCESS;
}

std::vector<std::u16string> RegistryStore::EnumValues(const std::u16string& key) {
  std::vector<std::u16string> names;
  Key k(Path(key), KEY_READ);
  if (!k) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD length = 16384;
    if (RegEnumValueW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(U16(std::wstring_view(name, length)));
  }
  return names;
}

}  // namespace quillet
