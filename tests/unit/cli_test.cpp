// cli_test.cpp - the console program on the in-memory platform: its
// command line, the list's formats, ids that reach the right entry, and
// the exit codes when something is refused or fails.
#include "../../cli/cli.h"
#include "../../catalogue/catalogue.h"
#include "../../store/journal.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <string.h>
#include <vector>

namespace {

const char *const kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const kRunOff = "Software\\Microsoft\\Windows\\CurrentVersion\\Run-";
const std::string kUserRun = std::string("HKCU\\") + kRun;
// A disable of a Run value saves its switch in Windows' settings first.
const std::string kSwitchBackup =
    MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER "\\Disabled 2026-12-07 130509.reg";

struct Result {
    int code;
    std::string out, err;
};

class Console : public testing::Test {
protected:
    void SetUp() override { MemReset(); }
    void TearDown() override { MemReset(); }

    Result Run(std::vector<const char *> args)
    {
        size_t out = MemStreamText(PLAT_STDOUT).size(), err = MemStreamText(PLAT_STDERR).size();
        args.insert(args.begin(), "orvanec");
        Result r;
        r.code = CliRun((int)args.size(), (char **)args.data());
        r.out = MemStreamText(PLAT_STDOUT).substr(out);
        r.err = MemStreamText(PLAT_STDERR).substr(err);
        EXPECT_GE(1, MemLiveBlocks()) << "the catalogue aside, nothing is left allocated";
        return r;
    }
};

// One flat JSON object of strings (kept quoted, escapes as written),
// booleans and nulls; empty when it is not one, or holds a byte that is
// not ASCII.
std::map<std::string, std::string> JsonObject(const std::string &s)
{
    std::map<std::string, std::string> members, none;
    size_t at = 0;
    auto take = [&](const std::string &word) {
        bool found = s.compare(at, word.size(), word) == 0;
        at += found ? word.size() : 0;
        return found;
    };
    auto text = [&](std::string *out) {
        size_t start = at;
        if (!take("\""))
            return false;
        for (; at < s.size() && s[at] != '"'; ++at) {
            unsigned char c = (unsigned char)s[at];
            if (c < 0x20 || c >= 0x80)
                return false;
            if (c == '\\' && !(s[++at] && strchr("\"\\nrtu", s[at])))
                return false;
            for (int i = 1; c == '\\' && s[at] == 'u' && i <= 4; ++i)
                if (!isxdigit((unsigned char)s[at + i]))
                    return false;
        }
        *out = s.substr(start, at + 1 - start);
        return take("\"");
    };
    if (!take("{"))
        return none;
    do {
        std::string key, value;
        if (!text(&key) || !take(": "))
            return none;
        key = key.substr(1, key.size() - 2);
        for (const char *word : {"true", "false", "null"})
            if (value.empty() && take(word))
                value = word;
        if ((value.empty() && !text(&value)) || members.count(key))
            return none;
        members[key] = value;
    } while (take(", "));
    return take("}") && at == s.size() ? members : none;
}

std::string Bytes(PlatHive hive, const char *path, const char *name)
{
    uint32_t type = 0;
    std::string bytes;
    return MemGetValue(hive, path, name, &type, &bytes) ? std::to_string(type) + ":" + bytes
                                                        : "<none>";
}

} // namespace

TEST_F(Console, OptionsInEverySpellingAndUsageErrors)
{
    CliArguments a;
    const char *line[] = {"orvanec", "LIST", "/F:Json", "-p", "HKCU", "--PLACE=HKLM", "/a"};
    ASSERT_EQ(CliExitDone, CliParse(7, (char **)line, &a)) << a.error;
    EXPECT_EQ(CliList, a.command);
    EXPECT_EQ(CliJson, a.format);
    EXPECT_EQ(2, a.placeCount);
    EXPECT_STREQ("HKLM", a.places[1]);
    EXPECT_EQ(1, a.allColumns);
    CliFreeArguments(&a);

    Result help = Run({"/?"});
    EXPECT_EQ(CliExitDone, help.code);
    EXPECT_NE(std::string::npos, help.out.find("3  administrator rights")) << help.out;
    EXPECT_NE(std::string::npos, Run({"help", "remove"}).out.find("--yes"));
    for (auto bad : std::vector<std::vector<const char *>>{
             {"list", "--colour"}, {"frobnicate"}, {"disable"}, {"list", "--format", "xml"},
             {"cleanup", "-f", "csv"}, {"report"}, {"list", "--yes"}, {"cleanup", "-m"}}) {
        Result r = Run(bad);
        EXPECT_EQ(CliExitUsage, r.code) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << "one line: " << r.err;
        EXPECT_EQ("", r.out);
    }
    // Nothing at all gives the usage, of 80 columns, as a usage error.
    Result bare = Run({});
    EXPECT_EQ(CliExitUsage, bare.code);
    EXPECT_EQ(help.out, bare.out);
    size_t start = 0;
    for (size_t end; (end = help.out.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 79u) << help.out.substr(start, end - start);
}

// The spellings administrators bring from other tools, one entry by its id
// or its name, and a report named as the window names it or failing with
// the system's cause.
TEST_F(Console, ListFindsEntriesAndReportNamesItsFile)
{
    MemSetString(PLAT_HKCU, kRun, "Agent", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRun, "Other", "C:\\o.exe");
    const char *ctfmon = "C:\\WINDOWS\\System32\\ctfmon.exe";
    MemSetSignature(ctfmon, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemSetString(PLAT_HKLM, kRun, "ctfmon", ctfmon);
    EXPECT_EQ(0u, Run({"list", "-c"}).out.find("id,name,type,"));
    Result tabs = Run({"list", "-ct"});
    EXPECT_EQ(0u, tabs.out.find("id\tname\ttype\t"));
    EXPECT_NE(std::string::npos, tabs.out.find("\\\\Agent\tAgent\tUSR\ton\ttrue\t")) << tabs.out;
    std::string agent = kUserRun + "\\\\Agent";
    for (auto line : std::vector<std::vector<const char *>>{
             {"list", agent.c_str(), "-c"}, {"list", "--name", "AG*", "-c"}, {"list", "/n", "?gent", "-c"}}) {
        Result one = Run(line);
        EXPECT_NE(std::string::npos, one.out.find(",Agent,")) << line[2];
        EXPECT_EQ(std::string::npos, one.out.find(",Other,")) << line[2];
    }
    EXPECT_EQ(CliExitUsage, Run({"list", "HKCU\\nothing\\\\x"}).code);
    EXPECT_NE(std::string::npos, Run({"list", "-c"}).out.find(",ctfmon,"));
    EXPECT_EQ(std::string::npos, Run({"list", "-c", "-m"}).out.find(",ctfmon,"));

    MemAddFolder("C:\\Reports");
    EXPECT_EQ(CliExitDone, Run({"report", "C:\\Reports\\r"}).code);
    EXPECT_EQ(0u, MemFileBytes("C:\\Reports\\r.html").find("<html>"));
    Result missing = Run({"report", "C:\\NoSuch\\r.html"});
    EXPECT_EQ(CliExitFailed, missing.code);
    EXPECT_NE(std::string::npos, missing.err.find("could not be written whole: Error 3.")) << missing.err;
}

TEST_F(Console, ListGivesWholeValuesQuotedSafelyInEveryFormat)
{
    std::string longCommand = "C:\\Tools\\agent.exe " + std::string(300, 'x');
    MemSetString(PLAT_HKCU, kRun, "Agent", longCommand.c_str());
    MemSetString(PLAT_HKCU, kRunOff, "Say \"hi\", then\tgo", "C:\\say.exe");
    MemSetString(PLAT_HKLM32, kRun, "Old", "C:\\old.exe");

    Result json = Run({"list", "--format", "json"});
    ASSERT_EQ(CliExitDone, json.code) << json.err;
    EXPECT_NE(std::string::npos, json.out.find("\"command\": \"C:\\\\Tools\\\\agent.exe " +
                                                std::string(300, 'x') + "\""))
        << "whole, not the record's 259 characters";
    EXPECT_NE(std::string::npos, json.out.find("\"name\": \"Say \\\"hi\\\", then\\tgo\""));
    EXPECT_NE(std::string::npos,
              json.out.find("\"id\": \"HKLM\\\\Software\\\\WOW6432Node\\\\Microsoft"))
        << "the 32-bit view named as the registry editor names it";
    EXPECT_NE(std::string::npos, json.out.find("\"enabled\": false"));

    Result csv = Run({"list", "-f", "csv", "--place", kUserRun.c_str()});
    ASSERT_EQ(CliExitDone, csv.code);
    EXPECT_EQ(0u, csv.out.find("id,name,type,state,enabled,switched_off,place,command,"));
    EXPECT_NE(std::string::npos, csv.out.find(kUserRun + "\\\\Agent,Agent,USR,on,true,false,"));
    EXPECT_EQ(std::string::npos, csv.out.find("Say")) << "Run- is not under ...\\Run";
    EXPECT_EQ(csv.out, Run({"list", "-f", "csv", "--place", (kUserRun + "\\").c_str()}).out)
        << "a key named with a backslash after it";
    EXPECT_NE(std::string::npos, Run({"list", "/f", "CSV", "/p", "hkcu"}).out.find(
                                     ",\"Say \"\"hi\"\", then\tgo\",USR,off here,false,"));

    // At 60, 80 and 200 columns the other cells give way (the command is
    // longer than any); the id, last, stays whole.
    for (int width : {60, 80, 200}) {
        MemSetConsoleWidth(width);
        Result table = Run({"list"});
        EXPECT_NE(std::string::npos, table.out.find("~")) << "cut, and seen to be";
        EXPECT_NE(std::string::npos, table.out.find("  " + kUserRun + "\\\\Agent\r\n")) << table.out;
        size_t start = 0;
        for (size_t end; (end = table.out.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::string line = table.out.substr(start, end - start);
            EXPECT_LE(line.rfind("  "), (size_t)width - 1 - 4) << line;
        }
    }
}

TEST_F(Console, DisableThenEnableOfOneIdRoundTripsTheValue)
{
    MemSetValue(PLAT_HKCU, kRun, "Agent", PLAT_REG_EXPAND_SZ, std::string("%x%\0\0\1", 7));
    std::string before = Bytes(PLAT_HKCU, kRun, "Agent");
    std::string id = kUserRun + "\\\\agent";
    Result off = Run({"disable", id.c_str()});
    EXPECT_EQ(CliExitDone, off.code) << off.err;
    EXPECT_EQ("Disabled \"Agent\"; backup: " + kSwitchBackup + "\r\n", off.out);
    EXPECT_EQ(before, Bytes(PLAT_HKCU, kRunOff, "Agent"));
    EXPECT_EQ("\"Agent\" is already disabled; nothing was changed.\r\n",
              Run({"disable", id.c_str()}).out);
    Result on = Run({"enable", id.c_str()});
    EXPECT_EQ(CliExitDone, on.code) << on.err;
    EXPECT_EQ(before, Bytes(PLAT_HKCU, kRun, "Agent"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "Agent"));
}

// A key's default value is "(Default)" where a person reads it (the table,
// the sentences), and stays empty where a script does (its id, JSON).
TEST_F(Console, ADefaultValueIsNamedAsTheRegistryEditorNamesIt)
{
    MemSetString(PLAT_HKCU, kRun, "", "C:\\d.exe");
    MemSetString(PLAT_HKCU, kRun, "(Default)", "C:\\named.exe");
    Result table = Run({"list"});
    EXPECT_NE(std::string::npos, table.out.find("(Default)")) << table.out;
    // Only the default value says so: a value named "(Default)" is another.
    std::string csv = Run({"list", "-c"}).out;
    size_t note = csv.find(NOTE_DEFAULT_VALUE);
    EXPECT_NE(std::string::npos, note) << csv;
    EXPECT_EQ(std::string::npos, csv.find(NOTE_DEFAULT_VALUE, note + 1)) << csv;
    EXPECT_NE(std::string::npos, Run({"list", "--format", "json"}).out.find("\"name\": \"\""));
    std::string id = kUserRun + "\\\\";
    Result off = Run({"disable", id.c_str()});
    EXPECT_EQ("Disabled \"(Default)\"; backup: " + kSwitchBackup + "\r\n", off.out) << off.err;
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, ""));
}

// A program taken out of a shared list names the backup of the whole value;
// the next change, of a value moved whole, names none.
TEST_F(Console, DisablingAListItemNamesItsBackup)
{
    const char *legacy = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    MemSetString(PLAT_HKCU, legacy, "Load", "C:\\a.exe C:\\b.exe");
    MemSetString(PLAT_HKCU, kRun, "Agent", "C:\\a.exe");
    std::string item = std::string("HKCU\\") + legacy + "\\\\Load\\\\C:\\b.exe";
    std::string agent = kUserRun + "\\\\Agent";
    Result off = Run({"disable", item.c_str(), agent.c_str()});
    EXPECT_EQ(CliExitDone, off.code) << off.err;
    const std::string done = "Disabled \"Load: C:\\b.exe\"; backup: ";
    ASSERT_EQ(done, off.out.substr(0, done.size())) << off.out;
    size_t end = off.out.find("\r\n");
    std::string backup = off.out.substr(done.size(), end - done.size());
    EXPECT_NE(std::string::npos, MemFileBytes(backup.c_str()).find(std::string("b\0.\0e\0x\0e\0", 10)))
        << backup;
    EXPECT_EQ("Disabled \"Agent\"; backup: " + kSwitchBackup + "\r\n", off.out.substr(end + 2))
        << "its switch's backup";
    Result listed = Run({"list", "-f", "csv", "-p", (std::string("HKCU\\") + legacy).c_str()});
    std::string stays = std::string("HKCU\\") + legacy + "\\\\Load\\\\C:\\a.exe";
    EXPECT_NE(std::string::npos, listed.out.find("\r\n" + stays + ",Load: C:\\a.exe,"))
        << "under its key, its id a field needing no quotes: " << listed.out;
}

// The window asks before a file any user may have placed starts for every
// user; the console enables it only with --yes.
TEST_F(Console, EnablingAFileAnyUserPlacedNeedsYes)
{
    const char *shared = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\planted.bat";
    MemAddFile(shared);
    Result refused = Run({"enable", shared});
    EXPECT_EQ(CliExitFailed, refused.code) << refused.out;
    EXPECT_NE(std::string::npos, refused.err.find("add --yes")) << refused.err;
    EXPECT_TRUE(MemFileExists(shared)) << "nothing moved without --yes";
    Result enabled = Run({"enable", shared, "--yes"});
    EXPECT_EQ(CliExitDone, enabled.code) << enabled.err;
    EXPECT_FALSE(MemFileExists(shared));
    EXPECT_TRUE(MemFileExists(MEM_COMMON_STARTUP_FOLDER "\\planted.bat"));
}

TEST_F(Console, UnknownIdChangesNothingAndMachineWithoutRightsExitsThree)
{
    MemSetString(PLAT_HKCU, kRun, "Mine", "C:\\mine.exe");
    MemSetString(PLAT_HKLM, kRun, "Theirs", "C:\\theirs.exe");
    std::string mine = kUserRun + "\\\\Mine", theirs = "HKLM\\" + std::string(kRun) + "\\\\Theirs";
    Result unknown = Run({"disable", mine.c_str(), "HKCU\\nowhere\\\\x"});
    EXPECT_EQ(CliExitUsage, unknown.code);
    EXPECT_NE(std::string::npos, unknown.err.find("\"HKCU\\nowhere\\\\x\"")) << unknown.err;
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Mine")) << "nothing changed, not even the first";

    MemDenyWrites(PLAT_HKLM, true);
    Result denied = Run({"disable", theirs.c_str(), mine.c_str()});
    EXPECT_EQ(CliExitRights, denied.code) << denied.err;
    EXPECT_EQ("ERROR: \"Theirs\" was not disabled: administrator rights are needed.\r\n",
              denied.err);
    EXPECT_EQ("Disabled \"Mine\"; backup: " + kSwitchBackup + "\r\n", denied.out)
        << "the others are still done";
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "Theirs"));

    MemFailCall(MEM_REG_SET_VALUE, 0, PLAT_ERROR_OUTOFMEMORY);
    EXPECT_EQ(CliExitFailed, Run({"enable", mine.c_str(), theirs.c_str()}).code)
        << "a failure that is not about rights outranks one that is";
}

// A dry run says what it would do and exits as a usage error, so that no
// script takes it for the deed; a cleanup with nothing to delete is done.
TEST_F(Console, RemoveAndCleanUpChangeNothingWithoutYes)
{
    EXPECT_EQ(CliExitDone, Run({"cleanup"}).code);
    MemSetString(PLAT_HKCU, kRun, "Agent", "C:\\agent.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Old", "C:\\old.exe");
    std::string id = kUserRun + "\\\\Agent";
    int calls = MemCallCount(MEM_REG_DELETE_VALUE) + MemCallCount(MEM_FILE_CREATE);
    Result dry = Run({"remove", id.c_str()});
    EXPECT_EQ(CliExitUsage, dry.code);
    EXPECT_NE(std::string::npos, dry.out.find("nothing was changed: add --yes")) << dry.out;
    Result dryCleanUp = Run({"cleanup"});
    EXPECT_EQ(CliExitUsage, dryCleanUp.code);
    EXPECT_NE(std::string::npos, dryCleanUp.out.find("Would delete 1 disabled registry entry"));
    EXPECT_EQ(calls, MemCallCount(MEM_REG_DELETE_VALUE) + MemCallCount(MEM_FILE_CREATE));

    MemFailCall(MEM_FILE_WRITE, 0, PLAT_ERROR_ACCESS_DENIED);
    Result unsaved = Run({"remove", id.c_str(), "--yes"});
    EXPECT_EQ(CliExitFailed, unsaved.code) << "no backup: not a question of rights";
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Agent")) << "nothing deleted without a backup";
    MemClearFaults();
    Result removed = Run({"remove", id.c_str(), "-Y"});
    EXPECT_EQ(CliExitDone, removed.code) << removed.err;
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Agent"));
    std::vector<std::string> backups = MemListFolder(MEM_PERSONAL_FOLDER "\\Orvane Tool Backups");
    ASSERT_EQ(1u, backups.size());
    EXPECT_NE(std::string::npos, removed.out.find(backups[0])) << removed.out;
}

// A 383-character command and one longer than the record holds: the list
// gives both whole; the report opens with its header, gives the first whole
// and the second with "..." after all the record holds.
TEST_F(Console, LongCommandsWholeInTheListMarkedWhereCutInTheReport)
{
    std::string middle = "C:\\m.exe " + std::string(374, 'm');
    std::string huge = "C:\\h.exe " + std::string(3000, 'h');
    MemSetString(PLAT_HKCU, kRun, "Middle", middle.c_str());
    MemSetString(PLAT_HKCU, kRun, "Huge", huge.c_str());
    Result list = Run({"list", "-f", "csv"});
    ASSERT_EQ(CliExitDone, list.code) << list.err;
    EXPECT_NE(std::string::npos, list.out.find(middle + ","));
    EXPECT_NE(std::string::npos, list.out.find(huge + ","));
    MemAddFolder("C:\\Reports");
    Result report = Run({"report", "C:\\Reports\\r.html"});
    ASSERT_EQ(CliExitDone, report.code) << report.err;
    std::string html = MemFileBytes("C:\\Reports\\r.html");
    EXPECT_NE(std::string::npos, html.find("<br>\n<p>Date: 2026-12-07 13:05:09<br>\nComputer: TESTPC"
                                           "<br>\nRun (this user): 2 entries, 0 disabled<br>\n"));
    EXPECT_NE(std::string::npos, html.find("<td>" + middle + "</td>"));
    EXPECT_NE(std::string::npos,
              html.find("<td>" + huge.substr(0, COMMAND_FIELD_SIZE - 1) + "...</td>"));
}

// The window asks before replacing a report; here --yes does, and even
// then a report that fails leaves the old file as it was.
TEST_F(Console, ReportReplacesAFileOnlyWithYesAndOnlyWhole)
{
    const char *path = "C:\\Reports\\kept.html";
    MemAddFolder("C:\\Reports");
    MemAddFile(path, "precious");
    Result refused = Run({"report", path});
    EXPECT_EQ(CliExitUsage, refused.code);
    EXPECT_NE(std::string::npos, refused.err.find("--yes")) << refused.err;
    MemFailCall(MEM_FILE_WRITE, 0);
    EXPECT_EQ(CliExitFailed, Run({"report", path, "--yes"}).code);
    EXPECT_EQ("precious", MemFileBytes(path));
    EXPECT_EQ(1u, MemListFolder("C:\\Reports").size()) << "nothing left beside it";
    MemClearFaults();
    EXPECT_EQ(CliExitDone, Run({"report", path, "--yes"}).code);
    EXPECT_EQ(0u, MemFileBytes(path).find("<html>"));
    // A file another program makes after the check is not replaced either.
    const char *late = "C:\\Reports\\late.html";
    MemResetCounts();
    MemSetHook(MEM_FILE_WRITE, 1, [&] { MemAddFile(late, "theirs"); });
    EXPECT_EQ(CliExitFailed, Run({"report", late}).code);
    EXPECT_EQ("theirs", MemFileBytes(late));
}

// CleanUp keeps a key holding a row hidden as Windows' own, as the window
// does; what it was to delete and could not is a failure, entry by entry.
TEST_F(Console, CleanUpKeepsHiddenKeysAndNamesEachEntryKept)
{
    const char *tool = "C:\\Windows\\System32\\tool.exe";
    ForgetSignatures();
    MemSetSignature(tool, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemSetString(PLAT_HKLM, kRunOff, "Windows", tool);
    MemSetString(PLAT_HKCU, kRunOff, "A", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRunOff, "B", "C:\\b.exe");
    // Switched off in Windows' settings: kept, and counted as kept.
    MemSetString(PLAT_HKCU, RUN_KEY, "Settings", "C:\\s.exe");
    MemSetValue(PLAT_HKCU, APPROVED_KEY "\\Run", "Settings", PLAT_REG_BINARY,
                std::string("\x03\0\0\0\0\0\0\0\0\0\0\0", 12));
    // Disabled here, but not a Run key's: kept, and said to be.
    MemAddLink(MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Off.lnk", "C:\\o.exe", "", "");
    MemSetString(PLAT_HKCU, kRunOff, "0Esc\x1b[2J", "C:\\e.exe");
    const std::string dry = Run({"cleanup"}).out;
    EXPECT_NE(std::string::npos, dry.find("Would delete 3 disabled registry")) << dry;
    EXPECT_EQ(std::string::npos, dry.find('\x1b')) << "a name cannot drive the console";
    EXPECT_NE(std::string::npos, dry.find("1 other entry disabled here is kept")) << dry;
    EXPECT_NE(std::string::npos, dry.find("Would delete \"A\" (" + kUserRun + "-\\\\A)\r\n")) << dry;
    EXPECT_NE(std::string::npos, dry.find("Would delete \"B\" (")) << dry;
    EXPECT_EQ(std::string::npos, dry.find("\"Windows\"")) << "its key is kept whole";
    EXPECT_NE(std::string::npos,
              dry.find("1 entry switched off in Windows' settings or Task Scheduler is kept"))
        << dry;
    MemFailCall(MEM_REG_DELETE_VALUE, 0, PLAT_ERROR_OUTOFMEMORY);
    Result kept = Run({"cleanup", "--yes"});
    EXPECT_EQ(CliExitFailed, kept.code);
    EXPECT_EQ(3, std::count(kept.err.begin(), kept.err.end(), '\n')) << kept.err;
    EXPECT_NE(std::string::npos, kept.err.find("\"B\" (" + kUserRun + "-\\\\B) was not deleted: "
                                               "Windows refused the change."))
        << kept.err;
    MemClearFaults();
    MemDenyWrites(PLAT_HKCU, true);
    Result denied = Run({"cleanup", "--yes"});
    EXPECT_EQ(CliExitFailed, denied.code) << "the user's own key: not a question of rights";
    EXPECT_NE(std::string::npos, denied.err.find("\"A\"")) << denied.err;
    MemDenyWrites(PLAT_HKCU, false);
    Result done = Run({"cleanup", "--yes"});
    EXPECT_EQ(CliExitDone, done.code) << done.out << done.err;
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRunOff, "Windows"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "A"));
    ForgetSignatures();
}

// Refusals name their real cause; rights are the cause only for an entry
// of all users while not elevated; a list the reader could not read whole
// is not a success.
TEST_F(Console, CausesAndExitCodesFollowTheEntry)
{
    const char *winlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    MemAddFile("C:\\Windows\\system32\\userinit.exe");
    MemSetString(PLAT_HKLM, winlogon, "Userinit", "C:\\Windows\\system32\\userinit.exe,");
    std::string userinit = std::string("HKLM\\") + winlogon + "\\\\Userinit\\\\C:\\Windows\\system32\\userinit.exe";
    Result own = Run({"remove", userinit.c_str(), "--yes"});
    EXPECT_EQ(CliExitFailed, own.code);
    EXPECT_EQ(std::string::npos, own.err.find("cannot be handled")) << own.err;

    MemSetString(PLAT_HKCU, kRun, "Mine", "C:\\mine.exe");
    std::string mine = kUserRun + "\\\\Mine";
    MemDenyWrites(PLAT_HKCU, true);
    EXPECT_EQ(CliExitFailed, Run({"disable", mine.c_str()}).code);
    MemDenyWrites(PLAT_HKCU, false);
    MemSetString(PLAT_HKLM, kRun, "Theirs", "C:\\theirs.exe");
    MemDenyWrites(PLAT_HKLM, true);
    MemSetElevated(true);
    EXPECT_EQ(CliExitFailed, Run({"disable", ("HKLM\\" + std::string(kRun) + "\\\\Theirs").c_str()}).code)
        << "elevated, a denial is not for want of rights";
    MemSetElevated(false);

    MemAddFile("C:\\mine.exe");
    MemSetVersion("C:\\mine.exe", "d", "c");
    MemSetVersionReadFails("C:\\mine.exe", true);
    Result list = Run({"list", "-f", "csv"});
    EXPECT_EQ(CliExitFailed, list.code);
    EXPECT_NE(std::string::npos, list.err.find("C:\\mine.exe")) << list.err;
    MemAddFolder("C:\\Reports");
    EXPECT_EQ(CliExitFailed, Run({"report", "C:\\Reports\\r.html"}).code);
}

// Names longer than the record holds are whole in the list and in distinct
// ids that reach their entries (which are not changed here); a table line
// of characters beyond ASCII goes out in one write, every character intact.
TEST_F(Console, LongNamesWholeAndTableCharactersIntact)
{
    std::string one(300, 'n'), two = std::string(290, 'n') + "second";
    MemSetString(PLAT_HKCU, kRun, one.c_str(), "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRun, two.c_str(), "C:\\b.exe");
    Result json = Run({"list", "-f", "json"});
    EXPECT_NE(std::string::npos, json.out.find("\"name\": \"" + two + "\""));
    EXPECT_NE(std::string::npos, json.out.find("\\\\\\\\" + one + "\", \"name\": \"" + one + "\""));
    Result cut = Run({"remove", (kUserRun + "\\\\" + two).c_str(), "--yes"});
    EXPECT_EQ(CliExitFailed, cut.code);
    EXPECT_NE(std::string::npos, cut.err.find("too long")) << cut.err;
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, two.c_str()));

    MemSetCodePageUtf8(true);
    MemSetString(PLAT_HKCU, kRun, "\xE4\xB8\xAD\xE6\x96\x87", "C:\\\xC3\xA9.exe");
    Result table = Run({"list"});
    EXPECT_NE(std::string::npos, table.out.find("\xE4\xB8\xAD\xE6\x96\x87  ")) << table.out;
    // Wide characters take two console cells each: the next column lines up.
    MemReset();
    MemSetCodePageUtf8(true);
    MemSetString(PLAT_HKCU, kRun, "\xE4\xB8\xAD\xF0\xA0\x80\x80", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRun, "abcd", "C:\\a.exe");
    EXPECT_NE(std::string::npos, Run({"list"}).out.find("\xE4\xB8\xAD\xF0\xA0\x80\x80  USR"));
    EXPECT_NE(std::string::npos, table.out.find("C:\\\xC3\xA9.exe")) << table.out;
    MemSetCodePageUtf8(false);
}

// 24 backspaces would draw a system path over the program Windows runs: the
// table shows them, and a right-to-left override, as escapes; CSV gives a
// spreadsheet no cell to run; CSV keeps the command's bytes exact, JSON its
// characters, each beyond ASCII as an escape.
TEST_F(Console, TableShowsWhatCouldDeceiveCsvGuardsFormulasJsonIsExact)
{
    MemSetCodePageUtf8(true);
    std::string evil = "C:\\Users\\Public\\evil.exe";
    std::string command =
        evil + std::string(24, '\b') + "C:\\Windows\\System32\\ctfmon\xE2\x80\xAE";
    MemSetString(PLAT_HKCU, kRun, "ctfmon", command.c_str());
    MemSetString(PLAT_HKCU, kRun, "=cmd", "-x");
    Result table = Run({"list"});
    ASSERT_EQ(CliExitDone, table.code) << table.err;
    std::string escapes;
    for (int i = 0; i < 24; ++i)
        escapes += "\\x08";
    EXPECT_NE(std::string::npos,
              table.out.find(evil + escapes + "C:\\Windows\\System32\\ctfmon\\u202E"))
        << table.out;
    EXPECT_EQ(std::string::npos, table.out.find_first_of("\b\x7f")) << table.out;
    EXPECT_EQ(std::string::npos, table.out.find("\xE2\x80\xAE")) << table.out;

    Result csv = Run({"list", "-f", "csv"});
    EXPECT_NE(std::string::npos, csv.out.find(",\"'=cmd\",USR,on,true,false,")) << csv.out;
    EXPECT_NE(std::string::npos, csv.out.find(",\"'-x\",")) << csv.out;
    EXPECT_NE(std::string::npos, csv.out.find("," + command + ",")) << "exact, not escaped";
    std::string json = Run({"list", "-f", "json"}).out;
    std::string exact;
    for (int i = 0; i < 24; ++i)
        exact += "\\u0008";
    EXPECT_NE(std::string::npos,
              json.find("\"command\": \"C:\\\\Users\\\\Public\\\\evil.exe" + exact
                        + "C:\\\\Windows\\\\System32\\\\ctfmon\\u202e\""));
    EXPECT_NE(std::string::npos, json.find("\"name\": \"=cmd\"")) << json;
    MemSetCodePageUtf8(false);
}

// JSON lines: one object to a line, ended by a line feed alone, each the
// entry's members as JSON has them and where and when it was listed.
TEST_F(Console, JsonLinesGiveOneObjectPerLineWithItsOrigin)
{
    MemSetString(PLAT_HKCU, kRun, "Agent", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Say \"hi\"\r\n", "C:\\say.exe");
    MemSetComputerName("PC-1");
    MemSetUserName("J\xF6rg");
    MemSetUtcOffset(-330);
    Result lines = Run({"list", "--format", "jsonl"});
    ASSERT_EQ(CliExitDone, lines.code) << lines.err;
    EXPECT_EQ(std::string::npos, lines.out.find('\r')) << lines.out;
    std::string json = Run({"list", "-f", "json"}).out;
    std::vector<std::map<std::string, std::string>> objects;
    for (size_t start = 0, end; start < lines.out.size(); start = end + 1) {
        end = lines.out.find('\n', start);
        ASSERT_NE(std::string::npos, end) << "every line ends with a line feed";
        std::string line = lines.out.substr(start, end - start);
        objects.push_back(JsonObject(line));
        std::string own = line.substr(0, line.find(", \"computer\": ")) + "}";
        EXPECT_NE(std::string::npos, json.find("  " + own)) << line << "\n" << json;
    }
    ASSERT_EQ(2u, objects.size()) << lines.out;
    for (auto &object : objects) {
        EXPECT_EQ(22u, object.size()) << "the 19 columns, computer, user and time";
        EXPECT_EQ("\"PC-1\"", object["computer"]);
        EXPECT_EQ("\"J\\u00f6rg\"", object["user"]);
        EXPECT_EQ("\"2026-12-07T13:05:09-05:30\"", object["time"]);
    }
    EXPECT_EQ("\"Say \\\"hi\\\"\\r\\n\"", objects[0]["name"] == "\"Agent\"" ? objects[1]["name"]
                                                                           : objects[0]["name"]);

    MemSetUserName("");
    MemSetUtcOffset(MEM_UNKNOWN_OFFSET);
    MemSetTime(PlatTime{2027, 1, 2, 3, 4, 5});
    std::string unknown = Run({"list", "-f", "jsonl", "-n", "Agent"}).out;
    EXPECT_NE(std::string::npos,
              unknown.find(", \"user\": null, \"time\": \"2027-01-02T03:04:05\"}\n"))
        << unknown;
    MemSetUtcOffset(345);
    EXPECT_NE(std::string::npos,
              Run({"list", "-f", "jsonl"}).out.find("\"2027-01-02T03:04:05+05:45\"}\n"));
    EXPECT_EQ("", Run({"list", "-f", "jsonl", "-n", "none"}).out) << "no lines, no array";
}

// Every character beyond ASCII is an escape, decoded from UTF-8 (past
// U+FFFF a pair); a byte that begins no character, or a sequence broken
// off or cut short at the end, is U+FFFD, and nothing past the end is
// read. DEL is ASCII. Under another code page its characters are escaped.
TEST_F(Console, JsonEscapesEveryCharacterBeyondAscii)
{
    MemSetCodePageUtf8(true);
    std::string name = "A\x7F\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"
                       "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"
                       "\xFF\x80\xC0\xAF\xED\xA0\x80\xE2\x82Z\xF4\x90\x80\x80\xE2\x82";
    MemAddFile((std::string(MEM_STARTUP_FOLDER "\\") + name).c_str());
    Result json = Run({"list", "-f", "json"});
    ASSERT_EQ(CliExitDone, json.code) << json.err;
    const std::string want =
        "A\x7F\\u00e9\\u07ff\\u0800\\u20ac\\uffff\\ud800\\udc00\\ud83d\\ude00\\udbff\\udfff"
        "\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffdZ"
        "\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\"";
    EXPECT_NE(std::string::npos, json.out.find("\"name\": \"" + want)) << json.out;
    for (char c : json.out)
        ASSERT_LT((unsigned char)c, 0x80) << json.out;

    MemReset();
    MemSetString(PLAT_HKCU, kRun, "Caf\xE9\x80", "C:\\a.exe");
    EXPECT_NE(std::string::npos,
              Run({"list", "-f", "jsonl"}).out.find("\"name\": \"Caf\\u00e9\\u0080\""));
}

// --bom marks CSV as UTF-8 where it becomes bytes (a file, a pipe), never on
// a console; with any other format it is a usage error.
TEST_F(Console, BomStartsCsvOutsideAConsoleAndGoesWithCsvOnly)
{
    MemSetString(PLAT_HKCU, kRun, "Agent", "C:\\a.exe");
    std::string plain = Run({"list", "-c"}).out;
    Result marked = Run({"list", "--bom", "--format", "csv"});
    EXPECT_EQ(CliExitDone, marked.code) << marked.err;
    EXPECT_EQ("\xEF\xBB\xBF" + plain, marked.out);
    MemSetConsoleWidth(120);
    EXPECT_EQ(Run({"list", "-c"}).out, Run({"list", "-c", "/BOM"}).out);
    for (auto refused : std::vector<std::vector<const char *>>{
             {"list", "--bom"}, {"list", "-f", "json", "--bom"}, {"list", "--bom", "-f", "jsonl"},
             {"list", "-ct", "--bom"}, {"report", "C:\\r.html", "--bom"}}) {
        Result r = Run(refused);
        EXPECT_EQ(CliExitUsage, r.code) << refused[1];
        EXPECT_EQ("", r.out);
        EXPECT_NE(std::string::npos, r.err.find("--bom")) << r.err;
    }
}

// A key name may be 255 characters: an Active Setup component, a RunOnceEx
// section and its Depend key whose paths do not fit the record are listed,
// marked cut, and never changed.
TEST_F(Console, LongKeyNamesAreListedCutAndNeverChanged)
{
    const std::string component = ACTIVE_SETUP_KEY "\\" + std::string(255, 'i');
    const std::string section = CURRENT_VERSION_KEY "\\RunOnceEx\\" + std::string(255, 's');
    const std::string depend = section + "\\Depend";
    MemSetString(PLAT_HKLM, component.c_str(), STUB_PATH_VALUE, "C:\\stub.exe");
    MemSetString(PLAT_HKLM, section.c_str(), "Step", "||C:\\step.exe");
    MemSetString(PLAT_HKLM, depend.c_str(), "1", "C:\\dep.dll");
    Result list = Run({"list", "-f", "csv"});
    EXPECT_EQ(CliExitDone, list.code) << list.err;
    for (const char *command : {"C:\\stub.exe", "||C:\\step.exe", "C:\\dep.dll"})
        EXPECT_NE(std::string::npos, list.out.find(command)) << command;
    ASSERT_EQ(3, ItemCatalogue.count);
    std::vector<std::string> ids;
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        EXPECT_TRUE(item->locationCut && ItemLocationCut(item)) << i;
        EXPECT_FALSE(ItemActionable(item) || ItemNameCut(item)) << i;
        char id[ITEM_ID_SIZE];
        ItemId(item, NULL, id, sizeof id);
        ids.push_back(id);
    }
    for (const std::string &id : ids) {
        Result disable = Run({"disable", id.c_str()});
        Result remove = Run({"remove", id.c_str(), "--yes"});
        for (const Result &refused : {disable, remove}) {
            EXPECT_EQ(CliExitFailed, refused.code) << id;
            EXPECT_NE(std::string::npos, refused.err.find("too long")) << refused.err;
        }
    }
    const std::string z(1, '\0');
    EXPECT_EQ("1:C:\\stub.exe" + z, Bytes(PLAT_HKLM, component.c_str(), STUB_PATH_VALUE));
    EXPECT_EQ("1:||C:\\step.exe" + z, Bytes(PLAT_HKLM, section.c_str(), "Step"));
    EXPECT_EQ("1:C:\\dep.dll" + z, Bytes(PLAT_HKLM, depend.c_str(), "1"));
}

// A writer adding a Run value on every pass: the rows that fitted are
// listed, the list says it may lack some, and list exits 1.
TEST_F(Console, StorageChangingOnEveryPassIsSaidAndTheListFails)
{
    MemSetString(PLAT_HKCU, kRun, "One", "C:\\a.exe");
    MemSetString(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", "C:\\a.exe");
    int written = 0;
    MemSetHook(MEM_ALLOC, 0, [&written] {
        MemSetString(PLAT_HKCU, kRun, ("New" + std::to_string(++written)).c_str(), "C:\\a.exe");
    });
    Result list = Run({"list"});
    MemClearFaults();
    EXPECT_EQ(CliExitFailed, list.code);
    EXPECT_NE(std::string::npos,
              list.err.find("ERROR: storage changed while it was read: Refresh again\r\n"))
        << list.err;
    EXPECT_EQ(1, ItemCatalogue.changed);
    EXPECT_NE(std::string::npos, list.out.find("One"));
}

// Where the task files are all there is (a scheduler without a listing), a
// task folder that cannot be read is named, and list exits 1.
TEST_F(Console, UnreadableTaskFolderIsNamedAndTheListFails)
{
    MemFailCall(MEM_TASK_LIST, 0, PLAT_ERROR_CALL_NOT_IMPLEMENTED);
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Agent", "x");
    MemFailCall(MEM_FIND_FIRST, 1, PLAT_ERROR_ACCESS_DENIED);
    Result list = Run({"list"});
    EXPECT_EQ(CliExitFailed, list.code);
    EXPECT_EQ("ERROR: \"C:\\WINDOWS\\System32\\Tasks\": task folder could not be read (Error 5.): "
              "its tasks are not listed\r\n",
              list.err);
}

// One word for what holds each entry off, in the table, CSV and JSON;
// what could not be learnt is null in JSON and empty in CSV, never "n/a".
TEST_F(Console, StateSaysWhatHoldsEachEntryOff)
{
    MemSetString(PLAT_HKCU, kRun, "On", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Here", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRun, "Settings", "C:\\a.exe");
    MemSetValue(PLAT_HKCU, APPROVED_KEY "\\Run", "Settings", PLAT_REG_BINARY,
                std::string("\x03\0\0\0\0\0\0\0\0\0\0\0", 12));
    MemSetString(PLAT_HKLM, kRun, "Policy", "C:\\a.exe");
    MemSetString(PLAT_HKLM, kRun, "Both", "C:\\a.exe");
    MemSetValue(PLAT_HKLM, APPROVED_KEY "\\Run", "Both", PLAT_REG_BINARY,
                std::string("\x03\0\0\0\0\0\0\0\0\0\0\0", 12));
    MemSetValue(PLAT_HKCU, POLICY_EXPLORER_KEY, "DisableLocalMachineRun", PLAT_REG_DWORD,
                std::string("\x01\0\0\0", 4));
    MemAddTask("\\Vendor\\Off", "<Task><Triggers><LogonTrigger/></Triggers><Actions><Exec>"
                                    "<Command>C:\\a.exe</Command></Exec></Actions></Task>", false);
    std::string csv = Run({"list", "-c"}).out;
    for (const char *row : {",On,USR,on,", ",Here,USR,off here,", ",Settings,USR,off in Windows' settings,",
                            ",Policy,ALL,off by policy,", ",Both,ALL,off by policy,",
                            ",TASK,off in Task Scheduler,"})
        EXPECT_NE(std::string::npos, csv.find(row)) << row << "\n" << csv;
    EXPECT_NE(std::string::npos, csv.find(",,target not found,")) << "no publisher: empty";
    std::string json = Run({"list", "-f", "json"}).out;
    EXPECT_NE(std::string::npos, json.find("\"publisher\": null")) << json;
    EXPECT_EQ(std::string::npos, json.find("n/a"));
    EXPECT_NE(std::string::npos, Run({"list"}).out.find("off in Windows' settings"));
}

// Group Policy's scripts of one ini file have ids of their own, are listed
// under the file as their place, and are refused as the window refuses them.
TEST_F(Console, PolicyScriptsOfAnIniFileHaveIdsAndAreRefused)
{
    MemSetShellFolder(PLAT_CSIDL_SYSTEM, "C:\\Windows\\system32");
    const std::string ini = "C:\\Windows\\system32\\" LOCAL_POLICY_USER_SCRIPTS "\\scripts.ini";
    MemAddFile(ini.c_str(), "[Logon]\r\n0CmdLine=C:\\a.cmd\r\n1CmdLine=C:\\b.cmd\r\n");
    Result listed = Run({"list", "-f", "csv", "-p", "C:\\Windows\\system32\\GroupPolicy"});
    EXPECT_NE(std::string::npos,
              listed.out.find("\r\n" + ini + "\\\\[Logon] 0CmdLine,Logon script: C:\\a.cmd,USR,"
                              STATE_READ_ONLY ","))
        << listed.out;
    EXPECT_NE(std::string::npos, listed.out.find("\r\n" + ini + "\\\\[Logon] 1CmdLine,")) << listed.out;
    Result off = Run({"disable", (ini + "\\\\[Logon] 1CmdLine").c_str()});
    EXPECT_EQ(CliExitFailed, off.code);
    EXPECT_NE(std::string::npos, off.err.find("managed by Group Policy")) << off.err;
}

namespace {

// diff against the entries seen: 0 when nothing changed, 4 with a row per
// difference; accept and this program's own changes clear them; a snapshot
// is a baseline.
TEST_F(Console, DiffSaysWhatChangedAndExitsFourUntilAccepted)
{
    MemSetString(PLAT_HKCU, kRun, "Kept", "C:\\kept.exe");
    MemSetString(PLAT_HKCU, kRun, "Edited", "C:\\edited.exe");
    MemSetString(PLAT_HKCU, kRun, "Dropped", "C:\\dropped.exe");
    Result r = Run({"diff"});
    EXPECT_EQ(CliExitDone, r.code) << "the first run takes what it finds as seen";
    EXPECT_NE(std::string::npos, r.err.find("the 3 listed now are taken as seen"));
    EXPECT_EQ(CliExitDone, Run({"snapshot", "C:\\base.txt"}).code);

    MemSetString(PLAT_HKCU, kRun, "Edited", "C:\\edited.exe /new");
    MemSetString(PLAT_HKCU, kRun, "Added", "C:\\added.exe");
    EXPECT_EQ(CliExitDone, Run({"remove", "--yes", (kUserRun + "\\\\Dropped").c_str()}).code);
    r = Run({"diff", "-c"});
    EXPECT_EQ(CliExitDiffers, r.code);
    EXPECT_EQ("change,id,name,place,command,was\r\n"
              "changed," + kUserRun + "\\\\Edited,Edited," + kUserRun + ",C:\\edited.exe /new,"
              "\"command was \"\"C:\\edited.exe\"\"\"\r\n"
              "new," + kUserRun + "\\\\Added,Added," + kUserRun + ",C:\\added.exe,\r\n",
              r.out) << "a removal made here is no news";
    r = Run({"diff", "--baseline", "C:\\base.txt", "--format", "json"});
    EXPECT_EQ(CliExitDiffers, r.code);
    EXPECT_NE(std::string::npos, r.out.find("\"change\": \"gone\", \"id\": \"" "HKCU"));
    EXPECT_EQ(CliExitUsage, Run({"accept", "HKCU\\Nowhere\\\\x"}).code);
    EXPECT_EQ(CliExitDone, Run({"accept", (kUserRun + "\\\\Added").c_str()}).code);
    r = Run({"diff"});
    EXPECT_EQ(CliExitDiffers, r.code);
    EXPECT_EQ(0u, r.out.find("changed  ")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("\nnew  "));
    EXPECT_EQ(CliExitDone, Run({"accept", "--all"}).code);
    EXPECT_EQ(CliExitDone, Run({"diff"}).code);
    EXPECT_EQ(CliExitFailed, Run({"diff", "--baseline", "C:\\missing.txt"}).code);
    EXPECT_EQ(CliExitUsage, Run({"snapshot", "C:\\base.txt"}).code) << "never over a file";
    EXPECT_EQ(CliExitDone, Run({"snapshot", "C:\\base.txt", "--yes"}).code);
    // A list damaged (by anyone) is trusted for nothing: every entry is new.
    const std::string seen = MEM_LOCAL_APPDATA_FOLDER "\\" REMEMBERED_FOLDER "\\" REMEMBERED_FILE;
    MemAddFile(seen.c_str(), MemFileBytes(seen.c_str()) + "x");
    r = Run({"diff"});
    EXPECT_EQ(CliExitDiffers, r.code);
    EXPECT_NE(std::string::npos, r.err.find("set aside"));
    EXPECT_EQ(3u, (size_t)std::count(r.out.begin(), r.out.end(), '\n'));
    // A command's own change never sets a damaged list aside unsaid, nor
    // takes it for none: the next diff says so and lists every entry new.
    EXPECT_EQ(CliExitDone, Run({"accept", "--all"}).code);
    MemAddFile(seen.c_str(), MemFileBytes(seen.c_str()) + "x");
    EXPECT_EQ(CliExitDone, Run({"disable", (kUserRun + "\\\\Kept").c_str()}).code);
    r = Run({"diff"});
    EXPECT_EQ(CliExitDiffers, r.code);
    EXPECT_NE(std::string::npos, r.err.find("set aside")) << r.err;
}

// A value written back beside its copy disabled here, where Windows' switch
// does not reach (RunOnce): two rows, two entries; a change to the one never
// accepts the other.
TEST_F(Console, AChangeToOneOfTwoNamesakesNeverAcceptsTheOther)
{
    const std::string once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    MemSetString(PLAT_HKCU, (once + "-").c_str(), "X", "C:\\x.exe");
    EXPECT_EQ(CliExitDone, Run({"diff"}).code);
    MemSetString(PLAT_HKCU, once.c_str(), "X", "C:\\evil.exe");
    EXPECT_EQ(CliExitDiffers, Run({"diff"}).code);
    EXPECT_EQ(CliExitDone, Run({"remove", "--yes", ("HKCU\\" + once + "-\\\\X").c_str()}).code);
    Result r = Run({"diff"});
    EXPECT_EQ(CliExitDiffers, r.code) << "the program written back is still marked";
    EXPECT_NE(std::string::npos, r.out.find("C:\\evil.exe")) << r.out;
    EXPECT_EQ(CliExitUsage, Run({"accept", "--all", "x"}).code);
    EXPECT_EQ(CliExitUsage, Run({"diff", "--all"}).code);
}

// disable, enable and remove read the keys of their ids alone and the files
// of the entries named alone, yet accept the change with its signer as it
// is now: the next diff has no news of it.
TEST_F(Console, ACommandOnIdsReadsOnlyWhatItsEntriesNeed)
{
    const char *agent = "C:\\Tools\\agent.exe";
    for (int i = 0; i < 20; ++i)
        MemSetString(PLAT_HKCU, kRun, ("Other" + std::to_string(i)).c_str(), "C:\\other.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\Link.lnk", "C:\\other.exe", "", "");
    MemSetString(PLAT_HKCU, kRun, "Agent", agent);
    MemSetSignature(agent, PLAT_TRUST_VERIFIED, "Contoso Ltd");
    EXPECT_EQ(CliExitDone, Run({"diff"}).code);
    MemSetSignature(agent, PLAT_TRUST_VERIFIED, "Fabrikam Inc");
    MemSetWriteTime(agent, 42);
    MemResetCounts();
    Result r = Run({"disable", (kUserRun + "\\\\Agent").c_str()});
    EXPECT_EQ(CliExitDone, r.code) << r.err;
    // The tasks are read, before and after the change (one of ours may
    // start the entry later); no service, packaged app or other place.
    EXPECT_EQ(2, MemCallCount(MEM_TASK_LIST));
    EXPECT_EQ(0, MemCallCount(MEM_SERVICE_LIST)) << "no service read";
    EXPECT_GE(2, MemCallCount(MEM_VERSION_SIZE)) << "the entry's own file, before and after";
    r = Run({"diff"});
    EXPECT_EQ(CliExitDone, r.code) << r.out;
    r = Run({"enable", (kUserRun + "\\\\Agent").c_str(), (kUserRun + "\\\\Nobody").c_str()});
    EXPECT_EQ(CliExitUsage, r.code);
    EXPECT_NE(std::string::npos, r.err.find("No entry has the id")) << r.err;
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "Agent")) << "nothing changed";
}

} // namespace

// undo takes one change's number or a backup's file name; history only
// the formats it writes. Each refusal is one line, before anything is read.
TEST_F(Console, HistoryAndUndoArgumentsAreRefusedUnlessWhole)
{
    CliArguments a;
    const char *undo[] = {"orvanec", "undo", "0012", "-y"};
    ASSERT_EQ(CliExitDone, CliParse(4, (char **)undo, &a)) << a.error;
    EXPECT_EQ(12, a.change);
    EXPECT_EQ(1, a.yes);
    CliFreeArguments(&a);
    const char *file[] = {"orvanec", "undo", "Removed Tool 2026-12-07 130509.reg"};
    ASSERT_EQ(CliExitDone, CliParse(3, (char **)file, &a)) << a.error;
    EXPECT_EQ(0, a.change);
    CliFreeArguments(&a);
    for (auto bad : std::vector<std::vector<const char *>>{
             {"undo"}, {"undo", "twelve"}, {"undo", "0"}, {"undo", "99999999999"}, {"undo", ""},
             {"undo", "1", "2"}, {"undo", "1", "-f", "json"}, {"history", "--format", "tabs"},
             {"history", "-ct"}, {"history", "-f", "jsonl"}, {"history", "3"},
             {"history", "--yes"}}) {
        Result r = Run(bad);
        EXPECT_EQ(CliExitUsage, r.code) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << "one line: " << r.err;
    }
}

// The changes newest first, a backup not recorded between them by its
// time; a damaged record is left out, said, and fails the history; a file
// not ours is said and lists nothing; an undo names only what is there.
TEST_F(Console, HistoryIsNewestFirstAndSaysWhatItLeftOut)
{
    JournalRecord r;
    memset(&r, 0, sizeof r);
    r.op = JournalDisable;
    r.stateBefore = 1;
    r.stateAfter = 0;
    TextCopy(r.scope, sizeof r.scope, SCOPE_USER);
    TextCopy(r.name, sizeof r.name, "Tool");
    TextCopy(r.id, sizeof r.id, (kUserRun + "-\\\\Tool").c_str());
    TextCopy(r.front, sizeof r.front, FRONT_WINDOW);
    MemSetTime({2026, 12, 8, 10, 0, 0});
    ASSERT_EQ(PLAT_OK, AppendJournal(NULL, &r));
    const std::string folder = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER;
    MemAddFile((folder + "\\Hand made.reg").c_str(), "REGEDIT4\r\n");
    MemSetTime({2026, 12, 8, 11, 0, 0});
    MemSetWriteTime((folder + "\\Hand made.reg").c_str(), PlatFileTimeNow());
    MemSetTime({2026, 12, 8, 12, 0, 0});
    r.op = JournalRemove;
    TextCopy(r.backup, sizeof r.backup, (folder + "\\Removed Tool.reg").c_str());
    MemAddFile(r.backup, "REGEDIT4\r\n");
    TextCopy(r.backupHash, sizeof r.backupHash, std::string(64, 'a').c_str());
    r.backupSize = 10;
    ASSERT_EQ(PLAT_OK, AppendJournal(NULL, &r));

    Result csv = Run({"history", "-c"});
    EXPECT_EQ(CliExitDone, csv.code) << csv.err;
    EXPECT_EQ(0u, csv.out.find("number,time,time_utc,front,op,words,")) << csv.out;
    size_t two = csv.out.find("\r\n2,2026-12-08 12:00:00,2026-12-08T12:00:00Z,window,remove,");
    size_t loose = csv.out.find("\r\n,2026-12-08 11:00:00,");
    size_t one = csv.out.find("\r\n1,2026-12-08 10:00:00,");
    EXPECT_TRUE(two < loose && loose < one && one != std::string::npos) << csv.out;
    EXPECT_NE(std::string::npos, csv.out.find(",10," + std::string(64, 'a') + ",")) << csv.out;
    Result json = Run({"history", "--format", "json"});
    EXPECT_NE(std::string::npos, json.out.find("{\"number\": null, ")) << json.out;
    Result table = Run({"history"});
    EXPECT_EQ(0u, table.out.find("No.")) << table.out;
    EXPECT_NE(std::string::npos, table.out.find("Hand made.reg\r\n1 ")) << table.out;

    char journal[TEXT_FIELD_SIZE];
    ASSERT_TRUE(JournalPath(journal));
    MemAddFile(journal, MemFileBytes(journal) + "change\t3\tbroken\n");
    Result torn = Run({"history", "-c"});
    EXPECT_EQ(CliExitFailed, torn.code);
    EXPECT_EQ("1 damaged record of the history was left out.\r\n", torn.err);
    EXPECT_EQ(csv.out, torn.out) << "the whole records still listed";

    Result none = Run({"undo", "3"});
    EXPECT_EQ(CliExitUsage, none.code);
    EXPECT_NE(std::string::npos, none.err.find("There is no change 3")) << none.err;
    Result known = Run({"undo", "removed tool.reg"});
    EXPECT_EQ(CliExitUsage, known.code);
    EXPECT_NE(std::string::npos, known.err.find("is that of change 2: undo 2")) << known.err;
    EXPECT_EQ(CliExitUsage, Run({"undo", "C:\\elsewhere\\Hand made.reg"}).code);

    MemAddFile(journal, "not a history\n");
    Result foreign = Run({"history"});
    EXPECT_EQ(CliExitFailed, foreign.code);
    EXPECT_EQ("", foreign.out);
    EXPECT_NE(std::string::npos, foreign.err.find("could not be read: the history file is not"));
}
