// kelhost: a small stand-in for the Kel host, enough to load our plugins and drive them the way
// the real host would, from tests (GoogleTest under Wine) and from scenario files (kelhost.exe).
//
// What it does:
//  - loads a plugin library of either generation and calls its entries on one host thread, in the
//    host's order: GetMinKelVersion(W), SetStartupInfo(W), then whatever the test asks for;
//  - implements the services plugins use; every user-visible call (message boxes, menus, input
//    boxes, dialogs, help) is recorded and appended to a transcript, and answered from a script;
//    a script that runs out of answers records a failure and answers Esc, it never waits;
//  - runs dialogs as a real loop over the plugin's dialog procedure, driven by DialogScript steps;
//    HostSendDlgMessage is safe from other threads (the request runs on the host thread);
//  - keeps two panels backed by real folders, an editor model, language files, a throwaway
//    settings root under HKEY_CURRENT_USER (deleted when the Host goes away);
//  - takes scripted failures: any service of the start-up record, or a system function a plugin
//    imports (allocation, clipboard, registry writes), can be made to fail on its n-th call.
//
// One Host per process at a time (the services are plain functions that find it).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/kel_plugin.h"

namespace kelhost {

class Host;
class Editor;
struct Plugin;

// ---- Recorded calls -------------------------------------------------------------------------

struct MessageCall {
  std::wstring plugin;                 // file name of the calling plugin
  uint32_t flags = 0;
  std::wstring helpTopic;
  std::vector<std::wstring> lines;     // title first, then the text lines (buttons excluded)
  std::vector<std::wstring> buttons;   // button labels (from the items or the FMSG_MB_* set)
  int answer = -1;
};

struct MenuCall {
  std::wstring plugin;
  std::wstring title, bottom, helpTopic;
  uint32_t flags = 0;
  std::vector<std::wstring> items;
  std::vector<uint32_t> itemFlags;     // MIF_* per item
  std::vector<int> breakKeys;
  int selectedOnOpen = -1;             // the item marked MIF_SELECTED, or -1
  int answer = -1;
  int breakCode = -1;
};

struct InputBoxCall {
  std::wstring title, prompt, historyName, srcText, helpTopic;
  uint32_t flags = 0;
  std::optional<std::wstring> answer;  // nullopt: cancelled
};

// A dialog item as the host keeps it while the dialog runs.
struct DialogItemState {
  int type = 0;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  uint32_t flags = 0;
  std::wstring text;
  intptr_t selected = 0;               // check state of check boxes and radio buttons
  std::wstring history;                // history name of edits (DIF_HISTORY)
  std::vector<std::wstring> list;      // combo and list box entries
  std::vector<uint32_t> listFlags;
  std::vector<intptr_t> listData;
  int listPos = -1;
  bool dropDownOpen = false;
  bool visible = true;
  bool enabled = true;
  intptr_t userData = 0;
  size_t maxLength = 0;
};

struct DialogCall {
  std::wstring plugin;                 // empty for the host's own dialogs
  GUID id{};
  bool hasId = false;
  std::wstring helpTopic;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<DialogItemState> itemsAtOpen;
  std::vector<DialogItemState> itemsAtClose;
  int exitCode = -1;
};

// ---- Dialog scripts -------------------------------------------------------------------------

// A view of a running dialog for Check steps and predicates.
class DialogView {
 public:
  virtual ~DialogView() = default;
  virtual int ItemCount() const = 0;
  virtual const DialogItemState& Item(int index) const = 0;
  virtual int Focus() const = 0;
  virtual intptr_t Send(int msg, int param1, void* param2) = 0;  // as the host would, on this thread
};

// One step of a dialog script. Steps run in order; the host pumps cross-thread requests between
// steps. When the dialog closes, the remaining steps are dropped (and recorded as a failure,
// unless the dialog closed on the last step).
struct DialogStep {
  enum Kind { Type, Key, Click, Focus, Select, Idle, WaitUntil, Check, Close } kind = Idle;
  int item = -1;
  std::wstring text;                   // Type: the new text of an edit
  uint32_t key = 0;                    // Key: a KelKeys code
  bool shift = false;                  // Click: Shift held (control state of the mouse event)
  int index = -1;                      // Select: list position
  int timeoutMs = 5000;                // WaitUntil
  std::function<bool(DialogView&)> predicate;  // WaitUntil: stop when true
  std::function<void(DialogView&)> check;      // Check: inspect or act on the running dialog
};

class DialogScript {
 public:
  DialogScript& Type(int item, std::wstring text);
  DialogScript& Key(uint32_t key);
  DialogScript& Click(int item, bool shift = false);
  DialogScript& Focus(int item);
  DialogScript& Select(int item, int index);
  DialogScript& Idle();                                   // one idle round (DN_ENTERIDLE)
  DialogScript& WaitUntil(std::function<bool(DialogView&)> predicate, int timeoutMs = 5000);
  DialogScript& Check(std::function<void(DialogView&)> check);
  DialogScript& Close(int item);                          // DM_CLOSE as if the user confirmed
  std::vector<DialogStep> steps;
};

// ---- Panels ---------------------------------------------------------------------------------

struct PanelItem {
  std::wstring name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  FILETIME writeTime{};
  bool selected = false;
  // Items of an 8-bit plugin's panel keep what the plugin listed, so the host can hand them back:
  // the name's own bytes, the flags, and a copy of the user data (the block the pointer names when
  // the item has PPIF_USERDATA, its first 32-bit word being the block's size; else the value).
  std::string oemName;
  uint32_t flags = 0;
  intptr_t userValue = 0;
  std::string userBlock;
  bool hasUserBlock = false;
  std::vector<std::string> columns;    // the custom column texts (OEM) an 8-bit plugin listed
};

// A file panel over a real folder. Items are read from the folder ("..") excluded.
class Panel {
 public:
  void SetFolder(const std::wstring& folder);  // reads the folder; clears the selection
  void Reread(bool keepSelection);             // what FCTL_UPDATEPANEL does
  void Select(const std::wstring& name, bool on = true);
  void SelectAll();
  const std::wstring& Folder() const { return folder_; }
  std::vector<PanelItem>& Items() { return items_; }
  friend class Host;
  std::vector<std::wstring> SelectedNames() const;
  int current = 0;
  int top = 0;
  bool visible = true;
  int redraws = 0;
  int updates = 0;
  int viewMode = 2;        // FCTL_SETVIEWMODE: 0..9
  int sortMode = 2;        // FCTL_SETSORTMODE: 2 by name
  bool sortReverse = false;

  // A plugin's own panel (Host::OpenPanel): the items, directory and title come from the plugin.
  Plugin* plugin = nullptr;
  HANDLE pluginHandle = nullptr;
  std::wstring pluginDir, pluginTitle, pluginFormat;
  uint32_t pluginFlags = 0;
  std::vector<std::pair<std::wstring, std::wstring>> infoLines;
  bool IsPlugin() const { return plugin != nullptr; }

 private:
  std::wstring folder_;
  std::vector<PanelItem> items_;
};

// ---- Plugins --------------------------------------------------------------------------------

struct Plugin {
  std::wstring path;
  std::wstring name;                   // file name
  HMODULE module = nullptr;
  bool unicode = true;
  intptr_t number = 0;
  std::vector<std::wstring> messages;  // language file texts
  std::map<std::string, void*> entries;  // exported entries by name
  void* Entry(const char* name) const;    // null when the plugin does not export it
  // Owned by the host for the plugin's life: the start-up record and the standard functions.
  HostStartupInfo startup{};
  HostStartupInfoA startupA{};
  // The 8-bit texts handed out by HostGetMsg, by message number: each stays where it is until the
  // plugin is unloaded, however many more are asked for.
  std::map<int, std::string> oemMessages;
  std::string oemRootKey;
};

// Editor events fed to plugins and applied by the editor when no plugin consumes them.
struct EditorKeyEvent {
  wchar_t ch = 0;          // the character (0 for none)
  WORD vk = 0;             // virtual key
  DWORD controlState = 0;  // console control-key state bits
  bool keyDown = true;
  WORD eventType = KEY_EVENT;  // KEY_EVENT, or 0x8001 for a replayed event
};

// ---- Scripted failures -----------------------------------------------------------------------

// A call that is to fail: the n-th call of `name` (counted from when the failure was scripted)
// and the `count` - 1 calls after it (count -1: every call from the n-th on).
// `name` is a service of the start-up record ("HostEditorControl", "HostSendDlgMessage", ...)
// or one of FailableImports(); `command` narrows a control service to one command or dialog
// message (ECTL_GETINFO, DM_GETDIALOGINFO, ...), -1 for any.
// A refused service answers what the real host answers when it cannot serve: 0 (null for
// HostGetMsg and HostSaveScreen, -1 for HostMessage, HostMenu and HostDialog, EEC_OPEN_ERROR
// for HostEditor). A failed import answers its documented failure (null block, FALSE, null
// handle, ERROR_ACCESS_DENIED for the registry) with the matching last error.
struct ScriptedFailure {
  std::string name;
  int command = -1;
  int nth = 1;
  int count = 1;
  int seen = 0;   // matching calls so far
  int fired = 0;  // of which failed
};

// The system functions the stand-in can make fail in a plugin (it replaces them in the plugin's
// import table when the plugin is loaded; they behave as usual until a failure is scripted).
const std::vector<std::string>& FailableImports();

// ---- The host -------------------------------------------------------------------------------

class Host {
 public:
  Host();   // creates the settings root and becomes the process's host
  ~Host();  // unloads every plugin (ExitKELW first) and deletes the settings root

  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  static Host* Current();

  // Loading. Returns null (and records a failure) when the library or its entries are missing.
  Plugin* Load(const std::wstring& path);
  void Unload(Plugin* plugin);  // ExitKEL(W), then FreeLibrary
  // The Unicode start-up record as a plugin receives it (tests may call the services directly
  // with number 0, as an anonymous plugin).
  HostStartupInfo StartupRecord(const wchar_t* modulePath, intptr_t number) const;

  // Entries, called on this thread as the host would.
  bool GetPluginInfo(Plugin* p, PluginInfoW* out);           // Unicode generation
  HANDLE OpenPlugin(Plugin* p, int openFrom, intptr_t item);
  int Configure(Plugin* p, int item);
  int EditorInput(const EditorKeyEvent& key);               // every plugin's ProcessEditorInput(W); 1 when consumed
  // The host's own dialogs (the seven kinds plugins can recognise by identifier): runs it with the
  // edit field holding `text` and the script; returns the edit's text as the host receives it.
  std::wstring RunHostDialog(int kind, const std::wstring& text, DialogScript script);
  static const GUID& HostDialogId(int kind);                // kind 0..6
  static const wchar_t* HostDialogTitle(int kind);
  void DeliverSynchroEvents();                              // runs queued ProcessSynchroEventW calls

  // A plugin's own panel in the active panel: OpenPlugin(W), then its information and listing.
  // False when the plugin opened no panel.
  bool OpenPanel(Plugin* p, int openFrom, intptr_t item);
  bool PanelSetDirectory(const std::wstring& dir, int opMode = 0);  // the plugin's SetDirectory
  int PanelKey(int key, unsigned controlState);                      // the plugin's ProcessKey
  void ClosePanel();                                                 // ClosePlugin; back to the folder
  void RefreshPluginPanel(Panel& panel);                            // GetOpenPluginInfo + GetFindData
  // An 8-bit plugin's panel operations, as the host runs them (panels_a.cpp). Items go out with
  // their user data copied; with nothing selected the current item is the selection.
  //  - PanelEnter: Enter on the current item: a folder's SetDirectory (".." puts the cursor on the
  //    folder it came from); false for a file or when the plugin refuses.
  //  - PanelGetFiles: F5/F6 from the active plugin panel into the passive panel's folder.
  //  - PanelPutFiles: F5/F6 from the active panel (a folder or another plugin's panel) into the
  //    passive plugin panel.
  //  - PanelDeleteFiles, PanelMakeDirectory (name in: what the user typed; out: the plugin's).
  // Each answers the plugin's result and re-reads both panels after it.
  bool PanelEnter(int opMode = 0);
  int PanelGetFiles(bool move, int opMode = 0, std::wstring* destPath = nullptr);
  int PanelPutFiles(bool move, int opMode = 0);
  int PanelDeleteFiles(int opMode = 0);
  int PanelMakeDirectory(std::wstring& name, int opMode = 0);

  // Scripted answers, consumed in order.
  void AnswerMessage(int button);                           // -1: Esc
  void AnswerMenu(int index, int breakCode = -1);           // -1: Esc
  void AnswerInput(std::optional<std::wstring> text);       // nullopt: Esc
  void AnswerDialog(DialogScript script);
  using EditorSession = std::function<void(Editor&)>;
  void AnswerEditor(EditorSession session);                 // what the user does in a modal HostEditor

  // Scripted failures (see ScriptedFailure). Each refusal is recorded in `refusals` and in the
  // transcript as "[refused] NAME"; a name the stand-in does not know is a failure.
  void FailCall(const std::string& name, int nth = 1, int count = 1, int command = -1);
  void ClearFailures();
  bool ShouldFail(const char* name, int command);  // counts one call; true when it must fail
  // The calls of `name` counted by the failure scripted last for it (0 when none): with a failure
  // that never comes due (nth = INT_MAX) a test learns how many calls a run makes.
  int CallsSeen(const std::string& name);
  std::vector<std::wstring> refusals;
  // The registry key paths plugins opened, created or deleted through the replaced imports, as
  // they spelled them (recorded whether or not a failure is scripted).
  std::vector<std::wstring> registryKeys;
  // How long HostSendDlgMessage from another thread waits for a request that the host thread has
  // not taken up yet (a request already running is always waited for to its end).
  int crossThreadWaitMs = 60000;
  // The root settings key as plugins receive it (empty: RootKey()); lets tests hand out other
  // spellings of the same key, such as one ending in a backslash.
  std::wstring startupRootKey;

  // Observation.
  std::vector<MessageCall> messages;
  std::vector<MenuCall> menus;
  std::vector<InputBoxCall> inputBoxes;
  std::vector<DialogCall> dialogs;
  std::vector<std::wstring> helpTopics;
  std::vector<std::wstring> transcript;                     // what a user would have seen, in order
  std::vector<std::wstring> failures;                       // script ran out, bad calls...
  std::vector<int> progressStates;
  std::vector<KelProgressValue> progressValues;
  int progressNotifies = 0;
  int redrawAll = 0;
  std::vector<std::vector<uint32_t>> postedKeys;
  std::function<void(const std::wstring&)> onTranscript;    // e.g. print as it happens
  std::function<void(const std::wstring&)> onFailure;       // e.g. ADD_FAILURE in tests

  // Environment.
  Panel& ActivePanel() { return panels_[active_]; }
  Panel& PassivePanel() { return panels_[1 - active_]; }
  void SwapPanels() { active_ = 1 - active_; }
  const std::wstring& RootKey() const { return rootKey_; }  // below HKEY_CURRENT_USER
  uint32_t version = KelMakeVersion(2, 0, 2000);
  SMALL_RECT kelRect{0, 0, 79, 24};                         // the host window in console cells
  bool kelRectAvailable = true;
  std::wstring language = L"English";
  std::wstring commandLine;                                 // FCTL_GETCMDLINE / FCTL_SETCMDLINE

  // The editor (one at a time). OpenEditor loads a file into it (returns null on failure).
  Editor* OpenEditor(const std::wstring& file, UINT codePage = 0);
  Editor* CurrentEditor() { return editor_.get(); }
  void CloseEditor();

  // Internal: used by the services.
  void Record(const std::wstring& line);
  void Fail(const std::wstring& what);
  Plugin* PluginByNumber(intptr_t number);
  Plugin* PluginByModulePath(const std::wstring& path);
  std::vector<std::unique_ptr<Plugin>>& Plugins() { return plugins_; }
  std::optional<int> NextMessageAnswer();
  std::optional<std::pair<int, int>> NextMenuAnswer();
  std::optional<std::optional<std::wstring>> NextInputAnswer();
  std::optional<DialogScript> NextDialogScript();
  std::optional<EditorSession> NextEditorSession();
  void QueueSynchro(Plugin* p, void* param);
  DWORD HostThread() const { return thread_; }
  std::recursive_mutex& Lock() { return lock_; }

 private:
  std::vector<std::unique_ptr<Plugin>> plugins_;
  std::deque<int> messageAnswers_;
  std::deque<std::pair<int, int>> menuAnswers_;
  std::deque<std::optional<std::wstring>> inputAnswers_;
  std::deque<DialogScript> dialogScripts_;
  std::deque<EditorSession> editorSessions_;
  std::deque<std::pair<Plugin*, void*>> synchro_;
  Panel panels_[2];
  int active_ = 0;
  std::wstring rootKey_;
  std::unique_ptr<Editor> editor_;
  DWORD thread_ = 0;
  std::recursive_mutex lock_;
  intptr_t nextNumber_ = 1;
  std::vector<ScriptedFailure> faults_;
  std::atomic<bool> anyFaults_{false};  // lets every call pass without the lock while none is scripted
};

// Loads a language file (the host's format: a ".Language=" header line, then one quoted text per
// line, numbered from 0; "//" comments; UTF-8). Returns the texts, empty when unreadable.
std::vector<std::wstring> LoadLanguageFile(const std::wstring& path);

// The key code an 8-bit plugin's dialog procedure receives (DN_KEY) when a script presses `key`
// (a KelKeys code): the key in the low 16 bits (0x100 + the virtual key for keys that are not
// characters, a character as its OEM byte), the modifier bits unchanged.
uint32_t DialogKeyA(uint32_t key);

// UTF-8 <-> UTF-16 for transcripts and scenario files.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace kelhost
