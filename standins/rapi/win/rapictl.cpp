// rapictl: drives the remote access interface from a shell, one command a run (connect, act,
// end), for the demo and for looking at an emulated device by hand. It links rapi.dll like the
// module libraries do and knows nothing of the emulator behind it.
//   rapictl ls <pattern>                          list a device folder
//   rapictl put <local file> <device path>        copy a file to the device
//   rapictl get <device path> <local file>        copy a file from the device
//   rapictl reg <HKLM key> <value>                show a registry value
//   rapictl invoke <dll> <function> <text> [<out file>]
//                                                 send the UTF-16 text (with its zero) as the request
//   rapictl run <program> [<arguments>]           start a device program and wait for its end
// Exit code: 0 done, 1 the device refused, 2 usage or no connection.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devicebrowser/common/rapi_api.h"

namespace {

void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void Printf(const wchar_t* format, ...) {
  wchar_t buffer[2048];
  va_list args;
  va_start(args, format);
  _vsnwprintf(buffer, 2047, format, args);
  va_end(args);
  buffer[2047] = 0;
  Print(buffer);
}

int Refused(const wchar_t* what) {
  Printf(L"%ls failed: device error %lu, transport 0x%08lx\n", what, CeGetLastError(),
         static_cast<unsigned long>(CeRapiGetError()));
  return 1;
}

bool Connect() {
  RAPIINIT init{sizeof(RAPIINIT), CreateEventW(nullptr, TRUE, FALSE, nullptr), kRapiInitPending};
  if (FAILED(CeRapiInitEx(&init))) return false;
  bool up = WaitForSingleObject(init.heRapiInit, 30000) == WAIT_OBJECT_0 && SUCCEEDED(init.hrRapiInit);
  if (!up) CeRapiUninit();
  CloseHandle(init.heRapiInit);
  return up;
}

std::wstring FormatTime(const FILETIME& t) {
  SYSTEMTIME st;
  FileTimeToSystemTime(&t, &st);
  wchar_t b[32];
  _snwprintf(b, 32, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
  b[31] = 0;
  return b;
}

int List(const wchar_t* pattern) {
  CE_FIND_DATA d;
  HANDLE h = CeFindFirstFile(pattern, &d);
  if (h == INVALID_HANDLE_VALUE) return Refused(L"CeFindFirstFile");
  do {
    Printf(L"  0x%04lx %10lu  %ls  %ls\n", d.dwFileAttributes, d.nFileSizeLow, FormatTime(d.ftLastWriteTime).c_str(),
           d.cFileName);
  } while (CeFindNextFile(h, &d));
  CeFindClose(h);
  return 0;
}

int Put(const wchar_t* local, const wchar_t* device) {
  HANDLE in = CreateFileW(local, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    Printf(L"cannot open %ls\n", local);
    return 2;
  }
  HANDLE out = CeCreateFile(device, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return Refused(L"CeCreateFile");
  }
  std::vector<char> buffer(65536);
  DWORD got = 0, put = 0, total = 0;
  int rc = 0;
  while (ReadFile(in, buffer.data(), 65536, &got, nullptr) && got > 0) {
    if (!CeWriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
      rc = Refused(L"CeWriteFile");
      break;
    }
    total += got;
  }
  CeCloseHandle(out);
  CloseHandle(in);
  if (rc == 0) Printf(L"  %lu bytes -> %ls\n", total, device);
  return rc;
}

int Get(const wchar_t* device, const wchar_t* local) {
  HANDLE in = CeCreateFile(device, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return Refused(L"CeCreateFile");
  HANDLE out = CreateFileW(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CeCloseHandle(in);
    Printf(L"cannot create %ls\n", local);
    return 2;
  }
  std::vector<char> buffer(65536);
  DWORD got = 0, put = 0;
  int rc = 0;
  while (true) {
    if (!CeReadFile(in, buffer.data(), 65536, &got, nullptr)) {
      rc = Refused(L"CeReadFile");
      break;
    }
    if (got == 0) break;
    WriteFile(out, buffer.data(), got, &put, nullptr);
  }
  CloseHandle(out);
  CeCloseHandle(in);
  return rc;
}

int Registry(const wchar_t* key, const wchar_t* value) {
  HKEY h = nullptr;
  LONG r = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, key, 0, 0, &h);
  if (r != 0) {
    Printf(L"  HKEY_LOCAL_MACHINE\\%ls: error %ld\n", key, r);
    return 1;
  }
  BYTE data[1024] = {};
  DWORD size = sizeof data - 2, type = 0;
  r = CeRegQueryValueEx(h, value, nullptr, &type, data, &size);
  CeRegCloseKey(h);
  if (r != 0) {
    Printf(L"  HKEY_LOCAL_MACHINE\\%ls \"%ls\": error %ld\n", key, value, r);
    return 1;
  }
  if (type == REG_DWORD && size == 4) {
    DWORD v;
    memcpy(&v, data, 4);
    Printf(L"  HKEY_LOCAL_MACHINE\\%ls \"%ls\" = dword 0x%08lx\n", key, value, v);
  } else {
    Printf(L"  HKEY_LOCAL_MACHINE\\%ls \"%ls\" = \"%ls\"\n", key, value, reinterpret_cast<wchar_t*>(data));
  }
  return 0;
}

int Invoke(const wchar_t* dll, const wchar_t* function, const wchar_t* text, const wchar_t* outFile) {
  // The request as the device browser builds it: the text, its zero and two more zero bytes.
  size_t chars = wcslen(text);
  DWORD size = static_cast<DWORD>((chars + 2) * sizeof(wchar_t));
  BYTE* request = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, size));
  memcpy(request, text, chars * sizeof(wchar_t));
  DWORD answerSize = 0;
  BYTE* answer = nullptr;
  HRESULT hr = CeRapiInvoke(dll, function, size, request, &answerSize, &answer, nullptr, 0);
  Printf(L"  %ls(\"%ls\"): result 0x%08lx, %lu answer bytes\n", function, text, static_cast<unsigned long>(hr),
         answerSize);
  if (answer == nullptr) return Refused(L"CeRapiInvoke");
  if (outFile != nullptr) {
    HANDLE out = CreateFileW(outFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    if (out != INVALID_HANDLE_VALUE) {
      WriteFile(out, answer, answerSize, &put, nullptr);
      CloseHandle(out);
    }
  } else if (answerSize >= 2 && answerSize % 2 == 0) {
    Printf(L"  answer: \"%ls\"\n",
           std::wstring(reinterpret_cast<wchar_t*>(answer), answerSize / 2).c_str());
  }
  CeRapiFreeBuffer(answer);
  return FAILED(hr) ? 1 : 0;
}

int Run(const wchar_t* program, const wchar_t* arguments) {
  PROCESS_INFORMATION pi{};
  if (!CeCreateProcess(program, arguments, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi)) {
    return Refused(L"CeCreateProcess");
  }
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CeCloseHandle(pi.hProcess);
  CeCloseHandle(pi.hThread);
  Printf(L"  %ls %ls: exit code %lu\n", program, arguments, code);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc < 3) {
    Print(L"usage: rapictl ls|put|get|reg|invoke|run ...\n");
    return 2;
  }
  std::wstring command = argv[1];
  if (!Connect()) {
    Print(L"no connection to the device\n");
    return 2;
  }
  int rc = 2;
  if (command == L"ls") {
    rc = List(argv[2]);
  } else if (command == L"put" && argc == 4) {
    rc = Put(argv[2], argv[3]);
  } else if (command == L"get" && argc == 4) {
    rc = Get(argv[2], argv[3]);
  } else if (command == L"reg" && argc == 4) {
    rc = Registry(argv[2], argv[3]);
  } else if (command == L"invoke" && (argc == 5 || argc == 6)) {
    rc = Invoke(argv[2], argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
  } else if (command == L"run") {
    rc = Run(argv[2], argc > 3 ? argv[3] : L"");
  } else {
    Print(L"usage: rapictl ls|put|get|reg|invoke|run ...\n");
  }
  CeRapiUninit();
  return rc;
}
