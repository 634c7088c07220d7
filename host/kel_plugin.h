// The plugin interface of Kel, the host file manager: the records it hands to plugins, the
// services it offers and the values they exchange, for both host generations.
//
// Unicode generation: entries with the suffix "W", texts UTF-16. 8-bit generation: entries
// without suffix, texts in the console's OEM code page; its records carry the sizes older hosts
// used (see the static_asserts at the end).
//
// Threads: the host calls every entry on its own thread. Every service must be called on that
// thread, except HostSendDlgMessage, which a plugin's worker thread may use on a running dialog
// (the host runs the request on its thread and returns the answer).
//
// Where a value is the host's own choice (command codes, dialog messages, key codes), it is
// chosen once here; plugins and the host stand-in use these names only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#define KEL_API __stdcall

// Host version word: build << 16 | major << 8 | minor (0x043E0200 is 2.0 build 1086).
constexpr uint32_t KelMakeVersion(uint32_t major, uint32_t minor, uint32_t build) {
  return (build << 16) | (major << 8) | minor;
}

// ---------------------------------------------------------------------------------------------
// Common values

// Open-from codes given to OpenPluginW / OpenPlugin.
enum KelOpenFrom : int {
  OPEN_DISKMENU = 0,
  OPEN_PLUGINSMENU = 1,
  OPEN_FINDLIST = 2,
  OPEN_SHORTCUT = 3,
  OPEN_COMMANDLINE = 4,
  OPEN_EDITOR = 5,
  OPEN_VIEWER = 6,
  OPEN_FILEPANEL = 7,
  OPEN_DIALOG = 8,
};

// PluginInfo flags.
enum KelPluginFlags : uint32_t {
  PF_PRELOAD = 1,        // load when the host starts
  PF_DISABLEPANELS = 2,  // not offered in the panels' plugin menu
  PF_EDITOR = 4,         // offered in the editor
  PF_VIEWER = 8,         // offered in the viewer
  PF_FULLCMDLINE = 16,   // receives the whole command line, prefix included
  PF_DIALOG = 32,        // offered in dialogs
};

// Operation mode passed to panel operations; its silent bit forbids every dialog and message.
enum KelOperationMode : int {
  OPM_SILENT = 1,
  OPM_FIND = 2,
  OPM_VIEW = 4,
  OPM_EDIT = 8,
  OPM_TOPLEVEL = 16,
  OPM_DESCR = 32,
  OPM_QUICKVIEW = 64,
};

// Panel item flags.
enum KelPanelItemFlags : uint32_t {
  PPIF_PROCESSDESCR = 0x80000000,
  PPIF_SELECTED = 0x40000000,
  PPIF_USERDATA = 0x20000000,
};

// HostMessage flags. The button set lives in bits 16..19; without one the items name the
// buttons (the last buttonsNumber items).
enum KelMessageFlags : uint32_t {
  FMSG_WARNING = 0x00000001,
  FMSG_ERRORTYPE = 0x00000002,  // add the text of GetLastError
  FMSG_KEEPBACKGROUND = 0x00000004,
  FMSG_LEFTALIGN = 0x00000010,
  FMSG_ALLINONE = 0x00000020,  // items is one text, lines separated by "\n", the first the title
  FMSG_MB_OK = 0x00010000,
  FMSG_MB_OKCANCEL = 0x00020000,
  FMSG_MB_ABORTRETRYIGNORE = 0x00030000,
  FMSG_MB_YESNO = 0x00040000,
  FMSG_MB_YESNOCANCEL = 0x00050000,
  FMSG_MB_RETRYCANCEL = 0x00060000,
  FMSG_MB_MASK = 0x000F0000,
};

// HostMenu flags.
enum KelMenuFlags : uint32_t {
  FMENU_SHOWAMPERSAND = 0x0001,
  FMENU_WRAPMODE = 0x0002,  // the highlight wraps from the last item to the first
  FMENU_AUTOHIGHLIGHT = 0x0004,
  FMENU_REVERSEAUTOHIGHLIGHT = 0x0008,
  FMENU_USEEXT = 0x0020,  // items are KelMenuItemEx (8-bit generation only)
  FMENU_CHANGECONSOLETITLE = 0x0040,
};

// KelMenuItem flags (Unicode generation).
enum KelMenuItemFlags : uint32_t {
  MIF_SELECTED = 0x00010000,
  MIF_CHECKED = 0x00020000,
  MIF_SEPARATOR = 0x00040000,
  MIF_DISABLE = 0x00080000,
  MIF_GRAYED = 0x00100000,
  MIF_HIDDEN = 0x00200000,
};

// HostInputBox flags.
enum KelInputBoxFlags : uint32_t {
  FIB_ENABLEEMPTY = 0x0001,
  FIB_PASSWORD = 0x0002,
  FIB_EXPANDENV = 0x0004,
  FIB_NOUSELASTHISTORY = 0x0008,
  FIB_BUTTONS = 0x0010,
  FIB_NOAMPERSAND = 0x0020,
};

// Key codes used by menus' break keys and dialog key messages: a character or virtual key in
// the low bits, modifiers above. Function and other virtual keys are KEY_FKEYBASE plus the
// virtual-key code.
enum KelKeys : uint32_t {
  KEY_CTRL = 0x01000000,
  KEY_ALT = 0x02000000,
  KEY_SHIFT = 0x04000000,
  KEY_RCTRL = 0x10000000,
  KEY_RALT = 0x20000000,
  KEY_FKEYBASE = 0x00010000,
  KEY_BS = 8,
  KEY_TAB = 9,
  KEY_ENTER = 13,
  KEY_ESC = 27,
  KEY_SPACE = 32,
  KEY_F1 = KEY_FKEYBASE + 0x70,
  KEY_F2 = KEY_FKEYBASE + 0x71,
  KEY_F3 = KEY_FKEYBASE + 0x72,
  KEY_F4 = KEY_FKEYBASE + 0x73,
  KEY_F5 = KEY_FKEYBASE + 0x74,
  KEY_F6 = KEY_FKEYBASE + 0x75,
  KEY_F7 = KEY_FKEYBASE + 0x76,
  KEY_F8 = KEY_FKEYBASE + 0x77,
  KEY_F9 = KEY_FKEYBASE + 0x78,
  KEY_F10 = KEY_FKEYBASE + 0x79,
  KEY_PGUP = KEY_FKEYBASE + 0x21,
  KEY_PGDN = KEY_FKEYBASE + 0x22,
  KEY_END = KEY_FKEYBASE + 0x23,
  KEY_HOME = KEY_FKEYBASE + 0x24,
  KEY_LEFT = KEY_FKEYBASE + 0x25,
  KEY_UP = KEY_FKEYBASE + 0x26,
  KEY_RIGHT = KEY_FKEYBASE + 0x27,
  KEY_DOWN = KEY_FKEYBASE + 0x28,
  KEY_INS = KEY_FKEYBASE + 0x2D,
  KEY_DEL = KEY_FKEYBASE + 0x2E,
  KEY_NUMPAD0 = KEY_FKEYBASE + 0x60,  // the keypad's digits are KEY_NUMPAD0 + n
  KEY_NUMPAD2 = KEY_FKEYBASE + 0x62,
  KEY_NUMPAD8 = KEY_FKEYBASE + 0x68,
  KEY_ADD = KEY_FKEYBASE + 0x6B,      // grey + of the keypad
  KEY_MSWHEEL_UP = KEY_FKEYBASE + 0x200,    // the mouse wheel, as keys (with the modifiers held)
  KEY_MSWHEEL_DOWN = KEY_FKEYBASE + 0x201,
  KEY_NUMENTER = KEY_FKEYBASE + 0x10D,  // Enter of the keypad (extended Enter)
  KEY_CTRLBREAK = KEY_CTRL | (KEY_FKEYBASE + 0x03),
  KEY_NONE = 0x00000000,
};

// ---------------------------------------------------------------------------------------------
// Unicode generation

struct KelListItem {
  uint32_t Flags;  // LIF_*
  const wchar_t* Text;
  uint32_t Reserved[2];
};
enum KelListItemFlags : uint32_t {
  LIF_SELECTED = 0x00010000,
  LIF_CHECKED = 0x00020000,
  LIF_SEPARATOR = 0x00040000,
  LIF_DISABLE = 0x00080000,
  LIF_GRAYED = 0x00100000,
};
struct KelList {
  int ItemsNumber;
  KelListItem* Items;
};

// Dialog item types. The edit field is 4.
enum KelDialogItemType : int {
  DI_TEXT = 0,
  DI_VTEXT = 1,
  DI_SINGLEBOX = 2,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,
  DI_FIXEDIT = 6,
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
  DI_COMBOBOX = 10,
  DI_LISTBOX = 11,
  DI_USERCONTROL = 255,
};

// Dialog item flags.
enum KelDialogItemFlags : uint32_t {
  DIF_DEFAULTBUTTON = 0x00000001,  // the default button (Enter)
  DIF_FOCUS = 0x00000002,          // has the focus when the dialog opens
  DIF_BOXCOLOR = 0x00000200,
  DIF_GROUP = 0x00000400,          // first radio button of a group
  DIF_LEFTTEXT = 0x00000800,
  DIF_CENTERGROUP = 0x00001000,    // buttons of the row are centred together
  DIF_CENTERTEXT = 0x00002000,
  DIF_NOBRACKETS = 0x00004000,
  DIF_SEPARATOR = 0x00010000,
  DIF_SEPARATOR2 = 0x00020000,
  DIF_HISTORY = 0x00040000,        // Param.History names the edit's history
  DIF_MASKEDIT = 0x00080000,       // Param.Mask holds the input mask of a fixed edit
  DIF_DROPDOWNLIST = 0x00100000,
  DIF_EDITOR = 0x00200000,
  DIF_READONLY = 0x00400000,
  DIF_LISTNOBOX = 0x00800000,
  DIF_3STATE = 0x01000000,
  DIF_BTNNOCLOSE = 0x02000000,     // a button that does not close the dialog
  DIF_HIDDEN = 0x40000000,
  DIF_DISABLE = 0x80000000,
};

struct KelDialogItem {
  int Type;  // KelDialogItemType
  int X1, Y1, X2, Y2;
  union {
    intptr_t Selected;       // check box / radio button state
    const wchar_t* History;  // edit history name (DIF_HISTORY)
    const wchar_t* Mask;     // fixed-edit mask (DIF_MASKEDIT)
    KelList* ListItems;      // combo box and list box items
    intptr_t Reserved;
  } Param;
  uint32_t Flags;         // KelDialogItemFlags
  const wchar_t* Data;    // text of the item
  size_t MaxLength;       // longest text an edit accepts (0: no limit)
  intptr_t UserData;
};

// Answer of DM_GETDLGITEM: the item followed by its text; Data points into the same block.
struct KelDialogItemBuffer {
  size_t Size;          // bytes available at Item
  KelDialogItem* Item;  // the block to fill
};

struct KelDialogItemData {
  size_t PtrLength;
  const wchar_t* PtrData;
};

struct KelDialogInfo {
  size_t StructSize;  // set by the caller; 20 on the 32-bit platform
  GUID Id;            // the dialog's identifier
};

struct KelSmallRect {
  int Left, Top, Right, Bottom;
};

struct KelListPos {
  int SelectPos;
  int TopPos;
};

struct KelListUpdate {
  int Index;
  KelListItem Item;
};

struct KelListItemData {  // DM_LISTSETDATA / DM_LISTGETDATA
  int Index;
  intptr_t Data;
};

struct KelListInfo {
  size_t StructSize;
  int ItemsNumber;
  int SelectPos;
  int TopPos;
};

// HostSendDlgMessage messages (DM_*) and notifications to the dialog procedure (DN_*).
enum KelDialogMessage : int {
  DM_FIRST = 0,
  DM_CLOSE = 1,         // p1: item that closes (-1 Esc)
  DM_ENABLE = 2,        // p1 item, p2: 1 enable, 0 disable, -1 query; returns previous
  DM_ENABLEREDRAW = 3,
  DM_GETDLGDATA = 4,
  DM_GETDLGITEM = 5,    // p1 item, p2 KelDialogItemBuffer* or null: returns the bytes needed
  DM_GETDLGRECT = 6,
  DM_GETTEXT = 7,       // p1 item, p2 KelDialogItemData* (PtrData null: length); returns length
  DM_KEY = 9,
  DM_MOVEDIALOG = 10,
  DM_SETDLGDATA = 11,
  DM_SETDLGITEM = 12,
  DM_SETFOCUS = 13,     // p1 item
  DM_REDRAW = 14,
  DM_SETTEXT = 15,      // p1 item, p2 KelDialogItemData*
  DM_SETMAXTEXTLENGTH = 16,
  DM_SHOWDIALOG = 17,
  DM_GETFOCUS = 18,
  DM_GETCURSORPOS = 19,
  DM_SETCURSORPOS = 20,
  DM_GETTEXTPTR = 21,   // 8-bit generation: p1 item, p2 a 512-byte buffer; returns the length
  DM_SETTEXTPTR = 22,   // p1 item, p2 const wchar_t*
  DM_SHOWITEM = 23,     // p1 item, p2: 1 show, 0 hide, -1 query
  DM_ADDHISTORY = 24,
  DM_GETCHECK = 25,     // p1 item; returns BSTATE_*
  DM_SETCHECK = 26,     // p1 item, p2 BSTATE_*
  DM_SET3STATE = 27,
  DM_LISTSORT = 28,
  DM_LISTGETITEM = 29,    // p1 item, p2 KelListUpdate* (Index in, Item out)
  DM_LISTGETCURPOS = 30,  // p1 item, p2 KelListPos* or null; returns the selected position
  DM_LISTSETCURPOS = 31,  // p1 item, p2 KelListPos*
  DM_LISTDELETE = 32,     // p1 item, p2 null: delete all
  DM_LISTADD = 33,        // p1 item, p2 KelList*
  DM_LISTADDSTR = 34,     // p1 item, p2 const wchar_t*
  DM_LISTUPDATE = 35,     // p1 item, p2 KelListUpdate*
  DM_LISTINSERT = 36,
  DM_LISTFINDSTRING = 37,
  DM_LISTINFO = 38,       // p1 item, p2 KelListInfo*
  DM_LISTGETDATA = 39,    // p1 item, p2 (intptr_t)index; returns the data
  DM_LISTSETDATA = 40,    // p1 item, p2 KelListItemData*
  DM_LISTSETTITLES = 41,
  DM_LISTGETTITLES = 42,
  DM_RESIZEDIALOG = 43,
  DM_SETITEMPOSITION = 44,
  DM_GETDROPDOWNOPENED = 45,
  DM_SETDROPDOWNOPENED = 46,  // p1 item, p2 1 open
  DM_SETHISTORY = 47,
  DM_GETITEMPOSITION = 48,
  DM_SETMOUSEEVENTNOTIFY = 49,
  DM_EDITUNCHANGEDFLAG = 50,
  DM_GETITEMDATA = 51,
  DM_SETITEMDATA = 52,
  DM_LISTSET = 53,
  DM_GETCURSORSIZE = 54,
  DM_SETCURSORSIZE = 55,
  DM_LISTGETDATASIZE = 56,
  DM_GETSELECTION = 57,
  DM_SETSELECTION = 58,
  DM_GETEDITPOSITION = 59,
  DM_SETEDITPOSITION = 60,
  DM_SETCOMBOBOXEVENT = 61,
  DM_GETCOMBOBOXEVENT = 62,
  DM_GETCONSTTEXTPTR = 63,
  DM_GETDIALOGINFO = 64,  // p2 KelDialogInfo* with StructSize set; nonzero on success
  DN_FIRST = 0x1000,
  DN_BTNCLICK = 0x1001,     // p1 item, p2 new state for check boxes
  DN_CTLCOLORDIALOG = 0x1002,
  DN_CTLCOLORDLGITEM = 0x1003,
  DN_CTLCOLORDLGLIST = 0x1004,
  DN_DRAWDIALOG = 0x1005,
  DN_DRAWDLGITEM = 0x1006,
  DN_EDITCHANGE = 0x1007,   // p1 item, p2 KelDialogItem* (its new text)
  DN_ENTERIDLE = 0x1008,
  DN_GOTFOCUS = 0x1009,     // p1 item
  DN_HELP = 0x100A,
  DN_HOTKEY = 0x100B,
  DN_INITDIALOG = 0x100C,   // p2 the dialog's parameter
  DN_KILLFOCUS = 0x100D,    // p1 item; return -1 to let it go, or an item to keep the focus
  DN_LISTCHANGE = 0x100E,   // p1 item, p2 new position
  DN_MOUSECLICK = 0x100F,   // p1 item, p2 MOUSE_EVENT_RECORD*
  DN_DRAGGED = 0x1010,
  DN_RESIZECONSOLE = 0x1011,
  DN_MOUSEEVENT = 0x1012,
  DN_DRAWDIALOGDONE = 0x1013,
  DN_LISTHOTKEY = 0x1014,
  DN_CLOSE = 0x1015,        // p1 item that closes the dialog (-1 Esc); return FALSE to keep it
  DN_KEY = 0x1016,          // p1 focused item, p2 the key (KelKeys); return TRUE when handled
  DM_USER = 0x4000,         // the first user message
};

enum KelCheckState : int { BSTATE_UNCHECKED = 0, BSTATE_CHECKED = 1, BSTATE_3STATE = 2, BSTATE_TOGGLE = 3 };

// HostDialog flags.
enum KelDialogFlags : uint32_t {
  FDLG_WARNING = 0x1,
  FDLG_SMALLDIALOG = 0x2,
  FDLG_NODRAWSHADOW = 0x4,
  FDLG_NODRAWPANEL = 0x8,
};

// ProcessDialogEventW events and their record.
enum KelDialogEvent : int {
  DE_DLGPROCINIT = 0,     // before the dialog's own procedure sees the message
  DE_DEFDLGPROCINIT = 1,  // before the host's default procedure handles it
  DE_DLGPROCEND = 2,      // after the dialog's procedure
};
struct KelDialogEventInfo {
  HANDLE hDlg;
  int Msg;
  int Param1;
  void* Param2;
  intptr_t Result;
};

// Panel records.
struct PluginPanelItemW {
  uint32_t FileAttributes;
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  uint64_t FileSize;
  uint64_t PackSize;
  const wchar_t* FileName;
  const wchar_t* AlternateFileName;
  uint32_t Flags;  // KelPanelItemFlags
  uint32_t NumberOfLinks;
  const wchar_t* Description;
  const wchar_t* Owner;
  const wchar_t* const* CustomColumnData;
  int CustomColumnNumber;
  intptr_t UserData;
  uint32_t CRC32;
  intptr_t Reserved[2];
};

enum KelPanelType : int { PTYPE_FILEPANEL = 0, PTYPE_TREEPANEL = 1, PTYPE_QVIEWPANEL = 2, PTYPE_INFOPANEL = 3 };
enum KelPanelInfoFlags : uint32_t {
  PFLAGS_SHOWHIDDEN = 0x1,
  PFLAGS_HIGHLIGHT = 0x2,
  PFLAGS_REVERSESORTORDER = 0x4,
  PFLAGS_USESORTGROUPS = 0x8,
  PFLAGS_SELECTEDFIRST = 0x10,
  PFLAGS_REALNAMES = 0x20,
  PFLAGS_PLUGIN = 0x800,
  PFLAGS_VISIBLE = 0x1000,
  PFLAGS_FOCUS = 0x2000,
};
struct PanelInfoW {
  int PanelType;      // KelPanelType
  int Plugin;         // nonzero for a plugin's panel
  RECT PanelRect;
  int ItemsNumber;
  int SelectedItemsNumber;
  int CurrentItem;
  int TopPanelItem;
  int Visible;
  int Focus;
  int ViewMode;
  int SortMode;
  uint32_t Flags;     // KelPanelInfoFlags
  uint32_t Reserved;
};

struct PanelRedrawInfoW {
  int CurrentItem;
  int TopPanelItem;
};

// Flags of OpenPluginInfo (both generations).
enum KelOpenPluginFlags : uint32_t {
  OPIF_USEFILTER = 0x0001,
  OPIF_USESORTGROUPS = 0x0002,
  OPIF_USEHIGHLIGHTING = 0x0004,
  OPIF_ADDDOTS = 0x0008,          // the host adds the ".." item
  OPIF_RAWSELECTION = 0x0010,
  OPIF_REALNAMES = 0x0020,
  OPIF_SHOWNAMESONLY = 0x0040,
  OPIF_SHOWRIGHTALIGNNAMES = 0x0080,
  OPIF_SHOWPRESERVECASE = 0x0100,
  OPIF_COMPAREFATTIME = 0x0400,   // compare times with two-second precision
  OPIF_EXTERNALGET = 0x0800,
  OPIF_EXTERNALPUT = 0x1000,
  OPIF_EXTERNALDELETE = 0x2000,
  OPIF_EXTERNALMKDIR = 0x4000,
  OPIF_USEATTRHIGHLIGHTING = 0x8000,
};

struct InfoPanelLineW {
  const wchar_t* Text;
  const wchar_t* Data;
  int Separator;
};

// What a plugin's panel tells the host (GetOpenPluginInfoW).
struct OpenPluginInfoW {
  int StructSize;
  uint32_t Flags;  // KelOpenPluginFlags
  const wchar_t* HostFile;
  const wchar_t* CurDir;
  const wchar_t* Format;
  const wchar_t* PanelTitle;
  const InfoPanelLineW* InfoLines;
  int InfoLinesNumber;
  const wchar_t* const* DescrFiles;
  int DescrFilesNumber;
  const void* PanelModesArray;
  int PanelModesNumber;
  int StartPanelMode;
  int StartSortMode;
  int StartSortOrder;
  const void* KeyBar;
  const wchar_t* ShortcutData;
  intptr_t Reserved;
};

// HostPanelControl commands. Panel handles: PANEL_ACTIVE, PANEL_PASSIVE, or a plugin's panel.
#define PANEL_NONE ((HANDLE)(intptr_t)-1)
#define PANEL_ACTIVE ((HANDLE)(intptr_t)-1)
#define PANEL_PASSIVE ((HANDLE)(intptr_t)-2)
enum KelPanelCommand : int {
  FCTL_CLOSEPLUGIN = 0,
  FCTL_GETPANELINFO = 1,        // p2 PanelInfoW*
  FCTL_UPDATEPANEL = 2,         // p1 nonzero: keep the selection
  FCTL_REDRAWPANEL = 3,         // p2 PanelRedrawInfoW* or null
  FCTL_GETCMDLINE = 4,
  FCTL_SETCMDLINE = 5,
  FCTL_SETSELECTION = 6,        // p1 item index, p2 nonzero: select
  FCTL_SETVIEWMODE = 7,
  FCTL_INSERTCMDLINE = 8,
  FCTL_SETUSERSCREEN = 9,       // show the user screen (panels off) before running a program
  FCTL_SETPANELDIR = 10,        // p2 const wchar_t*
  FCTL_SETCMDLINEPOS = 11,
  FCTL_GETCMDLINEPOS = 12,
  FCTL_SETSORTMODE = 13,
  FCTL_SETSORTORDER = 14,
  FCTL_GETCMDLINESELECTEDTEXT = 15,
  FCTL_SETCMDLINESELECTION = 16,
  FCTL_GETCMDLINESELECTION = 17,
  FCTL_CHECKPANELSEXIST = 18,
  FCTL_SETNUMERICSORT = 19,
  FCTL_GETUSERSCREEN = 20,      // restore the panels after a program ran
  FCTL_ISACTIVEPANEL = 21,
  FCTL_GETPANELITEM = 22,       // p1 index, p2 PluginPanelItemW* block or null: returns bytes
  FCTL_GETSELECTEDPANELITEM = 23,  // the same, by index among the selected items
  FCTL_GETCURRENTPANELITEM = 24,
  FCTL_GETPANELDIR = 25,        // p1 buffer size in characters, p2 buffer or null: returns size
  FCTL_GETCOLUMNTYPES = 26,
  FCTL_GETCOLUMNWIDTHS = 27,
  FCTL_BEGINSELECTION = 28,
  FCTL_ENDSELECTION = 29,
  FCTL_CLEARSELECTION = 30,     // p1 index
  FCTL_SETDIRECTORIESFIRST = 31,
  FCTL_GETPANELFORMAT = 32,
  FCTL_GETPANELHOSTFILE = 33,
};

// Editor records.
struct EditorInfoW {
  int EditorID;
  int WindowSizeX;
  int WindowSizeY;
  int TotalLines;
  int CurLine;
  int CurPos;
  int CurTabPos;
  int TopScreenLine;
  int LeftPos;
  int Overtype;
  int BlockType;       // BTYPE_*
  int BlockStartLine;
  uint32_t Options;
  int TabSize;
  int BookMarkCount;
  uint32_t CurState;
  UINT CodePage;
  uint32_t Reserved[5];
};
enum KelBlockType : int { BTYPE_NONE = 0, BTYPE_STREAM = 1, BTYPE_COLUMN = 2 };

struct EditorGetStringW {
  int StringNumber;  // -1: the current line
  const wchar_t* StringText;
  const wchar_t* StringEOL;
  int StringLength;
  int SelStart;      // -1: the line is outside the selection
  int SelEnd;        // -1: the selection runs past the line's end
};
struct EditorSetStringW {
  int StringNumber;  // -1: the current line
  const wchar_t* StringText;
  const wchar_t* StringEOL;  // null: keep the line's own end
  int StringLength;
};
struct EditorSetPositionW {  // -1 in any field: unchanged
  int CurLine;
  int CurPos;
  int CurTabPos;
  int TopScreenLine;
  int LeftPos;
  int Overtype;
};
struct EditorSelectW {
  int BlockType;
  int BlockStartLine;
  int BlockStartPos;
  int BlockWidth;
  int BlockHeight;
};
struct EditorConvertPosW {
  int StringNumber;
  int SrcPos;
  int DestPos;
};
struct EditorUndoRedoW {
  int Command;  // EUR_*
  int Reserved[3];
};
enum KelUndoCommand : int { EUR_BEGIN = 0, EUR_END = 1, EUR_UNDO = 2, EUR_REDO = 3 };
struct EditorSetParameterW {
  int Type;  // ESPT_*
  union {
    int iParam;
    wchar_t* wszParam;
    uint32_t Reserved1;
  } Param;
  uint32_t Flags;
  uint32_t Size;
};
enum KelEditorParam : int {
  ESPT_TABSIZE = 0,
  ESPT_EXPANDTABS = 1,
  ESPT_AUTOINDENT = 2,
  ESPT_CURSORBEYONDEOL = 3,
  ESPT_CHARCODEBASE = 4,
  ESPT_CODEPAGE = 5,  // the editor's character table (2: the ANSI table in the 8-bit generation)
  ESPT_SAVEFILEPOSITION = 6,
  ESPT_LOCKMODE = 7,
  ESPT_SETWORDDIV = 8,
  ESPT_GETWORDDIV = 9,
  ESPT_SHOWWHITESPACE = 10,
  ESPT_SETBOM = 11,
};

// HostEditorControl commands. The editor is the current one unless an id is given.
enum KelEditorCommand : int {
  ECTL_GETSTRING = 0,     // p2 EditorGetStringW*
  ECTL_SETSTRING = 1,     // p2 EditorSetStringW*
  ECTL_INSERTSTRING = 2,  // p2 int* (nonzero: keep indentation) or null; splits at the cursor
  ECTL_DELETESTRING = 3,  // deletes the current line
  ECTL_DELETECHAR = 4,
  ECTL_INSERTTEXT = 5,    // p2 const wchar_t*
  ECTL_GETINFO = 6,       // p2 EditorInfoW*
  ECTL_SETPOSITION = 7,   // p2 EditorSetPositionW*
  ECTL_SELECT = 8,        // p2 EditorSelectW*
  ECTL_REDRAW = 9,
  ECTL_TABTOREAL = 10,    // p2 EditorConvertPosW*: screen column to character position
  ECTL_REALTOTAB = 11,    // p2 EditorConvertPosW*: character position to screen column
  ECTL_EXPANDTABS = 12,
  ECTL_SETTITLE = 13,
  ECTL_READINPUT = 14,
  ECTL_PROCESSINPUT = 15,
  ECTL_ADDCOLOR = 16,
  ECTL_GETCOLOR = 17,
  ECTL_SAVEFILE = 18,     // p2 const wchar_t* name or null
  ECTL_QUIT = 19,
  ECTL_SETKEYBAR = 20,
  ECTL_PROCESSKEY = 21,
  ECTL_SETPARAM = 22,     // p2 EditorSetParameterW*
  ECTL_GETBOOKMARKS = 23,
  ECTL_TURNOFFMARKINGBLOCK = 24,
  ECTL_DELETEBLOCK = 25,
  ECTL_ADDSTACKBOOKMARK = 26,
  ECTL_PREVSTACKBOOKMARK = 27,
  ECTL_NEXTSTACKBOOKMARK = 28,
  ECTL_CLEARSTACKBOOKMARKS = 29,
  ECTL_DELETESTACKBOOKMARK = 30,
  ECTL_GETSTACKBOOKMARKS = 31,
  ECTL_UNDOREDO = 32,     // p2 EditorUndoRedoW*
  ECTL_GETFILENAME = 33,  // p2 buffer or null: returns the length with the terminator
};

// HostEditor / HostViewer flags and results.
enum KelEditorFlags : uint32_t {
  EF_NONMODAL = 0x00000001,
  EF_CREATENEW = 0x00000002,
  EF_ENABLE_F6 = 0x00000004,
  EF_DISABLEHISTORY = 0x00000008,
  EF_DELETEONCLOSE = 0x00000010,
  EF_IMMEDIATERETURN = 0x00000100,
  EF_DELETEONLYFILEONCLOSE = 0x00000200,
};
enum KelEditorResult : int { EEC_OPEN_ERROR = 0, EEC_MODIFIED = 1, EEC_NOT_MODIFIED = 2, EEC_LOADING_INTERRUPTED = 3 };
enum KelViewerFlags : uint32_t { VF_NONMODAL = 1, VF_DELETEONCLOSE = 2, VF_ENABLE_F6 = 4, VF_DISABLEHISTORY = 8 };
enum KelViewerCommand : int { VCTL_GETINFO = 0, VCTL_QUIT = 1, VCTL_REDRAW = 2, VCTL_SETKEYBAR = 3, VCTL_SETPOSITION = 4, VCTL_SELECT = 5, VCTL_SETMODE = 6 };

// Editor events (ProcessEditorEvent).
enum KelEditorEvent : int { EE_READ = 0, EE_SAVE = 1, EE_REDRAW = 2, EE_CLOSE = 3, EE_GOTFOCUS = 6, EE_KILLFOCUS = 7 };

// HostAdvControl commands.
enum KelAdvCommand : int {
  ACTL_GETKELVERSION = 0,       // returns the host version word
  ACTL_CONSOLEMODE = 1,
  ACTL_GETSYSWORDDIV = 2,
  ACTL_WAITKEY = 3,
  ACTL_GETCOLOR = 4,
  ACTL_GETARRAYCOLOR = 5,
  ACTL_EJECTMEDIA = 6,
  ACTL_KEYMACRO = 7,
  ACTL_POSTKEYSEQUENCE = 8,     // p2 KelKeySequence*
  ACTL_GETWINDOWINFO = 9,
  ACTL_GETWINDOWCOUNT = 10,
  ACTL_SETCURRENTWINDOW = 11,
  ACTL_COMMIT = 12,
  ACTL_GETKELHWND = 13,
  ACTL_GETSYSTEMSETTINGS = 14,
  ACTL_GETPANELSETTINGS = 15,
  ACTL_GETINTERFACESETTINGS = 16,
  ACTL_GETCONFIRMATIONS = 17,
  ACTL_GETDESCSETTINGS = 18,
  ACTL_SETARRAYCOLOR = 19,
  ACTL_GETPLUGINMAXREADDATA = 20,
  ACTL_GETDIALOGSETTINGS = 21,
  ACTL_GETSHORTWINDOWINFO = 22,
  ACTL_REDRAWALL = 27,
  ACTL_SYNCHRO = 28,            // p2 the parameter; ProcessSynchroEventW(0, p2) follows on the host thread
  ACTL_SETPROGRESSSTATE = 29,   // p2 PS_*
  ACTL_SETPROGRESSVALUE = 30,   // p2 KelProgressValue*
  ACTL_QUIT = 31,
  ACTL_GETKELRECT = 32,         // p2 SMALL_RECT*: the host window in console cells; nonzero on success
  ACTL_GETCURSORPOS = 33,
  ACTL_SETCURSORPOS = 34,
  ACTL_PROGRESSNOTIFY = 35,     // the long operation is over (flash the taskbar)
};
enum KelProgressState : int { PS_NOPROGRESS = 0, PS_INDETERMINATE = 1, PS_NORMAL = 2, PS_ERROR = 4, PS_PAUSED = 8 };
struct KelProgressValue {
  uint64_t Completed;
  uint64_t Total;
};
struct KelKeySequence {
  uint32_t Flags;
  int Count;
  const uint32_t* Sequence;  // KelKeys
};

// Standard functions (a table of helpers the host lends to plugins).
enum KelProcessNameFlags : uint32_t {
  PN_CMPNAME = 0x00000000,      // param1 mask, param2 name: nonzero when the name matches
  PN_CMPNAMELIST = 0x00010000,  // param1 a list of masks separated by "," or ";" (quotes group)
  PN_GENERATENAME = 0x00020000,
  PN_SKIPPATH = 0x01000000,     // compare with the name part of param2 only
};
typedef int(__cdecl* KelSprintfFn)(wchar_t* buffer, const wchar_t* format, ...);
typedef int(__cdecl* KelSnprintfFn)(wchar_t* buffer, size_t count, const wchar_t* format, ...);
typedef wchar_t*(KEL_API* KelTrimFn)(wchar_t* text);
typedef int(KEL_API* KelProcessNameFn)(const wchar_t* param1, wchar_t* param2, size_t size, uint32_t flags);
typedef int(KEL_API* KelMkTempFn)(wchar_t* dest, size_t size, const wchar_t* prefix);  // returns the length, 0 on failure
typedef size_t(KEL_API* KelConvertPathFn)(int mode, const wchar_t* src, wchar_t* dest, size_t size);  // returns the size needed
typedef wchar_t*(KEL_API* KelPointToNameFn)(wchar_t* path);
typedef int(KEL_API* KelLStricmpFn)(const wchar_t* a, const wchar_t* b);

enum KelConvertPathMode : int { CPM_FULL = 0, CPM_REAL = 1, CPM_NATIVE = 2 };

struct HostStandardFunctions {
  int StructSize;
  KelSprintfFn sprintf;
  KelSnprintfFn snprintf;
  KelTrimFn LTrim;
  KelTrimFn RTrim;
  KelTrimFn Trim;
  KelTrimFn TruncStr;
  KelProcessNameFn ProcessName;
  KelMkTempFn MkTemp;
  KelConvertPathFn ConvertPath;
  KelPointToNameFn PointToName;
  KelLStricmpFn LStricmp;
  void* Reserved[8];
};

// Dialog procedure and services.
typedef HANDLE KelDialogHandle;
typedef intptr_t(KEL_API* KelDialogProc)(KelDialogHandle dlg, int msg, int param1, void* param2);

typedef int(KEL_API* HostMessageFn)(intptr_t pluginNumber, uint32_t flags, const wchar_t* helpTopic,
                                    const wchar_t* const* items, int itemsNumber, int buttonsNumber);
struct KelMenuItem {
  uint32_t Flags;  // KelMenuItemFlags
  const wchar_t* Text;
  uint32_t AccelKey;
  uint32_t Reserved;
  intptr_t UserData;
};
typedef int(KEL_API* HostMenuFn)(intptr_t pluginNumber, int x, int y, int maxHeight, uint32_t flags,
                                 const wchar_t* title, const wchar_t* bottom, const wchar_t* helpTopic,
                                 const int* breakKeys, int* breakCode, const KelMenuItem* items, int itemsNumber);
// Runs a modal dialog; returns the index of the item that closed it, -1 for Esc or failure.
// `id` is the dialog's identifier (may be null), reported by DM_GETDIALOGINFO. The items' texts
// and states are read with DM_* messages while the dialog runs (DN_CLOSE is the last chance);
// on return the host writes each check box's and radio button's final state back to
// Param.Selected of the caller's array.
typedef int(KEL_API* HostDialogFn)(intptr_t pluginNumber, const GUID* id, int x1, int y1, int x2, int y2,
                                   const wchar_t* helpTopic, KelDialogItem* items, int itemsNumber,
                                   uint32_t flags, KelDialogProc dlgProc, void* param);
typedef intptr_t(KEL_API* HostSendDlgMessageFn)(KelDialogHandle dlg, int msg, int param1, void* param2);
typedef intptr_t(KEL_API* HostDefDlgProcFn)(KelDialogHandle dlg, int msg, int param1, void* param2);
typedef const wchar_t*(KEL_API* HostGetMsgFn)(intptr_t pluginNumber, int msgId);
typedef int(KEL_API* HostShowHelpFn)(const wchar_t* moduleName, const wchar_t* topic, uint32_t flags);
// Returns nonzero when confirmed; the answer is written to dest (destLength characters with the terminator).
typedef int(KEL_API* HostInputBoxFn)(const wchar_t* title, const wchar_t* prompt, const wchar_t* historyName,
                                     const wchar_t* srcText, wchar_t* dest, int destLength,
                                     const wchar_t* helpTopic, uint32_t flags);
typedef int(KEL_API* HostPanelControlFn)(HANDLE panel, int command, int param1, void* param2);
typedef int(KEL_API* HostEditorControlFn)(int command, int param1, void* param2);
typedef int(KEL_API* HostViewerControlFn)(int command, void* param);
typedef intptr_t(KEL_API* HostAdvControlFn)(intptr_t pluginNumber, int command, int param1, void* param2);
typedef void(KEL_API* HostTextFn)(int x, int y, int color, const wchar_t* text);  // text null: flush
typedef HANDLE(KEL_API* HostSaveScreenFn)(int x1, int y1, int x2, int y2);  // -1,-1,-1,-1: the whole screen
typedef void(KEL_API* HostRestoreScreenFn)(HANDLE screen);
typedef int(KEL_API* HostViewerFn)(const wchar_t* fileName, const wchar_t* title, int x1, int y1, int x2, int y2,
                                   uint32_t flags, UINT codePage);
// Opens a file in the editor; modal unless EF_NONMODAL. Returns KelEditorResult.
typedef int(KEL_API* HostEditorFn)(const wchar_t* fileName, const wchar_t* title, int x1, int y1, int x2, int y2,
                                   uint32_t flags, int startLine, int startChar, UINT codePage);

// The record given once to SetStartupInfoW: 132 bytes on the 32-bit platform.
struct HostStartupInfo {
  int StructSize;
  const wchar_t* ModuleName;  // full path of the plugin library
  intptr_t ModuleNumber;      // the plugin number, passed back to every service
  const wchar_t* RootKey;     // the host's root settings key below HKEY_CURRENT_USER
  HostMessageFn HostMessage;
  HostMenuFn HostMenu;
  HostDialogFn HostDialog;
  HostSendDlgMessageFn HostSendDlgMessage;
  HostDefDlgProcFn HostDefDlgProc;
  HostGetMsgFn HostGetMsg;
  HostShowHelpFn HostShowHelp;
  HostInputBoxFn HostInputBox;
  HostPanelControlFn HostPanelControl;
  HostEditorControlFn HostEditorControl;
  HostViewerControlFn HostViewerControl;
  HostAdvControlFn HostAdvControl;
  HostTextFn HostText;
  HostSaveScreenFn HostSaveScreen;
  HostRestoreScreenFn HostRestoreScreen;
  HostViewerFn HostViewer;
  HostEditorFn HostEditor;
  const HostStandardFunctions* FSF;
  void* Reserved[11];
};

struct PluginInfoW {
  int StructSize;  // 44
  uint32_t Flags;  // KelPluginFlags
  const wchar_t* const* DiskMenuStrings;
  int* Reserved0;
  int DiskMenuStringsNumber;
  const wchar_t* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const wchar_t* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const wchar_t* CommandPrefix;
  uint32_t SysID;
};

// ---------------------------------------------------------------------------------------------
// 8-bit generation (texts in the OEM code page). Packed: these are the old hosts' byte layouts.

#pragma pack(push, 1)

constexpr int KEL_NM = 260;

struct PluginPanelItemA {
  // The find-data part: 318 bytes.
  uint32_t FileAttributes;
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  uint32_t FileSizeHigh;
  uint32_t FileSizeLow;
  uint32_t Reserved0;
  uint32_t Reserved1;
  char FileName[KEL_NM];
  char AlternateFileName[14];
  // The rest: 48 bytes.
  uint32_t PackSizeHigh;
  uint32_t PackSize;
  uint32_t Flags;
  uint32_t NumberOfLinks;
  char* Description;
  char* Owner;
  char** CustomColumnData;
  int CustomColumnNumber;
  intptr_t UserData;
  uint32_t CRC32;
  intptr_t Reserved[2];
};

struct InfoPanelLineA {
  char Text[80];
  char Data[80];
  int Separator;
};

struct OpenPluginInfoA {
  int StructSize;  // 72
  uint32_t Flags;
  const char* HostFile;
  const char* CurDir;
  const char* Format;
  const char* PanelTitle;
  const InfoPanelLineA* InfoLines;
  int InfoLinesNumber;
  const char* const* DescrFiles;
  int DescrFilesNumber;
  const void* PanelModesArray;
  int PanelModesNumber;
  int StartPanelMode;
  int StartSortMode;
  int StartSortOrder;
  const void* KeyBar;
  const char* ShortcutData;
  intptr_t Reserved;
};

struct KelDialogItemA {
  int Type;
  int X1, Y1, X2, Y2;
  int Focus;
  union {
    intptr_t Selected;
    const char* History;
    const char* Mask;
    void* ListItems;
    intptr_t ListPos;
  } Param;
  uint32_t Flags;
  int DefaultButton;
  char Data[512];
};

struct KelMenuItemA {
  char Text[128];
  int Selected;
  int Checked;
  int Separator;
};

struct PluginInfoA {
  int StructSize;  // 40
  uint32_t Flags;
  const char* const* DiskMenuStrings;
  int* DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char* CommandPrefix;
};

// The 8-bit panel information (FCTL_GETPANELINFO of the 8-bit HostPanelControl): 496 bytes. The
// item arrays belong to the host and stay valid until the next panel call for the same panel.
struct PanelInfoA {
  int PanelType;
  int Plugin;
  RECT PanelRect;
  PluginPanelItemA* PanelItems;
  int ItemsNumber;
  PluginPanelItemA* SelectedItems;
  int SelectedItemsNumber;
  int CurrentItem;
  int TopPanelItem;
  int Visible;
  int Focus;
  int ViewMode;  // 0..9
  char ColumnTypes[80];
  char ColumnWidths[80];
  char CurDir[KEL_NM];
  int ShortNames;
  int SortMode;  // 0 default, 1 unsorted, 2 by name, 3 by extension, 4 by write time, 5 by size
  uint32_t Flags;  // KelPanelInfoFlags
  uint32_t Reserved;
};
struct PanelRedrawInfoA {
  int CurrentItem;
  int TopPanelItem;
};

// 8-bit dialog message records (DM_GETTEXT / DM_SETTEXT, the list messages). DM_GETTEXTPTR (21)
// copies an item's text into a 512-byte buffer; DM_GETDLGITEM / DM_SETDLGITEM and DN_EDITCHANGE
// carry a KelDialogItemA.
struct KelDialogItemDataA {
  int PtrLength;
  char* PtrData;
};
struct KelListItemA {
  uint32_t Flags;  // LIF_*
  char Text[128];
  uint32_t Reserved[3];
};
struct KelListA {
  int ItemsNumber;
  KelListItemA* Items;
};
struct KelListUpdateA {
  int Index;
  KelListItemA Item;
};

typedef intptr_t(KEL_API* KelDialogProcA)(HANDLE dlg, int msg, int param1, intptr_t param2);
typedef int(KEL_API* HostMessageFnA)(intptr_t pluginNumber, uint32_t flags, const char* helpTopic,
                                     const char* const* items, int itemsNumber, int buttonsNumber);
typedef int(KEL_API* HostMenuFnA)(intptr_t pluginNumber, int x, int y, int maxHeight, uint32_t flags,
                                  const char* title, const char* bottom, const char* helpTopic,
                                  const int* breakKeys, int* breakCode, const KelMenuItemA* items, int itemsNumber);
typedef int(KEL_API* HostDialogFnA)(intptr_t pluginNumber, int x1, int y1, int x2, int y2, const char* helpTopic,
                                    KelDialogItemA* items, int itemsNumber, uint32_t reserved, uint32_t flags,
                                    KelDialogProcA dlgProc, intptr_t param);
typedef intptr_t(KEL_API* HostSendDlgMessageFnA)(HANDLE dlg, int msg, int param1, intptr_t param2);
typedef intptr_t(KEL_API* HostDefDlgProcFnA)(HANDLE dlg, int msg, int param1, intptr_t param2);
typedef const char*(KEL_API* HostGetMsgFnA)(intptr_t pluginNumber, int msgId);
typedef int(KEL_API* HostShowHelpFnA)(const char* moduleName, const char* topic, uint32_t flags);
typedef int(KEL_API* HostInputBoxFnA)(const char* title, const char* prompt, const char* historyName,
                                      const char* srcText, char* dest, int destLength, const char* helpTopic,
                                      uint32_t flags);
typedef int(KEL_API* HostPanelControlFnA)(HANDLE panel, int command, void* param);
typedef int(KEL_API* HostEditorControlFnA)(int command, void* param);
typedef int(KEL_API* HostViewerControlFnA)(int command, void* param);
typedef intptr_t(KEL_API* HostAdvControlFnA)(intptr_t pluginNumber, int command, void* param);
typedef void(KEL_API* HostTextFnA)(int x, int y, int color, const char* text);
typedef HANDLE(KEL_API* HostSaveScreenFnA)(int x1, int y1, int x2, int y2);
typedef void(KEL_API* HostRestoreScreenFnA)(HANDLE screen);
typedef int(KEL_API* HostViewerFnA)(const char* fileName, const char* title, int x1, int y1, int x2, int y2,
                                    uint32_t flags);
typedef int(KEL_API* HostEditorFnA)(const char* fileName, const char* title, int x1, int y1, int x2, int y2,
                                    uint32_t flags, int startLine, int startChar);

struct HostStandardFunctionsA {
  int StructSize;
  void* Functions[31];
};

// The 8-bit start-up record as the newest hosts give it: 372 bytes. Older hosts give fewer
// (the first field tells); a plugin zeroes its 372-byte copy and copies what was given.
struct HostStartupInfoA {
  int StructSize;
  char ModuleName[KEL_NM];
  int ModuleNumber;
  const char* RootKey;
  HostMenuFnA HostMenu;
  void* Reserved0;  // the older dialog service
  HostMessageFnA HostMessage;
  HostGetMsgFnA HostGetMsg;
  HostPanelControlFnA HostPanelControl;
  void* HostSaveScreen;
  void* HostRestoreScreen;
  void* HostGetDirList;
  void* HostGetPluginDirList;
  void* HostFreeDirList;
  HostViewerFnA HostViewer;
  HostEditorFnA HostEditor;
  void* HostCmpName;
  void* HostCharTable;
  HostTextFnA HostText;
  HostEditorControlFnA HostEditorControl;
  const HostStandardFunctionsA* FSF;
  HostShowHelpFnA HostShowHelp;
  HostAdvControlFnA HostAdvControl;
  HostInputBoxFnA HostInputBox;
  HostDialogFnA HostDialog;
  HostSendDlgMessageFnA HostSendDlgMessage;
  HostDefDlgProcFnA HostDefDlgProc;
  void* Reserved1[2];
};

#pragma pack(pop)

// ---------------------------------------------------------------------------------------------
// Entry signatures (all __stdcall, exported undecorated). Unicode generation:
//   int      GetMinKelVersionW();
//   void     SetStartupInfoW(const HostStartupInfo*);
//   void     GetPluginInfoW(PluginInfoW*);
//   HANDLE   OpenPluginW(int openFrom, intptr_t item);      // INVALID_HANDLE_VALUE: no panel
//   HANDLE   OpenFilePluginW(const wchar_t* name, const unsigned char* data, int dataSize);
//   int      ConfigureW(int item);
//   int      ProcessEditorInputW(const INPUT_RECORD*);
//   int      ProcessEditorEventW(int event, void* param);
//   int      ProcessDialogEventW(int event, void* param);  // param: KelDialogEventInfo*
//   int      ProcessSynchroEventW(int event, void* param);
//   void     ExitKELW();
// and for a plugin's own panel:
//   void     ClosePluginW(HANDLE);
//   void     GetOpenPluginInfoW(HANDLE, OpenPluginInfoW*);
//   int      GetFindDataW(HANDLE, PluginPanelItemW** items, int* count, int opMode);
//   void     FreeFindDataW(HANDLE, PluginPanelItemW* items, int count);
//   int      SetDirectoryW(HANDLE, const wchar_t* dir, int opMode);
//   int      ProcessKeyW(HANDLE, int key, unsigned int controlState);  // 1 Ctrl, 2 Alt, 4 Shift
// The 8-bit generation has the same entries without the suffix, with char texts, PluginInfoA,
// OpenPluginInfoA and PluginPanelItemA, plus GetFiles, PutFiles, DeleteFiles, MakeDirectory and
// ProcessEditorEvent; its OpenPlugin takes (int openFrom, int item).
typedef void(KEL_API* KelClosePluginW)(HANDLE);
typedef void(KEL_API* KelGetOpenPluginInfoW)(HANDLE, OpenPluginInfoW*);
typedef int(KEL_API* KelGetFindDataW)(HANDLE, PluginPanelItemW**, int*, int);
typedef void(KEL_API* KelFreeFindDataW)(HANDLE, PluginPanelItemW*, int);
typedef int(KEL_API* KelSetDirectoryW)(HANDLE, const wchar_t*, int);
typedef int(KEL_API* KelProcessKeyW)(HANDLE, int, unsigned int);
typedef void(KEL_API* KelClosePluginA)(HANDLE);
typedef void(KEL_API* KelGetOpenPluginInfoA)(HANDLE, OpenPluginInfoA*);
typedef int(KEL_API* KelGetFindDataA)(HANDLE, PluginPanelItemA**, int*, int);
typedef void(KEL_API* KelFreeFindDataA)(HANDLE, PluginPanelItemA*, int);
typedef int(KEL_API* KelSetDirectoryA)(HANDLE, const char*, int);
typedef int(KEL_API* KelProcessKeyA)(HANDLE, int, unsigned int);
// The 8-bit panel's file operations; GetFiles and MakeDirectory may rewrite their text (a buffer
// of KEL_NM bytes). Results: 1 done, 0 failed, -1 cancelled.
typedef int(KEL_API* KelGetFilesA)(HANDLE, PluginPanelItemA*, int, int move, char* destPath, int);
typedef int(KEL_API* KelPutFilesA)(HANDLE, PluginPanelItemA*, int, int move, int);
typedef int(KEL_API* KelDeleteFilesA)(HANDLE, PluginPanelItemA*, int, int);
typedef int(KEL_API* KelMakeDirectoryA)(HANDLE, char* name, int);

// ---------------------------------------------------------------------------------------------
// Sizes the interface fixes on the 32-bit platform.
#if !defined(_WIN64)
static_assert(sizeof(HostStartupInfo) == 132, "Unicode start-up record is 132 bytes");
static_assert(sizeof(PluginInfoW) == 44, "Unicode PluginInfo is 44 bytes");
static_assert(sizeof(PluginInfoA) == 40, "8-bit PluginInfo is 40 bytes");
static_assert(offsetof(PluginPanelItemA, PackSizeHigh) == 318, "8-bit find-data part is 318 bytes");
static_assert(sizeof(PluginPanelItemA) == 366, "8-bit PluginPanelItem is 366 bytes");
static_assert(sizeof(OpenPluginInfoA) == 72, "8-bit OpenPluginInfo is 72 bytes");
static_assert(sizeof(KelDialogItemA) == 548, "8-bit dialog item is 548 bytes");
static_assert(sizeof(KelMenuItemA) == 140, "8-bit menu item is 140 bytes");
static_assert(sizeof(HostStartupInfoA) == 372, "8-bit start-up record is 372 bytes");
static_assert(sizeof(KelDialogInfo) == 20, "dialog information record is 20 bytes");
static_assert(offsetof(PanelInfoA, ViewMode) == 56, "8-bit panel information: view mode at byte 56");
static_assert(sizeof(PanelInfoA) == 496, "8-bit panel information is 496 bytes");
static_assert(sizeof(KelListItemA) == 144, "8-bit list item is 144 bytes");
#endif
