// A device-side library whose screenshots are damaged: a text for a 50 % picture (as a failed
// capture answers), and otherwise a bitmap whose headers promise a whole 240 x 320 screen but whose
// pixels stop halfway. Written to the emulated device in place of the real one.
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllexport) HRESULT __stdcall FnBlockMode(DWORD inSize, BYTE* in, DWORD* outSize, BYTE** out,
                                                                void*) {
  bool half = false;
  if (in) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(in);
    size_t chars = inSize / sizeof(wchar_t);
    half = wcsnlen(text, chars) < chars && wcsstr(text, L"ZOOM=50%;") != nullptr;
    LocalFree(in);
  }
  if (half) {
    static const wchar_t kText[] = L"Can't capture the screen! ErrCode=0x00000008";
    *out = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, sizeof kText));
    if (!*out) return E_OUTOFMEMORY;
    std::memcpy(*out, kText, sizeof kText);
    *outSize = sizeof kText;
    return S_OK;
  }
  const DWORD width = 240, height = 320, pixels = width * height * 2, full = 54 + pixels, sent = 54 + pixels / 2;
  BYTE* b = static_cast<BYTE*>(LocalAlloc(LPTR, sent));
  if (!b) return E_OUTOFMEMORY;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfSize = full;
  file.bfOffBits = 54;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 16;
  info.biSizeImage = pixels;
  std::memcpy(b, &file, sizeof file);
  std::memcpy(b + sizeof file, &info, sizeof info);
  *out = b;
  *outSize = sent;
  return S_OK;
}
