// skin_button.cpp - skinned image buttons.
//
// An ordinary BUTTON becomes owner-drawn and is subclassed: it paints one of
// three face bitmaps stretched over itself, an optional icon (20 x 20 at 96
// DPI, scaled with the skin's DPI) and its text, and tracks the mouse itself
// (Normal, Hot, Pressed). A left-button release over it sends the parent
// WM_COMMAND with code 5 in the high word.
// The button never captures the mouse, so a release over it counts even
// when the press began elsewhere, and a release outside sends nothing.
// From the keyboard it is a push button: Space, Enter while it has the focus,
// and its access key (the dialog manager sends BM_CLICK, which the class turns
// into a press and a release). A button with BS_ICON draws only its icon; its
// window text still names it for screen readers.
#include "ui.h"

#include <string.h>

#ifndef _WIN64
static_assert(sizeof(TRACKMOUSEEVENT) == 16, "TRACKMOUSEEVENT as comctl32 expects it");
#endif

WNDPROC ButtonClassProc = NULL;

int AttachSkin(HWND button, ButtonSkin *skin, HICON icon)
{
    SkinButtonData *data =
        (SkinButtonData *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *data);
    if (!data)
        return 0;
    data->skin = skin;
    data->visual = VisualNormal;
    data->icon = icon;
    SetWindowLongPtrA(button, GWLP_USERDATA, (LONG_PTR)data);
    SetWindowLongPtrA(button, GWL_STYLE, GetWindowLongPtrA(button, GWL_STYLE) | BS_OWNERDRAW);
    WNDPROC previous = WindowProcFromLong(
        SetWindowLongPtrA(button, GWLP_WNDPROC, WindowProcAsLong(SkinButtonProc)));
    if (!ButtonClassProc)
        ButtonClassProc = previous;
    return 0;
}

void SetSkinIcon(HWND button, HICON icon)
{
    SkinButtonData *data = (SkinButtonData *)GetWindowLongPtrA(button, GWLP_USERDATA);
    if (data) {
        data->icon = icon;
        RepaintButton(button);
    }
}

void RepaintButton(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    InvalidateRect(window, &client, TRUE);
}

static void RequestLeaveNotice(HWND window)
{
    TRACKMOUSEEVENT track;
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    track.dwHoverTime = 0;
    _TrackMouseEvent(&track);
}

static void SetVisual(HWND window, SkinButtonData *data, int32_t visual)
{
    data->visual = visual;
    RepaintButton(window);
}

static void SendClick(HWND window)
{
    SendMessageA(GetParent(window), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(window), SKIN_BUTTON_CLICKED), (LPARAM)window);
}

static LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(ButtonClassProc, window, message, wParam, lParam);
}

static LRESULT OnMouseMove(HWND window, SkinButtonData *data, WPARAM wParam, LPARAM lParam)
{
    if (data->visual == VisualPressed)
        return 0;
    RequestLeaveNotice(window);
    if (data->visual != VisualHot)
        SetVisual(window, data, VisualHot);
    return PassOn(window, WM_MOUSEMOVE, wParam, lParam);
}

static LRESULT OnLeftButtonDown(HWND window, SkinButtonData *data)
{
    RequestLeaveNotice(window);
    if (data->visual != VisualPressed)
        SetVisual(window, data, VisualPressed);
    return 0;
}

static LRESULT OnLeftButtonUp(HWND window, SkinButtonData *data)
{
    RequestLeaveNotice(window);
    if (data->visual == VisualPressed)
        SetVisual(window, data, VisualHot);
    SendClick(window);
    return 0;
}

static LRESULT OnMouseLeave(HWND window, SkinButtonData *data)
{
    if (data->visual == VisualHot || data->visual == VisualPressed)
        SetVisual(window, data, VisualNormal);
    return 0;
}

static LRESULT OnNcDestroy(HWND window, WPARAM wParam, LPARAM lParam, SkinButtonData *data)
{
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    HeapFree(GetProcessHeap(), 0, data);
    return PassOn(window, WM_NCDESTROY, wParam, lParam);
}

LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    SkinButtonData *data = (SkinButtonData *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (!data)
        return PassOn(window, message, wParam, lParam);
    switch (message) {
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SHOWWINDOW:
        RepaintButton(window);
        return PassOn(window, message, wParam, lParam);
    case WM_PAINT:
        PaintSkinButton(window, data);
        return PassOn(window, message, wParam, lParam);
    case WM_ERASEBKGND:
        return 1;
    case WM_NCDESTROY:
        return OnNcDestroy(window, wParam, lParam, data);
    case WM_GETDLGCODE:
        // The focused button is the one Enter presses, as in a dialog.
        return DLGC_BUTTON | (GetFocus() == window ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_KEYDOWN:
        if (wParam == VK_SPACE || wParam == VK_RETURN) {
            SendClick(window);
            return 0;
        }
        return PassOn(window, message, wParam, lParam);
    case WM_KEYUP:
        // The class would click again on Space's release.
        return wParam == VK_SPACE ? 0 : PassOn(window, message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
        RepaintButton(window);
        return PassOn(window, message, wParam, lParam);
    case WM_MOUSEMOVE:
        return OnMouseMove(window, data, wParam, lParam);
    case WM_LBUTTONDOWN:
        return OnLeftButtonDown(window, data);
    case WM_LBUTTONUP:
        return OnLeftButtonUp(window, data);
    case WM_MOUSELEAVE:
        return OnMouseLeave(window, data);
    default:
        return PassOn(window, message, wParam, lParam);
    }
}

static HBITMAP FaceOf(const SkinButtonData *data)
{
    if (data->visual == VisualPressed)
        return data->skin->pressedFace;
    if (data->visual == VisualHot)
        return data->skin->hotFace;
    return data->skin->normalFace;
}

// The face, the icon beside the text or centred alone, then the text; the
// pressed look moves the icon (and the text beside it) one pixel right and
// down. A disabled button (the program never disables one) shows the
// normal face with grey text and no icon.
static void DrawFaceIconText(HDC dc, const SkinButtonData *data, RECT *text, const char *label,
                             int enabled, LRESULT cues)
{
    RECT whole = *text;
    int width = text->right - text->left;
    int height = text->bottom - text->top;
    StretchBitmap(dc, enabled ? FaceOf(data) : data->skin->normalFace, text->left, text->top,
                  width, height, SRCCOPY);
    if (data->icon && enabled) {
        int dpi = data->skin->dpi ? data->skin->dpi : 96;
        int icon = ScaledAt(20, dpi);
        int pressed = data->visual == VisualPressed;
        int shift = pressed ? ScaledAt(1, dpi) : 0;
        int y = (height - icon) / 2 + shift;
        int x;
        if (label[0]) {
            x = ScaledAt(8, dpi) + shift;
            text->left += ScaledAt(18, dpi) + shift;
            text->top += shift;
            text->right += shift;
            text->bottom += shift;
        } else {
            x = (width - icon) / 2 + shift;
        }
        DrawIconEx(dc, x, y, data->icon, icon, icon, 0, NULL, DI_NORMAL);
    }
    SetTextColor(dc, enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ previousFont = SelectObject(dc, data->skin->font);
    // The access key is underlined unless Windows hides keyboard cues until
    // the user presses Alt.
    DrawTextA(dc, label, (int)strlen(label), text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP
                  | ((cues & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0));
    SelectObject(dc, previousFont);
    if (data->focused && !(cues & UISF_HIDEFOCUS)) {
        int inset = ScaledAt(3, data->skin->dpi ? data->skin->dpi : 96);
        InflateRect(&whole, -inset, -inset);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawFocusRect(dc, &whole);
    }
}

int PaintSkinButton(HWND window, SkinButtonData *data)
{
    RECT client;
    char label[50];
    GetClientRect(window, &client);
    GetWindowTextA(window, label, sizeof label);
    if (GetWindowLongPtrA(window, GWL_STYLE) & BS_ICON)
        label[0] = '\0';
    data->focused = GetFocus() == window;
    LRESULT cues = SendMessageA(window, WM_QUERYUISTATE, 0, 0);
    int width = client.right - client.left;
    int height = client.bottom - client.top;

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP buffer = CreateCompatibleBitmap(dc, width, height);
    if (memory && buffer) {
        HGDIOBJ previous = SelectObject(memory, buffer);
        DrawFaceIconText(memory, data, &client, label, IsWindowEnabled(window), cues);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
    }
    EndPaint(window, &paint);
    if (memory)
        DeleteDC(memory);
    if (buffer)
        DeleteObject(buffer);
    return 0;
}
