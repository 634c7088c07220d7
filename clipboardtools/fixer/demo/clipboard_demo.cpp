// The clipboard fixer's demo: another program has put Russian 8-bit text on the clipboard and
// widened it byte by byte into the Unicode form; Mendlet, run from the host stand-in, repairs it.
// Usage: mendlet_demo PLUGIN.dll (run in a Russian locale: ANSI code page 1251).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "standins/kelhost/kelhost.h"

namespace {

void Print(const std::wstring& line) { std::printf("%s\n", kelhost::Utf8(line).c_str()); }

void Put(UINT format, const void* data, size_t size) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(h), data, size);
  GlobalUnlock(h);
  SetClipboardData(format, h);
}

std::wstring Unicode() {
  std::wstring text = L"(none)";
  if (!OpenClipboard(nullptr)) return L"(clipboard busy)";
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char ansi[] = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!";  // "Привет, мир!" in code page 1251
  std::wstring widened;
  for (const char* p = ansi; *p; ++p) widened += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  if (!OpenClipboard(nullptr)) return 1;
  EmptyClipboard();
  Put(CF_TEXT, ansi, sizeof ansi);
  Put(CF_UNICODETEXT, widened.c_str(), (widened.size() + 1) * sizeof(wchar_t));
  CloseClipboard();
  Print(L"ANSI code page: " + std::to_wstring(GetACP()));
  Print(L"clipboard Unicode text before: " + Unicode());

  kelhost::Host host;
  host.onTranscript = Print;
  std::string path = argv[1];
  kelhost::Plugin* plugin = host.Load(std::wstring(path.begin(), path.end()));
  if (!plugin) return 1;
  PluginInfoW info{};
  host.GetPluginInfo(plugin, &info);
  Print(L"[user] chooses \"Clipboard fixer\" in the plugins menu");
  host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 0);
  Print(L"clipboard Unicode text after:  " + Unicode());
  Print(L"[user] runs it again: nothing left to repair");
  host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 0);
  Print(L"clipboard Unicode text now:    " + Unicode());
  return 0;
}
