// fuzz_entries.cpp - see fuzz_entries.h. A broken promise aborts, which the
// fuzzer reports as a crash and the replaying unit test as a death.
#include "fuzz_entries.h"

#include "../../catalogue/catalogue.h"
#include "../../catalogue/app_manifest.h"
#include "../../catalogue/logon_cost.h"
#include "../../catalogue/task_xml.h"
#include "../../report/html_log.h"
#include "../../store/reg_reader.h"
#include "../../store/journal.h"
#include "../support/memory_platform.h"

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

void Require(bool condition)
{
    if (!condition)
        abort();
}

bool Terminated(const char *field, size_t size)
{
    return memchr(field, 0, size) != NULL;
}

void Prepare()
{
    static bool ready = false;
    if (!ready) {
        MemReset();
        MemSetEnv("LONG", std::string(300, 'L').c_str());
        MemSetEnv("E", "");
        MemAddFolder("C:\\Reports");
        ready = true;
    }
}

// Copies up to size bytes into a field; with raw, the field may be left
// full and unterminated, as a corrupt record might be.
size_t FillField(char *field, size_t fieldSize, const uint8_t *data, size_t size, bool raw)
{
    size_t take = size < fieldSize ? size : fieldSize;
    memset(field, 0, fieldSize);
    memcpy(field, data, take);
    if (!raw)
        field[fieldSize - 1] = '\0';
    return take;
}

} // namespace

int FuzzParseCommand(const uint8_t *data, size_t size)
{
    Prepare();
    AutostartItem item;
    memset(&item, 0xAB, sizeof item);
    FillField(item.command, sizeof item.command, data, size, false);
    ParseCommand(&item);
    Require(Terminated(item.target, sizeof item.target));
    Require(Terminated(item.parameters, sizeof item.parameters));
    // The parameters are the command's own text.
    Require(strstr(item.command, item.parameters) != NULL);
    TargetFolderOf(item.target, item.targetFolder);
    Require(Terminated(item.targetFolder, sizeof item.targetFolder));
    Require(strncmp(item.targetFolder, item.target, strlen(item.targetFolder)) == 0);
    return 0;
}

int FuzzHtmlLog(const uint8_t *data, size_t size)
{
    Prepare();
    const int kRecords = 3;
    AutostartItem items[kRecords + 1];
    memset(items, 0, sizeof items);
    bool raw = size > 0 && (data[0] & 1);
    for (int r = 0; r < kRecords; ++r) {
        AutostartItem &item = items[r];
        item.kind = size > (size_t)r ? data[r] % 3 : 0;
        item.enabled = size > (size_t)r + 3 ? data[r + 3] & 1 : 1;
        // A cut name, command or link path is shown with "..." after it.
        item.cut = size > (size_t)r + 6 ? data[r + 6] & 1 : 0;
        item.commandCut = size > (size_t)r + 6 ? (data[r + 6] >> 1) & 1 : 0;
        char *fields[] = {item.name, item.command, item.location, item.description, item.company};
        size_t sizes[] = {sizeof item.name, sizeof item.command, sizeof item.location,
                          sizeof item.description, sizeof item.company};
        for (size_t f = 0; f < sizeof fields / sizeof *fields; ++f) {
            size_t used = FillField(fields[f], sizes[f], data, size, raw);
            data += used / 2;
            size -= used / 2;
        }
        TextCopy(item.scope, sizeof item.scope, r % 2 ? "usr" : "ALL");
    }
    CatalogueData saved = ItemCatalogue;
    ItemCatalogue.items = items;
    ItemCatalogue.count = kRecords;
    WriteHtmlLog("C:\\Reports\\fuzz.html");
    ItemCatalogue = saved;

    std::string report = MemFileBytes("C:\\Reports\\fuzz.html");
    const std::string head = "<html>\n<head>\n<meta http-equiv=\"Content-Type\" "
                             "content=\"text/html; charset=windows-1252\">\n"
                             "<title>Orvane Items</title>\n";
    const std::string tail = "</font></body>\n</html>";
    Require(report.compare(0, head.size(), head) == 0);
    Require(report.size() >= tail.size()
            && report.compare(report.size() - tail.size(), tail.size(), tail) == 0);
    // Escaped fields never open a tag: one heading per record, no more.
    size_t headings = 0;
    for (size_t at = report.find("<h3>"); at != std::string::npos; at = report.find("<h3>", at + 1))
        ++headings;
    Require(headings == (size_t)kRecords);
    Require(report.find("<script") == std::string::npos);
    return 0;
}

int FuzzTaskXml(const uint8_t *data, size_t size)
{
    TaskDefinition task;
    ParseTaskXml(data, size, &task);
    const struct { const char *text; size_t size; } fields[] = {
        {task.triggers, sizeof task.triggers}, {task.author, sizeof task.author},
        {task.program, sizeof task.program}, {task.arguments, sizeof task.arguments},
        {task.workingDirectory, sizeof task.workingDirectory}, {task.classId, sizeof task.classId},
        {task.runAs, sizeof task.runAs}};
    for (const auto &field : fields)
        if (TextLengthIn(field.text, field.size) >= field.size)
            abort();
    uint32_t utf16 = 0;
    void *bytes = TaskXmlToUtf16((const char *)data, size, &utf16);
    if (bytes && (utf16 < 2 || utf16 > 2 * size + 2))
        abort();
    PlatFree(bytes);
    return 0;
}

int FuzzAppManifest(const uint8_t *data, size_t size)
{
    AppManifest m;
    ParseAppManifest(data, size, &m);
    Require(m.taskCount >= 0 && m.taskCount <= APP_TASKS_MOST && m.tasksLeftOut >= 0);
    Require(TextLengthIn(m.name, sizeof m.name) < sizeof m.name);
    Require(TextLengthIn(m.publisher, sizeof m.publisher) < sizeof m.publisher);
    Require(TextLengthIn(m.version, sizeof m.version) < sizeof m.version);
    for (int32_t i = 0; i < m.taskCount; ++i) {
        const AppStartupTask &task = m.tasks[i];
        Require(TextLengthIn(task.taskId, sizeof task.taskId) < sizeof task.taskId);
        Require(TextLengthIn(task.displayName, sizeof task.displayName) < sizeof task.displayName);
        Require(TextLengthIn(task.executable, sizeof task.executable) < sizeof task.executable);
    }
    return 0;
}

int FuzzRegReader(const uint8_t *data, size_t size)
{
    RegFileContent content;
    uint32_t line = 0;
    int result = ReadRegText(data, (uint32_t)size, &content, &line);
    Require(result == RegReadDone ? line == 0 : content.count == 0 && !content.values);
    for (int32_t i = 0; i < content.count; ++i) {
        const RegFileValue &v = content.values[i];
        Require(v.name && strlen(v.name) <= 3 * size);
        Require(TextLengthIn(v.path, sizeof v.path) < sizeof v.path && v.path[0]);
        Require(v.deleted ? v.size == 0 : v.size <= size);
        // Every byte of the value is within the block the reader made.
        Require(v.size == 0 || (v.data >= content.arena && v.data + v.size <= content.arena + 4 * size + 64));
    }
    FreeRegContent(&content);
    return 0;
}

int FuzzJournal(const uint8_t *data, size_t size)
{
    Prepare();
    const char *path = MEM_LOCAL_APPDATA_FOLDER "\\History.txt";
    MemAddFile(path, std::string((const char *)data, size));
    JournalList list;
    long cause = ReadJournal(path, &list);
    Require(cause == PLAT_OK || (list.count == 0 && !list.records));
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i)
        lines += data[i] == '\n';
    Require((size_t)list.count <= lines && list.torn >= 0 && list.older >= 0);
    for (int32_t i = 0; i < list.count; ++i) {
        const JournalRecord &r = list.records[i];
        Require(r.number > 0 && r.number <= list.lastNumber);
        Require(TextLengthIn(r.name, sizeof r.name) < sizeof r.name);
        Require(TextLengthIn(r.commandAfter, sizeof r.commandAfter) < sizeof r.commandAfter);
        Require(TextLengthIn(r.backupHash, sizeof r.backupHash) < sizeof r.backupHash);
        char words[JOURNAL_WORDS_SIZE];
        JournalWords(&list, &r, words, sizeof words);
    }
    FreeJournal(&list);
    return 0;
}

int FuzzLogonCost(const uint8_t *data, size_t size)
{
    LogonRecord *record = (LogonRecord *)PlatAllocZero(sizeof *record);
    if (!record)
        return 0;
    int whole = ParseLogonRecord(data, size, record);
    Require(Terminated(record->cause, sizeof record->cause));
    Require(whole ? record->cause[0] == '\0' : record->count == 0 && record->cause[0] != '\0');
    Require(record->count >= 0 && record->count <= LOGON_PROCESSES_MOST);
    for (int32_t i = 0; i < record->count; ++i) {
        const LogonProcess &p = record->processes[i];
        Require(Terminated(p.image, sizeof p.image) && p.image[0]);
        Require(Terminated(p.commandLine, sizeof p.commandLine));
        Require(Terminated(p.startTime, sizeof p.startTime));
        Require(p.cpuMicroseconds >= 0 && p.diskBytes >= 0);
    }
    LogonCost cost;
    const char *image = record->count ? record->processes[0].image : "";
    FindLogonCost(record, image, "", &cost);
    Require(cost.starts >= 0 && cost.starts <= record->count);
    bool drivePath = record->count && !record->processes[0].imageCut && image[0] && image[1] == ':'
                     && image[2] == '\\' && ((image[0] | 0x20) >= 'a' && (image[0] | 0x20) <= 'z');
    Require(!drivePath || cost.state == LOGON_COST_MEASURED);
    Require(cost.cpuMicroseconds >= 0 && cost.diskBytes >= 0);
    char text[TEXT_FIELD_SIZE];
    memset(text, 0xAB, sizeof text);
    LogonCostText(&cost, 120, text, sizeof text);
    Require(Terminated(text, sizeof text));
    PlatFree(record);
    return 0;
}
