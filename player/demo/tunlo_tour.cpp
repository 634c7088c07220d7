// tunlo_tour.exe: Tunlo in the host stand-in, playing a small folder of audio and tracker files
// through the audio library (the stand-in beside this program), with the PlayerDialog drawn the
// way the console shows it while the track plays.
//
// Usage: tunlo_tour PATH-TO-Tunlo.dll FOLDER
// The folder is filled with the tour's own files first.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standins/bass/testaudio/testaudio.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

void Print(const std::wstring& line) {
  std::string s = Utf8(line);
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The dialog as the console draws it: the double frame with its title, then every visible item
// at its place (texts and buttons as they are, buttons without brackets).
void Draw(DialogView& v, const std::wstring& caption) {
  const DialogItemState& frame = v.Item(0);
  int w = frame.x2 - frame.x1 + 1, h = frame.y2 - frame.y1 + 1;
  std::vector<std::wstring> rows(static_cast<size_t>(h), std::wstring(static_cast<size_t>(w), L' '));
  for (int x = 1; x < w - 1; ++x) rows[0][static_cast<size_t>(x)] = rows[static_cast<size_t>(h - 1)][static_cast<size_t>(x)] = L'\u2550';
  for (int y = 1; y < h - 1; ++y) rows[static_cast<size_t>(y)][0] = rows[static_cast<size_t>(y)][static_cast<size_t>(w - 1)] = L'\u2551';
  rows[0][0] = L'\u2554';
  rows[0][static_cast<size_t>(w - 1)] = L'\u2557';
  rows[static_cast<size_t>(h - 1)][0] = L'\u255A';
  rows[static_cast<size_t>(h - 1)][static_cast<size_t>(w - 1)] = L'\u255D';
  std::wstring title = L" " + frame.text + L" ";
  size_t at = title.size() < static_cast<size_t>(w) ? (static_cast<size_t>(w) - title.size()) / 2 : 0;
  rows[0].replace(at, std::min(title.size(), static_cast<size_t>(w)), title.substr(0, static_cast<size_t>(w)));
  for (int i = 1; i < v.ItemCount(); ++i) {
    const DialogItemState& it = v.Item(i);
    if (!it.visible || it.y1 < 0 || it.y1 >= h) continue;
    std::wstring text = it.text;
    for (auto& c : text)
      if (c == 0x1A) c = L'\u2192';
      else if (c == 0x1B) c = L'\u2190';
    auto& row = rows[static_cast<size_t>(it.y1)];
    for (size_t k = 0; k < text.size() && it.x1 + static_cast<int>(k) < w; ++k) row[static_cast<size_t>(it.x1) + k] = text[k];
  }
  Print(L"");
  Print(L"  " + caption);
  for (auto& r : rows) Print(L"  " + r);
}

void Write(const std::wstring& folder, const char* name, const testaudio::Bytes& bytes) {
  testaudio::WriteFile(Utf8(folder) + "\\" + name, bytes);
}

void FillFolder(const std::wstring& folder) {
  testaudio::WaveShape song;
  song.rate = 22050;
  song.frames = 22050 * 95;  // 1:35
  song.left = 0.7;
  song.right = 0.35;
  song.tags = {"Kestrel Lane", "Morning over the Harbour", "Tides"};
  song.tagStyle = testaudio::TagStyle::RiffInfo;
  Write(folder, "01 harbour.wav", testaudio::Wave(song));
  testaudio::WaveShape chime = song;
  chime.frames = 22050 * 12;
  chime.tags = {"Kestrel Lane", "Chime", ""};
  chime.tagStyle = testaudio::TagStyle::Id3v2Chunk;
  Write(folder, "02 chime.aiff", testaudio::Aiff(chime));
  testaudio::ModuleShape mod;
  mod.tracker = testaudio::Tracker::Xm;
  mod.title = "tracker tune";
  mod.orders = {0, 1, 0};
  mod.patterns = 2;
  Write(folder, "03 tune.xm", testaudio::Module(mod));
  std::string text = "liner notes\n";
  Write(folder, "04 notes.txt", testaudio::Bytes(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tunlo_tour PATH-TO-Tunlo.dll FOLDER\n");
    return 2;
  }
  std::wstring folder = Wide(argv[2]);
  FillFolder(folder);
  Host host;
  host.onFailure = [](const std::wstring& what) { Print(L"!! " + what); };
  Plugin* plugin = host.Load(Wide(argv[1]));
  if (!plugin) return 1;
  host.ActivePanel().SetFolder(folder);
  Print(L"The panel:");
  for (auto& it : host.ActivePanel().Items()) Print(L"    " + it.name);

  Print(L"");
  Print(L"Tunlo from the plugins menu on \"01 harbour.wav\": the dialog opens and the track plays.");
  // A pause of `ms` while the dialog runs: the clock starts when the step is reached.
  auto wait = [](int ms) {
    auto start = std::make_shared<std::optional<DWORD>>();
    return [start, ms](DialogView&) {
      if (!*start) *start = GetTickCount();
      return GetTickCount() - **start >= static_cast<DWORD>(ms);
    };
  };
  auto draw = [](const wchar_t* caption) { return [caption](DialogView& v) { Draw(v, caption); }; };
  host.AnswerDialog(DialogScript()
                        .WaitUntil(wait(1200), 3000)
                        .Check(draw(L"After a second of playing: time, position, level meter, information line:"))
                        .Key(KEY_RIGHT).Key(KEY_RIGHT).Key(KEY_RIGHT).Key(KEY_RIGHT).Key(KEY_RIGHT)
                        .Key(KEY_UP).Key(KEY_UP).Key(KEY_SHIFT | KEY_MSWHEEL_UP)
                        .WaitUntil(wait(700), 3000)
                        .Check(draw(L"Right five times (seek), Up twice (volume), Shift+wheel up (balance):"))
                        .Key(L't')
                        .Key(L' ')
                        .WaitUntil(wait(300), 3000)
                        .Check(draw(L"T (remaining time) and Space (pause):"))
                        .Key(L'c')
                        .WaitUntil(wait(800), 3000)
                        .Check(draw(L"C: the next file, an AIFF with an ID3 title, playing:"))
                        .Key(L'c')
                        .WaitUntil(wait(800), 3000)
                        .Check(draw(L"C again: the tracker module:"))
                        .Key(L'c')
                        .WaitUntil(wait(300), 3000)
                        .Check(draw(L"C once more: the text file is passed over; the end of the panel brings the module back, stopped:"))
                        .Key(KEY_ESC));
  host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 0);
  Print(L"");
  Print(L"Esc closed the player; its settings are in the registry (Volume is now 10 of 14).");
  return 0;
}
