// command.cpp - splitting a stored command into program and parameters, and
// the folder of a program.
#include "catalogue.h"

#include <string.h>

// Nonzero when the last path component has no "." in it.
static int HasNoExtension(const char *path)
{
    const char *last = strrchr(path, '\\');
    return strchr(last ? last + 1 : path, '.') == NULL;
}

// The file Windows would start for one candidate of an unquoted command:
// the expanded text itself, or with ".exe" added when it has no extension; a
// bare name is looked up as Windows looks it up. Nonzero with its path.
static int ProgramOfCandidate(const char *candidate, char *program)
{
    char expanded[TEXT_FIELD_SIZE];
    char native[TEXT_FIELD_SIZE];
    ExpandAsLogon(candidate, expanded);
    if (!expanded[0])
        return 0;
    if (!strchr(expanded, '\\') && !strchr(expanded, ':'))
        return PlatSearchProgram(expanded, program);
    NativeFilePath(expanded, native);
    if (PlatFileExists(native))
        return TextCopy(program, TEXT_FIELD_SIZE, expanded);
    char withExe[TEXT_FIELD_SIZE];
    if (!HasNoExtension(expanded) || !TextFormat(withExe, sizeof withExe, "%s.exe", expanded))
        return 0;
    NativeFilePath(withExe, native);
    return PlatFileExists(native) && TextCopy(program, TEXT_FIELD_SIZE, withExe);
}

// An unquoted command names its program as CreateProcess finds it: the
// shortest blank-delimited prefix of source that names an existing file
// ("C:\Program Files\App\app.exe --x", or C:\Program.exe when that file
// exists). Nonzero with the program in item->target and *rest at the text
// after the prefix; zero when no prefix names a file.
static int FindProgramPrefix(AutostartItem *item, const char *command, const char *source,
                             const char **rest)
{
    char candidate[TEXT_FIELD_SIZE];
    size_t length = strlen(source);
    for (size_t end = 1; end <= length; ++end) {
        if (end < length && source[end] != ' ')
            continue;
        if (source[end - 1] == ' ')
            continue;
        memcpy(candidate, source, end);
        candidate[end] = '\0';
        if (ProgramOfCandidate(candidate, item->target)) {
            *rest = command + end;
            return 1;
        }
    }
    item->target[0] = '\0';
    return 0;
}

// The target is the first quoted stretch when the command has one, wherever
// it stands (rundll32.exe "C:\x.dll",Start names the DLL). Otherwise it is
// the text before the first "/" after position 0, without the blanks before
// that "/" ("agent.exe /s", "agent.exe/s"); with no such "/" the whole
// command. The parameters are the command's own text after the target's
// source (after the closing quote, or from the "/"), one separating blank
// skipped, so expanding %windir% in the target never shifts them. Within
// the unquoted target, the program Windows would really start wins when a
// blank-delimited prefix names an existing file (FindProgramPrefix).
void ParseCommand(AutostartItem *item)
{
    char copy[TEXT_FIELD_SIZE];
    char source[TEXT_FIELD_SIZE];
    const char *rest;

    TextCopy(copy, sizeof copy, item->command);
    const char *open = strchr(copy, '"');
    const char *close = open ? strchr(open + 1, '"') : NULL;
    if (close) {
        size_t length = (size_t)(close - open - 1);
        memcpy(source, open + 1, length);
        source[length] = '\0';
        rest = close + 1;
    } else {
        const char *slash = copy[0] ? strchr(copy + 1, '/') : NULL;
        if (slash) {
            const char *end = slash;
            while (end > copy && end[-1] == ' ')
                --end;
            size_t length = (size_t)(end - copy);
            memcpy(source, copy, length);
            source[length] = '\0';
            rest = slash;
        } else {
            TextCopy(source, sizeof source, copy);
            rest = copy + strlen(copy);
        }
    }
    // An expansion longer than the field is cut at 259 characters.
    if (close || !FindProgramPrefix(item, copy, source, &rest))
        ExpandAsLogon(source, item->target);
    if (*rest == ' ')
        ++rest;
    TextCopy(item->parameters, TEXT_FIELD_SIZE, rest);
}

void TargetFolderOf(const char *target, char *targetFolder)
{
    TextCopy(targetFolder, TEXT_FIELD_SIZE, target);
    char *last = strrchr(targetFolder, '\\');
    if (last)
        *last = '\0';
}
