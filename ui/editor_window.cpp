// editor_window.cpp - the Add/Edit window. Its controls and commands come
// with the editor itself; until then the class draws an empty window.
#include "ui.h"

LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
