// Copies files of mixed sizes (1 KiB to 8 MiB, MEGABYTES in all) from the emulated device to a
// local folder in five rounds, each through the transfer engine with the console user (progress
// window included) and through a bare loop of CeReadFile and WriteFile with 64 KiB blocks. Prints
// both best throughputs and their ratio (engine / bare); the goal is at least 0.8.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/win/transfer_win.h"
#include "standins/rapi/testing/emulated_device.h"

using namespace handrel::transfer;

namespace {

double Seconds(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool BareCopy(const std::vector<std::wstring>& names, const std::wstring& target) {
  std::vector<char> buffer(65536);
  CreateDirectoryW(target.c_str(), nullptr);
  for (const std::wstring& name : names) {
    HANDLE in = CeCreateFile((L"\\Bench\\" + name).c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW((target + L"\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) return false;
    for (;;) {
      DWORD got = 0, written = 0;
      if (!CeReadFile(in, buffer.data(), 65536, &got, nullptr)) return false;
      if (got == 0) break;
      if (!WriteFile(out, buffer.data(), got, &written, nullptr) || written != got) return false;
    }
    CeCloseHandle(in);
    CloseHandle(out);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200;
  if (megabytes <= 0) megabytes = 200;
  rapiemu::EmulatedDevice device(L"kel-transfer-bench");
  device.MakeFolder(L"\\Bench");
  // Mixed sizes: a cycle of 1 KiB, 60 KiB, 300 KiB, 1 MiB, 8 MiB.
  const size_t sizes[] = {1024, 60 * 1024, 300 * 1024, 1024 * 1024, 8 * 1024 * 1024};
  std::vector<std::wstring> names;
  uint64_t total = 0, goal = static_cast<uint64_t>(megabytes) << 20;
  std::string data(8 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4096);
  for (size_t i = 0; total < goal; ++i) {
    size_t size = sizes[i % 5];
    std::wstring name = L"f" + std::to_wstring(i) + L".bin";
    if (!device.MakeFile(L"\\Bench\\" + name, std::string_view(data).substr(0, size))) return 2;
    names.push_back(name);
    total += size;
  }
  if (device.Connect() != S_OK) return 3;

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring local = std::wstring(temp) + L"kel-transfer-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(local.c_str(), nullptr);

  // The panel's items, with the sizes and times its listing found.
  std::vector<SourceItem> items;
  DeviceFileSide lister;
  for (const std::wstring& name : names) {
    SourceItem item;
    FileInfo info;
    item.path = u"\\Bench\\" + std::u16string(name.begin(), name.end());
    if (!lister.Find(item.path, info)) return 6;
    item.attributes = info.attributes;
    item.size = info.size;
    item.writeTime = info.writeTime;
    items.push_back(item);
  }
  // "silent" as the second argument: no progress window, to see what drawing it costs.
  bool silent = argc > 2 && std::string(argv[2]) == "silent";

  // Rounds alternate the bare loop and the engine; each side counts its best round, so that a
  // moment of load on a shared machine weighs on neither.
  double bare = 1e9, engine = 1e9;
  for (int round = 0; round < 5; ++round) {
    std::wstring suffix = std::to_wstring(round);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!BareCopy(names, local + L"\\bare" + suffix)) return 4;
    bare = std::min(bare, Seconds(start));
    rapiemu::EmulatedDevice::RemoveTree(local + L"\\bare" + suffix);

    QueryPerformanceCounter(&start);
    MFilesOperation op("Copy", true, false, false, silent ? kModeSilent : 0);
    std::wstring engineTarget = local + L"\\engine" + suffix;
    if (!op.SetLocalTarget(ToOem(std::u16string(engineTarget.begin(), engineTarget.end()))) || !op.BuildList(items) ||
        op.Run() != 1) {
      return 5;
    }
    engine = std::min(engine, Seconds(start));
    rapiemu::EmulatedDevice::RemoveTree(engineTarget);
  }
  rapiemu::EmulatedDevice::RemoveTree(local);

  double mb = static_cast<double>(total) / (1024.0 * 1024.0);
  std::printf("files: %u, %.1f MB\n", static_cast<unsigned>(names.size()), mb);
  std::printf("bare CeReadFile/WriteFile loop: %.2f s, %.1f MB/s\n", bare, mb / bare);
  std::printf("transfer engine:                %.2f s, %.1f MB/s\n", engine, mb / engine);
  std::printf("ratio engine / bare: %.2f (goal: at least 0.80)\n", bare / engine);
  return 0;
}
