// console_wine_test.cpp - the console program, run as a script runs it (its
// output on a pipe) over a seeded prefix: list in JSON and CSV gives the
// window's entries field by field, whole and exact (JSON in escapes), and the
// commands that change storage keep every byte or change nothing.
#include "../../catalogue/catalogue.h"
#include "../../report/html_log.h"
#include "../../store/journal.h"
#include "../../store/remembered.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

typedef std::map<std::string, std::string> Fields;

// JSON as the list writes it: an array of flat objects of strings and
// booleans; any other shape fails the parse.
struct Json {
    const std::string &s;
    size_t at;
    bool ok;
    void Blank() { while (at < s.size() && strchr(" \t\r\n", s[at])) ++at; }
    bool Take(char c) { Blank(); if (at < s.size() && s[at] == c) { ++at; return true; } return false; }
    void Utf8(unsigned c, std::string *out)
    {
        if (c < 0x80) { *out += (char)c; return; }
        if (c < 0x800) { *out += (char)(0xC0 | c >> 6); }
        else {
            if (c < 0x10000) *out += (char)(0xE0 | c >> 12);
            else { *out += (char)(0xF0 | c >> 18); *out += (char)(0x80 | (c >> 12 & 63)); }
            *out += (char)(0x80 | (c >> 6 & 63));
        }
        *out += (char)(0x80 | (c & 63));
    }
    unsigned Hex4() { unsigned v = (unsigned)strtoul(s.substr(at, 4).c_str(), NULL, 16); at += 4; return v; }
    std::string String()
    {
        std::string out;
        if (!Take('"')) { ok = false; return out; }
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if ((unsigned char)c < 0x20) ok = false;
            if (c != '\\') { out += c; continue; }
            char e = s[at++];
            const char *plain = strchr("\"\\/bfnrt", e);
            if (e == 'u') {
                unsigned c1 = Hex4();
                if (c1 >= 0xD800 && c1 < 0xDC00 && s.compare(at, 2, "\\u") == 0) {
                    at += 2;
                    c1 = 0x10000 + ((c1 - 0xD800) << 10) + (Hex4() - 0xDC00);
                }
                Utf8(c1, &out);
            } else if (plain) out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
            else ok = false;
        }
        ok = ok && Take('"');
        return out;
    }
    std::vector<Fields> Document()
    {
        std::vector<Fields> rows;
        ok = Take('[');
        while (ok && !Take(']')) {
            if (!rows.empty()) ok = ok && Take(',');
            ok = ok && Take('{');
            Fields row;
            while (ok && !Take('}')) {
                if (!row.empty()) ok = ok && Take(',');
                std::string key = String();
                ok = ok && Take(':');
                Blank();
                if (s.compare(at, 4, "true") == 0) { row[key] = "true"; at += 4; }
                else if (s.compare(at, 5, "false") == 0) { row[key] = "false"; at += 5; }
                else if (s.compare(at, 4, "null") == 0) { row[key] = "null"; at += 4; }
                else row[key] = String();
            }
            rows.push_back(row);
        }
        Blank();
        ok = ok && at == s.size();
        return rows;
    }
};

// RFC 4180 records.
std::vector<std::vector<std::string>> Csv(const std::string &s)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        std::string &field = rows.back().back();
        if (quoted && c == '"' && i + 1 < s.size() && s[i + 1] == '"') { field += '"'; ++i; }
        else if (c == '"') quoted = !quoted;
        else if (!quoted && c == ',') rows.back().push_back("");
        else if (!quoted && c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            ++i;
            if (i + 1 < s.size()) rows.push_back(std::vector<std::string>(1));
        } else field += c;
    }
    return rows;
}

std::string Utf16(const std::wstring &text)
{
    return std::string((const char *)text.c_str(), (text.size() + 1) * 2);
}

const wchar_t *kWide = L"Orvane \u4E2D\u6587 \u0416\u00E9 \U0001F600";
const char *kWideUtf8 = "Orvane \xE4\xB8\xAD\xE6\x96\x87 \xD0\x96\xC3\xA9 \xF0\x9F\x98\x80";

TEST(WineConsole, ListMatchesTheWindowAndCommandsKeepEveryByte)
{
    EmptyAllPlaces();
    std::string probe = ProbePath();
    std::string longCommand = "\"" + probe + "\" " + std::string(300 - probe.size() - 3, 'x');
    ASSERT_EQ(300u, longCommand.size());
    std::wstring wideCommand(longCommand.begin(), longCommand.end());
    ASSERT_TRUE(SetWide(HKEY_CURRENT_USER, RUN_KEY, kWide, REG_SZ, Utf16(wideCommand)));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneOff", probe + " /off"));
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "OrvaneOff", REG_BINARY,
                         std::string("\x03", 1) + std::string(11, '\0')));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY "-", "OrvaneDisabled", probe));
    ASSERT_TRUE(MakeShortcut(ShellFolder(CSIDL_STARTUP) + "\\Orvane Link.lnk", probe, "/link",
                             "a note"));

    ConsoleRun json = Console("list --format json");
    ConsoleRun csv = Console("list --format csv");
    ASSERT_EQ(0u, json.code);
    ASSERT_EQ(0u, csv.code);
    Json parser = {json.out, 0, true};
    std::vector<Fields> listed = parser.Document();
    ASSERT_TRUE(parser.ok) << json.out;
    std::vector<std::vector<std::string>> records = Csv(csv.out);

    ScanCatalogue();
    ASSERT_EQ(4, ItemCatalogue.count);
    ASSERT_EQ((size_t)ItemCatalogue.count, listed.size());
    ASSERT_EQ(listed.size() + 1, records.size()) << csv.out;
    const std::vector<std::string> &heads = records[0];
    std::string wideId;
    int switchedOff = 0;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        Fields &row = listed[i];
        bool wide = row["name"] == kWideUtf8;
        EXPECT_EQ(wide ? std::string(kWideUtf8) : std::string(item->name), row["name"]);
        EXPECT_EQ(wide ? longCommand : std::string(item->command), row["command"]);
        EXPECT_EQ(item->enabled ? "true" : "false", row["enabled"]) << item->name;
        EXPECT_EQ(item->approvalDisabled ? "true" : "false", row["switched_off"]) << item->name;
        EXPECT_EQ(item->target, row["program"]);
        EXPECT_EQ(item->parameters, row["parameters"]);
        EXPECT_EQ(!item->targetMissing ? "true" : "false", row["target_found"]) << item->name;
        EXPECT_EQ(ItemTypeText(item), row["type"]) << item->name;
        char place[TEXT_FIELD_SIZE + 32];
        if (item->kind == RegistryValue)
            ItemPlaceText(item, 0, place, sizeof place);
        else
            TargetFolderOf(item->location, place);
        EXPECT_EQ(place, row["place"]);
        EXPECT_EQ(item->description, row["description"]);
        EXPECT_EQ(item->company, row["company"]);
        EXPECT_EQ(item->publisher, row["publisher"]);
        switchedOff += row["switched_off"] == "true";
        ASSERT_EQ(heads.size(), records[i + 1].size());
        ASSERT_EQ(heads.size(), row.size());
        for (size_t c = 0; c < heads.size(); ++c)
            EXPECT_EQ(row[heads[c]] == "null" ? "" : row[heads[c]], records[i + 1][c]) << heads[c];
        if (wide)
            wideId = row["id"];
    }
    ASSERT_FALSE(wideId.empty()) << json.out;
    EXPECT_EQ(1, switchedOff) << "switched off where Windows reads it";

    // JSON lines give the name in escapes, ASCII whatever code page reads
    // them; CSV with --bom begins with the UTF-8 byte-order mark.
    ConsoleRun lines = Console("list --format jsonl");
    EXPECT_EQ(0u, lines.code);
    EXPECT_EQ(4, std::count(lines.out.begin(), lines.out.end(), '\n')) << lines.out;
    EXPECT_NE(std::string::npos,
              lines.out.find("\"name\": \"Orvane \\u4e2d\\u6587 \\u0416\\u00e9 \\ud83d\\ude00\", "))
        << lines.out;
    EXPECT_EQ(0u, Console("list -c --bom").out.find("\xEF\xBB\xBF" "id,name,"));

    // The id goes to the command line as a script would quote it.
    std::string id = "\"" + wideId + "\"";
    std::string stored = WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide);
    EXPECT_EQ(0u, Console("disable " + id).code);
    EXPECT_EQ("<absent>", WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY "-", kWide));
    EXPECT_EQ(0u, Console("enable " + id).code);
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));

    EXPECT_EQ(2u, Console("disable \"HKCU\\\\Nothing\\\\Here\" " + id).code);
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));
    EXPECT_EQ(2u, Console("remove " + id).code) << "a dry run is not the deed";
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));

    ConsoleRun removed = Console("remove " + id + " --yes");
    EXPECT_EQ(0u, removed.code) << removed.out;
    EXPECT_EQ("<absent>", WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));
    size_t lead = removed.out.find("; backup: ");
    ASSERT_NE(std::string::npos, lead) << removed.out;
    std::string backup = removed.out.substr(lead + 10);
    backup = backup.substr(0, backup.find_first_of("\r\n"));
    ASSERT_TRUE(FileExists(backup)) << backup;
    EXPECT_EQ(0u, RunRegedit(backup));
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, kWide));
    EmptyAllPlaces();
}

// A packaged app planted as Windows keeps it (the repository key, its folder
// with a manifest, no State yet): listed as APP, switched off in place with
// a backup the registry editor restores (no State again), refused removal.
TEST(WineConsole, APackagedAppsStartupTaskIsListedAndSwitchedInPlace)
{
    const std::string full = "Orvane.Probe_1.0.0.0_x64__abcdefghjkmnp";
    const std::string repository = std::string(APP_REPOSITORY_KEY) + "\\" + full;
    const std::string state = std::string(APP_STATE_KEY) + "\\Orvane.Probe_abcdefghjkmnp\\Probe";
    std::string probe = ProbePath();
    std::string folder = probe.substr(0, probe.rfind('\\'));
    std::string manifest = folder + "\\AppxManifest.xml";
    std::string xml = "<Package><Identity Name=\"Orvane.Probe\" Publisher=\"CN=Orvane\" "
                      "Version=\"1.0.0.0\"/><Applications><Application Id=\"App\" Executable=\""
                      + probe.substr(folder.size() + 1) + "\"><Extensions><desktop:Extension "
                      "Category=\"windows.startupTask\"><desktop:StartupTask TaskId=\"Probe\" "
                      "Enabled=\"true\" DisplayName=\"Orvane Probe App\"/></desktop:Extension>"
                      "</Extensions></Application></Applications></Package>";
    HANDLE file = CreateFileA(manifest.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, xml.data(), (DWORD)xml.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, repository.c_str(), "PackageRootFolder", folder));

    ConsoleRun list = Console("list -c");
    EXPECT_NE(std::string::npos, list.out.find("Orvane Probe App,APP,on,")) << list.out;
    std::string id = "HKCU\\" + state;
    ConsoleRun off = Console("disable \"" + id + "\"");
    EXPECT_EQ(0u, off.code) << off.out;
    DWORD type = 0;
    EXPECT_EQ(std::string("\x01\0\0\0", 4), ValueBytes(HKEY_CURRENT_USER, state.c_str(), "State", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_NE(std::string::npos, Console("list -c").out.find("Orvane Probe App,APP,off in Windows' settings,"));
    size_t lead = off.out.find("; backup: ");
    ASSERT_NE(std::string::npos, lead) << off.out;
    std::string backup = off.out.substr(lead + 10);
    backup = backup.substr(0, backup.find_first_of("\r\n"));
    EXPECT_EQ(0u, RunRegedit(backup));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, state.c_str(), "State")) << "as it was: none";
    EXPECT_NE(0u, Console("remove \"" + id + "\" --yes").code);

    RegDeleteKeyA(HKEY_CURRENT_USER, repository.c_str());
    DeleteFileA(manifest.c_str());
    DeleteFileA(backup.c_str());
}

} // namespace

namespace {

// The window's list of entries seen, on a real profile: the console's first
// diff takes what is there, then names what a program added or rewrote,
// and accept clears it; the wide name comes back exact through the file.
TEST(WineConsole, DiffAndAcceptNameWhatChangedSinceTheLastLook)
{
    EmptyAllPlaces();
    std::string probe = ProbePath();
    ASSERT_TRUE(SetWide(HKEY_CURRENT_USER, RUN_KEY, kWide, REG_SZ, Utf16(L"C:\\w.exe")));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Updater", probe));
    EXPECT_EQ(0u, Console("diff").code);
    EXPECT_TRUE(FileExists(ShellFolder(CSIDL_LOCAL_APPDATA) + "\\" REMEMBERED_FOLDER "\\"
                           REMEMBERED_FILE));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Updater", probe + " /again"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Newcomer", probe));
    ConsoleRun diff = Console("diff --format json");
    EXPECT_EQ(4u, diff.code);
    Json parser = {diff.out, 0, true};
    std::vector<Fields> rows = parser.Document();
    ASSERT_TRUE(parser.ok) << diff.out;
    ASSERT_EQ(2u, rows.size()) << diff.out;
    std::map<std::string, std::string> changes; // Wine lists values sorted
    for (Fields &row : rows)
        changes[row["name"]] = row["change"];
    EXPECT_EQ("changed", changes["Updater"]);
    EXPECT_EQ("new", changes["Newcomer"]);
    EXPECT_EQ(0u, Console("accept --all").code);
    EXPECT_EQ(0u, Console("diff").code) << "the wide name was remembered exactly";
    EmptyAllPlaces();
}

// A removal undone as a script undoes it: history numbers it, undo puts the
// value back with its type and bytes, a second undo only asks (and without
// --yes changes nothing), and the history in JSON holds the undo first.
TEST(WineConsole, HistoryNumbersARemovalAndUndoPutsItBackExactly)
{
    EmptyAllPlaces();
    DeleteFileA((ShellFolder(CSIDL_LOCAL_APPDATA) + "\\" REMEMBERED_FOLDER "\\" JOURNAL_FILE)
                    .c_str());
    ASSERT_TRUE(SetWide(HKEY_CURRENT_USER, RUN_KEY, L"OrvaneUndo", REG_EXPAND_SZ,
                        Utf16(L"%SystemRoot%\\orvane.exe /tray")));
    std::string stored = WideBytes(HKEY_CURRENT_USER, RUN_KEY, L"OrvaneUndo");
    std::string id = "\"HKCU\\" RUN_KEY "\\\\OrvaneUndo\"";
    ASSERT_EQ(0u, Console("remove " + id + " --yes").code);
    ASSERT_EQ("<absent>", WideBytes(HKEY_CURRENT_USER, RUN_KEY, L"OrvaneUndo"));

    ConsoleRun history = Console("history");
    EXPECT_EQ(0u, history.code);
    std::string newest = history.out.substr(history.out.find("\r\n") + 2);
    EXPECT_EQ(0u, newest.find("1 ")) << history.out;
    EXPECT_LT(newest.find("Removed \"OrvaneUndo\" (HKCU Run)"), newest.find("\r\n"));

    ConsoleRun undo = Console("undo 1");
    EXPECT_EQ(0u, undo.code) << undo.out;
    DWORD type = 0;
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, L"OrvaneUndo", &type));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);
    ConsoleRun again = Console("undo 1");
    EXPECT_EQ(2u, again.code) << again.out;
    EXPECT_NE(std::string::npos, again.out.find("Add --yes to go on.")) << again.out;
    EXPECT_EQ(stored, WideBytes(HKEY_CURRENT_USER, RUN_KEY, L"OrvaneUndo"));

    ConsoleRun json = Console("history --format json");
    EXPECT_EQ(0u, json.code);
    Json parser = {json.out, 0, true};
    std::vector<Fields> rows = parser.Document();
    ASSERT_TRUE(parser.ok) << json.out;
    ASSERT_LE(2u, rows.size()) << json.out;
    EXPECT_EQ("2", rows[0]["number"]);
    EXPECT_EQ("undo", rows[0]["op"]);
    EXPECT_EQ("1", rows[0]["undoes"]);
    EXPECT_EQ("console", rows[0]["front"]);
    EXPECT_EQ("remove", rows[1]["op"]);
    EXPECT_EQ(64u, rows[1]["backup_hash"].size()) << json.out;
    EmptyAllPlaces();
}


// A record of the last logon planted for this user (named by the SID the
// platform gives) names the probe: the console's list and report, and the
// report the window writes, give its figures; the probe started here is
// said to run, with its process id, until it is ended by that id.
TEST(WineConsole, CostAtTheLastLogonAndRunningNow)
{
    EmptyAllPlaces();
    std::string probe = ProbePath();
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Cost Probe", "\"" + probe + "\""));
    char windows[MAX_PATH], sid[TEXT_FIELD_SIZE];
    ASSERT_NE(0u, GetSystemWindowsDirectoryA(windows, sizeof windows));
    ASSERT_TRUE(PlatUserSid(sid, sizeof sid));
    std::string folder = std::string(windows) + "\\System32";
    for (const char *part : {"\\wdi", "\\LogFiles", "\\StartupInfo"}) {
        folder += part;
        CreateDirectoryA(folder.c_str(), NULL);
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><StartupData><Process Name=\""
                      + probe + "\" StartTime=\"2026-12-08T08:12:03.120Z\"><CommandLine>\""
                      + probe + "\"</CommandLine><CpuUsage Units=\"us\">1200000</CpuUsage>"
                      "<DiskUsage Units=\"bytes\">14300000</DiskUsage></Process></StartupData>";
    std::wstring wide(xml.begin(), xml.end());
    std::string record = std::string(folder) + "\\" + sid + "_StartupInfo1.xml";
    HANDLE file = CreateFileA(record.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string bytes = "\xFF\xFE" + std::string((const char *)wide.data(), wide.size() * 2);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written);

    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION running = {};
    std::string line = "\"" + probe + "\" /stay";
    ASSERT_TRUE(CreateProcessA(probe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &start,
                               &running));
    ConsoleRun json = Console("list --format json");
    std::string report = std::string(windows) + "\\Temp\\orvane-cost.html";
    DeleteFileA(report.c_str());
    ConsoleRun saved = Console("report \"" + report + "\"");
    HANDLE ended = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, running.dwProcessId);
    EXPECT_TRUE(ended && TerminateProcess(ended, 0));
    if (ended) {
        WaitForSingleObject(ended, 10000);
        CloseHandle(ended);
    }
    CloseHandle(running.hThread);
    CloseHandle(running.hProcess);

    const std::string figures = "CPU 1.2 s, disk 14.3 MB (Task Manager's band: high)";
    Json parser = {json.out, 0, true};
    std::vector<Fields> listed = parser.Document();
    ASSERT_TRUE(parser.ok) << json.out;
    ASSERT_EQ(1u, listed.size()) << json.out;
    EXPECT_EQ(0u, listed[0]["cost"].find("At the logon of ")) << listed[0]["cost"];
    EXPECT_NE(std::string::npos, listed[0]["cost"].find(figures)) << listed[0]["cost"];
    EXPECT_EQ("1200000", listed[0]["cost_cpu_us"]);
    EXPECT_EQ("14300000", listed[0]["cost_disk_bytes"]);
    EXPECT_EQ(0u, listed[0]["running"].find("Running now: process "
                                            + std::to_string(running.dwProcessId)))
        << listed[0]["running"];
    EXPECT_EQ(0u, saved.code);
    std::string html = ReadWholeFile(report);
    EXPECT_NE(std::string::npos, html.find(figures)) << html;
    EXPECT_NE(std::string::npos, html.find("Cost at the last logon: Windows measures"));

    // The window's report is the same writer over the window's scan.
    DeleteFileA(report.c_str());
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_STREQ(RUNNING_NOT, ItemCatalogue.items[0].runningText);
    ASSERT_EQ(PLAT_OK, WriteReportFile(report.c_str(), 1));
    EXPECT_NE(std::string::npos, ReadWholeFile(report).find(figures));
    DeleteFileA(report.c_str());
    DeleteFileA(record.c_str());
}

} // namespace
