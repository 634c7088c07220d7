// ferry.exe SCENARIO LOG: serves "\\.\pipe\KELFerry" from a scenario and logs every request.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "standins/ferry/core/ferry.h"

namespace {

std::mutex gLogLock;
FILE* gLog = nullptr;
ULONGLONG gStart = 0;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(gLogLock);
  std::fprintf(gLog, "%llu %s\n", static_cast<unsigned long long>(GetTickCount64() - gStart), line.c_str());
  std::fflush(gLog);
}

bool ReadExact(HANDLE pipe, uint8_t* data, DWORD size) {
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(pipe, data, size, &got, nullptr) || got == 0) return false;
    data += got;
    size -= got;
  }
  return true;
}

const wchar_t kPipeName[] = L"\\\\.\\pipe\\KELFerry";

HANDLE NewInstance() {
  return CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, 1 << 20, 1 << 20, 0, nullptr);
}

std::mutex gServiceLock;

DWORD WINAPI ExitAt(void* param) {
  ULONGLONG at = *static_cast<ULONGLONG*>(param);
  Sleep(static_cast<DWORD>(at));
  Log("exit (scenario)");
  ExitProcess(0);
}

constexpr int kListeners = 3;
ferry::Service* gService = nullptr;

void HandleConnection(HANDLE pipe) {
  std::vector<uint8_t> request(8);
  if (!ReadExact(pipe, request.data(), 8)) return;
  size_t length = ferry::RequestLength(request.data());
  if (length > 8) {
    request.resize(length);
    if (!ReadExact(pipe, request.data() + 8, static_cast<DWORD>(length - 8))) request.resize(8);
  }
  std::string line;
  std::vector<uint8_t> reply;
  bool send = true, cut = false;
  {
    std::lock_guard<std::mutex> lock(gServiceLock);
    gService->Advance(GetTickCount64() - gStart);
    reply = gService->Handle(request, line);
    send = gService->ShapeReply(reply, line, cut);
  }
  Log(line);
  DWORD written = 0;
  if (send && !reply.empty()) WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
  if (cut) {
    // A short reply: the client gets what was written, then the connection ends.
    FlushFileBuffers(pipe);
    return;
  }
  // Wait for the client to close its end, so that it has read everything before we disconnect.
  uint8_t drain[64];
  DWORD got = 0;
  while (ReadFile(pipe, drain, sizeof drain, &got, nullptr) && got > 0) {
  }
}

bool Busy() {
  std::lock_guard<std::mutex> lock(gServiceLock);
  gService->Advance(GetTickCount64() - gStart);
  return gService->Busy();
}

// One listening instance: accept, answer, close, and listen again. While the service plays busy
// no instance is added, so the ones there are stay taken.
DWORD WINAPI Serve(void* first) {
  HANDLE pipe = first ? static_cast<HANDLE>(first) : INVALID_HANDLE_VALUE;
  for (;;) {
    if (pipe == INVALID_HANDLE_VALUE) {
      if (!Busy()) pipe = NewInstance();
      if (pipe == INVALID_HANDLE_VALUE) Sleep(10);
      continue;
    }
    // A client may connect, write and close before we get here: its request is still there to read.
    bool connected =
        ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_NO_DATA;
    // A new instance is made only when a listener is about to wait on it: a client that connected
    // to an instance nobody waited on yet, wrote and closed, could find its request gone under Wine
    // (the connect then answers "no data"). The other listeners keep instances open meanwhile.
    if (connected) HandleConnection(pipe);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
  }
}

// Plays a busy pipe: while the scenario says so, connects to every listening instance itself
// (each such connection sends nothing, so its listener just waits), and lets them go after.
DWORD WINAPI HoldWhileBusy(void*) {
  std::vector<HANDLE> held;
  for (;;) {
    if (Busy()) {
      for (;;) {
        HANDLE h = CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) break;
        if (held.empty()) Log("busy: every instance taken");
        held.push_back(h);
      }
    } else if (!held.empty()) {
      for (HANDLE h : held) CloseHandle(h);
      held.clear();
      Log("busy ends");
    }
    Sleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ferry SCENARIO LOG\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<ferry::Event> events;
  std::string error;
  if (!in || !ferry::ParseScenario(text.str(), events, error)) {
    std::fprintf(stderr, "ferry: %s: %s\n", argv[1], in ? error.c_str() : "cannot read");
    return 2;
  }
  gLog = std::fopen(argv[2], "wb");  // plain \n lines, the same on every platform
  if (!gLog) {
    std::fprintf(stderr, "ferry: cannot write %s\n", argv[2]);
    return 2;
  }
  gStart = GetTickCount64();
  ferry::Service service(std::move(events), [] {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ferry::LocalTime{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  });
  static ULONGLONG exitAt = service.ExitTime();
  if (exitAt != UINT64_MAX) CloseHandle(CreateThread(nullptr, 0, ExitAt, &exitAt, 0, nullptr));

  // Several instances listen at once, so a client that comes back at once never finds the pipe
  // missing while another connection is still being closed.
  gService = &service;
  HANDLE probe = NewInstance();
  if (probe == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "ferry: cannot create the pipe (%lu)\n", GetLastError());
    return 1;
  }
  HANDLE workers[kListeners];
  workers[0] = CreateThread(nullptr, 0, Serve, probe, 0, nullptr);
  for (int i = 1; i < kListeners; ++i) workers[i] = CreateThread(nullptr, 0, Serve, nullptr, 0, nullptr);
  CloseHandle(CreateThread(nullptr, 0, HoldWhileBusy, nullptr, 0, nullptr));
  Log("ready");
  WaitForMultipleObjects(kListeners, workers, TRUE, INFINITE);
  return 0;
}
