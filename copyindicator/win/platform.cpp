#include "copyindicator/win/platform.h"

#include <mmsystem.h>

#include <vector>

namespace veloma {
namespace {

// Every transfer of one exchange shares one deadline: a service that takes a connection and then
// sends nothing (or less than it announced) costs the window thread this long, not for ever.
class HandlePipe : public PipeConnection {
 public:
  explicit HandlePipe(HANDLE h)
      : h_(h), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), start_(GetTickCount()) {}
  ~HandlePipe() override {
    if (event_) CloseHandle(event_);
    CloseHandle(h_);
  }
  HandlePipe(const HandlePipe&) = delete;
  HandlePipe& operator=(const HandlePipe&) = delete;

  bool Write(const uint8_t* data, size_t size) override {
    DWORD written = 0;
    return Transfer(true, const_cast<uint8_t*>(data), static_cast<DWORD>(size), written) && written == size;
  }
  // A byte pipe may hand a large reply over in pieces; keep reading until all of it is here.
  size_t Read(uint8_t* data, size_t size) override {
    size_t total = 0;
    while (total < size) {
      DWORD got = 0;
      if (!Transfer(false, data + total, static_cast<DWORD>(size - total), got) || got == 0) break;
      total += got;
    }
    return total;
  }

 private:
  // One overlapped read or write, waited for until the exchange's deadline; a transfer still
  // pending then is cancelled and the exchange fails (every later transfer too).
  bool Transfer(bool write, uint8_t* data, DWORD size, DWORD& done) {
    done = 0;
    if (expired_ || !event_) return false;
    OVERLAPPED ov = {};
    ov.hEvent = event_;
    ResetEvent(event_);
    BOOL ok = write ? WriteFile(h_, data, size, nullptr, &ov) : ReadFile(h_, data, size, nullptr, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
    DWORD elapsed = GetTickCount() - start_;
    DWORD left = elapsed >= kExchangeTimeoutMs ? 0 : kExchangeTimeoutMs - elapsed;
    if (WaitForSingleObject(event_, left) != WAIT_OBJECT_0) {
      expired_ = true;
      CancelIo(h_);
      GetOverlappedResult(h_, &ov, &done, TRUE);  // the buffer is the caller's: wait for the cancel
      done = 0;
      return false;
    }
    return GetOverlappedResult(h_, &ov, &done, FALSE) != 0;
  }

  HANDLE h_;
  HANDLE event_;
  DWORD start_;
  bool expired_ = false;
};

std::wstring WideName(const char* name) { return std::wstring(name, name + strlen(name)); }

}  // namespace

std::unique_ptr<PipeConnection> Win32PipeConnector::Connect() {
  HANDLE h = CreateFileW(L"\\\\.\\pipe\\KELFerry", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<HandlePipe>(h);
}

RegistryStore::RegistryStore() {
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Veloma", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                      nullptr) != ERROR_SUCCESS)
    key_ = nullptr;
}

RegistryStore::~RegistryStore() {
  if (key_) RegCloseKey(key_);
}

bool RegistryStore::GetDword(const char* name, uint32_t& value) {
  DWORD type = 0, v = 0, size = sizeof v;
  if (!key_ || RegQueryValueExW(key_, WideName(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) !=
                   ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof v)
    return false;
  value = v;
  return true;
}

bool RegistryStore::GetBinary(const char* name, uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer(size);
  DWORD type = 0, got = static_cast<DWORD>(size);
  if (!key_ || RegQueryValueExW(key_, WideName(name).c_str(), nullptr, &type, buffer.data(), &got) != ERROR_SUCCESS ||
      type != REG_BINARY || got != size)
    return false;
  std::copy(buffer.begin(), buffer.end(), data);
  return true;
}

bool RegistryStore::GetString(const char* name, std::u16string& value) {
  // Room for the longest text and its terminator, and one more place that stays 0 for a text
  // stored without its terminator.
  wchar_t buffer[kSlotTextMax + 2] = {};
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  if (!key_ || RegQueryValueExW(key_, WideName(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
                   ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  value = Utf16(buffer);  // the buffer keeps its terminator even when the stored text lacks one
  return true;
}

void RegistryStore::SetDword(const char* name, uint32_t value) {
  DWORD v = value;
  if (key_) RegSetValueExW(key_, WideName(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

void RegistryStore::SetBinary(const char* name, const uint8_t* data, size_t size) {
  if (key_) RegSetValueExW(key_, WideName(name).c_str(), 0, REG_BINARY, data, static_cast<DWORD>(size));
}

void RegistryStore::SetString(const char* name, const std::u16string& value) {
  std::wstring w = Wide(value);
  if (key_)
    RegSetValueExW(key_, WideName(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

void Win32Sound::PlayFile(const std::u16string& path) {
  PlaySoundW(Wide(path).c_str(), nullptr, SND_FILENAME | SND_ASYNC);
}

void Win32Sound::Beep(int frequency, int durationMs) {
  ::Beep(static_cast<DWORD>(frequency), static_cast<DWORD>(durationMs));
}

void Win32Sound::Pause(int durationMs) { Sleep(static_cast<DWORD>(durationMs)); }

uint64_t NowLocalFileTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

}  // namespace veloma
