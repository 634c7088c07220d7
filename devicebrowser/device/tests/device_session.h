// An emulated handheld for the device pieces' tests: a fresh device root with its Windows
// folder and state files, connected through rapi.dll as the plugin connects, with the invoke
// library and the policy updater written to the device through the remote API.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "devicebrowser/common/rapi_api.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

namespace devicetest {

inline std::wstring BinaryFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s = path;
  return s.substr(0, s.rfind(L'\\'));
}

inline std::vector<uint8_t> Wide(const std::u16string& s, bool terminate = true) {
  std::vector<uint8_t> r;
  for (char16_t c : s) {
    r.push_back(static_cast<uint8_t>(c));
    r.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminate) r.insert(r.end(), {0, 0});
  return r;
}
inline std::u16string Text(const std::vector<uint8_t>& a, size_t at = 0) {
  std::u16string s;
  for (size_t i = at; i + 1 < a.size(); i += 2) {
    char16_t c = static_cast<char16_t>(a[i] | (a[i + 1] << 8));
    if (!c) break;
    s.push_back(c);
  }
  return s;
}
inline uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
inline uint64_t U64(const std::vector<uint8_t>& b, size_t at) { return U32(b, at) | (uint64_t{U32(b, at + 4)} << 32); }
// Appends bytes one by one (the range insert trips a false overflow warning of the cross compiler).
inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& from) {
  for (uint8_t c : from) to.push_back(c);
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct InvokeResult {
  HRESULT hr = E_FAIL;
  bool answered = false;  // an answer block came back
  std::vector<uint8_t> answer;
};

class DeviceSession : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = std::make_unique<rapiemu::EmulatedDevice>(L"kel-handheld");
    root_ = device_->root();
    ASSERT_TRUE(device_->MakeFolder(L"\\Windows"));
    WriteState(u"registry",
               "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Test\"\n"
               "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000001\n");
  }
  void TearDown() override { device_.reset(); }

  void WriteState(std::u16string_view file, std::string_view text) { ASSERT_TRUE(device_->WriteState(file, text)); }
  std::string ReadState(std::u16string_view file) { return device_->ReadState(file); }
  std::wstring Host(const std::wstring& devicePath) const { return device_->Host(devicePath); }
  // Starts the connection and waits for its event in 250 ms slices, as the plugin does.
  HRESULT Connect() { return device_->Connect(10000); }
  RAPIINIT& StartRecord() { return device_->record(); }

  // Writes a file of the test's build folder to the device through the remote API.
  bool Place(const wchar_t* buildFile, const wchar_t* devicePath) {
    std::string bytes;
    if (!rapiemu::ReadWholeFile(BinaryFolder() + L"\\" + buildFile, bytes)) return false;
    HANDLE h = CeCreateFile(devicePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = CeWriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CeCloseHandle(h);
    return ok && written == bytes.size();
  }

  // Connects and places the invoke library, as every device panel start does.
  void Open() {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_TRUE(Place(L"HandrelInvoke.dll", L"\\Windows\\HandrelInvoke.dll")) << CeGetLastError();
  }

  // One invoke request; the request block is handed over, the answer block freed here.
  InvokeResult Invoke(const std::vector<uint8_t>& request) {
    InvokeResult r;
    BYTE* block = nullptr;
    if (!request.empty()) {
      block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, request.size()));
      memcpy(block, request.data(), request.size());
    }
    DWORD size = 0;
    BYTE* answer = nullptr;
    r.hr = CeRapiInvoke(L"\\Windows\\HandrelInvoke.dll", L"FnBlockMode", static_cast<DWORD>(request.size()), block,
                        &size, &answer, nullptr, 0);
    if (answer) {
      r.answered = true;
      r.answer.assign(answer, answer + size);
      LocalFree(answer);
    }
    return r;
  }
  std::u16string InvokeText(const std::vector<uint8_t>& request) { return Text(Invoke(request).answer); }

  std::unique_ptr<rapiemu::EmulatedDevice> device_;
  std::wstring root_;
};

}  // namespace devicetest
