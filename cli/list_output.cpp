// list_output.cpp - the entries as a script reads them: stable ids, and
// one table of columns written as a console table, CSV (RFC 4180), JSON
// (RFC 8259) or JSON lines (an object to a line, for log collectors). The
// records cut every field at 259 characters; names and commands are read
// again whole from storage, so a script never gets the window's cut.
#include "cli.h"

#include "../catalogue/logon_cost.h"
#include "../store/store.h"

#include <string.h>

// ---- one row --------------------------------------------------------------------

// What the columns read of one entry: the record, and the texts read whole.
struct ListRow {
    const AutostartItem *item;
    char id[ITEM_ID_SIZE];
    char *wholeName;      // the stored name when the record's is cut, or null
    char *wholeId;        // the id by that name, or null
    char *wholeCommand;   // the stored command when longer than the record's, or null
    char place[TEXT_FIELD_SIZE + 32];
    char key[TEXT_FIELD_SIZE + 32]; // the place without a logon place's value
    char notes[4 * TEXT_FIELD_SIZE];
    char cpu[24];  // the cost's figures as digits, empty when not measured
    char disk[24];
};

// The value's text as stored, however long (PlatFree it); null when it is
// not text or cannot be read whole (the record's command is used then).
static char *ReadWholeCommand(const AutostartItem *item)
{
    if (item->kind != RegistryValue || !ItemActionable(item))
        return NULL;
    uint32_t type = 0, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(HiveOfItem(item), item->location, item->name, 0, &type, &data, &size))
        return NULL;
    if ((type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ) || size < TEXT_FIELD_SIZE) {
        PlatFree(data);
        return NULL;
    }
    char *text = (char *)PlatAllocZero((size_t)size + 1);
    if (text)
        memcpy(text, data, TextLengthIn((const char *)data, size));
    PlatFree(data);
    return text;
}

static void LoadRow(ListRow *row, int32_t index)
{
    const AutostartItem *item = &ItemCatalogue.items[index];
    row->item = item;
    ItemId(item, NULL, row->id, sizeof row->id);
    row->wholeName = ItemWholeName(index);
    row->wholeId = row->wholeName ? ItemWholeId(item, row->wholeName) : NULL;
    row->wholeCommand = ReadWholeCommand(item);
    if (item->kind == RegistryValue) {
        ItemPlaceText(item, 0, row->place, sizeof row->place);
        RegistryKeyText(HiveOfItem(item), item->location, 0, row->key, sizeof row->key);
    } else if (item->kind == Service) { // its key, under the SCM's Services key
        ItemPlaceText(item, 0, row->place, sizeof row->place);
        RegistryKeyText(PLAT_HKLM, SERVICES_KEY, 0, row->key, sizeof row->key);
    } else if (item->logonPlace) { // a file's key, and the file as its key
        ItemPlaceText(item, 0, row->place, sizeof row->place);
        TextCopy(row->key, sizeof row->key, item->location);
    } else {
        TargetFolderOf(item->location, row->place);
        TextCopy(row->key, sizeof row->key, row->place);
    }
    ItemNotes(item, row->notes, sizeof row->notes);
    row->cpu[0] = row->disk[0] = '\0';
    if (item->costState == LOGON_COST_MEASURED) {
        TextFormat(row->cpu, sizeof row->cpu, "%lld", (long long)item->costCpu);
        TextFormat(row->disk, sizeof row->disk, "%lld", (long long)item->costDisk);
    }
}

static void FreeRow(ListRow *row)
{
    PlatFree(row->wholeName);
    PlatFree(row->wholeId);
    PlatFree(row->wholeCommand);
    row->wholeName = row->wholeId = row->wholeCommand = NULL;
}

// ---- the columns ------------------------------------------------------------------

enum ColumnKind { ColumnText = 0, ColumnFlag = 1 };

struct ListColumn {
    const char *key;      // CSV heading and JSON member
    const char *heading;  // table heading
    int32_t kind;         // ColumnKind
    int32_t inTable;      // shown in the table without --all-columns
    const char *(*text)(const ListRow *row);
    int (*flag)(const ListRow *row);
};

static const char *IdOf(const ListRow *r) { return r->wholeId ? r->wholeId : r->id; }
static const char *NameOf(const ListRow *r) { return r->wholeName ? r->wholeName : r->item->name; }
static const char *TypeOf(const ListRow *r) { return ItemTypeText(r->item); }
static const char *StateOf(const ListRow *r) { return ItemStateText(r->item); }
// A field the program could not learn is unknown: null in JSON, empty in
// CSV and the table, never a word that could be a value.
static const char *Known(const char *text) { return strcmp(text, "n/a") == 0 ? NULL : text; }
static const char *PlaceOf(const ListRow *r) { return r->place; }
static const char *CommandOf(const ListRow *r)
{
    return r->wholeCommand ? r->wholeCommand : r->item->command;
}
static const char *ProgramOf(const ListRow *r) { return r->item->target; }
static const char *ParametersOf(const ListRow *r) { return r->item->parameters; }
static const char *DescriptionOf(const ListRow *r) { return Known(r->item->description); }
static const char *CompanyOf(const ListRow *r) { return Known(r->item->company); }
static const char *PublisherOf(const ListRow *r) { return Known(r->item->publisher); }
static const char *NotesOf(const ListRow *r) { return r->notes; }
static const char *CostOf(const ListRow *r) { return r->item->costText; }
static const char *CpuOf(const ListRow *r) { return r->cpu[0] ? r->cpu : NULL; }
static const char *DiskOf(const ListRow *r) { return r->disk[0] ? r->disk : NULL; }
static const char *RunningOf(const ListRow *r) { return r->item->runningText; }
static int EnabledOf(const ListRow *r) { return r->item->enabled != 0; }
static int SwitchedOffOf(const ListRow *r) { return r->item->approvalDisabled != 0; }
static int TargetFoundOf(const ListRow *r) { return !r->item->targetMissing; }

// A new field is one more line here.
static const ListColumn Columns[] = {
    {"id", "Id", ColumnText, 1, IdOf, NULL},
    {"name", "Name", ColumnText, 1, NameOf, NULL},
    {"type", "Type", ColumnText, 1, TypeOf, NULL},
    {"state", "State", ColumnText, 1, StateOf, NULL},
    {"enabled", "On", ColumnFlag, 0, NULL, EnabledOf},
    {"switched_off", "Off in settings", ColumnFlag, 0, NULL, SwitchedOffOf},
    {"place", "Place", ColumnText, 0, PlaceOf, NULL},
    {"command", "Command", ColumnText, 1, CommandOf, NULL},
    {"program", "Program", ColumnText, 0, ProgramOf, NULL},
    {"parameters", "Parameters", ColumnText, 0, ParametersOf, NULL},
    {"target_found", "Found", ColumnFlag, 0, NULL, TargetFoundOf},
    {"description", "Description", ColumnText, 0, DescriptionOf, NULL},
    {"company", "Company", ColumnText, 0, CompanyOf, NULL},
    {"publisher", "Publisher", ColumnText, 0, PublisherOf, NULL},
    {"notes", "Notes", ColumnText, 0, NotesOf, NULL},
    {"cost", "Cost at last logon", ColumnText, 0, CostOf, NULL},
    {"cost_cpu_us", "CPU (us)", ColumnText, 0, CpuOf, NULL},
    {"cost_disk_bytes", "Disk (bytes)", ColumnText, 0, DiskOf, NULL},
    {"running", "Running", ColumnText, 0, RunningOf, NULL},
};
#define COLUMN_COUNT (int)(sizeof Columns / sizeof Columns[0])
#define ID_COLUMN 0

// Null for an unknown field.
static const char *CellValue(const ListColumn *column, const ListRow *row)
{
    if (column->kind == ColumnFlag)
        return column->flag(row) ? "true" : "false";
    return column->text(row);
}

static const char *CellText(const ListColumn *column, const ListRow *row)
{
    const char *text = CellValue(column, row);
    return text ? text : "";
}

// ---- CSV and JSON -----------------------------------------------------------------

static void Out(const char *text, size_t length)
{
    CliWrite(PLAT_STDOUT, text, length);
}

static void OutText(const char *text)
{
    CliPrint(PLAT_STDOUT, text);
}

// RFC 4180: a field holding a comma, quote or line break is quoted, its
// quotes doubled; every record ends in CRLF. A spreadsheet runs a cell that
// starts with =, +, -, @, a tab or a carriage return as a formula: such a
// cell is quoted with a ' before its text (JSON gives the text exactly).
static void CsvField(const char *text)
{
    int formula = text[0] && strchr("=+-@\t\r", text[0]);
    if (!formula && !strpbrk(text, ",\"\r\n")) {
        OutText(text);
        return;
    }
    Out(formula ? "\"'" : "\"", formula ? 2 : 1);
    for (const char *run = text; *run;) {
        size_t length = strcspn(run, "\"");
        Out(run, length);
        run += length;
        if (*run == '"') {
            Out("\"\"", 2);
            ++run;
        }
    }
    Out("\"", 1);
}

// JSON gathered in a buffer and written when it fills: every byte of it
// is ASCII, so a cut between two writes splits no character.
struct JsonOut {
    size_t used;
    int failed; // a text could not be read as characters: the list is not whole
    char text[1024];
};

static void JsonFlush(JsonOut *out)
{
    Out(out->text, out->used);
    out->used = 0;
}

static void JsonPut(JsonOut *out, const char *text, size_t length)
{
    while (length) {
        if (out->used == sizeof out->text)
            JsonFlush(out);
        size_t room = sizeof out->text - out->used;
        size_t part = length < room ? length : room;
        memcpy(out->text + out->used, text, part);
        out->used += part;
        text += part;
        length -= part;
    }
}

static void JsonPutText(JsonOut *out, const char *text)
{
    JsonPut(out, text, strlen(text));
}

// One character of UTF-8 and in *length the bytes it takes; U+FFFD for a
// byte that begins none, or for a sequence broken off (an overlong form, a
// surrogate, past U+10FFFF, cut short), *length then the bytes up to the
// break. The terminator is never a continuation byte, so nothing past it
// is read.
static uint32_t DecodeUtf8(const unsigned char *text, size_t *length)
{
    unsigned char lead = text[0];
    *length = 1;
    size_t need = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (lead < 0x80)
        return lead;
    if (!need)
        return 0xFFFD;
    // The second byte's range rules out the overlong forms, surrogates and
    // codes past U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    uint32_t code = lead & (need == 2 ? 0x1Fu : need == 3 ? 0x0Fu : 0x07u);
    for (size_t i = 1; i < need; ++i, low = 0x80, high = 0xBF) {
        if (text[i] < low || text[i] > high)
            return 0xFFFD;
        code = (code << 6) | (text[i] & 0x3Fu);
        *length = i + 1;
    }
    return code;
}

// RFC 8259: quote, backslash and every control character escaped; and
// every character beyond ASCII as \uXXXX (a pair of surrogates past the
// first 65536), so that whatever code page a shell reads the output
// through, every name comes through exactly.
static void JsonCode(JsonOut *out, uint32_t code)
{
    char escape[16];
    if (code == '"' || code == '\\')
        TextFormat(escape, sizeof escape, "\\%c", (int)code);
    else if (code == '\n')
        TextCopy(escape, sizeof escape, "\\n");
    else if (code == '\r')
        TextCopy(escape, sizeof escape, "\\r");
    else if (code == '\t')
        TextCopy(escape, sizeof escape, "\\t");
    else if (code >= 0x20 && code < 0x80) {
        char plain = (char)code;
        JsonPut(out, &plain, 1);
        return;
    } else if (code > 0xFFFF)
        TextFormat(escape, sizeof escape, "\\u%04x\\u%04x", 0xD800 + ((code - 0x10000) >> 10),
                   0xDC00 + (code & 0x3FF));
    else
        TextFormat(escape, sizeof escape, "\\u%04x", code);
    JsonPutText(out, escape);
}

static void JsonString(JsonOut *out, const char *text)
{
    JsonPut(out, "\"", 1);
    if (PlatCodePage() == 65001) {
        for (size_t i = 0, length = 0; text[i]; i += length)
            JsonCode(out, DecodeUtf8((const unsigned char *)text + i, &length));
    } else if (text[0]) {
        // Another code page's bytes are not UTF-8 (and a double-byte code
        // page's second byte may be a backslash): the system reads them as
        // characters. Each byte is at most one UTF-16 unit.
        size_t room = 2 * strlen(text);
        unsigned char *wide = room <= 0xFFFFFFFFu ? (unsigned char *)PlatAllocZero(room) : NULL;
        uint32_t bytes = wide ? PlatTextToUtf16(text, wide, (uint32_t)room) : 0;
        for (uint32_t i = 0; i + 1 < bytes; i += 2)
            JsonCode(out, wide[i] | (uint32_t)wide[i + 1] << 8);
        if (!bytes) { // still valid JSON: ASCII as it is, the rest unknown
            out->failed = 1;
            for (const char *c = text; *c; ++c)
                JsonCode(out, (unsigned char)*c < 0x80 ? (unsigned char)*c : 0xFFFD);
        }
        PlatFree(wide);
    }
    JsonPut(out, "\"", 1);
}

static void CsvRow(const ListRow *row)
{
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        if (c)
            Out(",", 1);
        CsvField(row ? CellText(&Columns[c], row) : Columns[c].key);
    }
    Out("\r\n", 2);
}

// Tab-separated: one line per entry, a tab or line break inside a cell
// shown as an escape, as the table shows it, so no cell can split a row.
static void TabsRow(const ListRow *row)
{
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        if (c)
            Out("\t", 1);
        const char *text = row ? CellText(&Columns[c], row) : Columns[c].key;
        size_t size = 4 * strlen(text) + 1;
        char *shown = (char *)PlatAllocZero(size);
        if (shown) {
            TextCopyVisible(shown, size, text, 0);
            OutText(shown);
        }
        PlatFree(shown);
    }
    Out("\r\n", 2);
}

// What a log collector files each line of JSON lines under: the computer,
// the user and the time of the listing (ISO 8601, local, with its offset
// from UTC when known), the same on every line of one listing. A name that
// could not be had is null.
struct Origin {
    char computer[TEXT_FIELD_SIZE];
    char user[TEXT_FIELD_SIZE];
    char time[40];
    int hasComputer, hasUser;
};

static void ReadOrigin(Origin *origin)
{
    origin->hasComputer = PlatComputerName(origin->computer, sizeof origin->computer);
    origin->hasUser = PlatUserName(origin->user, sizeof origin->user);
    PlatTime now;
    int32_t ahead = 0;
    int offset = PlatLocalTimeOffset(&now, &ahead);
    TextFormat(origin->time, sizeof origin->time, "%04d-%02d-%02dT%02d:%02d:%02d", now.year,
               now.month, now.day, now.hour, now.minute, now.second);
    if (offset) {
        int32_t minutes = ahead < 0 ? -ahead : ahead;
        size_t used = strlen(origin->time);
        TextFormat(origin->time + used, sizeof origin->time - used, "%c%02d:%02d",
                   ahead < 0 ? '-' : '+', (int)(minutes / 60), (int)(minutes % 60));
    }
}

// A member of text, or null when it is not known.
static void JsonMember(JsonOut *out, const char *key, const char *text)
{
    JsonPutText(out, ", ");
    JsonString(out, key);
    JsonPutText(out, ": ");
    if (text)
        JsonString(out, text);
    else
        JsonPutText(out, "null");
}

// One entry's object: its members in the columns' order, then those of its
// origin when given (JSON lines).
static void JsonObject(JsonOut *out, const ListRow *row, const Origin *origin)
{
    JsonPut(out, "{", 1);
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        JsonPutText(out, c ? ", " : "");
        JsonString(out, Columns[c].key);
        JsonPutText(out, ": ");
        const char *text = CellValue(&Columns[c], row);
        if (Columns[c].kind == ColumnFlag || !text)
            JsonPutText(out, text ? text : "null");
        else
            JsonString(out, text);
    }
    if (origin) {
        JsonMember(out, "computer", origin->hasComputer ? origin->computer : NULL);
        JsonMember(out, "user", origin->hasUser ? origin->user : NULL);
        JsonMember(out, "time", origin->time);
    }
    JsonPut(out, "}", 1);
}

// ---- the table ----------------------------------------------------------------------

// A character's code under UTF-8 (its lead byte's bits only when cut).
static uint32_t CodeOf(const unsigned char *text, size_t *length)
{
    uint32_t code = text[0];
    size_t need = code >= 0xF0 ? 4 : code >= 0xE0 ? 3 : code >= 0xC0 ? 2 : 1;
    code &= need == 4 ? 0x07u : need == 3 ? 0x0Fu : need == 2 ? 0x1Fu : 0xFFu;
    size_t i = 1;
    for (; i < need && (text[i] & 0xC0) == 0x80; ++i)
        code = (code << 6) | (text[i] & 0x3Fu);
    *length = i;
    return code;
}

// East Asian wide and fullwidth characters take two cells of a console.
static size_t CellsOfCode(uint32_t code)
{
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF)
                   || (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF)
                   || (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60)
                   || (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD)
               ? 2
               : 1;
}

// Console cells, not bytes: under UTF-8 a character is one cell, or two
// when it is wide.
static size_t Cells(const char *text)
{
    if (PlatCodePage() != 65001)
        return strlen(text);
    size_t count = 0;
    for (size_t i = 0, length = 0; text[i]; i += length)
        count += CellsOfCode(CodeOf((const unsigned char *)text + i, &length));
    return count;
}

// Bytes of text's first characters that fill at most cells cells.
static size_t BytesOfCells(const char *text, size_t cells)
{
    if (PlatCodePage() != 65001)
        return strlen(text) < cells ? strlen(text) : cells;
    size_t i = 0, used = 0;
    for (size_t length = 0; text[i]; i += length) {
        size_t wide = CellsOfCode(CodeOf((const unsigned char *)text + i, &length));
        if (used + wide > cells)
            break;
        used += wide;
    }
    return i;
}

// One line of the table, gathered so that it goes out in one write: a
// console converts each write alone, and a character split between two
// would show as a replacement mark.
struct TableLine {
    char *text;
    size_t used;
    size_t size;
};

static void Put(TableLine *line, const char *text, size_t length)
{
    if (line->used + length < line->size) {
        memcpy(line->text + line->used, text, length);
        line->used += length;
    }
}

// A cell in width console cells: cut with "~" at its end, padded with
// spaces unless it is the row's last, which is never cut.
static void TableCell(TableLine *line, const char *text, size_t width, int last)
{
    size_t length = Cells(text);
    if (last) {
        Put(line, text, strlen(text));
        return;
    }
    size_t bytes = length > width ? BytesOfCells(text, width ? width - 1 : 0) : strlen(text);
    Put(line, text, bytes);
    size_t used = length > width ? Cells(text) - Cells(text + bytes) : length;
    if (length > width && width) {
        Put(line, "~", 1);
        ++used;
    }
    for (size_t i = used; i < width + 2; ++i)
        Put(line, " ", 1);
}

static void EndLine(TableLine *line)
{
    Put(line, "\r\n", 2);
    Out(line->text, line->used);
    line->used = 0;
}

// A table of any command: the cells' texts by a function, shown as the eye
// gets them (a control or bidirectional character, which could make a
// command pass for another on the console, as an escape), the last column
// never cut. The scratch field holds 4 bytes for each byte of the longest
// cell.
int CliWriteTable(const char *const *headings, int columns, int32_t rowCount, CliCellText cell,
                  const void *context)
{
    size_t *width = (size_t *)PlatAllocZero(sizeof(size_t) * ((size_t)columns + 1));
    size_t scratchSize = 1;
    for (int c = 0; c < columns; ++c)
        for (int32_t r = 0; r < rowCount; ++r) {
            size_t size = 4 * strlen(cell(context, r, c)) + 1;
            scratchSize = size > scratchSize ? size : scratchSize;
        }
    char *scratch = (char *)PlatAllocZero(scratchSize);
    if (!width || !scratch) {
        PlatFree(width);
        PlatFree(scratch);
        return 0;
    }
    for (int c = 0; c < columns; ++c) {
        width[c] = strlen(headings[c]);
        for (int32_t r = 0; r < rowCount; ++r) {
            TextCopyVisible(scratch, scratchSize, cell(context, r, c), 0);
            size_t length = Cells(scratch);
            if (length > width[c])
                width[c] = length;
        }
    }
    // Cut to the console's width (one column left free, or the console
    // wraps): the widest column but the last gives way first, none below 4.
    int console = PlatConsoleWidth();
    if (console > 0) {
        size_t room = (size_t)console - 1;
        for (;;) {
            size_t total = 0;
            int widest = 0;
            for (int i = 0; i < columns; ++i) {
                total += width[i] + (i ? 2 : 0);
                if (i < columns - 1 && width[i] > width[widest])
                    widest = i;
            }
            if (total <= room || width[widest] <= 4)
                break;
            --width[widest];
        }
    }
    // Room for the widest line: a character is at most 4 bytes.
    TableLine line = {NULL, 0, 3};
    for (int i = 0; i < columns; ++i)
        line.size += 4 * width[i] + 3;
    line.text = (char *)PlatAllocZero(line.size);
    if (line.text) {
        for (int i = 0; i < columns; ++i)
            TableCell(&line, headings[i], width[i], i == columns - 1);
        EndLine(&line);
        for (int32_t r = 0; r < rowCount; ++r) {
            for (int i = 0; i < columns; ++i) {
                TextCopyVisible(scratch, scratchSize, cell(context, r, i), 0);
                TableCell(&line, scratch, width[i], i == columns - 1);
            }
            EndLine(&line);
        }
    }
    int written = line.text != NULL;
    PlatFree(line.text);
    PlatFree(scratch);
    PlatFree(width);
    return written;
}

// The list's table: its columns shown, in the order of the table.
struct ListTable {
    const ListRow *rows;
    int shown[COLUMN_COUNT];
};

static const char *ListCell(const void *context, int32_t row, int column)
{
    const ListTable *table = (const ListTable *)context;
    const ListColumn *shown = &Columns[table->shown[column]];
    const char *text = CellText(shown, &table->rows[row]);
    // The table names a key's default value as the registry editor does;
    // CSV and JSON keep the stored name, empty.
    return shown->text == NameOf && !text[0] ? ItemShownName(table->rows[row].item) : text;
}

static int WriteTable(const ListRow *rows, int32_t rowCount, int allColumns)
{
    ListTable table;
    table.rows = rows;
    const char *headings[COLUMN_COUNT];
    int count = 0;
    // The id goes last and whole: every command needs it, so it is the one
    // cell never cut.
    for (int pass = 0; pass < 2; ++pass)
        for (int c = 0; c < COLUMN_COUNT; ++c) {
            if ((!allColumns && !Columns[c].inTable) || (c == ID_COLUMN) != (pass == 1))
                continue;
            headings[count] = Columns[c].heading;
            table.shown[count++] = c;
        }
    return CliWriteTable(headings, count, rowCount, ListCell, &table);
}

// ---- the list -------------------------------------------------------------------------

// PLACE is the entry's place or a key or folder above it.
static int PlaceMatches(const char *place, const char *wanted)
{
    size_t length = strlen(wanted);
    while (length > 0 && wanted[length - 1] == '\\')
        --length;
    if (length == 0 || strlen(place) < length)
        return 0;
    char head[TEXT_FIELD_SIZE + 32], want[TEXT_FIELD_SIZE + 32];
    if (!TextCopy(head, sizeof head, place) || !TextCopy(want, sizeof want, wanted)
        || length >= sizeof want)
        return 0;
    head[length] = '\0';
    want[length] = '\0'; // "HKCU\...\Run\" names the key "HKCU\...\Run"
    return PlatNamesEqual(head, want) ? 1 : 0;
}

static int Listed(const ListRow *row, const char *const *places, int32_t placeCount)
{
    if (placeCount == 0)
        return 1;
    for (int32_t i = 0; i < placeCount; ++i) {
        // "services" names no key or folder (neither is ever relative).
        if (row->item->kind == Service && TextCompareNoCase(places[i], SERVICES_PLACE) == 0)
            return 1;
        if (ItemIsOtherPlace(row->item) && TextCompareNoCase(places[i], OTHER_PLACES) == 0)
            return 1;
        size_t length = strlen(places[i]);
        while (length > 0 && places[i][length - 1] == '\\')
            --length;
        // A whole component: "HKCU\...\Run" is not above "HKCU\...\RunOnce".
        // A logon place's row is under its key as much as its place.
        const char *const either[2] = {row->place, row->key};
        for (const char *place : either)
            if (PlaceMatches(place, places[i])
                && (strlen(place) == length || place[length] == '\\'))
                return 1;
    }
    return 0;
}

// A name matches a pattern of * (any run) and ? (any one byte), without
// regard to the case of ASCII letters.
static int NameMatches(const char *name, const char *pattern)
{
    const char *star = NULL, *resume = NULL;
    while (*name) {
        char n = *name, p = *pattern;
        if (n >= 'A' && n <= 'Z')
            n = (char)(n + 32);
        if (p >= 'A' && p <= 'Z')
            p = (char)(p + 32);
        if (p == '*') {
            star = ++pattern;
            resume = name;
        } else if (p == '?') {
            // One character, however many bytes it takes.
            ++pattern;
            ++name;
            while (((unsigned char)*name & 0xC0) == 0x80)
                ++name;
        } else if (p && p == n) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++resume;
        } else {
            return 0;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

int CliWriteList(const CliArguments *args, const uint8_t *chosen)
{
    int32_t count = ItemCatalogue.count;
    ListRow *rows = (ListRow *)PlatAllocZero(sizeof(ListRow) * ((size_t)count + 1));
    if (!rows)
        return 0;
    int32_t listed = 0;
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if ((chosen && !chosen[i]) || (args->hideWindows && ItemHiddenAsWindows(item, 1)))
            continue;
        LoadRow(&rows[listed], i);
        if (Listed(&rows[listed], args->places, args->placeCount)
            && (!args->namePattern || NameMatches(NameOf(&rows[listed]), args->namePattern)
                || NameMatches(ItemShownName(rows[listed].item), args->namePattern)))
            ++listed;
        else
            FreeRow(&rows[listed]);
    }
    int32_t format = args->format;
    int written = 1;
    if (format == CliCsv) {
        if (args->bom)
            PlatWriteByteOrderMark(PLAT_STDOUT);
        CsvRow(NULL);
        for (int32_t r = 0; r < listed; ++r)
            CsvRow(&rows[r]);
    } else if (format == CliTabs) {
        TabsRow(NULL);
        for (int32_t r = 0; r < listed; ++r)
            TabsRow(&rows[r]);
    } else if (format == CliJson || format == CliJsonLines) {
        JsonOut *out = (JsonOut *)PlatAllocZero(sizeof(JsonOut));
        Origin *origin = (Origin *)PlatAllocZero(sizeof(Origin));
        if (out && origin && format == CliJsonLines) {
            // One object to a line, ended by a line feed only, as JSON
            // lines has it; nothing around them.
            ReadOrigin(origin);
            for (int32_t r = 0; r < listed; ++r) {
                JsonObject(out, &rows[r], origin);
                JsonPut(out, "\n", 1);
            }
        } else if (out && origin) {
            JsonPutText(out, "[");
            for (int32_t r = 0; r < listed; ++r) {
                JsonPutText(out, r ? ",\r\n  " : "\r\n  ");
                JsonObject(out, &rows[r], NULL);
            }
            JsonPutText(out, listed ? "\r\n]\r\n" : "]\r\n");
        }
        if (out)
            JsonFlush(out);
        written = out && origin && !out->failed;
        PlatFree(out);
        PlatFree(origin);
    } else {
        written = WriteTable(rows, listed, args->allColumns);
    }
    for (int32_t r = 0; r < listed; ++r)
        FreeRow(&rows[r]);
    PlatFree(rows);
    return written;
}

// ---- records of other commands ------------------------------------------------------

static JsonOut RecordsJson;
static const char *const *RecordKeys;
static int RecordColumns;
static int32_t RecordFormat;
static int32_t RecordCount;

void CliRecordsBegin(int32_t format, const char *const *keys, int columns)
{
    RecordFormat = format;
    RecordKeys = keys;
    RecordColumns = columns;
    RecordCount = 0;
    memset(&RecordsJson, 0, sizeof RecordsJson);
    if (format == CliCsv) {
        for (int c = 0; c < columns; ++c) {
            OutText(c ? "," : "");
            CsvField(keys[c]);
        }
        Out("\r\n", 2);
    } else if (format == CliJson) {
        JsonPutText(&RecordsJson, "[");
    }
}

void CliRecord(const char *const *texts)
{
    int32_t format = RecordFormat;
    if (format == CliCsv) {
        for (int c = 0; c < RecordColumns; ++c) {
            OutText(c ? "," : "");
            CsvField(texts[c] ? texts[c] : "");
        }
        Out("\r\n", 2);
    } else if (format == CliJson || format == CliJsonLines) {
        JsonPutText(&RecordsJson, format == CliJson && RecordCount ? ",\n  {" : format == CliJson ? "\n  {" : "{");
        for (int c = 0; c < RecordColumns; ++c) {
            JsonPutText(&RecordsJson, c ? ", " : "");
            JsonString(&RecordsJson, RecordKeys[c]);
            JsonPutText(&RecordsJson, ": ");
            if (texts[c])
                JsonString(&RecordsJson, texts[c]);
            else
                JsonPutText(&RecordsJson, "null");
        }
        JsonPutText(&RecordsJson, format == CliJson ? "}" : "}\n");
    } else {
        // The table and tabs: a line of the texts, control characters shown.
        char line[4 * COMMAND_FIELD_SIZE];
        line[0] = '\0';
        for (int c = 0; c < RecordColumns; ++c) {
            if (!texts[c] || !texts[c][0])
                continue;
            if (line[0])
                TextAppend(line, sizeof line, format == CliTabs ? "\t" : "  ");
            TextAppend(line, sizeof line, texts[c]);
        }
        CliLineShown(PLAT_STDOUT, line);
    }
    ++RecordCount;
}

int CliRecordsEnd(void)
{
    if (RecordFormat == CliJson)
        JsonPutText(&RecordsJson, RecordCount ? "\n]\n" : "]\n");
    JsonFlush(&RecordsJson);
    return !RecordsJson.failed;
}
