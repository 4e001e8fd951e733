// command.cpp - splitting a stored command into program and parameters, and
// the folder of a program.
#include "catalogue.h"

#include <string.h>

// The target is the first quoted stretch when the command has one, wherever
// it stands (rundll32.exe "C:\x.dll",Start names the DLL). Otherwise it is
// the text before the first "/" after position 0, without the blanks before
// that "/" ("agent.exe /s", "agent.exe/s"); with no such "/" the whole
// command. The parameters are the command's own text after the target's
// source (after the closing quote, or from the "/"), one separating blank
// skipped, so expanding %windir% in the target never shifts them.
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
    PlatExpandEnvironment(source, item->target, TEXT_FIELD_SIZE);
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
