// parse_command_test.cpp - splitting stored commands, and the target folder.
#include "../../catalogue/catalogue.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

struct Split {
    std::string target, parameters, folder;
};

Split Parse(const std::string &command)
{
    AutostartItem item;
    memset(&item, 0xCC, sizeof item);
    TextCopy(item.command, sizeof item.command, command.c_str());
    ParseCommand(&item);
    EXPECT_NE(nullptr, memchr(item.target, 0, sizeof item.target)) << command;
    EXPECT_NE(nullptr, memchr(item.parameters, 0, sizeof item.parameters)) << command;
    TargetFolderOf(item.target, item.targetFolder);
    return Split{item.target, item.parameters, item.targetFolder};
}

class ParseCommandTest : public testing::Test {
protected:
    void SetUp() override { MemReset(); } // windir=C:\WINDOWS
};

} // namespace

TEST_F(ParseCommandTest, WorkedExamples)
{
    const struct {
        const char *command, *target, *parameters, *folder;
    } rows[] = {
        {"C:\\Tools\\agent.exe", "C:\\Tools\\agent.exe", "", "C:\\Tools"},
        {"C:\\Tools\\agent.exe -min", "C:\\Tools\\agent.exe -min", "", "C:\\Tools"},
        {"\"C:\\Program Files\\Agent\\agent.exe\" -min", "C:\\Program Files\\Agent\\agent.exe",
         "-min", "C:\\Program Files\\Agent"},
        {"\"C:\\Tools\\agent.exe\"", "C:\\Tools\\agent.exe", "", "C:\\Tools"},
        {"C:\\Tools\\agent.exe /background", "C:\\Tools\\agent.exe", "/background", "C:\\Tools"},
        // A "/" right after the path cuts no character of the path.
        {"C:\\Tools\\agent.exe/s", "C:\\Tools\\agent.exe", "/s", "C:\\Tools"},
        {"\"C:\\Tools\\agent.exe /s", "\"C:\\Tools\\agent.exe", "/s", "\"C:\\Tools"},
        // Parameters come from the stored command, not the expanded target.
        {"%windir%\\agent.exe /s", "C:\\WINDOWS\\agent.exe", "/s", "C:\\WINDOWS"},
        {"rundll32.exe \"C:\\Tools\\x.dll\",Start", "C:\\Tools\\x.dll", ",Start", "C:\\Tools"},
        {"agent.exe", "agent.exe", "", "agent.exe"},
        {"/s", "/s", "", "/s"},
        // A quoted stretch is never cut by the slash rule.
        {"\"C:/Tools/agent.exe\" -a", "C:/Tools/agent.exe", "-a", "C:/Tools/agent.exe"},
        {"", "", "", ""},
    };
    for (const auto &row : rows) {
        Split got = Parse(row.command);
        EXPECT_EQ(row.target, got.target) << "command: " << row.command;
        EXPECT_EQ(row.parameters, got.parameters) << "command: " << row.command;
        EXPECT_EQ(row.folder, got.folder) << "command: " << row.command;
    }
}

TEST_F(ParseCommandTest, SlashRuleDropsOnlyBlanks)
{
    EXPECT_EQ("C:\\Tools\\agent.exe", Parse("C:\\Tools\\agent.exe    /s").target);
    EXPECT_EQ("/s", Parse("C:\\Tools\\agent.exe    /s").parameters);
    EXPECT_EQ("C:\\a.exe -x", Parse("C:\\a.exe -x /y").target);
    EXPECT_EQ("/y", Parse("C:\\a.exe -x /y").parameters);
    // Only one separating blank is skipped; the rest is the user's text.
    EXPECT_EQ(" -min", Parse("\"C:\\a.exe\"  -min").parameters);
    // A "/" at position 0 cuts nothing; the next one splits.
    EXPECT_EQ("/s", Parse("/s /x").target);
    EXPECT_EQ("/x", Parse("/s /x").parameters);
}

TEST_F(ParseCommandTest, ExpansionPastTheFieldIsCutAndTerminated)
{
    std::string longValue = "C:\\" + std::string(300, 'v');
    MemSetEnv("LONGDIR", longValue.c_str());
    Split got = Parse("\"%LONGDIR%\\agent.exe\" -min");
    EXPECT_EQ(longValue.substr(0, 259), got.target);
    EXPECT_EQ("-min", got.parameters);
    EXPECT_EQ("C:", got.folder);
}

TEST_F(ParseCommandTest, UnknownVariableStaysAsWritten)
{
    EXPECT_EQ("%NOSUCH%\\agent.exe", Parse("%NOSUCH%\\agent.exe").target);
}

TEST_F(ParseCommandTest, FullFieldCommandsStayInTheirFields)
{
    // 259 characters of quote-free, slash-free text, and one of quotes.
    std::string plain(259, 'p');
    EXPECT_EQ(plain, Parse(plain).target);
    std::string quoted = "\"" + std::string(257, 'q') + "\"";
    EXPECT_EQ(std::string(257, 'q'), Parse(quoted).target);
    EXPECT_EQ("", Parse(quoted).parameters);
}

// A quoted stretch further on names the program only when it is a full
// path; otherwise the program is found from the start, as Windows does.
TEST_F(ParseCommandTest, QuotedArgumentIsNoProgram)
{
    MemAddSearchFolder("C:\\WINDOWS\\System32");
    MemAddFile("C:\\WINDOWS\\System32\\powershell.exe");
    MemAddFile("C:\\WINDOWS\\System32\\agent.exe");
    MemAddFile("C:\\Users\\u\\Teams\\Update.exe");
    const struct {
        const char *command, *target, *parameters;
    } rows[] = {
        {"C:\\Users\\u\\Teams\\Update.exe --processStart \"Teams.exe\"",
         "C:\\Users\\u\\Teams\\Update.exe", "--processStart \"Teams.exe\""},
        {"powershell.exe \"exit\"", "C:\\WINDOWS\\System32\\powershell.exe", "\"exit\""},
        {"powershell.exe \"iwr http://x/y\"", "C:\\WINDOWS\\System32\\powershell.exe",
         "\"iwr http://x/y\""},
        {"wscript.exe \"%windir%\\a.vbs\" /b", "C:\\WINDOWS\\a.vbs", "/b"},
        {"rundll32.exe \"//srv/s/x.dll\",A", "//srv/s/x.dll", ",A"},
        // A quoted bare name is looked up as an unquoted one.
        {"\"agent.exe\" -x", "C:\\WINDOWS\\System32\\agent.exe", "-x"},
        {" \"agent\"", "C:\\WINDOWS\\System32\\agent.exe", ""},
        // Not found anywhere the logon looks: the text as written.
        {"nosuch.exe \"a\"", "nosuch.exe \"a\"", ""},
        {"\"C:agent.exe\"", "C:agent.exe", ""},
    };
    for (const auto &row : rows) {
        Split got = Parse(row.command);
        EXPECT_EQ(row.target, got.target) << "command: " << row.command;
        EXPECT_EQ(row.parameters, got.parameters) << "command: " << row.command;
    }
}

// A name the logon's search does not find is missing, never looked for
// beside this program or in its current folder, and Run does not start it.
TEST_F(ParseCommandTest, RelativeNamesAreNeverOpened)
{
    MemAddFile("plant.exe");
    MemSetVersion("plant.exe", "Planted", "Nobody");
    MemAddFile("tools\\agent.exe");
    MemSetString(PLAT_HKCU, RUN_KEY, "Plant", "\"plant.exe\" -x");
    MemSetString(PLAT_HKCU, RUN_KEY, "Tools", "tools\\agent.exe -x");
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count);
    for (int i = 0; i < 2; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        EXPECT_EQ(1, item->targetMissing) << item->name;
        EXPECT_STREQ("n/a", item->description) << item->name;
        EXPECT_EQ(StartNotFound, StartItemProgram(item, nullptr)) << item->name;
    }
    EXPECT_EQ("tools\\agent.exe -x", std::string(ItemCatalogue.items[1].target));
    EXPECT_TRUE(MemStarted().empty());
}

// A bare name takes the user's App Paths registration before the machine's,
// and only one that is a string naming an existing file.
TEST_F(ParseCommandTest, AppPathsTakeTheUsersRegistrationFirst)
{
    const std::string key = CURRENT_VERSION_KEY "\\App Paths\\";
    for (const char *file : {"C:\\User\\both.exe", "C:\\Machine\\both.exe", "C:\\Machine\\gone.exe",
                             "C:\\Machine\\word.exe", "C:\\User\\word.exe"})
        MemAddFile(file);
    MemSetString(PLAT_HKCU, (key + "both.exe").c_str(), "", "C:\\User\\both.exe");
    MemSetString(PLAT_HKLM, (key + "both.exe").c_str(), "", "C:\\Machine\\both.exe");
    MemSetString(PLAT_HKCU, (key + "gone.exe").c_str(), "", "C:\\User\\gone.exe");
    MemSetString(PLAT_HKLM, (key + "gone.exe").c_str(), "", "C:\\Machine\\gone.exe");
    MemSetValue(PLAT_HKCU, (key + "word.exe").c_str(), "", PLAT_REG_BINARY,
                std::string("C:\\User\\word.exe", 17));
    MemSetString(PLAT_HKLM, (key + "word.exe").c_str(), "", "C:\\Machine\\word.exe");
    EXPECT_EQ("C:\\User\\both.exe", Parse("both -x").target);
    EXPECT_EQ("C:\\Machine\\gone.exe", Parse("gone.exe").target);
    EXPECT_EQ("C:\\Machine\\word.exe", Parse("\"word.exe\" /s").target);
}

// A drive letter counts only with its root: "C:x.exe" is relative to that
// drive's current folder.
// A share spelled with forward slashes is a path on the network, its
// slashes no switches.
TEST_F(ParseCommandTest, ForwardSlashesNameAShare)
{
    Split got = Parse("//server/share/x.exe /s");
    EXPECT_EQ("//server/share/x.exe", got.target);
    EXPECT_EQ("/s", got.parameters);
    EXPECT_TRUE(PlatIsNetworkPath(got.target.c_str()));
}

TEST_F(ParseCommandTest, FullPathsStartAtARootOrAShare)
{
    for (const char *full : {"A:\\x", "Z:\\x", "a:/x", "z:\\x", "\\\\s\\x", "//s/x"})
        EXPECT_TRUE(PathIsFull(full)) << full;
    for (const char *relative : {"C:x.exe", "@:\\x", "[:\\x", "`:\\x", "{:\\x", "\\x", "x"})
        EXPECT_FALSE(PathIsFull(relative)) << relative;
}
