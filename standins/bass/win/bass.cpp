// bass.dll stand-in: the library's exports over the portable core, a clock thread that plays
// channels in real time (KEL_BASS_CLOCK=N runs it N times faster) and fires syncs, file access
// through Win32, and add-ons loaded from DLLs. For tests: KEL_BASS_FAIL="BASS_Init=14;..." makes
// the named calls fail with a code, KEL_BASS_VERSION overrides the version, KEL_BASS_LOG=<file>
// records every call.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "player/bass/bass.h"
#include "standins/bass/core/library.h"
#include "standins/bass/win/addon_abi.h"

namespace {

std::recursive_mutex g_mu;
bass::Library g_lib;
HANDLE g_thread = nullptr;
HANDLE g_stop = nullptr;
double g_factor = 1.0;
LARGE_INTEGER g_freq, g_start;
std::map<DWORD, HMODULE> g_addons;
thread_local int t_locks = 0;  // ChannelLock holds of the calling thread

std::string Env(const char *name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Records a call in the file KEL_BASS_LOG names, one line each.
void Log(const char *fmt, ...) {
  std::string path = Env("KEL_BASS_LOG");
  if (path.empty()) return;
  char line[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  std::lock_guard<std::recursive_mutex> lock(g_mu);
  if (FILE *f = std::fopen(path.c_str(), "a")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

// A scripted failure for a call: the code from KEL_BASS_FAIL (read at every call, so a test can
// change it while the library is loaded), or 0.
int Scripted(const char *call) {
  std::string rules = Env("KEL_BASS_FAIL");
  if (rules.empty()) return 0;
  std::string key = std::string(call) + "=";
  size_t at = 0;
  while ((at = rules.find(key, at)) != std::string::npos) {
    if (at == 0 || rules[at - 1] == ';') return std::atoi(rules.c_str() + at + key.size());
    at += key.size();
  }
  return 0;
}

double NowMs() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart - g_start.QuadPart) * 1000.0 / static_cast<double>(g_freq.QuadPart) * g_factor;
}

// Brings the library to the present: every call does so first (so positions and slides are
// exact to the call), the clock thread every few milliseconds. Syncs that fall due are queued
// for the clock thread, which alone fires them. A thread holding a channel lock does not move
// the clock: a locked channel stands still. Called with g_mu held.
std::vector<bass::DueSync> g_pending;
HANDLE g_wake = nullptr;
void Advance() {
  if (!g_lib.started() || t_locks > 0) return;
  std::vector<bass::DueSync> due = g_lib.Tick(NowMs());
  if (due.empty()) return;
  g_pending.insert(g_pending.end(), due.begin(), due.end());
  SetEvent(g_wake);
}

// The thread owns its stop event (param) and closes it when it ends, so a BASS_Free called from
// one of its own sync callbacks, or a new BASS_Init after it, cannot pull the event away.
DWORD WINAPI ClockThread(void *param) {
  HANDLE stop = static_cast<HANDLE>(param);
  try {
    HANDLE waits[2] = {stop, g_wake};
    for (;;) {
      DWORD w = WaitForMultipleObjects(2, waits, FALSE, 5);
      if (w != WAIT_TIMEOUT && w != WAIT_OBJECT_0 + 1) break;
      std::vector<bass::DueSync> due;
      {
        std::lock_guard<std::recursive_mutex> lock(g_mu);
        Advance();
        due.swap(g_pending);
      }
      for (const bass::DueSync &d : due) {
        {
          std::lock_guard<std::recursive_mutex> lock(g_mu);
          if (!g_lib.Claim(d.channel, d.sync)) continue;
        }
        Log("sync %u channel %u", static_cast<unsigned>(d.sync), static_cast<unsigned>(d.channel));
        // The core keeps the caller's callback as it was given: a stdcall SYNCPROC.
        reinterpret_cast<SYNCPROC *>(d.proc)(d.sync, d.channel, d.data, d.user);
      }
    }
  } catch (...) {
    // The clock stops; the caller's process goes on.
  }
  CloseHandle(stop);
  return 0;
}

class Win32FileSource : public bass::Source {
 public:
  ~Win32FileSource() override {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool Open(const void *name, bool unicode) {
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    h_ = unicode ? CreateFileW(static_cast<const wchar_t *>(name), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)
                 : CreateFileA(static_cast<const char *>(name), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size;
    if (h_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(h_, &size)) return false;
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
  }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t off, void *buf, size_t n) override {
    if (off > size_ || n > size_ - off) return false;
    auto *p = static_cast<char *>(buf);
    while (n) {
      OVERLAPPED ov = {};
      ov.Offset = static_cast<DWORD>(off);
      ov.OffsetHigh = static_cast<DWORD>(off >> 32);
      DWORD chunk = n > (1u << 20) ? (1u << 20) : static_cast<DWORD>(n), got = 0;
      if (!ReadFile(h_, p, chunk, &got, &ov) || got != chunk) return false;
      p += got;
      off += got;
      n -= got;
    }
    return true;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

// The source of a stream or module: memory or a file, cut to [offset, offset + length).
class OwnedSlice : public bass::Source {
 public:
  OwnedSlice(std::unique_ptr<bass::Source> inner, uint64_t offset, uint64_t length)
      : inner_(std::move(inner)), slice_(*inner_, offset, length) {}
  uint64_t Size() const override { return slice_.Size(); }
  bool ReadAt(uint64_t off, void *buf, size_t n) override { return slice_.ReadAt(off, buf, n); }

 private:
  std::unique_ptr<bass::Source> inner_;
  bass::SliceSource slice_;
};

std::unique_ptr<bass::Source> OpenSource(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags) {
  if (!file) return nullptr;
  std::unique_ptr<bass::Source> src;
  if (mem) {
    // Memory needs its length, and the block must lie within the address space.
    if (length == 0 || length > SIZE_MAX || offset > SIZE_MAX - length) return nullptr;
    src = std::make_unique<bass::MemorySource>(static_cast<const uint8_t *>(file), static_cast<size_t>(offset + length));
  } else {
    auto f = std::make_unique<Win32FileSource>();
    if (!f->Open(file, (flags & BASS_UNICODE) != 0)) return nullptr;
    src = std::move(f);
  }
  return std::make_unique<OwnedSlice>(std::move(src), offset, length);
}

// The file name as given, NUL-terminated in its own width, for BASS_CHANNELINFO.filename.
std::string NameBytes(BOOL mem, const void *file, DWORD flags) {
  if (mem || !file) return std::string();
  if (flags & BASS_UNICODE) {
    const wchar_t *w = static_cast<const wchar_t *>(file);
    return std::string(reinterpret_cast<const char *>(w), wcslen(w) * sizeof(wchar_t)) + std::string(1, '\0');
  }
  return std::string(static_cast<const char *>(file));
}

std::string Narrow(const void *file, DWORD flags) {
  if (!file) return "(null)";
  if (!(flags & BASS_UNICODE)) return static_cast<const char *>(file);
  const wchar_t *w = static_cast<const wchar_t *>(file);
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(std::strlen(s.c_str()));
  return s;
}

// Every export: the library's lock, a scripted failure, and no exception out of the DLL.
#define EXPORT_BODY(name, failValue, ...)                       \
  try {                                                         \
    std::lock_guard<std::recursive_mutex> lock(g_mu);           \
    Advance();                                                  \
    if (int code = Scripted(name)) {                            \
      bass::LastError() = code;                                 \
      return failValue;                                         \
    }                                                           \
    __VA_ARGS__                                                 \
  } catch (...) {                                               \
    bass::LastError() = bass::kErrUnknown;                      \
    return failValue;                                           \
  }

}  // namespace

extern "C" {

DWORD WINAPI BASS_GetVersion(void) {
  std::string v = Env("KEL_BASS_VERSION");
  return v.empty() ? 0x02041100 : static_cast<DWORD>(std::strtoul(v.c_str(), nullptr, 0));
}

int WINAPI BASS_ErrorGetCode(void) { return bass::LastError(); }

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND, const GUID *) {
  Log("BASS_Init %d %lu %lu", device, static_cast<unsigned long>(freq), static_cast<unsigned long>(flags));
  EXPORT_BODY("BASS_Init", FALSE, {
    if (!g_lib.Init(device, freq, flags)) return FALSE;
    std::string f = Env("KEL_BASS_CLOCK");
    double factor = f.empty() ? 1.0 : std::atof(f.c_str());
    g_factor = factor >= 0.01 && factor <= 1000 ? factor : 1.0;
    QueryPerformanceFrequency(&g_freq);
    QueryPerformanceCounter(&g_start);
    g_lib.Tick(0);
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_wake) g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_pending.clear();
    g_thread = CreateThread(nullptr, 0, ClockThread, g_stop, 0, nullptr);
    return TRUE;
  })
}

BOOL WINAPI BASS_GetInfo(BASS_INFO *info) {
  EXPORT_BODY("BASS_GetInfo", FALSE, {
    if (!g_lib.started()) return bass::LastError() = bass::kErrInit, FALSE;
    if (!info) return bass::LastError() = bass::kErrIllParam, FALSE;
    std::memset(info, 0, sizeof *info);
    info->minrate = 1;
    info->maxrate = bass::kMaxRate;
    info->minbuf = 100;
    info->latency = 0;  // no sound card: nothing is delayed
    info->speakers = 2;
    info->freq = g_lib.outputRate();
    info->dsver = 9;
    bass::LastError() = bass::kOk;
    return TRUE;
  })
}

BOOL WINAPI BASS_Free(void) {
  Log("BASS_Free");
  HANDLE thread = nullptr;
  {
    EXPORT_BODY("BASS_Free", FALSE, {
      if (!g_lib.Free()) return FALSE;
      thread = g_thread;
      g_thread = nullptr;
      SetEvent(g_stop);
      g_stop = nullptr;  // the clock thread closes it
    })
  }
  // The clock thread may be firing a sync that calls back in: wait outside the lock.
  if (thread && GetCurrentThreadId() != GetThreadId(thread)) WaitForSingleObject(thread, 5000);
  if (thread) CloseHandle(thread);
  return TRUE;
}

HPLUGIN WINAPI BASS_PluginLoad(const char *file, DWORD flags) {
  Log("BASS_PluginLoad %s %#lx", Narrow(file, flags).c_str(), static_cast<unsigned long>(flags));
  EXPORT_BODY("BASS_PluginLoad", 0, {
    if (!file) return bass::LastError() = bass::kErrFileOpen, 0;
    HMODULE m = (flags & BASS_UNICODE) ? LoadLibraryW(reinterpret_cast<const wchar_t *>(file)) : LoadLibraryA(file);
    if (!m) return bass::LastError() = bass::kErrFileOpen, 0;
    auto probe = reinterpret_cast<BassAddonProbeFn>(reinterpret_cast<void *>(GetProcAddress(m, "BassAddonProbe")));
    if (!probe) {
      FreeLibrary(m);
      return bass::LastError() = bass::kErrFileForm, 0;
    }
    DWORD h = g_lib.AddAddon([probe](const uint8_t *head, size_t size, uint64_t fileSize, bass::AddonFormat &out) {
      BassAddonInfo info = {};
      info.size = sizeof info;
      if (!probe(head, static_cast<uint32_t>(size), static_cast<uint32_t>(fileSize), static_cast<uint32_t>(fileSize >> 32), &info))
        return false;
      out.freq = info.freq;
      out.chans = info.chans;
      out.ctype = info.ctype;
      out.origres = info.origres;
      out.frames = (static_cast<uint64_t>(info.framesHi) << 32) | info.framesLo;
      info.comments[sizeof info.comments - 2] = info.comments[sizeof info.comments - 1] = '\0';
      size_t n = 0;
      while (info.comments[n]) n += std::strlen(info.comments + n) + 1;
      out.comments.assign(info.comments, n ? n + 1 : 0);
      return true;
    });
    g_addons[h] = m;
    return h;
  })
}

BOOL WINAPI BASS_PluginFree(HPLUGIN handle) {
  Log("BASS_PluginFree %lu", static_cast<unsigned long>(handle));
  EXPORT_BODY("BASS_PluginFree", FALSE, {
    if (!g_lib.RemoveAddon(handle)) return FALSE;
    FreeLibrary(g_addons[handle]);
    g_addons.erase(handle);
    return TRUE;
  })
}

HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags) {
  Log("BASS_StreamCreateFile %d %s %#lx", mem, mem ? "(memory)" : Narrow(file, flags).c_str(), static_cast<unsigned long>(flags));
  EXPORT_BODY("BASS_StreamCreateFile", 0, {
    if (!g_lib.started()) return bass::LastError() = bass::kErrInit, 0;
    auto src = OpenSource(mem, file, offset, length, flags);
    if (!src) return bass::LastError() = bass::kErrFileOpen, 0;
    return g_lib.CreateStream(std::move(src), flags, NameBytes(mem, file, flags));
  })
}

BOOL WINAPI BASS_StreamFree(HSTREAM h) {
  Log("BASS_StreamFree %lu", static_cast<unsigned long>(h));
  EXPORT_BODY("BASS_StreamFree", FALSE, { return g_lib.FreeStream(h); })
}

QWORD WINAPI BASS_StreamGetFilePosition(HSTREAM h, DWORD mode) {
  EXPORT_BODY("BASS_StreamGetFilePosition", ~0ull, { return g_lib.FilePosition(h, mode); })
}

HMUSIC WINAPI BASS_MusicLoad(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD flags, DWORD freq) {
  Log("BASS_MusicLoad %d %s %#lx %lu", mem, mem ? "(memory)" : Narrow(file, flags).c_str(), static_cast<unsigned long>(flags),
      static_cast<unsigned long>(freq));
  EXPORT_BODY("BASS_MusicLoad", 0, {
    if (!g_lib.started()) return bass::LastError() = bass::kErrInit, 0;
    auto src = OpenSource(mem, file, offset, length, flags);
    if (!src) return bass::LastError() = bass::kErrFileOpen, 0;
    return g_lib.LoadMusic(std::move(src), flags, freq, NameBytes(mem, file, flags));
  })
}

BOOL WINAPI BASS_MusicFree(HMUSIC h) {
  Log("BASS_MusicFree %lu", static_cast<unsigned long>(h));
  EXPORT_BODY("BASS_MusicFree", FALSE, { return g_lib.FreeMusic(h); })
}

QWORD WINAPI BASS_ChannelGetLength(DWORD h, DWORD mode) {
  EXPORT_BODY("BASS_ChannelGetLength", ~0ull, { return g_lib.Length(h, mode); })
}

QWORD WINAPI BASS_ChannelGetPosition(DWORD h, DWORD mode) {
  EXPORT_BODY("BASS_ChannelGetPosition", ~0ull, { return g_lib.Position(h, mode); })
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD h, QWORD pos, DWORD mode) {
  Log("BASS_ChannelSetPosition %lu %llu %lu", static_cast<unsigned long>(h), static_cast<unsigned long long>(pos),
      static_cast<unsigned long>(mode));
  EXPORT_BODY("BASS_ChannelSetPosition", FALSE, { return g_lib.SetPosition(h, pos, mode); })
}

double WINAPI BASS_ChannelBytes2Seconds(DWORD h, QWORD pos) {
  EXPORT_BODY("BASS_ChannelBytes2Seconds", -1.0, { return g_lib.BytesToSeconds(h, pos); })
}

QWORD WINAPI BASS_ChannelSeconds2Bytes(DWORD h, double pos) {
  EXPORT_BODY("BASS_ChannelSeconds2Bytes", ~0ull, { return g_lib.SecondsToBytes(h, pos); })
}

BOOL WINAPI BASS_ChannelGetInfo(DWORD h, BASS_CHANNELINFO *info) {
  EXPORT_BODY("BASS_ChannelGetInfo", FALSE, {
    bass::Library::Info i;
    if (!info) return bass::LastError() = bass::kErrIllParam, FALSE;
    if (!g_lib.GetInfo(h, i)) return FALSE;
    *info = BASS_CHANNELINFO{i.freq, i.chans, i.flags, i.ctype, i.origres, i.plugin, 0, i.filename};
    return TRUE;
  })
}

BOOL WINAPI BASS_ChannelSetAttribute(DWORD h, DWORD attrib, float value) {
  Log("BASS_ChannelSetAttribute %lu %lu %.3f", static_cast<unsigned long>(h), static_cast<unsigned long>(attrib), value);
  EXPORT_BODY("BASS_ChannelSetAttribute", FALSE, { return g_lib.SetAttribute(h, attrib, value); })
}

BOOL WINAPI BASS_ChannelGetAttribute(DWORD h, DWORD attrib, float *value) {
  EXPORT_BODY("BASS_ChannelGetAttribute", FALSE, {
    if (!value) return bass::LastError() = bass::kErrIllParam, FALSE;
    return g_lib.GetAttribute(h, attrib, *value);
  })
}

BOOL WINAPI BASS_ChannelSlideAttribute(DWORD h, DWORD attrib, float value, DWORD time) {
  Log("BASS_ChannelSlideAttribute %lu %lu %.3f %lu", static_cast<unsigned long>(h), static_cast<unsigned long>(attrib), value,
      static_cast<unsigned long>(time));
  EXPORT_BODY("BASS_ChannelSlideAttribute", FALSE, { return g_lib.SlideAttribute(h, attrib, value, time); })
}

BOOL WINAPI BASS_ChannelIsSliding(DWORD h, DWORD attrib) {
  EXPORT_BODY("BASS_ChannelIsSliding", FALSE, { return g_lib.IsSliding(h, attrib); })
}

BOOL WINAPI BASS_ChannelPlay(DWORD h, BOOL restart) {
  Log("BASS_ChannelPlay %lu %d", static_cast<unsigned long>(h), restart);
  EXPORT_BODY("BASS_ChannelPlay", FALSE, { return g_lib.Play(h, restart != 0); })
}

BOOL WINAPI BASS_ChannelPause(DWORD h) {
  Log("BASS_ChannelPause %lu", static_cast<unsigned long>(h));
  EXPORT_BODY("BASS_ChannelPause", FALSE, { return g_lib.Pause(h); })
}

BOOL WINAPI BASS_ChannelStop(DWORD h) {
  Log("BASS_ChannelStop %lu", static_cast<unsigned long>(h));
  EXPORT_BODY("BASS_ChannelStop", FALSE, { return g_lib.Stop(h); })
}

DWORD WINAPI BASS_ChannelIsActive(DWORD h) {
  EXPORT_BODY("BASS_ChannelIsActive", BASS_ACTIVE_STOPPED, { return g_lib.IsActive(h); })
}

HSYNC WINAPI BASS_ChannelSetSync(DWORD h, DWORD type, QWORD param, SYNCPROC *proc, void *user) {
  Log("BASS_ChannelSetSync %lu %#lx %llu", static_cast<unsigned long>(h), static_cast<unsigned long>(type),
      static_cast<unsigned long long>(param));
  EXPORT_BODY("BASS_ChannelSetSync", 0, {
    return g_lib.SetSync(h, type, param, reinterpret_cast<bass::SyncProc>(proc), user);
  })
}

BOOL WINAPI BASS_ChannelRemoveSync(DWORD h, HSYNC sync) {
  Log("BASS_ChannelRemoveSync %lu %lu", static_cast<unsigned long>(h), static_cast<unsigned long>(sync));
  EXPORT_BODY("BASS_ChannelRemoveSync", FALSE, { return g_lib.RemoveSync(h, sync); })
}

BOOL WINAPI BASS_ChannelLock(DWORD h, BOOL lockIt) {
  EXPORT_BODY("BASS_ChannelLock", FALSE, {
    if (!g_lib.Valid(h)) return FALSE;
    // The clock thread waits while a caller holds a channel locked.
    if (lockIt) {
      g_mu.lock();
      ++t_locks;
    } else if (t_locks > 0) {
      --t_locks;
      g_mu.unlock();
    } else {
      return bass::LastError() = bass::kErrIllParam, FALSE;
    }
    bass::LastError() = bass::kOk;
    return TRUE;
  })
}

DWORD WINAPI BASS_ChannelGetLevel(DWORD h) {
  EXPORT_BODY("BASS_ChannelGetLevel", 0xFFFFFFFF, { return g_lib.Level(h); })
}

const char *WINAPI BASS_ChannelGetTags(DWORD h, DWORD tags) {
  EXPORT_BODY("BASS_ChannelGetTags", nullptr, { return g_lib.Tags(h, tags); })
}

// Unloaded while started (the caller never called BASS_Free): the clock thread must not run on in
// code that is gone. Waiting for it here would deadlock on the loader lock, so it is ended.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *reserved) {
  if (reason == DLL_PROCESS_DETACH && !reserved && g_thread) {
    SetEvent(g_stop);
    TerminateThread(g_thread, 0);
    CloseHandle(g_thread);
    g_thread = nullptr;
  }
  return TRUE;
}

}  // extern "C"
