#include "standins/bass/core/media.h"

#include <cmath>
#include <cstring>

namespace bass {
namespace {

bool Id(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Reads a raw tag block of at most kMaxTagBlock bytes.
std::vector<uint8_t> ReadBlock(Source& src, uint64_t off, uint64_t size) {
  if (size == 0 || size > kMaxTagBlock) return {};
  std::vector<uint8_t> b(static_cast<size_t>(size));
  if (!src.ReadAt(off, b.data(), b.size())) return {};
  return b;
}

// A LIST/INFO chunk body ("INFO" then sub-chunks) as "IART=value\0...\0".
std::string InfoList(const std::vector<uint8_t>& body) {
  std::string out;
  Cursor c(body.data(), body.size());
  c.Skip(4);
  for (uint32_t n = 0; n < kMaxChunks && c.left() >= 8; ++n) {
    size_t at = c.pos();
    std::string id(reinterpret_cast<const char*>(body.data() + at), 4);
    c.Skip(4);
    uint32_t size = c.U32le();
    if (size > c.left()) break;  // a sub-chunk past the list's end ends the list
    const char* text = reinterpret_cast<const char*>(body.data() + c.pos());
    size_t len = strnlen(text, size);
    if (len) out += id + "=" + std::string(text, len) + '\0';
    c.Skip(size + (size & 1));
    if (!c.ok()) break;
  }
  if (!out.empty()) out += '\0';
  return out;
}

}  // namespace

void FindId3(Source& src, TagBlocks& tags) {
  uint64_t size = src.Size();
  uint8_t h[10];
  if (tags.id3v1.empty() && size >= 128) {
    uint8_t t[3];
    if (src.ReadAt(size - 128, t, 3) && std::memcmp(t, "TAG", 3) == 0) tags.id3v1 = ReadBlock(src, size - 128, 128);
  }
  if (tags.id3v2.empty() && src.ReadAt(0, h, 10) && std::memcmp(h, "ID3", 3) == 0) {
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return;  // sizes are 7-bit bytes
    uint32_t body = (static_cast<uint32_t>(h[6]) << 21) | (static_cast<uint32_t>(h[7]) << 14) |
                    (static_cast<uint32_t>(h[8]) << 7) | h[9];
    tags.id3v2 = ReadBlock(src, 0, 10ull + body);
  }
}

namespace {

// One chunk of a RIFF or IFF file: its id, where its body starts, its stated size, and how many
// bytes of the file follow its header.
struct ChunkRef {
  uint8_t id[4];
  uint64_t body, size, avail;
};

// Walks the chunks after the 12-byte container header to the end of the file (the container's own
// size may be wrong: streamed files write 0 or all ones), at most kMaxChunks. fn returns false to
// refuse the file. A chunk running past the end of the file is the last one looked at.
template <class Fn>
bool WalkChunks(Source& src, bool bigEndian, Fn fn) {
  uint64_t fileSize = src.Size(), off = 12;
  for (uint32_t n = 0; n < kMaxChunks && off + 8 <= fileSize; ++n) {
    uint8_t h[8];
    if (!src.ReadAt(off, h, 8)) return false;
    ChunkRef c;
    std::memcpy(c.id, h, 4);
    c.size = bigEndian ? Ld32be(h + 4) : Ld32le(h + 4);
    c.body = off + 8;
    c.avail = fileSize - c.body;
    if (!fn(c)) return false;
    if (c.size > c.avail) break;
    off = c.body + c.size + (c.size & 1);
  }
  return true;
}

// An ID3v2 tag kept in a chunk of its own ("id3 " in WAV, "ID3 " in AIFF).
void KeepId3Chunk(Source& src, const ChunkRef& c, TagBlocks& tags) {
  if (!(Id(c.id, "id3 ") || Id(c.id, "ID3 ")) || c.size > c.avail || !tags.id3v2.empty()) return;
  std::vector<uint8_t> b = ReadBlock(src, c.body, c.size);
  if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3) != 0 || ((b[6] | b[7] | b[8] | b[9]) & 0x80)) return;
  // Readers size the block from its header: a tag claiming more than its chunk holds is not kept.
  size_t claimed = 10 + ((static_cast<size_t>(b[6]) << 21) | (static_cast<size_t>(b[7]) << 14) |
                         (static_cast<size_t>(b[8]) << 7) | b[9]);
  if (claimed > b.size()) return;
  b.resize(claimed);
  tags.id3v2 = std::move(b);
}

}  // namespace

Parse ParseWave(Source& src, PcmFormat& fmt, TagBlocks& tags) {
  // "RIFF", size, "WAVE"; then chunks of id, 32-bit little-endian size, body, pad to even.
  uint8_t h[12];
  if (!src.ReadAt(0, h, 12) || !Id(h, "RIFF") || !Id(h + 8, "WAVE")) return Parse::NotMine;
  bool haveFmt = false, haveData = false;
  uint64_t dataSize = 0;
  bool read = WalkChunks(src, false, [&](const ChunkRef& c) {
    if (Id(c.id, "fmt ")) {
      // WAVEFORMAT: tag 0, channels 2, rate 4, bytes/s 8, block align 12, bits 14; extensible:
      // cbSize 16, valid bits 18, channel mask 20, sub-format GUID 24 (first two bytes the tag).
      if (c.size < 16 || c.size > c.avail) return false;
      uint8_t f[40] = {};
      if (!src.ReadAt(c.body, f, c.size < 40 ? static_cast<size_t>(c.size) : 40)) return false;
      uint16_t tag = Ld16le(f);
      if (tag == 0xFFFE) {
        if (c.size < 40) return false;  // extensible format needs its sub-format
        tag = Ld16le(f + 24);
      }
      if (tag != 1 && tag != 3) return false;  // compressed WAVE data is not read
      fmt.isFloat = tag == 3;
      fmt.chans = Ld16le(f + 2);
      fmt.freq = Ld32le(f + 4);
      fmt.blockAlign = Ld16le(f + 12);
      fmt.bits = Ld16le(f + 14);
      haveFmt = true;
    } else if (Id(c.id, "data")) {
      // A data chunk running past the end of the file (a cut-off file) is read up to the end.
      fmt.dataOffset = c.body;
      dataSize = c.size < c.avail ? c.size : c.avail;
      haveData = true;
    } else if (Id(c.id, "LIST") && c.size >= 4 && c.size <= c.avail) {
      std::vector<uint8_t> list = ReadBlock(src, c.body, c.size);
      if (list.size() >= 4 && Id(list.data(), "INFO") && tags.riffInfo.empty()) tags.riffInfo = InfoList(list);
    } else {
      KeepId3Chunk(src, c, tags);
    }
    return true;
  });
  if (!read || !haveFmt || !haveData) return Parse::Bad;
  if (fmt.chans < 1 || fmt.chans > kMaxChannels) return Parse::Bad;  // 1..8 channels
  if (fmt.freq < 1 || fmt.freq > kMaxRate) return Parse::Bad;
  bool bitsOk = fmt.isFloat ? fmt.bits == 32 : (fmt.bits == 8 || fmt.bits == 16 || fmt.bits == 24 || fmt.bits == 32);
  if (!bitsOk) return Parse::Bad;
  if (fmt.blockAlign != fmt.chans * (fmt.bits / 8u)) return Parse::Bad;  // packed frames only
  fmt.ctype = fmt.isFloat ? 0x50003 : 0x50001;
  fmt.frames = dataSize / fmt.blockAlign;
  FindId3(src, tags);
  return Parse::Ok;
}

Parse ParseAiff(Source& src, PcmFormat& fmt, TagBlocks& tags) {
  // "FORM", big-endian size, "AIFF" or "AIFC"; chunks with big-endian sizes, padded to even.
  uint8_t h[12];
  if (!src.ReadAt(0, h, 12) || !Id(h, "FORM") || !(Id(h + 8, "AIFF") || Id(h + 8, "AIFC"))) return Parse::NotMine;
  bool aifc = Id(h + 8, "AIFC");
  bool haveComm = false, haveData = false;
  uint64_t commFrames = 0, dataSize = 0;
  bool read = WalkChunks(src, true, [&](const ChunkRef& ch) {
    if (Id(ch.id, "COMM")) {
      // channels 0, frames 2, bits 6, rate 8 (80-bit extended); AIFC adds compression type 18.
      if (ch.size < 18 || ch.size > ch.avail) return false;
      uint8_t c[22] = {};
      if (!src.ReadAt(ch.body, c, ch.size < 22 ? static_cast<size_t>(ch.size) : 22)) return false;
      fmt.chans = Ld16be(c);
      commFrames = Ld32be(c + 2);
      fmt.bits = Ld16be(c + 6);
      int exponent = (Ld16be(c + 8) & 0x7FFF) - 16383 - 63;
      uint64_t mant = (static_cast<uint64_t>(Ld32be(c + 10)) << 32) | Ld32be(c + 14);
      if ((c[8] & 0x80) || exponent < -64 || exponent > 0) return false;  // rate below 2^63
      double rate = std::ldexp(static_cast<double>(mant), exponent);
      if (!(rate >= 1.0 && rate <= kMaxRate)) return false;
      fmt.freq = static_cast<uint32_t>(rate + 0.5);
      fmt.bigEndian = true;
      if (aifc) {
        if (ch.size < 22) return false;
        if (Id(c + 18, "sowt")) fmt.bigEndian = false;
        else if (!Id(c + 18, "NONE")) return false;  // compressed AIFC is not read
      }
      haveComm = true;
    } else if (Id(ch.id, "SSND")) {
      // offset 0, block size 4, then sample data from 8 + offset.
      if (ch.size < 8) return false;
      uint8_t s[4];
      if (!src.ReadAt(ch.body, s, 4)) return false;
      uint64_t skip = 8ull + Ld32be(s);
      uint64_t bodySize = ch.size < ch.avail ? ch.size : ch.avail;
      if (skip > bodySize) return false;
      fmt.dataOffset = ch.body + skip;
      dataSize = bodySize - skip;
      haveData = true;
    } else {
      KeepId3Chunk(src, ch, tags);
    }
    return true;
  });
  if (!read || !haveComm || !haveData) return Parse::Bad;
  if (fmt.chans < 1 || fmt.chans > kMaxChannels) return Parse::Bad;
  if (fmt.bits != 8 && fmt.bits != 16 && fmt.bits != 24 && fmt.bits != 32) return Parse::Bad;
  fmt.signed8 = true;
  fmt.blockAlign = fmt.chans * (fmt.bits / 8u);
  fmt.ctype = 0x10006;
  uint64_t present = dataSize / fmt.blockAlign;
  fmt.frames = commFrames < present ? commFrames : present;
  return Parse::Ok;
}

bool PeakLevels(Source& src, const PcmFormat& fmt, uint64_t first, uint32_t count, uint32_t& left, uint32_t& right) {
  left = right = 0;
  if (fmt.blockAlign == 0 || first >= fmt.frames) return first == fmt.frames;
  if (count > 8192) count = 8192;
  if (count > fmt.frames - first) count = static_cast<uint32_t>(fmt.frames - first);
  std::vector<uint8_t> buf(static_cast<size_t>(count) * fmt.blockAlign);
  if (!src.ReadAt(fmt.dataOffset + first * fmt.blockAlign, buf.data(), buf.size())) return false;
  uint32_t width = fmt.bits / 8u;
  for (uint32_t f = 0; f < count; ++f) {
    for (uint32_t c = 0; c < fmt.chans && c < 2; ++c) {
      const uint8_t* p = buf.data() + static_cast<size_t>(f) * fmt.blockAlign + c * width;
      double m;  // magnitude as a fraction of full scale
      if (fmt.isFloat) {
        uint32_t u = Ld32le(p);
        float v;
        std::memcpy(&v, &u, 4);
        m = std::isfinite(v) ? std::fabs(static_cast<double>(v)) : 0.0;
      } else {
        int64_t v;
        switch (width) {
          case 1: v = fmt.signed8 ? static_cast<int8_t>(p[0]) : p[0] - 128; break;
          case 2: v = static_cast<int16_t>(fmt.bigEndian ? Ld16be(p) : Ld16le(p)); break;
          case 3: {
            uint32_t u = fmt.bigEndian ? (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2]
                                       : (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            v = static_cast<int32_t>(u << 8) >> 8;
            break;
          }
          default: v = static_cast<int32_t>(fmt.bigEndian ? Ld32be(p) : Ld32le(p)); break;
        }
        m = std::fabs(static_cast<double>(v)) / std::ldexp(1.0, static_cast<int>(width * 8 - 1));
      }
      uint32_t level = m >= 1.0 ? 32768u : static_cast<uint32_t>(m * 32768.0 + 0.5);
      uint32_t& slot = c == 0 ? left : right;
      if (level > slot) slot = level;
    }
  }
  if (fmt.chans == 1) right = left;
  return true;
}

namespace {

// A format-neutral song: the order list and, for each pattern, its rows' flow effects.
struct RowFx {
  int16_t speed = -1, tempo = -1, breakRow = -1, jump = -1;
  uint8_t notes = 0;
};
struct Song {
  std::vector<int> orders;                // pattern numbers; -1 end of song, -2 skip marker
  std::vector<std::vector<RowFx>> patterns;
  int speed = 6, tempo = 125;
};

constexpr uint16_t kDefaultRows = 64;
constexpr size_t kMaxPatterns = 256;
constexpr size_t kMaxOrders = 256;
constexpr uint16_t kMaxRows = 256;

// Applies one effect given in MOD/XM numbering (F speed/tempo, B jump, D break in decimal digits).
void ModXmFx(RowFx& r, uint8_t fx, uint8_t p, bool note) {
  if (note && r.notes < 255) ++r.notes;
  if (fx == 0x0F && p) {
    if (p < 32) r.speed = p;
    else r.tempo = p;
  } else if (fx == 0x0B) {
    r.jump = p;
  } else if (fx == 0x0D) {
    r.breakRow = static_cast<int16_t>((p >> 4) * 10 + (p & 15));
  }
}

// S3M/IT numbering: A speed, B jump, C break (decimal digits in S3M, plain in IT), T tempo.
void LetterFx(RowFx& r, uint8_t fx, uint8_t p, bool plainBreak) {
  if (fx == 1 && p) r.speed = p;
  else if (fx == 2) r.jump = p;
  else if (fx == 3) r.breakRow = static_cast<int16_t>(plainBreak ? p : (p >> 4) * 10 + (p & 15));
  else if (fx == 20 && p >= 0x20) r.tempo = p;
}

Parse Mod(const uint8_t* d, size_t n, Song& song, ModuleInfo& info) {
  // title 0 (20), 31 samples of 30 bytes from 20, song length 950, orders 952 (128), tag 1080.
  if (n < 1084) return Parse::NotMine;
  const char* tag = reinterpret_cast<const char*>(d + 1080);
  int chans = 0;
  if (!std::memcmp(tag, "M.K.", 4) || !std::memcmp(tag, "M!K!", 4) || !std::memcmp(tag, "FLT4", 4) || !std::memcmp(tag, "4CHN", 4))
    chans = 4;
  else if (!std::memcmp(tag, "FLT8", 4) || !std::memcmp(tag, "8CHN", 4)) chans = 8;
  else if (!std::memcmp(tag, "6CHN", 4)) chans = 6;
  else if (tag[0] >= '1' && tag[0] <= '3' && tag[1] >= '0' && tag[1] <= '9' && tag[2] == 'C' && tag[3] == 'H')
    chans = (tag[0] - '0') * 10 + (tag[1] - '0');  // "10CH" .. "32CH"
  if (chans < 1 || chans > 32) return Parse::NotMine;
  info.ctype = 0x20000;
  info.channels = static_cast<uint16_t>(chans);
  info.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 20));
  uint8_t length = d[950];
  if (length < 1 || length > 128) return Parse::Bad;
  int patterns = 0;
  for (int i = 0; i < 128; ++i) patterns = d[952 + i] + 1 > patterns ? d[952 + i] + 1 : patterns;
  size_t patBytes = 64u * static_cast<size_t>(chans) * 4u;
  for (int i = 0; i < length; ++i) song.orders.push_back(d[952 + i]);
  song.patterns.resize(static_cast<size_t>(patterns));
  for (int p = 0; p < patterns; ++p) {
    size_t at = 1084 + static_cast<size_t>(p) * patBytes;
    if (at > n || patBytes > n - at) {
      // A pattern cut off by the end of the file: refused when the song plays it.
      for (int o : song.orders) if (o == p) return Parse::Bad;
      continue;
    }
    auto& rows = song.patterns[static_cast<size_t>(p)];
    rows.resize(64);
    for (size_t r = 0; r < 64; ++r)
      for (size_t c = 0; c < static_cast<size_t>(chans); ++c) {
        const uint8_t* cell = d + at + (r * static_cast<size_t>(chans) + c) * 4;
        bool note = ((cell[0] & 0x0F) | cell[1]) != 0;
        ModXmFx(rows[r], cell[2] & 0x0F, cell[3], note);
      }
  }
  return Parse::Ok;
}

Parse S3m(const uint8_t* d, size_t n, Song& song, ModuleInfo& info) {
  // title 0 (28), type 29 (16), orders 32, instruments 34, patterns 36, "SCRM" 44, speed 49,
  // tempo 50, channel settings 64, orders from 96, then 16-bit paragraph pointers.
  if (n < 96 || std::memcmp(d + 44, "SCRM", 4) != 0) return Parse::NotMine;
  info.ctype = 0x20002;
  info.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 28));
  if (d[29] != 16) return Parse::Bad;
  size_t ordNum = Ld16le(d + 32), insNum = Ld16le(d + 34), patNum = Ld16le(d + 36);
  if (ordNum > kMaxOrders || insNum > 256 || patNum > kMaxPatterns) return Parse::Bad;
  if (d[49]) song.speed = d[49];
  if (d[50] >= 32) song.tempo = d[50];
  size_t ptrs = 96 + ordNum + insNum * 2;
  if (ptrs + patNum * 2 > n) return Parse::Bad;
  for (uint16_t c = 0; c < 32; ++c) if (d[64 + c] < 16) ++info.channels;
  for (size_t i = 0; i < ordNum; ++i) {
    uint8_t o = d[96 + i];
    song.orders.push_back(o == 255 ? -1 : o == 254 ? -2 : o);
  }
  song.patterns.resize(patNum);
  for (size_t p = 0; p < patNum; ++p) {
    auto& rows = song.patterns[p];
    rows.resize(64);
    size_t at = static_cast<size_t>(Ld16le(d + ptrs + p * 2)) * 16;
    if (at == 0) continue;  // no pattern data: 64 empty rows
    if (at + 2 > n) return Parse::Bad;
    size_t len = Ld16le(d + at);
    size_t end = at + len <= n ? at + len : n;
    Cursor c(d + at + 2, end >= at + 2 ? end - at - 2 : 0);
    for (size_t r = 0; r < 64 && c.ok() && c.left();) {
      uint8_t what = c.U8();
      if (what == 0) { ++r; continue; }
      bool note = false;
      if (what & 32) { uint8_t nt = c.U8(); c.U8(); note = nt < 254; }
      if (what & 64) c.U8();
      uint8_t fx = 0, param = 0;
      if (what & 128) { fx = c.U8(); param = c.U8(); }
      if (note && rows[r].notes < 255) ++rows[r].notes;
      LetterFx(rows[r], fx, param, false);
    }
  }
  return Parse::Ok;
}

Parse Xm(const uint8_t* d, size_t n, Song& song, ModuleInfo& info) {
  // "Extended Module: " 0, name 17 (20), header size 60 (counted from 60), song length 64,
  // channels 68, patterns 70, speed 76, tempo 78, orders 80 (256).
  if (n < 60 || std::memcmp(d, "Extended Module: ", 17) != 0) return Parse::NotMine;
  info.ctype = 0x20003;
  info.name.assign(reinterpret_cast<const char*>(d + 17), strnlen(reinterpret_cast<const char*>(d + 17), 20));
  if (n < 80) return Parse::Bad;
  uint32_t headerSize = Ld32le(d + 60);
  size_t songLen = Ld16le(d + 64), chans = Ld16le(d + 68), patNum = Ld16le(d + 70);
  if (headerSize < 20 || headerSize > n - 60) return Parse::Bad;
  if (songLen > kMaxOrders || songLen > headerSize - 20 || chans < 1 || chans > 64 || patNum > kMaxPatterns)
    return Parse::Bad;
  info.channels = static_cast<uint16_t>(chans);
  if (Ld16le(d + 76)) song.speed = Ld16le(d + 76) < 32 ? Ld16le(d + 76) : 31;
  if (Ld16le(d + 78) >= 32) song.tempo = Ld16le(d + 78) < 256 ? Ld16le(d + 78) : 255;
  for (size_t i = 0; i < songLen; ++i) song.orders.push_back(d[80 + i]);
  song.patterns.resize(patNum);
  size_t at = 60 + static_cast<size_t>(headerSize);
  for (size_t p = 0; p < patNum; ++p) {
    // Pattern header: its length 0, packing 4, rows 5, packed size 7; data after the header.
    if (at > n || n - at < 9) return Parse::Bad;
    uint32_t hlen = Ld32le(d + at);
    uint16_t rowCount = Ld16le(d + at + 5);
    size_t packed = Ld16le(d + at + 7);
    if (hlen < 9 || hlen > n - at || rowCount < 1 || rowCount > kMaxRows) return Parse::Bad;
    size_t data = at + hlen;
    if (packed > n - data) return Parse::Bad;
    auto& rows = song.patterns[p];
    rows.resize(rowCount);
    Cursor c(d + data, packed);
    for (size_t r = 0; packed && r < rowCount; ++r)
      for (size_t ch = 0; ch < chans && c.ok(); ++ch) {
        uint8_t b = c.U8();
        uint8_t note = 0, fx = 0, param = 0;
        if (b & 0x80) {
          if (b & 1) note = c.U8();
          if (b & 2) c.U8();
          if (b & 4) c.U8();
          if (b & 8) fx = c.U8();
          if (b & 16) param = c.U8();
        } else {
          note = b;
          c.U8(); c.U8();
          fx = c.U8();
          param = c.U8();
        }
        if (c.ok()) ModXmFx(rows[r], fx, param, note > 0 && note < 97);
      }
    at = data + packed;
  }
  return Parse::Ok;
}

Parse It(const uint8_t* d, size_t n, Song& song, ModuleInfo& info) {
  // "IMPM" 0, name 4 (26), orders 32, instruments 34, samples 36, patterns 38, speed 50,
  // tempo 51, orders from 192, then 32-bit offsets of instruments, samples and patterns.
  if (n < 4 || std::memcmp(d, "IMPM", 4) != 0) return Parse::NotMine;
  info.ctype = 0x20004;
  if (n < 192) return Parse::Bad;
  info.name.assign(reinterpret_cast<const char*>(d + 4), strnlen(reinterpret_cast<const char*>(d + 4), 26));
  size_t ordNum = Ld16le(d + 32), insNum = Ld16le(d + 34), smpNum = Ld16le(d + 36), patNum = Ld16le(d + 38);
  if (ordNum > kMaxOrders || insNum > 256 || smpNum > 256 || patNum > kMaxPatterns) return Parse::Bad;
  if (d[50]) song.speed = d[50];
  if (d[51] >= 32) song.tempo = d[51];
  size_t ptrs = 192 + ordNum + insNum * 4 + smpNum * 4;
  if (ptrs + patNum * 4 > n) return Parse::Bad;
  info.channels = 64;
  for (size_t i = 0; i < ordNum; ++i) {
    uint8_t o = d[192 + i];
    song.orders.push_back(o == 255 ? -1 : o == 254 ? -2 : o);
  }
  song.patterns.resize(patNum);
  for (size_t p = 0; p < patNum; ++p) {
    auto& rows = song.patterns[p];
    uint32_t at = Ld32le(d + ptrs + p * 4);
    if (at == 0) { rows.resize(64); continue; }  // no pattern data: 64 empty rows
    // Pattern: packed length 0, rows 2, four reserved bytes, data from 8.
    if (at > n || n - at < 8) return Parse::Bad;
    size_t len = Ld16le(d + at);
    uint16_t rowCount = Ld16le(d + at + 2);
    if (rowCount < 1 || rowCount > kMaxRows) return Parse::Bad;
    if (len > n - at - 8) len = n - at - 8;
    rows.resize(rowCount);
    Cursor c(d + at + 8, len);
    uint8_t lastMask[64] = {}, lastFx[64] = {}, lastParam[64] = {};
    for (size_t r = 0; r < rowCount && c.ok() && c.left();) {
      uint8_t cv = c.U8();
      if (cv == 0) { ++r; continue; }
      size_t ch = (cv - 1u) & 63u;
      uint8_t mask = (cv & 0x80) ? (lastMask[ch] = c.U8()) : lastMask[ch];
      bool note = false;
      if (mask & 1) note = c.U8() < 120;
      if (mask & 2) c.U8();
      if (mask & 4) c.U8();
      if (mask & 8) { lastFx[ch] = c.U8(); lastParam[ch] = c.U8(); }
      if (mask & 16) note = true;  // the channel's last note again
      if ((mask & 8) || (mask & 128)) LetterFx(rows[r], lastFx[ch], lastParam[ch], true);
      if (note && rows[r].notes < 255) ++rows[r].notes;
    }
  }
  return Parse::Ok;
}

// Plays the song row by row from order 0: speed, tempo, pattern break and position jump take
// effect as trackers do; the walk ends at the end of the orders, at an end marker, at a row it
// has played before (the song loops), at a backward jump when stopBack is set, or at the row cap.
void Walk(const Song& song, bool stopBack, ModuleInfo& info) {
  std::vector<uint8_t> seen(song.orders.size() * kMaxRows, 0);
  size_t order = 0, row = 0;
  int speed = song.speed, tempo = song.tempo;
  double t = 0;
  for (uint32_t steps = 0; steps < kMaxWalkRows && order < song.orders.size(); ++steps) {
    int pat = song.orders[order];
    if (pat == -1) break;
    if (pat == -2 || static_cast<size_t>(pat) >= song.patterns.size() || song.patterns[static_cast<size_t>(pat)].empty()) {
      // A skip marker; an order naming a missing pattern plays nothing in MOD/S3M/IT but an
      // empty 64-row pattern in XM; both are passed over here except XM's, played as silence.
      if (pat >= 0 && info.ctype == 0x20003) {
        static const std::vector<RowFx> empty(kDefaultRows);
        if (seen[order * kMaxRows + row]) break;
        seen[order * kMaxRows + row] = 1;
        info.rowStart.push_back(static_cast<float>(t));
        info.rowNotes.push_back(0);
        t += speed * 2.5 / tempo;
        if (++row >= empty.size()) { row = 0; ++order; }
        continue;
      }
      ++order;
      row = 0;
      continue;
    }
    const auto& rows = song.patterns[static_cast<size_t>(pat)];
    if (row >= rows.size()) row = 0;
    if (seen[order * kMaxRows + row]) break;
    seen[order * kMaxRows + row] = 1;
    const RowFx& fx = rows[row];
    if (fx.speed > 0) speed = fx.speed;
    if (fx.tempo >= 32) tempo = fx.tempo;
    info.rowStart.push_back(static_cast<float>(t));
    info.rowNotes.push_back(fx.notes);
    t += speed * 2.5 / tempo;  // a tick lasts 2.5 / tempo seconds
    if (fx.jump >= 0 || fx.breakRow >= 0) {
      size_t next = fx.jump >= 0 ? static_cast<size_t>(fx.jump) : order + 1;
      if (stopBack && fx.jump >= 0 && next <= order) break;
      order = next;
      row = fx.breakRow >= 0 ? static_cast<size_t>(fx.breakRow) : 0;
      if (row >= kMaxRows) row = 0;
    } else if (++row >= rows.size()) {
      row = 0;
      ++order;
    }
  }
  info.seconds = t;
}

}  // namespace

Parse ParseModule(const uint8_t* data, size_t size, bool stopBack, ModuleInfo& info) {
  info = ModuleInfo();
  if (size > kMaxModuleFile) return Parse::Bad;
  Song song;
  Parse r = Parse::NotMine;
  for (auto parser : {Xm, It, S3m, Mod}) {
    song = Song();
    info = ModuleInfo();
    r = parser(data, size, song, info);
    if (r != Parse::NotMine) break;
  }
  if (r != Parse::Ok) return r;
  Walk(song, stopBack, info);
  if (info.rowStart.empty()) return Parse::Bad;  // nothing to play
  return Parse::Ok;
}

Parse ParseFlac(const uint8_t* head, size_t size, FlacInfo& info) {
  info = FlacInfo();
  Cursor c(head, size);
  // An ID3v2 tag may stand before the stream marker.
  if (size >= 10 && std::memcmp(head, "ID3", 3) == 0) {
    uint32_t body = ((head[6] & 0x7Fu) << 21) | ((head[7] & 0x7Fu) << 14) | ((head[8] & 0x7Fu) << 7) | (head[9] & 0x7Fu);
    c.Seek(10 + static_cast<size_t>(body));
    if (!c.ok()) return Parse::NotMine;
  }
  if (c.left() < 4 || std::memcmp(head + c.pos(), "fLaC", 4) != 0) return Parse::NotMine;
  c.Skip(4);
  bool haveInfo = false;
  for (uint32_t n = 0; n < kMaxChunks && c.left() >= 4; ++n) {
    // Block header: last-block flag and type, then a 24-bit big-endian length.
    uint8_t type = c.U8();
    size_t len = static_cast<size_t>(c.U8()) << 16;
    len |= static_cast<size_t>(c.U8()) << 8;
    len |= c.U8();
    if (len > c.left()) break;  // the rest of the metadata lies beyond the bytes given
    const uint8_t* b = head + c.pos();
    if ((type & 0x7F) == 0) {
      // STREAMINFO (34 bytes): rate 20 bits, channels-1 3 bits, bits-1 5 bits, samples 36 bits from byte 10.
      if (len != 34 || n != 0) return Parse::Bad;
      info.freq = (static_cast<uint32_t>(b[10]) << 12) | (static_cast<uint32_t>(b[11]) << 4) | (b[12] >> 4);
      info.chans = static_cast<uint16_t>(((b[12] >> 1) & 7) + 1);
      info.bits = static_cast<uint16_t>((((b[12] & 1) << 4) | (b[13] >> 4)) + 1);
      info.samples = (static_cast<uint64_t>(b[13] & 0x0F) << 32) | Ld32be(b + 14);
      haveInfo = true;
    } else if ((type & 0x7F) == 4 && info.comments.empty()) {
      // Vorbis comments, little-endian: vendor length and text, count, then length + "KEY=value".
      Cursor v(b, len);
      uint32_t vendor = v.U32le();
      v.Skip(vendor);
      uint32_t count = v.U32le();
      for (uint32_t i = 0; i < count && i < 1024 && v.ok(); ++i) {
        uint32_t l = v.U32le();
        if (!v.ok() || l > v.left()) break;
        std::string item(reinterpret_cast<const char*>(b + v.pos()), l);
        v.Skip(l);
        if (item.find('\0') == std::string::npos && item.find('=') != std::string::npos) info.comments += item + '\0';
      }
      if (!info.comments.empty()) info.comments += '\0';
    } else if (n == 0) {
      return Parse::Bad;  // STREAMINFO must come first
    }
    c.Skip(len);
    if (type & 0x80) break;
  }
  if (!haveInfo) return Parse::Bad;
  if (info.freq < 1 || info.freq > 655350 || info.samples == 0) return Parse::Bad;  // unknown length not read
  if (info.chans > kMaxChannels) return Parse::Bad;
  return Parse::Ok;
}

}  // namespace bass
