// main_window.cpp - the main window: its header and footer painting, the
// details pane, and the window procedure that hands each message to the
// layout (main_layout.cpp) or a command (main_commands.cpp). Refresh is the
// one road from storage to the screen: it rescans the catalogue and
// rebuilds the list together.
#include "ui.h"

#include "../store/store.h"
#include "help.h"

#include <string.h>

#define VERSION_TEXT "(ver.1.2)"
// The footer's words: white at 70 % on its dark teal.
#define FOOTER_TEXT_COLOUR RGB(183, 202, 206)

// ---- shared with the list and the editor --------------------------------

// Names in a status are shown with escapes: none can pass for another.
void SetStatusText(void *context, const char *text)
{
    (void)context;
    char shown[4 * OUTCOME_TEXT_SIZE];
    TextCopyVisible(shown, sizeof shown, text, 0);
    SetWindowTextA(GetDlgItem(MainWindow, IDC_STATUS), shown);
}

// A Refresh the program starts after a change (lParam 0) keeps the status
// that change set; one the user asks for says so itself.
void PostRefresh(void)
{
    PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
}

// The status bar holds what fits its width: a longer path loses its middle.
void SetStatusWithPath(const char *format, const char *name, const char *path)
{
    char shortPath[TEXT_FIELD_SIZE];
    TextShortenMiddle(shortPath, sizeof shortPath, path, STATUS_PATH_ROOM);
    char status[2 * TEXT_FIELD_SIZE + 64];
    if (name)
        TextFormat(status, sizeof status, format, name, shortPath);
    else
        TextFormat(status, sizeof status, format, shortPath);
    SetStatusText(NULL, status);
}

// ---- painting and the details pane --------------------------------------

// A band drawn at its own size, widened with its right edge: each row of
// the last column repeated, so its lines and gradient run on. Between the
// DPIs the pictures exist at, the nearest one is fitted to the band's height.
static void DrawBand(HDC dc, HBITMAP bitmap, int y, int height, int width)
{
    BITMAP info;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory || !GetObjectA(bitmap, sizeof info, &info) || info.bmHeight <= 0) {
        if (memory)
            DeleteDC(memory);
        return;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    int drawn = info.bmWidth;
    if (info.bmHeight == height) {
        BitBlt(dc, 0, y, info.bmWidth, height, memory, 0, 0, SRCCOPY);
    } else {
        drawn = MulDiv(info.bmWidth, height, info.bmHeight);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, NULL);
        StretchBlt(dc, 0, y, drawn, height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
    if (width > drawn)
        StretchBlt(dc, drawn, y, width - drawn, height, memory, info.bmWidth - 1, 0, 1,
                   info.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

// "25 entries: 2 off here, 2 off in Windows' settings": the rows shown
// (entries hidden as Windows' own are not counted), each state but "on"
// counted in the words of the State column.
void EntryCountText(char *text, size_t size)
{
    static const char *const kStates[] = {STATE_OFF_HERE,      STATE_OFF_IN_SETTINGS,
                                          STATE_OFF_IN_SCHEDULER, STATE_OFF_BY_POLICY,
                                          STATE_READ_ONLY,     STATE_READ_ONLY_OFF};
    int32_t rows = ItemListWindow ? (int32_t)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0)
                                  : ItemCatalogue.count;
    int32_t counts[sizeof kStates / sizeof kStates[0]] = {0};
    int32_t services = 0;
    for (int32_t i = 0; i < rows; ++i) {
        const AutostartItem *item =
            CatalogueItem(ItemListWindow ? RecordOfRow(ItemListWindow, i) : i);
        services += item && item->kind == Service;
        const char *state = item ? ItemStateText(item) : STATE_ON;
        for (size_t s = 0; s < sizeof kStates / sizeof kStates[0]; ++s)
            counts[s] += strcmp(state, kStates[s]) == 0;
    }
    TextFormat(text, size, "%d %s", (int)rows, rows == 1 ? "entry" : "entries");
    const char *separator = ": ";
    for (size_t s = 0; s < sizeof kStates / sizeof kStates[0]; ++s) {
        if (!counts[s])
            continue;
        char part[64];
        TextFormat(part, sizeof part, "%s%d %s", separator, (int)counts[s], kStates[s]);
        TextAppend(text, size, part);
        separator = ", ";
    }
    if (services) {
        char part[64];
        TextFormat(part, sizeof part, "; %d %s", (int)services, services == 1 ? "service" : "services");
        TextAppend(text, size, part);
    }
}

// The footer band sits on the status bar, at least where today's window
// drew it.
static RECT FooterRect(HWND window)
{
    RECT client, bar = {0, 0, 0, 0};
    GetClientRect(window, &client);
    HWND status = GetDlgItem(window, IDC_STATUS);
    if (status)
        GetWindowRect(status, &bar);
    int top = client.bottom - (int)(bar.bottom - bar.top) - Scaled(FOOTER_HEIGHT);
    if (top < Scaled(DRAWING_HEIGHT - FOOTER_HEIGHT))
        top = Scaled(DRAWING_HEIGHT - FOOTER_HEIGHT);
    int width = Scaled(DRAWING_WIDTH);
    RECT footer = {0, top, client.right > width ? client.right : width,
                   top + Scaled(FOOTER_HEIGHT)};
    return footer;
}

void RepaintFooter(HWND window)
{
    RECT footer = FooterRect(window);
    InvalidateRect(window, &footer, FALSE);
}

// The footer's count, through the wide call: GDI's "A" calls keep the
// system code page, not the program's.
static void DrawFooterText(HDC dc, RECT footer)
{
    char text[160];
    wchar_t wide[160];
    EntryCountText(text, sizeof text);
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 160);
    if (length <= 1)
        return;
    footer.right -= Scaled(12);
    SetTextColor(dc, FOOTER_TEXT_COLOUR);
    DrawTextW(dc, wide, length - 1, &footer, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client, footer = FooterRect(window);
    GetClientRect(window, &client);
    DrawBand(dc, HeaderBitmap, 0, Scaled(80), client.right);
    DrawBand(dc, FooterBitmap, footer.top, footer.bottom - footer.top, client.right);
    SelectObject(dc, UiFont);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, Scaled(250), Scaled(42), VERSION_TEXT, (int)strlen(VERSION_TEXT));
    DrawFooterText(dc, footer);
    EndPaint(window, &paint);
}

// A details field with escapes for control and bidirectional characters:
// what is shown cannot pass for another text. Room for every escape.
static void SetDetail(HWND window, int control, const char *text, int cut)
{
    char shown[4 * COMMAND_FIELD_SIZE];
    TextCopyVisible(shown, sizeof shown, text, cut);
    SendDlgItemMessageA(window, control, WM_SETTEXT, 0, (LPARAM)shown);
}

static void ShowDetails(HWND window)
{
    const AutostartItem *item =
        CatalogueItem(RecordOfRow(ItemListWindow, SelectedRow(ItemListWindow)));
    if (!item)
        return;
    const char *pending = item->detailsPending ? DETAILS_PENDING_TEXT : NULL;
    char location[TEXT_FIELD_SIZE + 64];
    char notes[4 * TEXT_FIELD_SIZE];
    ItemPlaceText(item, 0, location, sizeof location);
    ItemNotes(item, notes, sizeof notes);
    char mark[2 * COMMAND_FIELD_SIZE + 64];
    RecordMarkNote((int32_t)(item - ItemCatalogue.items), mark, sizeof mark);
    if (mark[0]) {
        // The mark first: it is why the row stands out.
        char rest[sizeof notes];
        TextCopy(rest, sizeof rest, notes);
        TextFormat(notes, sizeof notes, "%s%s%s", mark, rest[0] ? "; " : "", rest);
    }
    // What it cost at the last logon and whether it runs now, said of
    // every entry, after what is particular to this one.
    const char *const said[] = {item->costText, item->runningText};
    for (const char *text : said) {
        if (!text[0])
            continue;
        if (notes[0])
            TextAppend(notes, sizeof notes, "; ");
        TextAppend(notes, sizeof notes, text);
    }
    SetDetail(window, IDC_LOCATION, location, ItemLocationCut(item));
    SetDetail(window, IDC_NOTES, notes, 0);
    SetDetail(window, IDC_COMMAND, item->command, item->commandCut);
    SetDetail(window, IDC_DESCRIPTION, pending ? pending : item->description, 0);
    SetDetail(window, IDC_COMPANY, pending ? pending : item->company, 0);
    SetDetail(window, IDC_PUBLISHER, pending ? pending : item->publisher, 0);
}

void ShowSelectedDetails(HWND window)
{
    ShowDetails(window);
}

void ShowRecordDetails(HWND window, int32_t record)
{
    if (!ItemListWindow)
        return;
    int32_t selected = RecordOfRow(ItemListWindow, SelectedRow(ItemListWindow));
    if (UpdateRowDetails(ItemListWindow, record) || selected != record)
        return;
    // Only a pane that waits for them takes them (a Refresh empties it).
    char shown[8] = "";
    GetDlgItemTextA(window, IDC_DESCRIPTION, shown, sizeof shown);
    if (strcmp(shown, DETAILS_PENDING_TEXT) == 0)
        ShowDetails(window);
}

static LRESULT OnNotify(HWND window, NMHDR *header)
{
    if (header->code == LVN_GETDISPINFOA && header->hwndFrom == ItemListWindow) {
        OnListDisplayInfo((NMLVDISPINFOA *)header);
    } else if (header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW *change = (const NMLISTVIEW *)header;
        if ((change->uChanged & LVIF_STATE)
            && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) && !ListFilling)
            ShowPending();
        ShowDetails(window);
    } else if (header->code == NM_DBLCLK && header->hwndFrom == ItemListWindow) {
        OnEdit(window);
    } else if (header->code == LVN_COLUMNCLICK && header->hwndFrom == ItemListWindow) {
        SortRowsBy(ItemListWindow, ((const NMLISTVIEW *)header)->iSubItem);
        TellVisibleRows();
    } else if (header->code == LVN_ODFINDITEMA && header->hwndFrom == ItemListWindow) {
        return OnListFindItem((const NMLVFINDITEMA *)header);
    } else if (header->code == LVN_ODCACHEHINT && header->hwndFrom == ItemListWindow) {
        // Scrolled (or sized): the rows now on screen are read next.
        TellVisibleRows();
    }
    return 0;
}

static void OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ADD: OnAdd(); break;
    case IDM_EDIT: OnEdit(window); break;
    case IDM_CLEANUP: OnCleanUp(window); break;
    case IDM_APPLY: OnApply(); break;
    case IDM_EXIT: PostMessageA(window, WM_CLOSE, 0, 0); break;
    case IDM_HELP_BUTTON: OnHelpMenu(window); break;
    // An accelerator (F5) says 1 in the high word: the user asked.
    case IDM_REFRESH: OnRefresh(window, lParam || HIWORD(wParam) == 1); break;
    // F1; the Description field shares the number, so only a key counts.
    case IDM_HELP:
        if (!lParam)
            ShowHelp(window, NULL);
        break;
    case IDM_SAVE_LOG: OnSaveLog(window); break;
    case IDM_HISTORY: OpenHistory(window); break;
    default: break;
    }
}

// As a dialog does: lParam set, wParam is the control; else wParam nonzero
// goes back.
static void OnNextControl(HWND window, WPARAM wParam, LPARAM lParam)
{
    HWND next = LOWORD(lParam) ? (HWND)wParam
                               : GetNextDlgTabItem(window, GetFocus(), wParam ? TRUE : FALSE);
    if (next)
        SetFocus(next);
}

static void OnCreate(HWND window)
{
    CenterWindow(window);
    HideWindowsEntries = ReadHideWindowsSetting();
    ListOtherPlaces = ReadOtherPlacesSetting();
    // The controls do not exist yet: the first scan runs from the loop.
    PostMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, (NMHDR *)lParam);
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_SCAN_RESULTS:
        OnScanResults(window);
        return 0;
    case WM_ENABLE:
        // A box, the editor or a dialog ended: the results that waited.
        if (wParam)
            RetryScanResults();
        return 0;
    case WM_CTLCOLORSTATIC:
        return BlackTextOnWhite((HDC)wParam);
    case WM_ACTIVATE:
        // Back from a box, the editor or another program: the list has the
        // keys, not the bare window.
        if (LOWORD(wParam) != WA_INACTIVE && ItemListWindow && !HIWORD(wParam)) {
            SetFocus(ItemListWindow);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SETFOCUS:
        if (ItemListWindow)
            SetFocus(ItemListWindow);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            LayoutMainWindow(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_NEXTDLGCTL:
        // The multi-line command field passes Tab on as it does in a dialog.
        OnNextControl(window, wParam, lParam);
        return 0;
    case WM_DPICHANGED:
        // Another monitor: the size Windows suggests, everything drawn anew.
        RescaleMainWindow(window, HIWORD(wParam), (const RECT *)lParam);
        return 0;
    case WM_GETMINMAXINFO:
        if (MinimumWindow.cx) {
            ((MINMAXINFO *)lParam)->ptMinTrackSize.x = MinimumWindow.cx;
            ((MINMAXINFO *)lParam)->ptMinTrackSize.y = MinimumWindow.cy;
        }
        return 0;
    case WM_CLOSE:
        // Exit, Alt+F4 and the close box: unapplied changes are asked about.
        // A layout not kept costs nothing stored: the window still closes.
        if (ResolvePendingChanges(window)) {
            StopDetailsScan();
            SaveMainWindowLayout(window);
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        StopDetailsScan();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
