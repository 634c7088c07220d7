// The stand-in bass.dll, tags.dll and the flachead add-on through their exports, linked by the
// vendor's names as the player links them, with the clock 20 times faster (KEL_BASS_CLOCK).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "player/bass/bass.h"
#include "player/bass/tags.h"
#include "standins/bass/testaudio/testaudio.h"

namespace {

const char kDefault[] = "%UTF8(%IFV1(%ARTI,%ARTI)%IFV1(%TITL, - %TITL)%IFV1(%ALBM, - %ALBM))";

std::wstring Dir() {
  wchar_t buf[MAX_PATH];
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring s = buf;
  return s.substr(0, s.rfind(L'\\'));
}

// A scratch folder for this run's files.
std::wstring Scratch() {
  static std::wstring dir = [] {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring d = std::wstring(tmp) + L"bass_dll_test_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(d.c_str(), nullptr);
    return d;
  }();
  return dir;
}

std::wstring Write(const std::wstring& name, const testaudio::Bytes& bytes) {
  std::wstring path = Scratch() + L"\\" + name;
  FILE* f = _wfopen(path.c_str(), L"wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return path;
}

testaudio::Bytes Seconds(double s, double left = 0.5, double right = 0.25, testaudio::Tags tags = {},
                         testaudio::TagStyle style = testaudio::TagStyle::None) {
  testaudio::WaveShape w;
  w.rate = 8000;
  w.channels = 2;
  w.frames = static_cast<uint64_t>(s * 8000);
  w.left = left;
  w.right = right;
  w.tags = tags;
  w.tagStyle = style;
  return testaudio::Wave(w);
}

struct SyncLog {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> calls{0};
  std::atomic<DWORD> thread{0};
  std::atomic<DWORD> data{0};
  ~SyncLog() { CloseHandle(event); }
};

void CALLBACK Note(HSYNC, DWORD, DWORD data, void* user) {
  auto* log = static_cast<SyncLog*>(user);
  log->thread = GetCurrentThreadId();
  log->data = data;
  ++log->calls;
  SetEvent(log->event);
}

class BassDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    ASSERT_TRUE(BASS_Init(-1, 48000, 0, nullptr, nullptr));
  }
  static void TearDownTestSuite() { BASS_Free(); }
};

TEST_F(BassDll, StartsOnceAndDescribesItsDevice) {
  EXPECT_FALSE(BASS_Init(-1, 48000, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  BASS_INFO info = {};
  ASSERT_TRUE(BASS_GetInfo(&info));
  EXPECT_EQ(info.freq, 48000u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
}

TEST_F(BassDll, AFilePlaysOnTheClockAndSyncsFireOnTheLibrarysThread) {
  std::wstring path = Write(L"Пётр – tone.wav", Seconds(2.0));
  HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD), ~0ull);
  BASS_CHANNELINFO ci = {};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
  EXPECT_EQ(ci.freq, 8000u);
  EXPECT_EQ(ci.chans, 2u);
  EXPECT_EQ(ci.ctype, static_cast<DWORD>(BASS_CTYPE_STREAM_WAV_PCM));
  EXPECT_EQ(ci.origres, 16u);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(ci.filename), path.c_str());
  QWORD len = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  EXPECT_EQ(len, 2u * 8000 * 4);
  EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, len), 2.0);

  SyncLog pos, end;
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_POS, len / 2, Note, &pos), 0u);
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, Note, &end), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_EQ(BASS_ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
  Sleep(20);  // 400 ms of library time
  DWORD level = BASS_ChannelGetLevel(h);
  EXPECT_NEAR(level & 0xFFFF, 16384, 2);
  EXPECT_NEAR(level >> 16, 8192, 2);
  // Two seconds at 20 times: 100 ms of real time.
  ASSERT_EQ(WaitForSingleObject(end.event, 3000), WAIT_OBJECT_0);
  EXPECT_EQ(pos.calls, 1);
  EXPECT_EQ(end.calls, 1);
  EXPECT_NE(end.thread, GetCurrentThreadId());
  EXPECT_EQ(BASS_ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(BASS_ChannelGetLevel(h), 0xFFFFFFFFu);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
  EXPECT_TRUE(BASS_StreamFree(h));
  EXPECT_FALSE(BASS_StreamFree(h));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

  // Without the Unicode flag the name is 8-bit, and the channel information gives it back so.
  std::wstring plain = Write(L"plain.wav", Seconds(0.5));
  std::string narrow(plain.begin(), plain.end());
  h = BASS_StreamCreateFile(FALSE, narrow.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
  EXPECT_STREQ(ci.filename, narrow.c_str());
  BASS_StreamFree(h);
}

TEST_F(BassDll, SlidesFinishAndALockedChannelDoesNotMove) {
  HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"long.wav", Seconds(60)).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0));
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 1, 2000));
  EXPECT_TRUE(BASS_ChannelIsSliding(h, BASS_ATTRIB_VOL));
  int polls = 0;
  while (BASS_ChannelIsSliding(h, BASS_ATTRIB_VOL) && polls < 1000) Sleep(1), ++polls;
  float v = 0;
  ASSERT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
  EXPECT_FLOAT_EQ(v, 1.0f);
  EXPECT_LT(polls, 1000);

  ASSERT_TRUE(BASS_ChannelLock(h, TRUE));
  QWORD a = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  Sleep(60);
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), a);
  ASSERT_TRUE(BASS_ChannelLock(h, FALSE));
  Sleep(60);
  EXPECT_GT(BASS_ChannelGetPosition(h, BASS_POS_BYTE), a);
  EXPECT_FALSE(BASS_ChannelLock(h, FALSE)) << "not locked";

  ASSERT_TRUE(BASS_ChannelPause(h));
  EXPECT_EQ(BASS_ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PAUSED));
  QWORD paused = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
  Sleep(50);
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), paused);
  QWORD half = BASS_ChannelSeconds2Bytes(h, 30.0);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, half, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), half);
  EXPECT_FALSE(BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h, BASS_POS_BYTE) + 4, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_TRUE(BASS_StreamFree(h));
}

struct Chain {
  std::wstring next;
  HSTREAM second = 0;
  SyncLog done;
};

void CALLBACK PlayNext(HSYNC, DWORD channel, DWORD, void* user) {
  auto* c = static_cast<Chain*>(user);
  // What the player does at the end of a track, from the library's thread: free the old
  // channel, open the next file, play it.
  BASS_StreamFree(channel);
  c->second = BASS_StreamCreateFile(FALSE, c->next.c_str(), 0, 0, BASS_UNICODE);
  BASS_ChannelSetSync(c->second, BASS_SYNC_END, 0, Note, &c->done);
  BASS_ChannelPlay(c->second, TRUE);
}

TEST_F(BassDll, AnEndSyncMayFreeItsChannelAndStartTheNext) {
  Chain chain;
  chain.next = Write(L"second.wav", Seconds(0.5));
  HSTREAM first = BASS_StreamCreateFile(FALSE, Write(L"first.wav", Seconds(0.5)).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(first, 0u);
  ASSERT_NE(BASS_ChannelSetSync(first, BASS_SYNC_END, 0, PlayNext, &chain), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(first, FALSE));
  ASSERT_EQ(WaitForSingleObject(chain.done.event, 3000), WAIT_OBJECT_0);
  EXPECT_NE(chain.second, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(first), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  BASS_StreamFree(chain.second);
}

TEST_F(BassDll, TagsReadFillsTheTemplateFromTheFilesTags) {
  struct Case {
    testaudio::TagStyle style;
    const char* expected;
  } cases[] = {
      {testaudio::TagStyle::RiffInfo, "Artist - Title - Album"},
      {testaudio::TagStyle::Id3v1, "Artist - Title - Album"},
      {testaudio::TagStyle::Id3v2Utf16, "Artist - Title - Album"},
  };
  for (const Case& c : cases) {
    HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"tagged.wav", Seconds(0.1, 0.5, 0.5, {"Artist", "Title", "Album"}, c.style)).c_str(),
                                      0, 0, BASS_UNICODE);
    ASSERT_NE(h, 0u);
    EXPECT_STREQ(TAGS_Read(h, kDefault), c.expected);
    BASS_StreamFree(h);
  }
  HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"cyr.wav", Seconds(0.1, 0.5, 0.5, {"Кино", "", ""}, testaudio::TagStyle::Id3v2Chunk)).c_str(),
                                    0, 0, BASS_UNICODE);
  EXPECT_STREQ(TAGS_Read(h, kDefault), "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE");
  BASS_StreamFree(h);
  EXPECT_STREQ(TAGS_Read(h, kDefault), "") << "a freed handle";
  EXPECT_STREQ(TAGS_Read(h, nullptr), "");
  EXPECT_EQ(TAGS_GetVersion(), static_cast<DWORD>(TAGS_VERSION));
}

TEST_F(BassDll, ModulesLoadAsMusicOnly) {
  testaudio::ModuleShape m;
  m.tracker = testaudio::Tracker::Xm;
  m.title = "Loop tune";
  m.patterns = 2;
  m.orders = {0, 1};
  m.commands = {{1, 63, 0, testaudio::Effect::PositionJump, 0}};
  std::wstring path = Write(L"tune.xm", testaudio::Module(m));
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_UNICODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x804A0400, 0);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO ci = {};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
  EXPECT_EQ(ci.ctype, static_cast<DWORD>(BASS_CTYPE_MUSIC_XM));
  EXPECT_EQ(ci.freq, 48000u);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE)), 128 * 0.12, 1e-6);
  EXPECT_STREQ(TAGS_Read(h, kDefault), " - Loop tune");
  EXPECT_FALSE(BASS_StreamFree(h));
  EXPECT_TRUE(BASS_MusicFree(h));
  EXPECT_EQ(BASS_MusicLoad(FALSE, Write(L"not.mod", Seconds(0.1)).c_str(), 0, 0, 0x804A0400, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  EXPECT_EQ(BASS_MusicLoad(FALSE, (Scratch() + L"\\missing.it").c_str(), 0, 0, 0x804A0400, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(BassDll, TheAddOnOpensFlacAndItsStreamsGoWithIt) {
  std::wstring addon = Dir() + L"\\bassplugs\\flachead.dll";
  HPLUGIN p = BASS_PluginLoad(reinterpret_cast<const char*>(addon.c_str()), BASS_UNICODE);
  ASSERT_NE(p, 0u) << BASS_ErrorGetCode();
  std::wstring notAddon = Dir() + L"\\tags.dll";
  EXPECT_EQ(BASS_PluginLoad(reinterpret_cast<const char*>(notAddon.c_str()), BASS_UNICODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  EXPECT_EQ(BASS_PluginLoad("no such add-on.dll", 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

  // "fLaC", STREAMINFO (44100 Hz, stereo, 16-bit, 441000 samples), Vorbis comment with a title.
  testaudio::Bytes flac = {'f', 'L', 'a', 'C', 0x00, 0, 0, 34};
  testaudio::Bytes si(34, 0);
  si[10] = 0x0A; si[11] = 0xC4; si[12] = 0x42; si[13] = 0xF0;
  si[14] = 0x00; si[15] = 0x06; si[16] = 0xBA; si[17] = 0xA8;
  flac.insert(flac.end(), si.begin(), si.end());
  const std::string title = "TITLE=Lossless";
  testaudio::Bytes vc = {0, 0, 0, 0, 1, 0, 0, 0, static_cast<uint8_t>(title.size()), 0, 0, 0};
  vc.insert(vc.end(), title.begin(), title.end());
  flac.insert(flac.end(), {0x84, 0, 0, static_cast<uint8_t>(vc.size())});
  flac.insert(flac.end(), vc.begin(), vc.end());
  flac.resize(flac.size() + 1000, 0);
  HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"song.flac", flac).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO ci = {};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
  EXPECT_EQ(ci.ctype, static_cast<DWORD>(BASS_CTYPE_STREAM_FLAC));
  EXPECT_EQ(ci.plugin, p);
  EXPECT_EQ(ci.freq, 44100u);
  EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE)), 10.0);
  EXPECT_STREQ(TAGS_Read(h, kDefault), " - Lossless");
  ASSERT_TRUE(BASS_PluginFree(p));
  EXPECT_EQ(BASS_ChannelIsActive(h), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(BassDll, TheAlsaSoundsOpen) {
  const wchar_t* path = L"Z:\\usr\\share\\sounds\\alsa\\Front_Center.wav";
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "alsa-utils is not installed";
  HSTREAM h = BASS_StreamCreateFile(FALSE, path, 0, 0, BASS_UNICODE);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO ci = {};
  ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
  EXPECT_EQ(ci.freq, 48000u);
  EXPECT_EQ(ci.chans, 1u);
  double secs = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, BASS_POS_BYTE));
  EXPECT_GT(secs, 0.5);
  EXPECT_LT(secs, 5.0);
  BASS_StreamFree(h);
}

TEST_F(BassDll, ScriptedFailuresAndTheCallLog) {
  std::wstring log = Scratch() + L"\\calls.log";
  SetEnvironmentVariableW(L"KEL_BASS_LOG", log.c_str());
  SetEnvironmentVariableW(L"KEL_BASS_FAIL", L"BASS_ChannelPlay=24;BASS_Init=14");
  HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"log.wav", Seconds(0.1)).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(BASS_ChannelPlay(h, TRUE));
  EXPECT_EQ(BASS_ErrorGetCode(), 24);
  EXPECT_TRUE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_VOL, 0.5f, 200));
  SetEnvironmentVariableW(L"KEL_BASS_FAIL", nullptr);
  SetEnvironmentVariableW(L"KEL_BASS_LOG", nullptr);
  EXPECT_TRUE(BASS_ChannelPlay(h, TRUE));
  BASS_StreamFree(h);
  FILE* f = _wfopen(log.c_str(), L"r");
  ASSERT_NE(f, nullptr);
  std::string text;
  char line[512];
  while (fgets(line, sizeof line, f)) text += line;
  fclose(f);
  EXPECT_NE(text.find("BASS_ChannelPlay " + std::to_string(h) + " 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("BASS_ChannelSlideAttribute " + std::to_string(h) + " 2 0.500 200\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("BASS_StreamFree"), std::string::npos) << "nothing logged once the log is off";
}

TEST_F(BassDll, StreamsAndModulesOpenFromMemoryWithAnOffset) {
  testaudio::Bytes wav = Seconds(1.0);
  testaudio::Bytes block(100, 0xAB);
  block.insert(block.end(), wav.begin(), wav.end());
  HSTREAM h = BASS_StreamCreateFile(TRUE, block.data(), 100, wav.size(), 0);
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 8000u * 4);
  BASS_StreamFree(h);
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, block.data(), 0, 0, 0), 0u) << "memory needs its length";
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, block.data(), ~0ull - 10, 100, 0), 0u) << "a block past the address space";
  testaudio::ModuleShape m;
  m.tracker = testaudio::Tracker::It;
  testaudio::Bytes it = testaudio::Module(m);
  HMUSIC mh = BASS_MusicLoad(TRUE, it.data(), 0, static_cast<DWORD>(it.size()), BASS_MUSIC_PRESCAN, 44100);
  ASSERT_NE(mh, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO ci = {};
  ASSERT_TRUE(BASS_ChannelGetInfo(mh, &ci));
  EXPECT_EQ(ci.freq, 44100u) << "the rate asked for";
  EXPECT_EQ(BASS_ChannelGetLength(mh, BASS_POS_BYTE), 338688u * 4) << "7.68 s at 44100 Hz, 16-bit stereo";
  BASS_MusicFree(mh);
}

void CALLBACK FreeLibraryState(HSYNC, DWORD, DWORD, void* user) {
  static_cast<SyncLog*>(user)->data = BASS_Free();
  SetEvent(static_cast<SyncLog*>(user)->event);
}

TEST_F(BassDll, FreedFromItsOwnSyncTheLibraryStartsAgain) {
  SyncLog freed;
  HSTREAM h = BASS_StreamCreateFile(FALSE, Write(L"free.wav", Seconds(0.2)).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, FreeLibraryState, &freed), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_EQ(WaitForSingleObject(freed.event, 3000), WAIT_OBJECT_0);
  EXPECT_EQ(freed.data, static_cast<DWORD>(TRUE));
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Write(L"free2.wav", Seconds(0.2)).c_str(), 0, 0, BASS_UNICODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  // Started again, the new clock plays and fires syncs.
  ASSERT_TRUE(BASS_Init(-1, 48000, 0, nullptr, nullptr));
  SyncLog end;
  h = BASS_StreamCreateFile(FALSE, Write(L"free3.wav", Seconds(0.2)).c_str(), 0, 0, BASS_UNICODE);
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, Note, &end), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_EQ(WaitForSingleObject(end.event, 3000), WAIT_OBJECT_0);
  Sleep(20);
  EXPECT_EQ(end.calls, 1) << "one clock, one firing";
}

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
