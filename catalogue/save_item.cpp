// save_item.cpp - saving an entry from the Add/Edit window.
//
// An edit changes only what the user changed: when File and Parameters are
// left as EditFields filled them, the value is moved or rewritten whole,
// with its type and every byte, so a command such as
// rundll32.exe "C:\x.dll",Start or a REG_EXPAND_SZ survives a rename. Only a
// changed command is composed anew from the two fields.
#include "store.h"

#include <string.h>

int EditFields(const AutostartItem *item, char *file, char *parameters)
{
    TextCopy(file, TEXT_FIELD_SIZE, item->target);
    TextCopy(parameters, TEXT_FIELD_SIZE, item->parameters);
    if (item->kind != RegistryValue)
        return FieldsNotText;
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    if (item->cut || !ReadWholeValue(HiveOfItem(item), item->location, item->name, &type, &data,
                                     &size))
        return FieldsTooLong;
    size_t length = TextLengthIn((const char *)data, size);
    int state = FieldsEditable;
    if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ)
        state = FieldsNotText;
    else if (length >= TEXT_FIELD_SIZE)
        state = FieldsTooLong;
    else if (size != length + 1)
        state = FieldsNotText; // unterminated, or bytes after the text's end
    AutostartItem split;
    memset(&split, 0, sizeof split);
    if (state == FieldsEditable) {
        memcpy(split.command, data, length);
        const char *quote = strchr(split.command, '"');
        if (quote && quote != split.command && strchr(quote + 1, '"'))
            state = FieldsTextBeforeProgram;
    }
    PlatFree(data);
    if (state != FieldsEditable)
        return state;

    // The parameters are the stored text after the program; the program is
    // what stands before them, as stored: unexpanded, without its quotes.
    ParseCommand(&split);
    char program[TEXT_FIELD_SIZE];
    size_t programLength = strlen(split.command) - strlen(split.parameters);
    memcpy(program, split.command, programLength);
    program[programLength] = '\0';
    while (programLength > 0 && program[programLength - 1] == ' ')
        program[--programLength] = '\0';
    if (program[0] == '"' && programLength >= 2 && program[programLength - 1] == '"') {
        program[programLength - 1] = '\0';
        memmove(program, program + 1, programLength - 1);
    }
    TextCopy(file, TEXT_FIELD_SIZE, program);
    TextCopy(parameters, TEXT_FIELD_SIZE, split.parameters);
    return FieldsEditable;
}

// Where a save writes: the Run key of the chosen hive when adding; the
// record's own key when editing, in its view for a machine entry.
static void SaveDestination(int allUsers, const AutostartItem *old, PlatHive *hive,
                            const char **path)
{
    // A new machine entry goes into the native view, where Windows' own are.
    *hive = allUsers ? PLAT_HKLM : PLAT_HKCU;
    *path = RUN_KEY;
    if (!old)
        return;
    if (allUsers && HiveOfItem(old) == PLAT_HKLM32)
        *hive = PLAT_HKLM32;
    *path = old->location;
}

// Writing name in hive would reach the old value itself: the registry
// compares names without regard to case.
static int IsTheOldValue(const AutostartItem *old, PlatHive hive, const char *name)
{
    return old && hive == HiveOfItem(old) && TextCompareNoCase(name, old->name) == 0;
}

static const AutostartItem *EditedItem(int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = mode == EditorEdit ? CatalogueItem(editIndex) : NULL;
    return old && old->kind == RegistryValue ? old : NULL;
}

int SaveWouldReplace(const char *name, int allUsers, int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = EditedItem(mode, editIndex);
    if (mode == EditorEdit && !old)
        return 0;
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, old, &hive, &path);
    if (IsTheOldValue(old, hive, name))
        return 0;
    // Only a key or value known to be absent is no collision: when storage
    // cannot tell, the user is asked rather than an entry replaced unasked.
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 0;
    if (opened != PLAT_OK || !key)
        return 1;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, NULL, NULL, &size);
    PlatRegClose(key);
    return result != PLAT_ERROR_FILE_NOT_FOUND;
}

static int WriteValue(PlatHive hive, const char *path, const char *name, uint32_t type,
                      const void *data, uint32_t size)
{
    PlatKey key = NULL;
    if (PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key) != PLAT_OK || !key)
        return 0;
    long written = PlatRegSetValue(key, name, type, data, size);
    long closed = PlatRegClose(key);
    return written == PLAT_OK && closed == PLAT_OK;
}

// The command composed from the two fields: the program quoted when there
// are parameters, else alone, even with blanks. Room for both whole.
static void ComposeCommand(const char *file, const char *parameters, char *data, size_t size)
{
    if (parameters[0])
        TextFormat(data, size, "\"%s\" %s", file, parameters);
    else
        TextCopy(data, size, file);
}

int SaveItem(const char *name, const char *file, const char *parameters, int allUsers,
             int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = EditedItem(mode, editIndex);
    if (mode == EditorEdit && !old)
        return SaveNotWritten;
    if (old && old->cut)
        return SaveRefused;
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, old, &hive, &path);
    char data[2 * TEXT_FIELD_SIZE + 4];
    ComposeCommand(file, parameters, data, sizeof data);
    if (!old)
        return WriteValue(hive, path, name, PLAT_REG_SZ, data, (uint32_t)strlen(data) + 1)
                   ? SaveDone
                   : SaveNotWritten;

    char shownFile[TEXT_FIELD_SIZE], shownParameters[TEXT_FIELD_SIZE];
    int fields = EditFields(old, shownFile, shownParameters);
    int commandKept = fields != FieldsEditable
                      || (strcmp(file, shownFile) == 0 && strcmp(parameters, shownParameters) == 0);
    int sameValue = IsTheOldValue(old, hive, name);
    if (commandKept && sameValue)
        return SaveDone; // nothing changed that the registry would keep

    uint32_t type = PLAT_REG_SZ;
    void *whole = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(HiveOfItem(old), old->location, old->name, &type, &whole, &size))
        return SaveNotWritten;
    int written = 0;
    if (commandKept) {
        written = WriteValue(hive, path, name, type, whole, size);
    } else {
        // A changed command of a REG_EXPAND_SZ value stays one.
        uint32_t newType = type == PLAT_REG_EXPAND_SZ ? PLAT_REG_EXPAND_SZ : PLAT_REG_SZ;
        written = WriteValue(hive, path, name, newType, data, (uint32_t)strlen(data) + 1);
    }
    PlatFree(whole);
    if (!written)
        return SaveNotWritten;
    if (sameValue)
        return SaveDone;
    return DeleteItem(old, 1) == DeleteDone ? SaveDone : SaveOldKept;
}
