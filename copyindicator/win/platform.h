// The Win32 side of the core's seams: the pipe, the registry, the clock and the speaker.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "copyindicator/core/notify.h"
#include "copyindicator/core/protocol.h"
#include "copyindicator/core/settings.h"

namespace veloma {

// An exchange that has not finished this long after its connection counts as failed (ms).
constexpr unsigned long kExchangeTimeoutMs = 3000;

// Opens "\\.\pipe\KELFerry" for each exchange; a busy or absent pipe gives no connection.
class Win32PipeConnector : public PipeConnector {
 public:
  std::unique_ptr<PipeConnection> Connect() override;
};

// HKEY_CURRENT_USER\Software\Veloma; errors give defaults on reading and are ignored on writing.
class RegistryStore : public SettingsStore {
 public:
  RegistryStore();
  ~RegistryStore() override;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;
  bool GetDword(const char* name, uint32_t& value) override;
  bool GetBinary(const char* name, uint8_t* data, size_t size) override;
  bool GetString(const char* name, std::u16string& value) override;
  void SetDword(const char* name, uint32_t value) override;
  void SetBinary(const char* name, const uint8_t* data, size_t size) override;
  void SetString(const char* name, const std::u16string& value) override;

 private:
  HKEY key_ = nullptr;
};

// PlaySound for files, Beep and Sleep for the speaker.
class Win32Sound : public SoundSink {
 public:
  void PlayFile(const std::u16string& path) override;
  void Beep(int frequency, int durationMs) override;
  void Pause(int durationMs) override;
};

uint64_t NowLocalFileTime();

inline std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string Utf16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace veloma
