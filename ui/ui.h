// ui.h - the user interface's internal header, one section per file.
//
// app.cpp starts the process, owns the shared drawing resources and the
// message loop; shared.cpp holds small helpers every window uses;
// skin_button.cpp turns push buttons into skinned image buttons;
// main_window.cpp and editor_window.cpp are the two windows.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <stdint.h>

#include "../resources/resource.h"

// ---- app.cpp ------------------------------------------------------------

#define MAIN_CLASS_NAME "OrvaneWndClass"
#define EDITOR_CLASS_NAME "OrvaneAddEditWndClass"
#define MAIN_WINDOW_TITLE "Orvane Tool"

// The face bitmaps, brush and font every skinned button draws with.
struct ButtonSkin {
    HBITMAP normalFace;
    HBITMAP hotFace;
    HBITMAP pressedFace;
    HBRUSH background;
    HFONT font;
};

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HFONT UiFont;
extern HBITMAP HeaderBitmap;
extern HBITMAP FooterBitmap;
extern HIMAGELIST SmallIconList;
extern ButtonSkin SharedButtonSkin;

int CreateSharedResources(void);
int FreeSharedResources(void);
int RegisterMainClass(void);
int RegisterEditorClass(void);
int CreateMainWindow(void);

// The whole life of the process, from the single-instance check to the
// shutdown; returns the exit code (0 normal end, 1 a class could not be
// registered, 2 no main window, 3 another instance runs).
int RunOrvane(HINSTANCE instance);

// ---- shared.cpp ---------------------------------------------------------

// Shows the system's text for the last error ("Error", information icon).
void ShowLastError(HWND owner);

// Centres the window on the screen, 5 pixels below the exact centre.
int CenterWindow(HWND window);

// Draws the whole bitmap stretched into the rectangle.
void StretchBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, DWORD rop);

// A window procedure as the LONG_PTR that SetWindowLongPtrA takes; the
// parameter type makes the compiler check the procedure's signature.
LONG_PTR WindowProcAsLong(WNDPROC procedure);
WNDPROC WindowProcFromLong(LONG_PTR value);

// ---- skin_button.cpp ----------------------------------------------------

enum ButtonVisual { VisualNormal = 0, VisualHot = 2, VisualPressed = 4 };

// Notification code of the command a skinned button sends.
#define SKIN_BUTTON_CLICKED 5

struct SkinButtonData {
    ButtonSkin *skin;
    int32_t visual;   // ButtonVisual
    HICON icon;       // not owned
};

extern WNDPROC ButtonClassProc;

int AttachSkin(HWND button, ButtonSkin *skin, HICON icon);
LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RepaintButton(HWND window);
int PaintSkinButton(HWND window, SkinButtonData *data);

// ---- main_window.cpp ----------------------------------------------------

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int CreateMainControls(HWND window);

// ---- editor_window.cpp --------------------------------------------------

LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
