// The emulated device's contract, through rapi.dll's real entries under Wine: a test writes a
// device root (files, attribute sidecar, registry store, script), connects as the plugin does
// and checks what a caller of the remote API sees and what lands on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devicebrowser/common/rapi_api.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

using namespace rapiemu;

namespace {

constexpr uint64_t kSecond = 10000000;

std::wstring TestBinaryFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s = path;
  return s.substr(0, s.rfind(L'\\'));
}

uint64_t Ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
FILETIME FileTime(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

class Device : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(GetFileAttributesW(root_.c_str()), INVALID_FILE_ATTRIBUTES); }

  std::wstring Host(const std::wstring& devicePath) const { return device_.Host(devicePath); }
  void MakeFolder(const std::wstring& devicePath) { ASSERT_TRUE(device_.MakeFolder(devicePath)); }
  void MakeFile(const std::wstring& devicePath, std::string_view content = "data") {
    ASSERT_TRUE(device_.MakeFile(devicePath, content)) << GetLastError();
  }
  void WriteState(std::u16string_view file, std::string_view text) { ASSERT_TRUE(device_.WriteState(file, text)); }
  std::string ReadState(std::u16string_view file) { return device_.ReadState(file); }
  HRESULT Connect() { return device_.Connect(); }

  // Names a find request yields, in order.
  std::vector<std::wstring> Find(const wchar_t* pattern, DWORD* error = nullptr) {
    std::vector<std::wstring> names;
    CE_FIND_DATA d;
    HANDLE h = CeFindFirstFile(pattern, &d);
    if (h == INVALID_HANDLE_VALUE) {
      if (error) *error = CeGetLastError();
      return names;
    }
    do names.push_back(d.cFileName);
    while (CeFindNextFile(h, &d));
    if (error) *error = CeGetLastError();
    EXPECT_TRUE(CeFindClose(h));
    return names;
  }

  CE_FIND_DATA FindOne(const wchar_t* path) {
    CE_FIND_DATA d{};
    HANDLE h = CeFindFirstFile(path, &d);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << CeGetLastError();
    if (h != INVALID_HANDLE_VALUE) CeFindClose(h);
    return d;
  }

  EmulatedDevice device_{L"kel-rapi"};
  const std::wstring& root_ = device_.root();
  RAPIINIT& init_ = device_.record();
};

// ---- connection

TEST_F(Device, CallsBeforeTheConnectionAndAfterItsEndFailInTransport) {
  MakeFile(L"\\a.txt");
  EXPECT_EQ(CeGetFileAttributes(L"\\a.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CeRapiGetError(), S_OK);
  EXPECT_EQ(CeGetLastError(), 1167u);
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(CeGetFileAttributes(L"\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(CeRapiGetError(), S_OK);
  // A second start while connected is refused; the connection stays.
  RAPIINIT again{sizeof(RAPIINIT), init_.heRapiInit, kRapiInitPending};
  EXPECT_EQ(CeRapiInitEx(&again), static_cast<HRESULT>(0x80041001u));
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_EQ(CeGetFileAttributes(L"\\a.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CeRapiGetError(), S_OK);
  // A start record of the wrong size is refused at once.
  RAPIINIT wrong{8, init_.heRapiInit, kRapiInitPending};
  EXPECT_EQ(CeRapiInitEx(&wrong), E_INVALIDARG);
}

TEST_F(Device, StartReturnsAtOnceAndSignalsAfterTheScriptedDelay) {
  WriteState(u"script", "connect delay 700\n");
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CeRapiInitEx(&init_), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(WaitForSingleObject(init_.heRapiInit, 250), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(init_.hrRapiInit, kRapiInitPending);
  // Still starting: calls fail in transport.
  EXPECT_EQ(CeGetFileAttributes(L"\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CeRapiGetError(), S_OK);
  ASSERT_EQ(WaitForSingleObject(init_.heRapiInit, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(650));
  EXPECT_EQ(init_.hrRapiInit, S_OK);
  EXPECT_EQ(CeGetFileAttributes(L"\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Device, AStartThatNeverAnswersIsCancelledByTheEnd) {
  WriteState(u"script", "connect never\n");
  ASSERT_EQ(CeRapiInitEx(&init_), S_OK);
  EXPECT_EQ(WaitForSingleObject(init_.heRapiInit, 500), static_cast<DWORD>(WAIT_TIMEOUT));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  // The cancelled start never touches the record or the event again.
  EXPECT_EQ(WaitForSingleObject(init_.heRapiInit, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(init_.hrRapiInit, kRapiInitPending);
  // A delayed start cancelled before its time likewise.
  WriteState(u"script", "connect delay 400\n");
  ASSERT_EQ(CeRapiInitEx(&init_), S_OK);
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_EQ(WaitForSingleObject(init_.heRapiInit, 700), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(init_.hrRapiInit, kRapiInitPending);
  // And the next start works.
  WriteState(u"script", "");
  EXPECT_EQ(Connect(), S_OK);
}

TEST_F(Device, FailedStartsSignalANegativeResult) {
  WriteState(u"script", "connect fail 0x8007048F\n");
  EXPECT_EQ(Connect(), static_cast<HRESULT>(0x8007048Fu));
  EXPECT_EQ(CeGetFileAttributes(L"\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CeRapiGetError(), S_OK);
  // Without a device folder there is no device: a clean failure, not a crash.
  SetEnvironmentVariableW(L"KEL_DEVICE_ROOT", (root_ + L"\\missing").c_str());
  EXPECT_LT(Connect(), 0);
  SetEnvironmentVariableW(L"KEL_DEVICE_ROOT", nullptr);
  EXPECT_LT(Connect(), 0);
}

// ---- file system

TEST_F(Device, FindPatternsAndDotEntries) {
  MakeFolder(L"\\Windows");
  MakeFile(L"\\Windows\\b.TXT");
  MakeFile(L"\\Windows\\a.txt");
  MakeFile(L"\\Windows\\noext");
  MakeFile(L"\\Windows\\c.txt.bak");
  MakeFolder(L"\\Windows\\Sub");
  MakeFile(L"\\top.txt");
  WriteState(u"registry", "");
  ASSERT_EQ(Connect(), S_OK);
  DWORD error = 0;
  // The root has no dot entries and never shows the emulator's state folder.
  EXPECT_EQ(Find(L"\\*.*", &error), (std::vector<std::wstring>{L"top.txt", L"Windows"}));
  EXPECT_EQ(error, 18u);
  // A subfolder lists "." and ".." first, as the device's FAT storage does.
  EXPECT_EQ(Find(L"\\Windows\\*.*"),
            (std::vector<std::wstring>{L".", L"..", L"a.txt", L"b.TXT", L"c.txt.bak", L"noext", L"Sub"}));
  EXPECT_EQ(Find(L"\\Windows\\*"), Find(L"\\Windows\\*.*"));
  EXPECT_EQ(Find(L"\\Windows\\*.txt"), (std::vector<std::wstring>{L"a.txt", L"b.TXT"}));
  EXPECT_EQ(Find(L"\\Windows\\?.txt"), (std::vector<std::wstring>{L"a.txt", L"b.TXT"}));
  // An exact name finds that entry with the case it is stored with.
  EXPECT_EQ(Find(L"\\WINDOWS\\B.txt"), (std::vector<std::wstring>{L"b.TXT"}));
  EXPECT_EQ(Find(L"\\Windows"), (std::vector<std::wstring>{L"Windows"}));
  CE_FIND_DATA dot = FindOne(L"\\Windows\\*");
  EXPECT_STREQ(dot.cFileName, L".");
  EXPECT_EQ(dot.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  // Nothing matches: 2; the folder is missing: 3.
  EXPECT_TRUE(Find(L"\\Windows\\*.exe", &error).empty());
  EXPECT_EQ(error, 2u);
  EXPECT_TRUE(Find(L"\\Windows\\missing.dll", &error).empty());
  EXPECT_EQ(error, 2u);
  EXPECT_TRUE(Find(L"\\Nowhere\\*.*", &error).empty());
  EXPECT_EQ(error, 3u);
  EXPECT_TRUE(Find(L"\\.device\\*", &error).empty());
  EXPECT_EQ(error, 5u);
  EXPECT_TRUE(Find(L"\\..\\*", &error).empty());
  EXPECT_EQ(error, 123u);
  // The find record carries size and a stable object id.
  MakeFile(L"\\Windows\\size.bin", std::string(70000, 'x'));
  CE_FIND_DATA d = FindOne(L"\\Windows\\size.bin");
  EXPECT_EQ(d.nFileSizeLow, 70000u);
  EXPECT_EQ(d.nFileSizeHigh, 0u);
  EXPECT_NE(d.dwOID, 0u);
  EXPECT_EQ(FindOne(L"\\windows\\SIZE.BIN").dwOID, d.dwOID);
  // A finished search handle is gone; closing it twice is an invalid handle.
  HANDLE h = CeFindFirstFile(L"\\*", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CeFindClose(h));
  EXPECT_FALSE(CeFindClose(h));
  EXPECT_EQ(CeGetLastError(), 6u);
}

TEST_F(Device, ErrorCodesFollowTheRealOutcome) {
  MakeFolder(L"\\Docs");
  MakeFile(L"\\Docs\\a.txt");
  MakeFile(L"\\b.txt");
  ASSERT_EQ(Connect(), S_OK);
  auto open = [](const wchar_t* path, DWORD access, DWORD creation) {
    return CeCreateFile(path, access, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  EXPECT_EQ(open(L"\\missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_EQ(CeRapiGetError(), S_OK);
  EXPECT_EQ(open(L"\\Nowhere\\x.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 3u);
  EXPECT_EQ(open(L"\\b.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 80u);
  EXPECT_EQ(open(L"\\Docs", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_EQ(CeGetFileAttributes(L"\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_FALSE(CeCreateDirectory(L"\\Docs", nullptr));
  EXPECT_EQ(CeGetLastError(), 183u);
  EXPECT_FALSE(CeCreateDirectory(L"\\x\\y", nullptr));
  EXPECT_EQ(CeGetLastError(), 3u);
  EXPECT_FALSE(CeRemoveDirectory(L"\\Docs"));
  EXPECT_EQ(CeGetLastError(), 145u);
  EXPECT_FALSE(CeDeleteFile(L"\\Docs"));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_FALSE(CeDeleteFile(L"\\gone.txt"));
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_FALSE(CeMoveFile(L"\\b.txt", L"\\Docs\\a.txt"));
  EXPECT_EQ(CeGetLastError(), 183u);
  EXPECT_FALSE(CeCopyFile(L"\\b.txt", L"\\Docs\\a.txt", TRUE));
  EXPECT_EQ(CeGetLastError(), 80u);
  EXPECT_FALSE(CeReadFile(reinterpret_cast<HANDLE>(0x1234), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(CeGetLastError(), 6u);
  // Path escapes never reach the host.
  for (const wchar_t* bad : {L"\\..\\outside.txt", L"C:\\outside.txt", L"\\\\host\\share\\x", L"\\b.txt:stream",
                             L"\\Docs\\..\\..\\x", L"\\NUL"}) {
    EXPECT_EQ(open(bad, GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeGetLastError(), 123u);
  }
  EXPECT_EQ(open(L"\\.device\\script", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_EQ(GetFileAttributesW((root_ + L"\\..\\outside.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  // Successful calls leave no error behind; copies overwrite when asked to.
  EXPECT_TRUE(CeCopyFile(L"\\b.txt", L"\\Docs\\a.txt", FALSE));
  EXPECT_EQ(CeGetLastError(), 0u);
  EXPECT_TRUE(CeMoveFile(L"\\b.txt", L"\\Docs\\c.txt"));
  EXPECT_EQ(GetFileAttributesW(Host(L"\\Docs\\c.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(CeDeleteFile(L"\\Docs\\a.txt"));
  EXPECT_TRUE(CeDeleteFile(L"\\Docs\\c.txt"));
  EXPECT_TRUE(CeRemoveDirectory(L"\\Docs"));
  EXPECT_EQ(GetFileAttributesW(Host(L"\\Docs").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Device, FilesReadWriteAndKeepWriteTimesAtTwoSeconds) {
  MakeFolder(L"\\Windows");
  ASSERT_EQ(Connect(), S_OK);
  HANDLE h = CeCreateFile(L"\\Windows\\new.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(CeWriteFile(h, "hello device", 12, &n, nullptr));
  EXPECT_EQ(n, 12u);
  // 13:57:41.123 is kept as 13:57:40.000.
  SYSTEMTIME st{2026, 3, 0, 14, 13, 57, 41, 123};
  FILETIME asked;
  SystemTimeToFileTime(&st, &asked);
  ASSERT_TRUE(CeSetFileTime(h, nullptr, nullptr, &asked));
  FILETIME write{};
  ASSERT_TRUE(CeGetFileTime(h, nullptr, nullptr, &write));
  EXPECT_EQ(Ticks(write), Ticks(asked) - 1 * kSecond - 1230000);
  EXPECT_EQ(CeGetFileSize(h, nullptr), 12u);
  EXPECT_TRUE(CeCloseHandle(h));
  EXPECT_FALSE(CeCloseHandle(h));
  EXPECT_EQ(CeGetLastError(), 6u);
  EXPECT_EQ(Ticks(FindOne(L"\\Windows\\new.bin").ftLastWriteTime), Ticks(write));
  // A file the host wrote at an odd instant is seen at the even second below it.
  MakeFile(L"\\Windows\\host.bin");
  HANDLE hostFile = CreateFileW(Host(L"\\Windows\\host.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
  FILETIME odd = FileTime(Ticks(asked) + 2 * kSecond + 9999999);
  SetFileTime(hostFile, nullptr, nullptr, &odd);
  CloseHandle(hostFile);
  EXPECT_EQ(Ticks(FindOne(L"\\Windows\\host.bin").ftLastWriteTime), Ticks(asked) + 3 * kSecond - 1230000);
  // Read back with short reads at the end.
  h = CeCreateFile(L"\\Windows\\new.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[64] = {};
  ASSERT_TRUE(CeReadFile(h, buffer, 5, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "hello");
  EXPECT_EQ(CeSetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  ASSERT_TRUE(CeReadFile(h, buffer, 64, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "device");
  ASSERT_TRUE(CeReadFile(h, buffer, 64, &n, nullptr));
  EXPECT_EQ(n, 0u);
  // A handle opened for reading cannot write.
  EXPECT_FALSE(CeWriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_TRUE(CeCloseHandle(h));
  // A file of 4 GiB and more shows its high size word (a sparse host file).
  HANDLE big = CreateFileW(Host(L"\\Windows\\big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(big, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = (1LL << 32) + 5;
  ASSERT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(big));
  CloseHandle(big);
  CE_FIND_DATA d = FindOne(L"\\Windows\\big.bin");
  EXPECT_EQ(d.nFileSizeHigh, 1u);
  EXPECT_EQ(d.nFileSizeLow, 5u);
  h = CeCreateFile(L"\\Windows\\big.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD high = 0;
  EXPECT_EQ(CeGetFileSize(h, &high), 5u);
  EXPECT_EQ(high, 1u);
  EXPECT_TRUE(CeCloseHandle(h));
}

TEST_F(Device, AttributesComeFromTheSidecar) {
  MakeFolder(L"\\Windows");
  MakeFolder(L"\\Storage Card");
  MakeFile(L"\\Windows\\rom.dll");
  MakeFile(L"\\Windows\\module.exe");
  MakeFile(L"\\plain.txt");
  WriteState(u"attributes",
             "# written by the test\n"
             "0x41 \\Windows\\rom.dll\n"
             "0x2040 \\Windows\\module.exe\n"
             "0x100 \\Storage Card\n");
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(CeGetFileAttributes(L"\\Windows\\rom.dll"), 0x41u);
  EXPECT_EQ(FindOne(L"\\Windows\\module.exe").dwFileAttributes, 0x2040u);
  EXPECT_EQ(FindOne(L"\\Storage Card").dwFileAttributes, 0x110u);
  EXPECT_EQ(CeGetFileAttributes(L"\\plain.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  // ROM files refuse every change.
  EXPECT_FALSE(CeDeleteFile(L"\\Windows\\module.exe"));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_FALSE(CeSetFileAttributes(L"\\Windows\\module.exe", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_EQ(CeCreateFile(L"\\Windows\\module.exe", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_FALSE(CeMoveFile(L"\\Windows\\rom.dll", L"\\rom.dll"));
  EXPECT_EQ(CeGetLastError(), 5u);
  // A copy of a ROM file lives in RAM: same bits without the ROM ones.
  ASSERT_TRUE(CeCopyFile(L"\\Windows\\rom.dll", L"\\copy.dll", FALSE));
  EXPECT_EQ(CeGetFileAttributes(L"\\copy.dll"), 0x1u);
  // Attributes a program sets are kept, in the sidecar file too; the file system's own are not.
  ASSERT_TRUE(CeSetFileAttributes(L"\\plain.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x40));
  EXPECT_EQ(CeGetFileAttributes(L"\\plain.txt"), 0x6u);
  EXPECT_NE(ReadState(u"attributes").find("0x00000006 \\plain.txt"), std::string::npos);
  // Read-only: delete and writing opens are refused until it is cleared.
  ASSERT_TRUE(CeSetFileAttributes(L"\\plain.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(CeDeleteFile(L"\\plain.txt"));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_EQ(CeCreateFile(L"\\plain.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CeGetLastError(), 5u);
  ASSERT_TRUE(CeSetFileAttributes(L"\\plain.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(CeGetFileAttributes(L"\\plain.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(CeDeleteFile(L"\\plain.txt"));
  EXPECT_EQ(ReadState(u"attributes").find("plain.txt"), std::string::npos);
  // A renamed card keeps its bits; a sidecar rewritten by a test is read again.
  ASSERT_TRUE(CeMoveFile(L"\\Storage Card", L"\\SD Card"));
  EXPECT_EQ(CeGetFileAttributes(L"\\SD Card"), 0x110u);
  WriteState(u"attributes", "0x2 \\copy.dll\n");
  EXPECT_EQ(CeGetFileAttributes(L"\\copy.dll"), 0x2u);
  // A new file asked for hidden carries hidden and archive.
  HANDLE h = CeCreateFile(L"\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CeCloseHandle(h);
  EXPECT_EQ(CeGetFileAttributes(L"\\new.txt"), 0x22u);
}

// ---- faults

TEST_F(Device, ScriptedDeviceErrorsByNameAndCount) {
  MakeFile(L"\\a.txt", "0123456789");
  WriteState(u"script", "fail CeReadFile 2 error 5\nfail CeWriteFile 1+ error 112\n");
  ASSERT_EQ(Connect(), S_OK);
  HANDLE h = CeCreateFile(L"\\a.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[4];
  DWORD n = 0;
  EXPECT_TRUE(CeReadFile(h, buffer, 4, &n, nullptr));
  EXPECT_FALSE(CeReadFile(h, buffer, 4, &n, nullptr));
  EXPECT_EQ(CeGetLastError(), 5u);
  EXPECT_EQ(CeRapiGetError(), S_OK);  // a device error, not a transport one
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(CeReadFile(h, buffer, 4, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "4567");  // the refused read moved nothing
  EXPECT_FALSE(CeWriteFile(h, "xy", 2, &n, nullptr));
  EXPECT_EQ(CeGetLastError(), 112u);
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(CeWriteFile(h, "xy", 2, &n, nullptr));
  EXPECT_TRUE(CeCloseHandle(h));
  std::string content;
  ReadWholeFile(Host(L"\\a.txt"), content);
  EXPECT_EQ(content, "0123456789");
}

TEST_F(Device, LostConnectionComesBackAfterTheScriptedAttempts) {
  MakeFolder(L"\\Windows");
  MakeFile(L"\\Windows\\a.txt");
  WriteState(u"script", "fail CeFindNextFile 1 lost\nreconnect after 2\nrecord\n");
  ASSERT_EQ(Connect(), S_OK);
  CE_FIND_DATA d;
  HANDLE find = CeFindFirstFile(L"\\Windows\\*", &d);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  HANDLE file = CeCreateFile(L"\\Windows\\a.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CeFindNextFile(find, &d));
  EXPECT_NE(CeRapiGetError(), S_OK);
  EXPECT_EQ(CeGetLastError(), 1236u);
  // Everything fails in transport until a new start succeeds.
  EXPECT_EQ(CeGetFileAttributes(L"\\Windows"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CeRapiGetError(), S_OK);
  CeRapiUninit();
  EXPECT_LT(Connect(), 0);
  EXPECT_LT(Connect(), 0);
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(CeGetFileAttributes(L"\\Windows"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(CeRapiGetError(), S_OK);
  // The old connection's handles died with it (and the host file is no longer held open).
  EXPECT_FALSE(CeCloseHandle(file));
  EXPECT_EQ(CeGetLastError(), 6u);
  EXPECT_TRUE(DeleteFileW(Host(L"\\Windows\\a.txt").c_str()));
  std::string log = ReadState(u"calls.log");
  EXPECT_NE(log.find("CeFindNextFile -> lost (scripted)"), std::string::npos) << log;
  EXPECT_NE(log.find("CeGetFileAttributes \\Windows -> not connected"), std::string::npos) << log;
  EXPECT_NE(log.find("CeCreateFile \\Windows\\a.txt 0x80000000 3 -> ok"), std::string::npos) << log;
}

TEST_F(Device, RandomFaultsRepeatWithTheirSeed) {
  MakeFile(L"\\a.txt");
  auto run = [&](const char* script) {
    WriteState(u"script", script);
    CeRapiUninit();
    EXPECT_EQ(Connect(), S_OK);
    std::string pattern;
    for (int i = 0; i < 200; ++i) {
      DWORD a = CeGetFileAttributes(L"\\a.txt");
      pattern += a == INVALID_FILE_ATTRIBUTES ? (CeGetLastError() == 112 ? 'F' : '?') : '.';
    }
    return pattern;
  };
  std::string first = run("fail * random 20% seed 11 error 112\n");
  std::string again = run("fail * random 20% seed 11 error 112 # same seed\n");
  std::string other = run("fail * random 20% seed 12 error 112\n");
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  size_t failed = static_cast<size_t>(std::count(first.begin(), first.end(), 'F'));
  EXPECT_GT(failed, 15u);
  EXPECT_LT(failed, 70u);
  EXPECT_EQ(first.find('?'), std::string::npos);
}

// ---- registry

TEST_F(Device, RegistryStoreSeededByTheTest) {
  WriteState(u"registry",
             "[HKEY_LOCAL_MACHINE\\Ident]\n"
             "\"Name\"=\"Pocket7\"\n"
             "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n"
             "\"00001001\"=dword:00000002\n");
  ASSERT_EQ(Connect(), S_OK);
  HKEY key = nullptr;
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key), ERROR_SUCCESS);
  wchar_t name[261] = {};
  DWORD size = 520, type = 0;
  ASSERT_EQ(CeRegQueryValueEx(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(name, L"Pocket7");
  EXPECT_EQ(size, 16u);
  // Too small a buffer: 234 and the size needed; a missing value: 2.
  size = 4;
  EXPECT_EQ(CeRegQueryValueEx(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(CeRegQueryValueEx(key, L"Model", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(CeRegCloseKey(key), ERROR_INVALID_HANDLE);

  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", 0, 0, &key), ERROR_SUCCESS);
  DWORD value = 0xFFFFFFFF;
  size = 4;
  ASSERT_EQ(CeRegQueryValueEx(key, L"00001001", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 2u);
  value = 1;
  ASSERT_EQ(CeRegSetValueEx(key, L"00001001", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), ERROR_SUCCESS);
  CeRegCloseKey(key);
  EXPECT_NE(ReadState(u"registry").find("\"00001001\"=dword:00000001"), std::string::npos);
  // Keys above a stored one open; a key not there is 2.
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security", 0, 0, &key), ERROR_SUCCESS);
  HKEY sub = nullptr;
  EXPECT_EQ(CeRegOpenKeyEx(key, L"Policies\\Policies", 0, 0, &sub), ERROR_SUCCESS);
  CeRegCloseKey(sub);
  CeRegCloseKey(key);
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Software\\Missing", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  // A store changed by another process (the policy updater) is read again.
  WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Renamed device\"\n");
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key), ERROR_SUCCESS);
  size = 520;
  ASSERT_EQ(CeRegQueryValueEx(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, L"Renamed device");
  CeRegCloseKey(key);
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  // Registry calls fail with the transport's code when the connection is lost.
  WriteState(u"script", "fail CeRegOpenKeyEx 1 lost\n");
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key), 1236);
  EXPECT_NE(CeRapiGetError(), S_OK);
}

// ---- invoke and processes

class DeviceWithPieces : public Device {
 protected:
  void SetUp() override {
    Device::SetUp();
    MakeFolder(L"\\Windows");
    ASSERT_TRUE(CopyFileW((TestBinaryFolder() + L"\\rapi_test_device.dll").c_str(),
                          Host(L"\\Windows\\TestDevice.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((TestBinaryFolder() + L"\\rapi_test_program.exe").c_str(), Host(L"\\Program.exe").c_str(),
                          FALSE));
    ASSERT_EQ(Connect(), S_OK);
  }

  static BYTE* Request(std::string_view bytes) {
    BYTE* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes.size()));
    memcpy(block, bytes.data(), bytes.size());
    return block;
  }
};

TEST_F(DeviceWithPieces, InvokeCallsTheDeviceLibraryWithLocalBlocks) {
  DWORD size = 99;
  BYTE* answer = nullptr;
  HRESULT hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Echo", 5, Request("hello"), &size, &answer, nullptr, 0);
  ASSERT_EQ(hr, S_OK);
  ASSERT_NE(answer, nullptr);
  ASSERT_EQ(size, 9u);
  DWORD held = 0;
  memcpy(&held, answer, 4);
  EXPECT_GE(held, 5u);  // the device got a local block of its own
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer) + 4, 5), "hello");
  EXPECT_GE(LocalSize(answer), 9u);  // the caller's answer is a local block it frees
  EXPECT_EQ(LocalFree(answer), nullptr);
  // A zero-byte request reaches the device as such.
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Echo", 0, nullptr, &size, &answer, nullptr, 0);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(size, 4u);
  CeRapiFreeBuffer(answer);
  // The device's own failure result comes back with its answer.
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Refuse", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_EQ(hr, E_ACCESSDENIED);
  EXPECT_EQ(CeGetLastError(), 5u);
  ASSERT_NE(answer, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(answer), "bad");
  LocalFree(answer);
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"NoAnswer", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(size, 0u);
  // An answer size beyond the device's block is cut to the block.
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Oversized", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_EQ(hr, S_OK);
  EXPECT_LE(size, 64u);
  EXPECT_GE(size, 8u);
  LocalFree(answer);
  // A missing library or entry: a failure result, no answer, the request freed all the same.
  hr = CeRapiInvoke(L"\\Windows\\Missing.dll", L"Echo", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(CeGetLastError(), 126u);
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Missing", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_EQ(hr, static_cast<HRESULT>(0x8007007Fu));
  EXPECT_EQ(answer, nullptr);
  hr = CeRapiInvoke(L"\\..\\TestDevice.dll", L"Echo", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(CeGetLastError(), 123u);
  // A library the device holds is let go when the device writes its file: the plugin can write a newer one.
  HANDLE h = CeCreateFile(L"\\Windows\\TestDevice.dll", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CeCloseHandle(h);
  // A lost connection during the call.
  WriteState(u"script", "fail CeRapiInvoke 1 lost\n");
  hr = CeRapiInvoke(L"\\Windows\\TestDevice.dll", L"Echo", 1, Request("x"), &size, &answer, nullptr, 0);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(answer, nullptr);
  EXPECT_NE(CeRapiGetError(), S_OK);
}

// The count of calls the library at `path` has seen since it was loaded; 0 when the invoke failed.
DWORD CountCalls(const wchar_t* path, CeRapiInvokeFn invoke = CeRapiInvoke) {
  DWORD size = 0;
  BYTE* answer = nullptr;
  if (FAILED(invoke(path, L"Count", 0, nullptr, &size, &answer, nullptr, 0)) || answer == nullptr || size != 4) {
    if (answer != nullptr) LocalFree(answer);
    return 0;
  }
  DWORD n = 0;
  memcpy(&n, answer, 4);
  LocalFree(answer);
  return n;
}

// Writes a device file whole through the remote API, as the plugin places its device library.
bool PutThroughDevice(const wchar_t* path, const std::string& bytes) {
  HANDLE h = CeCreateFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = CeWriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
  return CeCloseHandle(h) && ok;
}

TEST_F(DeviceWithPieces, ALibraryStaysLoadedAcrossManyInvokesUntilTheDeviceChangesItsFile) {
  // More invokes than a process could load a library with its own runtime (each load takes a
  // thread-local storage index for good), from two threads at once, as a plugin's panels may.
  std::vector<DWORD> failures(2, 0);
  auto caller = [&](int which) {
    for (int i = 0; i < 600; ++i) failures[which] += CountCalls(L"\\Windows\\TestDevice.dll") == 0 ? 1 : 0;
  };
  std::thread other(caller, 1);
  caller(0);
  other.join();
  EXPECT_EQ(failures, (std::vector<DWORD>{0, 0}));
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 1201u);  // one load served every call

  // The device overwrites the held library: the write succeeds and the next call sees the new file.
  std::string image;
  ASSERT_TRUE(ReadWholeFile(TestBinaryFolder() + L"\\rapi_test_device.dll", image));
  ASSERT_TRUE(PutThroughDevice(L"\\Windows\\TestDevice.dll", "not a library")) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 0u);
  EXPECT_EQ(CeGetLastError(), 193u);
  ASSERT_TRUE(PutThroughDevice(L"\\Windows\\TestDevice.dll", image)) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 1u);

  // Moving, copying over and deleting a held library work as for any file.
  EXPECT_TRUE(CeMoveFile(L"\\Windows\\TestDevice.dll", L"\\Windows\\Moved.dll")) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\Moved.dll"), 1u);
  EXPECT_TRUE(CeCopyFile(L"\\Windows\\Moved.dll", L"\\Windows\\TestDevice.dll", TRUE)) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 1u);
  EXPECT_TRUE(CeCopyFile(L"\\Windows\\TestDevice.dll", L"\\Windows\\Moved.dll", FALSE)) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\Moved.dll"), 1u);
  EXPECT_TRUE(CeDeleteFile(L"\\Windows\\Moved.dll")) << CeGetLastError();
  EXPECT_EQ(CountCalls(L"\\Windows\\Moved.dll"), 0u);
  EXPECT_EQ(CeGetLastError(), 126u);

  // A test removing the folder behind the emulator's back (as roots are removed) gets it whole.
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 2u);
  EmulatedDevice::RemoveTree(Host(L"\\Windows"));
  EXPECT_EQ(GetFileAttributesW(Host(L"\\Windows").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 0u);
}

TEST_F(DeviceWithPieces, ALibraryChangedBehindTheEmulatorsBackOrLeftOnAnotherRootIsNotKept) {
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 1u);
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 2u);
  // Another time on the file (as when it is replaced from outside Wine): loaded again.
  HANDLE f = CreateFileW(Host(L"\\Windows\\TestDevice.dll").c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
  FILETIME later = FileTime(Ticks(FindOne(L"\\Windows\\TestDevice.dll").ftLastWriteTime) + 60 * kSecond);
  EXPECT_TRUE(SetFileTime(f, nullptr, nullptr, &later));
  CloseHandle(f);
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll"), 1u);
  // The next connection is to another device: the first one's library is let go.
  CeRapiUninit();
  EmulatedDevice other{L"kel-rapi-other"};
  ASSERT_EQ(other.Connect(), S_OK);
  EXPECT_TRUE(DeleteFileW(Host(L"\\Windows\\TestDevice.dll").c_str())) << GetLastError();
}

TEST_F(DeviceWithPieces, AnEmulatorUnloadedByItsCallerLetsGoOfTheLibrariesItLoaded) {
  // The plugin loads rapi.dll for its panels and frees it after the last one: a second copy of the
  // emulator, loaded and freed the same way, must leave no device library holding its file.
  std::wstring copy = root_ + L"-rapi.dll";
  ASSERT_TRUE(CopyFileW((TestBinaryFolder() + L"\\rapi.dll").c_str(), copy.c_str(), FALSE));
  HMODULE rapi = LoadLibraryW(copy.c_str());
  ASSERT_NE(rapi, nullptr);
  auto init = reinterpret_cast<CeRapiInitExFn>(reinterpret_cast<void*>(GetProcAddress(rapi, "CeRapiInitEx")));
  auto invoke = reinterpret_cast<CeRapiInvokeFn>(reinterpret_cast<void*>(GetProcAddress(rapi, "CeRapiInvoke")));
  auto uninit = reinterpret_cast<CeRapiUninitFn>(reinterpret_cast<void*>(GetProcAddress(rapi, "CeRapiUninit")));
  ASSERT_TRUE(init != nullptr && invoke != nullptr && uninit != nullptr);
  RAPIINIT record{sizeof record, CreateEventW(nullptr, TRUE, FALSE, nullptr), 0};
  ASSERT_EQ(init(&record), S_OK);
  ASSERT_EQ(WaitForSingleObject(record.heRapiInit, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(record.hrRapiInit, S_OK);
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll", invoke), 1u);
  EXPECT_EQ(CountCalls(L"\\Windows\\TestDevice.dll", invoke), 2u);
  uninit();
  CloseHandle(record.heRapiInit);
  ASSERT_TRUE(FreeLibrary(rapi));
  EXPECT_TRUE(DeleteFileW(Host(L"\\Windows\\TestDevice.dll").c_str())) << GetLastError();
  EXPECT_TRUE(DeleteFileW(copy.c_str())) << GetLastError();
}

TEST_F(DeviceWithPieces, CreateProcessStartsTheDeviceProgramAsARealProcess) {
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CeCreateProcess(L"\\Program.exe", L"alpha 42", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                              &pi))
      << CeGetLastError();
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 42u);
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_TRUE(CeCloseHandle(pi.hProcess));
  EXPECT_TRUE(CeCloseHandle(pi.hThread));
  EXPECT_FALSE(CeCloseHandle(pi.hThread));
  std::string out;
  ASSERT_TRUE(ReadWholeFile(Host(L"\\program.out"), out));
  std::wstring text(reinterpret_cast<const wchar_t*>(out.data()), out.size() / 2);
  EXPECT_NE(text.find(L"alpha 42"), std::wstring::npos);
  // It runs in the device root, with the same KEL_DEVICE_ROOT, so its device calls land there too.
  EXPECT_NE(text.find(L"\n" + root_), std::wstring::npos);
  // A program that is not one for this processor is refused as such.
  MakeFile(L"\\arm.exe", std::string(4096, '\x7f'));
  EXPECT_FALSE(CeCreateProcess(L"\\arm.exe", L"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
  EXPECT_EQ(CeGetLastError(), 193u);
  EXPECT_FALSE(CeCreateProcess(L"\\Missing.exe", L"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_FALSE(CeCreateProcess(L"\\Windows", L"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
  EXPECT_EQ(CeGetLastError(), 5u);
}

}  // namespace
