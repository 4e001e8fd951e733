// main_layout.cpp - the main window's controls and where they go: made from
// two tables in reading order, placed from the client size at the window's
// DPI, and the size and column widths the user left, kept for the next start.
#include "ui.h"

#include "../store/store.h"

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
// The command field shows three lines; of a taller window it takes up to
// three more. The rows below it start at the next row after it.
#define COMMAND_Y 250
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
    {IDC_STATIC_ANY, "BUTTON", "Details", 15, 216, 570, 154, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0},
    {IDC_STATIC_ANY, "STATIC", "Location:", 24, 234, 70, 15, LABEL, 0},
    {IDC_LOCATION, "EDIT", "", 90, 234, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Command:", 24, COMMAND_Y, 70, 15, LABEL, 0},
    {IDC_COMMAND, "EDIT", "", 90, COMMAND_Y, 470, 49, COMMAND_FIELD, 0},
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
SIZE MinimumWindow = {0, 0};
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
static void GrowColumn(int column, int change)
{
    int now = (int)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, column, 0) + change;
    SendMessageA(ItemListWindow, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(now > 40 ? now : 40, 0));
}

void LayoutMainWindow(HWND window, int width, int height)
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
    MoveControl(ItemListWindow, 15, 95, 570 + dx, 116 + dy - command);
    int button = 0;
    for (size_t i = 0; i < sizeof MainControls / sizeof MainControls[0]; ++i) {
        const ChildControl &row = MainControls[i];
        int group = (row.style & BS_GROUPBOX) == BS_GROUPBOX;
        int wide = !strcmp(row.className, "EDIT") || group;
        int grows = group || row.id == IDC_COMMAND;
        // Below the command field, the pane's rows move down with it.
        int below = row.y > COMMAND_Y ? command : 0;
        int x = row.y >= 380 ? row.x + dx * button++ / 4 : row.x;
        MoveControl(MainWindows[i], x, row.y + dy - command + below,
                    row.width + (wide ? dx : 0), row.height + (grows ? command : 0));
    }
    // The Name and Path columns share what the window gained or lost, a
    // third and two thirds; widths the user set are kept otherwise.
    if (ItemListWindow && width != ColumnsWidth) {
        int change = width - ColumnsWidth, name = change / 3;
        GrowColumn(COLUMN_NAME, name);
        GrowColumn(COLUMN_PATH, change - name);
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

// A column's width in the stored layout, which keeps the first three
// columns' in the order they were first stored.
static int32_t *StoredWidth(WindowLayout *layout, int column)
{
    return column == COLUMN_STATE    ? &layout->stateColumn
           : column == COLUMN_PATH   ? &layout->columns[2]
           : column == COLUMN_CHANGE ? &layout->changeColumn
           : column == COLUMN_COST   ? &layout->costColumn
                                     : &layout->columns[column];
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
    for (int i = 0; i < LIST_COLUMNS && ItemListWindow; ++i) {
        int32_t stored = *StoredWidth(&layout, i);
        if (stored > 0 && stored <= 4000)
            SendMessageA(ItemListWindow, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(Scaled(stored), 0));
    }
    SetListSortOrder(ItemListWindow, layout.sortColumn, layout.sortDescending);
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
    for (int i = 0; i < LIST_COLUMNS; ++i)
        *StoredWidth(&layout, i) =
            ItemListWindow
                ? Unscaled((int32_t)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, i, 0))
                : 0;
    ListSortOrder(&layout.sortColumn, &layout.sortDescending);
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
                                Scaled(15), Scaled(95), Scaled(570), Scaled(116), window,
                                (HMENU)(INT_PTR)IDC_ITEM_LIST,
                                AppInstance, NULL);
    if (list)
        SetUpItemList(list);
    else
        ++failures;

    HWND status = CreateStatusWindowA(WS_CHILD, MAIN_WINDOW_TITLE, window, IDC_STATUS);
    // In the window's font, so it follows the DPI with the rest.
    if (status) {
        SendMessageA(status, WM_SETFONT, (WPARAM)UiFont, FALSE);
        SetUpStatusBar(status);
    }
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
        for (int i = 0; i < LIST_COLUMNS && ItemListWindow; ++i) {
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

