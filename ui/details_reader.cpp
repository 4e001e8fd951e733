// details_reader.cpp - a target's version block, icon and signature cost
// milliseconds per file (far more for a catalog look-up or a cold disk), so
// the rows come first and each record's details follow, one file per posted
// message: the window's queue is served between two files. An error box
// shown while a file is read runs its own message loop, in which a Refresh
// may replace the records; the read goes into a copy and lands only while
// its scan's number is still the current one.
#include "ui.h"

#include "../catalogue/scan_turns.h"

#include <string.h>

static ScanTurns DetailsTurns;
static int32_t DetailsCursor = 0;
static int DetailsReading = 0;
// The status a Refresh set; the hidden count joins it once every record is read.
static char RefreshedStatus[160];

int32_t BeginDetailsTurn(HWND window, const char *refreshedStatus)
{
    int32_t scan = BeginScanTurn(&DetailsTurns);
    DetailsCursor = 0;
    TextCopy(RefreshedStatus, sizeof RefreshedStatus, refreshedStatus ? refreshedStatus : "");
    PostMessageA(window, WM_READ_DETAILS, (WPARAM)scan, 0);
    return scan;
}

// Records of the rows on screen (and one below), read before the rest.
static int32_t VisibleRecords(int32_t *records, int32_t most)
{
    if (!ItemListWindow)
        return 0;
    int top = (int)SendMessageA(ItemListWindow, LVM_GETTOPINDEX, 0, 0);
    int page = (int)SendMessageA(ItemListWindow, LVM_GETCOUNTPERPAGE, 0, 0) + 1;
    int32_t count = 0;
    for (int row = top; row < top + page && count < most; ++row)
        records[count++] = RecordOfRow(ItemListWindow, row);
    return count;
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
    TextCopy(status, sizeof status, RefreshedStatus);
    TextFormat(hidden, sizeof hidden, " " STATUS_WINDOWS_HIDDEN ".", (int)HiddenWindowsRows);
    TextAppend(status, sizeof status, hidden);
    SetStatusText(NULL, status);
}

// Reads one pending record (visible rows first): 1 when one was read, 0
// when none is left or a read is under way further up the stack.
static int ReadOneRecord(HWND window, int32_t scan, const int32_t *visible, int32_t count)
{
    if (DetailsReading || ScanTurnStale(&DetailsTurns, scan))
        return 0;
    int32_t index = NextDetailsRecord(&ItemCatalogue, visible, count, &DetailsCursor);
    if (index < 0)
        return 0;
    static AutostartItem copy;
    copy = ItemCatalogue.items[index];
    DetailsReading = 1;
    ReadItemDetails(&copy);
    DetailsReading = 0;
    static ItemDetails details;
    TakeItemDetails(&copy, scan, index, &details);
    if (ApplyItemDetails(&ItemCatalogue, &DetailsTurns, &details))
        ShowRecordDetails(window, index);
    return 1;
}

void OnReadDetails(HWND window, WPARAM scan)
{
    int32_t visible[128];
    int32_t count = VisibleRecords(visible, 128);
    if (ReadOneRecord(window, (int32_t)scan, visible, count)) {
        // The current scan's: a Refresh inside a box may have dropped its own.
        PostMessageA(window, WM_READ_DETAILS, (WPARAM)DetailsTurns.current, 0);
        return;
    }
    if (!DetailsReading && !ScanTurnStale(&DetailsTurns, (int32_t)scan)) {
        ShowHiddenTotal();
        RepaintFooter(window);
    }
}

void FinishDetails(HWND window)
{
    while (ReadOneRecord(window, DetailsTurns.current, NULL, 0))
        ;
    ShowHiddenTotal();
    RepaintFooter(window);
}
