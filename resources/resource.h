/* resource.h - every resource, command and control id, shared by the code
 * and orvane.rc. Numbers are fixed by the program's contract with its
 * resources and with the windows that send each other commands; a command
 * id may equal a resource id of another kind (the Add button's command 111
 * and icon 111 are unrelated). Plain #defines only: windres reads this. */
#ifndef ORVANE_RESOURCE_H
#define ORVANE_RESOURCE_H

/* ---- Bitmaps ---- */
#define IDB_HEADER          101
#define IDB_FOOTER          103
#define IDB_FACE_NORMAL     104
#define IDB_FACE_PRESSED    105
#define IDB_FACE_HOT        106
#define IDB_EDITOR_EDIT     114
#define IDB_EDITOR_ADD      115
/* The same pictures at 150 % (id + 1000) and 200 % (id + 2000). */
#define ART_150             1000
#define ART_200             2000
#define IDB_HEADER_150      1101
#define IDB_FOOTER_150      1103
#define IDB_FACE_NORMAL_150 1104
#define IDB_FACE_PRESSED_150 1105
#define IDB_FACE_HOT_150    1106
#define IDB_EDITOR_EDIT_150 1114
#define IDB_EDITOR_ADD_150  1115
#define IDB_HEADER_200      2101
#define IDB_FOOTER_200      2103
#define IDB_FACE_NORMAL_200 2104
#define IDB_FACE_PRESSED_200 2105
#define IDB_FACE_HOT_200    2106
#define IDB_EDITOR_EDIT_200 2114
#define IDB_EDITOR_ADD_200  2115

/* ---- Icon groups ---- */
#define IDI_APP             107
#define IDI_HELP            108
#define IDI_ADD             109
#define IDI_EXIT            110
#define IDI_APPLY           111
#define IDI_REFRESH         112
#define IDI_EDIT            113
#define IDI_BROWSE          116
#define IDI_SAVE            128

/* ---- Menus ---- */
#define IDR_HELP_MENU       4
#define IDR_ITEM_MENU       122
#define IDR_MAIN_KEYS       136   /* accelerators of the main window */

/* ---- Other resources ---- */
#define IDR_HELP_FILE       134   /* type "HTML_HELP" */
#define IDR_VERSION         1

/* ---- Commands: main window ---- */
#define IDM_ADD             111
#define IDM_CLEANUP         112
#define IDM_APPLY           113
#define IDM_EXIT            114
#define IDM_HELP_BUTTON     115
#define IDM_REFRESH         116
#define IDM_EDIT            1008
#define IDM_SAVE_LOG        130

/* ---- Commands: help menu ---- */
#define IDM_HELP            118
#define IDM_WEBSITE         119
#define IDM_SUPPORT         120
#define IDM_ABOUT           121
#define IDM_HIDE_WINDOWS    136
#define IDM_OTHER_PLACES    137

/* ---- Commands: item context menu ---- */
#define IDM_RUN             123
#define IDM_FIND_TARGET     124
#define IDM_EDIT_ITEM       125
#define IDM_TOGGLE          126
#define IDM_REMOVE          127
#define IDM_PROPERTIES      135
/* Sort by: the list's columns in their order, then the scan's own order */
#define IDM_SORT_NAME       140
#define IDM_SORT_TYPE       141
#define IDM_SORT_STATE      142
#define IDM_SORT_PATH       143
#define IDM_SORT_CHANGE     144
#define IDM_SORT_SCAN       145
/* after Change in the menu, numbered after the rest */
#define IDM_SORT_COST       153
#define IDM_ACCEPT          146
#define IDM_ACCEPT_ALL      147
#define IDM_SHOW_GONE       148
/* in the "?" menu, the context menu and Ctrl+H */
#define IDM_HISTORY         149
/* Start later: 30 s, 1, 2, 5 and 10 minutes after logon, then at logon */
#define IDM_LATER_30        160
#define IDM_LATER_60        161
#define IDM_LATER_120       162
#define IDM_LATER_300       163
#define IDM_LATER_600       164
#define IDM_LATER_NONE      165

/* ---- Controls: main window ---- */
#define IDC_ITEM_LIST       110
#define IDC_STATUS          1009
#define IDC_STATIC_ANY      1     /* the details frame and its labels */
#define IDC_LOCATION        131
#define IDC_COMMAND         117
#define IDC_DESCRIPTION     118
#define IDC_COMPANY         119
#define IDC_NOTES           132
#define IDC_PUBLISHER       133

/* ---- Controls and commands: Add/Edit window ---- */
#define IDC_OK              1
#define IDC_CANCEL          2
#define IDC_EDITOR_HELP     115
#define IDC_BROWSE          125
#define IDC_EDITOR_NAME     120
#define IDC_EDITOR_FILE     121
#define IDC_EDITOR_PARAMETERS 122
#define IDC_EDITOR_USER     123
#define IDC_EDITOR_ALL      124
#define IDC_EDITOR_FILE_LABEL 126   /* "Program to start:", and why it is read-only */

/* ---- Controls: History window (Close is IDC_CANCEL, so Escape closes) ---- */
#define IDC_HISTORY_LIST    150
#define IDC_HISTORY_STATUS  151
#define IDC_HISTORY_UNDO    152

#endif
