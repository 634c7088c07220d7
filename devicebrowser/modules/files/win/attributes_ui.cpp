// Ctrl+A: the "Attributes" dialog of a device file or folder. The boxes the user changed are set
// on the device; a file the device refuses to change (access denied) is changed by the device-side
// library instead ("SetAttrib;"). Times are shown, never written.
#include <cstring>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/modules/files/core/attributes.h"
#include "devicebrowser/modules/files/win/action_support.h"
#include "devicebrowser/modules/files/win/actions.h"

namespace handrel {

using namespace actions;
using namespace files;

namespace {

struct TimeFields {
  char date[16];
  char time[16];
};

void ShowTime(const FILETIME* time, TimeFields* out) {
  FILETIME local;
  SYSTEMTIME s;
  bool ok = time && FileTimeToLocalFileTime(time, &local) && FileTimeToSystemTime(&local, &s);
  CivilTime c{s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds};
  std::snprintf(out->date, sizeof out->date, "%s", DateText(ok ? &c : nullptr).c_str());
  std::snprintf(out->time, sizeof out->time, "%s", TimeText(ok ? &c : nullptr).c_str());
}

// The device-side library changes the attributes itself: {new word, wide path with terminator}.
// The library's answer (0 done) or the invoke's failure.
bool SetThroughLibrary(MModuleBase& module, const std::wstring& path, uint32_t attributes, uint32_t* transport,
                       uint32_t* deviceError) {
  std::vector<BYTE> payload(4 + (path.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(payload.data(), &attributes, 4);
  std::memcpy(payload.data() + 4, path.c_str(), path.size() * sizeof(wchar_t));
  DWORD answer = 0xFFFFFFFF;
  HRESULT status = module.invokeDeviceInto(L"SetAttrib;", payload.data(), static_cast<DWORD>(payload.size()), &answer,
                                           sizeof answer);
  if (status != S_OK) {
    *transport = static_cast<uint32_t>(status);
    *deviceError = CeGetLastError();
    return false;
  }
  *transport = 0;
  *deviceError = answer;
  return answer == 0;
}

}  // namespace

int EditAttributes(MModuleBase& module, int opMode) {
  PanelInfoA info;
  if (!GetPanel(PANEL_ACTIVE, &info) || info.SelectedItemsNumber > 1) return 0;
  const PluginPanelItemA* item = nullptr;
  if (info.SelectedItemsNumber == 1 && info.SelectedItems) item = &info.SelectedItems[0];
  else if (info.PanelItems && info.CurrentItem >= 0 && info.CurrentItem < info.ItemsNumber)
    item = &info.PanelItems[info.CurrentItem];
  if (!item || IsDots(*item)) return 0;
  std::wstring path;
  if (!ItemDevicePath(module, *item, opMode, &path)) return 1;
  if (opMode & kOpSilent) return 1;

  const uint32_t original = item->FileAttributes;
  const uint32_t shown = original & kAttributeBoxBits;
  uint32_t boxes = shown;
  const FILETIME* itemTimes[3] = {&item->LastWriteTime, &item->CreationTime, &item->LastAccessTime};
  const FILETIME* times[3] = {itemTimes[0], itemTimes[1], itemTimes[2]};
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  std::string oemPath = ToCodePage(CP_OEMCP, path);
  std::vector<std::string> flags = AttributeFlagTexts(original);

  for (;;) {
    DialogBuilder d(61, 16, "Attributes", "Attributes");
    d.AddText(1, 1, "Set file attributes for");
    d.AddText(2, 1, oemPath.c_str());
    d.AddSeparator(3);
    int values[kAttributeBoxCount];
    int boxItems[kAttributeBoxCount];
    for (int i = 0; i < kAttributeBoxCount; ++i) {
      values[i] = boxes & kAttributeBoxes[i].bit ? 1 : 0;
      boxItems[i] = d.AddCheckBox(4 + i, 1, kAttributeBoxes[i].label, &values[i]);
    }
    for (size_t i = 0; i < flags.size(); ++i) d.AddText(4 + static_cast<int>(i), 30, flags[i].c_str());
    d.AddSeparator(9);
    d.AddText(10, 17, "DD.MM.YYYY HH:MM:SS.FFF");
    static const char* const kRows[3] = {"Last modified:", "Creation time:", "Last accessed:"};
    TimeFields fields[3];
    for (int r = 0; r < 3; ++r) {
      ShowTime(times[r], &fields[r]);
      d.AddText(11 + r, 1, kRows[r]);
      int date = d.AddEdit(11 + r, 17, 10, fields[r].date, sizeof fields[r].date);
      int time = d.AddEdit(11 + r, 28, 12, fields[r].time, sizeof fields[r].time);
      d.Item(date).Type = DI_FIXEDIT;
      d.Item(date).Flags |= DIF_MASKEDIT;
      d.Item(date).Param.Mask = kDateMask;
      d.Item(time).Type = DI_FIXEDIT;
      d.Item(time).Flags |= DIF_MASKEDIT;
      d.Item(time).Param.Mask = kTimeMask;
    }
    int originalButton = d.AddButton(14, "&Original");
    int currentButton = d.AddButton(14, "Curre&nt");
    int blankButton = d.AddButton(14, "&Blank");
    d.AddSeparator(15);
    int set = d.AddButton(16, "Set", true);
    d.AddButton(16, "Cancel");
    int chosen = d.Run(set);

    // The redisplay buttons keep the boxes as the user left them (the host wrote them back into
    // the items); only "&Original" puts back the item's own.
    uint32_t chosenBoxes = 0;
    for (int i = 0; i < kAttributeBoxCount; ++i)
      if (d.Item(boxItems[i]).Param.Selected) chosenBoxes |= kAttributeBoxes[i].bit;
    if (chosen == originalButton) {
      boxes = shown;
      for (int r = 0; r < 3; ++r) times[r] = itemTimes[r];
      continue;
    }
    if (chosen == currentButton || chosen == blankButton) {
      boxes = chosenBoxes;
      if (chosen == currentButton) GetSystemTimeAsFileTime(&now);
      for (int r = 0; r < 3; ++r) times[r] = chosen == currentButton ? &now : nullptr;
      continue;
    }
    if (chosen != set) return 1;
    boxes = chosenBoxes;
    uint32_t wanted = ChangedAttributes(original, shown, chosenBoxes);
    if (wanted == original) return 1;
    uint32_t transport = 0, deviceError = 0;
    bool done = CeSetFileAttributes(path.c_str(), wanted) != 0;
    if (!done) {
      transport = static_cast<uint32_t>(CeRapiGetError());
      deviceError = CeGetLastError();
      if (deviceError == kErrorAccessDenied) done = SetThroughLibrary(module, path, wanted, &transport, &deviceError);
    }
    if (done) {
      RefreshPanel(PANEL_ACTIVE);
      return 1;
    }
    Say(module, opMode, "Error", AttributesErrorText(oemPath, transport, deviceError));
  }
}

}  // namespace handrel
