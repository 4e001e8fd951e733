// task_xml.cpp - a bounded reader of the Task Scheduler's registration XML.
//
// The scheduler writes UTF-16; task files copied around may be UTF-8, with
// or without a byte-order mark. The text is first made UTF-8, then read as
// a stream of tags with a bounded stack of element names; only the leaf
// elements of the subset in task_xml.h are kept, each cut to its field.
#include "task_xml.h"

#include "../platform/platform.h"

#include <string.h>

#define TASK_XML_DEPTH 24
#define TASK_XML_NAME 48
// Longer than any field, so a value cut here is seen cut in its field too.
#define TASK_XML_VALUE (2 * COMMAND_FIELD_SIZE)

static size_t PutUtf8(uint32_t code, char *out)
{
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out[0] = (char)code;
        return 1;
    }
    if (code < 0x800) {
        out[0] = (char)(0xC0 | (code >> 6));
        out[1] = (char)(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = (char)(0xE0 | (code >> 12));
        out[1] = (char)(0x80 | ((code >> 6) & 0x3F));
        out[2] = (char)(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (code >> 18));
    out[1] = (char)(0x80 | ((code >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((code >> 6) & 0x3F));
    out[3] = (char)(0x80 | (code & 0x3F));
    return 4;
}

// The document as terminated UTF-8 (PlatFree it); *length its bytes.
static char *DecodeDocument(const unsigned char *bytes, size_t size, size_t *length)
{
    int bigEndian = -1; // -1: UTF-8
    size_t start = 0;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        bigEndian = 0;
        start = 2;
    } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        bigEndian = 1;
        start = 2;
    } else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        start = 3;
    } else if (size >= 2 && bytes[0] != 0 && bytes[1] == 0) {
        bigEndian = 0; // "<" then a zero: UTF-16LE without a mark
    } else if (size >= 2 && bytes[0] == 0 && bytes[1] != 0) {
        bigEndian = 1;
    }
    // UTF-16 grows to at most three bytes for two; UTF-8 stays as it is.
    char *text = (char *)PlatAllocZero((size - start) * 2 + 4);
    if (!text)
        return NULL;
    size_t out = 0;
    if (bigEndian < 0) {
        memcpy(text, bytes + start, size - start);
        out = size - start;
    } else {
        for (size_t i = start; i + 1 < size; i += 2) {
            uint32_t unit = bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
                uint32_t low = bigEndian ? (bytes[i + 2] << 8) | bytes[i + 3]
                                         : bytes[i + 2] | (bytes[i + 3] << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            out += PutUtf8(unit, text + out);
        }
    }
    // A zero inside the text ends it, as it ends every field.
    *length = strnlen(text, out);
    return text;
}

char *DecodeTextDocument(const void *bytes, size_t size, size_t *length)
{
    return DecodeDocument((const unsigned char *)bytes, size, length);
}

size_t TaskPutUtf8(uint32_t code, char *out)
{
    return PutUtf8(code, out);
}

struct Trigger {
    int logon;              // 1 logon, 0 boot
    int enabled;
    char userId[TEXT_FIELD_SIZE];
    char delay[64];
};

struct Reader {
    const char *text;
    size_t length;
    size_t at;
    char stack[TASK_XML_DEPTH][TASK_XML_NAME];
    int depth;
    int rootSeen;
    int rootClosed;
    char value[TASK_XML_VALUE];
    size_t valueLength;
    int valueCut;
    Trigger trigger;
    int inTrigger;
    TaskDefinition *task;
};

static void AddValue(Reader *r, const char *bytes, size_t count)
{
    size_t room = sizeof r->value - 1 - r->valueLength;
    if (count > room) {
        count = room;
        r->valueCut = 1;
    }
    memcpy(r->value + r->valueLength, bytes, count);
    r->valueLength += count;
    r->value[r->valueLength] = '\0';
}

// One entity at r->at (after "&"); an unknown one is kept as written.
static void ReadEntity(Reader *r)
{
    static const struct { const char *name; char c; } named[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    const char *p = r->text + r->at;
    size_t left = r->length - r->at;
    for (const auto &entity : named) {
        size_t n = strlen(entity.name);
        if (left >= n && memcmp(p, entity.name, n) == 0) {
            AddValue(r, &entity.c, 1);
            r->at += n;
            return;
        }
    }
    if (left >= 3 && p[0] == '#') {
        int hex = p[1] == 'x' || p[1] == 'X';
        size_t i = hex ? 2 : 1;
        uint32_t code = 0;
        size_t digits = 0;
        for (; i < left && digits < 8; ++i, ++digits) {
            char c = p[i];
            int d = c >= '0' && c <= '9'                ? c - '0'
                    : hex && c >= 'a' && c <= 'f'       ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                                        : -1;
            if (d < 0)
                break;
            code = code * (hex ? 16 : 10) + (uint32_t)d;
        }
        if (digits > 0 && i < left && p[i] == ';') {
            char utf8[4];
            // A character reference to zero would end the field early.
            AddValue(r, utf8, PutUtf8(code ? code : 0xFFFD, utf8));
            r->at += i + 1;
            return;
        }
    }
    AddValue(r, "&", 1);
}

static int StartsWith(const Reader *r, const char *prefix)
{
    size_t n = strlen(prefix);
    return r->length - r->at >= n && memcmp(r->text + r->at, prefix, n) == 0;
}

// Moves past the next occurrence of end; zero when there is none.
static int SkipPast(Reader *r, const char *end)
{
    size_t n = strlen(end);
    for (size_t i = r->at; i + n <= r->length; ++i) {
        if (memcmp(r->text + i, end, n) == 0) {
            r->at = i + n;
            return 1;
        }
    }
    return 0;
}

static void Trim(char *text)
{
    size_t start = 0, end = strlen(text);
    while (start < end && (text[start] == ' ' || text[start] == '\t' || text[start] == '\r'
                           || text[start] == '\n'))
        ++start;
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t'
                           || text[end - 1] == '\r' || text[end - 1] == '\n'))
        --end;
    memmove(text, text + start, end - start);
    text[end - start] = '\0';
}

int TaskFieldCopy(char *field, size_t size, const char *text)
{
    if (TextCopy(field, size, text))
        return 1;
    size_t end = strlen(field), start = end;
    while (start > 0 && ((unsigned char)field[start - 1] & 0xC0) == 0x80)
        --start;
    unsigned char lead = start > 0 ? (unsigned char)field[start - 1] : 0;
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead >= 0xC0 && start - 1 + need > end)
        field[start - 1] = '\0';
    return 0;
}

static int IsTrue(const char *value)
{
    return strcmp(value, "true") == 0 || strcmp(value, "1") == 0;
}

// "PT30S" as "30 s", "PT1H30M" as "1 h 30 min"; anything else as written.
static void DurationText(const char *iso, char *out, size_t size)
{
    out[0] = '\0';
    if (iso[0] != 'P') {
        TextCopy(out, size, iso);
        return;
    }
    int time = 0;
    for (const char *p = iso + 1; *p;) {
        if (*p == 'T') {
            time = 1;
            ++p;
            continue;
        }
        const char *digits = p;
        while ((*p >= '0' && *p <= '9') || *p == '.')
            ++p;
        const char *unit = *p == 'D' ? "d" : *p == 'H' ? "h" : *p == 'S' ? "s"
                           : *p == 'M' ? (time ? "min" : "months") : *p == 'Y' ? "years" : NULL;
        if (p == digits || !unit) {
            TextCopy(out, size, iso);
            return;
        }
        char part[40];
        TextFormat(part, sizeof part, "%s%.*s %s", out[0] ? " " : "", (int)(p - digits), digits,
                   unit);
        TextAppend(out, size, part);
        ++p;
    }
    if (!out[0])
        TextCopy(out, size, iso);
}

static void EndTrigger(Reader *r)
{
    TaskDefinition *task = r->task;
    const Trigger *t = &r->trigger;
    char text[TEXT_FIELD_SIZE];
    if (t->logon)
        TextFormat(text, sizeof text, "at logon of %s", t->userId[0] ? t->userId : "any user");
    else
        TextCopy(text, sizeof text, "at boot");
    if (t->delay[0]) {
        char delay[64];
        DurationText(t->delay, delay, sizeof delay);
        TextAppend(text, sizeof text, ", ");
        TextAppend(text, sizeof text, delay);
        TextAppend(text, sizeof text, " delay");
    }
    if (!t->enabled) {
        TextAppend(text, sizeof text, ", this trigger switched off");
        ++task->triggersOff;
    }
    if (task->triggers[0])
        TextAppend(task->triggers, sizeof task->triggers, "; ");
    TextAppend(task->triggers, sizeof task->triggers, text);
}

// The element path below the root, "Actions/Exec/Command"; the root's
// name is checked at its start tag.
static int PathIs(const Reader *r, const char *path)
{
    char whole[TASK_XML_DEPTH * TASK_XML_NAME];
    whole[0] = '\0';
    for (int i = 1; i < r->depth; ++i) {
        if (i > 1)
            TextAppend(whole, sizeof whole, "/");
        TextAppend(whole, sizeof whole, r->stack[i]);
    }
    return strcmp(whole, path) == 0;
}

static void StartElement(Reader *r)
{
    TaskDefinition *task = r->task;
    if (PathIs(r, "Triggers/LogonTrigger") || PathIs(r, "Triggers/BootTrigger")) {
        memset(&r->trigger, 0, sizeof r->trigger);
        r->trigger.logon = PathIs(r, "Triggers/LogonTrigger");
        r->trigger.enabled = 1;
        r->inTrigger = 1;
        if (r->trigger.logon)
            ++task->logonTriggers;
        else
            ++task->bootTriggers;
    } else if (r->depth == 3 && strcmp(r->stack[1], "Triggers") == 0) {
        ++task->otherTriggers;
    } else if (PathIs(r, "Actions/Exec")) {
        ++task->execActions;
    } else if (PathIs(r, "Actions/ComHandler")) {
        ++task->comHandlers;
    }
}

// A leaf's text, at its end tag (before the stack is popped).
static void EndElement(Reader *r)
{
    TaskDefinition *task = r->task;
    char *v = r->value;
    Trim(v);
    if (r->inTrigger && (PathIs(r, "Triggers/LogonTrigger") || PathIs(r, "Triggers/BootTrigger"))) {
        EndTrigger(r);
        r->inTrigger = 0;
        return;
    }
    if (r->inTrigger) {
        if (PathIs(r, "Triggers/LogonTrigger/UserId"))
            TextCopy(r->trigger.userId, sizeof r->trigger.userId, v);
        else if (PathIs(r, "Triggers/LogonTrigger/Delay") || PathIs(r, "Triggers/BootTrigger/Delay")) {
            TextCopy(r->trigger.delay, sizeof r->trigger.delay, v);
            if (PathIs(r, "Triggers/LogonTrigger/Delay") && !task->logonDelay[0])
                TextCopy(task->logonDelay, sizeof task->logonDelay, v);
        }
        else if (PathIs(r, "Triggers/LogonTrigger/Enabled")
                 || PathIs(r, "Triggers/BootTrigger/Enabled"))
            r->trigger.enabled = IsTrue(v);
        return;
    }
    if (PathIs(r, "RegistrationInfo/Author"))
        TextCopy(task->author, sizeof task->author, v);
    else if (PathIs(r, "RegistrationInfo/Description"))
        TaskFieldCopy(task->description, sizeof task->description, v);
    else if (PathIs(r, "Settings/Enabled"))
        task->enabled = IsTrue(v);
    else if (PathIs(r, "Settings/Hidden"))
        task->hidden = IsTrue(v);
    else if (PathIs(r, "Principals/Principal/RunLevel"))
        task->highest = task->highest || strcmp(v, "HighestAvailable") == 0;
    else if (PathIs(r, "Principals/Principal/UserId") && !task->runAs[0])
        TextCopy(task->runAs, sizeof task->runAs, v);
    else if (PathIs(r, "Principals/Principal/GroupId") && !task->runAsGroup[0])
        TextCopy(task->runAsGroup, sizeof task->runAsGroup, v);
    else if (PathIs(r, "Principals/Principal/LogonType")) {
        task->loggedOff |= strcmp(v, "Password") == 0 || strcmp(v, "S4U") == 0;
        task->noPassword |= strcmp(v, "S4U") == 0;
    }
    else if (task->execActions == 1 && PathIs(r, "Actions/Exec/Command"))
        task->commandCut |= !TaskFieldCopy(task->program, sizeof task->program, v) || r->valueCut;
    else if (task->execActions == 1 && PathIs(r, "Actions/Exec/Arguments"))
        task->commandCut |= !TaskFieldCopy(task->arguments, sizeof task->arguments, v) || r->valueCut;
    else if (task->execActions == 1 && PathIs(r, "Actions/Exec/WorkingDirectory"))
        TextCopy(task->workingDirectory, sizeof task->workingDirectory, v);
    else if (task->execActions > 1 && PathIs(r, "Actions/Exec/Command")) {
        if (task->furtherPrograms[0])
            TextAppend(task->furtherPrograms, sizeof task->furtherPrograms, ", ");
        TextAppend(task->furtherPrograms, sizeof task->furtherPrograms, v);
    } else if (task->comHandlers == 1 && PathIs(r, "Actions/ComHandler/ClassId"))
        TextCopy(task->classId, sizeof task->classId, v);
}

static int IsNameChar(char c)
{
    return c && !strchr(" \t\r\n/>=\"'<", c);
}

// A start or end tag at r->at (on its "<"); zero when malformed.
static int ReadTag(Reader *r)
{
    int end = r->text[r->at + 1] == '/';
    r->at += end ? 2 : 1;
    size_t nameStart = r->at;
    while (r->at < r->length && IsNameChar(r->text[r->at]))
        ++r->at;
    size_t nameLength = r->at - nameStart;
    if (nameLength == 0)
        return 0;
    // Namespace prefixes do not matter: "task:Exec" is "Exec".
    const char *name = r->text + nameStart;
    const char *colon = (const char *)memchr(name, ':', nameLength);
    if (colon) {
        nameLength -= (size_t)(colon + 1 - name);
        name = colon + 1;
    }
    char local[TASK_XML_NAME];
    if (nameLength >= sizeof local)
        nameLength = sizeof local - 1;
    memcpy(local, name, nameLength);
    local[nameLength] = '\0';

    // Attributes are passed over, quoted values whole.
    int empty = 0;
    for (;;) {
        if (r->at >= r->length)
            return 0;
        char c = r->text[r->at];
        if (c == '"' || c == '\'') {
            const char *close = (const char *)memchr(r->text + r->at + 1, c, r->length - r->at - 1);
            if (!close)
                return 0;
            r->at = (size_t)(close - r->text) + 1;
            continue;
        }
        if (c == '<')
            return 0;
        ++r->at;
        if (c == '>')
            break;
        if (c == '/' && r->at < r->length && r->text[r->at] == '>') {
            ++r->at;
            empty = 1;
            break;
        }
    }

    if (end) {
        if (r->depth == 0 || strcmp(r->stack[r->depth - 1], local) != 0)
            return 0;
        EndElement(r);
        --r->depth;
        if (r->depth == 0)
            r->rootClosed = 1;
        r->valueLength = 0;
        r->valueCut = 0;
        r->value[0] = '\0';
        return 1;
    }
    if (r->rootClosed || r->depth >= TASK_XML_DEPTH)
        return 0;
    if (r->depth == 0) {
        if (strcmp(local, "Task") != 0)
            return 0;
        r->rootSeen = 1;
    }
    TextCopy(r->stack[r->depth], TASK_XML_NAME, local);
    ++r->depth;
    r->valueLength = 0;
    r->valueCut = 0;
    r->value[0] = '\0';
    StartElement(r);
    if (empty) {
        EndElement(r);
        --r->depth;
        if (r->depth == 0)
            r->rootClosed = 1;
    }
    return 1;
}

static int ReadDocument(Reader *r)
{
    while (r->at < r->length) {
        char c = r->text[r->at];
        if (c == '&') {
            ++r->at;
            ReadEntity(r);
        } else if (c != '<') {
            if (r->depth == 0 && !strchr(" \t\r\n", c))
                return 0; // text outside the root
            AddValue(r, &c, 1);
            ++r->at;
        } else if (StartsWith(r, "<!--")) {
            if (!SkipPast(r, "-->"))
                return 0;
        } else if (StartsWith(r, "<![CDATA[")) {
            r->at += 9;
            size_t from = r->at;
            if (!SkipPast(r, "]]>"))
                return 0;
            AddValue(r, r->text + from, r->at - 3 - from);
        } else if (StartsWith(r, "<?")) {
            if (!SkipPast(r, "?>"))
                return 0;
        } else if (StartsWith(r, "<!")) {
            if (!SkipPast(r, ">"))
                return 0;
        } else if (r->at + 1 >= r->length || !ReadTag(r)) {
            return 0;
        }
    }
    return r->rootSeen && r->rootClosed;
}

int ParseTaskXml(const void *data, size_t size, TaskDefinition *task)
{
    memset(task, 0, sizeof *task);
    task->enabled = 1;
    if (!data || size == 0 || size > TASK_XML_MOST)
        return 0;
    size_t length = 0;
    char *text = DecodeDocument((const unsigned char *)data, size, &length);
    if (!text)
        return 0;
    Reader *r = (Reader *)PlatAllocZero(sizeof(Reader));
    int ok = 0;
    if (r) {
        r->text = text;
        r->length = length;
        r->task = task;
        ok = ReadDocument(r);
        PlatFree(r);
    }
    PlatFree(text);
    return ok;
}

int TaskStartsAtLogon(const TaskDefinition *task)
{
    return task->logonTriggers + task->bootTriggers > 0;
}

void *TaskXmlToUtf16(const char *text, size_t length, uint32_t *size)
{
    *size = 0;
    if (length > TASK_XML_MOST)
        return NULL;
    unsigned char *out = (unsigned char *)PlatAllocZero(length * 2 + 4);
    if (!out)
        return NULL;
    size_t n = 0;
    out[n++] = 0xFF;
    out[n++] = 0xFE;
    const unsigned char *s = (const unsigned char *)text;
    for (size_t i = 0; i < length;) {
        uint32_t code = s[i];
        size_t extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        if (code >= 0x80 && (code < 0xC0 || code >= 0xF8)) {
            code = 0xFFFD;
            extra = 0;
        } else if (extra) {
            code &= 0x3F >> extra;
            for (size_t k = 1; k <= extra; ++k) {
                if (i + k >= length || (s[i + k] & 0xC0) != 0x80) {
                    code = 0xFFFD;
                    extra = k - 1;
                    break;
                }
                code = (code << 6) | (s[i + k] & 0x3F);
            }
        }
        i += extra + 1;
        if (code >= 0x10000 && code <= 0x10FFFF) {
            code -= 0x10000;
            uint32_t high = 0xD800 + (code >> 10), low = 0xDC00 + (code & 0x3FF);
            out[n++] = (unsigned char)high;
            out[n++] = (unsigned char)(high >> 8);
            out[n++] = (unsigned char)low;
            out[n++] = (unsigned char)(low >> 8);
        } else {
            if (code > 0xFFFF)
                code = 0xFFFD;
            out[n++] = (unsigned char)code;
            out[n++] = (unsigned char)(code >> 8);
        }
    }
    *size = (uint32_t)n;
    return out;
}
