// Mendlet: repairs the clipboard's Unicode text when it was made by widening the 8-bit text
// byte by byte. Every failure leaves the clipboard as it was and shows nothing.
#include <windows.h>

#include <cstring>
#include <vector>

#include "clipboardtools/fixer/core/widened.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"

namespace {

kel::HostCopy gHost;  // the host's records, copied once (by the size the host's record gives)
constexpr uint32_t kSysId = 0x4D644C74;  // "MdLt"

// A locked global block, unlocked when it goes.
class Locked {
 public:
  explicit Locked(HANDLE h) : handle_(h), data_(h ? GlobalLock(h) : nullptr) {}
  ~Locked() {
    if (data_) GlobalUnlock(handle_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  void* data() const { return data_; }
  size_t size() const { return data_ ? GlobalSize(handle_) : 0; }

 private:
  HANDLE handle_;
  void* data_;
};

class ClipboardOpen {
 public:
  ClipboardOpen() : open_(OpenClipboard(nullptr) != FALSE) {}
  ~ClipboardOpen() {
    if (open_) CloseClipboard();
  }
  ClipboardOpen(const ClipboardOpen&) = delete;
  ClipboardOpen& operator=(const ClipboardOpen&) = delete;
  bool ok() const { return open_; }

 private:
  bool open_;
};

bool FromAnsi(const uint8_t* bytes, size_t count, std::vector<uint16_t>* out) {
  int need = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(count), nullptr, 0);
  if (need <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(need));
  if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(count), wide.data(), need) != need)
    return false;
  out->assign(wide.begin(), wide.end());
  return true;
}

void Repair() {
  ClipboardOpen clipboard;
  if (!clipboard.ok()) return;
  if (EnumClipboardFormats(0) != CF_TEXT || !IsClipboardFormatAvailable(CF_UNICODETEXT)) return;
  HANDLE ansiHandle = GetClipboardData(CF_TEXT);
  HANDLE wideHandle = GetClipboardData(CF_UNICODETEXT);
  if (!ansiHandle || !wideHandle) return;
  std::vector<uint16_t> repaired;
  {
    Locked ansi(ansiHandle), wide(wideHandle);
    if (!ansi.data() || !wide.data()) return;
    // The walk never leaves the blocks, terminated or not.
    auto fixed = mendlet::RepairWidened(static_cast<const uint8_t*>(ansi.data()), ansi.size(),
                                        static_cast<const uint16_t*>(wide.data()), wide.size() / 2, FromAnsi);
    if (!fixed) return;
    repaired = std::move(*fixed);
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, repaired.size() * sizeof(uint16_t));
  if (!block) return;
  void* data = GlobalLock(block);
  if (!data) {
    GlobalFree(block);
    return;
  }
  std::memcpy(data, repaired.data(), repaired.size() * sizeof(uint16_t));
  GlobalUnlock(block);
  // The clipboard owns the block once it accepts it.
  if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
}

}  // namespace

extern "C" {

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid("SetStartupInfoW", [&] { gHost.Take(info); }, kel::QuietReport{});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  static const wchar_t* const kMenu[] = {L"Clipboard fixer"};
  *info = PluginInfoW{};
  info->StructSize = sizeof(PluginInfoW);
  info->Flags = PF_EDITOR | PF_DIALOG;
  info->PluginMenuStrings = kMenu;
  info->PluginMenuStringsNumber = 1;
  info->SysID = kSysId;
}

HANDLE KEL_API OpenPluginW(int, intptr_t) {
  kel::FirewallVoid("OpenPluginW", [] { Repair(); }, kel::QuietReport{});
  return INVALID_HANDLE_VALUE;
}

}  // extern "C"
