// item_list.cpp - the list of entries: one row per shown catalogue record,
// drawn from the record itself (an owner-data list), with the program's
// icon, a check box for the state the user wants, the scope and the
// target; and its context menu.
// The check boxes change nothing by themselves: Apply writes them.
#include "ui.h"

#include "../catalogue/logon_cost.h"
#include "../store/store.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#ifndef _WIN64
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 60-byte SHELLEXECUTEINFOA");
#endif

HWND ItemListWindow = NULL;
WNDPROC ListViewClassProc = NULL;
int ListFilling = 0;

static void InsertColumn(HWND list, int column, const char *header, int width)
{
    LVCOLUMNA info;
    memset(&info, 0, sizeof info);
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = LVCFMT_LEFT;
    info.cx = Scaled(width); // given at 96 DPI
    info.pszText = (char *)header;
    info.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, column, (LPARAM)&info);
}

// State images 3 and 4: the boxes of rows that cannot be switched, drawn
// inactive, unchecked and checked, beside the list's own two.
static void AddFixedBoxes(HWND list)
{
    HIMAGELIST boxes = (HIMAGELIST)SendMessageA(list, LVM_GETIMAGELIST, LVSIL_STATE, 0);
    int cx = 0, cy = 0;
    if (!boxes || !ImageList_GetIconSize(boxes, &cx, &cy) || ImageList_GetImageCount(boxes) != 3)
        return;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    for (int checked = 0; checked < 2; ++checked) {
        HBITMAP image = CreateCompatibleBitmap(screen, cx, cy);
        HBITMAP mask = CreateBitmap(cx, cy, 1, 1, NULL);
        HGDIOBJ old = SelectObject(dc, image);
        RECT all = {0, 0, cx, cy};
        FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
        RECT box = {1, 1, cx - 1, cy - 1};
        DrawFrameControl(dc, &box, DFC_BUTTON,
                         DFCS_BUTTONCHECK | DFCS_INACTIVE | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
        SelectObject(dc, mask);
        PatBlt(dc, 0, 0, cx, cy, BLACKNESS);
        SelectObject(dc, old);
        ImageList_Add(boxes, image, mask);
        DeleteObject(image);
        DeleteObject(mask);
    }
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
}

void SetUpItemList(HWND list)
{
    // Widths at 96 DPI; State fits "off in Windows' settings", Cost
    // "1.2 s, 14.3 MB"; Path, which takes most of a wider window, gave Cost
    // its room.
    InsertColumn(list, COLUMN_NAME, "Application", 130);
    InsertColumn(list, COLUMN_TYPE, "Type", 40);
    InsertColumn(list, COLUMN_STATE, "State", 130);
    InsertColumn(list, COLUMN_PATH, "Path", 100);
    InsertColumn(list, COLUMN_CHANGE, "Change", 60);
    InsertColumn(list, COLUMN_COST, "Cost", 80);
    SendMessageA(list, WM_SETFONT, (WPARAM)UiFont, FALSE);
    ShowWindow(list, SW_SHOWNORMAL);
    ItemListWindow = list;
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)SmallIconList);
    // Mask 0 replaces the whole extended style: check boxes and nothing else.
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
    AddFixedBoxes(list);
    // The boxes are the records': the list asks for them with each row.
    SendMessageA(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    ListViewClassProc = WindowProcFromLong(
        SetWindowLongPtrA(list, GWLP_WNDPROC, WindowProcAsLong(ListViewProc)));
}

// Icon indexes already asked for, by target: every change ends in a
// Refresh, and asking the shell again for the same file costs as much as
// reading its version block. The system list keeps its indexes for the
// life of the process; a slot is simply replaced when another path lands
// on it.
#define ICON_CACHE_SLOTS 1024
struct IconCacheSlot {
    char path[TEXT_FIELD_SIZE];
    uint64_t size, writeTime; // the file as it was when its icon was read
    int index;
};
static IconCacheSlot IconCache[ICON_CACHE_SLOTS];

static IconCacheSlot *IconSlot(const char *path)
{
    uint32_t hash = 2166136261u;
    for (const char *c = path; *c; ++c)
        hash = (hash ^ (unsigned char)(*c >= 'a' && *c <= 'z' ? *c - 32 : *c)) * 16777619u;
    return &IconCache[hash % ICON_CACHE_SLOTS];
}

static int ShellIconIndex(const char *native, int *fallback);

// The index of the target's small icon in the system's list, as Explorer
// shows it. Kept while the file keeps its size and write time; the program
// icon given to a missing or unreadable target is never kept, so a target
// installed later shows its own at the next Refresh.
static int IconIndex(const char *target)
{
    char native[TEXT_FIELD_SIZE];
    NativeFilePath(target, native);
    uint64_t size = 0, writeTime = 0;
    // A network target is never opened: its icon depends on its name alone.
    if (native[0] && !PlatIsNetworkPath(native) && !PlatFileStamp(native, &size, &writeTime))
        size = writeTime = 0;
    IconCacheSlot *slot = IconSlot(native);
    if (slot->path[0] && lstrcmpiA(slot->path, native) == 0 && slot->size == size
        && slot->writeTime == writeTime)
        return slot->index;
    int fallback = 0;
    int index = ShellIconIndex(native, &fallback);
    if (!fallback) {
        TextCopy(slot->path, sizeof slot->path, native);
        slot->size = size;
        slot->writeTime = writeTime;
        slot->index = index;
    }
    return index;
}

// A target on the network is never opened: its icon comes from its name's
// extension alone. A target without an icon gets a program's (*fallback 1).
static int ShellIconIndex(const char *native, int *fallback)
{
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (native[0] && PlatIsNetworkPath(native))
        flags |= SHGFI_USEFILEATTRIBUTES;
    if (native[0] && SHGetFileInfoA(native, FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags))
        return info.iIcon;
    *fallback = 1;
    memset(&info, 0, sizeof info);
    if (SHGetFileInfoA(".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        return info.iIcon;
    return I_IMAGENONE;
}

// The icon a row shows until its target's own is read: any program's.
static int ProgramIconIndex(void)
{
    static int known = 0, index = I_IMAGENONE;
    if (!known) {
        known = 1;
        int fallback = 0;
        index = ShellIconIndex("", &fallback);
    }
    return index;
}

int32_t HiddenWindowsRows = 0;

// The list holds no copies: row r shows record RowRecord[r], drawn from
// ItemCatalogue on each LVN_GETDISPINFO. The boxes the user wants and the
// icons asked for are kept per record, so sorting moves only the indexes.
// An icon is asked for when its row is first drawn after its details are
// in, so only for rows on screen; asked for on the scan worker's thread
// instead, each new file's icon cost several times as much under Wine.
#define ICON_UNKNOWN (-2)
static int32_t *RowRecord = NULL; // row -> record
static int32_t *RecordRow = NULL; // record -> row, -1 when hidden
static uint8_t *RecordChecked = NULL;
static int *RecordIcon = NULL;
static int32_t RowCount = 0;
static int32_t RecordsHeld = 0;

static void FreeRows(void)
{
    HANDLE heap = GetProcessHeap();
    void *blocks[] = {RowRecord, RecordRow, RecordChecked, RecordIcon};
    for (void *block : blocks)
        if (block)
            HeapFree(heap, 0, block);
    RowRecord = RecordRow = NULL;
    RecordChecked = NULL;
    RecordIcon = NULL;
    RowCount = RecordsHeld = 0;
}

static int HoldRecords(int32_t count)
{
    FreeRows();
    HANDLE heap = GetProcessHeap();
    size_t slots = (size_t)count + 1;
    RowRecord = (int32_t *)HeapAlloc(heap, HEAP_ZERO_MEMORY, slots * sizeof(int32_t));
    RecordRow = (int32_t *)HeapAlloc(heap, HEAP_ZERO_MEMORY, slots * sizeof(int32_t));
    RecordChecked = (uint8_t *)HeapAlloc(heap, HEAP_ZERO_MEMORY, slots);
    RecordIcon = (int *)HeapAlloc(heap, HEAP_ZERO_MEMORY, slots * sizeof(int));
    if (!RowRecord || !RecordRow || !RecordChecked || !RecordIcon) {
        FreeRows();
        return 0;
    }
    RecordsHeld = count;
    return 1;
}

static void IndexRows(void)
{
    for (int32_t i = 0; i < RecordsHeld; ++i)
        RecordRow[i] = -1;
    for (int32_t r = 0; r < RowCount; ++r)
        RecordRow[RowRecord[r]] = r;
}

// The column the rows are sorted by (-1: the scan's own order) and how.
static int SortColumn = -1;
static int SortDescending = 0;

// The Cost cell's text: the window's thread alone draws and sorts.
static char CostCell[48];

static const char *CellText(const AutostartItem *item, int column)
{
    if (column == COLUMN_COST) {
        CostShortText(item, CostCell, sizeof CostCell);
        return CostCell[0] ? CostCell : "not measured";
    }
    return column == COLUMN_NAME     ? ItemShownName(item)
           : column == COLUMN_TYPE   ? ItemTypeText(item)
           : column == COLUMN_STATE  ? ItemStateText(item)
           : column == COLUMN_CHANGE ? RecordMarkText((int32_t)(item - ItemCatalogue.items))
                                     : item->target;
}

// The Change column sorts the marked rows first: new, changed, the rest.
static int MarkRank(const AutostartItem *item)
{
    const char *mark = CellText(item, COLUMN_CHANGE);
    return strcmp(mark, MARK_NEW) == 0 ? 0 : strcmp(mark, MARK_CHANGED) == 0 ? 1 : 2;
}

// Equal texts keep the scan's order.
static int CompareRows(const void *first, const void *second)
{
    int32_t x = *(const int32_t *)first, y = *(const int32_t *)second;
    const AutostartItem *a = CatalogueItem(x), *b = CatalogueItem(y);
    // The costliest first; what was not measured last either way round.
    if (SortColumn == COLUMN_COST && a && b
        && (a->costState == LOGON_COST_MEASURED) != (b->costState == LOGON_COST_MEASURED))
        return a->costState == LOGON_COST_MEASURED ? -1 : 1;
    int order = SortColumn < 0 || !a || !b ? 0
                : SortColumn == COLUMN_CHANGE
                    ? MarkRank(a) - MarkRank(b)
                : SortColumn == COLUMN_COST
                    ? CompareCost(a, b)
                    : TextCompareNoCase(CellText(a, SortColumn), CellText(b, SortColumn));
    if (order == 0)
        order = x < y ? -1 : x > y;
    return SortDescending ? -order : order;
}

static void SortIndexes(void)
{
    if (RowCount > 1)
        qsort(RowRecord, (size_t)RowCount, sizeof(int32_t), CompareRows);
    IndexRows();
}

static void SelectOnly(HWND list, int32_t row)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);
    if (row < 0)
        return;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
}

// An owner-data list keeps its selection by row number: when the rows
// move under it, the selection is put back on its record's new row.
static void MoveRows(HWND list, void (*move)(void *context), void *context)
{
    int32_t selected = RecordOfRow(list, SelectedRow(list));
    move(context);
    int32_t row = RowOfRecord(list, selected);
    if (row != SelectedRow(list) || selected < 0)
        SelectOnly(list, row);
    InvalidateRect(list, NULL, FALSE);
}

static void SortMove(void *)
{
    SortIndexes();
}

// Rows of Windows' own entries are left out when the user hides them.
int FillListView(HWND list)
{
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    HiddenWindowsRows = 0;
    if (!HoldRecords(ItemCatalogue.count)) {
        InvalidateRect(list, NULL, TRUE);
        return 0;
    }
    ListFilling = 1;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *record = &ItemCatalogue.items[i];
        RecordChecked[i] = record->enabled != 0;
        RecordIcon[i] = ICON_UNKNOWN;
        if (ItemHiddenAsWindows(record, HideWindowsEntries))
            ++HiddenWindowsRows;
        else
            RowRecord[RowCount++] = i;
    }
    SortIndexes();
    // Rows the list would not take are no rows of ours either: a check box
    // is never read for a record its row does not show.
    SendMessageA(list, LVM_SETITEMCOUNT, (WPARAM)RowCount, 0);
    int32_t shown = (int32_t)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    if (shown < RowCount) {
        RowCount = shown > 0 ? shown : 0;
        IndexRows();
    }
    ListFilling = 0;
    InvalidateRect(list, NULL, TRUE);
    return 0;
}

void SortRows(HWND list)
{
    if (list)
        MoveRows(list, SortMove, NULL);
}

// The header's arrow on the sorted column, none on the others.
static void ShowSortArrow(HWND list)
{
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    for (int i = 0; header && i < LIST_COLUMNS; ++i) {
        HDITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = HDI_FORMAT;
        if (!SendMessageA(header, HDM_GETITEMA, i, (LPARAM)&item))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == SortColumn)
            item.fmt |= SortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageA(header, HDM_SETITEMA, i, (LPARAM)&item);
    }
}

void ListSortOrder(int32_t *column, int32_t *descending)
{
    *column = SortColumn;
    *descending = SortDescending;
}

void SetListSortOrder(HWND list, int32_t column, int32_t descending)
{
    SortColumn = column >= 0 && column < LIST_COLUMNS ? column : -1;
    SortDescending = SortColumn >= 0 && descending;
    if (!list)
        return;
    SortRows(list);
    ShowSortArrow(list);
    int32_t row = SelectedRow(list);
    if (row >= 0)
        SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
}

// Up, down, then back to the scan's own order.
void SortRowsBy(HWND list, int column)
{
    if (!list || column < 0 || column >= LIST_COLUMNS)
        return;
    if (column != SortColumn)
        SetListSortOrder(list, column, 0);
    else if (!SortDescending)
        SetListSortOrder(list, column, 1);
    else
        SetListSortOrder(list, -1, 0);
}

int32_t RecordOfRow(HWND list, int32_t row)
{
    if (!list || row < 0 || row >= RowCount)
        return -1;
    return RowRecord[row];
}

int32_t RowOfRecord(HWND list, int32_t record)
{
    if (!list || record < 0 || record >= RecordsHeld)
        return -1;
    return RecordRow[record];
}

int RowChecked(HWND list, int32_t row)
{
    int32_t record = RecordOfRow(list, row);
    return record >= 0 && RecordChecked[record];
}

// The parent hears of a box as it would from a list holding the state.
static void SetCheck(HWND list, int32_t row, int checked)
{
    int32_t record = RecordOfRow(list, row);
    if (record < 0 || RecordChecked[record] == (checked != 0))
        return;
    RecordChecked[record] = checked != 0;
    SendMessageA(list, LVM_REDRAWITEMS, row, row);
    if (ListFilling)
        return;
    NMLISTVIEW change;
    memset(&change, 0, sizeof change);
    change.hdr.hwndFrom = list;
    change.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(list);
    change.hdr.code = LVN_ITEMCHANGED;
    change.iItem = row;
    change.uChanged = LVIF_STATE;
    change.uNewState = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    change.uOldState = INDEXTOSTATEIMAGEMASK(checked ? 1 : 2);
    SendMessageA(GetParent(list), WM_NOTIFY, change.hdr.idFrom, (LPARAM)&change);
}

static int RowIcon(int32_t record)
{
    const AutostartItem *item = CatalogueItem(record);
    if (!SmallIconList || !item)
        return I_IMAGENONE;
    if (item->detailsPending)
        return ProgramIconIndex();
    if (RecordIcon[record] == ICON_UNKNOWN)
        RecordIcon[record] = IconIndex(item->target);
    return RecordIcon[record];
}

int OnListDisplayInfo(NMLVDISPINFOA *info)
{
    LVITEMA *cell = &info->item;
    int32_t record = RecordOfRow(info->hdr.hwndFrom, cell->iItem);
    const AutostartItem *item = CatalogueItem(record);
    if (!item)
        return 0;
    // Escapes for control and bidirectional characters: a name or path
    // cannot pass for another.
    if ((cell->mask & LVIF_TEXT) && cell->pszText && cell->cchTextMax > 0)
        TextCopyVisible(cell->pszText, (size_t)cell->cchTextMax, CellText(item, cell->iSubItem),
                        cell->iSubItem == COLUMN_NAME && ItemNameCut(item));
    if ((cell->mask & LVIF_IMAGE) && cell->iSubItem == 0)
        cell->iImage = RowIcon(record);
    if (cell->mask & LVIF_STATE) {
        int fixed = SwitchRefusalCause(item) != PLAT_OK ? 2 : 0;
        cell->state = (cell->state & ~LVIS_STATEIMAGEMASK)
                      | INDEXTOSTATEIMAGEMASK((RecordChecked[record] ? 2 : 1) + fixed);
        cell->stateMask |= LVIS_STATEIMAGEMASK;
    }
    return 1;
}

struct RemovedRow {
    HWND list;
    int32_t row;
};

static void RemoveMove(void *context)
{
    const RemovedRow *removed = (const RemovedRow *)context;
    int32_t row = removed->row;
    memmove(&RowRecord[row], &RowRecord[row + 1], sizeof(int32_t) * (size_t)(RowCount - row - 1));
    --RowCount;
    IndexRows();
    SendMessageA(removed->list, LVM_SETITEMCOUNT, (WPARAM)RowCount, LVSICF_NOSCROLL);
}

int UpdateRowDetails(HWND list, int32_t record)
{
    const AutostartItem *item = CatalogueItem(record);
    int32_t row = RowOfRecord(list, record);
    if (!item || row < 0)
        return 0;
    RecordIcon[record] = ICON_UNKNOWN;
    // A row whose box the user changed stays: its change is still pending.
    if (ItemHiddenAsWindows(item, HideWindowsEntries)
        && RecordChecked[record] == (item->enabled != 0)) {
        RemovedRow removed = {list, row};
        MoveRows(list, RemoveMove, &removed);
        ++HiddenWindowsRows;
        return 1;
    }
    SendMessageA(list, LVM_REDRAWITEMS, row, row);
    return 0;
}

void ShowStoredStates(HWND list)
{
    for (int32_t i = 0; i < RecordsHeld && i < ItemCatalogue.count; ++i)
        RecordChecked[i] = ItemCatalogue.items[i].enabled != 0;
    if (list)
        InvalidateRect(list, NULL, FALSE);
}

// Why the row's box does not change, in the status; zero when it may.
static int SayFixed(const AutostartItem *item)
{
    long cause = item ? SwitchRefusalCause(item) : (long)PLAT_OK;
    if (cause == PLAT_OK)
        return 0;
    StoreOutcome refused;
    BeginOutcome(&refused, item, item->enabled ? ActionDisable : ActionEnable);
    refused.result = ResultRefused;
    refused.cause = cause;
    char status[OUTCOME_TEXT_SIZE];
    WordOutcome(&refused, STATUS_PATH_ROOM, status, sizeof status);
    SetStatusText(NULL, status);
    return 1;
}

// Space and a click on the box toggle it: an owner-data list leaves its
// state images to its owner. A row that cannot be switched keeps its box.
static void ToggleRow(HWND list, int32_t row)
{
    if (row >= 0 && !SayFixed(CatalogueItem(RecordOfRow(list, row))))
        SetCheck(list, row, !RowChecked(list, row));
}

static int32_t BoxClicked(HWND list, LPARAM lParam)
{
    LVHITTESTINFO hit;
    memset(&hit, 0, sizeof hit);
    hit.pt.x = (short)LOWORD(lParam);
    hit.pt.y = (short)HIWORD(lParam);
    int32_t row = (int32_t)SendMessageA(list, LVM_HITTEST, 0, (LPARAM)&hit);
    return row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) ? row : -1;
}

// LVM_SETITEMSTATE's check box part lands in the records' boxes; the list
// keeps selection and focus.
static LRESULT SetItemState(HWND list, WPARAM wParam, const LVITEMA *change)
{
    if (!change || !(change->stateMask & LVIS_STATEIMAGEMASK))
        return CallWindowProcA(ListViewClassProc, list, LVM_SETITEMSTATE, wParam, (LPARAM)change);
    UINT image = (change->state & LVIS_STATEIMAGEMASK) >> 12;
    int32_t row = (int32_t)wParam;
    if (image == 1 || image == 2) {
        for (int32_t r = row < 0 ? 0 : row; r < RowCount && (row < 0 || r == row); ++r) {
            const AutostartItem *item = CatalogueItem(RecordOfRow(list, r));
            if (item && SwitchRefusalCause(item) == PLAT_OK)
                SetCheck(list, r, image == 2);
        }
    }
    LVITEMA rest = *change;
    rest.stateMask &= ~LVIS_STATEIMAGEMASK;
    if (!rest.stateMask)
        return row < RowCount;
    return CallWindowProcA(ListViewClassProc, list, LVM_SETITEMSTATE, wParam, (LPARAM)&rest);
}

// The entry to select after the next fill, found by place and name; an
// entry that moved (enabled or disabled) by name, kind and scope.
static struct {
    int32_t set;
    int32_t kind;
    char name[TEXT_FIELD_SIZE];
    char location[TEXT_FIELD_SIZE];
    char scope[SCOPE_SIZE];
    int top;
} Wanted;

void WantSelection(const char *name, const char *scope, int32_t kind)
{
    Wanted.set = 1;
    Wanted.kind = kind;
    TextCopy(Wanted.name, sizeof Wanted.name, name);
    TextCopy(Wanted.scope, sizeof Wanted.scope, scope);
    Wanted.location[0] = '\0';
}

void WantRecord(const AutostartItem *item)
{
    WantSelection(item->name, item->scope, item->kind);
    TextCopy(Wanted.location, sizeof Wanted.location, item->location);
}

void RememberSelection(HWND list)
{
    if (!list)
        return;
    Wanted.top = (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    const AutostartItem *item = CatalogueItem(RecordOfRow(list, SelectedRow(list)));
    if (Wanted.set || !item)
        return;
    WantRecord(item);
}

static int32_t WantedRow(void)
{
    int32_t moved = -1;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (strcmp(item->name, Wanted.name) != 0)
            continue;
        if (strcmp(item->location, Wanted.location) == 0)
            return i;
        if (moved < 0 && item->kind == Wanted.kind && strcmp(item->scope, Wanted.scope) == 0)
            moved = i;
    }
    return moved;
}

void RestoreSelection(HWND list)
{
    int rows = list ? (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    if (rows > 0 && Wanted.top > 0) {
        // Down to the end, then up to the old first row: it becomes the top.
        SendMessageA(list, LVM_ENSUREVISIBLE, rows - 1, FALSE);
        SendMessageA(list, LVM_ENSUREVISIBLE, Wanted.top < rows ? Wanted.top : rows - 1, FALSE);
    }
    // The record's row: hidden rows and the sort part the two. Without one
    // (the first fill, an entry gone) the first row shown: a keyboard user
    // always has a row to start from.
    int32_t row = Wanted.set ? RowOfRecord(list, WantedRow()) : -1;
    if (row < 0 && SelectedRow(list) < 0)
        row = Wanted.top < rows ? Wanted.top : rows - 1;
    Wanted.set = 0;
    Wanted.top = 0;
    if (row < 0 || row >= rows)
        return;
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
}

int32_t SelectedRow(HWND list)
{
    if (!list)
        return -1;
    return (int32_t)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

int OpenForUser(const char *verb, const char *file, const char *parameters, const char *what)
{
    int result = OpenWithUserRights(verb, file, parameters);
    // The shell's cause, kept for the caller past the status's own calls.
    DWORD cause = GetLastError();
    // Every command says what became of it, a failure too.
    char status[TEXT_FIELD_SIZE + 128];
    TextFormat(status, sizeof status,
               result == OpenNoDesktop     ? STATUS_NOT_OPENED_ELEVATED
               : result == OpenFailed      ? STATUS_NOT_OPENED
               : result == OpenedByDesktop ? STATUS_OPEN_HANDED
                                           : STATUS_OPENED,
               what);
    SetStatusText(NULL, status);
    SetLastError(cause);
    return result;
}

// Nonzero unless opening failed (elevated without a desktop shell, the
// status already says why).
BOOL ShowShellProperties(const char *path)
{
    return path && OpenForUser("properties", path, "", path) != OpenFailed;
}

// Explorer's "/select," opens the folder with the file selected in it.
static void SelectFileArguments(const char *target, char *arguments, size_t size)
{
    TextFormat(arguments, size, "/select,\"%s\"", target);
}

static void FindTarget(const AutostartItem *item)
{
    char target[TEXT_FIELD_SIZE], folder[TEXT_FIELD_SIZE];
    char arguments[TEXT_FIELD_SIZE + 16];
    NativeFilePath(item->target, target);
    NativeFilePath(item->targetFolder, folder);
    SelectFileArguments(target, arguments, sizeof arguments);
    // A full path: a bare name would be looked for in the current folder first.
    char explorer[TEXT_FIELD_SIZE];
    // From the system, not the environment any program of the user may set.
    UINT length = GetWindowsDirectoryA(explorer, sizeof explorer);
    if (!length || length >= sizeof explorer
        || !TextAppend(explorer, sizeof explorer, explorer[length - 1] == '\\' ? "explorer.exe"
                                                                            : "\\explorer.exe")) {
        char status[TEXT_FIELD_SIZE + 64];
        TextFormat(status, sizeof status, STATUS_NOT_OPENED, folder);
        SetStatusText(NULL, status);
        return;
    }
    OpenForUser("open", explorer, arguments, folder);
}

// Yes/No with No the default, owned by the main window.
static int AskYesNo(void *, const char *question)
{
    return MessageBoxA(MainWindow, question, "Orvane",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Run starts the program with the rights the logon would give it.
static void RunItem(const AutostartItem *item)
{
    const FrontEnd front = {NULL, AskYesNo, ShowCatalogueError, NULL, FRONT_WINDOW};
    int result = StartItemProgram(item, &front);
    const char *format = result == StartedAsUser     ? STATUS_STARTED
                         : result == StartedElevated ? STATUS_STARTED_ELEVATED
                         : result == StartedByDesktop ? STATUS_HANDED_TO_DESKTOP
                         : result == StartDeclined   ? STATUS_NOT_STARTED
                         : result == StartNotFound   ? STATUS_START_NOT_FOUND
                                                     : STATUS_START_FAILED;
    char status[TEXT_FIELD_SIZE + 96];
    TextFormat(status, sizeof status, format, ItemShownName(item));
    SetStatusText(NULL, status);
}

static void ShowChangeOutcome(void *, const StoreOutcome *outcome)
{
    if (outcome->result == ResultDone)
        NoteOwnChange(outcome->item);
    char status[OUTCOME_TEXT_SIZE];
    WordOutcome(outcome, STATUS_PATH_ROOM, status, sizeof status);
    SetStatusText(NULL, status);
}

// Saved first, then deleted: the status bar names the backup, or says why
// nothing was removed.
static void RemoveItem(const AutostartItem *item, int32_t row)
{
    // Refused whatever the answer would be: said at once, nothing asked.
    if (long refusal = RemoveRefusalCause(item)) {
        StoreOutcome refused;
        BeginOutcome(&refused, item, ActionRemove);
        refused.result = ResultRefused;
        refused.cause = refusal;
        ShowChangeOutcome(NULL, &refused);
        return;
    }
    char question[4 * TEXT_FIELD_SIZE + 128];
    char name[4 * TEXT_FIELD_SIZE];
    TextCopyVisible(name, sizeof name, ItemShownName(item), 0);
    TextFormat(question, sizeof question, REMOVE_QUESTION, name);
    if (MessageBoxA(MainWindow, question, MAIN_WINDOW_TITLE,
                    MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
        != IDYES) {
        char kept[TEXT_FIELD_SIZE + 64];
        TextFormat(kept, sizeof kept, STATUS_NOT_REMOVED, ItemShownName(item));
        SetStatusText(NULL, kept);
        return;
    }
    // The row after it takes its place (the one before, at the end).
    const AutostartItem *next = CatalogueItem(RecordOfRow(ItemListWindow, row + 1));
    if (!next)
        next = CatalogueItem(RecordOfRow(ItemListWindow, row - 1));
    const FrontEnd front = {ShowChangeOutcome, NULL, ShowCatalogueError, NULL, FRONT_WINDOW};
    if (RemoveEntry(item, &front) != ResultDone)
        return;
    if (next)
        WantRecord(next);
    PostRefresh();
}

// Start later's commands, in the submenu's order, and their delays.
static const struct {
    UINT command;
    int32_t seconds;
} LaterCommands[] = {{IDM_LATER_30, 30},   {IDM_LATER_60, 60},   {IDM_LATER_120, 120},
                     {IDM_LATER_300, 300}, {IDM_LATER_600, 600}, {IDM_LATER_NONE, 0}};

static int32_t LaterSeconds(UINT command)
{
    for (const auto &later : LaterCommands)
        if (later.command == command)
            return later.seconds;
    return -1;
}

// Start later is stored at once, as Remove is: a task is not a check box
// that waits for Apply. The list is read again, as after every change.
static void DelayItem(int32_t record, int32_t seconds)
{
    const FrontEnd front = {ShowChangeOutcome, AskYesNo, ShowCatalogueError, NULL, FRONT_WINDOW};
    if (DelayEntry(record, seconds, &front) != ResultDone)
        return;
    const AutostartItem *item = CatalogueItem(record);
    if (item)
        WantRecord(item);
    PostRefresh();
}

// The context menu's Disable and Enable set the check box, as clicking it
// would; the status says that Apply is what stores it.
static void ToggleItem(HWND list, const AutostartItem *item, int32_t row)
{
    if (SayFixed(item))
        return;
    SetCheck(list, row, !item->enabled);
    int32_t pending = PendingChanges();
    char status[TEXT_FIELD_SIZE + 96];
    TextFormat(status, sizeof status, STATUS_TOGGLE_PENDING, ItemShownName(item),
               item->enabled ? "disabled" : "enabled", (int)pending,
               pending == 1 ? "change" : "changes");
    SetStatusText(NULL, status);
}

// Properties with no box of the shell's own: a failure goes to the status.
static void ShowProperties(const AutostartItem *item, const char *target)
{
    if (ShowShellProperties(target))
        return;
    DWORD code = GetLastError();
    char cause[TEXT_FIELD_SIZE];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                        cause, sizeof cause, NULL))
        TextFormat(cause, sizeof cause, "error %lu", (unsigned long)code);
    // The system's sentence ends in a period and a line break.
    for (size_t end = strlen(cause); end > 0 && strchr(" .\r\n", cause[end - 1]); --end)
        cause[end - 1] = '\0';
    char status[2 * TEXT_FIELD_SIZE + 64];
    TextFormat(status, sizeof status, STATUS_PROPERTIES_FAILED, ItemShownName(item), cause);
    SetStatusText(NULL, status);
}

// Sort by: a column sorts up, the sorted one again turns it round.
static void SortByMenu(HWND list, UINT command)
{
    int32_t column = -1, descending = 0;
    ListSortOrder(&column, &descending);
    int32_t chosen = command == IDM_SORT_COST ? COLUMN_COST : (int32_t)(command - IDM_SORT_NAME);
    if (command == IDM_SORT_SCAN)
        SetListSortOrder(list, -1, 0);
    else
        SetListSortOrder(list, chosen, column == chosen && !descending);
    TellVisibleRows();
}

void RunItemCommand(HWND list, UINT command, int32_t row)
{
    if ((command >= IDM_SORT_NAME && command <= IDM_SORT_SCAN) || command == IDM_SORT_COST) {
        SortByMenu(list, command);
        return;
    }
    if (command == IDM_ACCEPT_ALL || command == IDM_SHOW_GONE || command == IDM_HISTORY) {
        if (command == IDM_ACCEPT_ALL)
            OnAcceptAll();
        else if (command == IDM_SHOW_GONE)
            OnShowGone(MainWindow);
        else
            OpenHistory(MainWindow);
        return;
    }
    const AutostartItem *item = CatalogueItem(RecordOfRow(list, row));
    if (!item)
        return;
    if (LaterSeconds(command) >= 0) {
        DelayItem(RecordOfRow(list, row), LaterSeconds(command));
        return;
    }
    // The target as the 64-bit system sees it, as the logon would start it.
    char target[TEXT_FIELD_SIZE];
    NativeFilePath(item->target, target);
    switch (command) {
    case IDM_RUN: RunItem(item); break;
    case IDM_FIND_TARGET: FindTarget(item); break;
    case IDM_EDIT_ITEM: EditCatalogueItem(RecordOfRow(list, row)); break;
    // The label follows the stored state; the box gets its opposite.
    case IDM_TOGGLE: ToggleItem(list, item, row); break;
    case IDM_REMOVE: RemoveItem(item, row); break;
    case IDM_PROPERTIES: ShowProperties(item, target); break;
    case IDM_ACCEPT: OnAcceptRecord(RecordOfRow(list, row)); break;
    default: break;
    }
}

static void RenameToEnable(HMENU popup)
{
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_DATA;
    info.fType = MFT_STRING;
    info.dwTypeData = (char *)"&Enable";
    info.dwItemData = 0;
    SetMenuItemInfoA(popup, 4, TRUE, &info);
}

// A menu asked for from the keyboard (Shift+F10, the menu key) comes with
// the point (-1, -1): it opens at the selected row instead.
static POINT MenuPoint(HWND list, int32_t row, LPARAM lParam)
{
    POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    if (lParam != (LPARAM)-1 && (point.x != -1 || point.y != -1))
        return point;
    RECT rect;
    rect.left = LVIR_LABEL;
    if (!SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)&rect))
        GetClientRect(list, &rect);
    point.x = rect.left;
    point.y = rect.bottom;
    ClientToScreen(list, &point);
    return point;
}

// Start later's submenu (at LATER_MENU_POSITION, after Disable): each delay
// the row refuses grayed, the whole submenu when it refuses every one; the
// delay it starts with now checked (at logon: "Start at logon").
#define LATER_MENU_POSITION 5
static void GreyStartLater(HMENU popup, const AutostartItem *item)
{
    HMENU later = GetSubMenu(popup, LATER_MENU_POSITION);
    int offered = 0;
    for (const auto &delay : LaterCommands) {
        int refused = DelayRefusalCause(item, delay.seconds) != PLAT_OK;
        offered += !refused;
        if (refused)
            EnableMenuItem(later, delay.command, MF_BYCOMMAND | MF_GRAYED);
        if (!refused && delay.seconds == item->startLater)
            CheckMenuRadioItem(later, IDM_LATER_30, IDM_LATER_NONE, delay.command, MF_BYCOMMAND);
    }
    if (!offered)
        EnableMenuItem(popup, LATER_MENU_POSITION, MF_BYPOSITION | MF_GRAYED);
}

// Only what the row allows is offered; the status says why the rest is not.
static void GreyWhatTheRowRefuses(HMENU popup, const AutostartItem *item)
{
    long switchCause = SwitchRefusalCause(item);
    long removeCause = RemoveRefusalCause(item);
    if (switchCause != PLAT_OK)
        EnableMenuItem(popup, IDM_TOGGLE, MF_BYCOMMAND | MF_GRAYED);
    if (removeCause != PLAT_OK)
        EnableMenuItem(popup, IDM_REMOVE, MF_BYCOMMAND | MF_GRAYED);
    if (!ItemEditable(item))
        EnableMenuItem(popup, IDM_EDIT_ITEM, MF_BYCOMMAND | MF_GRAYED);
    // Nothing to start or to show in its folder; the Notes say why. A
    // packaged app's program starts only through its package, a service's
    // only through the SCM, the other places' only as Windows starts them.
    if (item->kind == PackagedApp || item->kind == Service || ItemIsOtherPlace(item))
        EnableMenuItem(popup, IDM_RUN, MF_BYCOMMAND | MF_GRAYED);
    if (item->targetMissing) {
        EnableMenuItem(popup, IDM_RUN, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, IDM_FIND_TARGET, MF_BYCOMMAND | MF_GRAYED);
    }
    GreyStartLater(popup, item);
    long cause = switchCause != PLAT_OK ? switchCause : removeCause;
    if (cause == PLAT_OK)
        return;
    char status[TEXT_FIELD_SIZE + 256];
    TextFormat(status, sizeof status, STATUS_ROW_FIXED, ItemShownName(item), CauseText(cause));
    SetStatusText(NULL, status);
}

static void OnContextMenu(HWND list, LPARAM lParam)
{
    int32_t row = SelectedRow(list);
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_ITEM_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    const AutostartItem *item = CatalogueItem(RecordOfRow(list, row));
    if (item && !item->enabled)
        RenameToEnable(popup);
    if (item)
        GreyWhatTheRowRefuses(popup, item);
    int32_t column = -1, descending = 0;
    ListSortOrder(&column, &descending);
    CheckMenuRadioItem(popup, IDM_SORT_NAME, IDM_SORT_SCAN,
                       column < 0               ? IDM_SORT_SCAN
                       : column == COLUMN_COST ? IDM_SORT_COST
                                               : IDM_SORT_NAME + (UINT)column,
                       MF_BYCOMMAND);
    SetForegroundWindow(list);
    POINT point = MenuPoint(list, row, lParam);
    // Details arriving while the menu is open may take rows out above this
    // one: the command goes to the entry the menu was opened on.
    int32_t record = RecordOfRow(list, row);
    ++HoldScanRows;
    UINT chosen = (UINT)TrackPopupMenu(popup, TPM_RETURNCMD, point.x, point.y, 0, list, NULL);
    --HoldScanRows;
    row = RowOfRecord(list, record);
    if (row >= 0) {
        RunItemCommand(list, chosen, row);
    } else if (chosen) {
        const AutostartItem *gone = CatalogueItem(record);
        char status[TEXT_FIELD_SIZE + 64];
        TextFormat(status, sizeof status, STATUS_NO_LONGER_LISTED, gone ? gone->name : "");
        SetStatusText(NULL, status);
    }
    DestroyMenu(menu);
    PostMessageA(list, WM_NULL, 0, 0);
    RetryScanResults();
}

// Delete removes the selected entry (asking first), F5 refreshes, Enter
// edits. Nonzero when the key was one of these.
static int OnListKey(HWND list, WPARAM key)
{
    int32_t row = SelectedRow(list);
    switch (key) {
    case VK_DELETE:
        if (row >= 0)
            RunItemCommand(list, IDM_REMOVE, row);
        return 1;
    case VK_F5: PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, (LPARAM)list); return 1;
    case VK_RETURN:
        if (row >= 0)
            OnEdit(MainWindow);
        return 1;
    default: return 0;
    }
}

LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CONTEXTMENU) {
        if (SelectedRow(window) < 0)
            return 0;
        OnContextMenu(window, lParam);
    }
    if (message == WM_KEYDOWN && OnListKey(window, wParam))
        return 0;
    if (message == LVM_SETITEMSTATE)
        return SetItemState(window, wParam, (const LVITEMA *)lParam);
    if (message == WM_KEYDOWN && wParam == VK_SPACE && TypingName((DWORD)GetMessageTime()))
        return 0; // its WM_CHAR goes on to the name being typed
    if (message == WM_KEYDOWN && wParam == VK_SPACE) {
        int32_t row = (int32_t)SendMessageA(window, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
        ToggleRow(window, row >= 0 ? row : SelectedRow(window));
        return 0;
    }
    if (message == WM_CHAR && TypeAhead(window, wParam, (DWORD)GetMessageTime()))
        return 0;
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)
        ToggleRow(window, BoxClicked(window, lParam));
    // Enter reaches a list only when it asks for it.
    if (message == WM_GETDLGCODE && wParam == VK_RETURN)
        return DLGC_WANTALLKEYS;
    return CallWindowProcA(ListViewClassProc, window, message, wParam, lParam);
}
