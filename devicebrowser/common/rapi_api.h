// The device remote access interface (rapi.dll): its records, the entries the device browser and
// its modules call, and a pointer type for each entry so that the plugin can resolve them by name.
// Every entry is stdcall and exported under its undecorated name. Device paths and names are
// UTF-16 throughout. The layouts below are the platform's and are checked at compile time.
#pragma once

#include <windows.h>

#include <cstddef>

// Connection-start record of CeRapiInitEx: the caller sets the size to 12 and hands an event; the
// interface signals the event once the device answers and stores the outcome (negative: failed).
struct RAPIINIT {
  DWORD cbSize;
  HANDLE heRapiInit;
  HRESULT hrRapiInit;
};

// Device find record: 40 bytes of attributes, times, size and object id, then a 260-character
// name. The first nine 32-bit fields line up with the host panel item's start.
struct CE_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};
typedef CE_FIND_DATA* LPCE_FIND_DATA;

static_assert(sizeof(RAPIINIT) == 12, "start record is 12 bytes");
static_assert(offsetof(RAPIINIT, heRapiInit) == 4 && offsetof(RAPIINIT, hrRapiInit) == 8,
              "start record: size, event, result");
static_assert(sizeof(CE_FIND_DATA) == 560, "device find record is 40 bytes + 260 UTF-16 characters");
static_assert(offsetof(CE_FIND_DATA, ftCreationTime) == 4 && offsetof(CE_FIND_DATA, ftLastAccessTime) == 12 &&
                  offsetof(CE_FIND_DATA, ftLastWriteTime) == 20 && offsetof(CE_FIND_DATA, nFileSizeHigh) == 28 &&
                  offsetof(CE_FIND_DATA, nFileSizeLow) == 32 && offsetof(CE_FIND_DATA, dwOID) == 36 &&
                  offsetof(CE_FIND_DATA, cFileName) == 40,
              "device find record field offsets");
static_assert(sizeof(PROCESS_INFORMATION) == 16, "process information: two handles, two ids");

// Device attribute bits the desktop's headers do not name (the device reuses 0x100 for cards).
constexpr DWORD kCeAttributeInRom = 0x40;
constexpr DWORD kCeAttributeStorageCard = 0x100;  // with the directory bit: a storage card folder
constexpr DWORD kCeAttributeRomModule = 0x2000;

// Outcome stored in RAPIINIT::hrRapiInit before the start; the interface overwrites it.
constexpr HRESULT kRapiInitPending = static_cast<HRESULT>(-1);

// Pointer types, one per entry. Contracts:
//  CeRapiInitEx: returns at once; signals rec->heRapiInit when the device is reached (or the start
//    failed, rec->hrRapiInit < 0).             CeRapiUninit: ends the connection.
//  CeRapiGetError: nonzero after a call that failed in transport.
//  CeGetLastError: the device's error code of the last call (2 not found, 3 path not found,
//    5 access denied, 18 no more files, 80 file exists, 112 disk full, ...).
//  CeRapiInvoke: takes over the request (freed with LocalFree); on success stores a LocalAlloc
//    answer the caller frees with LocalFree or CeRapiFreeBuffer. A null answer is a failure.
//  CeReg*: 0 on success, else an error code (2: key or value missing).
//  CeCreateFile / CeFindFirstFile: a handle, or INVALID_HANDLE_VALUE.
//  CeGetFileAttributes: 0xFFFFFFFF when the path is missing. Others: nonzero on success.
typedef HRESULT(WINAPI* CeRapiInitExFn)(RAPIINIT* init);
typedef HRESULT(WINAPI* CeRapiUninitFn)();
typedef HRESULT(WINAPI* CeRapiGetErrorFn)();
typedef DWORD(WINAPI* CeGetLastErrorFn)();
typedef HRESULT(WINAPI* CeRapiFreeBufferFn)(LPVOID buffer);
typedef HRESULT(WINAPI* CeRapiInvokeFn)(LPCWSTR dllPath, LPCWSTR functionName, DWORD inputSize, BYTE* input,
                                        DWORD* outputSize, BYTE** output, void** stream, DWORD reserved);
typedef LONG(WINAPI* CeRegOpenKeyExFn)(HKEY key, LPCWSTR subKey, DWORD reserved, REGSAM access, PHKEY result);
typedef LONG(WINAPI* CeRegQueryValueExFn)(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                          DWORD* dataSize);
typedef LONG(WINAPI* CeRegCloseKeyFn)(HKEY key);
typedef LONG(WINAPI* CeRegSetValueExFn)(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                        DWORD dataSize);
typedef HANDLE(WINAPI* CeCreateFileFn)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                       DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
typedef BOOL(WINAPI* CeReadFileFn)(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
typedef BOOL(WINAPI* CeWriteFileFn)(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                    LPOVERLAPPED overlapped);
typedef DWORD(WINAPI* CeSetFilePointerFn)(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
typedef DWORD(WINAPI* CeGetFileSizeFn)(HANDLE file, LPDWORD sizeHigh);
typedef BOOL(WINAPI* CeGetFileTimeFn)(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
typedef BOOL(WINAPI* CeSetFileTimeFn)(HANDLE file, const FILETIME* creation, const FILETIME* access,
                                      const FILETIME* write);
typedef BOOL(WINAPI* CeCloseHandleFn)(HANDLE handle);
typedef HANDLE(WINAPI* CeFindFirstFileFn)(LPCWSTR pattern, LPCE_FIND_DATA data);
typedef BOOL(WINAPI* CeFindNextFileFn)(HANDLE find, LPCE_FIND_DATA data);
typedef BOOL(WINAPI* CeFindCloseFn)(HANDLE find);
typedef DWORD(WINAPI* CeGetFileAttributesFn)(LPCWSTR path);
typedef BOOL(WINAPI* CeSetFileAttributesFn)(LPCWSTR path, DWORD attributes);
typedef BOOL(WINAPI* CeCreateDirectoryFn)(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
typedef BOOL(WINAPI* CeRemoveDirectoryFn)(LPCWSTR path);
typedef BOOL(WINAPI* CeDeleteFileFn)(LPCWSTR path);
typedef BOOL(WINAPI* CeMoveFileFn)(LPCWSTR from, LPCWSTR to);
typedef BOOL(WINAPI* CeCopyFileFn)(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
typedef BOOL(WINAPI* CeCreateProcessFn)(LPCWSTR program, LPCWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                        LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD flags,
                                        LPVOID environment, LPWSTR currentDirectory, LPSTARTUPINFOW startup,
                                        LPPROCESS_INFORMATION info);

// Prototypes for libraries that link the interface (import library built from rapi.def).
extern "C" {
HRESULT WINAPI CeRapiInitEx(RAPIINIT* init);
HRESULT WINAPI CeRapiUninit();
HRESULT WINAPI CeRapiGetError();
DWORD WINAPI CeGetLastError();
HRESULT WINAPI CeRapiFreeBuffer(LPVOID buffer);
HRESULT WINAPI CeRapiInvoke(LPCWSTR dllPath, LPCWSTR functionName, DWORD inputSize, BYTE* input, DWORD* outputSize,
                            BYTE** output, void** stream, DWORD reserved);
LONG WINAPI CeRegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD reserved, REGSAM access, PHKEY result);
LONG WINAPI CeRegQueryValueEx(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                              DWORD* dataSize);
LONG WINAPI CeRegCloseKey(HKEY key);
LONG WINAPI CeRegSetValueEx(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                            DWORD dataSize);
HANDLE WINAPI CeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                           DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI CeReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WINAPI CeWriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD WINAPI CeSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD WINAPI CeGetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL WINAPI CeGetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
BOOL WINAPI CeSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write);
BOOL WINAPI CeCloseHandle(HANDLE handle);
HANDLE WINAPI CeFindFirstFile(LPCWSTR pattern, LPCE_FIND_DATA data);
BOOL WINAPI CeFindNextFile(HANDLE find, LPCE_FIND_DATA data);
BOOL WINAPI CeFindClose(HANDLE find);
DWORD WINAPI CeGetFileAttributes(LPCWSTR path);
BOOL WINAPI CeSetFileAttributes(LPCWSTR path, DWORD attributes);
BOOL WINAPI CeCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI CeRemoveDirectory(LPCWSTR path);
BOOL WINAPI CeDeleteFile(LPCWSTR path);
BOOL WINAPI CeMoveFile(LPCWSTR from, LPCWSTR to);
BOOL WINAPI CeCopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
BOOL WINAPI CeCreateProcess(LPCWSTR program, LPCWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                            LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD flags, LPVOID environment,
                            LPWSTR currentDirectory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info);
}

// The invoke contract of a device library's entry (CeRapiInvoke calls it by name): it owns the
// request (LocalFree) and returns its answer in a LocalAlloc block; the stream is always null here.
typedef HRESULT(__stdcall* RapiExtensionFn)(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output,
                                            void* stream);
