// html_log.cpp - writes the catalogue as an HTML report.
//
// The report is a fixed head, a title line linking the product web site, a
// header (when, which computer, how many entries per place), one block per
// record and a fixed tail. The fixed fragments are byte-exact; every field
// value shows its control and bidirectional characters as escapes (\x08,
// \u202E), then is escaped (&, <, >, ") so that an entry named "<script>"
// stays text in a browser. Output is gathered in a buffer and written in
// large pieces; a failing write is passed over and writing goes on, and the
// result says the report is not whole.
#include "html_log.h"

#include "../catalogue/catalogue.h"
#include "../store/remembered.h"
#include "../resources/product.h"

#include <string.h>

namespace {

struct ReportWriter {
    PlatFile file;
    long failed; // the first failing write's cause, or PLAT_OK
    size_t used;
    char buffer[8192];
};

void Flush(ReportWriter *writer)
{
    if (writer->used > 0 && !PlatFileWrite(writer->file, writer->buffer, (uint32_t)writer->used)
        && !writer->failed)
        writer->failed = PlatLastError() ? PlatLastError() : (long)PLAT_ERROR_WRITE_FAULT;
    writer->used = 0;
}

void Put(ReportWriter *writer, const char *bytes, size_t length)
{
    while (length > 0) {
        if (writer->used == sizeof writer->buffer)
            Flush(writer);
        size_t room = sizeof writer->buffer - writer->used;
        size_t piece = length < room ? length : room;
        memcpy(writer->buffer + writer->used, bytes, piece);
        writer->used += piece;
        bytes += piece;
        length -= piece;
    }
}

void PutText(ReportWriter *writer, const char *text)
{
    Put(writer, text, strlen(text));
}

// A record field, escaped; read within its field even if unterminated.
void PutField(ReportWriter *writer, const char *field, size_t fieldSize)
{
    size_t length = TextLengthIn(field, fieldSize);
    for (size_t i = 0; i < length; ++i) {
        switch (field[i]) {
        case '&': PutText(writer, "&amp;"); break;
        case '<': PutText(writer, "&lt;"); break;
        case '>': PutText(writer, "&gt;"); break;
        case '"': PutText(writer, "&quot;"); break;
        default: Put(writer, &field[i], 1); break;
        }
    }
}

// A record field as the eye gets it: a control or bidirectional character
// as an escape (so that a command cannot pass for another), "..." where the
// record holds it cut, then HTML-escaped.
void PutShown(ReportWriter *writer, const char *field, size_t fieldSize, int cut)
{
    char whole[COMMAND_FIELD_SIZE + 1];
    char shown[4 * sizeof whole];
    size_t length = TextLengthIn(field, fieldSize);
    if (length > sizeof whole - 1) {
        length = sizeof whole - 1;
        cut = 1;
    }
    memcpy(whole, field, length);
    whole[length] = '\0';
    TextCopyVisible(shown, sizeof shown, whole, cut);
    PutField(writer, shown, sizeof shown);
}

#define PUT_SHOWN(writer, item, field) PutShown((writer), (item)->field, sizeof (item)->field, 0)

// change: what is new or changed about it since the user last looked, or
// empty.
void PutRecord(ReportWriter *w, const AutostartItem *item, const char *change)
{
    int nameCut = ItemNameCut(item);
    PutText(w, "<h3>");
    PutShown(w, ItemShownName(item), sizeof item->name, nameCut);
    PutText(w, "</h3><hr>\n<table border=\"0\"><tr><td width=\"100\">Name:</td><td>");
    PutShown(w, ItemShownName(item), sizeof item->name, nameCut);
    PutText(w, "</td></tr>\n<tr><td>Command:</td><td>");
    PutShown(w, item->command, sizeof item->command, item->commandCut);
    PutText(w, "</td></tr>\n");

    // The place as the registry editor names it: hive, and WOW6432Node for
    // the 32-bit view.
    char place[TEXT_FIELD_SIZE + 32];
    ItemPlaceText(item, 1, place, sizeof place);
    PutText(w, item->kind == ScheduledTask   ? "<tr><td>Task:</td><td>"
               : item->kind == RegistryValue || item->kind == PackagedApp
                       || item->kind == Service
                   ? "<tr><td>Reg_Path:</td><td>"
               : item->logonPlace            ? "<tr><td>File:</td><td>"
                                             : "<tr><td>LinkPath:</td><td>");
    PutShown(w, place, sizeof place, ItemLocationCut(item));
    PutText(w, "</td></tr>\n");

    if (item->enabled)
        PutText(w, "<tr><td>Status:</td><td><b>enabled</b></td></tr>\n");
    else if (item->approvalDisabled)
        PutText(w, "<tr><td>Status:</td><td><b>disabled</b> " APPROVAL_OFF_TEXT "</td></tr>\n");
    else
        PutText(w, "<tr><td>Status:</td><td><b>disabled</b></td></tr>\n");
    // In the list's words: which switch holds it off.
    PutText(w, "<tr><td>State:</td><td>");
    PutText(w, ItemStateText(item));
    PutText(w, "</td></tr>\n");

    PutText(w, "<tr><td>Description:</td><td>");
    PUT_SHOWN(w, item, description);
    PutText(w, "</td></tr>\n<tr><td>Company:</td><td>");
    PUT_SHOWN(w, item, company);
    PutText(w, "</td></tr>\n<tr><td>Publisher:</td><td>");
    PUT_SHOWN(w, item, publisher);
    PutText(w, "</td></tr>");
    // Its cost at the last logon and whether it runs now; the header says
    // what the figures cover.
    if (item->costText[0]) {
        PutText(w, "\n<tr><td>Cost:</td><td>");
        PUT_SHOWN(w, item, costText);
        PutText(w, "</td></tr>");
    }
    if (item->runningText[0]) {
        PutText(w, "\n<tr><td>Running:</td><td>");
        PUT_SHOWN(w, item, runningText);
        PutText(w, "</td></tr>");
    }
    if (change[0]) {
        PutText(w, "\n<tr><td>Change:</td><td><b>");
        PutShown(w, change, strlen(change) + 1, 0);
        PutText(w, "</b></td></tr>");
    }
    char notes[4 * TEXT_FIELD_SIZE];
    ItemNotes(item, notes, sizeof notes);
    if (notes[0]) {
        PutText(w, "\n<tr><td>Notes:</td><td>");
        PutShown(w, notes, sizeof notes, 0);
        PutText(w, "</td></tr>");
    }
    PutText(w, "</table><br><br>\n\n");
}

// ---- the header: when, where, and how many per place ----------------------

// What a place is called in the header: the Run-family key (its disabled
// sibling with it), the Startup folder, the scheduler, a logon place; with
// whose it is.
void PlaceLabel(const AutostartItem *item, char *text, size_t size)
{
    static const char *const logonNames[] = {
        "",           "Winlogon Userinit",  "Winlogon Shell", "Winlogon Shell",
        "Active Setup", "Logon script",     "RunOnceEx Depend", "Remote desktop StartupPrograms",
        "Load and Run of win.ini", "Policy Shell", "Winlogon Taskman, AppSetup, VmApplet",
        "Logon script", "Safe Mode AlternateShell", "Group Policy scripts",
        "Image File Execution Options Debugger", "Silent process exit monitor", "AppInit_DLLs",
        "AppCertDLLs", "BootExecute", "LSA packages"};
    const char *whose = ScopeIsUser(item->scope) ? "this user"
                        : item->view == View32   ? "all users, 32-bit"
                                                 : "all users";
    if (item->kind == ScheduledTask) {
        TextCopy(text, size, "Scheduled tasks");
        return;
    }
    if (item->kind == PackagedApp) {
        TextCopy(text, size, "Packaged apps (this user)");
        return;
    }
    if (item->kind == Service) {
        TextCopy(text, size, "Services (automatic, or switched off here)");
        return;
    }
    // Before the files: a script of Group Policy may be kept in an ini file.
    if (item->logonPlace > 0 && item->logonPlace < (int32_t)(sizeof logonNames / sizeof *logonNames)) {
        TextFormat(text, size, "%s (%s)", logonNames[item->logonPlace], whose);
        return;
    }
    if (item->kind == Shortcut) {
        TextFormat(text, size, "Startup folder (%s)", whose);
        return;
    }
    char key[TEXT_FIELD_SIZE];
    const char *start = item->location;
    size_t prefix = strlen(CURRENT_VERSION_KEY "\\");
    if (strncmp(start, POLICY_RUN_KEY, strlen(POLICY_RUN_KEY)) == 0)
        start = "Policy Run";
    else if (strncmp(start, CURRENT_VERSION_KEY "\\", prefix) == 0)
        start += prefix;
    TextCopy(key, sizeof key, start);
    // The section of RunOnceEx, and the "-" of the disabled sibling, go.
    key[strcspn(key, "\\-")] = '\0';
    TextFormat(text, size, "%s (%s)", key, whose);
}

#define HEADER_PLACES 64

struct PlaceCount {
    char label[96];
    int32_t entries;
    int32_t disabled;
};

void PutCount(ReportWriter *w, const char *label, int32_t entries, int32_t disabled)
{
    char line[160];
    TextFormat(line, sizeof line, ": %d %s, %d disabled<br>\n", (int)entries,
               entries == 1 ? "entry" : "entries", (int)disabled);
    PutField(w, label, strlen(label) + 1);
    PutText(w, line);
}

// The date and time, the computer, then each place in the order the list
// shows it, and all of them.
void PutHeader(ReportWriter *w)
{
    PlatTime now;
    PlatLocalTime(&now);
    char text[96];
    TextFormat(text, sizeof text, "\n<p>Date: %04d-%02d-%02d %02d:%02d:%02d<br>\nComputer: ",
               now.year, now.month, now.day, now.hour, now.minute, now.second);
    PutText(w, text);
    char computer[64];
    if (PlatComputerName(computer, sizeof computer))
        PutField(w, computer, sizeof computer);
    else
        PutText(w, "not known");
    PutText(w, "<br>\n");

    PlaceCount places[HEADER_PLACES];
    int used = 0;
    int32_t disabled = 0;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        char label[96];
        PlaceLabel(item, label, sizeof label);
        int at = 0;
        while (at < used && strcmp(places[at].label, label) != 0)
            ++at;
        if (at == used && used < HEADER_PLACES) {
            TextCopy(places[used].label, sizeof places[used].label, label);
            places[used].entries = places[used].disabled = 0;
            ++used;
        }
        // Beyond the table's room a place is counted in all of them only.
        if (at < used) {
            ++places[at].entries;
            places[at].disabled += !item->enabled;
        }
        disabled += !item->enabled;
    }
    for (int i = 0; i < used; ++i)
        PutCount(w, places[i].label, places[i].entries, places[i].disabled);
    PutCount(w, "In all", ItemCatalogue.count, disabled);
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        if (ItemCatalogue.items[i].costText[0]) {
            PutText(w, "Cost at the last logon: " COST_COVERS "<br>\n");
            break;
        }
    }
    if (ItemCatalogue.changed)
        PutText(w, "<b>" SCAN_STORAGE_CHANGED "</b><br>\n");
    // Tasks that may be missing, with the folder a name could make markup of.
    if (ItemCatalogue.tasksUnread[0]) {
        PutText(w, "<b>");
        PutShown(w, ItemCatalogue.tasksUnread, sizeof ItemCatalogue.tasksUnread, 0);
        PutText(w, "</b><br>\n");
    }
    PutText(w, "</p>\n");
}

// The name browsers know the process code page by: the report's bytes are
// that code page's text (UTF-8 under the manifest on Windows 10 1903 and on).
const char *CharsetName(uint32_t codePage)
{
    switch (codePage) {
    case 65001: return "utf-8";
    case 932: return "shift_jis";
    case 936: return "gb2312";
    case 949: return "ks_c_5601-1987";
    case 950: return "big5";
    case 874: return "windows-874";
    default: break;
    }
    static char name[24];
    if (codePage >= 1250 && codePage <= 1258) {
        TextFormat(name, sizeof name, "windows-%u", (unsigned)codePage);
        return name;
    }
    return "windows-1252";
}

} // namespace

// A new file beside path for the report to be written into: "<path>.new",
// else "<path>.2.new" ... (one left by a run that stopped is not touched).
static PlatFile CreateBeside(const char *path, char *beside, size_t size)
{
    for (int n = 1; n <= 9; ++n) {
        int named = n == 1 ? TextFormat(beside, size, "%s.new", path)
                           : TextFormat(beside, size, "%s.%d.new", path, n);
        if (!named)
            return NULL;
        PlatFile file = PlatFileCreateNew(beside);
        if (file || (PlatLastError() != PLAT_ERROR_ALREADY_EXISTS && PlatLastError() != 80))
            return file;
    }
    return NULL;
}

static int WriteReport(ReportWriter *writer);

// Written whole beside it first: a report that fails never costs the file
// it was to replace. Without replace an existing file stays, whenever it
// came (the move itself refuses it).
long WriteReportFile(const char *path, int replace)
{
    char beside[TEXT_FIELD_SIZE + 16];
    ReportWriter writer;
    writer.file = CreateBeside(path, beside, sizeof beside);
    writer.used = 0;
    writer.failed = 0;
    if (!writer.file)
        return PlatLastError() ? PlatLastError() : (long)PLAT_ERROR_INVALID_PARAMETER;
    if (!WriteReport(&writer)) {
        long cause = writer.failed ? writer.failed : PlatLastError();
        PlatDeleteFile(beside);
        return cause ? cause : (long)PLAT_ERROR_WRITE_FAULT;
    }
    if (replace ? PlatReplaceFile(beside, path) : PlatMoveFile(beside, path))
        return PLAT_OK;
    long cause = PlatLastError();
    PlatDeleteFile(beside);
    return cause ? cause : (long)PLAT_ERROR_WRITE_FAULT;
}

int WriteHtmlLog(const char *path)
{
    return WriteReportFile(path, 1) == PLAT_OK;
}

int WriteNewHtmlLog(const char *path)
{
    return WriteReportFile(path, 0) == PLAT_OK;
}

// The entries gone since the user last looked, named after the rest.
static void PutGone(ReportWriter *w, const RememberedList *seen, const RememberedMarks *marks,
                    const char *since)
{
    if (!marks->gone || !marks->goneCount)
        return;
    char head[96];
    TextFormat(head, sizeof head, "<h3>Gone since %s</h3><hr>\n<table border=\"0\">\n", since);
    PutText(w, head);
    for (int32_t j = 0; j < seen->count; ++j) {
        if (!marks->gone[j])
            continue;
        const RememberedEntry *e = &seen->entries[j];
        PutText(w, "<tr><td>");
        PutShown(w, e->name, sizeof e->name, 0);
        PutText(w, "</td><td>");
        PutShown(w, e->place, sizeof e->place, 0);
        PutText(w, "</td><td>");
        PutShown(w, e->command, sizeof e->command, 0);
        PutText(w, "</td></tr>\n");
    }
    PutText(w, "</table><br><br>\n\n");
}

static int WriteReport(ReportWriter *writer)
{
    PutText(writer, "<html>\n<head>\n<meta http-equiv=\"Content-Type\" "
                     "content=\"text/html; charset=");
    PutText(writer, CharsetName(PlatCodePage()));
    PutText(writer, "\">\n<title>Orvane Items</title>\n"
                     "<style> Table { font-size: 12; } </style>\n</head>\n<body>\n");
    PutText(writer, "<font face=\"Arial\" size=\"-1\">\n\nOrvane Items; List generated by "
                     "Orvane Tool. <a target=\"_blank\" href=\"");
    PutText(writer, ORVANE_WEB_SITE);
    PutText(writer, "\">");
    PutText(writer, ORVANE_WEB_SITE);
    PutText(writer, "</a><br>");
    PutHeader(writer);
    // Marked by the user's list of entries seen, when there is one to read.
    RememberedList seen;
    RememberedMarks marks;
    long cause = PLAT_OK;
    memset(&marks, 0, sizeof marks);
    if (ReadRemembered(NULL, 0, &seen, NULL, &cause) == RememberedDone)
        CompareRemembered(&ItemCatalogue, &seen, &marks);
    char since[32] = "", change[2 * COMMAND_FIELD_SIZE + 64];
    RememberedTimeText(&seen.accepted, since, sizeof since);
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        change[0] = '\0';
        int mark = marks.marks ? (int)marks.marks[i] : (int)MarkSame;
        if (mark != MarkSame) {
            char was[2 * COMMAND_FIELD_SIZE] = "";
            if (marks.was[i] >= 0)
                ChangeText(&ItemCatalogue.items[i], &seen.entries[marks.was[i]], was, sizeof was);
            TextFormat(change, sizeof change, "%s since %s%s%s", mark == MarkNew ? MARK_NEW : MARK_CHANGED,
                       since, was[0] ? ": " : "", was);
        }
        PutRecord(writer, &ItemCatalogue.items[i], change);
    }
    PutGone(writer, &seen, &marks, since);
    FreeMarks(&marks);
    FreeRemembered(&seen);
    PutText(writer, "</font></body>\n</html>");
    Flush(writer);
    return PlatFileClose(writer->file) && !writer->failed;
}

int CompleteLogPath(char *path, size_t pathSize)
{
    if (strstr(path, ".htm"))
        return 1;
    if (strlen(path) + strlen(".html") >= pathSize)
        return 0;
    return TextAppend(path, pathSize, ".html");
}
