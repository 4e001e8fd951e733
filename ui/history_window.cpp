// history_window.cpp - the History window: every change the history holds
// (journal.h), newest first, with the backups no record names, and Undo of
// the selected one (undo.h). Like the Add/Edit window it disables the main
// window while it is open: the list of the main window cannot be rebuilt
// under a question, and no change is made elsewhere while the one shown
// here is undone. The main window takes its Refresh once this one closes.
#include "ui.h"

#include "../store/store.h"
#include "../store/undo.h"

#include <string.h>

HWND HistoryWindow = NULL;

// The history as read, and the order its rows show it in: row r is
// History.records[HistoryRows[r]].
static JournalList History;
static int32_t *HistoryRows = NULL;
static int32_t HistoryRowCount = 0;

#define HISTORY_WIDTH 560
#define HISTORY_HEIGHT 370
#define HISTORY_STYLE (WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define HISTORY_LIST_STYLE                                                                 \
    (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL          \
     | LVS_SHOWSELALWAYS | LVS_OWNERDATA | LVS_NOSORTHEADER)
#define HISTORY_BUTTON_STYLE (WS_CHILD | WS_VISIBLE | WS_TABSTOP)

// In reading order, which is the Tab order; no button is the default, so
// Enter never undoes: only Undo itself (or Alt+U) does.
static const ChildControl HistoryControls[] = {
    {IDC_HISTORY_LIST, WC_LISTVIEWA, HISTORY_LIST_NAME, 15, 15, 530, 260, HISTORY_LIST_STYLE, 0},
    {IDC_HISTORY_STATUS, "STATIC", "", 15, 282, 530, 32, WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0},
    {IDC_HISTORY_UNDO, "BUTTON", "&Undo", 330, 325, 100, 30, HISTORY_BUTTON_STYLE, IDI_REFRESH},
    {IDC_CANCEL, "BUTTON", "Close", 445, 325, 100, 30, HISTORY_BUTTON_STYLE, IDI_EXIT},
};

// Widths at 96 DPI.
static const struct {
    const char *header;
    int width;
} HistoryColumns[] = {{"When", 115}, {"Change", 230}, {"By", 55}, {"Backup", 110}};
enum { HistoryWhen = 0, HistoryChange = 1, HistoryBy = 2, HistoryBackup = 3 };

// ---- reading --------------------------------------------------------------

static void DropHistory(void)
{
    FreeJournal(&History);
    memset(&History, 0, sizeof History);
    if (HistoryRows)
        PlatFree(HistoryRows);
    HistoryRows = NULL;
    HistoryRowCount = 0;
}

// Newest first: the records by number from the highest, the backups no
// record names (newest last) merged in by their time; a record goes before
// a backup of the same time.
static int OrderRows(void)
{
    HistoryRows = JournalNewestFirst(&History);
    if (!HistoryRows)
        return 0;
    HistoryRowCount = History.count;
    return 1;
}

// What the line under the list says of the reading: why nothing could be
// read, or what was left out; empty when nothing is to be said.
static void ReadingText(long read, char *text, size_t size)
{
    text[0] = '\0';
    if (read != PLAT_OK) {
        TextFormat(text, size, HISTORY_UNREADABLE, CauseText(read));
        return;
    }
    if (!HistoryRows) {
        TextCopy(text, size, HISTORY_NO_MEMORY);
        return;
    }
    if (History.torn) {
        TextFormat(text, size, HISTORY_TORN, (int)History.torn, History.torn == 1 ? "" : "s",
                   History.torn == 1 ? "was" : "were");
    }
    if (History.older) {
        char older[96];
        TextFormat(older, sizeof older, HISTORY_OLDER, (int)History.older,
                   History.older == 1 ? " is" : "s are");
        if (text[0])
            TextAppend(text, size, " ");
        TextAppend(text, size, older);
    }
    if (!text[0] && HistoryRowCount == 0)
        TextCopy(text, size, HISTORY_EMPTY);
}

// The status line, with escapes: a name in it cannot pass for another.
static void SetHistoryStatus(HWND window, const char *text)
{
    char shown[4 * OUTCOME_TEXT_SIZE];
    TextCopyVisible(shown, sizeof shown, text, 0);
    SetDlgItemTextA(window, IDC_HISTORY_STATUS, shown);
}

static void SelectHistoryRow(HWND list, int32_t row)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);
    if (row < 0)
        return;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
}

static const JournalRecord *RecordOfHistoryRow(int32_t row)
{
    return row >= 0 && row < HistoryRowCount ? &History.records[HistoryRows[row]] : NULL;
}

// The row of the change of number, or of the unrecorded backup (number 0)
// of that file; -1 when the list lacks it.
static int32_t RowOfChange(int32_t number, const char *backup)
{
    for (int32_t row = 0; row < HistoryRowCount; ++row) {
        const JournalRecord *record = RecordOfHistoryRow(row);
        if (record->number == number
            && (number != 0 || TextCompareNoCase(record->backup, backup) == 0))
            return row;
    }
    return -1;
}

// Reads the history anew and selects the change of number (backup for an
// unrecorded one), else the first row; says how the reading went, after
// said (what the caller has to say first, or null).
static void ReadHistory(HWND window, int32_t number, const char *backup, const char *said)
{
    HWND list = GetDlgItem(window, IDC_HISTORY_LIST);
    DropHistory();
    long read = ReadJournal(NULL, &History);
    if (read == PLAT_OK)
        AddUnrecordedBackups(&History);
    if (!OrderRows())
        HistoryRowCount = 0;
    SendMessageA(list, LVM_SETITEMCOUNT, (WPARAM)HistoryRowCount, 0);
    int32_t row = RowOfChange(number, backup ? backup : "");
    SelectHistoryRow(list, row >= 0 ? row : HistoryRowCount > 0 ? 0 : -1);
    EnableWindow(GetDlgItem(window, IDC_HISTORY_UNDO), HistoryRowCount > 0);
    InvalidateRect(list, NULL, TRUE);
    char reading[2 * TEXT_FIELD_SIZE];
    ReadingText(read, reading, sizeof reading);
    char status[OUTCOME_TEXT_SIZE + sizeof reading];
    TextCopy(status, sizeof status, said ? said : "");
    if (status[0] && reading[0])
        TextAppend(status, sizeof status, "\n");
    TextAppend(status, sizeof status, reading);
    SetHistoryStatus(window, status);
}

// A cell's text: the record's own words, never a stored text unescaped.
static void CellOfRecord(const JournalRecord *record, int column, char *text, size_t size)
{
    char words[JOURNAL_WORDS_SIZE];
    const char *file = strrchr(record->backup, '\\');
    switch (column) {
    case HistoryWhen: JournalTimeText(record, words, sizeof words); break;
    case HistoryChange: JournalWords(&History, record, words, sizeof words); break;
    case HistoryBy: TextCopy(words, sizeof words, record->front); break;
    default: TextCopy(words, sizeof words, file ? file + 1 : record->backup); break;
    }
    TextCopyVisible(text, size, words, 0);
}

static void OnHistoryDisplayInfo(NMLVDISPINFOA *info)
{
    LVITEMA *cell = &info->item;
    const JournalRecord *record = RecordOfHistoryRow(cell->iItem);
    if (record && (cell->mask & LVIF_TEXT) && cell->pszText && cell->cchTextMax > 0)
        CellOfRecord(record, cell->iSubItem, cell->pszText, (size_t)cell->cchTextMax);
}

// ---- undo -----------------------------------------------------------------

struct UndoReport {
    char words[OUTCOME_TEXT_SIZE];
    int said;
};

// The undo's outcome goes to both status lines; an entry it put back is
// this program's own change, not one to mark as new.
static void TakeUndoOutcome(void *context, const StoreOutcome *outcome)
{
    UndoReport *report = (UndoReport *)context;
    if (outcome->result == ResultDone && outcome->item)
        NoteOwnChange(outcome->item);
    WordOutcome(outcome, STATUS_PATH_ROOM, report->words, sizeof report->words);
    report->said = 1;
    SetStatusText(NULL, report->words);
}

// Yes/No with No the default, over this window. Each line of the question
// is shown with escapes (a name cannot pass for another); its lines stay
// lines.
static int AskOverHistory(void *, const char *question)
{
    char shown[4 * OUTCOME_TEXT_SIZE] = "";
    for (const char *line = question; line;) {
        const char *end = strchr(line, '\n');
        char part[OUTCOME_TEXT_SIZE], visible[4 * OUTCOME_TEXT_SIZE];
        size_t length = end ? (size_t)(end - line) : strlen(line);
        if (length >= sizeof part)
            length = sizeof part - 1;
        memcpy(part, line, length);
        part[length] = '\0';
        TextCopyVisible(visible, sizeof visible, part, 0);
        TextAppend(shown, sizeof shown, visible);
        if (end)
            TextAppend(shown, sizeof shown, "\n");
        line = end ? end + 1 : NULL;
    }
    return MessageBoxA(HistoryWindow, shown, HISTORY_TITLE,
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2)
           == IDYES;
}

static void OnUndo(HWND window)
{
    HWND list = GetDlgItem(window, IDC_HISTORY_LIST);
    int32_t row = (int32_t)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    const JournalRecord *record = RecordOfHistoryRow(row);
    if (!record)
        return;
    // The record goes with the list read again: what is kept is copied.
    int32_t number = record->number, lastBefore = History.lastNumber;
    char backup[TEXT_FIELD_SIZE], name[TEXT_FIELD_SIZE], scope[SCOPE_SIZE];
    TextCopy(backup, sizeof backup, record->backup);
    TextCopy(name, sizeof name, record->name);
    TextCopy(scope, sizeof scope, record->scope);
    int32_t kind = record->kind;
    UndoReport report;
    memset(&report, 0, sizeof report);
    const FrontEnd front = {TakeUndoOutcome, AskOverHistory, ShowCatalogueError, &report,
                            FRONT_WINDOW};
    OutcomeResult result = UndoRecord(&History, record, &front);
    if (result == ResultDone && name[0])
        WantSelection(name, scope, kind);
    // Whatever it did, storage may have changed: the main list is read again.
    if (result != ResultDeclined)
        PostRefresh();
    // The undo is a change of its own: the newest record, when written.
    ReadHistory(window, number, backup, report.said ? report.words : NULL);
    if (History.lastNumber > lastBefore) {
        int32_t undone = RowOfChange(History.lastNumber, "");
        if (undone >= 0)
            SelectHistoryRow(list, undone);
    }
    SetFocus(list);
}

// ---- the window -----------------------------------------------------------

static SIZE HistoryOuterSize(void)
{
    RECT outer = {0, 0, Scaled(HISTORY_WIDTH), Scaled(HISTORY_HEIGHT)};
    AdjustRectForDpi(&outer, HISTORY_STYLE, WS_EX_CONTROLPARENT, UiDpi);
    SIZE size = {outer.right - outer.left, outer.bottom - outer.top};
    return size;
}

static int CreateHistoryControls(HWND window)
{
    int failures = 0;
    for (const ChildControl &row : HistoryControls)
        if (!CreateChildControl(window, &row))
            ++failures;
    HWND list = GetDlgItem(window, IDC_HISTORY_LIST);
    if (!list)
        return failures;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < (int)(sizeof HistoryColumns / sizeof HistoryColumns[0]); ++i) {
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = Scaled(HistoryColumns[i].width);
        column.pszText = (char *)HistoryColumns[i].header;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
    }
    return failures;
}

void OpenHistory(HWND window)
{
    if (HistoryWindow) {
        SetForegroundWindow(HistoryWindow);
        return;
    }
    // The main list is read again after an undo: nothing may wait in it.
    if (!ResolvePendingChanges(window))
        return;
    WNDCLASSA known;
    if (!GetClassInfoA(AppInstance, HISTORY_CLASS_NAME, &known) && RegisterHistoryClass() != 0) {
        ShowLastError(window);
        return;
    }
    SIZE outer = HistoryOuterSize();
    HistoryWindow = CreateWindowExA(WS_EX_CONTROLPARENT, HISTORY_CLASS_NAME, HISTORY_TITLE,
                                    HISTORY_STYLE, 0, 0, outer.cx, outer.cy, window, NULL,
                                    AppInstance, NULL);
    if (!HistoryWindow) {
        ShowLastError(window);
        return;
    }
    CreateHistoryControls(HistoryWindow);
    ReadHistory(HistoryWindow, -1, NULL, NULL);
    SetFocus(GetDlgItem(HistoryWindow, IDC_HISTORY_LIST));
    UpdateWindow(HistoryWindow);
    ShowWindow(HistoryWindow, SW_SHOWNORMAL);
}

// The main window is enabled before this one goes, so Windows gives the
// activation back to it rather than to some other program's window.
static void OnClose(HWND window)
{
    EnableWindow(MainWindow, TRUE);
    DestroyWindow(window);
    SetForegroundWindow(MainWindow);
    SetActiveWindow(MainWindow);
}

static void OnDestroy(void)
{
    EnableWindow(MainWindow, TRUE);
    DropHistory();
    HistoryWindow = NULL;
    if (MainWindow && WindowDpi(MainWindow) != UiDpi)
        RescaleMainWindow(MainWindow, WindowDpi(MainWindow), NULL);
}

// Another monitor: the font, icons, controls and columns at the new DPI,
// in the place Windows suggests.
static void OnDpiChanged(HWND window, int dpi, const RECT *suggested)
{
    int old = UiDpi;
    UseDpi(dpi);
    for (const ChildControl &row : HistoryControls) {
        HWND control = GetDlgItem(window, row.id);
        MoveScaled(control, row.x, row.y, row.width, row.height);
        if (row.icon)
            SetSkinIcon(control, ButtonIcon(row.icon));
    }
    HWND list = GetDlgItem(window, IDC_HISTORY_LIST);
    const int columns = (int)(sizeof HistoryColumns / sizeof HistoryColumns[0]);
    for (int i = 0; i < columns && old != dpi; ++i) {
        int width = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0);
        SendMessageA(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(MulDiv(width, dpi, old), 0));
    }
    SIZE outer = HistoryOuterSize();
    SetWindowPos(window, NULL, suggested->left, suggested->top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, NULL, TRUE);
}

static LRESULT OnActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    static HWND focused = NULL;
    return ActivateKeepingFocus(window, wParam, lParam, &focused, IDC_HISTORY_LIST);
}

static void OnCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_HISTORY_UNDO: OnUndo(window); break;
    case IDC_CANCEL: PostMessageA(window, WM_CLOSE, 0, 0); break;
    default: break; // Enter (IDOK) does nothing here
    }
}

LRESULT CALLBACK HistoryWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CenterWindow(window);
        EnableWindow(MainWindow, FALSE);
        return 0;
    case WM_NOTIFY:
        if (((NMHDR *)lParam)->code == LVN_GETDISPINFOA)
            OnHistoryDisplayInfo((NMLVDISPINFOA *)lParam);
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_CTLCOLORSTATIC:
        return BlackTextOnWhite((HDC)wParam);
    case WM_DPICHANGED:
        OnDpiChanged(window, HIWORD(wParam), (const RECT *)lParam);
        return 0;
    case WM_ACTIVATE:
        return OnActivate(window, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
