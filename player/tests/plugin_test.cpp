// Tunlo in the host stand-in, playing real files through the audio library's stand-in on a fast
// clock (KEL_BASS_CLOCK). What the user sees is read back from the dialog's items; what the
// player asked of the library is read from the library's call log (KEL_BASS_LOG).
//
// Usage: tunlo_plugin_test FOLDER-WITH-Tunlo.dll-AND-THE-LIBRARY-STAND-INS
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "player/core/player_core.h"
#include "standins/bass/testaudio/testaudio.h"
#include "standins/kelhost/kelhost.h"

namespace {

using namespace kelhost;

std::wstring g_dir;      // the test's folder: Tunlo.dll, its language file, bass.dll, tags.dll
std::wstring g_log;      // the library's call log
constexpr int kClock = 50;  // the library's clock runs this many times faster than real time

// Items of the PlayerDialog.
enum { IFrame = 0, ITime, IPos, IPrev, IPlay, INext, IStop, IIntro, IAuto, IVol, IBal, IInfo, ITitle, IEmpty,
       IMarker, IMeter, ISize, IExt };

const std::wstring kPlay = L" \u25BA ", kPause = L" \u2551 ";

std::string Narrow(const std::wstring& w) { return Utf8(w); }

// A throwaway folder with audio files written by the tests.
class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int count = 0;
    path_ = std::wstring(temp) + L"tunlo-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() { Remove(path_); }
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(dir + L"\\" + name);
        else DeleteFileW((dir + L"\\" + name).c_str());
      } while (FindNextFileW(find, &fd));
      FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
  }
  void Write(const std::wstring& name, const testaudio::Bytes& bytes) {
    ASSERT_TRUE(testaudio::WriteFile(Narrow(path_ + L"\\" + name), bytes));
  }
  void Text(const std::wstring& name, const std::string& text) {
    Write(name, testaudio::Bytes(text.begin(), text.end()));
  }
  void Dir(const std::wstring& name) { CreateDirectoryW((path_ + L"\\" + name).c_str(), nullptr); }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// A mono 8-bit WAV of `seconds` at `rate` with optional RIFF INFO tags.
testaudio::Bytes Wav(double seconds, uint32_t rate = 2000, testaudio::Tags tags = {}) {
  testaudio::WaveShape s;
  s.rate = rate;
  s.channels = 1;
  s.encoding = testaudio::Encoding::Pcm8;
  s.frames = static_cast<uint64_t>(seconds * rate + 0.5);
  s.left = s.right = 0.8;
  s.tags = tags;
  s.tagStyle = tags.title.empty() && tags.artist.empty() ? testaudio::TagStyle::None : testaudio::TagStyle::RiffInfo;
  return testaudio::Wave(s);
}

// Lines the library logged since the mark.
class BassLog {
 public:
  BassLog() { mark_ = Size(); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    std::ifstream in(Narrow(g_log), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(mark_));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode
      out.push_back(line);
    }
    return out;
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (auto& l : Lines())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }

 private:
  static size_t Size() {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExW(g_log.c_str(), GetFileExInfoStandard, &fa)) return 0;
    return fa.nFileSizeLow;
  }
  size_t mark_ = 0;
};

// The host with Tunlo loaded, its settings key, its panel on a folder.
class Player {
 public:
  Player() {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Narrow(what); };
    plugin = host.Load(g_dir + L"\\Tunlo.dll");
  }
  std::wstring Key() const { return host.RootKey() + L"\\Tunlo"; }
  void SetDword(const wchar_t* name, uint32_t value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(k);
  }
  void SetString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  }
  std::optional<uint32_t> Dword(const wchar_t* name) {
    DWORD v = 0, size = sizeof v;
    if (RegGetValueW(HKEY_CURRENT_USER, Key().c_str(), name, RRF_RT_REG_DWORD, nullptr, &v, &size)) return std::nullopt;
    return v;
  }
  std::wstring String(const wchar_t* name) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, Key().c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, buf, &size))
      return L"(none)";
    return buf;
  }
  void Panel(const Folder& f, const std::wstring& current) {
    host.ActivePanel().SetFolder(f.Path());
    SetCurrent(current);
  }
  void SetCurrent(const std::wstring& name) {
    auto& items = host.ActivePanel().Items();
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].name == name) host.ActivePanel().current = static_cast<int>(i);
  }
  std::wstring CurrentName() {
    auto& p = host.ActivePanel();
    return p.current >= 0 && p.current < static_cast<int>(p.Items().size()) ? p.Items()[static_cast<size_t>(p.current)].name
                                                                              : L"";
  }
  // Runs the player from the plugins menu with a dialog script.
  void Run(DialogScript script) {
    host.AnswerDialog(std::move(script));
    HANDLE h = host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  }
  Host host;
  Plugin* plugin = nullptr;
};

const std::wstring& Text(DialogView& v, int item) { return v.Item(item).text; }

// Waits until the dialog shows `text` in `item`.
std::function<bool(DialogView&)> Shows(int item, std::wstring text) {
  return [item, text](DialogView& v) { return v.Item(item).text == text; };
}

// A mouse click at column `c` of an item of a dialog placed at (3, 2).
void ClickAt(DialogView& v, int item, int c, bool right = false) {
  MOUSE_EVENT_RECORD m{};
  m.dwButtonState = right ? RIGHTMOST_BUTTON_PRESSED : FROM_LEFT_1ST_BUTTON_PRESSED;
  m.dwMousePosition.X = static_cast<SHORT>(3 + v.Item(item).x1 + c);
  m.dwMousePosition.Y = static_cast<SHORT>(2 + v.Item(item).y1);
  v.Send(DN_MOUSECLICK, item, &m);
}
void Key(DialogView& v, uint32_t key) { v.Send(DN_KEY, 0, reinterpret_cast<void*>(static_cast<intptr_t>(key))); }

// ---- Opening, information line, fades ------------------------------------------------------------

TEST(Tunlo, FourSecondsOf64000BytesShow128KbpsAndTheTagTitle) {
  Folder f;
  // Mono 8-bit at 15989 Hz: 63956 bytes of samples plus the 44-byte header, exactly 4 s.
  f.Write(L"four.wav", Wav(4.0, 15989));
  Player p;
  ASSERT_TRUE(p.plugin);
  p.Panel(f, L"four.wav");
  ASSERT_EQ(p.host.ActivePanel().Items()[0].size, 64000u);
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IInfo), L"WAVE, 15989 Hz, 1 ch, 128 kbps, 0:04.000");
              EXPECT_EQ(Text(v, IFrame), L"four.wav");
              EXPECT_EQ(Text(v, ITitle), L"four.wav");  // no tags: the file name
              EXPECT_EQ(Text(v, IPlay), kPause);         // playing at once
              EXPECT_EQ(Text(v, IPrev), L" < ");
              EXPECT_EQ(Text(v, IStop), L" \u25A0 ");
            })
            .Close(-1));
}

TEST(Tunlo, TrackOfFiveSecondsHasNoFadeAndOfFiveSecondsAndAMillisecondHasOne) {
  Folder f;
  f.Write(L"a five.wav", Wav(5.0, 8000));
  f.Write(L"b longer.wav", Wav(5.001, 8000));
  for (const wchar_t* name : {L"a five.wav", L"b longer.wav"}) {
    Player p;
    p.Panel(f, name);
    BassLog log;
    p.Run(DialogScript().WaitUntil(Shows(IPlay, kPause)).Key(L' ').Close(-1));
    auto slides = log.Starting("BASS_ChannelSlideAttribute");
    bool longer = std::wstring(name) == L"b longer.wav";
    if (longer) {
      // Faded in to the volume (place 8 of 14) over 200 ms, and out again on pausing.
      ASSERT_GE(slides.size(), 2u);
      EXPECT_NE(slides[0].find(" 2 0.571 200"), std::string::npos) << slides[0];
      EXPECT_NE(slides[1].find(" 2 0.000 200"), std::string::npos) << slides[1];
    } else {
      EXPECT_TRUE(slides.empty()) << slides.front();
    }
  }
}

TEST(Tunlo, KeysSwitchTracksWithoutFadeTheButtonsWithIt) {
  Folder f;
  f.Write(L"a.wav", Wav(600));
  f.Write(L"b.wav", Wav(600));
  Player p;
  p.Panel(f, L"a.wav");
  std::optional<BassLog> log;  // the calls since the mark
  p.Run(DialogScript()
            .Check([&](DialogView&) { log.emplace(); })
            .Key(L'c')  // next by key: neither a fade out nor a fade in
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"b.wav");
              EXPECT_TRUE(log->Starting("BASS_ChannelSlideAttribute").empty());
              log.emplace();
            })
            .Click(IPrev)  // previous by button: faded out, and in again
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"a.wav");
              auto lines = log->Starting("BASS_ChannelSlideAttribute");
              ASSERT_EQ(lines.size(), 2u);
              EXPECT_NE(lines[0].find(" 2 0.000 200"), std::string::npos);
              EXPECT_NE(lines[1].find(" 2 0.571 200"), std::string::npos);
            })
            .Close(-1));
}

TEST(Tunlo, RealWaveFilesOfADebianPackagePlay) {
  const std::wstring alsa = L"Z:\\usr\\share\\sounds\\alsa";
  if (GetFileAttributesW((alsa + L"\\Front_Center.wav").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "alsa-utils' sounds are not installed";
  Player p;
  p.host.ActivePanel().SetFolder(alsa);
  p.SetCurrent(L"Front_Center.wav");
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IInfo).rfind(L"WAVE, 48000 Hz, 1 ch, ", 0), 0u) << Narrow(Text(v, IInfo));
            })
            .Key(KEY_PGDN)
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IFrame), L"Front_Left.wav"); })
            .Close(-1));
}

TEST(Tunlo, LibraryStartFailuresAreReportedExceptAlreadyStarted) {
  struct Case {
    const wchar_t *var, *value, *code;
  };
  for (const Case& c : {Case{L"KEL_BASS_VERSION", L"0x02030000", L"43"}, Case{L"KEL_BASS_FAIL", L"BASS_Init=23", L"23"},
                        Case{L"KEL_BASS_FAIL", L"BASS_Init=14", nullptr}}) {
    SetEnvironmentVariableW(c.var, c.value);
    {
      Folder f;
      f.Write(L"a.wav", Wav(2));
      Host host;
      host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Narrow(what); };
      if (c.code) host.AnswerMessage(0);
      Plugin* p = host.Load(g_dir + L"\\Tunlo.dll");
      ASSERT_TRUE(p);
      host.ActivePanel().SetFolder(f.Path());
      if (c.code) {
        ASSERT_EQ(host.messages.size(), 1u) << Narrow(c.value);
        EXPECT_EQ(host.messages[0].lines.at(2), L"The audio library could not be started. Error code:");
        EXPECT_EQ(host.messages[0].lines.at(3), c.code);
        // The plugin stays loaded; opening a file then fails.
        host.AnswerMessage(0);
        host.OpenPlugin(p, OPEN_PLUGINSMENU, 0);
        ASSERT_EQ(host.messages.size(), 2u);
        EXPECT_EQ(host.messages[1].lines.at(2), L"The file cannot be played. Reason code:");
        EXPECT_TRUE(host.dialogs.empty());
      } else {
        EXPECT_TRUE(host.messages.empty());  // "already started" is no failure
      }
    }
    SetEnvironmentVariableW(c.var, nullptr);
  }
}

// A FLAC file as far as its headers go: "fLaC", then the STREAMINFO block (big-endian fields).
testaudio::Bytes FlacHeaders(uint32_t rate, uint32_t channels, uint32_t bits, uint64_t samples) {
  testaudio::Bytes b = {'f', 'L', 'a', 'C', 0x80, 0, 0, 34};  // last block, type 0, 34 bytes
  testaudio::Bytes info(34, 0);
  info[0] = 0x10;  // block sizes 4096
  info[2] = 0x10;
  info[10] = static_cast<uint8_t>(rate >> 12);
  info[11] = static_cast<uint8_t>(rate >> 4);
  info[12] = static_cast<uint8_t>(((rate & 0xF) << 4) | ((channels - 1) << 1) | ((bits - 1) >> 4));
  info[13] = static_cast<uint8_t>((((bits - 1) & 0xF) << 4) | ((samples >> 32) & 0xF));
  for (int i = 0; i < 4; ++i) info[static_cast<size_t>(14 + i)] = static_cast<uint8_t>(samples >> (24 - 8 * i));
  b.insert(b.end(), info.begin(), info.end());
  b.resize(b.size() + 4000, 0);  // stands for the audio frames
  return b;
}

TEST(Tunlo, AddOnsAndTrackerModulesPlayWithTheirFormatNames) {
  Folder f;
  f.Write(L"a.flac", FlacHeaders(44100, 2, 16, 44100 * 3));
  testaudio::ModuleShape xm;
  xm.tracker = testaudio::Tracker::Xm;
  f.Write(L"b.xm", testaudio::Module(xm));
  testaudio::ModuleShape s3m;
  s3m.tracker = testaudio::Tracker::S3m;
  f.Write(L"c.s3m", testaudio::Module(s3m));
  testaudio::WaveShape tagged;
  tagged.frames = 44100;
  tagged.tags = {"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F", ""};
  tagged.tagStyle = testaudio::TagStyle::Id3v2Utf16;
  f.Write(L"d.wav", testaudio::Wave(tagged));
  Player p;
  p.Panel(f, L"a.flac");
  p.Run(DialogScript()
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IInfo), L"FLAC, 44100 Hz, 2 ch, 11 kbps, 0:03.000"); })
            .Key(L'c')
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IInfo).rfind(L"FastTracker 2, ", 0), 0u) << Narrow(Text(v, IInfo));
              EXPECT_EQ(Text(v, ITitle), L" - test module");  // the template over the module's name
            })
            .Key(L'c')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IInfo).rfind(L"ScreamTracker 3, ", 0), 0u); })
            .Key(L'c')
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, ITitle), L"\u041A\u0438\u043D\u043E - \u041F\u0435\u0441\u043D\u044F");
            })
            .Close(-1));
}

TEST(Tunlo, MenuEntryPrefixAndTheCommandLine) {
  Folder f;
  f.Write(L"a.wav", Wav(600));
  f.Write(L"b.wav", Wav(600));
  Player p;
  PluginInfoW info{};
  ASSERT_TRUE(p.host.GetPluginInfo(p.plugin, &info));
  EXPECT_EQ(info.Flags, 0u);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_EQ(std::wstring(info.PluginMenuStrings[0]), L"Tunlo");
  EXPECT_EQ(info.PluginConfigStringsNumber, 0);
  EXPECT_EQ(std::wstring(info.CommandPrefix), L"tunlo");
  auto configure = reinterpret_cast<int(KEL_API*)(int)>(p.plugin->Entry("ConfigureW"));
  EXPECT_EQ(configure(0), 0);
  p.Panel(f, L"a.wav");
  // "tunlo b.wav": the panel's item of that name becomes current and plays.
  p.host.AnswerDialog(DialogScript().Check([](DialogView& v) { EXPECT_EQ(Text(v, IFrame), L"b.wav"); }).Close(-1));
  p.host.OpenPlugin(p.plugin, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(L"b.wav"));
  EXPECT_EQ(p.CurrentName(), L"b.wav");
  // A name the panel does not list: the dialog closes at once, without a message.
  p.host.OpenPlugin(p.plugin, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(L"\"Z:\\nowhere\\x.wav\""));
  EXPECT_EQ(p.host.dialogs.size(), 1u);
  EXPECT_TRUE(p.host.messages.empty());
  // An empty panel gives no item at all: code -1.
  Folder empty;
  p.host.ActivePanel().SetFolder(empty.Path());
  p.host.AnswerMessage(0);
  p.host.OpenPlugin(p.plugin, OPEN_PLUGINSMENU, 0);
  ASSERT_EQ(p.host.messages.size(), 1u);
  EXPECT_EQ(p.host.messages[0].lines.at(3), L"-1");
}

TEST(Tunlo, OpenFilePluginForAnOrdinaryFileDoesNothing) {
  Folder f;
  f.Write(L"song.wav", Wav(2));
  Player p;
  auto open = reinterpret_cast<HANDLE(KEL_API*)(const wchar_t*, const unsigned char*, int)>(p.plugin->Entry("OpenFilePluginW"));
  ASSERT_TRUE(open);
  unsigned char head[4] = {'R', 'I', 'F', 'F'};
  EXPECT_EQ(open((f / L"song.wav").c_str(), head, 4), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(p.host.dialogs.empty());
  EXPECT_TRUE(p.host.messages.empty());
}

TEST(Tunlo, ADirectoryOrAnUnplayableFileUnderTheCursorIsReported) {
  Folder f;
  f.Dir(L"sub");
  f.Text(L"notes.txt", "not audio");
  Player p;
  for (const wchar_t* name : {L"sub", L"notes.txt"}) {
    p.Panel(f, name);
    p.host.AnswerMessage(0);
    p.host.OpenPlugin(p.plugin, OPEN_PLUGINSMENU, 0);
    ASSERT_FALSE(p.host.messages.empty());
    auto& m = p.host.messages.back();
    ASSERT_EQ(m.lines.size(), 6u);
    EXPECT_EQ(m.lines[0], L"Tunlo");
    EXPECT_EQ(m.lines[2], L"The file cannot be played. Reason code:");
    EXPECT_EQ(m.lines[3], L"1");
    EXPECT_EQ(m.buttons, std::vector<std::wstring>{L"OK"});
  }
  EXPECT_TRUE(p.host.dialogs.empty());
}

// A host that claims a panel item of nearly 2 GiB: the plugin's allocation fails, the entry's
// guard reports it, and the host goes on.
namespace hostile {
std::vector<std::wstring> shown;
bool hugeItem = true;    // the next panel item claims nearly 2 GiB
std::wstring folder;     // where the one honest item, a.wav, lies
int KEL_API Message(intptr_t, uint32_t flags, const wchar_t*, const wchar_t* const* items, int count, int) {
  std::wstring text = (flags & FMSG_ALLINONE) ? reinterpret_cast<const wchar_t*>(items) : L"";
  for (int i = 0; !(flags & FMSG_ALLINONE) && i < count; ++i) text += std::wstring(items[i]) + L"\n";
  shown.push_back(text);
  return 0;
}
const wchar_t* KEL_API GetMsg(intptr_t, int) { return L"Tunlo"; }
int KEL_API PanelControl(HANDLE, int command, int param1, void* param2) {
  if (command == FCTL_GETPANELINFO) {
    auto* info = static_cast<PanelInfoW*>(param2);
    *info = PanelInfoW{};
    info->ItemsNumber = 1;
    info->Flags = PFLAGS_REALNAMES;
    return 1;
  }
  if (command == FCTL_GETPANELDIR) {
    if (param2 && param1 > static_cast<int>(folder.size())) wcscpy(static_cast<wchar_t*>(param2), folder.c_str());
    return static_cast<int>(folder.size() + 1);
  }
  if (command != FCTL_GETPANELITEM) return 0;
  if (hugeItem) return 0x7FFFFFF0;
  int need = static_cast<int>(sizeof(PluginPanelItemW) + 6 * sizeof(wchar_t));
  if (auto* item = static_cast<PluginPanelItemW*>(param2)) {
    *item = PluginPanelItemW{};
    auto* name = reinterpret_cast<wchar_t*>(item + 1);
    wcscpy(name, L"a.wav");
    item->FileName = name;
    item->FileSize = 2044;
  }
  return need;
}
intptr_t KEL_API AdvControl(intptr_t, int, int, void*) { return 0; }
intptr_t KEL_API SendDlgMessage(HANDLE, int, int, void*) { return 0; }
intptr_t KEL_API DefDlgProc(HANDLE, int, int, void*) { return 0; }
// The dialog opens, then the user presses Ins while the panel's answers turn huge.
int KEL_API Dialog(intptr_t, const GUID*, int, int, int, int, const wchar_t*, KelDialogItem*, int, uint32_t,
                   KelDialogProc proc, void* param) {
  HANDLE dlg = reinterpret_cast<HANDLE>(&shown);
  proc(dlg, DN_INITDIALOG, 0, param);
  hugeItem = true;
  proc(dlg, DN_KEY, 0, reinterpret_cast<void*>(static_cast<intptr_t>(KEY_INS)));
  proc(dlg, DN_CLOSE, -1, nullptr);
  return -1;
}
}  // namespace hostile

template <class F>
F Entry(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

TEST(Tunlo, AnExceptionInsideAnEntryIsReportedAndGoesNoFurther) {
  HMODULE dll = LoadLibraryW((g_dir + L"\\Tunlo.dll").c_str());
  ASSERT_TRUE(dll);
  HostStandardFunctions fsf{};
  fsf.StructSize = sizeof fsf;
  HostStartupInfo info{};
  info.StructSize = sizeof info;
  info.ModuleName = L"C:\\hostile\\Tunlo.dll";
  info.RootKey = L"Software\\KelHostStandIn\\hostile";
  info.HostMessage = hostile::Message;
  info.HostGetMsg = hostile::GetMsg;
  info.HostPanelControl = hostile::PanelControl;
  info.HostAdvControl = hostile::AdvControl;
  info.HostDialog = hostile::Dialog;
  info.HostSendDlgMessage = hostile::SendDlgMessage;
  info.HostDefDlgProc = hostile::DefDlgProc;
  info.FSF = &fsf;
  Entry<void(KEL_API*)(const HostStartupInfo*)>(dll, "SetStartupInfoW")(&info);
  auto open = Entry<HANDLE(KEL_API*)(int, intptr_t)>(dll, "OpenPluginW");
  EXPECT_EQ(open(OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(hostile::shown.size(), 1u);
  EXPECT_NE(hostile::shown[0].find(L"Unhandled exception in OpenPluginW"), std::wstring::npos) << Narrow(hostile::shown[0]);
  // Inside the dialog's procedure the same: reported, and the dialog goes on to its close.
  Folder f;
  f.Write(L"a.wav", Wav(1));
  hostile::folder = f.Path();
  hostile::hugeItem = false;
  EXPECT_EQ(open(OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(hostile::shown.size(), 2u);
  EXPECT_NE(hostile::shown[1].find(L"Unhandled exception in PlayerDialog"), std::wstring::npos) << Narrow(hostile::shown[1]);
  Entry<void(KEL_API*)()>(dll, "ExitKELW")();
  FreeLibrary(dll);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KelHostStandIn\\hostile");
}

// ---- Moving through the panel ---------------------------------------------------------------------

TEST(Tunlo, DirectoriesAndUnplayableFilesArePassedOver) {
  Folder f;
  f.Dir(L"sub");
  f.Write(L"a.wav", Wav(600));
  f.Text(L"b broken.wav", "RIFF garbage");
  f.Write(L"c.wav", Wav(600));
  Player p;
  p.Panel(f, L"a.wav");
  p.Run(DialogScript()
            .Key(KEY_PGDN)
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"c.wav");
              EXPECT_EQ(p.CurrentName(), L"c.wav");
              EXPECT_EQ(Text(v, IPlay), kPause);
            })
            .Key(L'z')  // previous: over the broken file back to a.wav
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IFrame), L"a.wav"); })
            // Previous again: the folder is passed over and the panel's start reached after two
            // tries, so the move goes back once the other way without playing.
            .Key(KEY_PGUP)
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"a.wav");
              EXPECT_EQ(p.CurrentName(), L"a.wav");
              EXPECT_EQ(Text(v, IPlay), kPlay);
            })
            .Close(-1));
}

TEST(Tunlo, AutonextAtTheEndOfThePanelGoesBackOnceWithoutPlaying) {
  Folder f;
  f.Write(L"a.wav", Wav(600));
  f.Write(L"b.wav", Wav(1));
  f.Text(L"c.txt", "not audio");
  Player p;
  p.SetDword(L"Autonext", 1);
  p.Panel(f, L"b.wav");
  BassLog log;
  p.Run(DialogScript()
            // b.wav ends within 20 ms; c.txt fails, the end is reached, back to b.wav, stopped.
            .WaitUntil([&](DialogView& v) { return Text(v, IPlay) == kPlay && p.CurrentName() == L"b.wav" &&
                                                   log.Starting("BASS_StreamCreateFile").size() >= 3; })
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"b.wav");
              EXPECT_EQ(p.CurrentName(), L"b.wav");
              // The first try of c.txt, then b.wav again: c.txt was asked once only.
              auto opens = log.Starting("BASS_StreamCreateFile");
              ASSERT_EQ(opens.size(), 3u);
              EXPECT_NE(opens[1].find("c.txt"), std::string::npos);
              EXPECT_NE(opens[2].find("b.wav"), std::string::npos);
            })
            .Close(-1));
  EXPECT_GE(p.host.redrawAll, 1);
}

TEST(Tunlo, AnotherPluginsPanelHandsTheNextFileBackThroughOpenFilePlugin) {
  Folder f;
  f.Write(L"a.wav", Wav(600));
  f.Write(L"b.wav", Wav(600));
  Player p;
  Plugin* archive = p.host.Load(g_dir + L"\\archive_panel.dll");
  ASSERT_TRUE(archive);
  ASSERT_TRUE(p.host.OpenPanel(archive, OPEN_PLUGINSMENU, 0));
  // The host extracted a.wav to the folder and ran the player on it from the command line.
  p.host.AnswerDialog(DialogScript()
                          .Check([&](DialogView& v) {
                            EXPECT_EQ(Text(v, IFrame), L"a.wav");
                            EXPECT_EQ(p.CurrentName(), L"a.wav");
                          })
                          .Key(KEY_PGDN));  // next: over the folder "docs" to b.wav, via the host
  std::wstring cmd = L"\"" + (f / L"a.wav") + L"\"";
  p.host.OpenPlugin(p.plugin, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(cmd.c_str()));
  ASSERT_EQ(p.host.dialogs.size(), 1u);
  EXPECT_EQ(p.CurrentName(), L"b.wav");
  ASSERT_EQ(p.host.postedKeys.size(), 1u);
  EXPECT_EQ(p.host.postedKeys[0], std::vector<uint32_t>{KEY_CTRL | KEY_PGDN});
  // The host extracts b.wav and offers it: the player opens again with it.
  auto open = reinterpret_cast<HANDLE(KEL_API*)(const wchar_t*, const unsigned char*, int)>(p.plugin->Entry("OpenFilePluginW"));
  p.host.AnswerDialog(DialogScript()
                          .Check([&](DialogView& v) {
                            EXPECT_EQ(Text(v, IFrame), L"b.wav");
                            EXPECT_EQ(Text(v, IPlay), kPause);
                          })
                          .Close(-1));
  EXPECT_EQ(open((f / L"b.wav").c_str(), nullptr, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(p.host.dialogs.size(), 2u);
  // Without the player's request the same call does nothing.
  EXPECT_EQ(open((f / L"b.wav").c_str(), nullptr, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(p.host.dialogs.size(), 2u);
}

// ---- Intro scan -----------------------------------------------------------------------------------

TEST(Tunlo, IntroScanPlaysFragmentsOfLongTracksAndFewerOfShortOnes) {
  Folder f;
  f.Write(L"long.wav", Wav(180, 1000));   // 1000 bytes a second
  f.Write(L"short.wav", Wav(59, 1000));
  Player p;
  p.SetDword(L"DemoMode", 1);
  p.Panel(f, L"long.wav");
  BassLog log;
  p.Run(DialogScript()
            .WaitUntil([&](DialogView&) { return log.Starting("BASS_ChannelSetPosition").size() >= 4; }, 15000)
            .Close(-1));
  // Three fragments: notifications 20 s, 80 s and 140 s in (1000 bytes a second), each
  // jumping to just before the next third.
  auto has = [&](const std::string& call, const std::string& tail) {
    for (auto& l : log.Starting(call))
      if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0) return true;
    return false;
  };
  std::string all;
  for (auto& l : log.Lines()) all += l + "\n";
  EXPECT_TRUE(has("BASS_ChannelSetSync", " 0 20000")) << all;
  EXPECT_TRUE(has("BASS_ChannelSetSync", " 0 80000"));
  EXPECT_TRUE(has("BASS_ChannelSetSync", " 0 140000"));
  EXPECT_TRUE(has("BASS_ChannelSetPosition", " 59500 0"));
  EXPECT_TRUE(has("BASS_ChannelSetPosition", " 119500 0"));
  EXPECT_TRUE(has("BASS_ChannelSetPosition", " 179500 0"));

  // 59 s: a third is shorter than a fragment, so no notification at all.
  p.SetCurrent(L"short.wav");
  BassLog shortLog;
  p.Run(DialogScript().WaitUntil(Shows(IPlay, kPause)).Close(-1));
  for (auto& l : shortLog.Starting("BASS_ChannelSetSync")) EXPECT_EQ(l.find(" 0 "), std::string::npos) << l;
}

// ---- Keys and clicks ------------------------------------------------------------------------------

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    f.Write(L"a.wav", Wav(600, 2000, {"Artist", "Title", "Album"}));
    f.Write(L"b.wav", Wav(600));
    p.SetDword(L"Dlgpos", 0x00020003);  // x 3, y 2
    p.Panel(f, L"a.wav");
  }
  Folder f;
  Player p;
};

TEST_F(Dialog, PlayPauseStopAndTheirLayoutTwins) {
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, ITitle), L"Artist - Title - Album");
              EXPECT_EQ(Text(v, IMarker), L" ");
            })
            .Key(L' ')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPlay); })
            .Key(L'x')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPause); })
            .Key(L'\x0447')  // the Cyrillic letter on the X key
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPlay); })
            .Key(KEY_NUMPAD0 + 5)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPause); })
            .Key(L'5')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPlay); })
            .Key(L'X')
            .WaitUntil([](DialogView& v) { return Text(v, IPos)[1] != L'|'; })  // the track moves on
            .Key(L'\x041C')  // the Cyrillic letter on the V key: stop
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IPlay), kPlay);
              EXPECT_EQ(Text(v, IPos), L"[|" + std::wstring(51, L'-') + L"]");  // back at 0 %
            })
            .Click(IPlay)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPause); })
            .Click(IStop)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IPlay), kPlay); })
            .Close(-1));
}

TEST_F(Dialog, TheTimeDisplayBlinksWhilePaused) {
  p.Run(DialogScript()
            .Key(L' ')
            .WaitUntil(Shows(ITime, std::wstring(11, L' ')), 3000)
            .WaitUntil([](DialogView& v) { return Text(v, ITime) != std::wstring(11, L' '); }, 3000)
            .WaitUntil(Shows(ITime, std::wstring(11, L' ')), 3000)
            .Key(L' ')
            .WaitUntil([](DialogView& v) { return Text(v, ITime) != std::wstring(11, L' '); }, 3000)
            .Close(-1));
}

TEST_F(Dialog, VolumeBalanceAndPositionSliders) {
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IVol), L".....::::______");   // place 8
              EXPECT_EQ(Text(v, IBal), L"L=====C=====R");    // centre
            })
            .Key(KEY_SHIFT | KEY_MSWHEEL_DOWN)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IBal), L"L====<======R"); })
            .Key(KEY_SHIFT | KEY_MSWHEEL_UP)
            .Key(KEY_SHIFT | KEY_MSWHEEL_UP)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IBal), L"L======>====R"); })
            .Key(KEY_UP)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IVol), L".....:::::_____"); })
            .Key(KEY_MSWHEEL_DOWN)
            .Key(KEY_DOWN)
            .Key(KEY_NUMPAD2)
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IVol), L".....::_______"
                                                                  L"_"); })
            .Check([](DialogView& v) {
              ClickAt(v, IVol, 0);
              EXPECT_EQ(Text(v, IVol), L".______________");  // volume 0
              ClickAt(v, IVol, 14);
              EXPECT_EQ(Text(v, IVol), L".....:::::|||||");
              ClickAt(v, IBal, 1);
              EXPECT_EQ(Text(v, IBal), L"L<==========R");
              ClickAt(v, IBal, 6);
              EXPECT_EQ(Text(v, IBal), L"L=====C=====R");
              Key(v, L'v');  // stopped: the slider stays where it is put
              ClickAt(v, IPos, 0);
              EXPECT_EQ(Text(v, IPos), L"[|" + std::wstring(51, L'-') + L"]");
              ClickAt(v, IPos, 27);
              EXPECT_EQ(Text(v, IPos), L"[" + std::wstring(26, L'=') + L"|" + std::wstring(25, L'-') + L"]");
              ClickAt(v, IPos, 200);
              EXPECT_EQ(Text(v, IPos), L"[" + std::wstring(51, L'=') + L"|]");
              Key(v, KEY_LEFT);
              EXPECT_EQ(Text(v, IPos), L"[" + std::wstring(50, L'=') + L"|-]");
            })
            .Close(-1));
  EXPECT_EQ(p.Dword(L"Volume"), 14u);
}

TEST_F(Dialog, FlagsByKeyAndClickAndTheirLayoutTwins) {
  p.Run(DialogScript()
            .Key(L'v')
            .Key(L't')  // remaining time of a 600 s track, stopped at the start
            .WaitUntil(Shows(ITime, L" -10:00.000"))
            .Key(KEY_CTRL | L'T')
            .WaitUntil(Shows(ITime, L" -10:00    "))
            .Key(L'\x0435')  // the Cyrillic letter on the T key
            .WaitUntil(Shows(ITime, L"   0:00    "))  // the position again
            .Key(KEY_CTRL | L'\x0415')
            .WaitUntil(Shows(ITime, L"   0:00.000"))
            .Check([](DialogView& v) {
              ClickAt(v, ITime, 0);
              ClickAt(v, ITime, 0, true);
            })
            .WaitUntil(Shows(ITime, L" -10:00    "))
            .Key(L'b')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IMeter), std::wstring(13, L' ')); })
            .Key(L'A')
            .Key(L'\x0444')  // and back on with its twin, then once more
            .Key(L'a')
            .Key(L'd')
            .Check([](DialogView& v) { ClickAt(v, IMeter, 3); })
            .Key(KEY_CTRL | L'd')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IIntro), L"  00  "); })
            .Key(KEY_CTRL | L'\x0432')
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IIntro), L"  05  "); })
            .Check([](DialogView& v) { ClickAt(v, IIntro, 1, true); })
            .Check([](DialogView& v) { EXPECT_EQ(Text(v, IIntro), L"  10  "); })
            .WaitUntil(Shows(IIntro, L" Intro "), 5000)
            .Click(IAuto)
            .Click(IIntro)
            .Close(-1));
  EXPECT_EQ(p.Dword(L"RemainTime"), 1u);
  EXPECT_EQ(p.Dword(L"Showms"), 0u);
  EXPECT_EQ(p.Dword(L"VolumeBars"), 1u);
  EXPECT_EQ(p.Dword(L"Autonext"), 0u);  // A, its twin, a, then the button: four flips
  EXPECT_EQ(p.Dword(L"DemoMode"), 0u);  // d, then the button
}

TEST_F(Dialog, RemainingTimeOf65SecondsPutsTheMinusBeforeTheOne) {
  f.Write(L"c.wav", Wav(65));
  p.Panel(f, L"c.wav");
  p.SetDword(L"RemainTime", 1);
  p.Run(DialogScript().Key(L'v').WaitUntil(Shows(ITime, L"  -1:05.000")).Close(-1));
}

TEST_F(Dialog, NextPreviousSelectionAndMaximise) {
  p.Run(DialogScript()
            .Key(L'c')
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, IFrame), L"b.wav");
              EXPECT_EQ(Text(v, ITitle), L"b.wav");
            })
            .Key(L'\x044F')  // the Cyrillic letter on the Z key: previous
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IFrame), L"a.wav"); })
            .Click(INext)
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IFrame), L"b.wav"); })
            .Click(IPrev)
            .Key(KEY_INS)
            .Check([&](DialogView&) { EXPECT_TRUE(p.host.ActivePanel().Items()[0].selected); })
            .Key(L'm')
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, ISize), L"[\x1A\x1B]");
              EXPECT_EQ(Text(v, IPos).size(), 64u);  // the console is 80 wide: slider 65
            })
            .Check([](DialogView& v) {
              COORD console{100, 30};  // the console grows: the maximised dialog follows it
              v.Send(DN_RESIZECONSOLE, 0, &console);
              EXPECT_EQ(Text(v, IPos).size(), 84u);
              ClickAt(v, ISize, 1);
            })
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, ISize), L"[\x1B\x1A]");
              EXPECT_EQ(Text(v, IPos).size(), 54u);
            })
            .Close(-1));
  EXPECT_EQ(p.CurrentName(), L"a.wav");
  EXPECT_EQ(p.Dword(L"Dlgpos"), 0x00020003u);
  EXPECT_EQ(p.Dword(L"Maximized"), 0u);
}

TEST_F(Dialog, TitlesExactlyTheWidthDoNotScrollLongerOnesDo) {
  // The default template gives "artist - title"; the line is 66 characters wide.
  const std::string exact = std::string(57, 'e'), longer = std::string(58, 'f') + "g";
  f.Write(L"c.wav", Wav(600, 2000, {"Artist", exact, ""}));
  f.Write(L"d.wav", Wav(600, 2000, {"Artist", longer, ""}));
  const std::wstring full = L"Artist - " + Wide(longer);  // 68 characters
  p.Panel(f, L"c.wav");
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, ITitle), L"Artist - " + std::wstring(57, L'e'));
              EXPECT_EQ(Text(v, IMarker), L" ");
            })
            .Key(L'c')
            .Check([&](DialogView& v) {
              EXPECT_EQ(Text(v, ITitle), full.substr(0, 66));
              EXPECT_EQ(Text(v, IMarker), L"\x1A");
            })
            // 46 ticks at the start, then one character every fourth tick to the end.
            .WaitUntil(Shows(ITitle, full.substr(1, 66)), 4000)
            .WaitUntil(Shows(ITitle, full.substr(2, 66)), 4000)
            .Check([&](DialogView& v) {
              ClickAt(v, ITitle, 5);  // scrolling off: back to the start
              EXPECT_EQ(Text(v, ITitle), full.substr(0, 66));
            })
            .Close(-1));
}

TEST_F(Dialog, ColoursFollowTheModes) {
  auto color = [](DialogView& v, int item) {
    return static_cast<uint32_t>(v.Send(DN_CTLCOLORDLGITEM, item, nullptr));
  };
  p.Run(DialogScript()
            .Check([&](DialogView& v) {
              EXPECT_EQ(v.Send(DN_CTLCOLORDIALOG, 0, nullptr), 0x8F);
              EXPECT_EQ(color(v, IPlay) & 0xFF, 0x6Eu);  // playing
              EXPECT_EQ(color(v, IStop) & 0xFF, 0x06u);
              EXPECT_EQ(color(v, IMeter), 0x02u);
              EXPECT_EQ(color(v, ITitle), 0x8Fu);
              EXPECT_EQ(color(v, IFrame), 0x878F8Fu);
            })
            .Key(L'v')
            .Key(L'b')
            .Key(L'a')
            .Key(KEY_INS)
            .Check([&](DialogView& v) {
              EXPECT_EQ(color(v, IPlay) & 0xFF, 0x06u);
              EXPECT_EQ(color(v, IStop) & 0xFF, 0x6Eu);
              EXPECT_EQ(color(v, IAuto) & 0xFF, 0x6Eu);
              EXPECT_EQ(color(v, IMeter), 0x88u);  // switched off: the background's colour
              EXPECT_EQ(color(v, ITitle), 0x3Bu);  // the file is selected in the panel
            })
            .Close(-1));
}

TEST_F(Dialog, CollapsedLinesHideTheirItemsUntilGreyPlus) {
  p.SetDword(L"VisibleLinesMask", 0xFF & ~(1u << 0) & ~(1u << 5));  // no level meter, no title line
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_FALSE(v.Item(IMeter).visible);
              EXPECT_FALSE(v.Item(ITitle).visible);
              EXPECT_FALSE(v.Item(IMarker).visible);
              EXPECT_TRUE(v.Item(IInfo).visible);
            })
            .Key(KEY_ADD)
            .Check([](DialogView& v) {
              EXPECT_TRUE(v.Item(IMeter).visible);
              EXPECT_TRUE(v.Item(ITitle).visible);
            })
            .Key(KEY_ADD)
            .Check([](DialogView& v) { EXPECT_FALSE(v.Item(ITitle).visible); })
            .Close(-1));
}

// ---- Settings -------------------------------------------------------------------------------------

TEST_F(Dialog, SettingsAreHeldToTheirLimits) {
  p.SetDword(L"Volume", 20);
  p.SetDword(L"Dlgsize", 0x000C0046);
  p.SetString(L"PosSliderChars", L"<#>.|!");
  p.Run(DialogScript()
            .Check([](DialogView& v) {
              EXPECT_EQ(Text(v, IVol), L".....:::::|||||");
              EXPECT_EQ(Text(v, IPos)[0], L'[');
            })
            .Close(-1));
  ASSERT_EQ(p.host.dialogs.size(), 1u);
  EXPECT_EQ(p.host.dialogs[0].y2 - p.host.dialogs[0].y1 + 1, 10);
  EXPECT_EQ(p.Dword(L"Volume"), 14u);
  EXPECT_EQ(p.Dword(L"Dlgsize"), 0x000A0046u);
  EXPECT_EQ(p.String(L"PosSliderChars"), L"[=|-]");
  p.SetDword(L"Volume", static_cast<uint32_t>(-3));
  p.Run(DialogScript().Check([](DialogView& v) { EXPECT_EQ(Text(v, IVol), L".______________"); }).Close(-1));
  EXPECT_EQ(p.Dword(L"Volume"), 0u);
}

// ---- The external player --------------------------------------------------------------------------

class External : public Dialog {
 protected:
  void SetUp() override {
    Dialog::SetUp();
    record = f / L"recorded.txt";
    SetEnvironmentVariableW(L"TUNLO_RECORD_FILE", record.c_str());
    SetEnvironmentVariableW(L"TUNLO_TEST_DIR", g_dir.c_str());
    p.SetString(L"ExtPlayerPath", L"%TUNLO_TEST_DIR%\\tunlo_recorder.exe", REG_EXPAND_SZ);
    p.SetString(L"ExtPlayerPlay", L"/play \"%s\"", REG_EXPAND_SZ);
    p.SetString(L"ExtPlayerAddToPlaylist", L"/add \"%s\"", REG_EXPAND_SZ);
  }
  // The recorder's lines, waiting up to 10 s for `count` of them.
  std::vector<std::string> Recorded(size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 500; ++i) {
      lines.clear();
      std::ifstream in(Narrow(record), std::ios::binary);
      std::string l;
      while (std::getline(in, l)) lines.push_back(l);
      if (lines.size() >= count) break;
      Sleep(20);
    }
    return lines;
  }
  std::wstring record;
};

TEST_F(External, TheDefaultActionStartsTheProgramWithTheFilledTemplate) {
  p.SetDword(L"ExtPlayerDefAction", 0);
  p.Run(DialogScript()
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IExt), L" Play in external player "); })
            .Key(L'p')
            .Close(-1));
  auto lines = Recorded(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "/play \"" + Narrow(f / L"a.wav") + "\"");
}

TEST_F(External, AProgramThatCannotStartIsReportedWithItsCode) {
  p.SetString(L"ExtPlayerPath", L"%TUNLO_TEST_DIR%\\no such player.exe", REG_EXPAND_SZ);
  p.SetDword(L"ExtPlayerDefAction", 1);
  p.host.AnswerMessage(0);
  p.Run(DialogScript().Click(IExt).Close(-1));
  ASSERT_EQ(p.host.messages.size(), 1u);
  EXPECT_EQ(p.host.messages[0].lines.at(2), L"The external player could not be started. Error code:");
  EXPECT_EQ(p.host.messages[0].lines.at(3), L"2");  // file not found
}

TEST_F(External, TheMenuRunsAnActionSetsTheDefaultAndKeepsAStoredTemplate) {
  // P without a default action: the menu; "add to playlist" chosen.
  p.host.AnswerMenu(1);
  // The button's right click: the menu; Ins on "play" makes it the default, the menu comes back;
  // "edit the add arguments" emptied; Esc.
  p.host.AnswerMenu(0, 0);
  p.host.AnswerMenu(5);
  p.host.AnswerInput(L"");
  p.host.AnswerMenu(-1);
  p.Run(DialogScript()
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IExt), L" External player "); })
            .Key(L'\x0437')  // the Cyrillic letter on the P key
            .Check([&](DialogView& v) { ClickAt(v, IExt, 1, true); })
            .Check([&](DialogView& v) { EXPECT_EQ(Text(v, IExt), L" Play in external player "); })
            .Close(-1));
  auto lines = Recorded(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "/add \"" + Narrow(f / L"a.wav") + "\"");
  ASSERT_EQ(p.host.menus.size(), 4u);
  EXPECT_EQ(p.host.menus[0].title, L"External player");
  EXPECT_TRUE(p.host.menus[2].itemFlags[0] & MIF_CHECKED);
  EXPECT_TRUE(p.host.menus[3].itemFlags[1] & MIF_DISABLE);  // its template emptied
  EXPECT_EQ(p.host.inputBoxes.at(0).title, L"External player: add to playlist");
  EXPECT_EQ(p.Dword(L"ExtPlayerDefAction"), 0u);
  EXPECT_EQ(p.String(L"ExtPlayerAddToPlaylist"), L"/add \"%s\"");  // the stored one stays
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc < 2) {
    std::fprintf(stderr, "usage: tunlo_plugin_test FOLDER\n");
    return 2;
  }
  g_dir = Wide(argv[1]);
  for (auto& c : g_dir)
    if (c == L'/') c = L'\\';
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  g_log = std::wstring(temp) + L"tunlo-bass-" + std::to_wstring(GetCurrentProcessId()) + L".log";
  DeleteFileW(g_log.c_str());
  SetEnvironmentVariableW(L"KEL_BASS_LOG", g_log.c_str());
  SetEnvironmentVariableW(L"KEL_BASS_CLOCK", std::to_wstring(kClock).c_str());
  int r = RUN_ALL_TESTS();
  DeleteFileW(g_log.c_str());
  return r;
}
