// A small module on the framework, for its tests: it lists the device's folders, enters those
// that exist, deletes items through the device-side library ("DeleteFile;"), makes folder paths,
// and throws from its key handler on Ctrl+T. Every other operation is the framework's default.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/common/rapi_api.h"

namespace {

using handrel::MModuleBase;

class MSampleModule : public MModuleBase {
 public:
  const char* getShortName() override { return "Sample"; }
  const char* getTitle() override { return "Sample module"; }

  int GetFindData(PluginPanelItemA** items, int* count, int) override {
    beginPanelItems();
    std::wstring pattern = L"\\" + std::wstring(currentFolder) + L"*.*";
    CE_FIND_DATA found;
    HANDLE find = CeFindFirstFile(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") addPanelItem(found.cFileName, &found);
      } while (CeFindNextFile(find, &found));
      CeFindClose(find);
    }
    takePanelItems(items, count);
    return 1;
  }

  int ExistsDirectory(const wchar_t* path, int) override {
    DWORD a = CeGetFileAttributes((L"\\" + std::wstring(path)).c_str());
    return a != 0xFFFFFFFF && (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  }

  int DeleteFiles(PluginPanelItemA* items, int count, int opMode) override {
    for (int i = 0; i < count; ++i) {
      wchar_t path[MAX_PATH];
      path[0] = L'\\';
      if (!deviceItemPath(items[i], path + 1, MAX_PATH - 1, opMode, nullptr)) return 0;
      DWORD result = 0xFFFFFFFF;
      HRESULT status = invokeDeviceInto(L"DeleteFile;", path, static_cast<DWORD>(wcslen(path) * sizeof(wchar_t)),
                                        &result, sizeof result);
      if (status != S_OK || result != 0) {
        message(opMode, "Can't delete");
        return 0;
      }
    }
    return 1;
  }

  int MakeDirectory(char* name, int) override {
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_OEMCP, 0, name, -1, wide, MAX_PATH)) return 0;
    return makeDeviceDirectory((L"\\" + std::wstring(currentFolder) + wide).c_str());
  }

  int processKey(int key, unsigned int controlState) override {
    if (key == 'T' && controlState == 1) throw std::runtime_error("the sample's key handler failed");
    return MModuleBase::processKey(key, controlState);
  }
  void onRereadKey() override { ++rereads; }
  int rereads = 0;
};

}  // namespace

MModuleBase* CreateModuleObject() { return new MSampleModule; }
