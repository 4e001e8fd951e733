// details_reader.cpp - registry and folder enumeration, shortcut loads and
// each target's version block and signature (milliseconds per file,
// far more for a catalog look-up or a cold disk) are read by the scan
// worker, off the window's thread. What it reads waits here under a lock,
// and one posted message at a time tells the window to take it all: the
// queue is never flooded, however many records there are. A result lands
// only while its scan's number is still the current one.
#include "ui.h"

#include "../catalogue/scan_worker.h"

#include <string.h>

struct ScanError {
    ScanError *next;
    char text[512];
};

// Written by the worker under Lock, taken by the window.
struct Outbox {
    PlatLock lock;
    HWND window;
    int32_t scan;
    int hasRows;
    CatalogueData rows;
    ItemDetails *results; // one slot per record of the scan, filled in order
    int32_t capacity;
    int32_t written;
    int done;     // the end, until the window takes it
    int finished; // the end, kept for the scan's life
    int notified; // a WM_SCAN_RESULTS is on its way
    ScanError *errors;
    ScanError **lastError;
};

int HoldScanRows = 0;
static ScanWorker Worker;
static ScanTurns Turns;
static Outbox Box;
static int32_t ResultsTaken = 0; // the window's own: results [0, taken) applied
// The status a Refresh set; the hidden count joins it once every record is read.
static char RefreshedStatus[SCAN_STATUS_SIZE];
static int StatusIsCount = 0; // it is the first status: the entries counted

static void LockBox(void)
{
    if (Box.lock)
        PlatEnterLock(Box.lock);
}

static void UnlockBox(void)
{
    if (Box.lock)
        PlatLeaveLock(Box.lock);
}

// Under the lock: the window is told once until it takes what waits.
static void NotifyWindow(void)
{
    if (!Box.notified && Box.window
        && PostMessageA(Box.window, WM_SCAN_RESULTS, (WPARAM)Box.scan, 0))
        Box.notified = 1;
}

static void FreeErrors(ScanError *error)
{
    while (error) {
        ScanError *next = error->next;
        PlatFree(error);
        error = next;
    }
}

// Only with no worker running.
static void ClearBox(void)
{
    if (Box.hasRows)
        FreeCatalogueData(&Box.rows);
    Box.hasRows = 0;
    PlatFree(Box.results);
    Box.results = NULL;
    Box.capacity = Box.written = 0;
    Box.done = Box.finished = Box.notified = 0;
    FreeErrors(Box.errors);
    Box.errors = NULL;
    Box.lastError = &Box.errors;
    ResultsTaken = 0;
}

// ---- the worker's side (its own thread) ----------------------------------

static void OutRows(void *, int32_t scan, CatalogueData *rows)
{
    ItemDetails *results =
        (ItemDetails *)PlatAllocZero(((size_t)rows->count + 1) * sizeof(ItemDetails));
    LockBox();
    if (scan == Box.scan && !Box.hasRows) {
        Box.rows = *rows;
        Box.hasRows = 1;
        rows->items = NULL;
        rows->count = rows->capacity = 0;
        // Without room for the results the window reads what is left itself.
        Box.results = results;
        Box.capacity = results ? Box.rows.count : 0;
        results = NULL;
        NotifyWindow();
    }
    UnlockBox();
    PlatFree(results);
}

static void OutDetails(void *, const AutostartItem *, ItemDetails *details)
{
    LockBox();
    if (details->scan == Box.scan && Box.written < Box.capacity) {
        Box.results[Box.written++] = *details;
        NotifyWindow();
    }
    UnlockBox();
}

static void OutDone(void *, int32_t scan)
{
    LockBox();
    if (scan == Box.scan) {
        Box.done = Box.finished = 1;
        NotifyWindow();
    }
    UnlockBox();
}

void QueueScanError(const char *text)
{
    ScanError *error = (ScanError *)PlatAllocZero(sizeof(ScanError));
    if (!error)
        return;
    TextCopy(error->text, sizeof error->text, text);
    LockBox();
    if (!Box.lastError)
        Box.lastError = &Box.errors;
    *Box.lastError = error;
    Box.lastError = &error->next;
    NotifyWindow();
    UnlockBox();
}

// ---- the window's side ---------------------------------------------------

// Records of the rows on screen (and one below), read before the rest.
static int32_t VisibleRecords(int32_t *records, int32_t most)
{
    if (!ItemListWindow)
        return 0;
    int top = (int)SendMessageA(ItemListWindow, LVM_GETTOPINDEX, 0, 0);
    int page = (int)SendMessageA(ItemListWindow, LVM_GETCOUNTPERPAGE, 0, 0) + 1;
    int32_t count = 0;
    for (int row = top; row < top + page && count < most; ++row) {
        int32_t record = RecordOfRow(ItemListWindow, row);
        if (record >= 0)
            records[count++] = record;
    }
    return count;
}

void TellVisibleRows(void)
{
    int32_t visible[SCAN_VISIBLE_MOST];
    int32_t count = VisibleRecords(visible, SCAN_VISIBLE_MOST);
    SetScanWorkerVisible(&Worker, visible, count);
}

static int ScanningHere = 0;

void StartDetailsScan(HWND window)
{
    // A box inside a scan run on this thread hands on a posted Refresh:
    // one scan at a time.
    if (ScanningHere)
        return;
    StopScanWorker(&Worker);
    if (!Box.lock)
        Box.lock = PlatNewLock();
    ClearBox();
    RefreshedStatus[0] = '\0';
    StatusIsCount = 0;
    Box.window = window;
    Box.scan = BeginScanTurn(&Turns);
    ScanWorkerSink sink = {NULL, OutRows, OutDetails, OutDone};
    // Without a lock the outbox cannot be shared: the scan runs here.
    if (!Box.lock || !StartScanWorker(&Worker, Box.scan, &sink)) {
        ScanningHere = 1;
        RunScanHere(&Worker, Box.scan, &sink);
        ScanningHere = 0;
    }
}

void StopDetailsScan(void)
{
    StopScanWorker(&Worker);
    ClearBox();
    BeginScanTurn(&Turns); // whatever is still posted is stale
}

static void ShowHiddenTotal(void)
{
    if (!RefreshedStatus[0] || !HiddenWindowsRows)
        return;
    char now[sizeof RefreshedStatus];
    GetWindowTextA(GetDlgItem(MainWindow, IDC_STATUS), now, sizeof now);
    // Anything said since (a check box, a command) is not overwritten.
    if (strcmp(now, RefreshedStatus) != 0)
        return;
    char status[sizeof RefreshedStatus + 96], hidden[96];
    // The first count said how many rows there were before any was hidden.
    if (StatusIsCount)
        EntryCountText(status, sizeof status);
    else
        TextCopy(status, sizeof status, RefreshedStatus);
    TextFormat(hidden, sizeof hidden, " " STATUS_WINDOWS_HIDDEN ".", (int)HiddenWindowsRows);
    TextAppend(status, sizeof status, hidden);
    SetStatusText(NULL, status);
}

// What is marked since the last look, after whatever the status says (the
// count, or what the change before this scan did).
static void ShowMarksTotal(void)
{
    char marks[160];
    MarksStatusText(marks, sizeof marks);
    if (!marks[0])
        return;
    char status[sizeof RefreshedStatus + 256];
    GetWindowTextA(GetDlgItem(MainWindow, IDC_STATUS), status, sizeof RefreshedStatus);
    if (strstr(status, marks))
        return;
    // After a sentence a sentence; after the count its clause.
    size_t length = strlen(status);
    TextAppend(status, sizeof status,
               !length ? "" : status[length - 1] == '.' ? " " : "; ");
    TextAppend(status, sizeof status, marks);
    TextAppend(status, sizeof status, ".");
    SetStatusText(NULL, status);
}

static void ApplyResult(HWND window, const ItemDetails *result)
{
    if (ApplyItemDetails(&ItemCatalogue, &Turns, result))
        ShowRecordDetails(window, result->index);
}

// What the worker could not hand over (no room for its results): read here,
// once no worker runs.
static void ReadPendingHere(HWND window)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        if (!ItemCatalogue.items[i].detailsPending)
            continue;
        AutostartItem copy = ItemCatalogue.items[i];
        ReadItemDetails(&copy);
        ItemDetails result;
        TakeItemDetails(&copy, Turns.current, i, &result);
        ApplyResult(window, &result);
    }
}

// Under the lock: something waits for the window.
static int ResultsWaiting(void)
{
    return Box.hasRows || Box.written > ResultsTaken || Box.done || Box.errors;
}

void RetryScanResults(void)
{
    LockBox();
    Box.notified = 0;
    if (ResultsWaiting())
        NotifyWindow();
    UnlockBox();
}

// Records are replaced and rows move only while nothing holds them: not
// while a box, the editor or a dialog keeps the window disabled, nor while
// a menu is open (each holds a record's index or pointer across its own
// message loop). The window takes them when that ends (RetryScanResults).
// force: the caller is at a point where the records may change.
static void TakeResults(HWND window, int force)
{
    static int taking = 0;
    if (taking || (!force && (!IsWindowEnabled(window) || HoldScanRows)))
        return;
    taking = 1;
    LockBox();
    Box.notified = 0;
    int32_t scan = Box.scan;
    int hasRows = Box.hasRows;
    CatalogueData rows = Box.rows;
    Box.hasRows = 0;
    ScanError *errors = Box.errors;
    Box.errors = NULL;
    Box.lastError = &Box.errors;
    UnlockBox();
    if (hasRows) {
        char status[sizeof RefreshedStatus];
        int taken = AdoptScannedRows(window, &rows, status, sizeof status);
        FreeCatalogueData(&rows);
        if (!taken) {
            StopDetailsScan();
            FreeErrors(errors);
            taking = 0;
            return;
        }
        TextCopy(RefreshedStatus, sizeof RefreshedStatus, status);
        StatusIsCount = taken == ROWS_TAKEN_COUNTED;
        MarkScannedRows();
        TellVisibleRows();
    }
    LockBox();
    int32_t written = scan == Box.scan ? Box.written : 0;
    int done = scan == Box.scan && Box.done;
    Box.done = 0;
    UnlockBox();
    // Slots below written are complete and never written again.
    for (; ResultsTaken < written; ++ResultsTaken)
        ApplyResult(window, &Box.results[ResultsTaken]);
    if (done) {
        ReadPendingHere(window);
        char said[2 * TEXT_FIELD_SIZE];
        if (SettleMarks(said, sizeof said))
            SetStatusText(NULL, said);
        else
            ShowHiddenTotal();
        ShowMarksTotal();
        if (ItemListWindow)
            InvalidateRect(ItemListWindow, NULL, FALSE);
        RepaintFooter(window);
    }
    taking = 0;
    // Anything that came while this ran is told again.
    RetryScanResults();
    // Each box disables the window: what comes meanwhile waits for its end.
    for (ScanError *error = errors; error; error = error->next)
        MessageBoxA(window, error->text, "Error", MB_OK | MB_ICONINFORMATION);
    FreeErrors(errors);
}

void OnScanResults(HWND window)
{
    TakeResults(window, 0);
}

static int WorkerDone(void)
{
    LockBox();
    int finished = Box.finished;
    UnlockBox();
    return finished;
}

// The window is disabled while it waits (nothing can act on the records),
// but it keeps painting and answering.
static void WaitServingWindow(HWND window)
{
    HWND focus = GetFocus();
    BOOL wasEnabled = !EnableWindow(window, FALSE);
    HCURSOR previous = SetCursor(LoadCursor(NULL, IDC_WAIT));
    int quit = 0;
    WPARAM quitCode = 0;
    while (!quit && ScanWorkerRunning(&Worker) && !WorkerDone()) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = 1;
                quitCode = message.wParam;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    WaitScanWorker(&Worker);
    SetCursor(previous);
    if (wasEnabled && IsWindow(window)) {
        EnableWindow(window, TRUE);
        if (focus && IsWindow(focus))
            SetFocus(focus);
    }
    if (quit)
        PostQuitMessage((int)quitCode);
}

void FinishDetails(HWND window)
{
    if (ScanWorkerRunning(&Worker))
        WaitServingWindow(window);
    TakeResults(window, 1);
    ReadPendingHere(window);
    ShowHiddenTotal();
    RepaintFooter(window);
}
