// cost_now_test.cpp - each row's cost at the last logon and whether it runs
// now, as a scan fills them: one record and one process list per scan, the
// user's newest record, every way of not measuring said, the SCM's process
// id for a service, the Cost order, the report and the console's fields.
#include "../../catalogue/catalogue.h"
#include "../../catalogue/logon_cost.h"
#include "../../cli/cli.h"
#include "../../report/html_log.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>
#include <functional>
#include <string>

namespace {

const char *kFolder = "C:\\WINDOWS\\" LOGON_RECORD_FOLDER;
const char *kTray = "C:\\Program Files\\Vendor\\tray.exe";
// 2026-12-07 12:00 UTC, the stand-in's local time being UTC.
const uint64_t kNoon = (1796644800ull + 11644473600ull) * 10000000ull;

std::string Record(const char *image, const char *cpu, const char *disk)
{
    return std::string("<StartupData><Process Name=\"") + image
           + "\" StartTime=\"2026-12-08T08:12:03Z\"><CommandLine>x</CommandLine><CpuUsage "
             "Units=\"us\">"
           + cpu + "</CpuUsage><DiskUsage Units=\"bytes\">" + disk
           + "</DiskUsage></Process></StartupData>";
}

std::string RecordFile(const char *sid, int n)
{
    return std::string(kFolder) + "\\" + sid + "_StartupInfo" + std::to_string(n) + ".xml";
}

void Plant(const char *sid, int n, const std::string &bytes, uint64_t written)
{
    MemAddFile(RecordFile(sid, n).c_str(), bytes);
    MemSetWriteTime(RecordFile(sid, n).c_str(), written);
}

const AutostartItem *Row(const char *name)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0)
            return &ItemCatalogue.items[i];
    return nullptr;
}

class CostNow : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        MemSetString(PLAT_HKCU, RUN_KEY, "Tray", "\"C:\\Program Files\\Vendor\\tray.exe\" -min");
        // The same file name elsewhere is another program.
        MemSetString(PLAT_HKCU, RUN_KEY, "Namesake", "D:\\Other\\tray.exe");
        MemAddFile(kTray);
        Plant(MEM_USER_SID_TEXT, 1, Record("C:\\Windows\\old.exe", "1", "1"), 100);
        Plant(MEM_USER_SID_TEXT, 2, Record(kTray, "1200000", "14300000"), 200);
        // Another user's, newer still: never this user's cost.
        Plant("S-1-5-21-1000-2000-3000-1002", 3, Record("D:\\Other\\tray.exe", "5", "5"), 300);
    }
    void TearDown() override { FreeCatalogueData(&ItemCatalogue); }
};

TEST_F(CostNow, OneRecordAndOneProcessListPerScanFillEveryRow)
{
    MemAddProcess(1234, "c:\\program files\\vendor\\TRAY.EXE", kNoon);
    MemAddProcess(1240, kTray, kNoon + 600000000ull);
    MemAddProcess(77, "D:\\Elsewhere\\tray.exe", kNoon);
    ScanCatalogue();
    EXPECT_EQ(1, MemCallCount(MEM_FILE_LOAD_MOST));
    EXPECT_EQ(1, MemCallCount(MEM_PROCESS_LIST));
    const AutostartItem *tray = Row("Tray"), *namesake = Row("Namesake");
    ASSERT_TRUE(tray && namesake);
    EXPECT_STREQ("At the logon of 8 Dec 08:12: CPU 1.2 s, disk 14.3 MB (Task Manager's band: high)",
                 tray->costText);
    EXPECT_EQ(1200000, tray->costCpu);
    EXPECT_STREQ("Running now: processes 1234, 1240, since 12:00", tray->runningText);
    EXPECT_STREQ("Not measured: it was not started at the last logon", namesake->costText);
    EXPECT_STREQ(RUNNING_NOT, namesake->runningText);

    // A second entry of the program: the start, whose command line is
    // neither's, is no longer given to either.
    MemSetString(PLAT_HKCU, RUN_KEY, "Tray2", "\"C:\\Program Files\\Vendor\\tray.exe\" -b");
    ScanCatalogue();
    EXPECT_EQ(0, Row("Tray")->costCpu);
    EXPECT_NE(std::string::npos, std::string(Row("Tray2")->costText).find("another entry"));

    // A host (rundll32.exe) Windows starts too: neither its start nor its
    // process is the entry's without its command line.
    const char *host = "C:\\WINDOWS\\System32\\rundll32.exe";
    MemAddFile(host);
    MemSetString(PLAT_HKCU, RUN_KEY, "Helper", "C:\\WINDOWS\\System32\\rundll32.exe h.dll,Run");
    Plant(MEM_USER_SID_TEXT, 5, Record(host, "2500000", "9000000"), 500);
    MemAddProcess(4321, host, kNoon);
    ScanCatalogue();
    EXPECT_NE(LOGON_COST_MEASURED, Row("Helper")->costState) << Row("Helper")->costText;
    EXPECT_STREQ(RUNNING_HOST, Row("Helper")->runningText);

    // A scan narrowed to the entries it changes reads neither.
    MemResetCounts();
    const char *id = "HKCU\\" RUN_KEY "\\Tray";
    CatalogueData narrowed;
    ScanStorageForIds(&narrowed, &id, 1);
    FreeCatalogueData(&narrowed);
    EXPECT_EQ(0, MemCallCount(MEM_FILE_LOAD_MOST) + MemCallCount(MEM_PROCESS_LIST));
}

TEST_F(CostNow, WhatCannotBeMeasuredSaysWhyAndGuessesNothing)
{
    const std::string newest = RecordFile(MEM_USER_SID_TEXT, 2);
    const struct {
        const char *what;
        std::function<void()> set;
        const char *cost;
    } cases[] = {
        {"unelevated", [&] { MemDenyLoad(newest.c_str()); },
         "Not measured: the record of the last logon is readable only by an administrator"},
        {"elevated, yet denied", [&] { MemSetElevated(true); MemDenyLoad(newest.c_str()); },
         "Not measured: the record of the last logon could not be read (Error 5.)"},
        {"the folder denied", [] { MemFailCall(MEM_FIND_FIRST, 0); },
         "Not measured: the record of the last logon is readable only by an administrator"},
        {"no file of the user", [] { MemSetUserSid("S-1-5-21-9"); },
         "Not measured: Windows kept no record of this user's last logon"},
        {"no SID", [] { MemFailCall(MEM_USER_SID, 0); },
         "Not measured: the record of the last logon could not be read (this user's security "
         "identifier could not be read)"},
        {"a refused record", [&] { Plant(MEM_USER_SID_TEXT, 4, "<StartupData>", 400); },
         "Not measured: the record of the last logon was not understood (the record ends early)"},
        {"too large", [&] { Plant(MEM_USER_SID_TEXT, 4, std::string(LOGON_FILE_MOST + 1, ' '), 400); },
         "Not measured: the record of the last logon was not understood (the record is larger "
         "than any logon's)"},
    };
    for (const auto &c : cases) {
        SetUp();
        c.set();
        ScanCatalogue();
        const AutostartItem *tray = Row("Tray");
        ASSERT_TRUE(tray) << c.what;
        EXPECT_STREQ(c.cost, tray->costText) << c.what;
        EXPECT_NE(LOGON_COST_MEASURED, tray->costState) << c.what;
        EXPECT_EQ(0, tray->costCpu) << c.what;
    }
    SetUp();
    MemFailCall(MEM_PROCESS_LIST, 0);
    ScanCatalogue();
    EXPECT_STREQ("Whether it runs now is not known: the processes could not be listed (Error 5.)",
                 Row("Tray")->runningText);
}

TEST_F(CostNow, AServiceSaysTheProcessTheScmGives)
{
    MemService own, shared;
    own.name = "Own";
    own.binaryPath = "C:\\Svc\\svc.exe";
    own.state = PLAT_SERVICE_RUNNING;
    own.processId = 4321;
    shared.name = "Stopped";
    shared.binaryPath = kTray; // its program runs, but not as this service
    MemAddService(own);
    MemAddService(shared);
    MemAddProcess(4321, "C:\\Svc\\svc.exe", kNoon - 36000000000ull * 24);
    MemAddProcess(1234, kTray, kNoon);
    ScanCatalogue();
    ASSERT_TRUE(Row("Own") && Row("Stopped"));
    EXPECT_STREQ("Running now: process 4321, since 6 Dec 12:00", Row("Own")->runningText);
    EXPECT_STREQ(RUNNING_NOT, Row("Stopped")->runningText);
}

TEST_F(CostNow, CostOrdersTheCostliestFirstAndTheUnmeasuredLast)
{
    AutostartItem a = {}, b = {}, none = {};
    a.costState = b.costState = LOGON_COST_MEASURED;
    none.costState = LOGON_COST_NO_MATCH;
    a.costCpu = b.costCpu = 5;
    a.costDisk = 7;
    b.costDisk = 6;
    EXPECT_LT(CompareCost(&a, &b), 0);
    EXPECT_GT(CompareCost(&b, &a), 0);
    EXPECT_EQ(0, CompareCost(&a, &a));
    b.costCpu = 6;
    EXPECT_LT(CompareCost(&b, &a), 0);
    EXPECT_LT(CompareCost(&a, &none), 0);
    EXPECT_GT(CompareCost(&none, &a), 0);
    char text[48];
    CostShortText(&a, text, sizeof text);
    EXPECT_STREQ("5 \xC2\xB5s, 7 bytes", text);
    CostShortText(&none, text, sizeof text);
    EXPECT_STREQ("", text);
}

TEST_F(CostNow, TheReportAndTheConsoleCarryTheFigures)
{
    MemAddProcess(1234, kTray, kNoon);
    ScanCatalogue();
    MemAddFolder("C:\\Reports");
    ASSERT_EQ(PLAT_OK, WriteReportFile("C:\\Reports\\r.html", 1));
    std::string report = MemFileBytes("C:\\Reports\\r.html");
    EXPECT_NE(std::string::npos, report.find("Cost at the last logon: " COST_COVERS));
    EXPECT_NE(std::string::npos,
              report.find("<tr><td>Cost:</td><td>At the logon of 8 Dec 08:12: CPU 1.2 s, disk "
                          "14.3 MB (Task Manager's band: high)</td></tr>"))
        << report;
    EXPECT_NE(std::string::npos,
              report.find("<tr><td>Running:</td><td>Running now: process 1234, since 12:00</td></tr>"));
    const char *args[] = {"orvanec", "list", "--format", "json"};
    size_t from = MemStreamText(PLAT_STDOUT).size();
    ASSERT_EQ(0, CliRun(4, (char **)args));
    std::string out = MemStreamText(PLAT_STDOUT).substr(from);
    EXPECT_NE(std::string::npos, out.find("\"cost_cpu_us\": \"1200000\", \"cost_disk_bytes\": \"14300000\""))
        << out;
    EXPECT_NE(std::string::npos, out.find("\"cost_cpu_us\": null, \"cost_disk_bytes\": null")) << out;
}

} // namespace
