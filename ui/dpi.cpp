// dpi.cpp - the DPI the windows are drawn at.
//
// Windows 10 1607 and later tell each window the DPI of its monitor
// (GetDpiForWindow) and send WM_DPICHANGED, with the rectangle they suggest,
// when it moves to a monitor of another DPI; before, the whole desktop has
// one DPI (LOGPIXELSX of the screen). The newer calls are found by name, so
// the exe still starts where user32 lacks them. Every length in the windows'
// tables is at 96 DPI (100 %) and scaled here; the pictures exist at 100,
// 150 and 200 %, and the nearest one is drawn.
#include "ui.h"

int UiDpi = 96;

typedef UINT(WINAPI *DpiForWindowCall)(HWND);
typedef BOOL(WINAPI *AdjustForDpiCall)(RECT *, DWORD, BOOL, DWORD, UINT);

static FARPROC User32Call(const char *name)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    return user ? GetProcAddress(user, name) : NULL;
}

int WindowDpi(HWND window)
{
    static DpiForWindowCall dpiForWindow =
        (DpiForWindowCall)(void *)User32Call("GetDpiForWindow");
    int dpi = window && dpiForWindow ? (int)dpiForWindow(window) : 0;
    if (dpi > 0)
        return dpi;
    HDC screen = GetDC(NULL);
    dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen)
        ReleaseDC(NULL, screen);
    return dpi > 0 ? dpi : 96;
}

int ScaledAt(int length, int dpi)
{
    return MulDiv(length, dpi, 96);
}

int Scaled(int length)
{
    return MulDiv(length, UiDpi, 96);
}

int Unscaled(int pixels)
{
    return MulDiv(pixels, 96, UiDpi);
}

// Halfway between two sizes takes the larger: a picture shrunk stays
// sharper than one enlarged.
int ArtScale(int dpi)
{
    return dpi * 4 >= 96 * 7 ? 200 : dpi * 4 >= 96 * 5 ? 150 : 100;
}

HBITMAP LoadArt(int id)
{
    int scale = ArtScale(UiDpi);
    int scaled = id + (scale == 200 ? ART_200 : scale == 150 ? ART_150 : 0);
    return LoadBitmapA(AppInstance, MAKEINTRESOURCEA(scaled));
}

BOOL AdjustRectForDpi(RECT *rect, DWORD style, DWORD extended, int dpi)
{
    static AdjustForDpiCall adjustForDpi =
        (AdjustForDpiCall)(void *)User32Call("AdjustWindowRectExForDpi");
    if (adjustForDpi)
        return adjustForDpi(rect, style, FALSE, extended, (UINT)dpi);
    return AdjustWindowRectEx(rect, style, FALSE, extended);
}

struct FontSwap {
    HFONT from, to;
};

static BOOL CALLBACK TakeNewFont(HWND child, LPARAM lParam)
{
    const FontSwap *swap = (const FontSwap *)lParam;
    if ((HFONT)SendMessageA(child, WM_GETFONT, 0, 0) == swap->from)
        SendMessageA(child, WM_SETFONT, (WPARAM)swap->to, TRUE);
    return TRUE;
}

static void Replace(HBITMAP *slot, int id)
{
    HBITMAP fresh = LoadArt(id);
    if (!fresh)
        return; // the picture of the old size beats none
    if (*slot)
        DeleteObject(*slot);
    *slot = fresh;
}

// One DPI at a time for every window: the Add/Edit and History windows are
// modal, so the one the user can move decides; the main window takes its
// own back when such a window closes (RescaleMainWindow).
int UseDpi(int dpi)
{
    if (dpi <= 0)
        dpi = 96;
    if (dpi == UiDpi && UiFont)
        return 0;
    HFONT font = CreateFontA(-ScaledAt(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             ANSI_CHARSET, OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
    if (!font)
        return 0;
    UiDpi = dpi;
    FontSwap swap = {UiFont, font};
    UiFont = font;
    SharedButtonSkin.font = font;
    SharedButtonSkin.dpi = dpi;
    Replace(&HeaderBitmap, IDB_HEADER);
    Replace(&FooterBitmap, IDB_FOOTER);
    Replace(&SharedButtonSkin.normalFace, IDB_FACE_NORMAL);
    Replace(&SharedButtonSkin.hotFace, IDB_FACE_HOT);
    Replace(&SharedButtonSkin.pressedFace, IDB_FACE_PRESSED);
    if (swap.from) {
        // Every control drawn with the old font takes the new one first.
        if (MainWindow)
            EnumChildWindows(MainWindow, TakeNewFont, (LPARAM)&swap);
        if (EditorWindow)
            EnumChildWindows(EditorWindow, TakeNewFont, (LPARAM)&swap);
        if (HistoryWindow)
            EnumChildWindows(HistoryWindow, TakeNewFont, (LPARAM)&swap);
        DeleteObject(swap.from);
    }
    return 1;
}

void MoveScaled(HWND control, int x, int y, int width, int height)
{
    // Both edges scaled, so neighbours stay as far apart as at 96 DPI.
    if (control)
        SetWindowPos(control, NULL, Scaled(x), Scaled(y), Scaled(x + width) - Scaled(x),
                     Scaled(y + height) - Scaled(y), SWP_NOZORDER | SWP_NOACTIVATE);
}
