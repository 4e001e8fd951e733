// command.cpp - splitting a stored command into program and parameters, and
// the folder of a program.
#include "catalogue.h"

#include <string.h>

// Who starts the command decides how it is read: the logon expands it with
// the user's variables and finds a bare name through App Paths as the shell
// does; the SCM expands a service's with the system's own and starts it
// with CreateProcess, which knows no App Paths.
struct CommandRules {
    void (*expand)(const char *source, char *dest);
    int appPaths;
};
static const CommandRules LogonRules = {ExpandAsLogon, 1};
static const CommandRules ServiceRules = {ExpandAsSystem, 0};

// Nonzero when the last path component has no "." in it.
static int HasNoExtension(const char *path)
{
    const char *last = strrchr(path, '\\');
    return strchr(last ? last + 1 : path, '.') == NULL;
}

int PathIsFull(const char *path)
{
    int slash = path[0] == '\\' || path[0] == '/';
    if (slash)
        return path[1] == '\\' || path[1] == '/';
    int letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

#define APP_PATHS_KEY CURRENT_VERSION_KEY "\\App Paths\\"

// The program a bare name is registered under in App Paths (the user's
// registration first, then the machine's), as the shell finds it: the key's
// default value, expanded, naming an existing file.
static int AppPathOf(const char *name, char *program)
{
    char path[TEXT_FIELD_SIZE];
    if (!TextFormat(path, sizeof path, "%s%s%s", APP_PATHS_KEY, name,
                    HasNoExtension(name) ? ".exe" : ""))
        return 0;
    const PlatHive hives[2] = {PLAT_HKCU, PLAT_HKLM};
    for (PlatHive hive : hives) {
        PlatKey key = NULL;
        if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
            continue;
        char value[TEXT_FIELD_SIZE];
        uint32_t type = PLAT_REG_NONE;
        uint32_t size = sizeof value - 1;
        long result = PlatRegQueryValue(key, "", &type, value, &size);
        PlatRegClose(key);
        if (result != PLAT_OK || (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ))
            continue;
        value[size < sizeof value ? size : sizeof value - 1] = '\0';
        // The registration may quote its path.
        char *start = value[0] == '"' ? value + 1 : value;
        char *quote = strchr(start, '"');
        if (quote)
            *quote = '\0';
        char expanded[TEXT_FIELD_SIZE], native[TEXT_FIELD_SIZE];
        ExpandAsLogon(start, expanded);
        NativeFilePath(expanded, native);
        if (PathIsFull(native) && !PlatIsNetworkPath(native) && PlatFileExists(native))
            return TextCopy(program, TEXT_FIELD_SIZE, expanded);
    }
    return 0;
}

// The file Windows would start for one candidate of an unquoted command,
// already expanded: the text itself, or with ".exe" added when it has no
// extension; a bare name is looked up as the logon and the shell look it
// up. Nonzero with its path.
static int ProgramOfCandidate(const char *expanded, char *program, const CommandRules *rules)
{
    char native[TEXT_FIELD_SIZE];
    if (!expanded[0])
        return 0;
    if (!strchr(expanded, '\\') && !strchr(expanded, ':'))
        return PlatSearchProgram(expanded, program)
               || (rules->appPaths && AppPathOf(expanded, program));
    // A relative name would be found beside this program or in its current
    // folder, where the logon never looks.
    if (!PathIsFull(expanded))
        return 0;
    NativeFilePath(expanded, native);
    // A network path is never checked: the server may be out of reach.
    if (PlatIsNetworkPath(native))
        return 0;
    if (PlatFileExists(native))
        return TextCopy(program, TEXT_FIELD_SIZE, expanded);
    char withExe[TEXT_FIELD_SIZE];
    if (!HasNoExtension(expanded) || !TextFormat(withExe, sizeof withExe, "%s.exe", expanded))
        return 0;
    NativeFilePath(withExe, native);
    return PlatFileExists(native) && TextCopy(program, TEXT_FIELD_SIZE, withExe);
}

// source expanded as the logon expands it, each %NAME% on its own, with
// where each character came from: its index in source, or -1 inside a
// variable's value. Cut at the field. Returns the expanded length.
static size_t ExpandMapped(const char *source, char *expanded, int *from,
                           const CommandRules *rules)
{
    size_t out = 0;
    for (size_t at = 0; source[at] && out < TEXT_FIELD_SIZE - 1;) {
        const char *close = source[at] == '%' ? strchr(source + at + 1, '%') : NULL;
        char token[TEXT_FIELD_SIZE], value[TEXT_FIELD_SIZE];
        size_t length = close ? (size_t)(close - (source + at)) + 1 : 0;
        if (length > 2 && length < sizeof token) {
            memcpy(token, source + at, length);
            token[length] = '\0';
            rules->expand(token, value);
            if (strcmp(value, token) != 0) {
                for (size_t k = 0; value[k] && out < TEXT_FIELD_SIZE - 1; ++k) {
                    from[out] = -1;
                    expanded[out++] = value[k];
                }
                at += length;
                continue;
            }
        }
        // A character as written, an unknown name's % among them.
        from[out] = (int)at;
        expanded[out++] = source[at++];
    }
    expanded[out] = '\0';
    return out;
}

// An unquoted command names its program as CreateProcess finds it, after
// the logon has expanded it: the shortest blank-delimited prefix of the
// expanded text that names an existing file ("C:\Program Files\App\app.exe
// --x", or C:\Program.exe when that file exists; a blank of
// %ProgramFiles% or of a profile folder counts too). Nonzero with the
// program in item->target and the parameters in rest: the stored text
// after the prefix, or, when the prefix ends inside a variable's value, the
// rest of that value and the stored text after it. Zero when no prefix
// names a file.
static int FindProgramPrefix(AutostartItem *item, const char *command, const char *source,
                             char *rest, const CommandRules *rules)
{
    char expanded[TEXT_FIELD_SIZE];
    int from[TEXT_FIELD_SIZE];
    char candidate[TEXT_FIELD_SIZE];
    size_t length = ExpandMapped(source, expanded, from, rules);
    size_t sourceLength = strlen(source);
    for (size_t end = 1; end <= length; ++end) {
        if (end < length && expanded[end] != ' ')
            continue;
        if (expanded[end - 1] == ' ')
            continue;
        memcpy(candidate, expanded, end);
        candidate[end] = '\0';
        if (!ProgramOfCandidate(candidate, item->target, rules))
            continue;
        if (end == length || from[end] >= 0) {
            TextCopy(rest, COMMAND_FIELD_SIZE,
                     command + (end == length ? sourceLength : from[end]));
        } else {
            // The rest of the variable's value, then the stored text after it.
            size_t next = end;
            while (next < length && from[next] < 0)
                ++next;
            memcpy(rest, expanded + end, next - end);
            rest[next - end] = '\0';
            TextAppend(rest, COMMAND_FIELD_SIZE,
                       command + (next < length ? from[next] : sourceLength));
        }
        return 1;
    }
    item->target[0] = '\0';
    return 0;
}

// The target is the quoted stretch that opens the command; a bare name
// there is looked up as the logon looks it up. A quoted stretch further on
// is the target only when it is a full path (rundll32.exe "C:\x.dll",Start
// names the DLL, wscript.exe "C:\a.vbs" the script); any other
// (Update.exe --processStart "Teams.exe", powershell.exe "exit") is an
// argument, and the command is read as an unquoted one. Unquoted, the
// target is the text before the first "/" after position 0 (and before such
// an argument's quote), without the blanks before that "/" ("agent.exe /s",
// "agent.exe/s"); with no such "/" the whole command. The parameters are
// the command's own text after the target's source (after the closing
// quote, or from the "/"), one separating blank skipped, so expanding
// %windir% in the target never shifts them. Within the unquoted target, the
// program Windows would really start wins when a blank-delimited prefix of
// its expansion names an existing file (FindProgramPrefix).
static void ParseWith(AutostartItem *item, const CommandRules *rules)
{
    // The whole command and its parts; only the program is cut at its field.
    char copy[COMMAND_FIELD_SIZE];
    char source[COMMAND_FIELD_SIZE];
    char rest[COMMAND_FIELD_SIZE];

    TextCopy(copy, sizeof copy, item->command);
    const char *open = strchr(copy, '"');
    const char *close = open ? strchr(open + 1, '"') : NULL;
    int quoted = 0;
    if (close) {
        size_t length = (size_t)(close - open - 1);
        memcpy(source, open + 1, length);
        source[length] = '\0';
        char expanded[TEXT_FIELD_SIZE];
        rules->expand(source, expanded);
        quoted = open == copy + strspn(copy, " ") ? 1 : PathIsFull(expanded) ? 2 : 0;
        if (quoted)
            TextCopy(rest, sizeof rest, close + 1);
    }
    if (!quoted) {
        // A path on the network begins with two slashes, and its own slashes
        // name the server and share: a switch can only follow a blank.
        const char *from = copy[0] ? copy + 1 : NULL;
        if ((copy[0] == '/' || copy[0] == '\\') && (copy[1] == '/' || copy[1] == '\\'))
            from = strchr(copy, ' ');
        const char *slash = from ? strchr(from, '/') : NULL;
        if (slash && close && slash > open)
            slash = NULL; // inside an argument's quotes
        if (slash) {
            const char *end = slash;
            while (end > copy && end[-1] == ' ')
                --end;
            size_t length = (size_t)(end - copy);
            memcpy(source, copy, length);
            source[length] = '\0';
            TextCopy(rest, sizeof rest, slash);
        } else {
            TextCopy(source, sizeof source, copy);
            rest[0] = '\0';
        }
    }
    // An expansion longer than the field is cut at 259 characters.
    if (quoted || !FindProgramPrefix(item, copy, source, rest, rules)) {
        rules->expand(source, item->target);
        char found[TEXT_FIELD_SIZE];
        if (quoted == 1 && !strchr(item->target, '\\') && !strchr(item->target, ':')
            && ProgramOfCandidate(item->target, found, rules))
            TextCopy(item->target, TEXT_FIELD_SIZE, found);
    }
    TextCopy(item->parameters, COMMAND_FIELD_SIZE, rest[0] == ' ' ? rest + 1 : rest);
}

void ParseCommand(AutostartItem *item)
{
    ParseWith(item, &LogonRules);
}

void ParseServiceCommand(AutostartItem *item)
{
    ParseWith(item, &ServiceRules);
}

void TargetFolderOf(const char *target, char *targetFolder)
{
    TextCopy(targetFolder, TEXT_FIELD_SIZE, target);
    char *last = strrchr(targetFolder, '\\');
    if (last)
        *last = '\0';
}
