// main_commands.cpp - what the main window's buttons, keys and "?" menu do:
// Add, Edit, Apply, CleanUp, Refresh, Save Log and the menu's choices, each
// turned into catalogue and store operations whose outcome the status says.
#include "ui.h"

#include "../store/store.h"
#include "help.h"
#include "../report/html_log.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#define SUPPORT_PAGE ORVANE_WEB_SITE "supportus.html"

// ---- check boxes that differ from storage -------------------------------

int32_t PendingChanges(void)
{
    int rows = ItemListWindow ? (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0) : 0;
    int32_t pending = 0;
    for (int i = 0; i < rows; ++i) {
        const AutostartItem *record = CatalogueItem(RecordOfRow(ItemListWindow, i));
        if (!record)
            continue;
        pending += RowChecked(ItemListWindow, i) != record->enabled;
    }
    return pending;
}

// Says how many changes wait for Apply, when that number changed.
static int32_t ShownPending = 0;
int HideWindowsEntries = 1;
void ShowPending(void)
{
    int32_t pending = PendingChanges();
    if (pending == ShownPending)
        return;
    ShownPending = pending;
    char status[96];
    if (pending == 0)
        TextCopy(status, sizeof status, STATUS_NONE_PENDING);
    else
        TextFormat(status, sizeof status, STATUS_CHANGES_PENDING, (int)pending,
                   pending == 1 ? "change" : "changes", pending == 1 ? "it" : "them");
    SetStatusText(NULL, status);
}

int ItemEditable(const AutostartItem *item)
{
    return item->kind != ScheduledTask && item->kind != PackagedApp && item->kind != Service
           && !item->cut && !item->inexact && !item->logonPlace;
}

void EditCatalogueItem(int32_t index)
{
    EditIndex = index;
    const AutostartItem *item = CatalogueItem(index);
    if (!item)
        return;
    // A script of Group Policy kept in an ini file is a logon place's row.
    if (item->kind == Shortcut && !item->logonPlace) {
        ShowShellProperties(item->location);
        return;
    }
    if (item->kind == ScheduledTask || item->kind == PackagedApp || item->kind == Service) {
        char status[TEXT_FIELD_SIZE + 96];
        TextFormat(status, sizeof status,
                   item->kind == PackagedApp ? STATUS_APP_NOT_EDITED
                   : item->kind == Service   ? STATUS_SERVICE_NOT_EDITED
                                             : STATUS_TASK_NOT_EDITED,
                   ItemShownName(item));
        SetStatusText(NULL, status);
        return;
    }
    // A cut name is not the entry's: editing it could reach another one.
    if (item->cut) {
        SetStatusText(NULL, STATUS_ENTRY_CUT);
        return;
    }
    if (item->inexact) {
        char status[TEXT_FIELD_SIZE + 96];
        TextFormat(status, sizeof status, STATUS_NAME_INEXACT, item->name);
        SetStatusText(NULL, status);
        return;
    }
    // A logon place's row is a program of a shared value, not a Run value;
    // Windows' own program there is not changed at all.
    if (item->logonPlace) {
        char status[TEXT_FIELD_SIZE + 256];
        long cause = SwitchRefusalCause(item);
        if (cause != PLAT_OK)
            TextFormat(status, sizeof status, STATUS_ROW_FIXED, item->name, CauseText(cause));
        else
            TextFormat(status, sizeof status, STATUS_LOGON_NOT_EDITED, item->name);
        SetStatusText(NULL, status);
        return;
    }
    EditMode = EditorEdit;
    EditorHeaderBitmap = LoadArt(IDB_EDITOR_EDIT);
    OpenEditor(EDITOR_EDIT_TITLE);
}

// ---- commands -----------------------------------------------------------

void OnAdd(void)
{
    EditMode = EditorAdd;
    EditorHeaderBitmap = LoadArt(IDB_EDITOR_ADD);
    OpenEditor(EDITOR_ADD_TITLE);
}

void OnEdit(HWND window)
{
    int32_t row = SelectedRow(ItemListWindow);
    if (row < 0) {
        EditIndex = -1;
        MessageBoxA(window, NO_SELECTION_TEXT, "Error", MB_ICONERROR);
        return;
    }
    EditCatalogueItem(RecordOfRow(ItemListWindow, row));
}

// The desired state of every record: its row's check box (state image 2 or
// 1) minus 1; a record without a row (hidden) keeps its stored state.
static int32_t *ReadCheckBoxes(int32_t *count)
{
    *count = 0;
    int rows = ItemListWindow ? (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0) : 0;
    int32_t records = ItemCatalogue.count;
    int32_t *desired = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                            sizeof(int32_t) * ((size_t)records + 1));
    if (!desired)
        return NULL;
    for (int32_t r = 0; r < records; ++r)
        desired[r] = ItemCatalogue.items[r].enabled;
    for (int i = 0; i < rows; ++i) {
        int32_t record = RecordOfRow(ItemListWindow, i);
        if (record < 0 || record >= records)
            continue;
        desired[record] = RowChecked(ItemListWindow, i);
    }
    *count = records;
    return desired;
}

// What Apply's outcomes said: the first failure and how many there were,
// the change done when it was the only one, and the backups written.
struct ApplyReport {
    char first[OUTCOME_TEXT_SIZE];
    int failures;
    char done[OUTCOME_TEXT_SIZE];
    char backup[TEXT_FIELD_SIZE];
    int backups;
    int changes; // asked for, and not declined
};

static void CollectOutcome(void *context, const StoreOutcome *outcome)
{
    ApplyReport *report = (ApplyReport *)context;
    // Each list value changed was backed up on its own, whatever came after.
    if (outcome->backup[0] && report->backups++ == 0)
        TextCopy(report->backup, sizeof report->backup, outcome->backup);
    // A No to the question keeps the entry as it is: nothing to say.
    if (outcome->result == ResultDeclined)
        return;
    if (outcome->result == ResultDone)
        NoteOwnChange(outcome->item);
    ++report->changes;
    if (outcome->result == ResultDone)
        WordOutcome(outcome, STATUS_PATH_ROOM, report->done, sizeof report->done);
    else if (report->failures++ == 0)
        WordOutcome(outcome, STATUS_PATH_ROOM, report->first, sizeof report->first);
}

// A file of the shared folder of disabled items is enabled for every user
// only when the user says so; a No keeps it disabled.
static int AskForAllUsers(void *, const char *question)
{
    return MessageBoxA(MainWindow, question, MAIN_WINDOW_TITLE,
                       MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2)
           == IDYES;
}

// Apply: every row's check box is stored; the status says how many changes
// were stored and names the first that was not, with its cause.
void OnApply(void)
{
    int32_t count = 0;
    int32_t pending = PendingChanges();
    int32_t *desired = ReadCheckBoxes(&count);
    if (!desired) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    ApplyReport report;
    memset(&report, 0, sizeof report);
    const FrontEnd front = {CollectOutcome, AskForAllUsers, ShowCatalogueError, &report, FRONT_WINDOW};
    int stored = ApplyChanges(desired, count, &front);
    HeapFree(GetProcessHeap(), 0, desired);
    // A change that failed is not waiting any more: its box shows the entry
    // as it is, and the Refresh after this asks nothing about it.
    ShowStoredStates(ItemListWindow);
    char status[2 * OUTCOME_TEXT_SIZE];
    // One change is named: what was done to which entry.
    if (report.failures == 0 && stored == 1 && report.changes == 1) {
        SetStatusText(NULL, report.done);
        ShownPending = 0;
        PostRefresh();
        return;
    }
    if (report.failures == 0)
        TextFormat(status, sizeof status, STATUS_APPLIED, stored, stored == 1 ? "change" : "changes");
    else
        TextFormat(status, sizeof status, STATUS_APPLIED_SOME, stored, (int)pending,
                   report.first, report.failures > 1 ? STATUS_MORE_FAILURES : "");
    if (report.backups) {
        char shortPath[2 * TEXT_FIELD_SIZE];
        BackupShown(report.backup, STATUS_PATH_ROOM, shortPath, sizeof shortPath);
        char more[48] = "";
        if (report.backups > 1)
            TextFormat(more, sizeof more, STATUS_MORE_BACKUPS, (int)report.backups - 1);
        size_t used = strlen(status);
        TextFormat(status + used, sizeof status - used, STATUS_BACKUPS_NAMED,
                   report.backups > 1 ? "s" : "", shortPath, more);
    }
    SetStatusText(NULL, status);
    ShownPending = 0;
    PostRefresh();
}

int ResolvePendingChanges(HWND window)
{
    int32_t pending = PendingChanges();
    if (pending == 0)
        return 1;
    char question[96];
    TextFormat(question, sizeof question, APPLY_PENDING_QUESTION, (int)pending,
               pending == 1 ? "change" : "changes");
    int answer = MessageBoxA(window, question, MAIN_WINDOW_TITLE,
                             MB_ICONQUESTION | MB_YESNOCANCEL);
    if (answer == IDCANCEL)
        return 0;
    if (answer == IDYES)
        OnApply();
    else
        ShowStoredStates(ItemListWindow); // No: dropped, as the user said
    ShownPending = 0;
    return 1;
}

// CleanUp's summary, and any change it could not apply first, go to the
// status; the summary counts the entries kept, so they are not named again.
static void ShowCleanUpOutcome(void *, const StoreOutcome *outcome)
{
    if (outcome->item && outcome->result == ResultDone)
        NoteOwnChange(outcome->item);
    if (outcome->item && (outcome->action == ActionCleanUp || !OutcomeFailed(outcome)
                          || outcome->result == ResultDeclined))
        return;
    char status[OUTCOME_TEXT_SIZE];
    WordOutcome(outcome, 0, status, sizeof status);
    SetStatusText(NULL, status);
}

// The entries CleanUp deletes, a line each (the first few, then how many
// more), and how many switched off in Windows' settings it keeps.
static void NameCleanUpEntries(const int32_t *marked, int32_t count, int32_t entries,
                               const CleanUpKept *kept, char *text, size_t size)
{
    int32_t named = 0;
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (!marked[i] || named == CLEANUP_NAMES_SHOWN)
            continue;
        char visible[4 * TEXT_FIELD_SIZE], name[128], line[192];
        TextCopyVisible(visible, sizeof visible, ItemShownName(item), ItemNameCut(item));
        TextShortenMiddle(name, sizeof name, visible, 60);
        TextFormat(line, sizeof line, "    %s (%s)\n", name,
                   ScopeIsUser(item->scope) ? "this user" : "all users");
        TextAppend(text, size, line);
        ++named;
    }
    char line[512];
    // Values written since the scan are counted, not named.
    if (entries > named) {
        TextFormat(line, sizeof line, CLEANUP_MORE_ENTRIES, (int)(entries - named));
        TextAppend(text, size, line);
    }
    TextAppend(text, size, "\n");
    if (CleanUpKeptText(kept, line, sizeof line)) {
        TextAppend(text, size, line);
        TextAppend(text, size, "\n\n");
    }
}

// CleanUp's question; zero when the entries could not be listed.
static int CleanUpQuestion(const CleanUpCount *what, const int32_t *hidden, int32_t count,
                           char *question, size_t size)
{
    int32_t *marked = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                           sizeof(int32_t) * ((size_t)count + 1));
    if (!marked)
        return 0;
    CleanUpKept kept;
    MarkCleanUpRecords(hidden, count, marked, &kept);
    int32_t entries = what->user + what->machine;
    char settings[64] = "";
    if (what->settings)
        TextFormat(settings, sizeof settings, STATUS_CLEANUP_SETTINGS, (int)what->settings,
                   what->settings == 1 ? "setting" : "settings");
    TextFormat(question, size, CLEANUP_QUESTION, (int)entries, entries == 1 ? "entry" : "entries",
               (int)what->user, (int)what->machine, settings);
    NameCleanUpEntries(marked, count, entries, &kept, question, size);
    char backup[128];
    TextFormat(backup, sizeof backup, CLEANUP_BACKUP_KEPT, entries + what->settings == 1 ? "it" : "them");
    TextAppend(question, size, backup);
    HeapFree(GetProcessHeap(), 0, marked);
    return 1;
}

// CleanUp: pending check boxes are settled first (asked, never applied
// unasked); then the question counts, from storage as it is after that,
// what goes and from where, with No the default.
// Nonzero when storage no longer holds what the question counted: other
// entries, or in other keys.
static int CleanUpChanged(const CleanUpCount *asked, const int32_t *hidden, int32_t count)
{
    CleanUpCount now;
    CountCleanUpShown(&now, hidden, count);
    return now.user != asked->user || now.machine != asked->machine
           || now.settings != asked->settings || now.hiddenPlaces != asked->hiddenPlaces
           || strcmp(now.places, asked->places) != 0;
}

void OnCleanUp(HWND window)
{
    if (!ResolvePendingChanges(window))
        return;
    // Which disabled entries are Windows' own (kept) is known only once
    // every record's signature is read.
    FinishDetails(window);
    // The stored states (nothing pending is applied here), then the rows
    // hidden as Windows' own: their keys are kept, and not counted.
    int32_t count = ItemCatalogue.count;
    int32_t *stored = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                           sizeof(int32_t) * (2 * (size_t)count + 1));
    if (!stored) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    int32_t *hidden = stored + count;
    for (int32_t i = 0; i < count; ++i) {
        stored[i] = ItemCatalogue.items[i].enabled;
        hidden[i] = ItemHiddenAsWindows(&ItemCatalogue.items[i], HideWindowsEntries);
    }
    CleanUpCount what;
    CountCleanUpShown(&what, hidden, count);
    char question[CLEANUP_QUESTION_SIZE];
    const char *status = NULL;
    if (what.user + what.machine + what.settings == 0)
        status = STATUS_CLEANUP_NOTHING;
    else if (!CleanUpQuestion(&what, hidden, count, question, sizeof question))
        status = STATUS_CHECKS_UNREAD;
    else if (MessageBoxA(window, question, MAIN_WINDOW_TITLE,
                         MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
             != IDYES)
        status = "";
    // The question named what storage held then: a value another program
    // wrote or deleted while it was open is not deleted unseen.
    else if (CleanUpChanged(&what, hidden, count))
        status = STATUS_CLEANUP_CHANGED;
    if (status) {
        if (status[0])
            SetStatusText(NULL, status);
        HeapFree(GetProcessHeap(), 0, stored);
        return;
    }
    const FrontEnd front = {ShowCleanUpOutcome, AskForAllUsers, ShowCatalogueError, NULL, FRONT_WINDOW};
    NoteOwnCleanUp();
    CleanUpDisabledShown(stored, hidden, count, &front);
    HeapFree(GetProcessHeap(), 0, stored);
    PostRefresh();
}

// The list is rebuilt without a selection: the pane shows no entry.
static void ClearDetails(HWND window)
{
    static const int fields[] = {IDC_LOCATION, IDC_COMMAND,   IDC_DESCRIPTION,
                                 IDC_COMPANY,  IDC_PUBLISHER, IDC_NOTES};
    for (int id : fields)
        SetDlgItemTextA(window, id, "");
}

static int RefreshFromUser = 0;
static int RefreshCounted = 0;
static int RowsAwaited = 0; // a scan's rows are not in the list yet

// A box shown while asking runs its own message loop, which would hand a
// posted Refresh to this window: one question at a time. Storage is read
// by the scan worker; the old records stay in the list until its block
// replaces them in one step, and the files' details follow the rows.
// 0 when no scan started (cancelled, or a question already open).
int OnRefresh(HWND window, int fromUser)
{
    static int asking = 0;
    if (asking)
        return 0;
    asking = 1;
    int settled = ResolvePendingChanges(window);
    asking = 0;
    if (!settled) {
        SetStatusText(NULL, STATUS_REFRESH_CANCELLED);
        return 0;
    }
    // A Refresh the user asked for and a later one (after an Apply) that
    // replaces it before its rows came: the user still hears the count.
    RefreshFromUser = fromUser || (RowsAwaited && RefreshFromUser);
    RowsAwaited = 1;
    StartDetailsScan(window);
    return 1;
}

int AdoptScannedRows(HWND window, CatalogueData *rows, char *status, size_t size)
{
    status[0] = '\0';
    // A box changed while storage was read: asked about as a Refresh asks.
    if (PendingChanges() && !ResolvePendingChanges(window)) {
        SetStatusText(NULL, STATUS_REFRESH_CANCELLED);
        return 0;
    }
    RowsAwaited = 0;
    RememberSelection(ItemListWindow);
    ClearDetails(window);
    AdoptCatalogue(rows);
    if (ItemListWindow) {
        FillListView(ItemListWindow);
        RestoreSelection(ItemListWindow);
    }
    RepaintFooter(window);
    ShownPending = 0;
    // A list that may lack rows says so until the next Refresh; one that
    // lacks tasks, at the first scan and every Refresh the user asks for (a
    // Refresh after a change keeps what the change said; the box says it).
    const char *tasks = ItemCatalogue.tasksUnread;
    if (ItemCatalogue.changed || (tasks[0] && (!RefreshCounted || RefreshFromUser))) {
        RefreshCounted = 1;
        char said[SCAN_STATUS_SIZE];
        TextCopy(said, sizeof said, ItemCatalogue.changed ? SCAN_STORAGE_CHANGED : "");
        if (said[0] && tasks[0])
            TextAppend(said, sizeof said, "; ");
        TextAppend(said, sizeof said, tasks);
        TextCopyShown(status, size, said, 0);
        SetStatusText(NULL, status);
        return 1;
    }
    if (!RefreshCounted) {
        RefreshCounted = 1;
        EntryCountText(status, size);
        SetStatusText(NULL, status);
        return ROWS_TAKEN_COUNTED;
    } else if (RefreshFromUser) {
        TextFormat(status, size, STATUS_REFRESHED, (int)ItemCatalogue.count,
                   ItemCatalogue.count == 1 ? "entry" : "entries");
        SetStatusText(NULL, status);
    }
    return 1;
}

void HiddenCountText(char *text, size_t size)
{
    int verified = 0;
    for (int32_t i = 0; i < ItemCatalogue.count && !verified; ++i)
        verified = ItemCatalogue.items[i].signedByWindows;
    if (!HideWindowsEntries)
        TextCopy(text, size, STATUS_WINDOWS_SHOWN);
    else if (HiddenWindowsRows || verified)
        TextFormat(text, size, STATUS_WINDOWS_HIDDEN, (int)HiddenWindowsRows);
    else
        TextCopy(text, size, STATUS_NONE_VERIFIED);
}

static void ShowHiddenCount(long saved)
{
    char status[TEXT_FIELD_SIZE];
    HiddenCountText(status, sizeof status);
    if (saved != PLAT_OK) {
        char cause[TEXT_FIELD_SIZE];
        TextFormat(cause, sizeof cause, STATUS_CHOICE_NOT_KEPT, CauseText(saved));
        TextAppend(status, sizeof status, cause);
    }
    SetStatusText(NULL, status);
}

// The rows are rebuilt from the records, so waiting check boxes are
// settled first, as before a Refresh.
static void OnHideWindows(HWND window)
{
    if (!ResolvePendingChanges(window))
        return;
    HideWindowsEntries = !HideWindowsEntries;
    long saved = SaveHideWindowsSetting(HideWindowsEntries);
    // The count names every hidden row: the signatures are read first.
    FinishDetails(window);
    RememberSelection(ItemListWindow);
    ClearDetails(window);
    if (ItemListWindow) {
        FillListView(ItemListWindow);
        RestoreSelection(ItemListWindow);
    }
    ShownPending = 0;
    ShowHiddenCount(saved);
}

// Only a scan reads the other places: the list is read again. Waiting
// check boxes are settled first, as before a Refresh.
static void OnOtherPlaces(HWND window)
{
    if (!ResolvePendingChanges(window))
        return;
    ListOtherPlaces = !ListOtherPlaces;
    long saved = SaveOtherPlacesSetting(ListOtherPlaces);
    if (saved != PLAT_OK) {
        char status[TEXT_FIELD_SIZE], cause[TEXT_FIELD_SIZE];
        TextFormat(cause, sizeof cause, STATUS_CHOICE_NOT_KEPT, CauseText(saved));
        TextFormat(status, sizeof status, "%s%s",
                   ListOtherPlaces ? STATUS_OTHER_PLACES_SHOWN : STATUS_OTHER_PLACES_LEFT, cause);
        SetStatusText(NULL, status);
    }
    // The count of the new list says the rest, unless the choice was not kept.
    OnRefresh(window, saved == PLAT_OK);
}

void OnHelpMenu(HWND window)
{
    RECT button;
    GetWindowRect(GetDlgItem(window, IDM_HELP_BUTTON), &button);
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_HELP_MENU));
    if (!menu)
        return;
    CheckMenuItem(menu, IDM_HIDE_WINDOWS,
                  MF_BYCOMMAND | (HideWindowsEntries ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, IDM_OTHER_PLACES,
                  MF_BYCOMMAND | (ListOtherPlaces ? MF_CHECKED : MF_UNCHECKED));
    SetForegroundWindow(window);
    ++HoldScanRows;
    UINT chosen = (UINT)TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTALIGN,
                                       button.right, button.bottom, 0, window, NULL);
    --HoldScanRows;
    switch (chosen) {
    case IDM_HELP: ShowHelp(window, NULL); break;
    case IDM_HIDE_WINDOWS: OnHideWindows(window); break;
    case IDM_OTHER_PLACES: OnOtherPlaces(window); break;
    case IDM_HISTORY: OpenHistory(window); break;
    case IDM_WEBSITE: OpenForUser("open", ORVANE_WEB_SITE, "", ORVANE_WEB_SITE); break;
    case IDM_SUPPORT: OpenForUser("open", SUPPORT_PAGE, "", SUPPORT_PAGE); break;
    case IDM_ABOUT: MessageBoxA(window, ABOUT_TEXT, "About...", MB_ICONINFORMATION); break;
    default: break;
    }
    DestroyMenu(menu);
    PostMessageA(window, WM_NULL, 0, 0);
    RetryScanResults();
}

void OnSaveLog(HWND window)
{
    char path[TEXT_FIELD_SIZE];
    char documents[TEXT_FIELD_SIZE];
    OPENFILENAMEA dialog;
    PrepareFileDialog(&dialog, window, path, sizeof path, "HTML files\0*.htm;*.html\0",
                      "Save Log...", OFN_EXPLORER | OFN_OVERWRITEPROMPT);
    // Proposed: "Orvane Tool report 2026-12-07.html" in Documents.
    SYSTEMTIME today;
    GetLocalTime(&today);
    TextFormat(path, sizeof path, LOG_NAME_FORMAT, today.wYear, today.wMonth, today.wDay);
    if (PlatShellFolder(PLAT_CSIDL_PERSONAL, documents))
        dialog.lpstrInitialDir = documents;
    if (!GetSaveFileNameA(&dialog))
        return;
    path[sizeof path - 1] = '\0';
    // The dialog asked about replacing the name it gave, if that existed
    // when it closed; any other file, or one made since, is never replaced.
    char chosen[sizeof path];
    TextCopy(chosen, sizeof chosen, path);
    if (!CompleteLogPath(path, sizeof path)) {
        MessageBoxA(window, LOG_NAME_TOO_LONG, "Save Log...", MB_ICONWARNING | MB_OK);
        return;
    }
    int asked = strcmp(chosen, path) == 0 && PlatFileAttributes(path) != PLAT_NO_ATTRIBUTES;
    // A Refresh cancelled at its question writes no report of older rows.
    if (!OnRefresh(window, 0))
        return;
    FinishDetails(window);
    if (!asked && PlatFileAttributes(path) != PLAT_NO_ATTRIBUTES) {
        SetStatusWithPath(STATUS_REPORT_EXISTS, NULL, path);
        return;
    }
    int written = asked ? WriteHtmlLog(path) : WriteNewHtmlLog(path);
    SetStatusWithPath(written ? STATUS_REPORT_SAVED : STATUS_REPORT_FAILED, NULL, path);
}

