// A module library for the plugin's tests. It records every call it receives in "<module>.log"
// beside itself and takes its orders from "<module>.cfg":
//   name TEXT | title TEXT     its short name and title (default "Test", "Test module")
//   dirs A;A\B;...             the folders that exist below its top (relative, no backslash ends)
//   refuse-activate            Activate answers 0
//   fail-init                  InitModule answers 0
//   throw ENTRY                that entry throws; its own guard catches it and answers failure (an
//                              exception cannot cross into the plugin: each library has its own
//                              statically linked unwinder, so the module must not let one leave)
// Keys it acts on in ProcessKey (to reach the plugin's services through a real entry):
//   'I' adds an information line, 'N' a line with a null data (a separator), 'O' logs the other
//   panel's module, 'E' makes itself the editor receiver, 'W' / 'R' write and read a setting,
//   'D' logs the device name.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include "devicebrowser/common/module_api.h"
#include "host/kel_plugin.h"

namespace {

struct Config {
  std::string name = "Test", title = "Test module", throwAt;
  std::set<std::wstring> dirs;
  bool refuseActivate = false, failInit = false;
};

struct Instance {
  int number;
  ModuleOwner owner;
  ModuleStartupRecord record;
  std::wstring dir;
};

std::string g_self;  // this library's path
Config g_cfg;
int g_instances = 0;

std::string Narrow(const std::wstring& w) {
  char buf[1024] = {};
  WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, buf, sizeof(buf) - 1, nullptr, nullptr);
  return buf;
}

// The configuration file is UTF-8.
std::wstring FromUtf8(const std::string& s) {
  wchar_t buf[1024] = {};
  MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, buf, 1023);
  return buf;
}

void Log(const std::string& line) {
  FILE* f = fopen((g_self + ".log").c_str(), "ab");
  if (!f) return;
  fprintf(f, "%s\n", line.c_str());
  fclose(f);
}

void LoadConfig() {
  char path[MAX_PATH] = {};
  HMODULE me = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&LoadConfig), &me);
  GetModuleFileNameA(me, path, MAX_PATH);
  g_self = path;
  g_cfg = Config();
  FILE* f = fopen((g_self + ".cfg").c_str(), "rb");
  if (!f) return;
  char line[1024];
  while (fgets(line, sizeof(line), f)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (s.rfind("name ", 0) == 0) g_cfg.name = s.substr(5);
    else if (s.rfind("title ", 0) == 0) g_cfg.title = s.substr(6);
    else if (s.rfind("throw ", 0) == 0) g_cfg.throwAt = s.substr(6);
    else if (s == "refuse-activate") g_cfg.refuseActivate = true;
    else if (s == "fail-init") g_cfg.failInit = true;
    else if (s.rfind("dirs ", 0) == 0) {
      std::string rest = s.substr(5);
      size_t from = 0;
      for (;;) {
        size_t at = rest.find(';', from);
        std::string d = rest.substr(from, at == std::string::npos ? std::string::npos : at - from);
        if (!d.empty()) g_cfg.dirs.insert(FromUtf8(d));
        if (at == std::string::npos) break;
        from = at + 1;
      }
    }
  }
  fclose(f);
}

Instance* Of(ModuleInstance i) { return reinterpret_cast<Instance*>(i); }

std::string Tag(Instance* in) {
  std::string tag(1, '#');
  tag += std::to_string(in->number);
  tag += ' ';
  return tag;
}

// Runs an entry's body; throws first when the configuration says so. Exceptions never leave
// the module: an uncaught one would end the host. It reports what it caught as a host message
// and answers the entry's failure.
template <class Body>
auto Entry(const char* name, decltype(std::declval<Body>()()) failure, Body body) -> decltype(body()) {
  try {
    if (g_cfg.throwAt == name) throw std::runtime_error(std::string("test module threw in ") + name);
    return body();
  } catch (const std::exception& e) {
    Log(std::string("caught ") + e.what());
    return failure;
  }
}

}  // namespace

extern "C" {

ModuleInstance MODULE_API InitModule(ModuleOwner owner, const ModuleStartupRecord* record, intptr_t reserved) {
  if (g_instances == 0) LoadConfig();
  return Entry("InitModule", ModuleInstance(0), [&]() -> ModuleInstance {
    Log("InitModule size=" + std::to_string(record->Size) + " host=" + std::to_string(record->HostStartupSize) +
        " reserved=" + std::to_string(reserved) + " lang=" + Narrow(record->LanguageName) +
        " view=" + std::to_string(static_cast<const int32_t*>(record->PanelState)[14]));  // byte 56
    if (g_cfg.failInit) return 0;
    auto* in = new Instance{++g_instances, owner, {}, L""};
    memcpy(&in->record, record, std::min<uint32_t>(record->Size, sizeof(in->record)));
    Log(Tag(in) + "created");
    return reinterpret_cast<ModuleInstance>(in);
  });
}

void MODULE_API GetModuleInfo(ModuleInfo* info) {
  Entry("GetModuleInfo", 0, [&] {
    Log("GetModuleInfo size=" + std::to_string(info->Size) + " reserved0=" + std::to_string(info->Reserved[0]));
    strncpy(info->ShortName, g_cfg.name.c_str(), sizeof(info->ShortName) - 1);
    strncpy(info->Title, g_cfg.title.c_str(), sizeof(info->Title) - 1);
    return 0;
  });
}

void MODULE_API CloseModule(ModuleInstance i) {
  Log(Tag(Of(i)) + "CloseModule");
  delete Of(i);
}

int MODULE_API Activate(ModuleInstance i) {
  return Entry("Activate", 0, [&] {
    Log(Tag(Of(i)) + "Activate lang=" + Narrow(Of(i)->record.LanguageName));
    return g_cfg.refuseActivate ? 0 : 1;
  });
}

void MODULE_API DeActivate(ModuleInstance i) { Log(Tag(Of(i)) + "DeActivate"); }

void MODULE_API GetOpenModuleInfo(ModuleInstance i, void*) { Log(Tag(Of(i)) + "GetOpenModuleInfo"); }

int MODULE_API GetFindData(ModuleInstance i, void** items, int* count, int opMode) {
  return Entry("GetFindData", 0, [&] {
    Instance* in = Of(i);
    Log(Tag(in) + "GetFindData " + Narrow(in->dir) + " mode=" + std::to_string(opMode));
    std::wstring base = in->dir;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    std::set<std::wstring> names;
    for (const std::wstring& d : g_cfg.dirs) {
      std::wstring parent = d.rfind(L'\\') == std::wstring::npos ? L"" : d.substr(0, d.rfind(L'\\'));
      if (parent == base) names.insert(d.substr(parent.empty() ? 0 : parent.size() + 1));
    }
    auto* array = static_cast<PluginPanelItemA*>(calloc(names.size() + 1, sizeof(PluginPanelItemA)));
    int n = 0;
    for (const std::wstring& name : names) {
      strncpy(array[n].FileName, Narrow(name).c_str(), KEL_NM - 1);
      array[n++].FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    strcpy(array[n++].FileName, "file.txt");
    *items = array;
    *count = n;
    return 1;
  });
}

void MODULE_API FreeFindData(ModuleInstance i, void* items, int count) {
  Log(Tag(Of(i)) + "FreeFindData " + std::to_string(count));
  free(items);
}

int MODULE_API GetFiles(ModuleInstance i, void*, int count, int move, char* dest, int) {
  Log(Tag(Of(i)) + "GetFiles " + std::to_string(count) + " move=" + std::to_string(move) + " " + dest);
  return 1;
}

int MODULE_API SetDirectory(ModuleInstance i, const wchar_t* dir, int opMode) {
  return Entry("SetDirectory", 0, [&] {
    Instance* in = Of(i);
    std::wstring d = dir;
    Log(Tag(in) + "SetDirectory [" + Narrow(d) + "] mode=" + std::to_string(opMode));
    std::wstring bare = d;
    if (!bare.empty() && bare.back() == L'\\') bare.pop_back();
    if (!bare.empty() && !g_cfg.dirs.count(bare)) return 0;
    in->dir = d;
    return 1;
  });
}

const wchar_t* MODULE_API GetDirectory(ModuleInstance i) { return Of(i)->dir.c_str(); }

int MODULE_API ExistsDirectory(ModuleInstance i, const wchar_t* dir, int) {
  Log(Tag(Of(i)) + "ExistsDirectory [" + Narrow(dir) + "]");
  return g_cfg.dirs.count(dir) ? 1 : 0;
}

int MODULE_API MakeDirectory(ModuleInstance i, char* name, int) {
  Log(Tag(Of(i)) + "MakeDirectory " + name);
  return 1;
}

int MODULE_API PutFiles(ModuleInstance i, void*, int count, int move, int) {
  Log(Tag(Of(i)) + "PutFiles " + std::to_string(count) + " move=" + std::to_string(move));
  return 1;
}

int MODULE_API DeleteFiles(ModuleInstance i, void*, int count, int) {
  Log(Tag(Of(i)) + "DeleteFiles " + std::to_string(count));
  return 1;
}

int MODULE_API ProcessKey(ModuleInstance i, int key, unsigned int state) {
  return Entry("ProcessKey", 0, [&] {
    Instance* in = Of(i);
    Log(Tag(in) + "ProcessKey " + std::to_string(key) + " state=" + std::to_string(state));
    ModuleStartupRecord& r = in->record;
    switch (key) {
      case 'I': r.AddInfoLine(in->owner, "Module line", "data"); return 1;
      case 'N': r.AddInfoLine(in->owner, "Separator", nullptr); return 1;
      case 'O': Log(Tag(in) + "other=" + std::to_string(r.GetOtherPanelModule(in->owner))); return 1;
      case 'E': Log(Tag(in) + "editor=" + std::to_string(r.SetEditorModule(in->owner, i))); return 1;
      case 'D': Log(Tag(in) + "device=" + Narrow(r.GetDeviceName(in->owner))); return 1;
      case 'W': Log(Tag(in) + "write=" + std::to_string(r.WriteSetting(in->owner, L"TestValue", L"abc"))); return 1;
      case 'R': {
        wchar_t buf[4] = L"dfl";
        int rr = r.ReadSetting(in->owner, L"TestValue", sizeof(buf), buf);
        Log(Tag(in) + "read=" + std::to_string(rr) + " " + Narrow(buf));
        return 1;
      }
      default: return 0;
    }
  });
}

int MODULE_API ProcessEditorInput(ModuleInstance i, const void*) {
  Log(Tag(Of(i)) + "ProcessEditorInput");
  return 1;
}

int MODULE_API Configure(ModuleInstance i) {
  Log(Tag(Of(i)) + "Configure");
  *static_cast<uint32_t*>(Of(i)->record.Settings) = 1;
  return 1;
}

void MODULE_API ReloadModuleSettings(ModuleInstance i) { Log(Tag(Of(i)) + "ReloadModuleSettings"); }

}  // extern "C"
