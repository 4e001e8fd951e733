// item_details.cpp - what the scan learns about an entry's program: the
// target of a shortcut and the strings of the program's version resource.
#include "catalogue.h"

#include <string.h>

#define NOT_AVAILABLE "n/a"
#define RESOLVE_TIMEOUT_MS 1000u

int32_t ResolveShortcut(const char *linkPath, char *target, char *comment, char *arguments)
{
    // Resolving a link whose target is gone must not search the disk for
    // seconds on every refresh, nor rewrite the .lnk file.
    // With SLR_NO_UI the high word is how long to try, in milliseconds.
    const uint32_t flags = PLAT_SLR_NO_UI | PLAT_SLR_NOUPDATE | PLAT_SLR_NOSEARCH
                           | PLAT_SLR_NOTRACK | (RESOLVE_TIMEOUT_MS << 16);
    return PlatResolveShortcut(NULL, linkPath, flags, target, comment, arguments);
}

// One string of a block read by ReadVersionBlock.
static void VersionStringOf(const void *block, char *field, int which)
{
    const void *value = NULL;
    uint32_t length = 0;
    // Without a translation entry there is no string table to name: "n/a".
    if (!PlatVersionQuery(block, "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
        TextCopy(field, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        return;
    }
    const unsigned char *translation = (const unsigned char *)value;
    unsigned language = translation[0] | (translation[1] << 8);
    unsigned codePage = translation[2] | (translation[3] << 8);

    char subBlock[64];
    TextFormat(subBlock, sizeof subBlock, "\\StringFileInfo\\%04X%04X\\%s", language, codePage,
               which == VersionCompanyName ? "CompanyName" : "FileDescription");
    if (PlatVersionQuery(block, subBlock, &value, &length) && value) {
        // The stored string may lack a terminator within its length.
        const char *text = (const char *)value;
        size_t textLength = TextLengthIn(text, length);
        if (textLength > TEXT_FIELD_SIZE - 1)
            textLength = TEXT_FIELD_SIZE - 1;
        memcpy(field, text, textLength);
        field[textLength] = '\0';
    } else {
        TextCopy(field, TEXT_FIELD_SIZE, NOT_AVAILABLE);
    }
}

// The file's version block, read whole (PlatFree it); null with both fields
// "n/a" when it has none, or, when it cannot be read, with the system's
// error handed to CatalogueErrors and the fields left as they were.
static void *ReadVersionBlock(const char *path, char *first, char *second)
{
    uint32_t size = PlatVersionSize(path);
    void *block = size ? PlatAllocZero(size) : NULL;
    if (!block) {
        TextCopy(first, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        TextCopy(second, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        return NULL;
    }
    if (!PlatVersionRead(path, size, block)) {
        char text[512];
        PlatErrorText(PlatLastError(), text, sizeof text);
        if (CatalogueErrors)
            CatalogueErrors(CatalogueErrorContext, path, text);
        PlatFree(block);
        return NULL;
    }
    return block;
}

// One read of the block for both strings: half the version work of a scan.
void ReadVersionStrings(const char *path, char *description, char *company)
{
    void *block = ReadVersionBlock(path, description, company);
    if (block) {
        VersionStringOf(block, description, VersionFileDescription);
        VersionStringOf(block, company, VersionCompanyName);
    }
    PlatFree(block);
}

static void AddNote(char *text, size_t size, const char *note)
{
    if (text[0])
        TextAppend(text, size, "; ");
    TextAppend(text, size, note);
}

// The Run-family key an enabled registry entry is in ("RunOnce"), or empty.
static void FamilyKeyOf(const AutostartItem *item, char *key, size_t size)
{
    key[0] = '\0';
    const char *prefix = CURRENT_VERSION_KEY "\\";
    size_t length = strlen(prefix);
    if (item->kind != RegistryValue || !item->enabled
        || strncmp(item->location, prefix, length) != 0)
        return;
    TextCopy(key, size, item->location + length);
    char *end = strchr(key, '\\');
    if (end)
        *end = '\0';
}

// What Windows does with the entry's key.
static void AddKeyNotes(const AutostartItem *item, char *text, size_t size)
{
    char key[TEXT_FIELD_SIZE];
    FamilyKeyOf(item, key, sizeof key);
    if (strcmp(key, "RunServices") == 0 || strcmp(key, "RunServicesOnce") == 0)
        AddNote(text, size, NOTE_NOT_STARTED_HERE);
    if (strcmp(key, "RunOnce") == 0) {
        AddNote(text, size, item->name[0] == '!' ? NOTE_RUN_ONCE_AFTER : NOTE_RUN_ONCE_BEFORE);
        if (item->name[0] == '*' || (item->name[0] == '!' && item->name[1] == '*'))
            AddNote(text, size, NOTE_SAFE_MODE);
        if (!ScopeIsUser(item->scope))
            AddNote(text, size, NOTE_ADMINISTRATOR_LOGON);
    }
    if (strcmp(key, RUN_ONCE_EX) == 0)
        AddNote(text, size, NOTE_RUN_ONCE_EX);
    if (strncmp(item->location, POLICY_RUN_KEY, strlen(POLICY_RUN_KEY)) == 0)
        AddNote(text, size, NOTE_POLICY_KEY);
}

// The title of the RunOnceEx section the entry is in (its default value,
// shown while the section runs), or empty.
static void SectionTitle(const AutostartItem *item, char *title, size_t size)
{
    title[0] = '\0';
    PlatKey key = NULL;
    if (item->kind != RegistryValue || !LocationIsSection(item->location)
        || PlatRegOpenRead(HiveOfItem(item), item->location, &key) != PLAT_OK || !key)
        return;
    char data[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, got = sizeof data;
    long result = PlatRegQueryValue(key, "", &type, data, &got);
    PlatRegClose(key);
    if (result != PLAT_OK || (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ))
        return;
    size_t length = TextLengthIn(data, got);
    if (length > size - 1)
        length = size - 1;
    memcpy(title, data, length);
    title[length] = '\0';
}

int ItemPlacedByAnyUser(const AutostartItem *item)
{
    // A disabled file of all users that Windows' settings did not switch
    // off is in the shared folder of disabled items.
    return item->kind == Shortcut && !ScopeIsUser(item->scope) && !item->enabled
           && !item->approvalDisabled;
}

// "8 Dec 14:02", in English whatever the system's language, as the
// report and the console print it too.
static int ShortDate(uint64_t fileTime, char *text, size_t size)
{
    static const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    PlatTime local;
    return fileTime && PlatFileTimeToLocal(fileTime, &local) && local.month >= 1
           && local.month <= 12
           && TextFormat(text, size, "%d %s %02d:%02d", local.day, months[local.month - 1],
                         local.hour, local.minute);
}

static void AddCameBackNote(const AutostartItem *item, char *text, size_t size)
{
    char date[32], note[COMMAND_FIELD_SIZE + 160];
    if (!item->approvalDisabled)
        TextFormat(note, sizeof note, NOTE_CAME_BACK_ON, item->cameBackCommand);
    else if (ShortDate(item->offSince, date, sizeof date))
        TextFormat(note, sizeof note, NOTE_CAME_BACK_OFF, date, item->cameBackCommand);
    else
        TextFormat(note, sizeof note, NOTE_CAME_BACK_OFF_UNDATED, item->cameBackCommand);
    AddNote(text, size, note);
}

void ItemNotes(const AutostartItem *item, char *text, size_t size)
{
    text[0] = '\0';
    if (item->policyOff)
        AddNote(text, size, NOTE_POLICY_OFF);
    // Told apart from a value that is named "(Default)".
    if (item->kind == RegistryValue && !item->logonPlace && !item->name[0])
        AddNote(text, size, NOTE_DEFAULT_VALUE);
    if (item->windowsOwn)
        AddNote(text, size, NOTE_WINDOWS_OWN);
    // The mark is the place's own setting; the hide option asks more.
    if (item->windowsOwn && !ItemHiddenAsWindows(item, 1))
        AddNote(text, size, NOTE_OWN_SHOWN);
    if (item->placeNote[0])
        AddNote(text, size, item->placeNote);
    if (!item->logonPlace)
        AddKeyNotes(item, text, size);
    // A RunOnceEx section's default value is its title (a logon place's
    // key default is something else: an Active Setup component's name).
    char title[TEXT_FIELD_SIZE] = "", note[TEXT_FIELD_SIZE + 32];
    if (!item->logonPlace)
        SectionTitle(item, title, sizeof title);
    if (title[0] && TextFormat(note, sizeof note, NOTE_SECTION_TITLE, title))
        AddNote(text, size, note);
    if (item->hidden)
        AddNote(text, size, NOTE_HIDDEN);
    // The logon expands the command with the user's own variables.
    char overrides[2 * TEXT_FIELD_SIZE + 64];
    LogonOverrideNote(item->command, overrides, sizeof overrides);
    if (overrides[0])
        AddNote(text, size, overrides);
    if (ItemPlacedByAnyUser(item))
        AddNote(text, size, NOTE_ANY_USER);
    if (item->cameBack)
        AddCameBackNote(item, text, size);
    if (item->startLater) {
        char later[64];
        StartLaterWords(item->startLater, later, sizeof later);
        AddNote(text, size, later);
    }
    if (item->approvalDisabled)
        AddNote(text, size, "switched off in Windows' startup settings (Task Manager or Settings)");
    if (item->kind == Service && ItemHiddenAsWindows(item, 1))
        AddNote(text, size, NOTE_SERVICE_WINDOWS_OWN);
    if (ItemIsOtherPlace(item) && ItemHiddenAsWindows(item, 1))
        AddNote(text, size, NOTE_OTHER_WINDOWS_OWN);
    if ((item->kind == ScheduledTask || item->kind == PackagedApp || item->kind == Service)
        && item->taskNotes[0])
        AddNote(text, size, item->taskNotes);
    if (item->targetMissing)
        AddNote(text, size, NOTE_TARGET_MISSING);
    if (item->inexact)
        AddNote(text, size, "its name cannot be handled on this Windows: it is not changed here");
    if (item->cut)
        AddNote(text, size, "its name is too long to change it here");
}
