// HandrelInvoke: the device-side library the desktop calls through the remote API's invoke
// operation. One entry, FnBlockMode, with the platform's extension-function contract.
#include <windows.h>

#include <cstring>
#include <new>

#include "devicebrowser/device/invoke/core/invoke.h"
#include "devicebrowser/device/invoke/win/device_win.h"
#include "devicebrowser/device/seam/device_seam.h"

namespace {
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT kUnexpected = static_cast<HRESULT>(0x8000FFFF);
}  // namespace

// The request arrives in a LocalAlloc block that this function frees; the answer is a LocalAlloc
// block the caller frees. Result 0 with the answer, or 0x8007000E (answer size 0, no answer)
// when the answer cannot be allocated. No exception leaves the library.
extern "C" HRESULT __stdcall FnBlockMode(DWORD inputSize, BYTE* input, DWORD* answerSize,
                                                               BYTE** answer, void* /*stream*/) {
  HRESULT result = kUnexpected;
  if (answerSize) *answerSize = 0;
  if (answer) *answer = nullptr;
  try {
    if (answerSize && answer) {
      handrel::invoke::Win32Device device;
      std::vector<uint8_t> bytes = handrel::invoke::HandleRequest(input, input ? inputSize : 0, device);
      void* block = device_seam::AllocAnswer(bytes.size());
      if (!block) {
        result = kOutOfMemory;
      } else {
        if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
        *answer = static_cast<BYTE*>(block);
        *answerSize = static_cast<DWORD>(bytes.size());
        result = S_OK;
      }
    }
  } catch (const std::bad_alloc&) {
    result = kOutOfMemory;
  } catch (...) {
    result = kUnexpected;
  }
  if (input) LocalFree(input);
  return result;
}
