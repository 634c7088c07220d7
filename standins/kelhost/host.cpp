// The host stand-in: the Host itself (plugin loading and unloading, the entries, scripted
// answers, the record of what a user saw). The services plugins call are in their own files:
// services.cpp (messages, menus, input, help, advanced control, viewer and editor), console.cpp,
// standard.cpp (the standard functions), ansi.cpp (the 8-bit generation), panels.cpp, dialogs.cpp,
// editor.cpp, language.cpp.
#include <windows.h>

#include <algorithm>
#include <fstream>

#include "standins/kelhost/editor.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

Host* g_host = nullptr;

void DeleteTree(HKEY root, const std::wstring& key) {
  RegDeleteTreeW(root, key.c_str());
  RegDeleteKeyW(root, key.c_str());
}

}  // namespace

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring Str(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); }

// ---- Host ------------------------------------------------------------------------------------

Host* Host::Current() { return g_host; }

Host::Host() {
  if (g_host) Fail(L"a second Host while another is alive");
  g_host = this;
  thread_ = GetCurrentThreadId();
  static LONG counter = 0;
  rootKey_ = L"Software\\KelHostStandIn\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&counter));
  DeleteTree(HKEY_CURRENT_USER, rootKey_);
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, rootKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
      ERROR_SUCCESS)
    RegCloseKey(key);
}

Host::~Host() {
  while (!plugins_.empty()) Unload(plugins_.back().get());
  editor_.reset();
  DeleteTree(HKEY_CURRENT_USER, rootKey_);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KelHostStandIn");  // only when empty
  if (g_host == this) g_host = nullptr;
}

void* Plugin::Entry(const char* entryName) const {
  auto it = entries.find(entryName);
  if (it != entries.end()) return it->second;
  return module ? reinterpret_cast<void*>(GetProcAddress(module, entryName)) : nullptr;
}

void Host::Record(const std::wstring& line) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  transcript.push_back(line);
  if (onTranscript) onTranscript(line);
}

void Host::Fail(const std::wstring& what) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  failures.push_back(what);
  transcript.push_back(L"!! " + what);
  if (onFailure) onFailure(what);
}

Plugin* Host::PluginByNumber(intptr_t number) {
  for (auto& p : plugins_)
    if (p->number == number) return p.get();
  return nullptr;
}

Plugin* Host::PluginByModulePath(const std::wstring& path) {
  for (auto& p : plugins_)
    if (lstrcmpiW(p->path.c_str(), path.c_str()) == 0) return p.get();
  return nullptr;
}

Plugin* Host::Load(const std::wstring& path) {
  wchar_t full[MAX_PATH];
  if (!GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr)) {
    Fail(L"bad plugin path " + path);
    return nullptr;
  }
  auto p = std::make_unique<Plugin>();
  p->path = full;
  p->name = FileNameOf(p->path);
  p->module = LoadLibraryW(full);
  if (!p->module) {
    Fail(L"cannot load " + p->path + L" (error " + std::to_wstring(GetLastError()) + L")");
    return nullptr;
  }
  ReplaceImports(p->module);  // so that scripted failures reach the plugin's system calls
  static const char* kNames[] = {
      "GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW", "OpenPluginW", "OpenFilePluginW", "ConfigureW",
      "ProcessEditorInputW", "ProcessEditorEventW", "ProcessDialogEventW", "ProcessSynchroEventW", "ExitKELW",
      "ClosePluginW", "GetOpenPluginInfoW", "GetFindDataW", "FreeFindDataW", "SetDirectoryW", "ProcessKeyW",
      "GetMinKelVersion", "SetStartupInfo", "GetPluginInfo", "OpenPlugin", "ClosePlugin", "GetOpenPluginInfo",
      "GetFindData", "FreeFindData", "SetDirectory", "GetFiles", "PutFiles", "DeleteFiles", "MakeDirectory",
      "ProcessKey", "ProcessEditorInput", "ProcessEditorEvent", "Configure", "ExitKEL"};
  for (const char* n : kNames)
    if (FARPROC f = GetProcAddress(p->module, n)) p->entries[n] = reinterpret_cast<void*>(f);
  p->unicode = p->Entry("SetStartupInfoW") != nullptr;
  if (!p->unicode && !p->Entry("SetStartupInfo")) {
    Fail(L"no start-up entry in " + p->path);
    FreeLibrary(p->module);
    return nullptr;
  }
  p->number = nextNumber_++;
  // Language file: the first "*.lng" beside the plugin whose header names our language, else the first.
  std::wstring folder = FolderOf(p->path);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"*.lng").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    std::vector<std::wstring> first;
    do {
      std::wstring file = folder + fd.cFileName;
      std::ifstream in(file.c_str(), std::ios::binary);
      std::string head;
      std::getline(in, head);
      auto texts = LoadLanguageFile(file);
      if (first.empty()) first = texts;
      if (head.find(Utf8(language)) != std::string::npos) {
        p->messages = texts;
        break;
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    if (p->messages.empty()) p->messages = first;
  }
  Plugin* raw = p.get();
  plugins_.push_back(std::move(p));

  if (raw->unicode) {
    if (auto f = reinterpret_cast<int(KEL_API*)()>(raw->Entry("GetMinKelVersionW"))) {
      uint32_t need = static_cast<uint32_t>(f());
      if (need > version) Fail(raw->name + L" needs a newer host");
    }
    raw->startup = StartupRecord(raw->path.c_str(), raw->number);
    HostStartupInfo& si = raw->startup;
    reinterpret_cast<void(KEL_API*)(const HostStartupInfo*)>(raw->Entry("SetStartupInfoW"))(&si);
  } else {
    const std::wstring& root = startupRootKey.empty() ? rootKey_ : startupRootKey;
    raw->oemRootKey.assign(root.begin(), root.end());  // the root key is plain ASCII
    HostStartupInfoA& si = raw->startupA;
    FillStartupRecordA(si, raw->path, raw->number, raw->oemRootKey.c_str());
    reinterpret_cast<void(KEL_API*)(const HostStartupInfoA*)>(raw->Entry("SetStartupInfo"))(&si);
  }
  return raw;
}

HostStartupInfo Host::StartupRecord(const wchar_t* modulePath, intptr_t number) const {
  HostStartupInfo si{};
  si.StructSize = sizeof(HostStartupInfo);
  si.ModuleName = modulePath;
  si.ModuleNumber = number;
  si.RootKey = startupRootKey.empty() ? rootKey_.c_str() : startupRootKey.c_str();
  si.HostMessage = SvcMessage;
  si.HostMenu = SvcMenu;
  si.HostDialog = DialogService();
  si.HostSendDlgMessage = SendDlgMessageService();
  si.HostDefDlgProc = DefDlgProcService();
  si.HostGetMsg = SvcGetMsg;
  si.HostShowHelp = SvcShowHelp;
  si.HostInputBox = SvcInputBox;
  si.HostPanelControl = SvcPanelControl;
  si.HostEditorControl = SvcEditorControl;
  si.HostViewerControl = SvcViewerControl;
  si.HostAdvControl = SvcAdvControl;
  si.HostText = SvcText;
  si.HostSaveScreen = SvcSaveScreen;
  si.HostRestoreScreen = SvcRestoreScreen;
  si.HostViewer = SvcViewer;
  si.HostEditor = SvcEditor;
  si.FSF = StandardFunctions();
  return si;
}

void Host::Unload(Plugin* plugin) {
  auto it = std::find_if(plugins_.begin(), plugins_.end(), [&](auto& p) { return p.get() == plugin; });
  if (it == plugins_.end()) return;
  for (int i = 0; i < 2; ++i) {
    if (panels_[i].plugin != plugin) continue;
    int saved = active_;
    active_ = i;
    ClosePanel();
    active_ = saved;
  }
  if (auto f = reinterpret_cast<void(KEL_API*)()>(plugin->Entry(plugin->unicode ? "ExitKELW" : "ExitKEL"))) f();
  FreeLibrary(plugin->module);
  plugins_.erase(it);
}

bool Host::GetPluginInfo(Plugin* p, PluginInfoW* out) {
  auto f = reinterpret_cast<void(KEL_API*)(PluginInfoW*)>(p->Entry("GetPluginInfoW"));
  if (!f) return false;
  *out = PluginInfoW{};
  out->StructSize = sizeof(PluginInfoW);
  f(out);
  std::wstring line = L"[plugin info] " + p->name + L" flags=" + std::to_wstring(out->Flags);
  for (int i = 0; i < out->PluginMenuStringsNumber; ++i)
    line += L" | menu " + std::to_wstring(i) + L": " + Str(out->PluginMenuStrings[i]);
  for (int i = 0; i < out->PluginConfigStringsNumber; ++i)
    line += L" | config " + std::to_wstring(i) + L": " + Str(out->PluginConfigStrings[i]);
  if (out->CommandPrefix && *out->CommandPrefix) line += L" | prefix " + Str(out->CommandPrefix);
  Record(line);
  return true;
}

HANDLE Host::OpenPlugin(Plugin* p, int openFrom, intptr_t item) {
  auto f = reinterpret_cast<HANDLE(KEL_API*)(int, intptr_t)>(p->Entry("OpenPluginW"));
  if (!f) {
    Fail(L"no OpenPluginW in " + p->name);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = f(openFrom, item);
  DeliverSynchroEvents();
  return h;
}

int Host::Configure(Plugin* p, int item) {
  auto f = reinterpret_cast<int(KEL_API*)(int)>(p->Entry("ConfigureW"));
  if (!f) {
    Fail(L"no ConfigureW in " + p->name);
    return 0;
  }
  int r = f(item);
  DeliverSynchroEvents();
  return r;
}

int Host::EditorInput(const EditorKeyEvent& key) {
  INPUT_RECORD rec{};
  rec.EventType = key.eventType;
  rec.Event.KeyEvent.bKeyDown = key.keyDown ? TRUE : FALSE;
  rec.Event.KeyEvent.wRepeatCount = 1;
  rec.Event.KeyEvent.wVirtualKeyCode = key.vk;
  rec.Event.KeyEvent.uChar.UnicodeChar = key.ch;
  rec.Event.KeyEvent.dwControlKeyState = key.controlState;
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    auto f = reinterpret_cast<int(KEL_API*)(const INPUT_RECORD*)>(p->Entry("ProcessEditorInputW"));
    if (f && f(&rec)) return 1;
  }
  if (editor_ && key.keyDown) editor_->ApplyKey(key);
  return 0;
}

void Host::QueueSynchro(Plugin* p, void* param) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  synchro_.emplace_back(p, param);
}

void Host::DeliverSynchroEvents() {
  for (;;) {
    std::pair<Plugin*, void*> next;
    {
      std::lock_guard<std::recursive_mutex> guard(lock_);
      if (synchro_.empty()) return;
      next = synchro_.front();
      synchro_.pop_front();
    }
    auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(next.first->Entry("ProcessSynchroEventW"));
    if (f) f(0, next.second);
  }
}

void Host::AnswerMessage(int button) { std::lock_guard<std::recursive_mutex> g(lock_); messageAnswers_.push_back(button); }
void Host::AnswerMenu(int index, int breakCode) { std::lock_guard<std::recursive_mutex> g(lock_); menuAnswers_.emplace_back(index, breakCode); }
void Host::AnswerInput(std::optional<std::wstring> text) { std::lock_guard<std::recursive_mutex> g(lock_); inputAnswers_.push_back(std::move(text)); }
void Host::AnswerDialog(DialogScript script) { std::lock_guard<std::recursive_mutex> g(lock_); dialogScripts_.push_back(std::move(script)); }
void Host::AnswerEditor(EditorSession session) { std::lock_guard<std::recursive_mutex> g(lock_); editorSessions_.push_back(std::move(session)); }

template <class Q>
static auto PopFront(Q& q) -> std::optional<typename Q::value_type> {
  if (q.empty()) return std::nullopt;
  auto v = std::move(q.front());
  q.pop_front();
  return v;
}

std::optional<int> Host::NextMessageAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(messageAnswers_); }
std::optional<std::pair<int, int>> Host::NextMenuAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(menuAnswers_); }
std::optional<std::optional<std::wstring>> Host::NextInputAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(inputAnswers_); }
std::optional<DialogScript> Host::NextDialogScript() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(dialogScripts_); }
std::optional<Host::EditorSession> Host::NextEditorSession() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(editorSessions_); }

Editor* Host::OpenEditor(const std::wstring& file, UINT codePage) {
  auto e = std::make_unique<Editor>();
  if (!e->Load(file, codePage)) return nullptr;
  editor_ = std::move(e);
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    if (auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessEditorEventW"))) f(EE_READ, nullptr);
  }
  return editor_.get();
}

void Host::CloseEditor() {
  if (!editor_) return;
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    if (auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessEditorEventW"))) f(EE_CLOSE, nullptr);
  }
  editor_.reset();
}

}  // namespace kelhost
