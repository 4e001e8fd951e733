// start_program.cpp - Run: starting an entry's program with the rights the
// logon would give it.
//
// The program asks for the highest available rights, so an administrator
// runs it elevated; an entry's program started from here would inherit
// those rights, though any program of the user may have written the entry.
// Elevated, the program is handed to the desktop shell, which starts it with
// the user's ordinary rights; only when that is impossible is the user asked
// whether to start it with administrator rights.
#include "store.h"

int StartItemProgram(const AutostartItem *item, const FrontEnd *front)
{
    // Windows' own logon programs (userinit.exe) would start a second logon;
    // a row of the other places is a DLL, a program run before Windows
    // starts, or one that waits for another program's command line.
    if (item->windowsOwn || ItemIsOtherPlace(item))
        return StartFailed;
    char program[TEXT_FIELD_SIZE];
    NativeFilePath(item->target, program);
    // The desktop shell answers before anything starts, and a relative name
    // would be looked for in this program's folders: only a file that is
    // there is handed on.
    if (!PathIsFull(program) || !PlatFileExists(program))
        return StartNotFound;
    if (!PlatIsElevated())
        return PlatStartProgram(program) ? StartedAsUser : StartFailed;
    if (PlatStartAsDesktopUser(program))
        return StartedByDesktop;
    char question[TEXT_FIELD_SIZE + 64];
    TextFormat(question, sizeof question, START_ELEVATED_QUESTION, item->name);
    if (!AskFrontEnd(front, question))
        return StartDeclined;
    return PlatStartProgram(program) ? StartedElevated : StartFailed;
}

int OpenWithUserRights(const char *verb, const char *file, const char *parameters)
{
    if (!PlatIsElevated())
        return PlatShellOpen(verb, file, parameters) ? OpenedAsUser : OpenFailed;
    // No question here, unlike Run: nothing this opens needs the rights.
    return PlatShellOpenAsDesktopUser(verb, file, parameters) ? OpenedByDesktop : OpenNoDesktop;
}
