// The renamer's settings store over the Win32 registry: keys below HKEY_CURRENT_USER and the
// host's root settings key.
#pragma once

#include <string>

#include "renamer/core/settings.h"

namespace quillet {

class RegistryStore : public SettingsStore {
 public:
  explicit RegistryStore(std::wstring root) : root_(std::move(root)) {}
  bool OpenKey(const std::u16string& key) override;
  bool CreateKey(const std::u16string& key) override;
  bool DeleteKey(const std::u16string& key) override;
  std::optional<uint32_t> ReadDword(const std::u16string& key, const std::u16string& name) override;
  std::optional<std::u16string> ReadString(const std::u16string& key, const std::u16string& name,
                                           uint32_t maxBytes) override;
  bool WriteDword(const std::u16string& key, const std::u16string& name, uint32_t value) override;
  bool WriteString(const std::u16string& key, const std::u16string& name, const std::u16string& text) override;
  std::vector<std::u16string> EnumValues(const std::u16string& key) override;

 private:
  std::wstring Path(const std::u16string& key) const;
  std::wstring root_;
};

// UTF-16 texts between the core (char16_t) and Win32 (wchar_t, 16 bits here).
inline std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

}  // namespace quillet
