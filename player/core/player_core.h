// Tunlo's portable core: what the player computes from the library's answers and from its own
// state, with no Win32 in sight. The shell feeds it numbers and puts its texts into the dialog.
//
// Every function here is pure and total: any number the audio library reports (a zero length,
// a zero, negative or not-a-number duration) gives a defined answer, never a division by zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tunlo {

// ---- Track information ------------------------------------------------------------------------

// The name of a channel type code as the library reports it ("MP3", "WAVE", ...; "N/A" unknown).
const char* FormatName(uint32_t ctype);

// Whole kilobits per second: truncate(fileSize * 8 / duration / 1000 + 0.5); 0 when the duration
// is not a positive finite number. Capped at 2^31 - 1.
int BitRateKbps(uint64_t fileSize, double durationSeconds);

// The track's information line, "%s, %d Hz, %d ch, %d kbps, %d:%02d.%03d", at most 100
// characters. A duration that is not a positive finite number shows as 0:00.000.
std::string InfoLine(const char* format, uint32_t frequency, uint32_t channels, uint64_t fileSize,
                     double durationSeconds);
constexpr size_t kInfoLineMax = 100;

// Fade time of a track in ms: 200 when it lasts longer than 5 seconds, else 0.
int FadeTimeMs(double durationSeconds);

// ---- Time display -----------------------------------------------------------------------------

// The time display (at most 13 characters): whole seconds as "%4d:%02u" (minutes, seconds), then
// ".%03u" milliseconds (showMs) or four spaces. With `remain` a "-" replaces the last space
// before the first digit. Negative or not-a-number seconds show as 0.
std::string TimeText(double seconds, bool remain, bool showMs);
constexpr size_t kTimeTextMax = 13;

// ---- Sliders and the level meter ----------------------------------------------------------------
// A slider of width W (its buffer length with the terminator) has W - 1 cells. A characters text
// shorter than a slider needs gives a space for each missing character.

// Position slider: place p (clamped to 1..W - 3). Cell 0 = c0, cells 1..p-1 = c1, cell p = c2,
// cells p+1..W-3 = c3, cell W-2 = c4.
std::u16string PositionSlider(double place, int width, const std::u16string& chars);

// Volume slider: place v (clamped to 0..W - 2); the level characters are all but the last.
std::u16string VolumeSlider(int place, int width, const std::u16string& chars);

// Balance slider: place b (clamped to 1..W - 3); c2, c3 or c4 marks left of, at or right of the
// centre W / 2 - 1.
std::u16string BalanceSlider(int place, int width, const std::u16string& chars);

// Level meter of W - 1 cells from the two levels (0..32768 each; larger values count as 32768).
std::u16string LevelMeter(uint32_t left, uint32_t right, int width);

// Position slider place for a byte position: position / length * (W - 3) + 1 (1 for a zero length).
double PositionPlace(uint64_t position, uint64_t length, int width);
// The seek target of a place: the percentage (place - 1) / (W - 3) * 100, within 0..100.
double PlacePercent(double place, int width);
// The byte position of a percentage: truncate(length / 100 * p).
uint64_t PercentToBytes(uint64_t length, double percent);

// Volume 0..1 of a volume slider place; balance -1..1 (steps of 0.2) of a balance place.
float VolumeOfPlace(int place, int width);
float BalanceOfPlace(int place, int width);

// ---- Title scrolling and blinking -------------------------------------------------------------

class TitleScroll {
 public:
  // A new title of `length` characters on a line `visible` characters wide.
  void Reset(size_t length, size_t visible);
  bool Scrolls() const { return length_ > visible_; }
  // One refresh tick: moves every fourth tick between the ends, waits 46 ticks at either end.
  void Tick();
  void SetEnabled(bool on);  // off: back to the start and still
  bool Enabled() const { return enabled_; }
  size_t Offset() const { return offset_; }
  // The visible part of `title`.
  std::u16string View(const std::u16string& title) const;

  static constexpr int kMoveEvery = 4;
  static constexpr int kEndWait = 46;

 private:
  size_t length_ = 0, visible_ = 0, offset_ = 0;
  int direction_ = -1;
  int ticks_ = 0;
  bool enabled_ = true;
};

// The paused time display's blink: each phase lasts 23 ticks (the first 22).
class Blink {
 public:
  void Tick();                     // a paused tick
  void Show() { visible_ = true; }  // playing or stopped
  bool Visible() const { return visible_; }

 private:
  int counter_ = 0, step_ = 1;
  bool visible_ = true;
};

// ---- Intro scan ---------------------------------------------------------------------------------

constexpr int kStartOffsets[6] = {0, 5, 10, 20, 30, 60};  // seconds
constexpr double kFragmentSeconds = 20.0;
int NextStartOffsetIndex(int index);  // 0..5, after the last back to 0

// The byte positions of the intro-scan notifications of a track of `length` bytes for a start
// offset and a fragment length in bytes: step = (length - start) / 3; notification i at
// fragment + i * step + start, none when step < fragment.
std::vector<uint64_t> IntroMarks(uint64_t length, uint64_t start, uint64_t fragment);
// Where notification i jumps: (i + 1) * (length / 3) - halfSecond, when that lies beyond the
// current position; otherwise no jump.
std::optional<uint64_t> IntroJump(int index, uint64_t length, uint64_t halfSecond, uint64_t position);

// ---- Names --------------------------------------------------------------------------------------

// The path without surrounding double quotes (and blanks outside them).
std::u16string Unquote(const std::u16string& path);
// The part after the last backslash.
std::u16string NameOfPath(const std::u16string& path);
// A panel item's full path: the folder, a backslash when missing, the name (a name that already
// holds a backslash is taken as it is).
std::u16string JoinPanelPath(const std::u16string& folder, const std::u16string& name);
// Fills "%s" of an external-player template with the path (every occurrence); "%%" stays "%".
std::u16string FillTemplate(const std::u16string& templ, const std::u16string& path);
// True for "X:..." and "\\..." paths, the ones opened straight from the file system.
bool IsAbsolutePath(const std::u16string& path);
// ASCII-only case-insensitive equality, plus the Latin-1 and Cyrillic letters; enough for names.
bool SameName(const std::u16string& a, const std::u16string& b);

// UTF-8 to UTF-16 (invalid sequences become U+FFFD); used for the tag title.
std::u16string FromUtf8(const std::string& text);

}  // namespace tunlo
