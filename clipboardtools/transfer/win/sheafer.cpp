// Sheafer: the host's entries and the shell side of the file clipboard. Copy and cut put the
// shell's own data object for the files on the clipboard (as a shell window's Copy and Cut do),
// paste hands the clipboard's file list to the shell's file operation on a worker thread, link
// makes shortcuts to the clipboard's files in the active panel's folder.
#include <windows.h>
#include <shellapi.h>
#include "host/kel_shlobj.h"

#include <memory>
#include <string>
#include <vector>

#include "clipboardtools/transfer/core/transfer.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"

namespace {

using sheafer::Text;

kel::HostCopy gHost;
UINT gDropEffectFormat = 0;  // "Preferred DropEffect", registered at the first call
HMODULE gSelf = nullptr;

const wchar_t* W(const Text& t) { return reinterpret_cast<const wchar_t*>(t.c_str()); }
Text T(const wchar_t* s) { return s ? Text(reinterpret_cast<const char16_t*>(s)) : Text(); }

UINT DropEffectFormat() {
  if (!gDropEffectFormat) gDropEffectFormat = RegisterClipboardFormatW(L"Preferred DropEffect");
  return gDropEffectFormat;
}

// Error reports: the title line, the formatted text, the button.
void Report(int format, long long value) {
  if (!gHost.info.HostMessage) return;
  Text text = sheafer::FormatNumber(T(gHost.Msg(format)), value);
  const wchar_t* items[] = {gHost.Msg(sheafer::kMsgErrorTitle), W(text), gHost.Msg(sheafer::kMsgErrorButton)};
  gHost.info.HostMessage(gHost.info.ModuleNumber, FMSG_WARNING, L"Use", items, 3, 1);
}

void AskForRefresh() {
  if (gHost.info.HostAdvControl) gHost.info.HostAdvControl(gHost.info.ModuleNumber, ACTL_SYNCHRO, 0, nullptr);
}

// OLE for the length of one action; the paste worker has its own.
struct OleScope {
  HRESULT hr = OleInitialize(nullptr);
  ~OleScope() {
    if (SUCCEEDED(hr)) OleUninitialize();
  }
};

template <class I>
struct Com {
  I* p = nullptr;
  ~Com() {
    if (p) p->Release();
  }
  I** operator&() { return &p; }
  I* operator->() const { return p; }
};

Text FullPath(const Text& name) {
  const HostStandardFunctions* fsf = gHost.info.FSF;
  if (!fsf || !fsf->ConvertPath) return name;
  size_t need = fsf->ConvertPath(0, W(name), nullptr, 0);
  if (need == 0 || need > 65536) return name;
  std::vector<wchar_t> out(need + 1, 0);
  fsf->ConvertPath(0, W(name), out.data(), need);
  return T(out.data());
}

Text PanelFolder() { return T(gHost.PanelDirectory().c_str()); }

// The names of the active panel's selected items (the host gives the current item when none is
// selected). Each item is asked for its size first.
std::vector<Text> SelectedNames() {
  std::vector<Text> names;
  PanelInfoW info{};
  if (!gHost.info.HostPanelControl || !gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info))
    return names;
  for (int i = 0; i < info.SelectedItemsNumber; ++i) {
    int size = gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, i, nullptr);
    if (size < static_cast<int>(sizeof(PluginPanelItemW))) continue;
    std::vector<uint64_t> block((static_cast<size_t>(size) + 7) / 8);
    if (!gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, i, block.data())) continue;
    auto* item = reinterpret_cast<PluginPanelItemW*>(block.data());
    if (item->FileName && wcscmp(item->FileName, L"..") != 0) names.push_back(T(item->FileName));
  }
  return names;
}

void CopyOrCut(bool cut, const std::vector<Text>& files) {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  OleScope ole;
  Com<IMalloc> malloc;
  Com<IShellFolder> desktop;
  if (FAILED(ole.hr) || FAILED(SHGetMalloc(&malloc)) || FAILED(SHGetDesktopFolder(&desktop))) return;
  Com<IShellFolder> parent;
  std::vector<LPITEMIDLIST> items;
  int failed = 0;
  bool stopped = false;
  for (const Text& file : files) {
    Text folder, name;
    sheafer::SplitPath(FullPath(file), &folder, &name);
    if (!parent.p) {
      LPITEMIDLIST folderId = nullptr;
      std::vector<wchar_t> display(folder.begin(), folder.end());
      display.push_back(0);
      HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, display.data(), nullptr, &folderId, nullptr);
      if (SUCCEEDED(hr)) hr = desktop->BindToObject(folderId, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&parent));
      if (folderId) malloc->Free(folderId);
      if (FAILED(hr) || !parent.p) {
        Report(sheafer::kMsgOpenFolder, static_cast<long long>(static_cast<uint32_t>(hr)));
        stopped = true;
        break;
      }
    }
    std::vector<wchar_t> display(name.begin(), name.end());
    display.push_back(0);
    LPITEMIDLIST id = nullptr;
    if (SUCCEEDED(parent->ParseDisplayName(nullptr, nullptr, display.data(), nullptr, &id, nullptr)) && id)
      items.push_back(id);
    else
      ++failed;
  }
  if (!stopped) {
    if (failed) Report(sheafer::kMsgNotOnClipboard, failed);
    if (!items.empty()) {
      Com<IDataObject> data;
      HRESULT hr = parent->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()),
                                         const_cast<LPCITEMIDLIST*>(reinterpret_cast<LPITEMIDLIST*>(items.data())),
                                         IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
      if (SUCCEEDED(hr) && data.p) {
        if (cut) {
          HGLOBAL effect = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
          hr = effect ? S_OK : E_OUTOFMEMORY;
          if (effect) {
            *static_cast<DWORD*>(GlobalLock(effect)) = sheafer::kDropEffectMove;
            GlobalUnlock(effect);
            FORMATETC fmt{static_cast<CLIPFORMAT>(DropEffectFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium{};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = effect;
            hr = data->SetData(&fmt, &medium, TRUE);
            if (FAILED(hr)) GlobalFree(effect);
          }
          // The files still go on the clipboard: a paste then copies them, which loses nothing.
          if (FAILED(hr)) Report(sheafer::kMsgMoveEffect, static_cast<long long>(static_cast<uint32_t>(hr)));
        }
        // Flushed, so the files stay on the clipboard after the plugin and its data object go.
        hr = OleSetClipboard(data.p);
        if (SUCCEEDED(hr)) hr = OleFlushClipboard();
        if (FAILED(hr)) Report(sheafer::kMsgSetClipboard, static_cast<long long>(static_cast<uint32_t>(hr)));
      } else {
        Report(sheafer::kMsgSetClipboard, static_cast<long long>(static_cast<uint32_t>(hr)));
      }
    }
  }
  for (LPITEMIDLIST id : items) malloc->Free(id);
  AskForRefresh();
}

// What the clipboard holds: its file list and whether it was cut.
struct ClipboardFiles {
  std::vector<Text> paths;
  bool move = false;
};

std::optional<uint32_t> ReadDropEffect(IDataObject* data) {
  FORMATETC fmt{static_cast<CLIPFORMAT>(DropEffectFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&fmt, &medium))) return std::nullopt;
  std::optional<uint32_t> effect;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal && GlobalSize(medium.hGlobal) >= sizeof(DWORD)) {
    if (auto* p = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
      effect = *p;
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return effect;
}

Text FromAnsi(const std::string& s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return Text(reinterpret_cast<const char16_t*>(w.data()), w.size());
}

std::optional<ClipboardFiles> ReadClipboard(IDataObject** keep) {
  IDataObject* data = nullptr;
  if (FAILED(OleGetClipboard(&data)) || !data) return std::nullopt;
  ClipboardFiles files;
  files.move = sheafer::IsMove(ReadDropEffect(data));
  FORMATETC fmt{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (SUCCEEDED(data->GetData(&fmt, &medium))) {
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
      SIZE_T size = GlobalSize(medium.hGlobal);
      if (auto* p = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal))) {
        if (auto list = sheafer::ReadDropFiles(p, size, FromAnsi)) files.paths = *list;
        GlobalUnlock(medium.hGlobal);
      }
    }
    ReleaseStgMedium(&medium);
  }
  if (keep) *keep = data;
  else data->Release();
  return files;
}

// The paste worker: owns its job; holds a reference to this library so that the host unloading
// the plugin meanwhile cannot pull the code from under it.
DWORD WINAPI PasteWorker(void* param) {
  std::unique_ptr<sheafer::PasteJob> job(static_cast<sheafer::PasteJob*>(param));
  kel::FirewallVoid(
      "PasteWorker",
      [&] {
        Text to = job->folder;
        to += u'\0';
        to += u'\0';
        SHFILEOPSTRUCTW op{};
        op.wFunc = job->operation == sheafer::kPasteMove ? FO_MOVE : FO_COPY;
        op.pFrom = W(job->sources);
        op.pTo = W(to);
        op.fFlags = static_cast<FILEOP_FLAGS>(sheafer::kPasteFlags);
        SHFileOperationW(&op);
        job.reset();
        AskForRefresh();
      },
      kel::QuietReport{});
  job.reset();
  FreeLibraryAndExitThread(gSelf, 0);
  return 0;
}

void Paste() {
  OleScope ole;
  if (FAILED(ole.hr)) return;
  std::optional<ClipboardFiles> files = ReadClipboard(nullptr);
  if (!files || files->paths.empty()) return;
  auto job = std::make_unique<sheafer::PasteJob>(
      sheafer::MakePasteJob(files->move ? sheafer::kPasteMove : sheafer::kPasteCopy, PanelFolder(), files->paths));
  if (files->move && OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  HMODULE pin = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PasteWorker), &pin)) return;
  HANDLE thread = CreateThread(nullptr, 0, PasteWorker, job.get(), 0, nullptr);
  if (!thread) {
    FreeLibrary(pin);
    return;
  }
  job.release();  // the worker frees it
  CloseHandle(thread);
}

void Link() {
  OleScope ole;
  if (FAILED(ole.hr)) return;
  std::optional<ClipboardFiles> files = ReadClipboard(nullptr);
  if (files) {
    Text folder = PanelFolder();
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    for (const Text& source : files->paths) {
      std::optional<Text> name = sheafer::LinkName(
          source, [&](const Text& n) { return GetFileAttributesW(W(folder + n)) != INVALID_FILE_ATTRIBUTES; });
      HRESULT hr = E_FAIL;
      if (name) {
        Com<IShellLinkW> link;
        Com<IPersistFile> file;
        hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link));
        if (SUCCEEDED(hr)) hr = link->SetPath(W(source));
        if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(hr)) hr = file->Save(W(folder + *name), TRUE);
      }
      if (FAILED(hr)) Report(sheafer::kMsgCreateLink, static_cast<long long>(static_cast<uint32_t>(hr)));
    }
  }
  AskForRefresh();
}

int Menu() {
  if (!gHost.info.HostMenu) return -1;
  KelMenuItem items[5]{};
  const int texts[] = {sheafer::kMsgCopy, sheafer::kMsgCut, -1, sheafer::kMsgPaste, sheafer::kMsgLink};
  for (int i = 0; i < 5; ++i) {
    if (texts[i] < 0) items[i].Flags = MIF_SEPARATOR;
    else items[i].Text = gHost.Msg(texts[i]);
  }
  return gHost.info.HostMenu(gHost.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, gHost.Msg(sheafer::kMsgTitle), nullptr,
                             L"Use", nullptr, nullptr, items, 5);
}

void Run(sheafer::Action action, const std::vector<Text>& files) {
  switch (action) {
    case sheafer::kCopy:
    case sheafer::kCut:
      CopyOrCut(action == sheafer::kCut, files);
      break;
    case sheafer::kPaste:
      Paste();
      break;
    case sheafer::kLink:
      Link();
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) gSelf = instance;
  return TRUE;
}

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1148)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid(
      "SetStartupInfoW",
      [&] {
        if (!info) return;
        gHost.Take(info);
        DropEffectFormat();
      },
      kel::QuietReport{});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  kel::FirewallVoid(
      "GetPluginInfoW",
      [&] {
        static const wchar_t* menu[1];
        menu[0] = gHost.Msg(sheafer::kMsgTitle);
        *info = PluginInfoW{};
        info->StructSize = sizeof(PluginInfoW);
        info->PluginMenuStrings = menu;
        info->PluginMenuStringsNumber = 1;
        info->CommandPrefix = L"sheaf";
      },
      kel::QuietReport{});
}

HANDLE KEL_API OpenPluginW(int openFrom, intptr_t item) {
  return kel::Firewall(
      "OpenPluginW", INVALID_HANDLE_VALUE,
      [&]() -> HANDLE {
        if (!gHost.Ready()) return INVALID_HANDLE_VALUE;
        sheafer::Request request;
        if (openFrom == OPEN_COMMANDLINE && item) request = sheafer::ParseCommand(T(reinterpret_cast<const wchar_t*>(item)));
        if (request.action == sheafer::kMenu) {
          int chosen = Menu();
          if (chosen < 0 || chosen > sheafer::kLink || chosen == sheafer::kMenu) return INVALID_HANDLE_VALUE;
          request.action = static_cast<sheafer::Action>(chosen);
          if (request.action == sheafer::kCopy || request.action == sheafer::kCut) request.files = SelectedNames();
        }
        Run(request.action, request.files);
        return INVALID_HANDLE_VALUE;
      },
      kel::MessageReport{&gHost, L"Sheafer"});
}

int KEL_API ProcessSynchroEventW(int event, void*) {
  return kel::Firewall(
      "ProcessSynchroEventW", 0,
      [&]() -> int {
        if (event == 0 && gHost.info.HostPanelControl) {
          gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_UPDATEPANEL, 0, nullptr);
          gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_REDRAWPANEL, 0, nullptr);
        }
        return 0;
      },
      kel::QuietReport{});
}

}  // extern "C"
