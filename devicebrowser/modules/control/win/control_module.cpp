// control.module: the remote keyboard. Entering the module runs the "Handrel Control" dialog;
// while it is open every key pressed in it and every click on a key hint goes to the device as
// input records through the device-side library ("InputEvent;"), and Alt+F10 types the computer's
// clipboard text into the device. The module serves no files, and the panel never enters it.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/modules/control/core/keyboard.h"

namespace {

using handrel::MModuleBase;
using handrel::ShowMessage;
namespace kb = handrel::control;

static_assert(kb::kModCtrl == KEY_CTRL && kb::kModAlt == KEY_ALT && kb::kModShift == KEY_SHIFT &&
                  kb::kModRightCtrl == KEY_RCTRL && kb::kModRightAlt == KEY_RALT,
              "the key table reads the host's modifier bits");

constexpr uint32_t kNewDialogsVersion = 0x0146;  // hosts from here on run our dialog handler

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

class LocalFolders : public kb::ScratchSeam {
 public:
  bool IsEmptyFolder(const std::u16string& path) override {
    DWORD a = GetFileAttributesW(W(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((W(path) + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") empty = false;
    } while (empty && FindNextFileW(find, &found));
    FindClose(find);
    return empty;
  }
  Made CreateFolder(const std::u16string& path) override {
    if (CreateDirectoryW(W(path).c_str(), nullptr)) return Made::kYes;
    return GetLastError() == ERROR_PATH_NOT_FOUND ? Made::kNever : Made::kNo;
  }
};

class MControlModule : public MModuleBase {
 public:
  const char* getShortName() override { return "Control"; }
  const char* getTitle() override { return "PPC Control"; }
  int GetFindData(PluginPanelItemA**, int*, int) override { return 0; }
  int DeleteFiles(PluginPanelItemA*, int, int) override { return 0; }

  // Runs the dialog around a scratch file; answers 0 so that the panel stays where it was.
  int Activate() override {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::u16string tempFolder = U16(std::wstring(temp, n <= MAX_PATH ? n : 0));
    LocalFolders folders;
    std::u16string folder;
    bool haveFolder = kb::FindScratchFolder(tempFolder, folders, folder);
    if (!haveFolder) folder = kb::ScratchFolder(tempFolder, 0);
    std::wstring file = W(folder) + L"\\" + W(kb::kScratchFile);

    std::string reason;
    HANDLE h = haveFolder ? CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
      reason = "Can't create file \"" + handrel::ToOem(file) + "\"\r\n";
    } else {
      // The file stays empty: nothing is requested, and nothing may be written.
      DWORD written = 0;
      if (!WriteFile(h, "", 0, &written, nullptr) || written != 0) {
        char line[64];
        std::snprintf(line, sizeof line, "Can't write to file (requested %i/written %i)\r\n", 0,
                      static_cast<int>(written));
        reason = line + handrel::ToOem(file);
      }
      CloseHandle(h);
    }
    if (reason.empty())
      runDialog();
    else
      ShowMessage("Error", ("Can't create temp file\r\n" + reason).c_str(), nullptr, FMSG_WARNING);
    if (haveFolder) {
      DeleteFileW(file.c_str());
      RemoveDirectoryW(W(folder).c_str());
    }
    return 0;
  }

  // The dialog's messages while our handler runs (new hosts only).
  intptr_t handle(HANDLE dlg, int msg, int param1, intptr_t param2) {
    const HostStartupInfoA& host = handrel::ModuleHost();
    if (msg == DN_MOUSECLICK) {
      for (size_t i = 0; i < hintItems_.size(); ++i)
        if (hintItems_[i] == param1) clickHint(dlg, kb::Hints()[i]);
    } else if (msg == DN_KEY) {
      pressKey(dlg, static_cast<uint32_t>(param2));
      return TRUE;  // every key is the device's; Esc does not close the dialog
    }
    return host.HostDefDlgProc ? host.HostDefDlgProc(dlg, msg, param1, param2) : 0;
  }

 private:
  void runDialog();

  void clickHint(HANDLE dlg, const kb::Hint& hint) {
    switch (hint.action) {
      case kb::HintAction::kKey: sendKey(hint.virtualKey, kb::Modifiers{false, hint.alt, false}); break;
      case kb::HintAction::kTypeClipboard: typeClipboard(); break;
      case kb::HintAction::kClose: close(dlg); break;
    }
  }

  void pressKey(HANDLE dlg, uint32_t hostKey) {
    kb::KeyDecision d = kb::DecideKey(hostKey);
    switch (d.action) {
      case kb::KeyAction::kSwallow: break;
      case kb::KeyAction::kVirtualKey: sendKey(static_cast<uint8_t>(d.code), d.modifiers); break;
      case kb::KeyAction::kOemCharacter: {
        char byte = static_cast<char>(d.code);
        wchar_t wide = 0;
        if (MultiByteToWideChar(CP_OEMCP, 0, &byte, 1, &wide, 1) == 1) sendCharacter(wide, d.modifiers);
        break;
      }
      case kb::KeyAction::kCharacter: sendCharacter(static_cast<wchar_t>(d.code & 0xFFFF), d.modifiers); break;
      case kb::KeyAction::kTypeClipboard: typeClipboard(); break;
      case kb::KeyAction::kClose: close(dlg); break;
    }
  }

  static void close(HANDLE dlg) {
    const HostStartupInfoA& host = handrel::ModuleHost();
    if (host.HostSendDlgMessage) host.HostSendDlgMessage(dlg, DM_CLOSE, -1, 0);
  }

  // Device requests are fire-and-forget: the answer is released, a failure changes nothing.
  void send(const std::vector<uint8_t>& records) {
    invokeDevice(L"InputEvent;", records.data(), static_cast<DWORD>(records.size()), nullptr, nullptr);
  }
  void sendKey(uint8_t virtualKey, kb::Modifiers modifiers) { send(kb::KeyRecords(virtualKey, modifiers)); }
  void sendCharacter(wchar_t character, kb::Modifiers modifiers) {
    bool left = (GetAsyncKeyState(VK_LWIN) & 0x8000) != 0, right = (GetAsyncKeyState(VK_RWIN) & 0x8000) != 0;
    send(kb::CharacterRecords(kb::CharacterFlags(modifiers, left, right), static_cast<char16_t>(character)));
  }

  void typeClipboard() {
    if (!OpenClipboard(nullptr)) {
      ShowMessage("Control", "Can't open PC clipboard", nullptr, FMSG_WARNING);
      return;
    }
    const char* error = nullptr;
    std::u16string text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) {
      error = "Can't get CF_UNICODETEXT";
    } else if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      // A text without its terminator ends with its block.
      size_t length = wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t));
      try {
        text.assign(chars, chars + length);
      } catch (const std::bad_alloc&) {
        error = "Can't allocate buffer";
      }
      GlobalUnlock(data);
    } else {
      error = "Can't lock CF_UNICODETEXT";
    }
    CloseClipboard();
    if (error) {
      ShowMessage("Control", error, nullptr, FMSG_WARNING);
      return;
    }
    if (text.empty()) return;
    if (kb::AskBeforeTyping(text.size())) {
      char question[80];
      std::snprintf(question, sizeof question, "PC clipboard length is %i chars!\nContinue?",
                    static_cast<int>(text.size()));
      if (ShowMessage("Control", question, "&Yes\n&No", FMSG_WARNING) != 0) return;
    }
    send(kb::TextRecord(text));
  }

  std::vector<int> hintItems_;  // the dialog item of each hint, in the order of kb::Hints()
};

// The module whose dialog is running (the host's thread only; the dialog is modal).
MControlModule* g_running = nullptr;

intptr_t KEL_API ControlDialogProc(HANDLE dlg, int msg, int param1, intptr_t param2) {
  std::string failure = "Unhandled exception in ControlDialogProc";
  try {
    if (g_running) return g_running->handle(dlg, msg, param1, param2);
  } catch (const std::exception& e) {
    failure += std::string("\r\n") + e.what();
    ShowMessage("Exception", failure.c_str(), nullptr, FMSG_WARNING);
  } catch (...) {
    ShowMessage("Exception", failure.c_str(), nullptr, FMSG_WARNING);
  }
  const HostStartupInfoA& host = handrel::ModuleHost();
  return host.HostDefDlgProc ? host.HostDefDlgProc(dlg, msg, param1, param2) : 0;
}

void MControlModule::runDialog() {
  handrel::DialogBuilder dialog(kb::kDialogWidth, kb::kSeparatorRow + 1, kb::kDialogTitle);
  hintItems_.clear();
  for (const kb::Hint& hint : kb::Hints()) hintItems_.push_back(dialog.AddText(hint.row, dialog.kCentre, hint.text));
  dialog.AddSeparator(kb::kSeparatorRow);
  bool handler = (handrel::ModuleHostVersion() & 0xFFFF) >= kNewDialogsVersion;
  if (handler) dialog.SetHandler(ControlDialogProc);
  MControlModule* outer = g_running;
  g_running = this;
  try {
    dialog.Run(-2);
  } catch (...) {
    g_running = outer;
    throw;
  }
  g_running = outer;
}

}  // namespace

MModuleBase* CreateModuleObject() { return new MControlModule; }
