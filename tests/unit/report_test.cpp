// report_test.cpp - the HTML report, byte for byte.
#include "../../catalogue/catalogue.h"
#include "../../report/html_log.h"
#include "../support/memory_platform.h"
#include "../support/report_sample.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#ifndef ORVANE_TEST_DATA
#error ORVANE_TEST_DATA must name tests/data
#endif

namespace {

std::string Golden()
{
    std::ifstream in(ORVANE_TEST_DATA "/report_golden.html", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

const char *kReport = "C:\\Reports\\items.html";

class Report : public testing::Test {
protected:
    AutostartItem sample[REPORT_SAMPLE_COUNT + 1] = {};
    CatalogueData saved = ItemCatalogue;
    void SetUp() override
    {
        MemReset();
        MemAddFolder("C:\\Reports");
        FillReportSample(sample);
        ItemCatalogue.items = sample;
        ItemCatalogue.count = REPORT_SAMPLE_COUNT;
    }
    void TearDown() override { ItemCatalogue = saved; }
};

} // namespace

TEST_F(Report, MatchesTheGoldenFileByteForByte)
{
    std::string golden = Golden();
    ASSERT_FALSE(golden.empty());
    WriteHtmlLog(kReport);
    EXPECT_EQ(golden, MemFileBytes(kReport));
    EXPECT_EQ(0, MemOpenFiles());
}

TEST_F(Report, EmptyCatalogueHasHeadTitleHeaderAndTailOnly)
{
    ItemCatalogue.count = 0;
    WriteHtmlLog(kReport);
    std::string golden = Golden();
    std::string head = golden.substr(0, golden.find("\n<p>Date: "));
    EXPECT_EQ(head + "\n<p>Date: 2026-12-07 13:05:09<br>\nComputer: TESTPC<br>\n"
                     "In all: 0 entries, 0 disabled<br>\n</p>\n</font></body>\n</html>",
              MemFileBytes(kReport));
}

// The computer's name is text like any field; without one the header says so.
TEST_F(Report, HeaderNamesTheComputerOrSaysItIsNotKnown)
{
    MemSetComputerName("<PC>");
    sample[1].view = View32;
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos, bytes.find("<br>\nComputer: &lt;PC&gt;<br>\n")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("<br>\nRunOnce (all users, 32-bit): 1 entry, 1 disabled<br>\n"));
    MemFailCall(MEM_COMPUTER_NAME, 0);
    WriteHtmlLog(kReport);
    EXPECT_NE(std::string::npos, MemFileBytes(kReport).find("<br>\nComputer: not known<br>\n"));
}

// A 383-character command is written whole; a command or name the record
// holds cut ends with "..." after all it holds.
TEST_F(Report, CutTextsEndWithDotsWholeOnesDoNot)
{
    std::string whole = "C:\\Tools\\agent.exe " + std::string(364, 'w');
    ASSERT_EQ(383u, whole.size());
    TextCopy(sample[0].command, sizeof sample[0].command, whole.c_str());
    std::string held(sizeof sample[1].command - 1, 'c');
    TextCopy(sample[1].command, sizeof sample[1].command, held.c_str());
    sample[1].commandCut = 1;
    sample[1].cut = 1;
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos, bytes.find("<td>Command:</td><td>" + whole + "</td>"));
    EXPECT_NE(std::string::npos, bytes.find("<td>Command:</td><td>" + held + "...</td>"));
    EXPECT_NE(std::string::npos, bytes.find("<h3>Updater...</h3>"));
    EXPECT_NE(std::string::npos, bytes.find("Name:</td><td>Updater...</td>"));
}

// Control and bidirectional characters show as escapes before the markup
// is escaped; a command the record holds cut, every byte of it a control
// character, is shown whole with its "...".
TEST_F(Report, ControlAndBidirectionalCharactersShowAsEscapes)
{
    MemSetCodePageUtf8(true);
    TextCopy(sample[0].command, sizeof sample[0].command, "C:\\evil.exe\b\b<x>\xE2\x80\xAE");
    TextCopy(sample[0].description, sizeof sample[0].description, "\xE2\x81\xA6Tool\x1b[2J");
    std::string held(sizeof sample[1].command - 1, '\r');
    TextCopy(sample[1].command, sizeof sample[1].command, held.c_str());
    sample[1].commandCut = 1;
    WriteHtmlLog(kReport);
    MemSetCodePageUtf8(false);
    std::string bytes = MemFileBytes(kReport), escapes;
    EXPECT_NE(std::string::npos,
              bytes.find("<td>Command:</td><td>C:\\evil.exe\\x08\\x08&lt;x&gt;\\u202E</td>"));
    EXPECT_NE(std::string::npos, bytes.find("<td>Description:</td><td>\\u2066Tool\\x1B[2J</td>"));
    for (size_t i = 0; i < held.size(); ++i)
        escapes += "\\x0D";
    EXPECT_NE(std::string::npos, bytes.find("<td>Command:</td><td>" + escapes + "...</td>"));
    EXPECT_EQ(std::string::npos, bytes.find_first_of("\b\r\x1b")) << bytes;
}

TEST_F(Report, ReplacesAnExistingFile)
{
    MemAddFile(kReport, std::string(100000, 'x'));
    WriteHtmlLog(kReport);
    EXPECT_EQ(Golden(), MemFileBytes(kReport));
}

TEST_F(Report, MarkupInAnyFieldStaysText)
{
    TextCopy(sample[1].command, sizeof sample[1].command, "<script>alert(1)</script>");
    TextCopy(sample[1].company, sizeof sample[1].company, "\"><img src=x>");
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_EQ(std::string::npos, bytes.find("<script>"));
    EXPECT_EQ(std::string::npos, bytes.find("<img"));
    EXPECT_NE(std::string::npos, bytes.find("&lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_NE(std::string::npos, bytes.find("&quot;&gt;&lt;img src=x&gt;"));
}

TEST_F(Report, LongEscapedFieldsAreWrittenWhole)
{
    std::string name(259, '&');
    TextCopy(sample[0].name, sizeof sample[0].name, name.c_str());
    WriteHtmlLog(kReport);
    std::string escaped;
    for (int i = 0; i < 259; ++i)
        escaped += "&amp;";
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos, bytes.find("<h3>" + escaped + "</h3>"));
    EXPECT_NE(std::string::npos, bytes.find("<td>" + escaped + "</td>"));
}

TEST_F(Report, FailuresWriteNothingOrGoOn)
{
    MemFailCall(MEM_FILE_CREATE, 1);
    EXPECT_EQ(0, WriteHtmlLog(kReport));
    EXPECT_FALSE(MemFileExists(kReport));

    MemClearFaults();
    MemFailCall(MEM_FILE_WRITE, 0);
    EXPECT_EQ(0, WriteHtmlLog(kReport)) << "a report not whole is not said saved";
    EXPECT_EQ("", MemFileBytes(kReport));
    EXPECT_EQ(0, MemOpenFiles());
    MemClearFaults();
    EXPECT_NE(0, WriteHtmlLog(kReport));
}

TEST_F(Report, UnterminatedFieldIsReadWithinItsField)
{
    memset(sample[0].description, 'D', sizeof sample[0].description);
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos,
              bytes.find("<td>" + std::string(260, 'D') + "</td></tr>\n<tr><td>Company:"));
}

TEST_F(Report, ThirtyTwoBitViewAndStartupSettingsAreNamed)
{
    AutostartItem &item = sample[0];
    item.kind = RegistryValue;
    TextCopy(item.scope, sizeof item.scope, "ALL");
    TextCopy(item.location, sizeof item.location, RUN_KEY);
    item.view = View32;
    item.enabled = 0;
    item.approvalDisabled = 1;
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos,
              bytes.find("<tr><td>Reg_Path:</td><td>HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\"
                         "Microsoft\\Windows\\CurrentVersion\\Run</td></tr>\n<tr><td>Status:</td>"
                         "<td><b>disabled</b> (in Windows' startup settings)</td></tr>\n"
                         "<tr><td>State:</td><td>off in Windows' settings</td></tr>\n"));
    // The notes in a row of their own, escaped, the table closed after it.
    item.targetMissing = 1;
    WriteHtmlLog(kReport);
    EXPECT_NE(std::string::npos,
              MemFileBytes(kReport).find("</td></tr>\n<tr><td>Notes:</td><td>switched off in "
                                         "Windows' startup settings (Task Manager or Settings); "
                                         "target not found</td></tr></table>"));
}

// A task's row names its place in the scheduler and gives its trigger and
// author, as read from its definition.
TEST(ReportTasks, TaskRowGivesItsTriggerAndAuthor)
{
    MemReset();
    MemAddFolder("C:\\Reports");
    MemAddTask("\\Vendor\\Updater", "<Task><RegistrationInfo><Author>Vendor</Author></RegistrationInfo>"
                                    "<Triggers><BootTrigger/></Triggers><Actions><Exec><Command>"
                                    "C:\\up.exe</Command></Exec></Actions></Task>");
    ScanCatalogue();
    WriteHtmlLog(kReport);
    std::string bytes = MemFileBytes(kReport);
    EXPECT_NE(std::string::npos, bytes.find("<tr><td>Task:</td><td>\\Vendor\\Updater</td></tr>"));
    EXPECT_NE(std::string::npos,
              bytes.find("<tr><td>Notes:</td><td>at boot; author Vendor; target not found</td>"))
        << bytes;
}
