// boundaries_test.cpp - the edges the other suites do not cross: the report
// writer's buffer end, paths of exactly 259 and 260 characters, folders that
// change between the scan's passes, a value that grows while it is read,
// version strings cut short, and a close that fails after a move.
#include "../../store/store.h"
#include "../../report/html_log.h"
#include "../support/memory_platform.h"
#include "../support/report_sample.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *kAgent = "C:\\Tools\\agent.exe";

class Boundaries : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
    }
};

std::string Golden()
{
    std::ifstream in(ORVANE_TEST_DATA "/report_golden.html", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Stored(PlatHive hive, const char *path, const char *name)
{
    std::string bytes;
    return MemGetValue(hive, path, name, nullptr, &bytes) ? bytes : std::string("<absent>");
}

} // namespace

// Forty copies of the golden sample run far past the writer's 8 KB buffer;
// the file must be the golden head, forty copies of its entries and its tail.
TEST_F(Boundaries, ReportPastTheWritersBufferComparedWhole)
{
    const int copies = 40;
    std::vector<AutostartItem> records((size_t)copies * REPORT_SAMPLE_COUNT + 1);
    for (int i = 0; i < copies; ++i)
        FillReportSample(&records[(size_t)i * REPORT_SAMPLE_COUNT]);
    CatalogueData saved = ItemCatalogue;
    ItemCatalogue.items = records.data();
    ItemCatalogue.count = copies * REPORT_SAMPLE_COUNT;
    MemAddFolder("C:\\Reports");
    WriteHtmlLog("C:\\Reports\\many.html");
    ItemCatalogue = saved;

    std::string golden = Golden();
    const std::string tail = "</font></body>\n</html>";
    size_t first = golden.find("<h3>");
    ASSERT_NE(std::string::npos, first);
    std::string entries = golden.substr(first, golden.size() - tail.size() - first);
    std::string expected = golden.substr(0, golden.find("\n<p>Date: "));
    expected += "\n<p>Date: 2026-12-07 13:05:09<br>\nComputer: TESTPC<br>\n"
                "Run (this user): 40 entries, 0 disabled<br>\n"
                "RunOnce (all users): 40 entries, 40 disabled<br>\n"
                "Startup folder (this user): 40 entries, 40 disabled<br>\n"
                "In all: 120 entries, 80 disabled<br>\n</p>\n";
    for (int i = 0; i < copies; ++i)
        expected += entries;
    expected += tail;
    ASSERT_GT(expected.size(), 3u * 8192u);
    EXPECT_EQ(expected, MemFileBytes("C:\\Reports\\many.html"));
}

// A link whose path has exactly 259 characters is listed whole; one
// character more and the path is cut: listed, marked cut, never acted on.
TEST_F(Boundaries, StartupFolderPathsOf259And260Characters)
{
    std::string folder = "C:\\" + std::string(250, 's'); // 253 characters
    MemSetShellFolder(PLAT_CSIDL_STARTUP, folder.c_str());
    MemAddLink((folder + "\\a.lnk").c_str(), kAgent, "", "");
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(folder + "\\a.lnk", ItemCatalogue.items[0].location);
    EXPECT_EQ(259u, strlen(ItemCatalogue.items[0].location));

    std::string longer = folder + "t"; // pattern of 260 characters
    MemSetShellFolder(PLAT_CSIDL_STARTUP, longer.c_str());
    MemAddLink((longer + "\\a.lnk").c_str(), kAgent, "", "");
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(1, ItemCatalogue.items[0].cut);
}

// Links added or removed between the counting and the loading pass: never
// more records than were counted, every spare record zero; the grown folder
// is scanned again, so the added link is listed.
TEST_F(Boundaries, FolderThatGrowsOrShrinksBetweenThePasses)
{
    MemAddLink(MEM_STARTUP_FOLDER "\\one.lnk", kAgent, "", "");
    MemAddLink(MEM_STARTUP_FOLDER "\\two.lnk", kAgent, "", "");
    const int countingSearches = 4;
    MemSetHook(MEM_FIND_FIRST, countingSearches + 1, [] {
        MemAddLink(MEM_STARTUP_FOLDER "\\three.lnk", kAgent, "", "");
    });
    ScanCatalogue();
    ASSERT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\three.lnk"));
    EXPECT_EQ(3, ItemCatalogue.capacity);
    EXPECT_EQ(3, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.items[3].kind + ItemCatalogue.items[3].name[0]);

    MemClearFaults();
    MemResetCounts();
    MemSetHook(MEM_FIND_FIRST, countingSearches + 1,
               [] { PlatDeleteFile(MEM_STARTUP_FOLDER "\\one.lnk"); });
    ScanCatalogue();
    EXPECT_EQ(3, ItemCatalogue.capacity);
    EXPECT_EQ(2, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.items[2].name[0]);
    EXPECT_EQ(0, MemOpenSearches());
}

// A value deleted while its key is read shifts the next one to the index
// just read: the scan notices the key changed and reads it again.
TEST_F(Boundaries, ValueDeletedWhileItsKeyIsReadHidesNoOther)
{
    for (const char *name : {"A", "B", "C"})
        MemSetString(PLAT_HKCU, RUN_KEY, name, "C:\\t.exe");
    // The load checks each name it read; before B's check, A goes.
    MemSetHook(MEM_REG_NAME_EXACT, 2, [] {
        PlatKey key = NULL;
        PlatRegCreate(PLAT_HKCU, RUN_KEY, PLAT_KEY_WRITE, &key);
        PlatRegDeleteValue(key, "A");
        PlatRegClose(key);
    });
    ScanCatalogue();
    std::string names;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        names += std::string(ItemCatalogue.items[i].name) + (ItemCatalogue.items[i].inexact ? "?" : "") + " ";
    EXPECT_EQ("B C ", names);
    EXPECT_EQ(0, ItemCatalogue.changed);
}

// The value grows between the size query and the read of a move: the whole
// grown value is what arrives, never a cut one.
TEST_F(Boundaries, ValueThatGrowsWhileItIsMoved)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Tool", "C:\\t.exe");
    ScanCatalogue();
    std::vector<int32_t> desired = Desired({"Tool"});
    std::string grown = Sz(std::string(600, 'g'));
    MemResetCounts();
    MemSetHook(MEM_REG_QUERY_VALUE, 2, [&] { MemSetValue(PLAT_HKCU, RUN_KEY, "Tool", PLAT_REG_SZ, grown); });
    ApplyChanges(desired.data(), (int32_t)desired.size(), &StatusFront);
    EXPECT_TRUE(Statuses.empty());
    EXPECT_EQ(grown, Stored(PLAT_HKCU, RUN_KEY "-", "Tool"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, RUN_KEY, "Tool"));
}

// Closing the new place fails after the value was written there: it has
// moved, so it is taken from the old place, and the move is done.
TEST_F(Boundaries, CloseFailureAfterAMoveLeavesOneCopy)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Tool", "C:\\t.exe");
    ScanCatalogue();
    std::vector<int32_t> desired = Desired({"Tool"});
    MemResetCounts();
    // Closes of a move: the source read, the collision check, the new place.
    MemFailCall(MEM_REG_CLOSE, 3);
    ApplyChanges(desired.data(), (int32_t)desired.size(), &StatusFront);
    EXPECT_TRUE(Statuses.empty()) << (Statuses.empty() ? "" : Statuses[0]);
    EXPECT_EQ(Sz("C:\\t.exe"), Stored(PLAT_HKCU, RUN_KEY "-", "Tool"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, RUN_KEY, "Tool"));
}

// A translation entry shorter than its four bytes names no string table; a
// string not terminated within its length is taken to that length, and a
// string longer than the field is cut at 259 characters.
TEST_F(Boundaries, VersionStringsCutShort)
{
    MemSetVersion(kAgent, "Agent Service Extra", std::string(300, 'c').c_str());
    MemSetVersionStringLength(kAgent, "\\StringFileInfo\\040904B0\\FileDescription", 13);
    char field[TEXT_FIELD_SIZE], company[TEXT_FIELD_SIZE];
    memset(field, 'x', sizeof field);
    memset(company, 'x', sizeof company);
    ReadVersionStrings(kAgent, field, company);
    EXPECT_STREQ("Agent Service", field);
    EXPECT_EQ(std::string(259, 'c'), company);

    MemSetVersionTranslationLength(kAgent, 3);
    ReadVersionStrings(kAgent, field, company);
    EXPECT_STREQ("n/a", field);
    MemSetVersionTranslationLength(kAgent, 4);
    ReadVersionStrings(kAgent, field, company);
    EXPECT_STREQ("Agent Service", field);
}
