// status_bar.cpp - the status bar's one line. The bar control draws its
// text uncut and in the system code page: a sentence longer than the bar
// simply stops at its edge, with nothing to say more was there. Here the
// bar draws its own text, through the wide call, ending a cut one in
// "...", and its tooltip gives the whole sentence; the window text stays
// whole for screen readers.
#include "ui.h"

#include <string.h>

static WNDPROC StatusClassProc = NULL;
static HWND StatusTips = NULL;

static void PaintStatus(HWND bar)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(bar, &paint);
    RECT client;
    GetClientRect(bar, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    int length = GetWindowTextLengthW(bar);
    wchar_t *text = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, ((size_t)length + 1) * sizeof(wchar_t));
    if (text) {
        length = GetWindowTextW(bar, text, length + 1);
        HGDIOBJ font = SelectObject(dc, (HGDIOBJ)SendMessageA(bar, WM_GETFONT, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        RECT line = client;
        line.left += Scaled(4);
        line.right -= Scaled(4);
        DrawTextW(dc, text, length, &line,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, font);
        HeapFree(GetProcessHeap(), 0, text);
    }
    EndPaint(bar, &paint);
}

static LRESULT CALLBACK StatusProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintStatus(bar);
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    LRESULT result = CallWindowProcA(StatusClassProc, bar, message, wParam, lParam);
    // Every new text is the tooltip's too.
    if (message == WM_SETTEXT && StatusTips) {
        TOOLINFOA tool;
        memset(&tool, 0, sizeof tool);
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = bar;
        tool.uId = (UINT_PTR)bar;
        tool.lpszText = (char *)lParam;
        SendMessageA(StatusTips, TTM_UPDATETIPTEXTA, 0, (LPARAM)&tool);
    }
    return result;
}

void SetUpStatusBar(HWND bar)
{
    StatusClassProc = WindowProcFromLong(
        SetWindowLongPtrA(bar, GWLP_WNDPROC, WindowProcAsLong(StatusProc)));
    // TTS_NOPREFIX: an "&" in a name is shown, not taken for an access key.
    StatusTips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 GetParent(bar), NULL, AppInstance, NULL);
    if (!StatusTips)
        return;
    // Long sentences wrap in the tip instead of running off the screen.
    SendMessageA(StatusTips, TTM_SETMAXTIPWIDTH, 0, Scaled(500));
    TOOLINFOA tool;
    memset(&tool, 0, sizeof tool);
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = bar;
    tool.uId = (UINT_PTR)bar;
    tool.lpszText = (char *)MAIN_WINDOW_TITLE;
    SendMessageA(StatusTips, TTM_ADDTOOLA, 0, (LPARAM)&tool);
}
