// windows.module: the handheld's top-level windows in a host panel. Enter brings the window under
// the cursor to the front on the device, F8 "minimises" the selected ones (the device-side library
// brings its desktop forward). The list comes from "GetWindows" of the device-side library.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/modules/windows/core/windows_core.h"

namespace {

using handrel::MModuleBase;
using handrel::ModuleHost;
using namespace handrel::windows;

constexpr int kSortUnsorted = 1;
constexpr int kSortByName = 2;
constexpr size_t kPanelStateViewModeOffset = 56;  // the view-mode field of the host panel information
constexpr int kColumns = 2;                       // HWND, Class

// The host's panel mode record of the 8-bit generation (one mode: the columns of this panel).
struct PanelModeA {
  const char* ColumnTypes;
  const char* ColumnWidths;
  const char* const* ColumnTitles;
  int FullScreen;
  int DetailedStatus;
  int AlignExtensions;
  int CaseConversion;
  const char* StatusColumnTypes;
  const char* StatusColumnWidths;
  uint32_t Reserved[2];
};
static_assert(sizeof(PanelModeA) == 44, "panel mode: 11 words");

const char* const kColumnTitles[] = {"Name", "HWND", "Class"};
const PanelModeA kPanelMode = {"N,C0,C1", "30,10,0", kColumnTitles, 0, 0, 0, 0, "N", "0", {0, 0}};

char* CopyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) throw handrel::ModuleError("(char*)alloc()=NULL");
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The trace file: opened, appended to and closed for every line, so that it can be read or removed
// while the panel is open.
class FileLogSink : public LogSink {
 public:
  void Append(const std::u16string& fileName, const std::string& bytes) override {
    std::wstring name(fileName.begin(), fileName.end());
    HANDLE f = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }
};

class MWindowsModule : public MModuleBase, private WindowsSeam {
 public:
  const char* getShortName() override { return "Windows"; }
  const char* getTitle() override { return "PPC Windows"; }

  void GetOpenModuleInfo(void* record) override {
    auto* info = static_cast<OpenPluginInfoA*>(record);
    if (!info) return;
    info->PanelModesArray = &kPanelMode;
    info->PanelModesNumber = 1;
    info->StartPanelMode = '0';
    info->StartSortMode = kSortUnsorted;
  }

  int GetFindData(PluginPanelItemA** items, int* count, int opMode) override {
    FileLogSink sink;
    std::wstring logName = logFileName;
    TraceLog log(sink, std::u16string(logName.begin(), logName.end()));
    ListWindows(*this, log, (opMode & handrel::kOpSilent) != 0, list_);
    beginPanelItems();
    std::vector<const WindowEntry*> listed;
    for (const WindowEntry& e : list_.Entries()) {
      if (!e.Listed()) continue;
      addPanelItem(handrel::FromCodePage(CP_OEMCP, e.name).c_str(), nullptr);
      listed.push_back(&e);
    }
    takePanelItems(items, count);
    try {
      for (int i = 0; i < *count; ++i) {
        PluginPanelItemA& item = (*items)[i];
        const WindowEntry& e = *listed[static_cast<size_t>(i)];
        item.FileAttributes = e.attributes;
        auto** columns = static_cast<char**>(std::calloc(kColumns, sizeof(char*)));
        if (!columns) throw handrel::ModuleError("(char**)alloc()=NULL");
        item.CustomColumnData = columns;
        item.CustomColumnNumber = kColumns;
        columns[0] = CopyText(e.handleText);
        columns[1] = CopyText(e.className);
      }
    } catch (...) {
      // The host gets no list: nothing of it may stay allocated.
      FreeFindData(*items, *count);
      *items = nullptr;
      *count = 0;
      throw;
    }
    return 1;
  }

  void FreeFindData(PluginPanelItemA* items, int count) override {
    for (int i = 0; items && i < count; ++i) {
      if (items[i].CustomColumnData && validUserData(items[i])) {
        for (int c = 0; c < items[i].CustomColumnNumber && c < kColumns; ++c) std::free(items[i].CustomColumnData[c]);
        std::free(items[i].CustomColumnData);
        items[i].CustomColumnData = nullptr;
        items[i].CustomColumnNumber = 0;
      }
    }
    MModuleBase::FreeFindData(items, count);
  }

  // Windows cannot be copied.
  int GetFiles(PluginPanelItemA*, int, int, char*, int) override { return -1; }

  int DeleteFiles(PluginPanelItemA* items, int count, int opMode) override {
    // Asked even when silent: minimising is never done unasked.
    if (handrel::ShowMessage(getShortName(), "Minimize selected windows?", "Minimize\nCancel", 0) != 0) return 0;
    bool silent = (opMode & handrel::kOpSilent) != 0;
    for (int i = 0; i < count; ++i)
      if (!RunWindowAction(*this, WindowAction::kClose, HandleOf(items[i]), silent)) return 0;
    return 1;
  }

  int processKey(int key, unsigned int controlState) override {
    MModuleBase::processKey(key, controlState);
    if (key != VK_RETURN || controlState != 0) return 0;
    auto control = ModuleHost().HostPanelControl;
    if (!control) return 0;
    PanelInfoA info{};
    if (!control(PANEL_ACTIVE, FCTL_GETPANELINFO, &info)) return 0;
    if (info.SelectedItemsNumber <= 0 || info.CurrentItem <= 0 || info.CurrentItem >= info.ItemsNumber ||
        !info.PanelItems)
      return 0;
    if (RunWindowAction(*this, WindowAction::kActivate, HandleOf(info.PanelItems[info.CurrentItem]), false)) {
      control(PANEL_ACTIVE, FCTL_UPDATEPANEL, nullptr);
      control(PANEL_ACTIVE, FCTL_REDRAWPANEL, nullptr);
    }
    return 0;
  }

  int Activate() override {
    int result = MModuleBase::Activate();
    SetPanelModes(0, kSortUnsorted);
    return result;
  }

  void DeActivate() override {
    MModuleBase::DeActivate();
    int32_t stateValue = 0;
    if (startup.PanelState)
      std::memcpy(&stateValue, static_cast<const char*>(startup.PanelState) + kPanelStateViewModeOffset,
                  sizeof stateValue);
    SetPanelModes(ViewModeOnLeaving(stateValue), kSortByName);
  }

 private:
  // View mode, sort mode and the host's normal sort order on the active panel.
  void SetPanelModes(int viewMode, int sortMode) {
    auto control = ModuleHost().HostPanelControl;
    if (!control) return;
    control(PANEL_ACTIVE, FCTL_SETVIEWMODE, &viewMode);
    control(PANEL_ACTIVE, FCTL_SETSORTMODE, &sortMode);
    control(PANEL_ACTIVE, FCTL_SETSORTORDER, nullptr);
  }

  // The handle text of the HWND column (empty when the item has none: the device refuses it).
  static std::string HandleOf(const PluginPanelItemA& item) {
    if (item.CustomColumnNumber < 1 || !item.CustomColumnData || !item.CustomColumnData[0]) return std::string();
    return std::string(item.CustomColumnData[0], strnlen(item.CustomColumnData[0], kMaxHandleTextChars));
  }

  // ---- The seam over the remote API and the console helpers ------------------------------------
  InvokeResult Invoke(const std::u16string& command, const std::u16string& payload) override {
    std::wstring wideCommand(command.begin(), command.end());
    BYTE* answer = nullptr;
    DWORD size = 0;
    InvokeResult r;
    r.status = static_cast<uint32_t>(invokeDevice(wideCommand.c_str(), payload.empty() ? nullptr : payload.data(),
                                                  static_cast<DWORD>(payload.size() * sizeof(char16_t)), &answer,
                                                  &size));
    if (answer) {
      r.answered = true;
      r.answer.assign(answer, answer + size);
      LocalFree(answer);
    }
    return r;
  }
  bool TransportError() override { return CeRapiGetError() != 0; }
  uint32_t DeviceLastError() override { return CeGetLastError(); }
  bool Reconnect() override { return reconnect() == 1; }
  std::string ToOem(const std::u16string& text) override {
    std::wstring wide(text.begin(), text.end());
    return handrel::ToCodePage(CP_OEMCP, handrel::FromCodePage(CP_ACP, handrel::ToCodePage(CP_ACP, wide)));
  }
  void OpenStatus(const std::string& title, const std::string& text) override {
    status_ = std::make_unique<handrel::CPop>(title.c_str(), text.c_str());
  }
  void StatusText(const std::string& text) override {
    if (status_) status_->SetText(text.c_str());
  }
  void CloseStatus() override { status_.reset(); }
  void Warning(const std::string& text) override {
    handrel::ShowMessage(getShortName(), text.c_str(), nullptr, FMSG_WARNING);
  }

  WindowList list_;
  std::unique_ptr<handrel::CPop> status_;
};

}  // namespace

MModuleBase* CreateModuleObject() { return new MWindowsModule; }
