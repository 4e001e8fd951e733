// policy_scripts.cpp - the logon and startup scripts of Group Policy.
//
// Group Policy runs a user's logon scripts and the machine's startup
// scripts itself. What its client applied is kept under
// ...\CurrentVersion\Group Policy\Scripts\Logon\<policy>\<script> (HKCU) and
// ...\Scripts\Startup\<policy>\<script> (HKLM): values Script and Parameters,
// and in the policy's key its FileSysPath, under whose Scripts\Logon or
// Scripts\Startup a script named without a folder lies, and its DisplayName.
// The local policy keeps its own in scripts.ini and psscripts.ini (the
// PowerShell ones) in the system folder's GroupPolicy\User\Scripts and
// GroupPolicy\Machine\Scripts: usually UTF-16LE with a byte-order mark,
// sections [Logon], [Logoff], [Startup], [Shutdown] of the keys "0CmdLine",
// "0Parameters", "1CmdLine", ... Only Logon (the user's) and Startup (the
// machine's) start anything at logon or boot. The policy writes all of it
// back at its next refresh, so every row is read-only; an ini file that is
// too large or cannot be read is a row that says so, never a silent gap.
#include "catalogue.h"
#include "task_xml.h"

#include <stdlib.h>
#include <string.h>

// More scripts than this in one ini file are no local policy's; the rest
// are said to be left out.
#define POLICY_INI_SCRIPTS 256

struct ScriptVisit {
    AutostartItem *records;
    int32_t *running;
    int32_t limit;
    int32_t seen;
};

static AutostartItem *NextRow(ScriptVisit *visit)
{
    visit->seen++;
    if (!visit->records || *visit->running >= visit->limit)
        return NULL;
    return &visit->records[*visit->running];
}

// A read-only row of the place; a location too long is listed cut.
static void FillPlace(AutostartItem *item, int32_t kind, int user, const char *location,
                      const char *valueName)
{
    item->kind = kind;
    item->logonPlace = LogonPolicyScript;
    item->readOnly = 1;
    item->enabled = 1;
    item->view = ViewNative;
    TextCopy(item->scope, SCOPE_SIZE, user ? SCOPE_USER : SCOPE_ALL);
    item->locationCut = !TextCopy(item->location, TEXT_FIELD_SIZE, location);
    TextCopy(item->valueName, TEXT_FIELD_SIZE, valueName);
}

// A script's row. when: "Logon" or "Startup"; scripts: the folder a script
// named without one lies under (when\script), empty when unknown.
static void FillScript(ScriptVisit *visit, AutostartItem *item, const char *when,
                       const char *script, const char *parameters, const char *scripts,
                       const char *policy)
{
    TextFormat(item->name, TEXT_FIELD_SIZE, "%s script: %s", when, script);
    char program[TEXT_FIELD_SIZE];
    if (PathIsFull(script) || !scripts[0]
        || !TextFormat(program, sizeof program, "%s\\%s\\%s", scripts, when, script))
        TextCopy(program, sizeof program, script);
    // A program with blanks is quoted, so that the command splits where it ends.
    int quote = strchr(program, ' ') && program[0] != '"';
    item->commandCut = !TextFormat(item->command, COMMAND_FIELD_SIZE, "%s%s%s%s%s",
                                   quote ? "\"" : "", program, quote ? "\"" : "",
                                   parameters[0] ? " " : "", parameters);
    TextCopy(item->placeNote, TEXT_FIELD_SIZE,
             ScopeIsUser(item->scope) ? NOTE_POLICY_LOGON_SCRIPT : NOTE_POLICY_STARTUP_SCRIPT);
    char named[TEXT_FIELD_SIZE];
    if (policy && policy[0] && TextFormat(named, sizeof named, NOTE_POLICY_NAMED, policy)) {
        TextAppend(item->placeNote, TEXT_FIELD_SIZE, "; ");
        TextAppend(item->placeNote, TEXT_FIELD_SIZE, named);
    }
    ParseCommand(item);
    ReadTargetDetails(item);
    ++*visit->running;
}

// ---- the policy client's record in the registry ----------------------------

// Group Policy writes these keys anew at every refresh: one changed while
// it was enumerated may have had a script skipped, so one more is counted
// than was read and the scan reads everything again.
static void NoteScriptsChanged(ScriptVisit *visit, PlatKey key, const PlatKeyState *before)
{
    if (KeyStateChanged(key, before))
        ++visit->seen;
}

static void VisitPolicyKey(ScriptVisit *visit, PlatHive hive, const char *policyPath,
                           const char *when)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, policyPath, &key) != PLAT_OK || !key)
        return;
    char *folder = ReadValueText(hive, policyPath, "FileSysPath");
    char *policy = ReadValueText(hive, policyPath, "DisplayName");
    char scripts[TEXT_FIELD_SIZE] = "";
    if (folder && folder[0] && !TextFormat(scripts, sizeof scripts, "%s\\Scripts", folder))
        scripts[0] = '\0';
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    char name[PLAT_KEY_NAME_SIZE], path[KEY_PATH_SIZE];
    for (uint32_t index = 0; PlatRegEnumKey(key, index, name, sizeof name) == PLAT_OK; ++index) {
        if (!TextFormat(path, sizeof path, "%s\\%s", policyPath, name))
            continue;
        char *script = ReadValueText(hive, path, "Script");
        AutostartItem *item = script ? NextRow(visit) : NULL;
        if (item) {
            char *parameters = ReadValueText(hive, path, "Parameters");
            FillPlace(item, RegistryValue, hive == PLAT_HKCU, path, "Script");
            FillScript(visit, item, when, script, parameters ? parameters : "", scripts, policy);
            PlatFree(parameters);
        }
        PlatFree(script);
    }
    PlatFree(folder);
    PlatFree(policy);
    NoteScriptsChanged(visit, key, &before);
    PlatRegClose(key);
}

static void VisitScriptKeys(ScriptVisit *visit, PlatHive hive, const char *when)
{
    char root[TEXT_FIELD_SIZE], path[KEY_PATH_SIZE];
    TextFormat(root, sizeof root, "%s\\%s", GROUP_POLICY_SCRIPTS_KEY, when);
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, root, &key) != PLAT_OK || !key)
        return;
    PlatKeyState before;
    PlatRegKeyState(key, &before);
    char policy[PLAT_KEY_NAME_SIZE];
    for (uint32_t index = 0; PlatRegEnumKey(key, index, policy, sizeof policy) == PLAT_OK; ++index)
        if (TextFormat(path, sizeof path, "%s\\%s", root, policy))
            VisitPolicyKey(visit, hive, path, when);
    NoteScriptsChanged(visit, key, &before);
    PlatRegClose(key);
}

// ---- the local policy's ini files --------------------------------------------

enum IniResult { IniAbsent = 0, IniRead = 1, IniTooLarge = 2, IniUnread = 3 };

// At most POLICY_INI_MOST bytes of the file (PlatFree them); a file that
// is not there is IniAbsent, one that cannot be read IniUnread with *error.
static int ReadIniBytes(const char *path, unsigned char **bytes, uint32_t *size, long *error)
{
    *bytes = NULL;
    *size = 0;
    *error = PLAT_OK;
    char native[TEXT_FIELD_SIZE];
    NativeFilePath(path, native);
    PlatFile file = PlatFileHold(native);
    if (!file) {
        *error = PlatLastError();
        return *error == PLAT_ERROR_FILE_NOT_FOUND || *error == PLAT_ERROR_PATH_NOT_FOUND
                   ? IniAbsent
                   : IniUnread;
    }
    // One byte past the most tells a file that is larger.
    unsigned char *data = (unsigned char *)PlatAllocZero(POLICY_INI_MOST + 1);
    uint32_t total = 0;
    for (uint32_t got = 1; data && got && total <= POLICY_INI_MOST; total += got)
        got = PlatFileRead(file, data + total, POLICY_INI_MOST + 1 - total);
    PlatFileClose(file);
    if (!data) {
        *error = PLAT_ERROR_OUTOFMEMORY;
        return IniUnread;
    }
    if (total > POLICY_INI_MOST) {
        PlatFree(data);
        return IniTooLarge;
    }
    *bytes = data;
    *size = total;
    return IniRead;
}

// One key of the wanted section: "<index><name>=<value>", blanks trimmed.
struct IniScript {
    unsigned long index;
    const char *command;
    size_t commandLength;
    const char *parameters;
    size_t parametersLength;
};

static void Trim(const char **start, const char **end)
{
    while (*start < *end && (**start == ' ' || **start == '\t'))
        ++*start;
    while (*end > *start && ((*end)[-1] == ' ' || (*end)[-1] == '\t' || (*end)[-1] == '\r'))
        --*end;
}

// Nonzero when [start, end) is the ASCII word in any case.
static int WordIs(const char *start, const char *end, const char *word)
{
    size_t length = strlen(word);
    if ((size_t)(end - start) != length)
        return 0;
    for (size_t i = 0; i < length; ++i)
        if (PlatUpperChar((unsigned char)start[i]) != PlatUpperChar((unsigned char)word[i]))
            return 0;
    return 1;
}

// Each "<n>CmdLine" of the section, in the file's order (the first of an
// index only), with its "<n>Parameters"; the count, and in *more whether
// scripts past POLICY_INI_SCRIPTS were left out.
static int ReadSection(const char *text, const char *section, IniScript *scripts, int *more)
{
    int count = 0;
    *more = 0;
    for (int pass = 0; pass < 2; ++pass) {
        int inSection = 0;
        for (const char *line = text; *line;) {
            const char *end = strchr(line, '\n');
            const char *next = end ? end + 1 : line + strlen(line);
            if (!end)
                end = next;
            const char *start = line;
            line = next;
            Trim(&start, &end);
            if (start < end && *start == '[') {
                const char *close = (const char *)memchr(start, ']', (size_t)(end - start));
                const char *nameStart = start + 1, *nameEnd = close ? close : end;
                Trim(&nameStart, &nameEnd);
                inSection = close && WordIs(nameStart, nameEnd, section);
                continue;
            }
            const char *equals = (const char *)memchr(start, '=', (size_t)(end - start));
            if (!inSection || !equals || start >= equals || *start < '0' || *start > '9')
                continue;
            char *digitsEnd = NULL;
            unsigned long index = strtoul(start, &digitsEnd, 10);
            const char *after = digitsEnd, *keyEnd = equals, *value = equals + 1, *valueEnd = end;
            Trim(&value, &valueEnd);
            Trim(&after, &keyEnd);
            int found = -1;
            for (int i = 0; i < count && found < 0; ++i)
                if (scripts[i].index == index)
                    found = i;
            if (pass == 0 && WordIs(after, keyEnd, "CmdLine") && found < 0) {
                if (count == POLICY_INI_SCRIPTS) {
                    *more = 1;
                    continue;
                }
                IniScript *script = &scripts[count++];
                memset(script, 0, sizeof *script);
                script->index = index;
                script->command = value;
                script->commandLength = (size_t)(valueEnd - value);
            } else if (pass == 1 && WordIs(after, keyEnd, "Parameters") && found >= 0
                       && !scripts[found].parameters) {
                scripts[found].parameters = value;
                scripts[found].parametersLength = (size_t)(valueEnd - value);
            }
        }
    }
    return count;
}

// A row that says what of the file could not be listed.
static void NoteFile(ScriptVisit *visit, int user, const char *path, const char *file,
                     const char *note)
{
    AutostartItem *item = NextRow(visit);
    if (!item)
        return;
    FillPlace(item, Shortcut, user, path, "");
    TextCopy(item->name, TEXT_FIELD_SIZE, file);
    TextCopy(item->description, TEXT_FIELD_SIZE, "n/a");
    TextCopy(item->company, TEXT_FIELD_SIZE, "n/a");
    TextCopy(item->placeNote, TEXT_FIELD_SIZE, note);
    ++*visit->running;
}

static void VisitScriptFile(ScriptVisit *visit, int user, const char *scripts, const char *file)
{
    char path[TEXT_FIELD_SIZE], note[TEXT_FIELD_SIZE];
    if (!TextFormat(path, sizeof path, "%s\\%s", scripts, file))
        return;
    unsigned char *bytes = NULL;
    uint32_t size = 0;
    long error = PLAT_OK;
    int read = ReadIniBytes(path, &bytes, &size, &error);
    if (read == IniTooLarge)
        NoteFile(visit, user, path, file, NOTE_POLICY_FILE_TOO_LARGE);
    if (read == IniUnread) {
        char words[TEXT_FIELD_SIZE];
        PlatErrorText(error, words, sizeof words);
        TextFormat(note, sizeof note, NOTE_POLICY_FILE_UNREAD, words);
        NoteFile(visit, user, path, file, note);
    }
    if (read != IniRead)
        return;
    size_t length = 0;
    char *text = DecodeTextDocument(bytes, size, &length);
    PlatFree(bytes);
    IniScript *found = (IniScript *)PlatAllocZero(POLICY_INI_SCRIPTS * sizeof(IniScript));
    if (!text || !found) {
        PlatErrorText(PLAT_ERROR_OUTOFMEMORY, note, sizeof note);
        char said[TEXT_FIELD_SIZE];
        TextFormat(said, sizeof said, NOTE_POLICY_FILE_UNREAD, note);
        NoteFile(visit, user, path, file, said);
    } else {
        const char *when = user ? "Logon" : "Startup";
        int more = 0;
        int count = ReadSection(text, when, found, &more);
        for (int i = 0; i < count; ++i) {
            AutostartItem *item = NextRow(visit);
            if (!item)
                continue;
            char key[32], command[TEXT_FIELD_SIZE], parameters[TEXT_FIELD_SIZE];
            TextFormat(key, sizeof key, "[%s] %luCmdLine", when, found[i].index);
            TextFormat(command, sizeof command, "%.*s", (int)found[i].commandLength,
                       found[i].command);
            TextFormat(parameters, sizeof parameters, "%.*s", (int)found[i].parametersLength,
                       found[i].parameters ? found[i].parameters : "");
            FillPlace(item, Shortcut, user, path, key);
            FillScript(visit, item, when, command, parameters, scripts, NULL);
        }
        if (more && TextFormat(note, sizeof note,
                               NOTE_GROUP_POLICY "; more than %d scripts: the rest are not listed",
                               POLICY_INI_SCRIPTS))
            NoteFile(visit, user, path, file, note);
    }
    PlatFree(found);
    PlatFree(text);
}

// The local policy's folders are found from the system folder the system
// gives, never from %windir%, which a program of the user may set.
static void VisitScriptFiles(ScriptVisit *visit, int user)
{
    char system[PLAT_TEXT_SIZE], scripts[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_SYSTEM, system) || !system[0]
        || !TextFormat(scripts, sizeof scripts, "%s\\%s", system,
                       user ? LOCAL_POLICY_USER_SCRIPTS : LOCAL_POLICY_MACHINE_SCRIPTS))
        return;
    VisitScriptFile(visit, user, scripts, "scripts.ini");
    VisitScriptFile(visit, user, scripts, "psscripts.ini");
}

int32_t VisitPolicyScripts(AutostartItem *records, int32_t *runningCount, int32_t limit)
{
    ScriptVisit visit = {records, runningCount, limit, 0};
    VisitScriptKeys(&visit, PLAT_HKCU, "Logon");
    VisitScriptFiles(&visit, 1);
    VisitScriptKeys(&visit, PLAT_HKLM, "Startup");
    VisitScriptFiles(&visit, 0);
    return visit.seen;
}
