// The stand-in audio library's state: started or not, the channels (file streams and module
// music) with their positions, attributes, slides and syncs, and the loaded add-ons. Time is
// given by the caller in milliseconds of the library's clock; Tick() advances playing channels
// to that time and returns the syncs that became due, which the caller fires outside its lock.
// Not thread-safe by itself: the shell serialises every call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standins/bass/core/media.h"
#include "standins/bass/core/source.h"

namespace bass {

// Error codes as the library reports them.
enum Error : int {
  kOk = 0, kErrMem = 1, kErrFileOpen = 2, kErrHandle = 5, kErrPosition = 7, kErrInit = 8,
  kErrAlready = 14, kErrIllType = 19, kErrIllParam = 20, kErrDevice = 23, kErrNoPlay = 24,
  kErrNotFile = 27, kErrNotAvail = 37, kErrFileForm = 41, kErrUnknown = -1,
};

// The error of the calling thread's last call.
int& LastError();

enum class State { Stopped = 0, Playing = 1, Paused = 3 };

// A sync callback as the core calls it in tests; the shell stores the caller's own (stdcall)
// callback here and converts it back before calling it.
using SyncProc = void (*)(uint32_t sync, uint32_t channel, uint32_t data, void* user);

// What an add-on reports for a file it can play.
struct AddonFormat {
  uint32_t freq = 0, chans = 0, ctype = 0, origres = 0;
  uint64_t frames = 0;
  std::string comments;  // "KEY=value\0...\0", may be empty
};
// An add-on's probe: the first bytes of the file and its size; true when it plays the file.
using AddonProbe = std::function<bool(const uint8_t* head, size_t size, uint64_t fileSize, AddonFormat& out)>;

struct DueSync {
  uint32_t sync, channel, data;
  SyncProc proc;
  void* user;
};

class Library {
 public:
  // Init: device -1, 0 or 1 (all the clock); freq 0 means 44100.
  bool Init(int device, uint32_t freq, uint32_t flags);
  bool Free();
  bool started() const { return started_; }
  uint32_t outputRate() const { return freq_; }

  uint32_t AddAddon(AddonProbe probe);
  bool RemoveAddon(uint32_t handle);

  // Opens a stream over src (WAV, AIFF, then the add-ons). name: the file name as given
  // (bytes, kept for the channel information). 0 on failure with LastError set.
  uint32_t CreateStream(std::unique_ptr<Source> src, uint32_t flags, std::string name);
  uint32_t LoadMusic(std::unique_ptr<Source> src, uint32_t flags, uint32_t freq, std::string name);
  bool FreeStream(uint32_t h);
  bool FreeMusic(uint32_t h);
  uint64_t FilePosition(uint32_t h, uint32_t mode);

  uint64_t Length(uint32_t h, uint32_t mode);
  uint64_t Position(uint32_t h, uint32_t mode);
  bool SetPosition(uint32_t h, uint64_t pos, uint32_t mode);
  double BytesToSeconds(uint32_t h, uint64_t bytes);
  uint64_t SecondsToBytes(uint32_t h, double seconds);

  struct Info {
    uint32_t freq, chans, flags, ctype, origres, plugin;
    const char* filename;
  };
  bool GetInfo(uint32_t h, Info& info);
  bool SetAttribute(uint32_t h, uint32_t attrib, float value);
  bool GetAttribute(uint32_t h, uint32_t attrib, float& value);
  bool SlideAttribute(uint32_t h, uint32_t attrib, float value, uint32_t ms);
  bool IsSliding(uint32_t h, uint32_t attrib);
  bool Play(uint32_t h, bool restart);
  bool Pause(uint32_t h);
  bool Stop(uint32_t h);
  uint32_t IsActive(uint32_t h);
  uint32_t SetSync(uint32_t h, uint32_t type, uint64_t param, SyncProc proc, void* user);
  bool RemoveSync(uint32_t h, uint32_t sync);
  bool Valid(uint32_t h);
  // Low 16 bits left, high 16 bits right; 0xFFFFFFFF (not playing) on failure.
  uint32_t Level(uint32_t h);
  // Raw tag block of a BASS_TAG_* type; null with kErrNotAvail when absent.
  const char* Tags(uint32_t h, uint32_t type, size_t* size = nullptr);

  // Advances to library time now (ms); returns the syncs that fell due, in order.
  std::vector<DueSync> Tick(double now);
  // Called just before a due sync is fired: false when it was removed meanwhile (it is not
  // fired then); a one-time sync is removed here.
  bool Claim(uint32_t channel, uint32_t sync);

 private:
  struct Sync {
    uint32_t handle, type;
    uint64_t param;
    SyncProc proc;
    void* user;
  };
  struct Slide {
    bool active = false;
    float from = 0, to = 0;
    double start = 0, ms = 0;
  };
  struct Channel {
    bool music = false;
    std::unique_ptr<Source> src;
    PcmFormat pcm;           // streams read from WAV/AIFF: levels come from the samples
    bool hasPcm = false;
    ModuleInfo module;       // music
    TagBlocks tags;
    std::string name;
    uint32_t freq = 0, chans = 0, flags = 0, ctype = 0, origres = 0, plugin = 0;
    uint32_t sampleBytes = 2;  // bytes per sample of the channel's output
    uint64_t length = 0;       // bytes
    double pos = 0;            // bytes
    State state = State::Stopped;
    float vol = 1, pan = 0;
    Slide volSlide, panSlide;
    std::vector<Sync> syncs;
    uint32_t block() const { return sampleBytes * chans; }
    double byteRate() const { return static_cast<double>(freq) * block(); }
  };

  Channel* Find(uint32_t h);
  const Channel* Find(uint32_t h) const;
  uint32_t Add(Channel&& c);
  void Step(uint32_t h, Channel& c, double ms, std::vector<DueSync>& due);

  bool started_ = false;
  uint32_t freq_ = 44100;
  double now_ = 0;
  uint32_t next_ = 0x10001;
  uint32_t nextSync_ = 1;
  std::map<uint32_t, Channel> channels_;
  std::map<uint32_t, AddonProbe> addons_;
};

}  // namespace bass
