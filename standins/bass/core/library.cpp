#include "standins/bass/core/library.h"

#include <cmath>

namespace bass {
namespace {

constexpr uint32_t kUnicode = 0x80000000;
constexpr uint32_t kSample8 = 1, kSampleMono = 2, kSampleFloat = 256;
constexpr uint32_t kMusicPrescan = 0x20000, kMusicStopBack = 0x80000;
constexpr uint32_t kAttribVol = 2, kAttribPan = 3;
constexpr uint32_t kSyncPos = 0, kSyncEnd = 2, kSyncOneTime = 0x80000000;
constexpr uint64_t kAllOnes = ~0ull;
constexpr size_t kAddonHead = 256 * 1024;  // bytes of a file an add-on is shown

bool Fail(int code) {
  LastError() = code;
  return false;
}

}  // namespace

int& LastError() {
  thread_local int code = 0;
  return code;
}

bool Library::Init(int device, uint32_t freq, uint32_t flags) {
  (void)flags;
  // -1 the default device, 0 the no-sound device, 1 the first real one: all play on the clock.
  if (device < -1 || device > 1) return Fail(kErrDevice);
  if (started_) return Fail(kErrAlready);
  started_ = true;
  freq_ = freq ? freq : 44100;
  LastError() = kOk;
  return true;
}

bool Library::Free() {
  if (!started_) return Fail(kErrInit);
  channels_.clear();
  started_ = false;
  LastError() = kOk;
  return true;
}

uint32_t Library::AddAddon(AddonProbe probe) {
  uint32_t h = next_++;
  addons_[h] = std::move(probe);
  LastError() = kOk;
  return h;
}

bool Library::RemoveAddon(uint32_t handle) {
  if (!addons_.erase(handle)) return Fail(kErrHandle);
  // Streams the add-on opened go with it.
  for (auto it = channels_.begin(); it != channels_.end();)
    it = it->second.plugin == handle ? channels_.erase(it) : std::next(it);
  LastError() = kOk;
  return true;
}

Library::Channel* Library::Find(uint32_t h) {
  auto it = channels_.find(h);
  return it == channels_.end() ? nullptr : &it->second;
}
const Library::Channel* Library::Find(uint32_t h) const {
  auto it = channels_.find(h);
  return it == channels_.end() ? nullptr : &it->second;
}

bool Library::Valid(uint32_t h) {
  if (Find(h)) return true;
  return Fail(kErrHandle);
}

uint32_t Library::Add(Channel&& c) {
  uint32_t h = next_++;
  channels_.emplace(h, std::move(c));
  LastError() = kOk;
  return h;
}

uint32_t Library::CreateStream(std::unique_ptr<Source> src, uint32_t flags, std::string name) {
  if (!started_) return Fail(kErrInit);
  Channel c;
  c.name = std::move(name);
  c.flags = flags & ~kUnicode;
  Parse r = ParseWave(*src, c.pcm, c.tags);
  if (r == Parse::NotMine) {
    c.tags = TagBlocks();
    r = ParseAiff(*src, c.pcm, c.tags);
  }
  if (r == Parse::Ok) {
    c.hasPcm = true;
    c.freq = c.pcm.freq;
    c.chans = c.pcm.chans;
    c.ctype = c.pcm.ctype;
    c.origres = c.pcm.bits;
    // The channel's own samples: 8-bit stays 8-bit, floating point when asked, else 16-bit.
    if (flags & kSampleFloat) c.sampleBytes = 4;
    else if (c.pcm.bits == 8) { c.sampleBytes = 1; c.flags |= kSample8; }
    else c.sampleBytes = 2;
    if (c.pcm.isFloat && !(flags & kSampleFloat)) c.origres = 32;
    c.length = c.pcm.frames * c.block();
    if (c.pcm.ctype == 0x10006) FindId3(*src, c.tags);
  } else if (r == Parse::Bad) {
    return Fail(kErrFileForm);
  } else {
    std::vector<uint8_t> head = ReadHead(*src, kAddonHead);
    bool found = false;
    for (auto& [handle, probe] : addons_) {
      AddonFormat f;
      if (!probe(head.data(), head.size(), src->Size(), f)) continue;
      if (f.freq < 1 || f.freq > kMaxRate || f.chans < 1 || f.chans > kMaxChannels) continue;
      c.freq = f.freq;
      c.chans = f.chans;
      c.ctype = f.ctype;
      c.origres = f.origres;
      c.plugin = handle;
      c.sampleBytes = (flags & kSampleFloat) ? 4 : 2;
      c.length = f.frames * c.block();
      c.tags.ogg = f.comments;
      FindId3(*src, c.tags);
      found = true;
      break;
    }
    if (!found) return Fail(kErrFileForm);
  }
  c.src = std::move(src);
  return Add(std::move(c));
}

uint32_t Library::LoadMusic(std::unique_ptr<Source> src, uint32_t flags, uint32_t freq, std::string name) {
  if (!started_) return Fail(kErrInit);
  uint64_t size = src->Size();
  if (size > kMaxModuleFile) return Fail(kErrFileForm);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size && !src->ReadAt(0, bytes.data(), bytes.size())) return Fail(kErrFileOpen);
  Channel c;
  if (ParseModule(bytes.data(), bytes.size(), (flags & kMusicStopBack) != 0, c.module) != Parse::Ok)
    return Fail(kErrFileForm);
  c.music = true;
  c.name = std::move(name);
  c.flags = flags & ~kUnicode;
  c.freq = freq ? freq : freq_;
  c.chans = (flags & kSampleMono) ? 1 : 2;
  c.sampleBytes = (flags & kSampleFloat) ? 4 : (flags & kSample8) ? 1 : 2;
  c.ctype = c.module.ctype;
  c.origres = 0;
  c.tags.musicName = c.module.name;
  c.length = static_cast<uint64_t>(std::llround(c.module.seconds * c.freq)) * c.block();
  return Add(std::move(c));
}

bool Library::FreeStream(uint32_t h) {
  Channel* c = Find(h);
  if (!c || c->music) return Fail(kErrHandle);
  channels_.erase(h);
  LastError() = kOk;
  return true;
}

bool Library::FreeMusic(uint32_t h) {
  Channel* c = Find(h);
  if (!c || !c->music) return Fail(kErrHandle);
  channels_.erase(h);
  LastError() = kOk;
  return true;
}

uint64_t Library::FilePosition(uint32_t h, uint32_t mode) {
  Channel* c = Find(h);
  if (!c || c->music) return Fail(kErrHandle), kAllOnes;
  LastError() = kOk;
  uint64_t size = c->src ? c->src->Size() : 0;
  switch (mode) {
    case 0: return c->length ? static_cast<uint64_t>(c->pos / static_cast<double>(c->length) * static_cast<double>(size)) : 0;
    case 1: return kAllOnes;  // a plain file has no download position
    case 2: case 4: return size;
    case 3: return 0;
    default: return Fail(kErrIllType), kAllOnes;
  }
}

uint64_t Library::Length(uint32_t h, uint32_t mode) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), kAllOnes;
  if (mode != 0) return Fail(kErrNotAvail), kAllOnes;
  // A module's length is known only when it was scanned at loading.
  if (c->music && !(c->flags & kMusicPrescan)) return Fail(kErrNotAvail), kAllOnes;
  LastError() = kOk;
  return c->length;
}

uint64_t Library::Position(uint32_t h, uint32_t mode) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), kAllOnes;
  if (mode != 0) return Fail(kErrNotAvail), kAllOnes;
  LastError() = kOk;
  uint64_t p = static_cast<uint64_t>(c->pos);
  return p - p % c->block();
}

bool Library::SetPosition(uint32_t h, uint64_t pos, uint32_t mode) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (mode != 0) return Fail(kErrNotAvail);
  if (pos >= c->length && !(pos == 0 && c->length == 0)) return Fail(kErrPosition);
  c->pos = static_cast<double>(pos - pos % c->block());
  LastError() = kOk;
  return true;
}

double Library::BytesToSeconds(uint32_t h, uint64_t bytes) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), -1.0;
  LastError() = kOk;
  return static_cast<double>(bytes) / c->byteRate();
}

uint64_t Library::SecondsToBytes(uint32_t h, double seconds) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), kAllOnes;
  LastError() = kOk;
  if (!(seconds > 0)) return 0;
  double frames = std::floor(seconds * c->freq);
  if (frames > 1e15) frames = 1e15;
  return static_cast<uint64_t>(frames) * c->block();
}

bool Library::GetInfo(uint32_t h, Info& info) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  info = Info{c->freq, c->chans, c->flags, c->ctype, c->origres, c->plugin, c->name.c_str()};
  LastError() = kOk;
  return true;
}

bool Library::SetAttribute(uint32_t h, uint32_t attrib, float value) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (std::isnan(value)) return Fail(kErrIllParam);
  if (attrib == kAttribVol) {
    c->vol = value < 0 ? 0 : value;
    c->volSlide.active = false;
  } else if (attrib == kAttribPan) {
    c->pan = value < -1 ? -1 : value > 1 ? 1 : value;
    c->panSlide.active = false;
  } else {
    return Fail(kErrIllType);
  }
  LastError() = kOk;
  return true;
}

bool Library::GetAttribute(uint32_t h, uint32_t attrib, float& value) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (attrib == kAttribVol) value = c->vol;
  else if (attrib == kAttribPan) value = c->pan;
  else return Fail(kErrIllType);
  LastError() = kOk;
  return true;
}

bool Library::SlideAttribute(uint32_t h, uint32_t attrib, float value, uint32_t ms) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (std::isnan(value)) return Fail(kErrIllParam);
  if (attrib != kAttribVol && attrib != kAttribPan) return Fail(kErrIllType);
  Slide& s = attrib == kAttribVol ? c->volSlide : c->panSlide;
  float& v = attrib == kAttribVol ? c->vol : c->pan;
  if (attrib == kAttribVol && value < 0) value = 0;
  if (attrib == kAttribPan) value = value < -1 ? -1 : value > 1 ? 1 : value;
  if (ms == 0) {
    v = value;
    s.active = false;
  } else {
    s = Slide{true, v, value, now_, static_cast<double>(ms)};
  }
  LastError() = kOk;
  return true;
}

bool Library::IsSliding(uint32_t h, uint32_t attrib) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  LastError() = kOk;
  if (attrib == kAttribVol) return c->volSlide.active;
  if (attrib == kAttribPan) return c->panSlide.active;
  return attrib == 0 && (c->volSlide.active || c->panSlide.active);
}

bool Library::Play(uint32_t h, bool restart) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (restart || c->pos >= static_cast<double>(c->length)) c->pos = 0;
  c->state = State::Playing;
  LastError() = kOk;
  return true;
}

bool Library::Pause(uint32_t h) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  if (c->state != State::Playing) return Fail(c->state == State::Paused ? kErrAlready : kErrNoPlay);
  c->state = State::Paused;
  LastError() = kOk;
  return true;
}

bool Library::Stop(uint32_t h) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  c->state = State::Stopped;
  LastError() = kOk;
  return true;
}

uint32_t Library::IsActive(uint32_t h) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), 0;
  LastError() = kOk;
  return static_cast<uint32_t>(c->state);
}

uint32_t Library::SetSync(uint32_t h, uint32_t type, uint64_t param, SyncProc proc, void* user) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), 0;
  uint32_t kind = type & 0x00FFFFFF;
  if (!proc || (kind != kSyncPos && kind != kSyncEnd)) return Fail(kErrIllType), 0;
  if (c->syncs.size() >= 1024) return Fail(kErrMem), 0;  // a runaway caller
  uint32_t s = nextSync_++;
  c->syncs.push_back(Sync{s, type, param, proc, user});
  LastError() = kOk;
  return s;
}

bool Library::RemoveSync(uint32_t h, uint32_t sync) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle);
  for (auto it = c->syncs.begin(); it != c->syncs.end(); ++it)
    if (it->handle == sync) {
      c->syncs.erase(it);
      LastError() = kOk;
      return true;
    }
  return Fail(kErrHandle);
}

bool Library::Claim(uint32_t channel, uint32_t sync) {
  Channel* c = Find(channel);
  if (!c) return false;
  for (auto it = c->syncs.begin(); it != c->syncs.end(); ++it)
    if (it->handle == sync) {
      if (it->type & kSyncOneTime) c->syncs.erase(it);
      return true;
    }
  return false;
}

uint32_t Library::Level(uint32_t h) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), 0xFFFFFFFF;
  if (c->state != State::Playing) return Fail(kErrNoPlay), 0xFFFFFFFF;
  LastError() = kOk;
  uint32_t left = 0, right = 0;
  uint64_t frame = static_cast<uint64_t>(c->pos) / c->block();
  uint32_t window = c->freq / 50 ? c->freq / 50 : 1;  // the last 20 ms
  uint64_t first = frame > window ? frame - window : 0;
  if (c->hasPcm) {
    PeakLevels(*c->src, c->pcm, first, static_cast<uint32_t>(frame - first) + 1, left, right);
  } else if (c->music) {
    // No mixer here: a row that starts notes shows full scale, halving with each row after it,
    // so the meter follows the music's rhythm.
    const auto& starts = c->module.rowStart;
    double t = c->pos / c->byteRate();
    size_t lo = 0, hi = starts.size();
    while (hi - lo > 1) {
      size_t mid = (lo + hi) / 2;
      if (starts[mid] <= t) lo = mid; else hi = mid;
    }
    for (size_t k = 0; k < 8 && k <= lo; ++k) {
      uint8_t n = c->module.rowNotes[lo - k];
      if (!n) continue;
      uint32_t v = 32768u >> k;
      left = right = v;
      break;
    }
  }
  if (left > 32768) left = 32768;
  if (right > 32768) right = 32768;
  return left | (right << 16);
}

const char* Library::Tags(uint32_t h, uint32_t type, size_t* size) {
  Channel* c = Find(h);
  if (!c) return Fail(kErrHandle), nullptr;
  const char* p = nullptr;
  size_t n = 0;
  const TagBlocks& t = c->tags;
  if (type == 0 && !t.id3v1.empty()) { p = reinterpret_cast<const char*>(t.id3v1.data()); n = t.id3v1.size(); }
  else if (type == 1 && !t.id3v2.empty()) { p = reinterpret_cast<const char*>(t.id3v2.data()); n = t.id3v2.size(); }
  else if (type == 2 && !t.ogg.empty()) { p = t.ogg.data(); n = t.ogg.size(); }
  else if (type == 0x100 && !t.riffInfo.empty()) { p = t.riffInfo.data(); n = t.riffInfo.size(); }
  else if (type == 0x10000 && c->music) { p = t.musicName.c_str(); n = t.musicName.size() + 1; }
  if (!p) return Fail(kErrNotAvail), nullptr;
  if (size) *size = n;
  LastError() = kOk;
  return p;
}

void Library::Step(uint32_t h, Channel& c, double ms, std::vector<DueSync>& due) {
  for (Slide* s : {&c.volSlide, &c.panSlide}) {
    if (!s->active) continue;
    float& v = s == &c.volSlide ? c.vol : c.pan;
    double f = (now_ - s->start) / s->ms;
    if (f >= 1) {
      v = s->to;
      s->active = false;
    } else {
      v = static_cast<float>(s->from + (s->to - s->from) * f);
    }
  }
  if (c.state != State::Playing || ms <= 0) return;
  double from = c.pos;
  double to = from + ms * c.byteRate() / 1000.0;
  double end = static_cast<double>(c.length);
  bool ended = to >= end;
  if (ended) to = end;
  c.pos = to;
  for (const Sync& s : c.syncs) {
    uint32_t kind = s.type & 0x00FFFFFF;
    double at = static_cast<double>(s.param);
    bool hit = (kind == kSyncPos && at >= from && at < to) || (kind == kSyncEnd && ended);
    if (!hit) continue;
    due.push_back(DueSync{s.handle, h, 0, s.proc, s.user});
  }
  if (ended) c.state = State::Stopped;
}

std::vector<DueSync> Library::Tick(double now) {
  std::vector<DueSync> due;
  double ms = now - now_;
  now_ = now;
  for (auto& [h, c] : channels_) Step(h, c, ms, due);
  return due;
}

}  // namespace bass
