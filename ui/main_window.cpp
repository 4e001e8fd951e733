// main_window.cpp - the main window: its controls, header painting, the
// details pane, and the commands that turn buttons and the help menu into
// catalogue operations. Refresh (116) is the one road from storage to the
// screen: it rescans the catalogue and rebuilds the list together.
#include "ui.h"

#include "../store/store.h"
#include "../help/help.h"
#include "../report/html_log.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#define VERSION_TEXT "(ver.1.2)"
#define SUPPORT_PAGE ORVANE_WEB_SITE "supportus.html"
// Today's client area above the status bar: the layout's origin size.
// Every length of this file is at 96 DPI, scaled when it is placed.
#define DRAWING_WIDTH 600
#define DRAWING_HEIGHT 450
#define FOOTER_HEIGHT 25
// The footer's words: white at 70 % on its dark teal.
#define FOOTER_TEXT_COLOUR RGB(183, 202, 206)

// ---- controls -----------------------------------------------------------

#define SKINNED (WS_CHILD | WS_VISIBLE | WS_TABSTOP)
// Only the icon is drawn; the window text names the button for screen
// readers and carries its access key.
#define ICON_ONLY (SKINNED | BS_ICON)
#define LABEL (WS_CHILD | WS_VISIBLE)
#define FIELD (WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL)
// The command wraps, so the whole stored text can be read in the pane; the
// scroll bar says when there is more than the field shows.
#define COMMAND_FIELD \
    (WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_READONLY | ES_MULTILINE)
// Of a taller window, the command field takes up to three more lines.
#define COMMAND_GROWTH 48

// The buttons above the list: first in reading order, so first for Tab.
static const ChildControl TopControls[] = {
    {IDM_REFRESH, "BUTTON", "&Refresh", 460, 20, 35, 35, ICON_ONLY, IDI_REFRESH},
    {IDM_SAVE_LOG, "BUTTON", "&Save Log", 505, 20, 35, 35, ICON_ONLY, IDI_SAVE},
    {IDM_HELP_BUTTON, "BUTTON", "&Help", 550, 20, 35, 35, ICON_ONLY, IDI_HELP},
};

// After the list and the status bar, in reading order: the details (each
// field after its label, so the label names it), then the command buttons.
static const ChildControl MainControls[] = {
    {IDC_STATIC_ANY, "BUTTON", "Details", 15, 248, 570, 122, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0},
    {IDC_STATIC_ANY, "STATIC", "Location:", 24, 266, 70, 15, LABEL, 0},
    {IDC_LOCATION, "EDIT", "", 90, 266, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Command:", 24, 282, 70, 15, LABEL, 0},
    {IDC_COMMAND, "EDIT", "", 90, 282, 470, 17, COMMAND_FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Description:", 24, 298, 70, 15, LABEL, 0},
    {IDC_DESCRIPTION, "EDIT", "", 90, 298, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Company:", 24, 314, 70, 15, LABEL, 0},
    {IDC_COMPANY, "EDIT", "", 90, 314, 470, 17, FIELD, 0},
    // Who signed the program, as Windows verified it: the two above are claims.
    {IDC_STATIC_ANY, "STATIC", "Publisher:", 24, 330, 70, 15, LABEL, 0},
    {IDC_PUBLISHER, "EDIT", "", 90, 330, 470, 17, FIELD, 0},
    // Why an entry is off, a missing target, a name that is not changed here.
    {IDC_STATIC_ANY, "STATIC", "Notes:", 24, 346, 70, 15, LABEL, 0},
    {IDC_NOTES, "EDIT", "", 90, 346, 470, 17, FIELD, 0},
    {IDM_ADD, "BUTTON", "&Add", 15, 380, 100, 30, SKINNED, IDI_ADD},
    {IDM_EDIT, "BUTTON", "&Edit", 131, 380, 100, 30, SKINNED, IDI_EDIT},
    {IDM_CLEANUP, "BUTTON", "&CleanUp", 249, 380, 100, 30, SKINNED, IDI_APP},
    {IDM_APPLY, "BUTTON", "A&pply", 367, 380, 100, 30, SKINNED, IDI_APPLY},
    {IDM_EXIT, "BUTTON", "E&xit", 485, 380, 100, 30, SKINNED, IDI_EXIT},
};

// The icon-only buttons say what they do when the pointer rests on them.
static void AddTooltips(HWND window)
{
    HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                window, NULL, AppInstance, NULL);
    if (!tips)
        return;
    const struct {
        int id;
        const char *text;
    } tools[] = {{IDM_REFRESH, TOOLTIP_REFRESH}, {IDM_SAVE_LOG, TOOLTIP_SAVE_LOG},
                 {IDM_HELP_BUTTON, TOOLTIP_HELP}};
    for (const auto &tool : tools) {
        TOOLINFOA info;
        memset(&info, 0, sizeof info);
        // The size without the newest field, which older comctl32 refuses.
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = window;
        info.uId = (UINT_PTR)GetDlgItem(window, tool.id);
        info.lpszText = (char *)tool.text;
        SendMessageA(tips, TTM_ADDTOOLA, 0, (LPARAM)&info);
    }
}

// The windows made from the tables, in table order, for the layout.
static HWND TopWindows[sizeof TopControls / sizeof TopControls[0]];
static HWND MainWindows[sizeof MainControls / sizeof MainControls[0]];

// Today's window is the smallest: every control was placed for it.
static SIZE MinimumWindow = {0, 0};
// The client width (pixels) the list's columns were last fitted to, and
// the DPI the columns and that width are at.
static int ColumnsWidth = DRAWING_WIDTH;
static int LayoutDpi = 96;

static void MoveControl(HWND control, int x, int y, int width, int height)
{
    MoveScaled(control, x, y, width, height);
}

// Places every control from the client size. The list takes the extra
// height; the list and the details the extra width; the banner and footer
// keep their height; the command buttons spread over the width.
static void LayoutMainWindow(HWND window, int width, int height)
{
    HWND status = GetDlgItem(window, IDC_STATUS);
    RECT bar = {0, 0, 0, 0};
    if (status) {
        SendMessageA(status, WM_SIZE, 0, 0);
        GetWindowRect(status, &bar);
    }
    int dx = Unscaled(width) > DRAWING_WIDTH ? Unscaled(width) - DRAWING_WIDTH : 0;
    int room = Unscaled(height - (int)(bar.bottom - bar.top));
    int dy = room > DRAWING_HEIGHT ? room - DRAWING_HEIGHT : 0;
    for (size_t i = 0; i < sizeof TopControls / sizeof TopControls[0]; ++i) {
        const ChildControl &row = TopControls[i];
        MoveControl(TopWindows[i], row.x + dx, row.y, row.width, row.height);
    }
    int command = dy / 3 < COMMAND_GROWTH ? dy / 3 : COMMAND_GROWTH;
    MoveControl(ItemListWindow, 15, 95, 570 + dx, 148 + dy - command);
    int button = 0;
    for (size_t i = 0; i < sizeof MainControls / sizeof MainControls[0]; ++i) {
        const ChildControl &row = MainControls[i];
        int group = (row.style & BS_GROUPBOX) == BS_GROUPBOX;
        int wide = !strcmp(row.className, "EDIT") || group;
        int grows = group || row.id == IDC_COMMAND;
        // Below the command field, the pane's rows move down with it.
        int below = row.y > 282 ? command : 0;
        int x = row.y >= 380 ? row.x + dx * button++ / 4 : row.x;
        MoveControl(MainWindows[i], x, row.y + dy - command + below,
                    row.width + (wide ? dx : 0), row.height + (grows ? command : 0));
    }
    // The Path column follows the window; widths the user set are kept.
    if (ItemListWindow && width != ColumnsWidth) {
        int path = (int)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, 2, 0) + width - ColumnsWidth;
        SendMessageA(ItemListWindow, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(path > 40 ? path : 40, 0));
        ColumnsWidth = width;
    }
    InvalidateRect(window, NULL, TRUE);
}

// The window that keeps the 600 x 450 drawing area free above the status
// bar, at the DPI: the minimum size.
static void MeasureMinimum(HWND window, HWND status)
{
    SendMessageA(status, WM_SIZE, 0, 0);
    WINDOWINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetWindowInfo(status, &info);
    int statusHeight = info.rcClient.bottom - info.rcClient.top;
    RECT outer = {0, 0, Scaled(DRAWING_WIDTH), Scaled(DRAWING_HEIGHT) + statusHeight};
    AdjustRectForDpi(&outer, (DWORD)GetWindowLongA(window, GWL_STYLE),
                     (DWORD)GetWindowLongA(window, GWL_EXSTYLE), UiDpi);
    MinimumWindow.cx = outer.right - outer.left;
    MinimumWindow.cy = outer.bottom - outer.top;
}

static void FitStatusBar(HWND window, HWND status)
{
    MeasureMinimum(window, status);
    SetWindowPos(window, NULL, 0, 0, MinimumWindow.cx, MinimumWindow.cy,
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(status, WM_SIZE, 0, 0);
    ShowWindow(status, SW_SHOWNORMAL);
}

static int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

// The size and column widths the user left, never smaller than today's
// window nor larger than the screen allows.
static void RestoreLayout(HWND window)
{
    WindowLayout layout;
    if (!MinimumWindow.cx || !ReadWindowLayoutSetting(&layout))
        return;
    // Never larger than the work area of today's screen: a size left on a
    // larger monitor would put the caption out of reach.
    RECT work = {0, 0, GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int roomX = work.right - work.left, roomY = work.bottom - work.top;
    // Stored at 96 DPI: the same size on a screen of any DPI.
    int width = Clamp(Scaled(layout.width), MinimumWindow.cx, roomX > MinimumWindow.cx ? roomX : MinimumWindow.cx);
    int height = Clamp(Scaled(layout.height), MinimumWindow.cy, roomY > MinimumWindow.cy ? roomY : MinimumWindow.cy);
    SetWindowPos(window, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    CenterWindow(window);
    // The caption stays on the work area, where it can be dragged.
    RECT placed;
    if (GetWindowRect(window, &placed) && (placed.left < work.left || placed.top < work.top))
        SetWindowPos(window, NULL, placed.left < work.left ? work.left : placed.left,
                     placed.top < work.top ? work.top : placed.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    // Maximised over the size it returns to; the widths were kept at the
    // size it was left at, so they come after. Shown again from hidden: a
    // window maximised while its earlier moves are still on their way to
    // the display can be put back by them.
    if (layout.maximised) {
        ShowWindow(window, SW_HIDE);
        ShowWindow(window, SW_SHOWMAXIMIZED);
    }
    for (int i = 0; i < LAYOUT_COLUMNS && ItemListWindow; ++i)
        if (layout.columns[i] > 0 && layout.columns[i] <= 4000)
            SendMessageA(ItemListWindow, LVM_SETCOLUMNWIDTH, i,
                         MAKELPARAM(Scaled(layout.columns[i]), 0));
}

long SaveMainWindowLayout(HWND window)
{
    WINDOWPLACEMENT place;
    memset(&place, 0, sizeof place);
    place.length = sizeof place;
    if (!GetWindowPlacement(window, &place))
        return (long)GetLastError();
    // The size it returns to, even when maximised or minimised; at 96 DPI.
    WindowLayout layout;
    layout.width = Unscaled(place.rcNormalPosition.right - place.rcNormalPosition.left);
    layout.height = Unscaled(place.rcNormalPosition.bottom - place.rcNormalPosition.top);
    // Minimised from maximised, it comes back maximised.
    layout.maximised = place.showCmd == SW_SHOWMAXIMIZED
                       || (place.showCmd == SW_SHOWMINIMIZED && (place.flags & WPF_RESTORETOMAXIMIZED));
    for (int i = 0; i < LAYOUT_COLUMNS; ++i)
        layout.columns[i] =
            ItemListWindow
                ? Unscaled((int32_t)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, i, 0))
                : 0;
    return SaveWindowLayoutSetting(&layout);
}

int CreateMainControls(HWND window)
{
    int failures = 0;
    // The window's own DPI, which may differ from the desktop's.
    UseDpi(WindowDpi(window));
    LayoutDpi = UiDpi;
    ColumnsWidth = Scaled(DRAWING_WIDTH);
    for (size_t i = 0; i < sizeof TopControls / sizeof TopControls[0]; ++i)
        if (!(TopWindows[i] = CreateChildControl(window, &TopControls[i])))
            ++failures;
    // The window text is the list's name for screen readers.
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, LIST_NAME,
                                ITEM_LIST_STYLE | WS_TABSTOP,
                                Scaled(15), Scaled(95), Scaled(570), Scaled(148), window,
                                (HMENU)(INT_PTR)IDC_ITEM_LIST,
                                AppInstance, NULL);
    if (list)
        SetUpItemList(list);
    else
        ++failures;

    HWND status = CreateStatusWindowA(WS_CHILD, MAIN_WINDOW_TITLE, window, IDC_STATUS);
    // In the window's font, so it follows the DPI with the rest.
    if (status)
        SendMessageA(status, WM_SETFONT, (WPARAM)UiFont, FALSE);
    if (status)
        FitStatusBar(window, status);
    else
        ++failures;

    for (size_t i = 0; i < sizeof MainControls / sizeof MainControls[0]; ++i)
        if (!(MainWindows[i] = CreateChildControl(window, &MainControls[i])))
            ++failures;
    AddTooltips(window);
    RestoreLayout(window);
    RECT client;
    GetClientRect(window, &client);
    LayoutMainWindow(window, client.right, client.bottom);
    if (list)
        SetFocus(list);
    return failures;
}

void RescaleMainWindow(HWND window, int dpi, const RECT *suggested)
{
    UseDpi(dpi);
    if (LayoutDpi != dpi) {
        // Each column keeps its width as the user left it, at the new DPI.
        for (int i = 0; i < LAYOUT_COLUMNS && ItemListWindow; ++i) {
            int width = (int)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, i, 0);
            SendMessageA(ItemListWindow, LVM_SETCOLUMNWIDTH, i,
                         MAKELPARAM(MulDiv(width, dpi, LayoutDpi), 0));
        }
        ColumnsWidth = MulDiv(ColumnsWidth, dpi, LayoutDpi);
        LayoutDpi = dpi;
    }
    for (size_t i = 0; i < sizeof TopControls / sizeof TopControls[0]; ++i)
        SetSkinIcon(TopWindows[i], ButtonIcon(TopControls[i].icon));
    for (size_t i = 0; i < sizeof MainControls / sizeof MainControls[0]; ++i)
        if (MainControls[i].icon)
            SetSkinIcon(MainWindows[i], ButtonIcon(MainControls[i].icon));
    HWND status = GetDlgItem(window, IDC_STATUS);
    if (status)
        MeasureMinimum(window, status);
    if (suggested)
        SetWindowPos(window, NULL, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window, &client);
    LayoutMainWindow(window, client.right, client.bottom);
}

// ---- shared with the list and the editor --------------------------------

void SetStatusText(void *context, const char *text)
{
    (void)context;
    SetWindowTextA(GetDlgItem(MainWindow, IDC_STATUS), text);
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
static void ShowPending(void)
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
                   pending == 1 ? "change" : "changes");
    SetStatusText(NULL, status);
}

void EditCatalogueItem(int32_t index)
{
    EditIndex = index;
    const AutostartItem *item = CatalogueItem(index);
    if (!item)
        return;
    if (item->kind == Shortcut) {
        ShowShellProperties(item->location);
        return;
    }
    if (item->kind == ScheduledTask) {
        char status[TEXT_FIELD_SIZE + 96];
        TextFormat(status, sizeof status, STATUS_TASK_NOT_EDITED, item->name);
        SetStatusText(NULL, status);
        return;
    }
    // A cut name is not the entry's: editing it could reach another one.
    if (item->cut) {
        SetStatusText(NULL, STATUS_ENTRY_CUT);
        return;
    }
    if (item->inexact) {
        ReportInexact(SetStatusText, NULL, item);
        return;
    }
    // A logon place's row is a program of a shared value, not a Run value.
    if (item->logonPlace) {
        char status[TEXT_FIELD_SIZE + 96];
        TextFormat(status, sizeof status, STATUS_LOGON_NOT_EDITED, item->name);
        SetStatusText(NULL, status);
        return;
    }
    EditMode = EditorEdit;
    EditorHeaderBitmap = LoadArt(IDB_EDITOR_EDIT);
    OpenEditor(EDITOR_EDIT_TITLE);
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

// "24 entries; 3 disabled", counted as the first status counts them.
// Counts the rows shown: entries hidden as Windows' own are not counted.
void EntryCountText(char *text, size_t size)
{
    int32_t rows = ItemListWindow ? (int32_t)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0)
                                  : ItemCatalogue.count;
    int32_t disabled = 0;
    for (int32_t i = 0; i < rows; ++i) {
        const AutostartItem *item =
            CatalogueItem(ItemListWindow ? RecordOfRow(ItemListWindow, i) : i);
        disabled += item && !item->enabled;
    }
    TextFormat(text, size, STATUS_COUNTED, (int)rows, rows == 1 ? "entry" : "entries",
               (int)disabled);
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
    char text[96];
    wchar_t wide[96];
    EntryCountText(text, sizeof text);
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 96);
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

static void ShowDetails(HWND window)
{
    const AutostartItem *item =
        CatalogueItem(RecordOfRow(ItemListWindow, SelectedRow(ItemListWindow)));
    if (!item)
        return;
    const char *pending = item->detailsPending ? DETAILS_PENDING_TEXT : NULL;
    char location[TEXT_FIELD_SIZE + 64];
    char notes[4 * TEXT_FIELD_SIZE];
    char command[COMMAND_FIELD_SIZE];
    ItemPlaceText(item, 0, location, sizeof location);
    TextCopyShown(location, sizeof location, location, item->cut && item->kind != RegistryValue);
    TextCopyShown(command, sizeof command, item->command, item->commandCut);
    ItemNotes(item, notes, sizeof notes);
    SendDlgItemMessageA(window, IDC_LOCATION, WM_SETTEXT, 0, (LPARAM)location);
    SendDlgItemMessageA(window, IDC_NOTES, WM_SETTEXT, 0, (LPARAM)notes);
    SendDlgItemMessageA(window, IDC_COMMAND, WM_SETTEXT, 0, (LPARAM)command);
    SendDlgItemMessageA(window, IDC_DESCRIPTION, WM_SETTEXT, 0,
                        (LPARAM)(pending ? pending : item->description));
    SendDlgItemMessageA(window, IDC_COMPANY, WM_SETTEXT, 0,
                        (LPARAM)(pending ? pending : item->company));
    SendDlgItemMessageA(window, IDC_PUBLISHER, WM_SETTEXT, 0,
                        (LPARAM)(pending ? pending : item->publisher));
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
    } else if (header->code == LVN_ODCACHEHINT && header->hwndFrom == ItemListWindow) {
        // Scrolled (or sized): the rows now on screen are read next.
        TellVisibleRows();
    }
    return 0;
}

// ---- commands -----------------------------------------------------------

static void OnAdd(void)
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

// What Apply's failures said: the first one, and how many there were.
struct ApplyReport {
    char first[TEXT_FIELD_SIZE + 128];
    int failures;
};

static void CollectFailure(void *context, const char *text)
{
    ApplyReport *report = (ApplyReport *)context;
    if (report->failures++ == 0)
        TextCopy(report->first, sizeof report->first, text);
}

// A file of the shared folder of disabled items is enabled for every user
// only when the user says so; a No keeps it disabled.
static void ConfirmEnablesForAllUsers(int32_t *desired, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        if (!item || !desired[i] || item->enabled || !ItemPlacedByAnyUser(item))
            continue;
        char question[TEXT_FIELD_SIZE + 256];
        TextFormat(question, sizeof question, ENABLE_ANY_USER_QUESTION, item->name);
        if (MessageBoxA(MainWindow, question, MAIN_WINDOW_TITLE,
                        MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2)
            != IDYES)
            desired[i] = 0;
    }
}

// Apply: every row's check box is stored; the status says how many changes
// were stored and names the first that was not, with its cause.
static void OnApply(void)
{
    int32_t count = 0;
    int32_t pending = PendingChanges();
    int32_t *desired = ReadCheckBoxes(&count);
    if (!desired) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    ConfirmEnablesForAllUsers(desired, count);
    // One change is named: what was done to which entry.
    int32_t only = -1;
    for (int32_t i = 0; i < count && i < ItemCatalogue.count; ++i)
        if ((desired[i] ? 1 : 0) != ItemCatalogue.items[i].enabled)
            only = only == -1 ? i : -2;
    char onlyName[TEXT_FIELD_SIZE] = "";
    int32_t onlyWanted = only >= 0 && desired[only];
    if (only >= 0)
        TextCopy(onlyName, sizeof onlyName, ItemCatalogue.items[only].name);
    ApplyReport report;
    report.first[0] = '\0';
    report.failures = 0;
    int stored = ApplyChanges(desired, count, CollectFailure, &report);
    HeapFree(GetProcessHeap(), 0, desired);
    char status[2 * TEXT_FIELD_SIZE];
    if (report.failures == 0 && stored == 1 && onlyName[0] && LastListBackup()[0]) {
        SetStatusWithPath(onlyWanted ? STATUS_LIST_ENABLED : STATUS_LIST_DISABLED, onlyName,
                          LastListBackup());
        ShownPending = 0;
        PostRefresh();
        return;
    }
    if (report.failures == 0 && stored == 1 && onlyName[0])
        TextFormat(status, sizeof status, onlyWanted ? STATUS_ENABLED_ONE : STATUS_DISABLED_ONE,
                   onlyName);
    else if (report.failures == 0)
        TextFormat(status, sizeof status, STATUS_APPLIED, stored, stored == 1 ? "change" : "changes");
    else
        TextFormat(status, sizeof status, STATUS_APPLIED_SOME, stored, (int)pending,
                   report.first, report.failures > 1 ? STATUS_MORE_FAILURES : "");
    // Each list value changed was backed up on its own: name them.
    int32_t backups = 0;
    const char *first = ListBackupsMade(&backups);
    if (backups) {
        char shortPath[TEXT_FIELD_SIZE];
        TextShortenMiddle(shortPath, sizeof shortPath, first, STATUS_PATH_ROOM);
        char more[48] = "";
        if (backups > 1)
            TextFormat(more, sizeof more, STATUS_MORE_BACKUPS, (int)backups - 1);
        size_t used = strlen(status);
        TextFormat(status + used, sizeof status - used, STATUS_BACKUPS_NAMED,
                   backups > 1 ? "s" : "", shortPath, more);
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

// CleanUp: pending check boxes are settled first (asked, never applied
// unasked); then the question counts, from storage as it is after that,
// what goes and from where, with No the default.
static void OnCleanUp(HWND window)
{
    if (!ResolvePendingChanges(window))
        return;
    // Which disabled entries are Windows' own (kept) is known only once
    // every record's signature is read.
    FinishDetails(window);
    // The rows hidden as Windows' own: their keys are kept, and not counted.
    int32_t count = ItemCatalogue.count;
    int32_t *hidden = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                           sizeof(int32_t) * ((size_t)count + 1));
    if (!hidden) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        hidden[i] = ItemHiddenAsWindows(&ItemCatalogue.items[i], HideWindowsEntries);
    CleanUpCount what;
    CountCleanUpShown(&what, hidden, count);
    HeapFree(GetProcessHeap(), 0, hidden);
    int32_t entries = what.user + what.machine;
    if (entries + what.settings == 0) {
        SetStatusText(NULL, STATUS_CLEANUP_NOTHING);
        return;
    }
    char settings[64] = "";
    if (what.settings)
        TextFormat(settings, sizeof settings, STATUS_CLEANUP_SETTINGS, (int)what.settings,
                   what.settings == 1 ? "setting" : "settings");
    char question[512];
    TextFormat(question, sizeof question, CLEANUP_QUESTION, (int)entries,
               entries == 1 ? "entry" : "entries", (int)what.user, (int)what.machine, settings,
               what.places);
    if (MessageBoxA(window, question, MAIN_WINDOW_TITLE,
                    MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
        != IDYES)
        return;
    // The stored states: nothing pending is applied here.
    // The second half marks the rows hidden as Windows' own: kept.
    int32_t *stored = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                           sizeof(int32_t) * (2 * (size_t)count + 1));
    if (!stored) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        stored[i] = ItemCatalogue.items[i].enabled;
        stored[count + i] = ItemHiddenAsWindows(&ItemCatalogue.items[i], HideWindowsEntries);
    }
    CleanUpDisabledShown(stored, stored + count, count, SetStatusText, NULL);
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
static int OnRefresh(HWND window, int fromUser)
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
    RECT footer = FooterRect(window);
    InvalidateRect(window, &footer, FALSE);
    ShownPending = 0;
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

static void ShowHiddenCount(long saved)
{
    char status[TEXT_FIELD_SIZE];
    TextFormat(status, sizeof status, STATUS_WINDOWS_HIDDEN, (int)HiddenWindowsRows);
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
    ClearDetails(window);
    if (ItemListWindow)
        FillListView(ItemListWindow);
    ShownPending = 0;
    ShowHiddenCount(saved);
}

static void OnHelpMenu(HWND window)
{
    RECT button;
    GetWindowRect(GetDlgItem(window, IDM_HELP_BUTTON), &button);
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_HELP_MENU));
    if (!menu)
        return;
    CheckMenuItem(menu, IDM_HIDE_WINDOWS,
                  MF_BYCOMMAND | (HideWindowsEntries ? MF_CHECKED : MF_UNCHECKED));
    SetForegroundWindow(window);
    ++HoldScanRows;
    UINT chosen = (UINT)TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTALIGN,
                                       button.right, button.bottom, 0, window, NULL);
    --HoldScanRows;
    switch (chosen) {
    case IDM_HELP: ShowHelp(window, NULL); break;
    case IDM_HIDE_WINDOWS: OnHideWindows(window); break;
    case IDM_WEBSITE: OpenForUser("open", ORVANE_WEB_SITE, "", ORVANE_WEB_SITE); break;
    case IDM_SUPPORT: OpenForUser("open", SUPPORT_PAGE, "", SUPPORT_PAGE); break;
    case IDM_ABOUT: MessageBoxA(window, ABOUT_TEXT, "About...", MB_ICONINFORMATION); break;
    default: break;
    }
    DestroyMenu(menu);
    PostMessageA(window, WM_NULL, 0, 0);
    RetryScanResults();
}

static void OnSaveLog(HWND window)
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
