// app_manifest.cpp - a bounded reader of a packaged app's AppxManifest.xml.
//
// The text is made UTF-8 (task_xml.cpp), then read as a stream of tags,
// with their attributes, under a bounded stack of element names. Only the
// package's identity, its publisher's display name and its startup tasks
// are kept, each cut to its field; everything else is passed over.
#include "app_manifest.h"

#include "task_xml.h"

#include "../platform/platform.h"

#include <string.h>

#define MANIFEST_DEPTH 32
#define MANIFEST_NAME 48

struct ManifestReader {
    const char *text;
    size_t length;
    size_t at;
    char stack[MANIFEST_DEPTH][MANIFEST_NAME];
    int depth;
    int rootClosed;
    int applicationDepth;      // the Application being read (0: none)
    char applicationExe[TEXT_FIELD_SIZE];
    int applicationExeCut;
    int applicationFullTrust;
    int extensionDepth;        // the startup-task Extension being read (0: none)
    char extensionExe[TEXT_FIELD_SIZE];
    int extensionExeCut;
    int taskOpen;              // the StartupTask being read has a task of its own
    char value[TEXT_FIELD_SIZE]; // text of the element being read
    int valueCut;
    AppManifest *manifest;
};

// An attribute's value or an element's text, entities replaced: 1 when it
// fitted, 0 when cut, -1 when it holds a reference that is no character
// this reader takes.
static int DecodeText(const char *from, size_t count, char *out, size_t size)
{
    static const struct { const char *name; char c; } named[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    size_t used = 0;
    int whole = 1;
    for (size_t i = 0; i < count;) {
        char c = from[i++];
        if (c == '&') {
            // A character reference is that character; an entity XML does not
            // define cannot be read as anything: the text is no text.
            int known = 0;
            for (const auto &entity : named) {
                size_t n = strlen(entity.name);
                if (count - i >= n && memcmp(from + i, entity.name, n) == 0) {
                    c = entity.c;
                    i += n;
                    known = 1;
                    break;
                }
            }
            if (!known && i < count && from[i] == '#') {
                int hex = i + 1 < count && (from[i + 1] == 'x' || from[i + 1] == 'X');
                size_t at = i + 1 + (size_t)hex;
                uint32_t code = 0;
                size_t digits = 0;
                for (; at < count && digits < 7; ++at, ++digits) {
                    char d = from[at];
                    int v = d >= '0' && d <= '9'                  ? d - '0'
                            : hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f' ? (d | 0x20) - 'a' + 10
                                                                  : -1;
                    if (v < 0)
                        break;
                    code = code * (hex ? 16 : 10) + (uint32_t)v;
                }
                if (digits && at < count && from[at] == ';' && code >= 0x20 && code <= 0x7E) {
                    c = (char)code;
                    i = at + 1;
                    known = 1;
                }
            }
            if (!known) {
                out[0] = '\0';
                return -1;
            }
        }
        if (used + 1 >= size) {
            whole = 0;
            break;
        }
        out[used++] = c;
    }
    out[used] = '\0';
    // Never end inside a UTF-8 character.
    if (!whole)
        TaskFieldCopy(out, size, out);
    return whole;
}

static int IsNameChar(char c)
{
    return c && !strchr(" \t\r\n/>=\"'<", c);
}

// The local name of name (prefix dropped) into local; the prefix into prefix.
static void SplitName(const char *name, size_t length, char *local, char *prefix)
{
    const char *colon = (const char *)memchr(name, ':', length);
    size_t prefixLength = colon ? (size_t)(colon - name) : 0;
    if (prefixLength >= MANIFEST_NAME)
        prefixLength = MANIFEST_NAME - 1;
    memcpy(prefix, name, prefixLength);
    prefix[prefixLength] = '\0';
    if (colon) {
        length -= (size_t)(colon + 1 - name);
        name = colon + 1;
    }
    if (length >= MANIFEST_NAME)
        length = MANIFEST_NAME - 1;
    memcpy(local, name, length);
    local[length] = '\0';
}

static void StartupTask(ManifestReader *r, const char *attribute, const char *value,
                        int valueWhole)
{
    AppManifest *m = r->manifest;
    AppStartupTask *task = &m->tasks[m->taskCount - 1];
    if (strcmp(attribute, "TaskId") == 0)
        task->cut |= !TextCopy(task->taskId, sizeof task->taskId, value) || !valueWhole;
    else if (strcmp(attribute, "Enabled") == 0)
        task->enabled = strcmp(value, "true") == 0 || strcmp(value, "1") == 0;
    else if (strcmp(attribute, "DisplayName") == 0)
        TextCopy(task->displayName, sizeof task->displayName, value);
}

// One attribute of the element just opened (local name element).
static void Attribute(ManifestReader *r, const char *element, const char *attribute,
                      const char *value, int valueWhole)
{
    AppManifest *m = r->manifest;
    if (strcmp(element, "Identity") == 0 && r->depth == 2) {
        if (strcmp(attribute, "Name") == 0)
            TextCopy(m->name, sizeof m->name, value);
        else if (strcmp(attribute, "Publisher") == 0 && !m->publisher[0])
            TextCopy(m->publisher, sizeof m->publisher, value);
        else if (strcmp(attribute, "Version") == 0)
            TextCopy(m->version, sizeof m->version, value);
    } else if (strcmp(element, "Application") == 0 && r->applicationDepth == r->depth) {
        if (strcmp(attribute, "Executable") == 0)
            r->applicationExeCut =
                !TextCopy(r->applicationExe, sizeof r->applicationExe, value) || !valueWhole;
        // A desktop program, however the manifest says so.
        else if ((strcmp(attribute, "EntryPoint") == 0
                  && strcmp(value, "Windows.FullTrustApplication") == 0)
                 || (strcmp(attribute, "TrustLevel") == 0 && strcmp(value, "mediumIL") == 0)
                 || (strcmp(attribute, "RuntimeBehavior") == 0
                     && (strcmp(value, "packagedClassicApp") == 0 || strcmp(value, "win32App") == 0)))
            r->applicationFullTrust = 1;
    } else if (strcmp(element, "Extension") == 0 && r->extensionDepth == r->depth) {
        if (strcmp(attribute, "Executable") == 0)
            r->extensionExeCut = !TextCopy(r->extensionExe, sizeof r->extensionExe, value) || !valueWhole;
    } else if (strcmp(element, "StartupTask") == 0 && r->extensionDepth && r->taskOpen) {
        StartupTask(r, attribute, value, valueWhole);
    }
}

// A StartupTask in a startup-task Extension: a new task of the manifest.
static void OpenStartupTask(ManifestReader *r, const char *prefix)
{
    AppManifest *m = r->manifest;
    r->taskOpen = m->taskCount < APP_TASKS_MOST;
    if (!r->taskOpen) {
        ++m->tasksLeftOut;
        return;
    }
    AppStartupTask *task = &m->tasks[m->taskCount++];
    memset(task, 0, sizeof *task);
    int own = r->extensionExe[0] != '\0';
    const char *exe = own ? r->extensionExe : r->applicationExe;
    task->programCut = !TextCopy(task->executable, sizeof task->executable, exe)
                       || (own ? r->extensionExeCut : r->applicationExeCut);
    task->fullTrust = strcmp(prefix, "desktop") == 0 || r->applicationFullTrust;
}

// A start tag at r->at (after its "<"): its name, then its attributes, each
// handed over as read. Zero when malformed.
static int ReadStartTag(ManifestReader *r, int *empty)
{
    size_t nameStart = r->at;
    while (r->at < r->length && IsNameChar(r->text[r->at]))
        ++r->at;
    if (r->at == nameStart || r->depth >= MANIFEST_DEPTH || r->rootClosed)
        return 0;
    char local[MANIFEST_NAME], prefix[MANIFEST_NAME];
    SplitName(r->text + nameStart, r->at - nameStart, local, prefix);
    if (r->depth == 0 && strcmp(local, "Package") != 0)
        return 0;
    TextCopy(r->stack[r->depth], MANIFEST_NAME, local);
    ++r->depth;
    if (strcmp(local, "Application") == 0 && !r->applicationDepth) {
        r->applicationDepth = r->depth;
        r->applicationExe[0] = '\0';
        r->applicationExeCut = 0;
        r->applicationFullTrust = 0;
    }
    // A startup task is opened before its attributes fill it.
    int startupTask = strcmp(local, "StartupTask") == 0 && r->extensionDepth;
    if (startupTask)
        OpenStartupTask(r, prefix);
    int extension = strcmp(local, "Extension") == 0 && !r->extensionDepth;
    char category[64] = "";
    size_t attributesAt = r->at;
    // Two passes over the attributes: the Extension's Category decides
    // whether its Executable matters, whatever their order.
    for (int pass = extension ? 0 : 1; pass < 2; ++pass) {
        r->at = attributesAt;
        for (;;) {
            while (r->at < r->length && strchr(" \t\r\n", r->text[r->at]))
                ++r->at;
            if (r->at >= r->length)
                return 0;
            char c = r->text[r->at];
            if (c == '>' || (c == '/' && r->at + 1 < r->length && r->text[r->at + 1] == '>')) {
                *empty = c == '/';
                r->at += c == '/' ? 2 : 1;
                break;
            }
            size_t attributeStart = r->at;
            while (r->at < r->length && IsNameChar(r->text[r->at]))
                ++r->at;
            size_t attributeLength = r->at - attributeStart;
            while (r->at < r->length && strchr(" \t\r\n", r->text[r->at]))
                ++r->at;
            if (!attributeLength || r->at + 1 >= r->length || r->text[r->at] != '=')
                return 0;
            ++r->at;
            while (r->at < r->length && strchr(" \t\r\n", r->text[r->at]))
                ++r->at;
            char quote = r->at < r->length ? r->text[r->at] : 0;
            if (quote != '"' && quote != '\'')
                return 0;
            const char *close =
                (const char *)memchr(r->text + r->at + 1, quote, r->length - r->at - 1);
            if (!close)
                return 0;
            char name[MANIFEST_NAME], namePrefix[MANIFEST_NAME], value[TEXT_FIELD_SIZE];
            SplitName(r->text + attributeStart, attributeLength, name, namePrefix);
            int whole = DecodeText(r->text + r->at + 1, (size_t)(close - r->text) - r->at - 1,
                                   value, sizeof value);
            r->at = (size_t)(close - r->text) + 1;
            if (whole < 0)
                return 0;
            if (pass == 0 && strcmp(name, "Category") == 0)
                TextCopy(category, sizeof category, value);
            else if (pass == 1)
                Attribute(r, local, name, value, whole);
        }
        if (pass == 0 && strcmp(category, "windows.startupTask") == 0) {
            r->extensionDepth = r->depth;
            r->extensionExe[0] = '\0';
            r->extensionExeCut = 0;
        }
    }
    return 1;
}

static void CloseElement(ManifestReader *r)
{
    if (r->depth == r->applicationDepth)
        r->applicationDepth = 0;
    if (r->depth == r->extensionDepth)
        r->extensionDepth = 0;
    if (strcmp(r->stack[r->depth - 1], "PublisherDisplayName") == 0 && r->depth == 3
        && strcmp(r->stack[1], "Properties") == 0) {
        char text[TEXT_FIELD_SIZE];
        DecodeText(r->value, strlen(r->value), text, sizeof text);
        // Blank text around the name is layout, not name.
        char *start = text;
        while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n')
            ++start;
        size_t end = strlen(start);
        while (end && strchr(" \t\r\n", start[end - 1]))
            start[--end] = '\0';
        if (start[0] && strncmp(start, "ms-resource:", 12) != 0)
            TextCopy(r->manifest->publisher, sizeof r->manifest->publisher, start);
    }
    --r->depth;
    if (r->depth == 0)
        r->rootClosed = 1;
    r->value[0] = '\0';
}

static int SkipPast(ManifestReader *r, const char *end)
{
    size_t n = strlen(end);
    for (size_t i = r->at; i + n <= r->length; ++i)
        if (memcmp(r->text + i, end, n) == 0) {
            r->at = i + n;
            return 1;
        }
    return 0;
}

static int ReadManifest(ManifestReader *r)
{
    while (r->at < r->length) {
        char c = r->text[r->at];
        if (c != '<') {
            if (r->depth == 0 && !strchr(" \t\r\n", c))
                return 0;
            size_t used = strlen(r->value);
            if (used + 1 < sizeof r->value) {
                r->value[used] = c;
                r->value[used + 1] = '\0';
            }
            ++r->at;
            continue;
        }
        const char *rest = r->text + r->at;
        size_t left = r->length - r->at;
        if (left >= 4 && memcmp(rest, "<!--", 4) == 0) {
            if (!SkipPast(r, "-->"))
                return 0;
        } else if (left >= 2 && rest[1] == '?') {
            if (!SkipPast(r, "?>"))
                return 0;
        } else if (left >= 9 && memcmp(rest, "<![CDATA[", 9) == 0) {
            if (!SkipPast(r, "]]>"))
                return 0;
        } else if (left >= 2 && rest[1] == '!') {
            if (!SkipPast(r, ">"))
                return 0;
        } else if (left >= 2 && rest[1] == '/') {
            r->at += 2;
            size_t nameStart = r->at;
            while (r->at < r->length && IsNameChar(r->text[r->at]))
                ++r->at;
            char local[MANIFEST_NAME], prefix[MANIFEST_NAME];
            SplitName(r->text + nameStart, r->at - nameStart, local, prefix);
            if (!SkipPast(r, ">") || r->depth == 0 || strcmp(r->stack[r->depth - 1], local) != 0)
                return 0;
            CloseElement(r);
        } else {
            ++r->at;
            int empty = 0;
            r->value[0] = '\0';
            if (!ReadStartTag(r, &empty))
                return 0;
            if (empty)
                CloseElement(r);
        }
    }
    return r->rootClosed;
}

int ParseAppManifest(const void *data, size_t size, AppManifest *manifest)
{
    memset(manifest, 0, sizeof *manifest);
    if (!data || size == 0 || size > APP_MANIFEST_MOST)
        return 0;
    size_t length = 0;
    char *text = DecodeTextDocument(data, size, &length);
    if (!text)
        return 0;
    ManifestReader *r = (ManifestReader *)PlatAllocZero(sizeof *r);
    int whole = 0;
    if (r) {
        r->text = text;
        r->length = length;
        r->manifest = manifest;
        whole = ReadManifest(r);
        PlatFree(r);
    }
    PlatFree(text);
    return whole;
}
