#include "standins/bass/testaudio/testaudio.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace testaudio {
namespace {

void Put8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
void Put16le(Bytes& b, uint32_t v) { Put8(b, v); Put8(b, v >> 8); }
void Put32le(Bytes& b, uint32_t v) { Put16le(b, v); Put16le(b, v >> 16); }
void Put16be(Bytes& b, uint32_t v) { Put8(b, v >> 8); Put8(b, v); }
void Put32be(Bytes& b, uint32_t v) { Put16be(b, v >> 16); Put16be(b, v); }
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void PutFixed(Bytes& b, const std::string& s, size_t n) {
  for (size_t i = 0; i < n; ++i) Put8(b, i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
void Set16le(Bytes& b, size_t at, uint32_t v) { b[at] = static_cast<uint8_t>(v); b[at + 1] = static_cast<uint8_t>(v >> 8); }
void Set32le(Bytes& b, size_t at, uint32_t v) { Set16le(b, at, v); Set16le(b, at + 2, v >> 16); }

// A chunk: id, little- or big-endian size, body, pad byte to an even size.
void Chunk(Bytes& out, const char* id, const Bytes& body, bool bigEndian) {
  PutText(out, id);
  if (bigEndian) Put32be(out, static_cast<uint32_t>(body.size()));
  else Put32le(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) Put8(out, 0);
}

int BytesPerSample(Encoding e) {
  switch (e) {
    case Encoding::Pcm8: return 1;
    case Encoding::Pcm16: return 2;
    case Encoding::Pcm24: return 3;
    case Encoding::Float32: return 4;
  }
  return 2;
}

// One sample of magnitude m (0..1) with the given sign, in the encoding and byte order asked.
void PutSample(Bytes& b, Encoding e, double m, bool negative, bool bigEndian, bool aiff) {
  double v = negative ? -m : m;
  switch (e) {
    case Encoding::Pcm8: {
      long s = std::lround(v * 128.0);
      if (s > 127) s = 127;
      if (s < -128) s = -128;
      // WAV stores 8-bit samples unsigned, AIFF signed.
      Put8(b, static_cast<uint32_t>(aiff ? s : s + 128) & 0xFF);
      break;
    }
    case Encoding::Pcm16: {
      long s = std::lround(v * 32768.0);
      if (s > 32767) s = 32767;
      if (s < -32768) s = -32768;
      if (bigEndian) Put16be(b, static_cast<uint32_t>(s)); else Put16le(b, static_cast<uint32_t>(s));
      break;
    }
    case Encoding::Pcm24: {
      long s = std::lround(v * 8388608.0);
      if (s > 8388607) s = 8388607;
      if (s < -8388608) s = -8388608;
      uint32_t u = static_cast<uint32_t>(s);
      if (bigEndian) { Put8(b, u >> 16); Put8(b, u >> 8); Put8(b, u); }
      else { Put8(b, u); Put8(b, u >> 8); Put8(b, u >> 16); }
      break;
    }
    case Encoding::Float32: {
      float f = static_cast<float>(v);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      Put32le(b, u);
      break;
    }
  }
}

Bytes Samples(const WaveShape& s, bool bigEndian, bool aiff) {
  Bytes d;
  uint32_t period = s.period < 2 ? 2 : s.period;
  d.reserve(static_cast<size_t>(s.frames) * s.channels * static_cast<size_t>(BytesPerSample(s.encoding)));
  for (uint64_t f = 0; f < s.frames; ++f) {
    bool neg = (f % period) >= period / 2;
    for (uint16_t c = 0; c < s.channels; ++c)
      PutSample(d, s.encoding, c == 0 ? s.left : s.right, neg, bigEndian, aiff);
  }
  return d;
}

void Syncsafe(Bytes& b, uint32_t v) {
  Put8(b, (v >> 21) & 0x7F); Put8(b, (v >> 14) & 0x7F); Put8(b, (v >> 7) & 0x7F); Put8(b, v & 0x7F);
}

// UTF-8 to UTF-16LE (BMP and surrogate pairs) for ID3v2.3 frames.
void PutUtf16(Bytes& b, const std::string& s) {
  Put8(b, 0xFF); Put8(b, 0xFE);
  for (size_t i = 0; i < s.size();) {
    uint32_t c = static_cast<uint8_t>(s[i]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (n == 2) c &= 0x1F; else if (n == 3) c &= 0x0F; else if (n == 4) c &= 0x07;
    for (size_t k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      Put16le(b, 0xD800 + (c >> 10));
      Put16le(b, 0xDC00 + (c & 0x3FF));
    } else {
      Put16le(b, c);
    }
  }
  Put16le(b, 0);
}

}  // namespace

Bytes Id3v1(const Tags& t) {
  Bytes b;
  PutText(b, "TAG");
  PutFixed(b, t.title, 30);
  PutFixed(b, t.artist, 30);
  PutFixed(b, t.album, 30);
  PutFixed(b, "2024", 4);
  PutFixed(b, "", 30);
  Put8(b, 255);
  return b;
}

Bytes Id3v2(const Tags& t, bool utf16v23) {
  Bytes frames;
  auto frame = [&](const char* id, const std::string& text) {
    if (text.empty()) return;
    Bytes body;
    if (utf16v23) { Put8(body, 1); PutUtf16(body, text); }
    else { Put8(body, 3); PutText(body, text); }
    PutText(frames, id);
    if (utf16v23) Put32be(frames, static_cast<uint32_t>(body.size()));
    else Syncsafe(frames, static_cast<uint32_t>(body.size()));
    Put16be(frames, 0);
    frames.insert(frames.end(), body.begin(), body.end());
  };
  frame("TPE1", t.artist);
  frame("TIT2", t.title);
  frame("TALB", t.album);
  Bytes b;
  PutText(b, "ID3");
  Put8(b, utf16v23 ? 3 : 4);
  Put8(b, 0);
  Put8(b, 0);
  Syncsafe(b, static_cast<uint32_t>(frames.size() + 10));  // ten bytes of padding
  b.insert(b.end(), frames.begin(), frames.end());
  b.insert(b.end(), 10, 0);
  return b;
}

Bytes Wave(const WaveShape& s) {
  Bytes body;
  PutText(body, "WAVE");
  Bytes fmt;
  int bps = BytesPerSample(s.encoding);
  bool isFloat = s.encoding == Encoding::Float32;
  Put16le(fmt, isFloat ? 3 : 1);
  Put16le(fmt, s.channels);
  Put32le(fmt, s.rate);
  Put32le(fmt, s.rate * s.channels * static_cast<uint32_t>(bps));
  Put16le(fmt, s.channels * static_cast<uint32_t>(bps));
  Put16le(fmt, static_cast<uint32_t>(bps * 8));
  if (isFloat) Put16le(fmt, 0);  // cbSize of the extended format record
  Chunk(body, "fmt ", fmt, false);
  if (s.tagStyle == TagStyle::RiffInfo) {
    Bytes info;
    PutText(info, "INFO");
    auto item = [&](const char* id, const std::string& text) {
      if (text.empty()) return;
      Bytes z(text.begin(), text.end());
      z.push_back(0);
      Chunk(info, id, z, false);
    };
    item("IART", s.tags.artist);
    item("INAM", s.tags.title);
    item("IPRD", s.tags.album);
    Chunk(body, "LIST", info, false);
  }
  Chunk(body, "data", Samples(s, false, false), false);
  if (s.tagStyle == TagStyle::Id3v2Chunk || s.tagStyle == TagStyle::Id3v2Utf16)
    Chunk(body, "id3 ", Id3v2(s.tags, s.tagStyle == TagStyle::Id3v2Utf16), false);
  Bytes out;
  PutText(out, "RIFF");
  Put32le(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (s.tagStyle == TagStyle::Id3v1) {
    Bytes tag = Id3v1(s.tags);
    out.insert(out.end(), tag.begin(), tag.end());
  }
  return out;
}

Bytes Aiff(const WaveShape& s) {
  Bytes body;
  PutText(body, "AIFF");
  Bytes comm;
  Put16be(comm, s.channels);
  Put32be(comm, static_cast<uint32_t>(s.frames));
  Put16be(comm, static_cast<uint32_t>(BytesPerSample(s.encoding) * 8));
  // Sample rate as an 80-bit extended float: exponent, then a 64-bit mantissa with explicit 1.
  uint32_t rate = s.rate ? s.rate : 1;
  int exp = 0;
  while ((rate >> exp) > 1) ++exp;
  uint64_t mant = static_cast<uint64_t>(rate) << (63 - exp);
  Put16be(comm, static_cast<uint32_t>(16383 + exp));
  Put32be(comm, static_cast<uint32_t>(mant >> 32));
  Put32be(comm, static_cast<uint32_t>(mant));
  Chunk(body, "COMM", comm, true);
  Bytes ssnd;
  Put32be(ssnd, 0);
  Put32be(ssnd, 0);
  Bytes pcm = Samples(s, true, true);
  ssnd.insert(ssnd.end(), pcm.begin(), pcm.end());
  Chunk(body, "SSND", ssnd, true);
  if (s.tagStyle == TagStyle::Id3v2Chunk || s.tagStyle == TagStyle::Id3v2Utf16)
    Chunk(body, "ID3 ", Id3v2(s.tags, s.tagStyle == TagStyle::Id3v2Utf16), true);
  Bytes out;
  PutText(out, "FORM");
  Put32be(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

namespace {

struct Cell {
  bool note = false;
  uint8_t fx = 0;  // format's own effect number, 0 = none
  uint8_t param = 0;
};

// Format-neutral effect -> (effect number, parameter) of each format.
void Code(Tracker t, const Command& c, uint8_t& fx, uint8_t& param) {
  bool tracker_letters = t == Tracker::S3m || t == Tracker::It;  // A=1, B=2, C=3, T=20
  uint8_t value = c.value;
  switch (c.effect) {
    case Effect::Speed: fx = tracker_letters ? 1 : 0x0F; param = value; break;
    case Effect::Tempo: fx = tracker_letters ? 20 : 0x0F; param = value; break;
    case Effect::PositionJump: fx = tracker_letters ? 2 : 0x0B; param = value; break;
    case Effect::PatternBreak:
      fx = tracker_letters ? 3 : 0x0D;
      // MOD, XM and S3M store the row as two decimal digits; IT stores it as a plain number.
      param = t == Tracker::It ? value : static_cast<uint8_t>(((value / 10) << 4) | (value % 10));
      break;
  }
}

std::vector<std::vector<Cell>> Grid(const ModuleShape& s, uint8_t pattern, uint16_t rows) {
  std::vector<std::vector<Cell>> g(rows, std::vector<Cell>(4));
  g[0][0].note = true;
  for (const Command& c : s.commands) {
    if (c.pattern != pattern || c.row >= rows || c.channel >= 4) continue;
    Code(s.tracker, c, g[c.row][c.channel].fx, g[c.row][c.channel].param);
  }
  return g;
}

// An 8-bit square wave sample, 256 bytes.
Bytes SampleData() {
  Bytes d;
  for (int i = 0; i < 256; ++i) d.push_back(static_cast<uint8_t>((i & 16) ? 0x60 : 0xA0));
  return d;
}

Bytes Mod(const ModuleShape& s) {
  Bytes b;
  PutFixed(b, s.title, 20);
  Bytes smp = SampleData();
  for (int i = 0; i < 31; ++i) {
    PutFixed(b, i == 0 ? "square" : "", 22);
    Put16be(b, i == 0 ? static_cast<uint32_t>(smp.size() / 2) : 0);  // length in words
    Put8(b, 0);
    Put8(b, i == 0 ? 64 : 0);
    Put16be(b, 0);
    Put16be(b, i == 0 ? static_cast<uint32_t>(smp.size() / 2) : 1);  // loop the whole sample
  }
  Put8(b, static_cast<uint32_t>(s.orders.size()));
  Put8(b, 127);
  for (size_t i = 0; i < 128; ++i) Put8(b, i < s.orders.size() ? s.orders[i] : 0);
  PutText(b, "M.K.");
  for (uint8_t p = 0; p < s.patterns; ++p) {
    auto g = Grid(s, p, 64);
    for (const auto& row : g)
      for (const Cell& c : row) {
        uint32_t period = c.note ? 428 : 0;  // C-2
        uint32_t sample = c.note ? 1 : 0;
        Put8(b, (sample & 0xF0) | (period >> 8));
        Put8(b, period & 0xFF);
        Put8(b, ((sample & 0x0F) << 4) | (c.fx & 0x0F));
        Put8(b, c.param);
      }
  }
  b.insert(b.end(), smp.begin(), smp.end());
  return b;
}

Bytes S3m(const ModuleShape& s) {
  // Layout: header (96) + orders + 1 instrument pointer + pattern pointers, padded to 16; then
  // the instrument (80 bytes), its sample, and the patterns, each on a 16-byte boundary.
  Bytes b;
  PutFixed(b, s.title, 28);
  Put8(b, 0x1A);
  Put8(b, 16);
  Put16le(b, 0);
  Put16le(b, static_cast<uint32_t>(s.orders.size()));
  Put16le(b, 1);
  Put16le(b, s.patterns);
  Put16le(b, 0);
  Put16le(b, 0x1320);
  Put16le(b, 2);
  PutText(b, "SCRM");
  Put8(b, 64);
  Put8(b, s.speed);
  Put8(b, s.tempo);
  Put8(b, 0xB0);
  Put8(b, 0);
  Put8(b, 0);
  b.insert(b.end(), 8, 0);
  Put16le(b, 0);
  for (int c = 0; c < 32; ++c) Put8(b, c < 4 ? static_cast<uint32_t>(c) : 255);
  for (uint8_t o : s.orders) Put8(b, o);
  size_t insPtr = b.size();
  Put16le(b, 0);
  size_t patPtr = b.size();
  for (uint8_t p = 0; p < s.patterns; ++p) Put16le(b, 0);
  auto align = [&] { while (b.size() % 16) Put8(b, 0); };
  align();
  Set16le(b, insPtr, static_cast<uint32_t>(b.size() / 16));
  size_t ins = b.size();
  Bytes smp = SampleData();
  Put8(b, 1);
  PutFixed(b, "square", 12);
  Put8(b, 0); Put16le(b, 0);  // sample pointer, patched below
  Put32le(b, static_cast<uint32_t>(smp.size()));
  Put32le(b, 0);
  Put32le(b, static_cast<uint32_t>(smp.size()));
  Put8(b, 64); Put8(b, 0); Put8(b, 0); Put8(b, 1);
  Put32le(b, 8363);
  b.insert(b.end(), 12, 0);
  PutFixed(b, "square", 28);
  PutText(b, "SCRS");
  align();
  Set16le(b, ins + 14, static_cast<uint32_t>(b.size() / 16));
  // S3M samples are unsigned.
  for (uint8_t v : smp) Put8(b, static_cast<uint8_t>(v ^ 0x80));
  for (uint8_t p = 0; p < s.patterns; ++p) {
    align();
    Set16le(b, patPtr + 2u * p, static_cast<uint32_t>(b.size() / 16));
    size_t start = b.size();
    Put16le(b, 0);
    auto g = Grid(s, p, 64);
    for (const auto& row : g) {
      for (uint8_t c = 0; c < 4; ++c) {
        const Cell& cell = row[c];
        uint8_t what = c;
        if (cell.note) what |= 32;
        if (cell.fx) what |= 128;
        if (what == c) continue;
        Put8(b, what);
        if (cell.note) { Put8(b, 0x40); Put8(b, 1); }
        if (cell.fx) { Put8(b, cell.fx); Put8(b, cell.param); }
      }
      Put8(b, 0);
    }
    Set16le(b, start, static_cast<uint32_t>(b.size() - start));
  }
  return b;
}

Bytes Xm(const ModuleShape& s) {
  Bytes b;
  PutText(b, "Extended Module: ");
  PutFixed(b, s.title, 20);
  Put8(b, 0x1A);
  PutFixed(b, "testaudio", 20);
  Put16le(b, 0x0104);
  Put32le(b, 276);
  Put16le(b, static_cast<uint32_t>(s.orders.size()));
  Put16le(b, 0);
  Put16le(b, 4);
  Put16le(b, s.patterns);
  Put16le(b, 0);  // no instruments: the walk needs none
  Put16le(b, 1);
  Put16le(b, s.speed);
  Put16le(b, s.tempo);
  for (size_t i = 0; i < 256; ++i) Put8(b, i < s.orders.size() ? s.orders[i] : 0);
  for (uint8_t p = 0; p < s.patterns; ++p) {
    Put32le(b, 9);
    Put8(b, 0);
    Put16le(b, s.rows);
    size_t sizeAt = b.size();
    Put16le(b, 0);
    size_t start = b.size();
    auto g = Grid(s, p, s.rows);
    for (const auto& row : g)
      for (const Cell& c : row) {
        uint8_t flags = 0x80;
        if (c.note) flags |= 1 | 2;
        if (c.fx || c.param) flags |= 8 | 16;
        Put8(b, flags);
        if (c.note) { Put8(b, 49); Put8(b, 1); }
        if (flags & 8) { Put8(b, c.fx); Put8(b, c.param); }
      }
    Set16le(b, sizeAt, static_cast<uint32_t>(b.size() - start));
  }
  return b;
}

Bytes It(const ModuleShape& s) {
  Bytes b;
  PutText(b, "IMPM");
  PutFixed(b, s.title, 26);
  Put16le(b, 0x1004);
  Put16le(b, static_cast<uint32_t>(s.orders.size() + 1));  // the orders and the end marker
  Put16le(b, 0);
  Put16le(b, 0);
  Put16le(b, s.patterns);
  Put16le(b, 0x0214);
  Put16le(b, 0x0200);
  Put16le(b, 9);
  Put16le(b, 0);
  Put8(b, 128);
  Put8(b, 48);
  Put8(b, s.speed);
  Put8(b, s.tempo);
  Put8(b, 128);
  Put8(b, 0);
  Put16le(b, 0);
  Put32le(b, 0);
  Put32le(b, 0);
  for (int c = 0; c < 64; ++c) Put8(b, 32);
  for (int c = 0; c < 64; ++c) Put8(b, 64);
  for (uint8_t o : s.orders) Put8(b, o);
  Put8(b, 255);
  size_t patPtr = b.size();
  for (uint8_t p = 0; p < s.patterns; ++p) Put32le(b, 0);
  for (uint8_t p = 0; p < s.patterns; ++p) {
    Set32le(b, patPtr + 4u * p, static_cast<uint32_t>(b.size()));
    size_t lenAt = b.size();
    Put16le(b, 0);
    Put16le(b, s.rows);
    Put32le(b, 0);
    size_t start = b.size();
    auto g = Grid(s, p, s.rows);
    for (const auto& row : g) {
      for (uint8_t c = 0; c < 4; ++c) {
        const Cell& cell = row[c];
        uint8_t mask = 0;
        if (cell.note) mask |= 1;
        if (cell.fx) mask |= 8;
        if (!mask) continue;
        Put8(b, static_cast<uint32_t>(c + 1) | 0x80);
        Put8(b, mask);
        if (cell.note) Put8(b, 60);
        if (cell.fx) { Put8(b, cell.fx); Put8(b, cell.param); }
      }
      Put8(b, 0);
    }
    Set16le(b, lenAt, static_cast<uint32_t>(b.size() - start));
  }
  return b;
}

}  // namespace

Bytes Module(const ModuleShape& s) {
  switch (s.tracker) {
    case Tracker::Mod: return Mod(s);
    case Tracker::S3m: return S3m(s);
    case Tracker::Xm: return Xm(s);
    case Tracker::It: return It(s);
  }
  return {};
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace testaudio
