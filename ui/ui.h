// ui.h - the user interface's internal header, one section per file.
//
// app.cpp starts the process, owns the shared drawing resources and the
// message loop; shared.cpp holds small helpers every window uses;
// skin_button.cpp turns push buttons into skinned image buttons;
// main_window.cpp (with main_layout.cpp and main_commands.cpp),
// editor_window.cpp and history_window.cpp are the windows; help.cpp shows
// the help.
//
// May include every layer below the front ends (platform/ to store/,
// report/, help/); nothing below includes this.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <stddef.h>
#include <stdint.h>

#include "../resources/product.h"
#include "../resources/resource.h"

// ---- app.cpp ------------------------------------------------------------

#define MAIN_CLASS_NAME "OrvaneWndClass"
#define EDITOR_CLASS_NAME "OrvaneAddEditWndClass"
#define HISTORY_CLASS_NAME "OrvaneHistoryWndClass"
#define MAIN_WINDOW_TITLE "Orvane Tool"

// The face bitmaps, brush and font every skinned button draws with, and
// the DPI they were made for (0: 96).
struct ButtonSkin {
    HBITMAP normalFace;
    HBITMAP hotFace;
    HBITMAP pressedFace;
    HBRUSH background;
    HFONT font;
    int32_t dpi;
};

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HFONT UiFont;
extern HBITMAP HeaderBitmap;
extern HBITMAP FooterBitmap;
extern HIMAGELIST SmallIconList;
extern ButtonSkin SharedButtonSkin;

int CreateSharedResources(void);
int FreeSharedResources(void);
int RegisterMainClass(void);
int RegisterEditorClass(void);
int RegisterHistoryClass(void);
int CreateMainWindow(void);

// The whole life of the process, from the single-instance check to the
// shutdown; returns the exit code (0 normal end, 1 a class could not be
// registered, 2 no main window, 3 another instance runs).
int RunOrvane(HINSTANCE instance);

// The message loop's keys: the Add/Edit and History windows' (Tab, Enter,
// Escape, access keys), and the main window's accelerators, Tab order and access keys; nonzero when
// the message was one of them and is handled.
int TranslateDialogKeys(MSG *message);
extern HACCEL MainKeys;

// ---- shared.cpp ---------------------------------------------------------

// Shows the system's text for the last error ("Error", information icon).
void ShowLastError(HWND owner);
// The catalogue's error sink of the window (CatalogueErrors).
void ShowCatalogueError(void *context, const char *subject, const char *text);

// Centres the window on the screen, 5 pixels below the exact centre.
int CenterWindow(HWND window);
// WM_ACTIVATE of a window over the main one: leaving, the control that has
// the keys is kept in *focused; back (from a box or a file dialog), the
// keys go to it again, or to the control firstId.
LRESULT ActivateKeepingFocus(HWND window, WPARAM wParam, LPARAM lParam, HWND *focused,
                             int firstId);

// Draws the whole bitmap stretched into the rectangle.
void StretchBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, DWORD rop);

// The OPENFILENAMEA of the open and save dialogs, in its older form that
// ends with lpTemplateName (76 bytes in the 32-bit build).
#define OPEN_FILE_NAME_SIZE \
    (offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(((OPENFILENAMEA *)0)->lpTemplateName))
#ifndef _WIN64
static_assert(OPEN_FILE_NAME_SIZE == 76, "the 76-byte OPENFILENAMEA");
#endif

// One row of a window's control table.
struct ChildControl {
    int id;
    const char *className;
    const char *text;
    int x, y, width, height;
    DWORD style;
    int icon; // icon group of a skinned button, 0 for other controls
};

// The icon of a skinned button, 20 x 20 at 96 DPI, loaded at the size it is
// drawn at UiDpi and kept for every button that shows it; FreeButtonIcons
// releases them all.
HICON ButtonIcon(int id);
void FreeButtonIcons(void);

// Creates a control of a table (its place scaled to UiDpi): with UiFont,
// skinned when it has an icon, shown. Null when it could not be created.
HWND CreateChildControl(HWND parent, const ChildControl *row);

// Prepares an open or save dialog: owner, the 260-byte path buffer (emptied),
// filter pairs, title and flags, initial folder "C:\"; the rest zero.
void PrepareFileDialog(OPENFILENAMEA *dialog, HWND owner, char *path, DWORD pathSize,
                       const char *filter, const char *title, DWORD flags);

// WM_CTLCOLORSTATIC of both windows: black text, transparent, white brush.
LRESULT BlackTextOnWhite(HDC dc);

// A window procedure as the LONG_PTR that SetWindowLongPtrA takes; the
// parameter type makes the compiler check the procedure's signature.
LONG_PTR WindowProcAsLong(WNDPROC procedure);
WNDPROC WindowProcFromLong(LONG_PTR value);

// ---- skin_button.cpp ----------------------------------------------------

enum ButtonVisual { VisualNormal = 0, VisualHot = 2, VisualPressed = 4 };

// Notification code of the command a skinned button sends.
#define SKIN_BUTTON_CLICKED 5

struct SkinButtonData {
    ButtonSkin *skin;
    int32_t visual;   // ButtonVisual
    HICON icon;       // not owned
    int32_t focused;  // drawn with the focus rectangle
};

extern WNDPROC ButtonClassProc;

int AttachSkin(HWND button, ButtonSkin *skin, HICON icon);
// A new DPI's icon for a skinned button (the old one stays loaded).
void SetSkinIcon(HWND button, HICON icon);
LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RepaintButton(HWND window);
int PaintSkinButton(HWND window, SkinButtonData *data);

// ---- dpi.cpp ------------------------------------------------------------

// The DPI the shared font, pictures and button skin are made for.
extern int UiDpi;
// A window's DPI (null: the desktop's).
int WindowDpi(HWND window);
// A length at 96 DPI in pixels at UiDpi (or dpi), and back.
int Scaled(int length);
int ScaledAt(int length, int dpi);
int Unscaled(int pixels);
// 100, 150 or 200: the pictures' size nearest to dpi.
int ArtScale(int dpi);
// A bitmap (IDB_*) at the size nearest to UiDpi.
HBITMAP LoadArt(int id);
// AdjustWindowRectEx at dpi where Windows can, else at the desktop's.
BOOL AdjustRectForDpi(RECT *rect, DWORD style, DWORD extended, int dpi);
// Remakes UiFont, the bands and the button faces at dpi and gives every
// control of every window the new font; nonzero when anything changed.
int UseDpi(int dpi);
// SetWindowPos of a rectangle given at 96 DPI.
void MoveScaled(HWND control, int x, int y, int width, int height);

// ---- the main window: texts (main_window, main_layout, main_commands) --

#define ABOUT_TEXT                                                                         \
    "Orvane Tool.\nver.1.2\n\n\nMade by Orvane Software.\n\n" ORVANE_WEB_SITE               \
    "\nsupport@orvane.example\n"
// CleanUp's question: the count, then the entries a line each, then what
// it keeps and where the backup goes.
#define CLEANUP_QUESTION \
    "Delete the %d %s you disabled here (this user: %d, all users: %d)%s?\n\n"
#define CLEANUP_NAMES_SHOWN 10
#define CLEANUP_MORE_ENTRIES "    and %d more\n"
#define CLEANUP_BACKUP_KEPT "A backup of %s is kept in Documents\\" BACKUP_FOLDER "."
#define CLEANUP_QUESTION_SIZE 4096
#define APPLY_PENDING_QUESTION "Apply the %d %s you made?"
#define REMOVE_QUESTION \
    "Remove \"%s\"?\n\nA backup of it is kept in Documents\\" BACKUP_FOLDER "."
#define STATUS_CHANGES_PENDING "%d %s not applied yet: press Apply to store %s."
#define STATUS_NONE_PENDING "Every check box matches what is stored."
#define STATUS_APPLIED "Applied %d %s."
#define STATUS_BACKUPS_NAMED " Backup%s: %s%s."
#define STATUS_MORE_BACKUPS " and %d more"
#define STATUS_APPLIED_SOME "Applied %d of %d changes. %s%s"
#define STATUS_MORE_FAILURES " More changes failed: their rows show them as they are."
#define STATUS_REFRESHED "Refreshed: %d %s."
#define STATUS_REPORT_SAVED "Report saved: %s"
#define STATUS_REPORT_FAILED "ERROR: The report could not be written: %s"
#define STATUS_REPORT_EXISTS \
    "ERROR: The report was not written: %s already exists (give its whole name to replace it)"
#define LOG_NAME_FORMAT "Orvane Tool report %04d-%02d-%02d.html"
// Characters of a path in a status text; a longer one loses its middle.
#define STATUS_PATH_ROOM 70
#define LIST_NAME "Startup entries"
#define STATUS_TOGGLE_PENDING "\"%s\" will be %s when you press Apply; %d %s pending"
#define STATUS_NOT_REMOVED "Nothing removed: \"%s\" is kept."
#define STATUS_REFRESH_CANCELLED "Not refreshed: the changes still wait for Apply."
#define STATUS_PROPERTIES_FAILED "ERROR: The properties of \"%s\" could not be shown: %s"
#define TOOLTIP_REFRESH "Refresh (F5)"
#define TOOLTIP_SAVE_LOG "Save Log: the list as an HTML report"
#define TOOLTIP_HELP "Help"
#define NO_SELECTION_TEXT "You must select an item to edit."
#define STATUS_OLD_VALUE_KEPT \
    "ERROR: The entry was saved, but its old value could not be removed: it now shows twice."
#define STATUS_ENTRY_CUT "ERROR: This entry's name is too long to change it here."
#define STATUS_LOGON_NOT_EDITED \
    "\"%s\" is not edited here: it can be disabled, enabled or removed."
#define STATUS_ROW_FIXED "\"%s\" is not changed here: %s."

#define STATUS_STARTED "Started \"%s\"."
#define STATUS_STARTED_ELEVATED "Started \"%s\" with administrator rights."
#define STATUS_HANDED_TO_DESKTOP "Handed \"%s\" to the desktop to start."
#define STATUS_START_NOT_FOUND "ERROR: \"%s\" could not be started: its program was not found."
#define STATUS_NOT_STARTED "\"%s\" was not started."
#define STATUS_NO_LONGER_LISTED "\"%s\" is no longer listed; nothing was done."
#define STATUS_OPENED "Opened \"%s\"."
#define STATUS_OPEN_HANDED "Handed \"%s\" to the desktop to open."
#define STATUS_NOT_OPENED "ERROR: \"%s\" could not be opened."
#define STATUS_NOT_OPENED_ELEVATED                                                     \
    "ERROR: \"%s\" was not opened: with administrator rights only the desktop shell " \
    "opens it, and it did not take it."
#define STATUS_START_FAILED "ERROR: \"%s\" could not be started."
#define STATUS_ADDED "Added \"%s\"."
#define STATUS_SAVED "Saved \"%s\"."
#define STATUS_NOT_SAVED "ERROR: \"%s\" could not be written; the entry is as it was."
#define STATUS_CASE_RENAMED "Renamed to \"%s\" (only the case of the name changed)."
#define STATUS_REPLACED "Replaced \"%s\"; backup: %s"
#define STATUS_LATER_TWICE                                                                 \
    "ERROR: Saved \"%s\", but its old logon task could not be deleted: it starts twice, once "  \
    "with the old command"
#define STATUS_CASE_PARKED_KEPT                                                            \
    "ERROR: Renamed to \"%s\", but its temporary copy \"%s\" could not be deleted: remove " \
    "it, or Windows starts the program twice."
#define STATUS_CASE_NOT_STORED \
    "ERROR: The registry did not take the new case of \"%s\"; the entry is as it was."
#define STATUS_CHECKS_UNREAD "ERROR: Not enough memory to read the check boxes; nothing was changed."
#define LOG_NAME_TOO_LONG                                                                  \
    "This file name leaves no room for the \".html\" ending. Please choose a shorter name."

// Today's client area above the status bar: the layout's origin size.
// Every length of the main window is at 96 DPI, scaled when it is placed.
#define DRAWING_WIDTH 600
#define DRAWING_HEIGHT 450
#define FOOTER_HEIGHT 25

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- main_layout.cpp ----------------------------------------------------

int CreateMainControls(HWND window);
// Places every control from the client size (WM_SIZE).
void LayoutMainWindow(HWND window, int width, int height);
// Today's window at the DPI: the smallest the user may make it.
extern SIZE MinimumWindow;
// Remembers the window's size and column widths for the next start.
long SaveMainWindowLayout(HWND window);
// The main window at a new DPI: fonts, pictures, icons, columns, minimum
// size and layout; placed in suggested when given (WM_DPICHANGED).
void RescaleMainWindow(HWND window, int dpi, const RECT *suggested);

// ---- main_window.cpp ----------------------------------------------------

// Replaces the status bar's text (the sink of the store operations).
void SetStatusText(void *context, const char *text);

// Opens the editor for catalogue index (Edit button and context menu):
// a shortcut's property sheet, or the Add/Edit window for a registry value.
void EditCatalogueItem(int32_t index);
// Nonzero when Edit opens an editor (or a shortcut's properties) for it.
int ItemEditable(const struct AutostartItem *item);

// Posts the Refresh command to the main window.
void PostRefresh(void);

// Sets the status from format with name (or none) and path, the path
// shortened in the middle when it is long.
void SetStatusWithPath(const char *format, const char *name, const char *path);

// ---- main_commands.cpp --------------------------------------------------

// Rows whose check box differs from storage.
int32_t PendingChanges(void);
// Says in the status how many changes wait for Apply, when that changed.
void ShowPending(void);

// Asks "Apply the N changes you made?" when there are any: Yes applies them,
// No drops them; zero for Cancel (the caller then does nothing).
int ResolvePendingChanges(HWND window);

// Edit of the selected row (Edit button, Enter and double-click).
void OnEdit(HWND window);
// The buttons, keys and menu choices that OnCommand hands over.
void OnAdd(void);
void OnApply(void);
void OnCleanUp(HWND window);
// 0 when no scan started (cancelled, or a question already open).
int OnRefresh(HWND window, int fromUser);
void OnHelpMenu(HWND window);
void OnSaveLog(HWND window);

// "Hide Windows' own entries" of the "?" menu, as remembered (on at first).
#define STATUS_WINDOWS_HIDDEN "%d of Windows' own entries hidden"
#define STATUS_WINDOWS_SHOWN "Windows' own entries shown"
#define STATUS_NONE_VERIFIED "none could be verified as Windows' own"
#define STATUS_CHOICE_NOT_KEPT " (not remembered: %s)"
#define STATUS_OTHER_PLACES_SHOWN "The other places that start programs are listed"
#define STATUS_OTHER_PLACES_LEFT "The other places that start programs are left out"
extern int HideWindowsEntries;
// Redraws the footer's count (rows come and go as details arrive).
void RepaintFooter(HWND window);
// "N entries: M off here, ...; K services" of the rows shown, by state,
// services counted apart (they start at boot, not at logon).
void EntryCountText(char *text, size_t size);
// What the hide option does now: how many rows it hides, or why none.
void HiddenCountText(char *text, size_t size);

// ---- details_reader.cpp -------------------------------------------------

// Posted to the main window, wParam the scan's number: the scan worker has
// results waiting (the rows, records' details, its end, error texts).
#define WM_SCAN_RESULTS (WM_APP + 27)
// What the details pane shows of a record whose files are not read yet.
#define DETAILS_PENDING_TEXT "..."

// Starts a scan on the worker (the one running is stopped first); the rows
// come with a WM_SCAN_RESULTS, handed to AdoptScannedRows.
void StartDetailsScan(HWND window);
void OnScanResults(HWND window);
// Waits for the scan under way to read every record, and takes it all (the
// report, CleanUp's count, the hide option).
void FinishDetails(HWND window);
// Stops the scan under way and drops what it read (the window closes).
void StopDetailsScan(void);
// The rows on screen are read first: told after a fill, scroll or sort.
void TellVisibleRows(void);
// Nonzero while a menu is open: it holds a record across its own loop, so
// no scan's records replace the list's meanwhile.
extern int HoldScanRows;
// Whatever waits is taken now if it can be (a box, the editor or a menu ended).
void RetryScanResults(void);
// Called on the worker's thread for a file that could not be read: the
// window shows the text when it takes the results.
void QueueScanError(const char *text);
// In main_commands.cpp: a scan's records arrive; 0 when the user cancelled
// (pending changes asked about) and the block was not taken, else 1, or
// ROWS_TAKEN_COUNTED when the status counts the entries (the first scan).
// status: the status the Refresh set, or empty (SCAN_STATUS_SIZE holds any:
// what of the tasks could not be read, with a word before it).
#define ROWS_TAKEN_COUNTED 2
#define SCAN_STATUS_SIZE (2 * TEXT_FIELD_SIZE + 96)
struct CatalogueData;
int AdoptScannedRows(HWND window, CatalogueData *rows, char *status, size_t size);
// A record's details arrived: its row's icon, hidden as Windows' own, the pane.
void ShowRecordDetails(HWND window, int32_t record);
// The details pane of the selected row.
void ShowSelectedDetails(HWND window);

// ---- status_bar.cpp -----------------------------------------------------

// The bar draws its own line, cut with "..." at its end, and gets a tooltip
// with the whole text.
void SetUpStatusBar(HWND bar);

// ---- item_list.cpp ------------------------------------------------------

extern HWND ItemListWindow;
extern WNDPROC ListViewClassProc;
// Nonzero while FillListView sets the rows: their check boxes are no change.
extern int ListFilling;

// The list's style: it holds no rows of its own (LVS_OWNERDATA), each cell
// is drawn from its record.
#define ITEM_LIST_STYLE                                                                 \
    (WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS \
     | LVS_SHAREIMAGELISTS | LVS_OWNERDATA)

// The list's columns, by subitem.
enum ListColumn { COLUMN_NAME, COLUMN_TYPE, COLUMN_STATE, COLUMN_PATH, COLUMN_CHANGE, COLUMN_COST, LIST_COLUMNS };
// Columns, font, image list, check boxes and subclassing of a new list.
void SetUpItemList(HWND list);
// LVN_GETDISPINFOA: a cell's text, icon or check box from its record;
// nonzero when the row is one of ours.
int OnListDisplayInfo(NMLVDISPINFOA *info);
// Nonzero when the row's check box is checked (the state the user wants).
int RowChecked(HWND list, int32_t row);
int FillListView(HWND list);
// A header click: the rows sorted by that column, again reversed, a third
// time back in the scan's own order (the first order); every fill keeps it.
void SortRowsBy(HWND list, int column);
void SortRows(HWND list);
// The order chosen (column -1: the scan's own), to remember and to restore;
// the header's arrow shows it.
void ListSortOrder(int32_t *column, int32_t *descending);
void SetListSortOrder(HWND list, int32_t column, int32_t descending);
// Type-ahead: the first row from start on (wrapping) whose name begins
// with prefix, ignoring case; -1 when none.
int32_t FindRowByName(HWND list, const char *prefix, int32_t start);
// LVN_ODFINDITEMA: the row the list asks for, or -1.
LRESULT OnListFindItem(const NMLVFINDITEMA *find);
// WM_CHAR on the list (time: the message's): nonzero when taken as typed
// text, the row found selected and focused.
int TypeAhead(HWND list, WPARAM character, DWORD time);
// Nonzero while a name is being typed: a space then belongs to the name,
// not to the check box.
int TypingName(DWORD time);
// Rows FillListView left out as Windows' own entries.
extern int32_t HiddenWindowsRows;
// The catalogue index a row shows, or -1 when there is no such row.
int32_t RecordOfRow(HWND list, int32_t row);
// The row that shows a catalogue index, or -1.
int32_t RowOfRecord(HWND list, int32_t record);
// A record's details arrived: its row gets the target's icon, or goes when
// the record is hidden as Windows' own. Nonzero when the row went.
int UpdateRowDetails(HWND list, int32_t record);
// Sets every check box back to the state in storage (pending changes dropped).
void ShowStoredStates(HWND list);
LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Opens a URL, folder or file with a shell verb, never with administrator
// rights; the status says so when elevated and the desktop shell did not
// take it (what: the thing named in the status).
int OpenForUser(const char *verb, const char *file, const char *parameters, const char *what);
BOOL ShowShellProperties(const char *path);
// The first selected row, or -1.
int32_t SelectedRow(HWND list);
// The selected entry (by place and name) and the first visible row, kept
// across a Refresh; WantSelection names the entry a command acted on.
void RememberSelection(HWND list);
void RestoreSelection(HWND list);
void WantSelection(const char *name, const char *scope, int32_t kind);
// The row to select after the next fill: the record's own entry, wherever
// it then lies.
void WantRecord(const AutostartItem *item);
// Runs a context-menu command on the item of a row.
void RunItemCommand(HWND list, UINT command, int32_t row);

// ---- seen_marks.cpp -----------------------------------------------------

// A scan's rows came: they are marked by the list of entries seen (command
// and program; the signers once read).
void MarkScannedRows(void);
// Every file's details are read: marks again with the signers; the first
// run's list, this program's own changes and signers not known before are
// written. Nonzero with said (a status) when the list could not be read,
// was set aside or could not be written.
int SettleMarks(char *said, size_t size);
// The Change column's text of a record: MARK_NEW, MARK_CHANGED or "".
const char *RecordMarkText(int32_t record);
// "2 new, 1 changed, 1 gone since 8 Dec 14:02" of the rows shown; empty
// when nothing is marked.
void MarksStatusText(char *text, size_t size);
// What the details' notes say of a marked record: since when, what it was.
void RecordMarkNote(int32_t record, char *text, size_t size);
// This program changed the entry (Apply, Remove, Add, Edit): accepted at
// the next settling as it then is. A CleanUp: its deleted entries forgotten.
void NoteOwnChange(const AutostartItem *item);
void NoteOwnCleanUp(void);
void NoteSavedEntry(const char *name, int allUsers, int32_t mode, int32_t editIndex);
void OnAcceptRecord(int32_t record);
void OnAcceptAll(void);
// The entries gone since the list was accepted, one per line (text:
// GONE_TEXT_SIZE), and the box that shows them.
#define GONE_TEXT_SIZE (64 * 1024)
void GoneText(char *text, size_t size);
void OnShowGone(HWND window);

#define NOTE_MARKED "%s since %s%s%s"
#define STATUS_NOTHING_TO_ACCEPT "\"%s\" is not marked: there is nothing to accept."
#define STATUS_ACCEPTED_ONE "\"%s\" is accepted as it is now."
#define STATUS_ACCEPTED_ALL "Every entry is accepted as it is now (%s)."
#define STATUS_ACCEPT_NO_MEMORY "Not enough memory to accept the entries; nothing was changed."
#define GONE_NONE "No entry is gone since %s."
#define GONE_LEAD "%d entr%s gone since %s:"
#define GONE_LINE "\"%s\" (%s): %s"
#define GONE_NAMED_MOST 40
#define GONE_MORE "\n... and %d more (orvanec diff lists them all)."
#define GONE_UNSURE \
    "\n%d more could not be looked for (the list may be incomplete): they are not said gone."

// ---- editor_window.cpp --------------------------------------------------

#define EDITOR_ADD_TITLE "Add a startup entry"
#define EDITOR_EDIT_TITLE "Edit a startup entry"
#define BROWSE_TITLE "Choose the program to start"
#define NAME_MISSING_TEXT "Enter a name for the entry: it is how the list shows it."
#define PROGRAM_MISSING_QUESTION \
    "The program \"%s\" was not found, so Windows would start nothing.\n\nSave the entry anyway?"
#define REPLACE_QUESTION "An entry named \"%s\" already exists in %s.\n\nReplace it?"
#define FILE_LABEL_TEXT "Program to start:"
#define KEPT_WHOLE_TOO_LONG "Program to start: (kept as stored: too long to show)"
#define KEPT_WHOLE_TEXT_BEFORE "Program to start: (kept as stored: text before the program)"
#define KEPT_WHOLE_NOT_TEXT "Program to start: (kept as stored: not a text value)"
#define KEPT_WHOLE_RUN_ONCE_EX "Program to start: (kept as stored: a RunOnceEx step)"
#define KEPT_WHOLE_NOT_EXACT \
    "Program to start: (kept as stored: characters this Windows cannot show)"
#define FIELD_TOO_LONG_TEXT "This text is too long for its field (at most %d bytes); nothing was saved."
#define FILE_MISSING_TEXT "Enter the program to start, with its whole path."

extern int32_t EditMode;
extern int32_t EditIndex;
extern HWND EditorWindow;
extern HBITMAP EditorHeaderBitmap;

void OpenEditor(const char *title);
int CreateEditorControls(HWND window);
LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- history_window.cpp -------------------------------------------------

#define HISTORY_TITLE "History"
// The list's name for screen readers.
#define HISTORY_LIST_NAME "Changes made"
#define HISTORY_TORN "%d damaged record%s of the history %s left out."
#define HISTORY_OLDER "%d older change%s not shown."
#define HISTORY_UNREADABLE "ERROR: The history could not be read: %s."
#define HISTORY_EMPTY "No change is recorded yet."
#define HISTORY_NO_MEMORY "ERROR: Not enough memory to list the history."

extern HWND HistoryWindow;

// Opens the History window (the menus' History... and Ctrl+H): waiting
// check boxes are settled first, as before CleanUp; the main window is
// disabled while it is open, as for the Add/Edit window.
void OpenHistory(HWND window);
LRESULT CALLBACK HistoryWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
