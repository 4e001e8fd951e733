// main.cpp - orvanec.exe's entry. The C runtime hands main the command
// line through the process code page, UTF-8 under the manifest, the same
// code page every "A" call of the core uses.
#include "cli.h"

#include <objbase.h>
#include <windows.h>

int main(int argc, char **argv)
{
    // A missing disk or a file that cannot be opened is a failure to
    // report, never a system box that stops a script until someone answers.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Shortcuts are resolved through COM, as in the window.
    HRESULT com = CoInitialize(NULL);
    int result = CliRun(argc, argv);
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
