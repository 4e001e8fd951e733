// logon_cost_test.cpp - the cost at the last logon: the record reader at its
// limits, the choice of a user's newest record, the matching of an entry to
// its processes, the bands at their edges and the wording.
#include "../../catalogue/logon_cost.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

namespace {

std::string Proc(const std::string &name, const std::string &command, const std::string &cpu,
                 const std::string &disk, const std::string &time = "2026-12-08T08:12:03.123Z")
{
    return "<Process Name=\"" + name + "\" PID=\"1234\" StartTime=\"" + time
           + "\"><ParentPID>4</ParentPID><ParentName>explorer.exe</ParentName>"
           + (command.empty() ? "" : "<CommandLine>" + command + "</CommandLine>")
           + "<DiskUsage Units=\"bytes\">" + disk + "</DiskUsage><CpuUsage Units=\"us\">" + cpu
           + "</CpuUsage></Process>\r\n";
}

std::string Doc(const std::string &processes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<!-- logon -->\r\n<StartupData>\r\n"
           + processes + "</StartupData>\r\n";
}

const std::string kTray = Proc("C:\\Program Files\\Vendor\\tray.exe",
                               "\"C:\\Program Files\\Vendor\\tray.exe\" -min &amp; -q", "1200000",
                               "14300000");
const std::string kTwo = Doc(kTray + Proc("C:\\Tools\\sync.exe", "", "15000", "2000",
                                          "2026-12-08T08:12:09Z"));

std::unique_ptr<LogonRecord> Parse(const std::string &bytes, int *whole)
{
    std::unique_ptr<LogonRecord> record(new LogonRecord);
    memset(record.get(), 0xAB, sizeof *record);
    *whole = ParseLogonRecord(bytes.data(), bytes.size(), record.get());
    return record;
}

} // namespace

TEST(LogonRecord, ReadsEveryEncodingWindowsWrites)
{
    const struct { const char *what; std::string bytes; } cases[] = {
        {"UTF-16 with a mark", "\xff\xfe" + MemUtf16(kTwo.c_str(), false)},
        {"UTF-16 without one", MemUtf16(kTwo.c_str(), false)},
        {"UTF-8 with a mark", "\xef\xbb\xbf" + kTwo},
        {"UTF-8", kTwo},
    };
    for (const auto &c : cases) {
        int whole = 0;
        auto r = Parse(c.bytes, &whole);
        ASSERT_EQ(1, whole) << c.what << ": " << r->cause;
        ASSERT_EQ(2, r->count) << c.what;
        const LogonProcess &p = r->processes[0];
        EXPECT_STREQ("C:\\Program Files\\Vendor\\tray.exe", p.image) << c.what;
        EXPECT_STREQ("\"C:\\Program Files\\Vendor\\tray.exe\" -min & -q", p.commandLine) << c.what;
        EXPECT_EQ(1200000, p.cpuMicroseconds) << c.what;
        EXPECT_EQ(14300000, p.diskBytes) << c.what;
        EXPECT_EQ(1796717523, p.startSeconds) << c.what; // 2026-12-08 08:12:03 UTC
        EXPECT_EQ(1, p.startZoned) << c.what;
        EXPECT_EQ("", std::string(r->processes[1].commandLine)) << c.what;
        EXPECT_EQ(15000, r->processes[1].cpuMicroseconds) << c.what;
    }
}

TEST(LogonRecord, TakesValuesAtTheirLimits)
{
    int whole = 0;
    const std::string longCommand(COMMAND_FIELD_SIZE + 10, 'c');
    const std::string longName = "C:\\" + std::string(TEXT_FIELD_SIZE, 'n') + ".exe";
    auto r = Parse(Doc(Proc("C:\\&#x41;&#66;\\x&apos;s &quot;y&quot;.exe", "a &lt;b&gt; &#8364;",
                            "9223372036854775807", " 0 ", "2026-12-08T08:12:03")
                       + Proc(longName, longCommand, "1", "1")),
                   &whole);
    ASSERT_EQ(1, whole) << r->cause;
    EXPECT_STREQ("C:\\AB\\x's \"y\".exe", r->processes[0].image);
    EXPECT_STREQ("a <b> \xE2\x82\xAC", r->processes[0].commandLine);
    EXPECT_EQ(INT64_MAX, r->processes[0].cpuMicroseconds);
    EXPECT_EQ(0, r->processes[0].startZoned);
    // A field too long for its place is kept cut, and said to be cut.
    EXPECT_EQ(1, r->processes[1].commandLineCut);
    EXPECT_EQ((size_t)COMMAND_FIELD_SIZE - 1, strlen(r->processes[1].commandLine));
    EXPECT_EQ(1, r->processes[1].imageCut);
    EXPECT_EQ(0, r->processes[0].imageCut + r->processes[0].commandLineCut);

    // A Process element inside a process names nothing of it.
    r = Parse(Doc("<Process Name=\"C:\\heavy.exe\" StartTime=\"2026-12-08T08:12:03Z\">"
                  "<Extra><Process Name=\"C:\\good.exe\"/></Extra><CpuUsage>9</CpuUsage>"
                  "<DiskUsage>9</DiskUsage></Process>"),
              &whole);
    ASSERT_EQ(1, whole) << r->cause;
    EXPECT_STREQ("C:\\heavy.exe", r->processes[0].image);
}

TEST(LogonRecord, RefusesWhatItCannotReadWhole)
{
    std::string many;
    for (int i = 0; i <= LOGON_PROCESSES_MOST; ++i)
        many += Proc("C:\\a.exe", "", "1", "1");
    const struct { const char *what; std::string bytes; const char *cause; } cases[] = {
        {"cut short", kTwo.substr(0, kTwo.size() / 2), "ends"},
        {"UTF-16 cut short", MemUtf16(kTwo.substr(0, 300).c_str(), false), "ends"},
        {"empty", "", "empty"},
        {"negative", Doc(Proc("C:\\a.exe", "", "-5", "1")), "negative"},
        {"past int64", Doc(Proc("C:\\a.exe", "", "1", "9223372036854775808")), "too large"},
        {"a fraction", Doc(Proc("C:\\a.exe", "", "1.5", "1")), "no whole number"},
        {"an empty figure", Doc(Proc("C:\\a.exe", "", "", "1")), "empty figure"},
        {"unknown units", Doc("<Process Name=\"C:\\a.exe\" StartTime=\"2026-12-08T08:12:03Z\">"
                              "<CpuUsage Units=\"ms\">1</CpuUsage><DiskUsage>1</DiskUsage></Process>"),
         "units"},
        {"no CPU time", Doc("<Process Name=\"C:\\a.exe\" StartTime=\"2026-12-08T08:12:03Z\">"
                            "<DiskUsage>1</DiskUsage></Process>"), "without its CPU"},
        {"CPU time twice", Doc("<Process Name=\"C:\\a.exe\" StartTime=\"2026-12-08T08:12:03Z\">"
                               "<CpuUsage>1</CpuUsage><CpuUsage>2</CpuUsage>"
                               "<DiskUsage>1</DiskUsage></Process>"), "twice"},
        {"no program", Doc(Proc("", "", "1", "1")), "without its program"},
        {"a bad time", Doc(Proc("C:\\a.exe", "", "1", "1", "8 Dec 2026")), "start time"},
        {"an unknown entity", Doc(Proc("C:\\a.exe", "x&nbsp;y", "1", "1")), "reference"},
        {"a reference to zero", Doc(Proc("C:\\a.exe", "x&#0;y", "1", "1")), "reference"},
        {"a document type", "<!DOCTYPE x [<!ENTITY e \"C:\\a.exe\">]>" + kTwo, "document type"},
        {"another root", "<Task></Task>", "root"},
        {"crossed tags", Doc("<Process><CpuUsage></Process></CpuUsage>"), "closed by another"},
        {"text outside", kTwo + "junk", "outside"},
        {"too many processes", Doc(many), "more processes"},
        {"too large", std::string(LOGON_FILE_MOST + 1, ' '), "larger"},
    };
    for (const auto &c : cases) {
        int whole = 1;
        auto r = Parse(c.bytes, &whole);
        EXPECT_EQ(0, whole) << c.what;
        EXPECT_EQ(0, r->count) << c.what;
        EXPECT_NE(nullptr, strstr(r->cause, c.cause)) << c.what << ": got \"" << r->cause << "\"";
    }
}

TEST(LogonRecord, ChoosesTheUsersNewestFile)
{
    const char *sid = "S-1-5-21-7-1001";
    const LogonFileName files[] = {
        {"S-1-5-21-7-1001_StartupInfo1.xml", 50},
        {"S-1-5-21-7-10012_StartupInfo9.xml", 900}, // a SID this one is a prefix of
        {"S-1-5-21-7-1002_StartupInfo4.xml", 800},  // another user
        {"s-1-5-21-7-1001_startupinfo3.XML", 70},   // case does not matter
        {"S-1-5-21-7-1001_StartupInfo7.xml", 60},   // a higher N, written earlier
        {"S-1-5-21-7-1001_StartupInfo.xml", 990},   // no N
        {"S-1-5-21-7-1001_StartupInfo8.xml.bak", 990},
        {"S-1-5-21-7-1001_StartupInfo5.xml", 70},   // as new as 3: the higher N
    };
    EXPECT_EQ(7, ChooseLogonFile(files, 8, sid));
    EXPECT_EQ(3, ChooseLogonFile(files, 7, sid));
    EXPECT_EQ(0, ChooseLogonFile(files, 1, sid));
    EXPECT_EQ(-1, ChooseLogonFile(files + 1, 2, sid));
    EXPECT_EQ(-1, ChooseLogonFile(files, 8, ""));
    EXPECT_EQ(1, ChooseLogonFile(files, 8, "S-1-5-21-7-10012"));
}

TEST(LogonRecord, MatchesAnEntryToItsOwnProcesses)
{
    int whole = 0;
    auto r = Parse(Doc(kTray
                       + Proc("D:\\Other\\tray.exe", "tray.exe", "7", "7")
                       + Proc("C:\\Tools\\sync.exe", "C:\\Tools\\sync.exe /a", "100", "10")
                       + Proc("C:\\Tools\\sync.exe", "C:\\Tools\\sync.exe /b", "200", "20")
                       + Proc("helper.exe", "helper.exe --bg", "333", "30")
                       + Proc("\\\\?\\C:\\Long\\app.exe", "", "400", "40")
                       + Proc("\\\\?\\UNC\\srv\\share\\net.exe", "", "500", "50")),
                   &whole);
    ASSERT_EQ(1, whole) << r->cause;
    const struct { const char *what, *program, *command; int state; int64_t cpu; int starts, byCommand; } cases[] = {
        {"its path", "C:\\Program Files\\Vendor\\tray.exe", "", LOGON_COST_MEASURED, 1200000, 1, 0},
        {"quoted, other case", "\"c:\\PROGRAM FILES\\vendor\\TRAY.EXE\"", "", LOGON_COST_MEASURED, 1200000, 1, 0},
        {"a namesake elsewhere", "C:\\Elsewhere\\tray.exe", "", LOGON_COST_NO_MATCH, 0, 0, 0},
        {"a bare name", "tray.exe", "", LOGON_COST_NO_MATCH, 0, 0, 0},
        {"started twice, its command", "C:\\Tools\\sync.exe", " C:\\Tools\\sync.exe /b ", LOGON_COST_MEASURED, 200, 1, 0},
        {"started twice, summed", "C:\\Tools\\sync.exe", "C:\\Tools\\sync.exe /c", LOGON_COST_MEASURED, 300, 2, 0},
        {"by command line", "", "  helper.exe --bg\t", LOGON_COST_MEASURED, 333, 1, 1},
        {"a namesake's command line", "C:\\Apps\\tray.exe", "tray.exe", LOGON_COST_NO_MATCH, 0, 0, 0},
        {"its command line, no path", "", "tray.exe", LOGON_COST_MEASURED, 7, 1, 1},
        {"command line, other case", "", "HELPER.EXE --bg", LOGON_COST_NO_MATCH, 0, 0, 0},
        {"path first", "C:\\Tools\\sync.exe", "helper.exe --bg", LOGON_COST_MEASURED, 300, 2, 0},
        {"\\\\?\\ in the record", "C:\\long\\app.exe", "", LOGON_COST_MEASURED, 400, 1, 0},
        {"\\\\?\\ in the entry", "\\\\?\\C:\\Program Files\\Vendor\\tray.exe", "", LOGON_COST_MEASURED, 1200000, 1, 0},
        {"UNC", "\\\\srv\\share\\net.exe", "", LOGON_COST_MEASURED, 500, 1, 0},
        {"nothing given", "", "", LOGON_COST_NO_MATCH, 0, 0, 0},
    };
    for (const auto &c : cases) {
        LogonCost cost;
        memset(&cost, 0xAB, sizeof cost);
        FindLogonCost(r.get(), c.program, c.command, &cost);
        EXPECT_EQ(c.state, cost.state) << c.what;
        EXPECT_EQ(c.cpu, cost.cpuMicroseconds) << c.what;
        EXPECT_EQ(c.starts, cost.starts) << c.what;
        EXPECT_EQ(c.byCommand, cost.byCommandLine) << c.what;
        EXPECT_EQ(1796717523, cost.logonSeconds) << c.what;
    }
}

TEST(LogonRecord, CutFieldsNeverMatch)
{
    int whole = 0;
    const std::string longCommand(COMMAND_FIELD_SIZE + 10, 'c');
    auto r = Parse(Doc(Proc("C:\\a.exe", longCommand, "1", "1")), &whole);
    ASSERT_EQ(1, whole) << r->cause;
    LogonCost cost;
    FindLogonCost(r.get(), "", r->processes[0].commandLine, &cost);
    EXPECT_EQ(LOGON_COST_NO_MATCH, cost.state);
}

TEST(LogonCost, BandsAtTheirEdges)
{
    const struct { int64_t cpu, disk; const char *band; } cases[] = {
        {1000000, 0, "medium"},  {1000001, 0, "high"},       {0, 3000000, "medium"},
        {0, 3000001, "high"},    {299999, 299999, "low"},    {300000, 0, "medium"},
        {0, 300000, "medium"},   {0, 0, "low"},              {INT64_MAX, INT64_MAX, "high"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.band, LogonCostBand(c.cpu, c.disk)) << c.cpu << " us, " << c.disk << " bytes";
}

TEST(LogonCost, WordsTheCostAndWhyNot)
{
    LogonCost cost;
    memset(&cost, 0, sizeof cost);
    cost.cpuMicroseconds = 1200000;
    cost.diskBytes = 14300000;
    cost.starts = 1;
    cost.logonSeconds = 1796717523;
    cost.logonZoned = 1;
    char text[TEXT_FIELD_SIZE];
    LogonCostText(&cost, 0, text, sizeof text);
    EXPECT_STREQ("At the logon of 8 Dec 08:12: CPU 1.2 s, disk 14.3 MB (Task Manager's band: high)", text);
    LogonCostText(&cost, 16 * 60, text, sizeof text); // past midnight: the next day
    EXPECT_NE(nullptr, strstr(text, "of 9 Dec 00:12:")) << text;
    cost.logonZoned = 0;
    LogonCostText(&cost, 120, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "of 8 Dec 08:12:")) << text;

    const struct { int64_t cpu, disk; int starts; const char *figures; } figures[] = {
        {850, 999, 1, "CPU 850 \xC2\xB5s, disk 999 bytes ("},
        {999499, 1000, 1, "CPU 999 ms, disk 1.0 KB ("},
        {999500, 999949, 1, "CPU 1.0 s, disk 999.9 KB ("},
        {300000, 999950, 2, "CPU 300 ms, disk 1.0 MB over 2 starts ("},
        {INT64_MAX, INT64_MAX, 1, "CPU 9223372036854.8 s, disk 9.2 EB ("},
    };
    for (const auto &f : figures) {
        cost.cpuMicroseconds = f.cpu;
        cost.diskBytes = f.disk;
        cost.starts = f.starts;
        LogonCostText(&cost, 0, text, sizeof text);
        EXPECT_NE(nullptr, strstr(text, f.figures)) << text;
    }

    const struct { int state; const char *cause, *says; } notMeasured[] = {
        {LOGON_COST_NO_RECORD, "", "kept no record"},
        {LOGON_COST_UNREADABLE, "", "only by an administrator"},
        {LOGON_COST_UNREADABLE, "the disk is gone", "could not be read (the disk is gone)"},
        {LOGON_COST_REFUSED, "a negative figure", "not understood (a negative figure)"},
        {LOGON_COST_NO_MATCH, "", "not started at the last logon"},
    };
    for (const auto &n : notMeasured) {
        cost.state = n.state;
        TextCopy(cost.cause, sizeof cost.cause, n.cause);
        LogonCostText(&cost, 0, text, sizeof text);
        EXPECT_EQ(0, strncmp(text, "Not measured: ", 14)) << text;
        EXPECT_NE(nullptr, strstr(text, n.says)) << text;
    }
    char small[12];
    memset(small, 0xAB, sizeof small);
    LogonCostText(&cost, 0, small, sizeof small);
    EXPECT_STREQ("Not measure", small);
}
