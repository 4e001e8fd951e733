// main_window.cpp - the main window: header and footer painting, the
// Refresh command that rebuilds the catalogue, and closing.
#include "ui.h"

#include "../catalogue/catalogue.h"

#include <string.h>

#define VERSION_TEXT "(ver.1.2)"

int CreateMainControls(HWND window)
{
    (void)window;
    return 0;
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    StretchBitmap(dc, HeaderBitmap, 0, 0, 600, 80, SRCCOPY);
    StretchBitmap(dc, FooterBitmap, 0, 425, 600, 25, SRCCOPY);
    SelectObject(dc, UiFont);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 250, 42, VERSION_TEXT, (int)strlen(VERSION_TEXT));
    EndPaint(window, &paint);
}

static void OnCreate(HWND window)
{
    CenterWindow(window);
    // The controls do not exist yet: the first scan runs from the loop.
    PostMessageA(window, WM_COMMAND, IDM_REFRESH, (LPARAM)GetDlgItem(window, IDM_REFRESH));
}

static void OnRefresh(HWND window)
{
    SetDlgItemTextA(window, IDC_LOCATION, "");
    SetDlgItemTextA(window, IDC_COMMAND, "");
    SetDlgItemTextA(window, IDC_DESCRIPTION, "");
    SetDlgItemTextA(window, IDC_COMPANY, "");
    ScanCatalogue();
}

static void OnCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDM_REFRESH: OnRefresh(window); break;
    case IDM_EXIT: PostMessageA(window, WM_CLOSE, 0, 0); break;
    default: break;
    }
}

static LRESULT OnCtlColorStatic(HDC dc)
{
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    return (LRESULT)GetStockObject(WHITE_BRUSH);
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
    case WM_COMMAND:
        OnCommand(window, wParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic((HDC)wParam);
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
