// app.cpp - the process's entry and frame: the single-instance rule, the
// shared drawing resources, the two window classes, the main window, the
// message loop and the orderly shutdown.
#include "ui.h"

#include "../catalogue/catalogue.h"
#include "help.h"
#include "../store/store.h"

#include <objbase.h>
#include <string.h>

HINSTANCE AppInstance = NULL;
HWND MainWindow = NULL;
HFONT UiFont = NULL;
HBITMAP HeaderBitmap = NULL;
HBITMAP FooterBitmap = NULL;
HIMAGELIST SmallIconList = NULL;
ButtonSkin SharedButtonSkin;

int CreateSharedResources(void)
{
    InitCommonControls();
    // The font, bands and faces at the desktop's DPI; the main window
    // remakes them at its own once it exists.
    SharedButtonSkin.background = (HBRUSH)GetStockObject(WHITE_BRUSH);
    UseDpi(WindowDpi(NULL));
    if (!UiFont)
        ShowLastError(NULL);
    MainKeys = LoadAcceleratorsA(AppInstance, MAKEINTRESOURCEA(IDR_MAIN_KEYS));
    // The system's small icon list, as Explorer shows files: rows refer to
    // its icons by index, nothing is copied per row, and it is never ours to
    // destroy (the list view shares it: LVS_SHAREIMAGELISTS).
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    SmallIconList = (HIMAGELIST)SHGetFileInfoA(".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                               SHGFI_SYSICONINDEX | SHGFI_SMALLICON
                                                   | SHGFI_USEFILEATTRIBUTES);
    return 0;
}

// The three button faces and the stock brush last until the process ends.
int FreeSharedResources(void)
{
    if (UiFont)
        DeleteObject(UiFont);
    if (HeaderBitmap)
        DeleteObject(HeaderBitmap);
    if (FooterBitmap)
        DeleteObject(FooterBitmap);
    UiFont = NULL;
    HeaderBitmap = FooterBitmap = NULL;
    SmallIconList = NULL;
    return 0;
}

static int RegisterWindowClass(const char *name, WNDPROC procedure)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = AppInstance;
    windowClass.hIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass) ? 0 : 1;
}

int RegisterMainClass(void)
{
    return RegisterWindowClass(MAIN_CLASS_NAME, MainWndProc);
}

int RegisterEditorClass(void)
{
    return RegisterWindowClass(EDITOR_CLASS_NAME, EditorWndProc);
}

int RegisterHistoryClass(void)
{
    return RegisterWindowClass(HISTORY_CLASS_NAME, HistoryWndProc);
}

// A 600 x 450 client area (at 96 DPI) under a caption with the system menu
// (Minimise, Maximise, Close) and a size border; the main window lays
// itself out at its monitor's DPI.
// The scan's errors, in boxes the main window owns.
static const FrontEnd WindowFront = {NULL, NULL, ShowCatalogueError, NULL, FRONT_WINDOW};

int CreateMainWindow(void)
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX
                        | WS_THICKFRAME;
    const DWORD extended = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    RECT outer = {0, 0, Scaled(600), Scaled(450)};
    AdjustRectForDpi(&outer, style, extended, UiDpi);
    MainWindow = CreateWindowExA(extended, MAIN_CLASS_NAME, MAIN_WINDOW_TITLE, style, 0, 0,
                                 outer.right - outer.left, outer.bottom - outer.top, NULL, NULL,
                                 AppInstance, NULL);
    if (!MainWindow)
        return 1;
    UseFrontEnd(&WindowFront);
    UpdateWindow(MainWindow);
    ShowWindow(MainWindow, SW_SHOWNORMAL);
    SetForegroundWindow(MainWindow);
    SetActiveWindow(MainWindow);
    return 0;
}

static int Fail(const char *sentence, int exitCode)
{
    ShowLastError(NULL);
    MessageBoxA(NULL, sentence, "Error", MB_ICONERROR);
    return exitCode;
}

HACCEL MainKeys = NULL;

int TranslateDialogKeys(MSG *message)
{
    // The Add/Edit window works as a dialog: Tab and Shift+Tab move between
    // its fields, Enter is Ok (IDOK), Escape Cancel (IDCANCEL).
    if (EditorWindow && IsDialogMessageA(EditorWindow, message))
        return 1;
    // The History window alike: Escape closes it, Enter does nothing.
    if (HistoryWindow && IsDialogMessageA(HistoryWindow, message))
        return 1;
    // The main window too, while it is usable: F1, F5, Ctrl+S anywhere in
    // it, Tab between its controls, Alt and a button's underlined letter.
    if (!MainWindow || !IsWindowEnabled(MainWindow)
        || (message->hwnd != MainWindow && !IsChild(MainWindow, message->hwnd)))
        return 0;
    if (MainKeys && TranslateAcceleratorA(MainWindow, MainKeys, message))
        return 1;
    // A multi-line field inside a dialog closes it on Escape: not the program.
    if (message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE
        && message->hwnd == GetDlgItem(MainWindow, IDC_COMMAND))
        return 1;
    return IsDialogMessageA(MainWindow, message);
}

static void RunMessageLoop(void)
{
    MSG message;
    for (;;) {
        BOOL result = GetMessageA(&message, NULL, 0, 0);
        if (result == 0)
            break;
        if (result == -1)
            continue;
        if (TranslateDialogKeys(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int RunOrvane(HINSTANCE instance)
{
    AppInstance = instance;
    HWND running = FindWindowA(MAIN_CLASS_NAME, NULL);
    if (running) {
        ShowWindow(running, SW_SHOW);
        SetForegroundWindow(running);
        SetActiveWindow(running);
        return 3;
    }
    // COM stays initialised for the life of the process: shortcuts are
    // resolved through it on every refresh.
    CoInitialize(NULL);
    CreateSharedResources();
    if (RegisterMainClass() != 0)
        return Fail("Cannot register the Main Window Class.", 1);
    if (RegisterEditorClass() != 0)
        return Fail("Cannot register the Add/Edit Window Class.", 1);
    if (CreateMainWindow() != 0)
        return Fail("Cannot create the Main Window.", 2);
    if (CreateMainControls(MainWindow) != 0)
        Fail("Cannot create the Main Window controls.", 0);

    RunMessageLoop();

    FreeSharedResources();
    FreeButtonIcons();
    UnregisterClassA(MAIN_CLASS_NAME, AppInstance);
    UnregisterClassA(HISTORY_CLASS_NAME, AppInstance);
    DeleteHelpFile();
    return 0;
}
