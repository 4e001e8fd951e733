// entry.cpp - the Windows entry point; everything else is in app.cpp.
#include "ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
    return RunOrvane(instance);
}
