#include "devicebrowser/device/invoke/core/invoke.h"

#include "devicebrowser/device/invoke/core/bytes.h"

namespace handrel::invoke {
namespace {

std::vector<uint8_t> Code(uint32_t v) {
  std::vector<uint8_t> out;
  Append32(out, v);
  return out;
}

std::vector<uint8_t> Snapshot(const Request& r, InvokeDevice& dev) {
  SnapshotOptions o = ParseSnapshotOptions(r.params, r.paramsSize);
  uint32_t width = 0, height = 0, screenBits = 0;
  dev.Screen(width, height, screenBits);
  if (o.zoom == 50) {
    width /= 2;
    height /= 2;
  } else if (o.zoom == 200) {
    width *= 2;
    height *= 2;
  }
  BmpLayout layout;
  if (!ComputeBmpLayout(width, height, o.bits, layout))
    return TextAnswer(u"Can't capture the screen! Size " + Decimal(width) + u" x " + Decimal(height));
  std::vector<uint8_t> file(layout.fileSize, 0);
  WriteBmpHeaders(layout, file.data());
  if (!dev.Capture(layout, file.data() + bmp::kHeadersSize, file.data() + layout.pixelOffset))
    return TextAnswer(u"Can't capture the screen! ErrCode=" + Hex8(dev.LastError(), true));
  return file;
}

std::vector<uint8_t> Windows(InvokeDevice& dev) {
  std::vector<WindowInfo> windows;
  std::vector<uint8_t> out;
  if (!dev.Windows(windows)) return out;
  for (const auto& w : windows) AppendWindowRecord(out, w);
  return out;
}

std::vector<uint8_t> BrowserInfo(InvokeDevice& dev) {
  DeviceFacts f;
  f.version = dev.Version();
  f.memory = dev.Memory();
  f.power = dev.Power();
  dev.Screen(f.screenWidth, f.screenHeight, f.bitsPerPixel);
  Storage main{u"\\", 0, 0, 0};
  DiskSpace space;
  if (dev.FreeSpace(u"\\", space)) main = {u"\\", space.freeToCaller, space.total, space.totalFree};
  f.stores.push_back(main);
  // Storage cards: folders of the root with the temporary bit, up to three of them.
  std::vector<DirEntry> entries;
  if (dev.RootEntries(entries)) {
    for (const auto& e : entries) {
      if (f.stores.size() == device_record::kStoreCount) break;
      if ((e.attributes & (kAttrDirectory | kAttrTemporary)) != (kAttrDirectory | kAttrTemporary)) continue;
      if (e.name == u"." || e.name == u".." || e.name.empty()) continue;
      Storage card{u"\\" + e.name, 0, 0, 0};
      if (!StoragePathFits(card.path)) continue;  // a cut path would name another folder
      if (dev.FreeSpace(card.path, space)) {
        card.freeToCaller = space.freeToCaller;
        card.total = space.total;
        card.totalFree = space.totalFree;
      }
      f.stores.push_back(card);
    }
  }
  return BuildDeviceRecord(f);
}

std::vector<uint8_t> WindowAction(const Request& r, InvokeDevice& dev) {
  WindowActionRequest a = ParseWindowAction(r.params, r.paramsSize);
  if (!a.error.empty()) return TextAnswer(a.error);
  if (a.action == u"Activate") {
    if (!dev.ActivateWindow(a.handle))
      return TextAnswer(u"Can't activate window " + Hex8(a.handle, false) + u"! ErrCode=" + Hex8(dev.LastError(), true));
  } else if (a.action == u"Close") {
    if (!dev.ShowDesktop()) return TextAnswer(u"Desktop window not found! ErrCode=" + Hex8(dev.LastError(), true));
  } else if (a.action == u"Destroy") {
    if (!dev.DestroyWindow(a.handle))
      return TextAnswer(u"Can't destroy window " + Hex8(a.handle, false) + u"! ErrCode=" + Hex8(dev.LastError(), true));
  } else {
    return TextAnswer(u"Unknown action: " + a.action);
  }
  return TextAnswer(u"OK");
}

std::vector<uint8_t> MovePath(const Request& r, InvokeDevice& dev) {
  std::u16string source, destination;
  if (!ParseMoveFile(r.params, r.paramsSize, source, destination))
    return TextAnswer(Hex8(kErrorInvalidParameter, false));
  if (!dev.MovePath(source, destination)) return TextAnswer(Hex8(dev.LastError(), false));
  return TextAnswer(u"OK");
}

std::vector<uint8_t> InputEvents(const Request& r, InvokeDevice& dev) {
  InputList list = ParseInputEvents(r.params, r.paramsSize);
  if (!list.error.empty()) return TextAnswer(list.error);
  for (const auto& ev : list.events) {
    switch (ev.kind) {
      case InputKind::kChar:
        dev.PostChar(ev.a, static_cast<char16_t>(ev.b & 0xFFFF));
        break;
      case InputKind::kKey:
        dev.KeyEvent(static_cast<uint8_t>(ev.a), static_cast<uint8_t>(ev.b), ev.c, ev.d);
        break;
      case InputKind::kMouse:
        dev.MouseEvent(ev.a, ev.b, ev.c, ev.d, ev.e);
        break;
      case InputKind::kText:
        if (!dev.PostText(ev.text))
          return TextAnswer(u"PostKeybdMessage failed! ErrCode=" + Hex8(dev.LastError(), true));
        return TextAnswer(u"");
      case InputKind::kEnd:
        break;
    }
  }
  return TextAnswer(u"OK");
}

std::vector<uint8_t> DeletePath(const Request& r, InvokeDevice& dev) {
  std::u16string path;
  if (!ParsePath(r.params, r.paramsSize, path)) return Code(kErrorInvalidParameter);
  uint32_t attributes = dev.GetAttributes(path);
  if (attributes == kInvalidAttributes) return Code(dev.LastError());
  if (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) {
    if (!dev.SetAttributes(path, kAttrNormal | (attributes & kAttrDirectory))) return Code(dev.LastError());
  }
  bool done = (attributes & kAttrDirectory) ? dev.RemoveFolder(path) : dev.DeletePath(path);
  return Code(done ? 0 : dev.LastError());
}

std::vector<uint8_t> SetAttrib(const Request& r, InvokeDevice& dev) {
  uint32_t wanted = 0;
  std::u16string path;
  if (!ParseSetAttrib(r.params, r.paramsSize, wanted, path)) return Code(kErrorInvalidParameter);
  if (!dev.SetAttributes(path, wanted)) return Code(dev.LastError());
  uint32_t now = dev.GetAttributes(path);
  if (now == kInvalidAttributes) return Code(dev.LastError());
  return Code(now == wanted ? 0 : kErrorAccessDenied);
}

}  // namespace

std::vector<uint8_t> HandleRequest(const uint8_t* data, size_t size, InvokeDevice& dev) {
  Request r = ParseRequest(data, size);
  switch (r.command) {
    case Command::kEmpty: return TextAnswer(kEmptyInput);
    case Command::kUnknown: return TextAnswer(kUnknownCommand);
    case Command::kSnapshot: return Snapshot(r, dev);
    case Command::kWindows: return Windows(dev);
    case Command::kBrowserInfo: return BrowserInfo(dev);
    case Command::kWindowAction: return WindowAction(r, dev);
    case Command::kMoveFile: return MovePath(r, dev);
    case Command::kEnumContacts: return pim::EnumerateItems(dev.Pim(), r.params, r.paramsSize);
    case Command::kUpdateContact: return pim::UpdateItem(dev.Pim(), r.params, r.paramsSize);
    case Command::kInputEvent: return InputEvents(r, dev);
    case Command::kDeleteFile: return DeletePath(r, dev);
    case Command::kSetAttrib: return SetAttrib(r, dev);
  }
  return TextAnswer(kUnknownCommand);
}

}  // namespace handrel::invoke
