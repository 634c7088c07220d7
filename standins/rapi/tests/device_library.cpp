// A device library for the emulator's invoke tests, written to the platform's extension
// contract: it owns the request (a local block it frees) and answers with a local block.
#include <windows.h>

#include <cstring>

extern "C" {

// Answers the request's local block size (4 bytes), then the request itself.
HRESULT __stdcall Echo(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output, void*) {
  DWORD held = input != nullptr ? static_cast<DWORD>(LocalSize(input)) : 0;
  BYTE* answer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, inputSize + 4));
  if (answer == nullptr) {
    if (input != nullptr) LocalFree(input);
    *outputSize = 0;
    return E_OUTOFMEMORY;
  }
  memcpy(answer, &held, 4);
  if (inputSize > 0) memcpy(answer + 4, input, inputSize);
  if (input != nullptr) LocalFree(input);
  *output = answer;
  *outputSize = inputSize + 4;
  return S_OK;
}

// Answers how many times it was called since the library was loaded (4 bytes): the device keeps
// a library loaded in its own process, so the count runs on from call to call.
HRESULT __stdcall Count(DWORD, BYTE* input, DWORD* outputSize, BYTE** output, void*) {
  static LONG calls = 0;
  if (input != nullptr) LocalFree(input);
  LONG n = InterlockedIncrement(&calls);
  *output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 4));
  if (*output == nullptr) return E_OUTOFMEMORY;
  memcpy(*output, &n, 4);
  *outputSize = 4;
  return S_OK;
}

HRESULT __stdcall NoAnswer(DWORD, BYTE* input, DWORD* outputSize, BYTE** output, void*) {
  if (input != nullptr) LocalFree(input);
  *output = nullptr;
  *outputSize = 0;
  return S_OK;
}

// A failure result with an answer text, as device libraries report errors.
HRESULT __stdcall Refuse(DWORD, BYTE* input, DWORD* outputSize, BYTE** output, void*) {
  if (input != nullptr) LocalFree(input);
  *output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 4));
  memcpy(*output, "bad", 4);
  *outputSize = 4;
  return E_ACCESSDENIED;
}

// Claims far more answer bytes than it allocated.
HRESULT __stdcall Oversized(DWORD, BYTE* input, DWORD* outputSize, BYTE** output, void*) {
  if (input != nullptr) LocalFree(input);
  *output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, 8));
  memset(*output, 0x5A, 8);
  *outputSize = 1u << 20;
  return S_OK;
}
}
