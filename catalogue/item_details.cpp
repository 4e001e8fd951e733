// item_details.cpp - what the scan learns about an entry's program: the
// target of a shortcut and the strings of the program's version resource.
#include "catalogue.h"

#include <string.h>

#define NOT_AVAILABLE "n/a"

int32_t ResolveShortcut(void *owner, const char *linkPath, char *target, char *comment,
                        char *arguments)
{
    // Resolving a link whose target is gone must not search the disk for
    // seconds on every refresh, nor rewrite the .lnk file.
    const uint32_t flags = PLAT_SLR_NO_UI | PLAT_SLR_NOUPDATE | PLAT_SLR_NOSEARCH | PLAT_SLR_NOTRACK;
    return PlatResolveShortcut(owner, linkPath, flags, target, comment, arguments);
}

// The block is read anew for each string: two reads per entry, no cache.
void ReadVersionString(const char *path, char *field, int which)
{
    uint32_t size = PlatVersionSize(path);
    if (size == 0) {
        TextCopy(field, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        return;
    }
    void *block = PlatAllocZero(size);
    if (!block) {
        TextCopy(field, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        return;
    }
    if (!PlatVersionRead(path, size, block)) {
        PlatShowLastError(CatalogueOwnerWindow);
        PlatFree(block);
        return;
    }

    const void *value = NULL;
    uint32_t length = 0;
    // Without a translation entry there is no string table to name: "n/a".
    if (!PlatVersionQuery(block, "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
        TextCopy(field, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        PlatFree(block);
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
    PlatFree(block);
}

static void AddNote(char *text, size_t size, const char *note)
{
    if (text[0])
        TextAppend(text, size, "; ");
    TextAppend(text, size, note);
}

void ItemNotes(const AutostartItem *item, char *text, size_t size)
{
    text[0] = '\0';
    if (item->approvalDisabled)
        AddNote(text, size, "switched off in Windows' startup settings (Task Manager or Settings)");
    if (item->targetMissing)
        AddNote(text, size, NOTE_TARGET_MISSING);
    if (item->inexact)
        AddNote(text, size, "its name cannot be handled on this Windows: it is not changed here");
    if (item->cut)
        AddNote(text, size, "its name is too long to change it here");
}
