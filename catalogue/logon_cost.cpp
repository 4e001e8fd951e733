// logon_cost.cpp - a strict reader of the per-user logon record, the
// choice of a user's newest one, and each entry's cost at that logon.
//
// Known: the records are kept under %windir%\System32\wdi\LogFiles\StartupInfo,
// one file per user named after the user's SID, readable by administrators
// only; Task Manager's bands (high above 1 s of CPU or 3 MB of disk, low
// below 300 ms and 300 KB) are drawn from them.
// Assumed, since Windows documents none of it:
//   - the name is "<SID>_StartupInfo<N>.xml"; what N counts is not known,
//     so the file written last is taken (the higher N on a tie);
//   - the text is UTF-16 or UTF-8 XML: a StartupData root holding Process
//     elements with the attributes Name (the program's full path) and
//     StartTime ("2026-12-08T08:12:03.123Z", UTC; taken as local time when
//     written without the "Z"), and the children CommandLine (may be
//     absent), CpuUsage (Units "us": microseconds) and DiskUsage (Units
//     "bytes"); other elements and attributes are passed over;
//   - figures are whole non-negative numbers; MB and KB are decimal.
// What does not fit these assumptions refuses the record with its cause
// rather than being guessed at: no cost is better than a wrong one.
#include "logon_cost.h"

#include "task_xml.h"

#include "../platform/platform.h"

#include <string.h>

#define LOGON_DEPTH 16
#define LOGON_NAME 48

enum { LEAF_NONE = 0, LEAF_COMMAND = 1, LEAF_CPU = 2, LEAF_DISK = 4 };

struct LogonReader {
    const char *text;
    size_t length;
    size_t at;
    char stack[LOGON_DEPTH][LOGON_NAME];
    int depth;
    int rootClosed;
    LogonProcess *process; // the Process being read (null: none)
    int seen;              // its leaves read so far
    int timeSeen;
    int leaf;              // the leaf being read
    char value[COMMAND_FIELD_SIZE];
    size_t valueLength;
    int valueCut;
    LogonRecord *record;
};

// Always zero, so a refusal is one line.
static int Refuse(LogonReader *r, const char *why)
{
    if (r->process)
        TextFormat(r->record->cause, sizeof r->record->cause, "%s (process %d)", why,
                   (int)r->record->count);
    else
        TextCopy(r->record->cause, sizeof r->record->cause, why);
    return 0;
}

static int IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static int IsNameChar(char c)
{
    return c && !strchr(" \t\r\n/>=\"'<&", c);
}

// Appends what fits; once cut, nothing more, so a field never loses its
// middle. A character split by the cut is dropped later (TaskFieldCopy).
static void Put(char *out, size_t size, size_t *length, int *cut, const char *bytes, size_t n)
{
    if (*cut)
        return;
    if (*length + n >= size) {
        *cut = 1;
        n = size - 1 - *length;
    }
    memcpy(out + *length, bytes, n);
    *length += n;
    out[*length] = '\0';
}

// One reference after "&" at p: its UTF-8 into out, *used the characters
// it took; zero when it is no reference XML defines.
static size_t Reference(const char *p, size_t left, char *out, size_t *used)
{
    static const struct { const char *name; char c; } named[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto &entity : named) {
        size_t n = strlen(entity.name);
        if (left >= n && memcmp(p, entity.name, n) == 0) {
            out[0] = entity.c;
            *used = n;
            return 1;
        }
    }
    if (left < 3 || p[0] != '#')
        return 0;
    int hex = p[1] == 'x';
    size_t i = hex ? 2 : 1, digits = 0;
    uint32_t code = 0;
    for (; i < left && digits < 7; ++i, ++digits) {
        char c = p[i];
        int d = c >= '0' && c <= '9'                         ? c - '0'
                : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                             : -1;
        if (d < 0)
            break;
        code = code * (hex ? 16 : 10) + (uint32_t)d;
    }
    // A zero would end the field early; a surrogate is no character.
    if (!digits || i >= left || p[i] != ';' || code == 0 || code > 0x10FFFF
        || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    *used = i + 1;
    return TaskPutUtf8(code, out);
}

// Text of count characters at from, references replaced, appended to out
// (size bytes, *length used; past a cut only checked). Zero when malformed.
static int ReadRun(LogonReader *r, const char *from, size_t count, char *out, size_t size,
                   size_t *length, int *cut)
{
    for (size_t i = 0; i < count;) {
        if (from[i] == '<')
            return Refuse(r, "a \"<\" inside a value");
        if (from[i] != '&') {
            size_t run = i;
            while (run < count && from[run] != '&' && from[run] != '<')
                ++run;
            Put(out, size, length, cut, from + i, run - i);
            i = run;
            continue;
        }
        char utf8[4];
        size_t used = 0, n = Reference(from + i + 1, count - i - 1, utf8, &used);
        if (!n)
            return Refuse(r, "a reference to no known character");
        Put(out, size, length, cut, utf8, n);
        i += 1 + used;
    }
    return 1;
}

static void Trim(char *text)
{
    size_t start = 0, end = strlen(text);
    while (start < end && IsSpace(text[start]))
        ++start;
    while (end > start && IsSpace(text[end - 1]))
        --end;
    memmove(text, text + start, end - start);
    text[end - start] = '\0';
}

// A figure: digits only, within int64. NULL when read, else what is wrong.
static const char *ReadFigure(const char *text, int64_t *value)
{
    *value = 0;
    if (!text[0])
        return "an empty figure";
    if (text[0] == '-')
        return "a negative figure";
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return "a figure that is no whole number";
        int d = *p - '0';
        if (*value > (INT64_MAX - d) / 10)
            return "a figure too large to be true";
        *value = *value * 10 + d;
    }
    return NULL;
}

static int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

static void CivilFromDays(int64_t z, int *month, int *day)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *day = (int)(doy - (153 * mp + 2) / 5 + 1);
    *month = (int)(mp < 10 ? mp + 3 : mp - 9);
}

static int Digits(const char *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// "YYYY-MM-DDTHH:MM:SS[.fff][Z]" as seconds since 1970; zero when not so.
static int ReadTime(const char *t, int64_t *seconds, int32_t *zoned)
{
    if (strlen(t) < 19 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':'
        || t[16] != ':')
        return 0;
    int year = Digits(t, 4), month = Digits(t + 5, 2), day = Digits(t + 8, 2);
    int hour = Digits(t + 11, 2), minute = Digits(t + 14, 2), second = Digits(t + 17, 2);
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 60)
        return 0;
    const char *rest = t + 19;
    if (*rest == '.') {
        ++rest;
        if (*rest < '0' || *rest > '9')
            return 0;
        while (*rest >= '0' && *rest <= '9')
            ++rest;
    }
    *zoned = *rest == 'Z';
    if (*rest == 'Z')
        ++rest;
    if (*rest)
        return 0;
    *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return 1;
}

// An attribute's value, at the quote that opens it, read into out.
static int ReadAttribute(LogonReader *r, char *out, size_t size, int *cut)
{
    char quote = r->text[r->at];
    if (quote != '"' && quote != '\'')
        return Refuse(r, "an attribute without a quoted value");
    const char *from = r->text + r->at + 1;
    const char *close = (const char *)memchr(from, quote, r->length - r->at - 1);
    if (!close)
        return Refuse(r, "the record ends inside an attribute");
    size_t length = 0;
    out[0] = '\0';
    r->at = (size_t)(close - r->text) + 1;
    return ReadRun(r, from, (size_t)(close - from), out, size, &length, cut);
}

static int UnitsKnown(int leaf, const char *units)
{
    if (leaf == LEAF_CPU)
        return strcmp(units, "us") == 0 || strcmp(units, "microseconds") == 0;
    return strcmp(units, "bytes") == 0 || strcmp(units, "B") == 0;
}

// The attributes of a start tag, up to its end; *empty for "/>".
static int ReadAttributes(LogonReader *r, const char *element, int leaf, int *empty)
{
    *empty = 0;
    for (;;) {
        while (r->at < r->length && IsSpace(r->text[r->at]))
            ++r->at;
        if (r->at >= r->length)
            return Refuse(r, "the record ends inside a tag");
        if (r->text[r->at] == '>') {
            ++r->at;
            return 1;
        }
        if (r->text[r->at] == '/') {
            if (r->at + 1 >= r->length || r->text[r->at + 1] != '>')
                return Refuse(r, "a malformed tag");
            r->at += 2;
            *empty = 1;
            return 1;
        }
        size_t nameStart = r->at;
        while (r->at < r->length && IsNameChar(r->text[r->at]))
            ++r->at;
        size_t nameLength = r->at - nameStart;
        while (r->at < r->length && IsSpace(r->text[r->at]))
            ++r->at;
        if (!nameLength || r->at >= r->length || r->text[r->at] != '=')
            return Refuse(r, "a malformed attribute");
        ++r->at;
        while (r->at < r->length && IsSpace(r->text[r->at]))
            ++r->at;
        if (r->at >= r->length)
            return Refuse(r, "the record ends inside a tag");
        const char *name = r->text + nameStart;
        int cut = 0;
        if (r->process && r->depth == 2 && strcmp(element, "Process") == 0 && nameLength == 4
            && memcmp(name, "Name", 4) == 0) {
            LogonProcess *p = r->process;
            if (!ReadAttribute(r, p->image, sizeof p->image, &cut))
                return 0;
            p->imageCut = cut;
            if (cut)
                TaskFieldCopy(p->image, sizeof p->image, p->image);
        } else if (r->process && r->depth == 2 && strcmp(element, "Process") == 0 && nameLength == 9
                   && memcmp(name, "StartTime", 9) == 0) {
            LogonProcess *p = r->process;
            if (!ReadAttribute(r, p->startTime, sizeof p->startTime, &cut))
                return 0;
            if (cut || !ReadTime(p->startTime, &p->startSeconds, &p->startZoned))
                return Refuse(r, "a start time not written as a date and time");
            r->timeSeen = 1;
        } else if ((leaf == LEAF_CPU || leaf == LEAF_DISK) && nameLength == 5
                   && memcmp(name, "Units", 5) == 0) {
            char units[32];
            if (!ReadAttribute(r, units, sizeof units, &cut))
                return 0;
            if (cut || !UnitsKnown(leaf, units))
                return Refuse(r, leaf == LEAF_CPU ? "CPU time in units this reader does not know"
                                                  : "disk use in units this reader does not know");
        } else {
            char skipped[1];
            cut = 0;
            if (!ReadAttribute(r, skipped, sizeof skipped, &cut))
                return 0;
        }
    }
}

static int EndLeaf(LogonReader *r)
{
    LogonProcess *p = r->process;
    Trim(r->value);
    if (r->leaf == LEAF_COMMAND) {
        p->commandLineCut = r->valueCut;
        TaskFieldCopy(p->commandLine, sizeof p->commandLine, r->value);
        return 1;
    }
    int64_t *figure = r->leaf == LEAF_CPU ? &p->cpuMicroseconds : &p->diskBytes;
    const char *wrong = r->valueCut ? "a figure too long to be true" : ReadFigure(r->value, figure);
    return wrong ? Refuse(r, wrong) : 1;
}

static int EndProcess(LogonReader *r)
{
    LogonProcess *p = r->process;
    if (!p->image[0])
        return Refuse(r, "a process without its program");
    if (!r->timeSeen)
        return Refuse(r, "a process without its start time");
    if (!(r->seen & LEAF_CPU) || !(r->seen & LEAF_DISK))
        return Refuse(r, "a process without its CPU time or its disk use");
    r->process = NULL;
    return 1;
}

// The end of the element on top of the stack.
static int EndElement(LogonReader *r)
{
    if (r->leaf && !EndLeaf(r))
        return 0;
    if (r->process && r->depth == 2 && !EndProcess(r))
        return 0;
    r->leaf = LEAF_NONE;
    if (--r->depth == 0)
        r->rootClosed = 1;
    return 1;
}

// A tag's local name ("x:Process" is "Process") into name; zero when none.
static int ReadName(LogonReader *r, char *name)
{
    size_t start = r->at;
    while (r->at < r->length && IsNameChar(r->text[r->at]))
        ++r->at;
    size_t length = r->at - start;
    const char *text = r->text + start;
    const char *colon = (const char *)memchr(text, ':', length);
    if (colon) {
        length -= (size_t)(colon + 1 - text);
        text = colon + 1;
    }
    if (!length || length >= LOGON_NAME)
        return 0;
    memcpy(name, text, length);
    name[length] = '\0';
    return 1;
}

static int StartTag(LogonReader *r)
{
    char name[LOGON_NAME];
    ++r->at;
    if (!ReadName(r, name))
        return Refuse(r, "a tag without a name this reader takes");
    if (r->leaf)
        return Refuse(r, "an element inside a value");
    if (r->rootClosed)
        return Refuse(r, "a second root element");
    if (r->depth >= LOGON_DEPTH)
        return Refuse(r, "elements nested too deep");
    if (r->depth == 0 && strcmp(name, "StartupData") != 0)
        return Refuse(r, "not a record of a logon (its root is no StartupData)");
    int leaf = LEAF_NONE;
    if (r->depth == 1 && strcmp(name, "Process") == 0) {
        LogonRecord *record = r->record;
        if (record->count >= LOGON_PROCESSES_MOST)
            return Refuse(r, "more processes than this reader takes");
        r->process = &record->processes[record->count++];
        r->seen = 0;
        r->timeSeen = 0;
    } else if (r->depth == 2 && r->process) {
        leaf = strcmp(name, "CommandLine") == 0 ? LEAF_COMMAND
               : strcmp(name, "CpuUsage") == 0  ? LEAF_CPU
               : strcmp(name, "DiskUsage") == 0 ? LEAF_DISK
                                                : LEAF_NONE;
        if (r->seen & leaf)
            return Refuse(r, "a process with a figure given twice");
        r->seen |= leaf;
    }
    TextCopy(r->stack[r->depth], LOGON_NAME, name);
    ++r->depth;
    int empty = 0;
    if (!ReadAttributes(r, name, leaf, &empty))
        return 0;
    r->leaf = leaf;
    r->valueLength = 0;
    r->valueCut = 0;
    r->value[0] = '\0';
    return empty ? EndElement(r) : 1;
}

static int EndTag(LogonReader *r)
{
    char name[LOGON_NAME];
    r->at += 2;
    if (!ReadName(r, name))
        return Refuse(r, "an end tag without a name this reader takes");
    while (r->at < r->length && IsSpace(r->text[r->at]))
        ++r->at;
    if (r->at >= r->length)
        return Refuse(r, "the record ends inside a tag");
    if (r->text[r->at] != '>')
        return Refuse(r, "a malformed end tag");
    ++r->at;
    if (r->depth == 0 || strcmp(r->stack[r->depth - 1], name) != 0)
        return Refuse(r, "an element closed by another's end tag");
    return EndElement(r);
}

static int SkipPast(LogonReader *r, const char *end)
{
    size_t n = strlen(end);
    for (size_t i = r->at; i + n <= r->length; ++i) {
        if (memcmp(r->text + i, end, n) == 0) {
            r->at = i + n;
            return 1;
        }
    }
    return Refuse(r, "the record ends inside a comment or a declaration");
}

static int StartsWith(const LogonReader *r, const char *prefix)
{
    size_t n = strlen(prefix);
    return r->length - r->at >= n && memcmp(r->text + r->at, prefix, n) == 0;
}

static int ReadRecord(LogonReader *r)
{
    while (r->at < r->length) {
        const char *p = r->text + r->at;
        size_t left = r->length - r->at;
        if (*p != '<') {
            const char *next = (const char *)memchr(p, '<', left);
            size_t n = next ? (size_t)(next - p) : left;
            if (r->depth == 0) {
                for (size_t i = 0; i < n; ++i)
                    if (!IsSpace(p[i]))
                        return Refuse(r, "text outside the record's root");
            } else if (r->leaf) {
                if (!ReadRun(r, p, n, r->value, sizeof r->value, &r->valueLength, &r->valueCut))
                    return 0;
            } else {
                char skipped[1];
                size_t length = 0;
                int cut = 0;
                if (!ReadRun(r, p, n, skipped, sizeof skipped, &length, &cut))
                    return 0;
            }
            r->at += n;
        } else if (StartsWith(r, "<!--")) {
            if (!SkipPast(r, "-->"))
                return 0;
        } else if (StartsWith(r, "<?")) {
            if (!SkipPast(r, "?>"))
                return 0;
        } else if (StartsWith(r, "<!")) {
            // A document type could define entities of its own: not taken.
            return Refuse(r, "a document type or CDATA section, which a record never holds");
        } else if (StartsWith(r, "</")) {
            if (!EndTag(r))
                return 0;
        } else if (!StartTag(r)) {
            return 0;
        }
    }
    if (!r->rootClosed)
        return Refuse(r, r->depth ? "the record ends early" : "no StartupData element");
    return 1;
}

int ParseLogonRecord(const void *data, size_t size, LogonRecord *record)
{
    memset(record, 0, sizeof *record);
    int whole = 0;
    if (!data || size == 0) {
        TextCopy(record->cause, sizeof record->cause, "the record is empty");
    } else if (size > LOGON_FILE_MOST) {
        TextCopy(record->cause, sizeof record->cause, "the record is larger than any logon's");
    } else {
        size_t length = 0;
        char *text = DecodeTextDocument(data, size, &length);
        LogonReader *r = text ? (LogonReader *)PlatAllocZero(sizeof *r) : NULL;
        if (r) {
            r->text = text;
            r->length = length;
            r->record = record;
            // A zero ends the text (task_xml.cpp): a record cut there
            // is refused as ending early.
            whole = ReadRecord(r);
            PlatFree(r);
        } else {
            TextCopy(record->cause, sizeof record->cause, "no memory to read the record");
        }
        PlatFree(text);
    }
    if (!whole) {
        char cause[TEXT_FIELD_SIZE];
        TextCopy(cause, sizeof cause, record->cause);
        memset(record, 0, sizeof *record);
        TextCopy(record->cause, sizeof record->cause, cause);
    }
    return whole;
}

// ---- the newest record of a user ----

static int StartsNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'a' && a <= 'z')
            a = (char)(a - 32);
        if (b >= 'a' && b <= 'z')
            b = (char)(b - 32);
        if (a != b)
            return 0;
    }
    return 1;
}

// N of "<sid>_StartupInfo<N>.xml", -1 when name is not such a name.
static int64_t RecordNumber(const char *name, const char *sid)
{
    size_t sidLength = strlen(sid);
    if (!sidLength || !StartsNoCase(name, sid))
        return -1;
    // The "_" after the SID keeps S-1-5-21-1-100 from taking S-1-5-21-1-1000's.
    const char *p = name + sidLength;
    if (!StartsNoCase(p, "_StartupInfo"))
        return -1;
    p += strlen("_StartupInfo");
    int64_t n = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 9; ++p, ++digits)
        n = n * 10 + (*p - '0');
    if (!digits || !StartsNoCase(p, ".xml") || p[4])
        return -1;
    return n;
}

int32_t ChooseLogonFile(const LogonFileName *files, int32_t count, const char *sid)
{
    int32_t best = -1;
    int64_t bestNumber = -1;
    for (int32_t i = 0; i < count; ++i) {
        // A listed name may lack its terminator.
        char name[TEXT_FIELD_SIZE];
        size_t length = TextLengthIn(files[i].name, sizeof files[i].name);
        if (length >= sizeof name)
            continue;
        memcpy(name, files[i].name, length);
        name[length] = '\0';
        int64_t n = RecordNumber(name, sid ? sid : "");
        if (n < 0)
            continue;
        if (best < 0 || files[i].writeTime > files[best].writeTime
            || (files[i].writeTime == files[best].writeTime && n > bestNumber)) {
            best = i;
            bestNumber = n;
        }
    }
    return best;
}

// ---- an entry's process ----

// A full path as compared: trimmed, unquoted, without \\?\ or \??\, "/" as
// "\"; zero when it is no full path (a bare name never matches) or cut.
static int ComparablePath(const char *path, char *out, size_t size)
{
    char text[TEXT_FIELD_SIZE];
    if (!path || !TextCopy(text, sizeof text, path))
        return 0;
    Trim(text);
    size_t n = strlen(text);
    if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
        text[n - 1] = '\0';
        memmove(text, text + 1, n - 1);
        Trim(text);
    }
    for (char *p = text; *p; ++p)
        if (*p == '/')
            *p = '\\';
    const char *from = text;
    int unc = 0;
    if (StartsNoCase(text, "\\\\?\\UNC\\") || StartsNoCase(text, "\\??\\UNC\\")) {
        from = text + 8;
        unc = 1;
    } else if (StartsNoCase(text, "\\\\?\\") || StartsNoCase(text, "\\??\\")) {
        from = text + 4;
    }
    if (!TextFormat(out, size, "%s%s", unc ? "\\\\" : "", from))
        return 0;
    int drive = ((out[0] | 0x20) >= 'a' && (out[0] | 0x20) <= 'z') && out[1] == ':'
                && out[2] == '\\';
    int share = out[0] == '\\' && out[1] == '\\' && out[2] && out[2] != '\\';
    return drive || share;
}

static int64_t AddSaturated(int64_t a, int64_t b)
{
    return a > INT64_MAX - b ? INT64_MAX : a + b;
}

void FindLogonCost(const LogonRecord *record, const char *program, const char *commandLine,
                   LogonCost *cost)
{
    memset(cost, 0, sizeof *cost);
    cost->state = LOGON_COST_NO_MATCH;
    for (int32_t i = 0; i < record->count; ++i) {
        const LogonProcess *p = &record->processes[i];
        if (i == 0 || p->startSeconds < cost->logonSeconds) {
            cost->logonSeconds = p->startSeconds;
            cost->logonZoned = p->startZoned;
        }
    }
    char path[TEXT_FIELD_SIZE], command[COMMAND_FIELD_SIZE];
    int byPath = ComparablePath(program, path, sizeof path);
    int byCommand = commandLine && TextCopy(command, sizeof command, commandLine);
    if (byCommand) {
        Trim(command);
        byCommand = command[0] != '\0';
    }
    // 1: path only; 2: path and command line; 4: command line only.
    unsigned char how[LOGON_PROCESSES_MOST];
    int paths = 0, both = 0;
    for (int32_t i = 0; i < record->count; ++i) {
        const LogonProcess *p = &record->processes[i];
        char image[TEXT_FIELD_SIZE];
        int samePath = byPath && !p->imageCut && ComparablePath(p->image, image, sizeof image)
                       && TextCompareNoCase(image, path) == 0;
        // Once the entry's path is known, a process of another full path
        // is not its own, whatever its command line says ("tray.exe").
        int sameCommand = byCommand && !p->commandLineCut && strcmp(p->commandLine, command) == 0
                          && (samePath || !byPath || !ComparablePath(p->image, image, sizeof image));
        how[i] = (unsigned char)(samePath ? (sameCommand ? 2 : 1) : sameCommand ? 4 : 0);
        paths += samePath;
        both += samePath && sameCommand;
    }
    unsigned take = both && paths > 1 ? 2u : paths ? 3u : 4u;
    for (int32_t i = 0; i < record->count; ++i) {
        if (!(how[i] & take))
            continue;
        cost->cpuMicroseconds = AddSaturated(cost->cpuMicroseconds,
                                             record->processes[i].cpuMicroseconds);
        cost->diskBytes = AddSaturated(cost->diskBytes, record->processes[i].diskBytes);
        ++cost->starts;
    }
    if (cost->starts) {
        cost->state = LOGON_COST_MEASURED;
        cost->byCommandLine = take == 4;
        cost->commandMatched = take != 3 || both > 0;
    }
}

// ---- the wording ----

const char *LogonCostBand(int64_t cpuMicroseconds, int64_t diskBytes)
{
    if (cpuMicroseconds > 1000000 || diskBytes > 3000000)
        return "high";
    if (cpuMicroseconds < 300000 && diskBytes < 300000)
        return "low";
    return "medium";
}

// value / unit rounded half up, without overflowing near INT64_MAX.
static int64_t Rounded(int64_t value, int64_t unit)
{
    return value / unit + (value % unit >= unit - unit / 2 ? 1 : 0);
}

static void CpuText(int64_t us, char *out, size_t size)
{
    us = us < 0 ? 0 : us;
    if (us < 1000)
        TextFormat(out, size, "%lld \xC2\xB5s", (long long)us);
    else if (Rounded(us, 1000) < 1000)
        TextFormat(out, size, "%lld ms", (long long)Rounded(us, 1000));
    else {
        int64_t tenths = Rounded(us, 100000);
        TextFormat(out, size, "%lld.%lld s", (long long)(tenths / 10), (long long)(tenths % 10));
    }
}

static void DiskText(int64_t bytes, char *out, size_t size)
{
    bytes = bytes < 0 ? 0 : bytes;
    if (bytes < 1000) {
        TextFormat(out, size, "%lld bytes", (long long)bytes);
        return;
    }
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    int64_t per = 100; // bytes in a tenth of the unit
    int64_t tenths = Rounded(bytes, per);
    while (tenths >= 10000 && unit < 5) {
        per *= 1000;
        ++unit;
        tenths = Rounded(bytes, per);
    }
    TextFormat(out, size, "%lld.%lld %s", (long long)(tenths / 10), (long long)(tenths % 10),
               units[unit]);
}

void LogonFiguresText(int64_t cpuMicroseconds, int64_t diskBytes, char *text, size_t size)
{
    char cpu[32], disk[32];
    CpuText(cpuMicroseconds, cpu, sizeof cpu);
    DiskText(diskBytes, disk, sizeof disk);
    TextFormat(text, size, "%s, %s", cpu, disk);
}

void LogonCostText(const LogonCost *cost, int32_t utcOffsetMinutes, char *text, size_t size)
{
    switch (cost->state) {
    case LOGON_COST_MEASURED:
        break;
    case LOGON_COST_NO_RECORD:
        TextCopy(text, size, "Not measured: Windows kept no record of this user's last logon");
        return;
    case LOGON_COST_UNREADABLE:
        if (cost->cause[0])
            TextFormat(text, size, "Not measured: the record of the last logon could not be read (%s)",
                       cost->cause);
        else
            TextCopy(text, size,
                     "Not measured: the record of the last logon is readable only by an administrator");
        return;
    case LOGON_COST_REFUSED:
        TextFormat(text, size, "Not measured: the record of the last logon was not understood (%s)",
                   cost->cause);
        return;
    default:
        if (cost->cause[0])
            TextFormat(text, size, "Not measured: %s", cost->cause);
        else
            TextCopy(text, size, "Not measured: it was not started at the last logon");
        return;
    }
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int64_t seconds = cost->logonSeconds + (cost->logonZoned ? (int64_t)utcOffsetMinutes * 60 : 0);
    int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    int64_t inDay = seconds - days * 86400;
    int month = 1, day = 1;
    CivilFromDays(days, &month, &day);
    char cpu[32], disk[32], starts[32] = "";
    CpuText(cost->cpuMicroseconds, cpu, sizeof cpu);
    DiskText(cost->diskBytes, disk, sizeof disk);
    if (cost->starts > 1)
        TextFormat(starts, sizeof starts, " over %d starts", (int)cost->starts);
    TextFormat(text, size, "At the logon of %d %s %02d:%02d: CPU %s, disk %s%s (Task Manager's band: %s)",
               day, months[month - 1], (int)(inDay / 3600), (int)(inDay % 3600 / 60), cpu, disk,
               starts, LogonCostBand(cost->cpuMicroseconds, cost->diskBytes));
}
