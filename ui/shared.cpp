// shared.cpp - small operations every window uses.
#include "ui.h"

#include "../catalogue/catalogue.h"
#include "../platform/platform.h"

#include <string.h>

void ShowLastError(HWND owner)
{
    char text[512];
    PlatErrorText((long)GetLastError(), text, sizeof text);
    MessageBoxA(owner, text, "Error", MB_OK | MB_ICONINFORMATION);
}

// The scan's failures, in a box the main window owns: the box keeps it
// disabled, so no command starts a scan inside the scan. The scan worker's
// go to the window, which shows them on its own thread. The file or folder
// concerned is named before the system's words.
void ShowCatalogueError(void *, const char *subject, const char *text)
{
    // Said in the status bar at every Refresh: a box each time would stop
    // every Apply while the scheduler is down.
    if (!subject[0] && strncmp(text, TASKS_NOT_LISTED_LEAD, strlen(TASKS_NOT_LISTED_LEAD)) == 0)
        return;
    char line[2 * TEXT_FIELD_SIZE + 64];
    if (subject[0])
        TextFormat(line, sizeof line, "\"%s\": %s", subject, text);
    else
        TextCopy(line, sizeof line, text);
    char shown[4 * sizeof line];
    TextCopyVisible(shown, sizeof shown, line, 0);
    HWND owner = MainWindow;
    if (owner && GetWindowThreadProcessId(owner, NULL) != GetCurrentThreadId()) {
        QueueScanError(shown);
        return;
    }
    MessageBoxA(owner, shown, "Error", MB_OK | MB_ICONINFORMATION);
}

int CenterWindow(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2 + 5;
    MoveWindow(window, x, y, width, height, TRUE);
    return 1;
}

void StretchBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, DWORD rop)
{
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SetMapMode(memory, GetMapMode(dc));

    BITMAP info;
    if (!GetObjectA(bitmap, sizeof info, &info))
        info.bmWidth = info.bmHeight = 0;
    POINT size = {info.bmWidth, info.bmHeight};
    DPtoLP(dc, &size, 1);
    POINT origin = {0, 0};
    DPtoLP(memory, &origin, 1);
    StretchBlt(dc, x, y, width, height, memory, origin.x, origin.y, size.x, size.y, rop);

    SelectObject(memory, previous);
    DeleteDC(memory);
}

LONG_PTR WindowProcAsLong(WNDPROC procedure)
{
    return (LONG_PTR)procedure;
}

WNDPROC WindowProcFromLong(LONG_PTR value)
{
    return (WNDPROC)value;
}

void PrepareFileDialog(OPENFILENAMEA *dialog, HWND owner, char *path, DWORD pathSize,
                       const char *filter, const char *title, DWORD flags)
{
    memset(dialog, 0, sizeof *dialog);
    path[0] = '\0';
    dialog->lStructSize = OPEN_FILE_NAME_SIZE;
    dialog->hwndOwner = owner;
    dialog->hInstance = AppInstance;
    dialog->lpstrFilter = filter;
    dialog->lpstrFile = path;
    dialog->nMaxFile = pathSize;
    dialog->lpstrInitialDir = "C:\\";
    dialog->lpstrTitle = title;
    dialog->Flags = flags;
}

LRESULT BlackTextOnWhite(HDC dc)
{
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    return (LRESULT)GetStockObject(WHITE_BRUSH);
}

// Loaded once per icon group and size: both windows' buttons share them,
// and a button drawn at another DPI may still hold the old size (room for
// five DPIs of every icon).
static struct {
    int id;
    int size;
    HICON icon;
} ButtonIcons[48];

HICON ButtonIcon(int id)
{
    int size = Scaled(20);
    for (auto &slot : ButtonIcons) {
        if (slot.icon && slot.id == id && slot.size == size)
            return slot.icon;
        if (!slot.icon) {
            // LoadIconA would give the 32 x 32 image, blurred when drawn at 20.
            slot.icon = (HICON)LoadImageA(AppInstance, MAKEINTRESOURCEA(id), IMAGE_ICON, size,
                                          size, LR_DEFAULTCOLOR);
            slot.id = id;
            slot.size = size;
            return slot.icon;
        }
    }
    return NULL;
}

void FreeButtonIcons(void)
{
    for (auto &slot : ButtonIcons) {
        if (slot.icon)
            DestroyIcon(slot.icon);
        slot.icon = NULL;
        slot.id = slot.size = 0;
    }
}

HWND CreateChildControl(HWND parent, const ChildControl *row)
{
    HWND control = CreateWindowExA(0, row->className, row->text, row->style, Scaled(row->x),
                                   Scaled(row->y), Scaled(row->x + row->width) - Scaled(row->x),
                                   Scaled(row->y + row->height) - Scaled(row->y), parent,
                                   (HMENU)(INT_PTR)row->id, AppInstance, NULL);
    if (!control)
        return NULL;
    SendMessageA(control, WM_SETFONT, (WPARAM)UiFont, FALSE);
    if (row->icon)
        AttachSkin(control, &SharedButtonSkin, ButtonIcon(row->icon));
    ShowWindow(control, SW_SHOWNORMAL);
    return control;
}

LRESULT ActivateKeepingFocus(HWND window, WPARAM wParam, LPARAM lParam, HWND *focused,
                             int firstId)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        *focused = IsChild(window, focus) ? focus : NULL;
        return DefWindowProcA(window, WM_ACTIVATE, wParam, lParam);
    }
    SetFocus(*focused && IsChild(window, *focused) && IsWindowEnabled(*focused)
                 ? *focused
                 : GetDlgItem(window, firstId));
    return 0;
}
