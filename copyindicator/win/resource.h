// Resource and control identifiers of Veloma.
#pragma once

#define IDM_CONTEXT 101
#define IDD_BEEPS 103
#define IDD_QUESTION 105
#define IDD_SETTINGS 107

#define ID_JOB_PAUSE 40001
#define ID_JOB_ABORT 40002
#define ID_START_ALL 40003
#define ID_PAUSE_ALL 40004
#define ID_ABORT_ALL 40005
#define ID_JOB_NOTIFY 40006
#define ID_JOB_QUESTION 40007
#define ID_SETTINGS 40008
#define ID_ABOUT 40009
#define ID_EXIT 40010

// Settings dialog; the tooltips of the string table use the same numbers.
#define IDC_ALPHA_HOVER 1006
#define IDC_ALPHA_HOVER_SPIN 1007
#define IDC_ALPHA_NOHOVER 1008
#define IDC_ALPHA_NOHOVER_SPIN 1009
#define IDC_FADETIME 1010
#define IDC_FADETIME_SPIN 1011
#define IDC_HOLDTIME 1012
#define IDC_HOLDTIME_SPIN 1013
#define IDC_NONOTIFY 1014
#define IDC_NONOTIFY_SPIN 1015
#define IDC_SLOTS 1016
#define IDC_MODE_FILE 1017
#define IDC_WAVEFILE 1018
#define IDC_BROWSE 1019
#define IDC_MODE_BEEP 1020
#define IDC_PATTERN 1021
#define IDC_MODE_SILENT 1022
#define IDC_TEST 1023
#define IDC_INCLUDE_WAITS 1032
#define IDC_USER_ABORT 1033
#define IDC_CLICK_THROUGH 1034
#define IDC_HIDE_FULLSCREEN 1035
#define IDC_ONLY_ALL 1036
#define IDC_BROWSE2 1037
#define IDC_COLOR_FIRST 1040  // + colour index, 12 fields

// Question dialog.
#define IDC_QUESTION_TEXT 1101
#define IDC_QUESTION_ALL 1102
#define IDC_QUESTION_BUTTON1 1103  // .. 1108

// Beep editor.
#define IDC_BEEP_HINT 1201
#define IDC_BEEP_TEXT 1202
#define IDC_BEEP_TEST 1203
