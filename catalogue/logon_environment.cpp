// logon_environment.cpp - variables as the next logon expands them.
//
// Windows builds each user's environment at logon from the system
// variables (HKLM\System\CurrentControlSet\Control\Session Manager\Environment)
// and then the user's own (HKCU\Environment): a user variable
// overrides a system one, windir included, and the user's Path is appended
// to the system's. This process's environment is neither: it was built at
// an earlier logon, or for another user when elevated, so a variable the
// user set since (%windir% pointed at a folder of their own, so that
// "%windir%\System32\ctfmon.exe" starts their copy) would be missed.
// Variables neither place defines (SystemRoot, USERPROFILE, ProgramFiles)
// come from this process, as the 64-bit logon sees them.
#include "catalogue.h"

#include <string.h>

#define SYSTEM_ENVIRONMENT_KEY "System\\CurrentControlSet\\Control\\Session Manager\\Environment"
#define USER_ENVIRONMENT_KEY "Environment"

// Where a lookup may look: the user's variables over the system's over
// this process's, or from a level down (a variable's own value is expanded
// with what was defined before it, so no definition reaches itself).
enum { LevelProcess = 0, LevelSystem = 1, LevelUser = 2 };

static void Expand(const char *source, int level, char *dest, int machine = 0);

// A text variable of the key, as stored (REG_SZ or REG_EXPAND_SZ).
static int StoredVariable(PlatHive hive, const char *path, const char *name, char *value)
{
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(hive, path, name, 0, &type, &data, &size))
        return 0;
    int text = type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ;
    if (text)
        TextFormat(value, TEXT_FIELD_SIZE, "%.*s", (int)TextLengthIn((const char *)data, size),
                   (const char *)data);
    PlatFree(data);
    return text;
}

// Variables of this process that are the machine's, whoever runs it: the
// SCM's own environment has these, never a user's profile or own variables.
static int MachineVariable(const char *name)
{
    static const char *const kMachine[] = {
        "SystemRoot", "windir", "SystemDrive", "ProgramFiles", "ProgramFiles(x86)",
        "ProgramW6432", "CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432",
        "ProgramData", "ALLUSERSPROFILE", "PUBLIC", "COMPUTERNAME"};
    for (const char *machine : kMachine)
        if (TextCompareNoCase(name, machine) == 0)
            return 1;
    return 0;
}

// This process's value, with the 64-bit logon's names for the program
// folders (a 32-bit process is given the x86 ones); with machine, only a
// variable that is the machine's.
static int ProcessVariable(const char *name, char *value, int machine)
{
    // The Windows folder is asked of the system; any other is this
    // process's, unless the user's own value overrides it here too.
    char own[TEXT_FIELD_SIZE];
    if (machine && (TextCompareNoCase(name, "SystemRoot") == 0 || TextCompareNoCase(name, "windir") == 0))
        return PlatShellFolder(PLAT_CSIDL_WINDOWS, value) && value[0];
    if (machine && (!MachineVariable(name) || UserSetsVariable(name, own)))
        return 0;
    static const char *const kLogonNames[][2] = {
        {"ProgramFiles", "%ProgramW6432%"}, {"CommonProgramFiles", "%CommonProgramW6432%"}};
    char reference[TEXT_FIELD_SIZE];
    for (const auto &names : kLogonNames) {
        if (TextCompareNoCase(name, names[0]) != 0)
            continue;
        uint32_t needed = PlatExpandEnvironment(names[1], value, TEXT_FIELD_SIZE);
        if (needed > 0 && strcmp(value, names[1]) != 0)
            return 1;
    }
    if (!TextFormat(reference, sizeof reference, "%%%s%%", name))
        return 0;
    uint32_t needed = PlatExpandEnvironment(reference, value, TEXT_FIELD_SIZE);
    // A value longer than the field is cut, as the command's field cuts it.
    return needed > 0 && strcmp(value, reference) != 0;
}

int UserSetsVariable(const char *name, char *value)
{
    return StoredVariable(PLAT_HKCU, USER_ENVIRONMENT_KEY, name, value);
}

// The variable's value at the level; zero when it is defined nowhere.
static int Lookup(const char *name, int level, char *value, int machine)
{
    char stored[TEXT_FIELD_SIZE];
    if (level >= LevelUser && UserSetsVariable(name, stored)) {
        char own[TEXT_FIELD_SIZE], system[TEXT_FIELD_SIZE];
        Expand(stored, LevelSystem, own);
        // The user's Path goes after the system's, not in its place.
        if (TextCompareNoCase(name, "Path") == 0 && Lookup(name, LevelSystem, system, 0))
            return TextFormat(value, TEXT_FIELD_SIZE, "%s;%s", system, own), 1;
        return TextCopy(value, TEXT_FIELD_SIZE, own), 1;
    }
    if (level >= LevelSystem
        && StoredVariable(PLAT_HKLM, SYSTEM_ENVIRONMENT_KEY, name, stored)) {
        Expand(stored, LevelProcess, value, machine);
        return 1;
    }
    return ProcessVariable(name, value, machine);
}

// Each %NAME% replaced by its value at the level; an unknown name stays as
// written, and its closing % may open the next, as Windows expands.
static void Expand(const char *source, int level, char *dest, int machine)
{
    char out[TEXT_FIELD_SIZE] = "";
    for (const char *p = source; *p;) {
        const char *close = *p == '%' ? strchr(p + 1, '%') : NULL;
        char name[TEXT_FIELD_SIZE], value[TEXT_FIELD_SIZE];
        if (close && close > p + 1 && (size_t)(close - p) < sizeof name) {
            TextFormat(name, sizeof name, "%.*s", (int)(close - p - 1), p + 1);
            if (Lookup(name, level, value, machine)) {
                TextAppend(out, sizeof out, value);
                p = close + 1;
                continue;
            }
            TextFormat(value, sizeof value, "%.*s", (int)(close - p), p);
            TextAppend(out, sizeof out, value);
            p = close;
            continue;
        }
        char one[2] = {*p++, '\0'};
        TextAppend(out, sizeof out, one);
    }
    TextCopy(dest, TEXT_FIELD_SIZE, out);
}

void ExpandAsLogon(const char *source, char *dest)
{
    Expand(source, LevelUser, dest);
}

// The SCM and the service processes it starts run in the system's own
// environment: no user's variables reach what they expand, nor this
// process's own (its profile, its temp folder); an unknown one stays as
// written, as the SCM leaves it.
void ExpandAsSystem(const char *source, char *dest)
{
    Expand(source, LevelSystem, dest, 1);
}

// The next %NAME% of text at or after *at: nonzero with its name, *at at
// its closing %. As in Expand, a closing % opens the next reference unless
// the name was defined: the caller steps past it then.
static int NextReference(const char *text, size_t *at, char *name, size_t size)
{
    for (const char *p = strchr(text + *at, '%'); p; p = strchr(p + 1, '%')) {
        const char *close = strchr(p + 1, '%');
        if (!close)
            return 0;
        if (close > p + 1 && (size_t)(close - p) < size) {
            TextFormat(name, size, "%.*s", (int)(close - p - 1), p + 1);
            *at = (size_t)(close - text);
            return 1;
        }
    }
    return 0;
}

void LogonOverrideNote(const char *command, char *note, size_t size)
{
    note[0] = '\0';
    char name[TEXT_FIELD_SIZE], stored[TEXT_FIELD_SIZE], value[TEXT_FIELD_SIZE];
    for (size_t at = 0; NextReference(command, &at, name, sizeof name);) {
        if (!Lookup(name, LevelUser, value, 0))
            continue;
        ++at;
        if (!UserSetsVariable(name, stored))
            continue;
        char line[2 * TEXT_FIELD_SIZE + 48];
        TextFormat(line, sizeof line, "%%%s%% is set by this user to %s", name, value);
        if (!strstr(note, line)) {
            TextAppend(note, size, note[0] ? "; " : "");
            TextAppend(note, size, line);
        }
    }
}

int ReferencesOnlySystemFolders(const char *command)
{
    // The folders Windows sets for every user alike; the user may still
    // set any of them for themselves.
    static const char *const kSystem[] = {"SystemRoot",         "windir",
                                          "SystemDrive",        "ProgramFiles",
                                          "ProgramFiles(x86)",  "ProgramW6432",
                                          "CommonProgramFiles", "CommonProgramFiles(x86)",
                                          "CommonProgramW6432", "ProgramData"};
    char name[TEXT_FIELD_SIZE], stored[TEXT_FIELD_SIZE], value[TEXT_FIELD_SIZE];
    for (size_t at = 0; NextReference(command, &at, name, sizeof name);) {
        // A name defined nowhere yet is the user's to define.
        if (!Lookup(name, LevelUser, value, 0))
            return 0;
        ++at;
        int system = 0;
        for (const char *known : kSystem)
            system |= TextCompareNoCase(name, known) == 0;
        if (!system || UserSetsVariable(name, stored))
            return 0;
    }
    return 1;
}
