// Numbers of the renamer's texts in its language files (QuilletEng.lng holds the English ones).
#pragma once

namespace quillet {

enum MessageId : int {
  kMsgEmptyTemplate = 0,      // preview line of an empty template; first line of the template list
  kMsgTitle = 1,              // the single plugins-menu entry, the configuration entry, message titles
  kMsgMenuManipulate = 2,
  kMsgMenuConstruct = 3,
  kMsgMenuEditor = 4,
  kMsgNothingSelected = 5,
  kMsgOk = 6,
  kMsgCancel = 7,
  kMsgDialogTitle = 8,        // formatted with the items in the list and the selected items
  kMsgAskDialogCancel = 9,
  kMsgAskSwitch = 10,
  kMsgAskRename = 11,
  kMsgAskRenameProblems = 12,
  kMsgButtonRename = 13,
  kMsgButtonPreview = 14,
  kMsgButtonSwitch = 15,
  kMsgStatusFirst = 16,       // 16..24: dialog statuses -1..7
  kMsgStatus = 33,
  kMsgPreviewBadChar = 63,
  kMsgPreviewBadStart = 64,
  kMsgEditorMenuFirst = 140,  // 140..143: the editor menu while the editor holds the names
  kMsgNotAvailable = 149,
  kMsgSaveFailed = 150,       // the settings could not be written
  kMsgConfigTitle = 86,
  kMsgConfigOk = 131,
  kMsgConfigCancel = 132,
  kMsgAskClearHistory = 134,
};

}  // namespace quillet
