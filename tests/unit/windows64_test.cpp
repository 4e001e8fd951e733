// windows64_test.cpp - what 64-bit Windows adds over the in-memory platform:
// both registry views kept apart by every operation, files and environment
// as the 64-bit logon sees them, the program an unquoted command really
// starts, and the startup settings' own switch with its failures.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kRunOnce = CURRENT_VERSION_KEY "\\RunOnce";
const char *kApprovedRun = APPROVED_KEY "\\Run";

class Windows64 : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
    }
};

std::string Approval(unsigned char first, size_t size = 12)
{
    std::string bytes(size, '\0');
    if (size > 0)
        bytes[0] = (char)first;
    if (size > 4)
        bytes[4] = (char)0x5A; // when it was switched off
    return bytes;
}

std::string Stored(PlatHive hive, const char *path, const char *name)
{
    std::string bytes;
    return MemGetValue(hive, path, name, nullptr, &bytes) ? bytes : std::string("<absent>");
}

const std::string kSwitchedOn = std::string("\x02", 1) + std::string(11, '\0');

std::string Split(const char *command)
{
    AutostartItem item;
    memset(&item, 0, sizeof item);
    TextCopy(item.command, sizeof item.command, command);
    ParseCommand(&item);
    return std::string(item.target) + "|" + item.parameters;
}

} // namespace

// ---- both views ----

TEST_F(Windows64, EachViewKeepsItsEntriesThroughEveryOperation)
{
    MemSetString(PLAT_HKLM32, kRun, "Old32", "C:\\x86\\old.exe");
    MemSetString(PLAT_HKLM, kRun, "Native", "C:\\x64\\native.exe");
    Toggle({"Old32"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_TRUE(MemValueExists(PLAT_HKLM32, kRunOff, "Old32"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRunOff, "Old32"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM32, kRun, "Old32"));

    // Edit keeps the view; a new machine entry goes to the native one.
    ScanCatalogue();
    SaveItem("Renamed32", "C:\\x86\\old.exe", "", 1, EditorEdit, IndexOf("Old32"));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM32, kRunOff, "Renamed32"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM32, kRunOff, "Old32"));
    SaveItem("New", "C:\\new.exe", "", 1, EditorAdd, -1);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "New"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM32, kRun, "New"));

    ScanCatalogue();
    EXPECT_EQ(DeleteDone, DeleteItem(&ItemCatalogue.items[IndexOf("Native")], 1));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRun, "Native"));

    MemSetString(PLAT_HKLM, kRunOff, "Off64", "C:\\off.exe");
    MemSetString(PLAT_HKCU, kRunOff, "OffUser", "C:\\off.exe");
    ScanCatalogue();
    std::vector<int32_t> desired = Desired({});
    CleanUpDisabled(desired.data(), (int32_t)desired.size(), &StatusFront);
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM32, kRunOff));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, kRunOff));
    EXPECT_FALSE(MemKeyExists(PLAT_HKCU, kRunOff));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "New"));
}

// ---- files and environment as the 64-bit logon sees them ----

TEST_F(Windows64, RedirectedProcessReadsTheNativeSystemFolder)
{
    MemSetVersion("C:\\WINDOWS\\Sysnative\\tool.exe", "Native tool", "Native Works");
    MemSetString(PLAT_HKCU, kRun, "Sys", "%windir%\\system32\\tool.exe");
    MemSetString(PLAT_HKCU, kRun, "Near", "C:\\WINDOWS\\System32x\\tool.exe");
    MemSetFilesRedirected(true);
    ScanCatalogue();
    const AutostartItem &sys = ItemCatalogue.items[IndexOf("Sys")];
    EXPECT_STREQ("C:\\WINDOWS\\system32\\tool.exe", sys.target) << "shown as Windows runs it";
    EXPECT_STREQ("Native tool", sys.description);
    char native[TEXT_FIELD_SIZE];
    NativeFilePath(ItemCatalogue.items[IndexOf("Near")].target, native);
    EXPECT_STREQ("C:\\WINDOWS\\System32x\\tool.exe", native);

    MemSetFilesRedirected(false);
    NativeFilePath(sys.target, native);
    EXPECT_STREQ(sys.target, native);
}

TEST_F(Windows64, ProgramFilesExpandAsTheLogonExpandsThem)
{
    MemSetEnv("ProgramFiles", "C:\\Program Files (x86)");
    MemSetEnv("CommonProgramFiles", "C:\\Program Files (x86)\\Common Files");
    MemSetEnv("ProgramFiles(x86)", "C:\\Program Files (x86)");
    char out[TEXT_FIELD_SIZE];
    ExpandAsLogon("\"%programfiles%\\A\\a.exe\" %CommonProgramFiles% %ProgramFiles(x86)%", out);
    EXPECT_STREQ("\"C:\\Program Files (x86)\\A\\a.exe\" C:\\Program Files (x86)\\Common Files "
                 "C:\\Program Files (x86)", out) << "32-bit Windows: no W6432 variables";
    MemSetEnv("ProgramW6432", "C:\\Program Files");
    MemSetEnv("CommonProgramW6432", "C:\\Program Files\\Common Files");
    ExpandAsLogon("\"%programfiles%\\A\\a.exe\" %CommonProgramFiles% %ProgramFiles(x86)%", out);
    EXPECT_STREQ("\"C:\\Program Files\\A\\a.exe\" C:\\Program Files\\Common Files "
                 "C:\\Program Files (x86)", out);
}

// ---- the program Windows will start ----

TEST_F(Windows64, UnquotedCommandsNameTheFileWindowsStarts)
{
    MemAddFile("C:\\Users\\u\\AppData\\Local\\Chat\\Update.exe");
    MemAddFile("C:\\Program Files\\App\\app.exe");
    MemAddFile("C:\\Tools\\noext.exe");
    MemAddFile("C:\\WINDOWS\\system32\\rundll32.exe");
    MemAddSearchFolder("C:\\WINDOWS\\system32");
    EXPECT_EQ("C:\\Users\\u\\AppData\\Local\\Chat\\Update.exe|--processStart Chat.exe",
              Split("C:\\Users\\u\\AppData\\Local\\Chat\\Update.exe --processStart Chat.exe"));
    EXPECT_EQ("C:\\Program Files\\App\\app.exe|--x /y",
              Split("C:\\Program Files\\App\\app.exe --x /y"));
    EXPECT_EQ("C:\\Tools\\noext.exe|a  b", Split("C:\\Tools\\noext a  b"));
    EXPECT_EQ("C:\\WINDOWS\\system32\\rundll32.exe|shell32.dll,Control_RunDLL",
              Split("rundll32 shell32.dll,Control_RunDLL"));
    // No prefix names a file: the whole text before the "/", as always.
    EXPECT_EQ("C:\\Gone\\x y.exe|/s", Split("C:\\Gone\\x y.exe /s"));
    // A C:\Program.exe really is what Windows starts for the unquoted path.
    MemAddFile("C:\\Program.exe");
    EXPECT_EQ("C:\\Program.exe|Files\\App\\app.exe --x",
              Split("C:\\Program Files\\App\\app.exe --x"));
    EXPECT_EQ("C:\\Program Files\\App\\app.exe|-q", Split("\"C:\\Program Files\\App\\app.exe\" -q"));
}

TEST_F(Windows64, ShortcutsResolveWithoutSearchTrackOrRewrite)
{
    MemAddLink(MEM_STARTUP_FOLDER "\\Gone.lnk", "C:\\gone.exe", "", "");
    ScanCatalogue();
    // Tried for one second at most (the high word): a share may be unreachable.
    EXPECT_EQ((uint32_t)(PLAT_SLR_NO_UI | PLAT_SLR_NOUPDATE | PLAT_SLR_NOSEARCH | PLAT_SLR_NOTRACK
                         | (1000u << 16)),
              MemLastResolveFlags());
}

// ---- Windows' startup settings ----

TEST_F(Windows64, ApprovalStatesAreRead)
{
    const struct {
        const char *name;
        PlatHive hive;
        const char *list;
        uint32_t type;
        std::string bytes;
        int enabled;
    } rows[] = {
        {"Even02", PLAT_HKCU, "Run", PLAT_REG_BINARY, Approval(0x02), 1},
        {"Even06", PLAT_HKCU, "Run", PLAT_REG_BINARY, Approval(0x06), 1},
        {"Odd03", PLAT_HKCU, "Run", PLAT_REG_BINARY, Approval(0x03), 0},
        {"Odd07", PLAT_HKCU, "Run", PLAT_REG_BINARY, Approval(0x07), 0},
        {"Short", PLAT_HKCU, "Run", PLAT_REG_BINARY, Approval(0x03, 11), 1},
        {"Dword", PLAT_HKCU, "Run", PLAT_REG_DWORD, Approval(0x03, 12), 1},
        {"WrongList", PLAT_HKCU, "Run32", PLAT_REG_BINARY, Approval(0x03), 1},
    };
    for (const auto &row : rows) {
        MemSetString(PLAT_HKCU, kRun, row.name, "C:\\x.exe");
        MemSetValue(row.hive, (std::string(APPROVED_KEY "\\") + row.list).c_str(), row.name,
                    row.type, row.bytes);
    }
    // The 32-bit view is governed by Run32 of the native view's HKLM.
    MemSetString(PLAT_HKLM32, kRun, "Machine32", "C:\\x.exe");
    MemSetValue(PLAT_HKLM, APPROVED_KEY "\\Run32", "Machine32", PLAT_REG_BINARY, Approval(3));
    MemSetString(PLAT_HKCU, kRunOnce, "Once", "C:\\x.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Once", PLAT_REG_BINARY, Approval(3));
    MemAddLink(MEM_COMMON_STARTUP_FOLDER "\\Link.lnk", "C:\\x.exe", "", "");
    MemSetValue(PLAT_HKLM, APPROVED_KEY "\\StartupFolder", "Link.lnk", PLAT_REG_BINARY,
                Approval(3));
    ScanCatalogue();
    for (const auto &row : rows) {
        const AutostartItem &item = ItemCatalogue.items[IndexOf(row.name)];
        EXPECT_EQ(row.enabled, item.enabled) << row.name;
        EXPECT_EQ(!row.enabled, item.approvalDisabled) << row.name;
        EXPECT_STREQ(kRun, item.location) << row.name << ": listed in place";
    }
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Machine32")].enabled);
    EXPECT_EQ(1, ItemCatalogue.items[IndexOf("Once")].enabled) << "RunOnce is not governed";
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Link.lnk")].enabled);
}

TEST_F(Windows64, CheckingASwitchedOffEntrySwitchesItOnInPlace)
{
    MemSetString(PLAT_HKCU, kRun, "Off", "C:\\x.exe");
    MemSetString(PLAT_HKCU, kRun, "Other", "C:\\y.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Off", PLAT_REG_BINARY, Approval(0x03));
    MemSetValue(PLAT_HKCU, kApprovedRun, "Other", PLAT_REG_BINARY, Approval(0x03, 8));
    MemSetString(PLAT_HKCU, kRunOff, "Moved", "C:\\z.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Moved", PLAT_REG_BINARY, Approval(0x07));
    Toggle({"Off", "Moved"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_EQ(kSwitchedOn, Stored(PLAT_HKCU, kApprovedRun, "Off"));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Off")) << "switched on where it is";
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Moved"));
    // Only the "off" bit and the time are cleared: 07 becomes 06, not 02.
    EXPECT_EQ(std::string("\x06\0\0\0\0\0\0\0\0\0\0\0", 12), Stored(PLAT_HKCU, kApprovedRun, "Moved"))
        << "left behind, cleared";
    EXPECT_EQ(Approval(0x03, 8), Stored(PLAT_HKCU, kApprovedRun, "Other"))
        << "a malformed value of another entry stays";
    ScanCatalogue();
    EXPECT_EQ(1, ItemCatalogue.items[IndexOf("Off")].enabled);
}

// Each call of switching on in place fails in turn: the entry stays where it
// is, whole, and the failure is reported.
TEST_F(Windows64, EveryFailingCallOfSwitchingOnIsReported)
{
    const MemOp ops[] = {MEM_REG_OPEN_READ, MEM_REG_QUERY_VALUE, MEM_REG_CREATE,
                         MEM_REG_SET_VALUE, MEM_REG_CLOSE};
    for (MemOp op : ops) {
        for (int occurrence = 1; occurrence <= 3; ++occurrence) {
            MemReset();
            Statuses.clear();
            MemSetString(PLAT_HKCU, kRun, "Off", "C:\\x.exe");
            MemSetValue(PLAT_HKCU, kApprovedRun, "Off", PLAT_REG_BINARY, Approval(0x03));
            ScanCatalogue();
            std::vector<int32_t> desired = Desired({"Off"});
            MemResetCounts();
            MemFailCall(op, occurrence);
            ApplyChanges(desired.data(), (int32_t)desired.size(), &StatusFront);
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);
            bool switchedOn = Stored(PLAT_HKCU, kApprovedRun, "Off") == kSwitchedOn;
            EXPECT_EQ(Sz("C:\\x.exe"), Stored(PLAT_HKCU, kRun, "Off")) << context;
            EXPECT_TRUE(switchedOn || Statuses.size() == 1) << context << ": off, not reported";
            if (occurrence > MemCallCount(op)) {
                EXPECT_TRUE(switchedOn && Statuses.empty()) << context << ": no fault, done";
            }
            EXPECT_EQ(0, MemOpenKeys()) << context;
        }
    }
}
