// save_item_test.cpp - Add and Edit never replace, damage or drop an entry:
// the collision check, whole-value edits, the fields an edit shows, and every
// failing call of a rename.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";

class SaveTest : public testing::Test {
protected:
    void SetUp() override { MemReset(); }
};

std::string Bytes(PlatHive hive, const char *path, const char *name, uint32_t *type = nullptr)
{
    std::string bytes;
    return MemGetValue(hive, path, name, type, &bytes) ? bytes : std::string("<absent>");
}

struct Shown {
    int state;
    std::string file, parameters;
};

Shown FieldsOf(const char *name)
{
    char file[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE];
    int state = EditFields(&ItemCatalogue.items[IndexOf(name)], file, parameters);
    return Shown{state, file, parameters};
}

} // namespace

TEST_F(SaveTest, CollisionsAreFoundAsTheRegistryComparesNames)
{
    MemSetString(PLAT_HKCU, kRun, "M\xfcller", "C:\\m.exe");
    MemSetString(PLAT_HKCU, kRun, "Other", "C:\\o.exe");
    MemSetString(PLAT_HKLM, kRun, "Machine", "C:\\x.exe");
    ScanCatalogue();
    EXPECT_TRUE(SaveWouldReplace("M\xdcLLER", 0, EditorAdd, -1));
    EXPECT_FALSE(SaveWouldReplace("M\xdcLLER", 1, EditorAdd, -1)) << "other hive";
    int muller = IndexOf("M\xfcller");
    EXPECT_FALSE(SaveWouldReplace("M\xdcLLER", 0, EditorEdit, muller)) << "itself";
    EXPECT_TRUE(SaveWouldReplace("other", 0, EditorEdit, muller));
    EXPECT_TRUE(SaveWouldReplace("Machine", 1, EditorEdit, muller)) << "change of hive";

    // A case-only rename beyond A-Z is the same value: it survives, renamed,
    // with no parked copy left.
    Shown shown = FieldsOf("M\xfcller");
    EXPECT_EQ(SaveCaseRenamed, SaveItem("M\xdcLLER", shown.file.c_str(),
                                        shown.parameters.c_str(), 0, EditorEdit, muller));
    EXPECT_EQ((std::vector<std::string>{"Other", "M\xdcLLER"}), MemValueNames(PLAT_HKCU, kRun));
    EXPECT_EQ(Sz("C:\\m.exe"), Bytes(PLAT_HKCU, kRun, "M\xfcller"));
    // Answered Yes, a rename onto another entry replaces it and nothing else.
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(SaveReplaced, SaveItemWithBackup("Other", "C:\\m.exe", "", 0, EditorEdit,
                                               IndexOf("M\xdcLLER"), backup));
    EXPECT_EQ(Sz("C:\\m.exe"), Bytes(PLAT_HKCU, kRun, "Other"));
    EXPECT_EQ("<absent>", Bytes(PLAT_HKCU, kRun, "M\xfcller"));
    EXPECT_NE(std::string::npos,
              RegText(MemFileBytes(backup)).find("\"Other\"=\"C:\\\\o.exe\""))
        << "the replaced value was saved first";
}

// A switch left behind for a name is saved and dropped before an Add takes
// the name; a failing backup or drop writes nothing.
TEST_F(SaveTest, AddOntoALeftoverSwitchSavesAndDropsIt)
{
    const char *approved = APPROVED_KEY "\\Run";
    MemSetValue(PLAT_HKCU, approved, "Fresh", PLAT_REG_BINARY, std::string(12, '\x03'));
    MemFailCall(MEM_FILE_CREATE, 1);
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(SaveNotWritten, SaveItemWithBackup("Fresh", "C:\\f.exe", "", 0, EditorAdd, -1, backup));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Fresh"));
    MemClearFaults();
    MemResetCounts();
    MemFailCall(MEM_REG_CREATE, 1); // the switch cannot be dropped
    EXPECT_EQ(SaveNotWritten, SaveItemWithBackup("Fresh", "C:\\f.exe", "", 0, EditorAdd, -1, backup));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Fresh"));
    MemClearFaults();
    EXPECT_EQ(SaveReplaced, SaveItemWithBackup("Fresh", "C:\\f.exe", "", 0, EditorAdd, -1, backup));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, approved, "Fresh"));
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(backup)).find("\"Fresh\"=hex:03,03"));
}

// A case-only rename whose parked copy will not go says so; a rename whose
// switch cannot be carried keeps the old entry with its switch.
TEST_F(SaveTest, LeftoversOfARenameAreNamed)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\t.exe");
    ScanCatalogue();
    Shown shown = FieldsOf("Tool");
    MemFailCall(MEM_REG_DELETE_VALUE, 2);
    MemFailCall(MEM_REG_DELETE_VALUE, 3);
    char extra[TEXT_FIELD_SIZE];
    EXPECT_EQ(SaveCaseParkedKept, SaveItemWithBackup("TOOL", shown.file.c_str(), "", 0, EditorEdit,
                                                     IndexOf("Tool"), extra));
    EXPECT_STREQ("Orvane Tool rename 1", extra);

    MemReset();
    const char *approved = APPROVED_KEY "\\Run";
    MemSetString(PLAT_HKCU, kRun, "Old", "C:\\o.exe");
    MemSetValue(PLAT_HKCU, approved, "Old", PLAT_REG_BINARY, std::string(12, '\x03'));
    ScanCatalogue();
    // The switch goes first: when it cannot follow, nothing is written.
    MemFailCall(MEM_REG_SET_VALUE, 2);
    EXPECT_EQ(SaveNotWritten, SaveItem("New", "C:\\o.exe", "", 0, EditorEdit, IndexOf("Old")));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Old"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "New"));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, approved, "Old"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, approved, "New"));

    // A write whose key then does not close has written: the rename is done.
    MemReset();
    MemSetString(PLAT_HKCU, kRun, "Old", "C:\\o.exe");
    MemSetValue(PLAT_HKCU, approved, "Old", PLAT_REG_BINARY, std::string(12, '\x03'));
    ScanCatalogue();
    MemResetCounts();
    MemSetHook(MEM_REG_SET_VALUE, 2,
               [] { MemFailCall(MEM_REG_CLOSE, MemCallCount(MEM_REG_CLOSE) + 1); });
    EXPECT_EQ(SaveDone, SaveItem("New", "C:\\o.exe", "", 0, EditorEdit, IndexOf("Old")));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, approved, "New"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, approved, "Old"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Old"));
}

TEST_F(SaveTest, EditsThatKeepTheCommandMoveTheValueWhole)
{
    const struct {
        const char *name;
        uint32_t type;
        std::string bytes;
    } values[] = {
        {"Dll", PLAT_REG_SZ, Sz("rundll32.exe \"C:\\x.dll\",Start")},
        {"Expand", PLAT_REG_EXPAND_SZ, Sz("%windir%\\x.exe -q")},
        {"Multi", PLAT_REG_MULTI_SZ, std::string("C:\\a.exe\0-x\0\0", 13)},
        {"Binary", PLAT_REG_BINARY, std::string("C:\\b.exe\0\x01\x02", 11)},
        {"Dword", PLAT_REG_DWORD, std::string("\x41\0\0\x01", 4)},
        {"Long", PLAT_REG_SZ, Sz("C:\\l.exe " + std::string(600, 'p'))},
    };
    for (const auto &v : values)
        MemSetValue(PLAT_HKCU, kRunOff, v.name, v.type, v.bytes);
    for (const auto &v : values) {
        ScanCatalogue();
        Shown shown = FieldsOf(v.name);
        std::string renamed = std::string(v.name) + " renamed";
        EXPECT_EQ(SaveDone, SaveItem(renamed.c_str(), shown.file.c_str(), shown.parameters.c_str(),
                                     1, EditorEdit, IndexOf(v.name)))
            << v.name;
        uint32_t type = 0;
        EXPECT_EQ(v.bytes, Bytes(PLAT_HKLM, kRunOff, renamed.c_str(), &type)) << v.name;
        EXPECT_EQ(v.type, type) << v.name;
        EXPECT_EQ("<absent>", Bytes(PLAT_HKCU, kRunOff, v.name)) << v.name;
    }
}

TEST_F(SaveTest, FieldsShowTheStoredCommandOrSayWhyNot)
{
    MemSetString(PLAT_HKCU, kRun, "Expand", "%windir%\\x.exe /q", PLAT_REG_EXPAND_SZ);
    MemSetString(PLAT_HKCU, kRun, "Quoted", "\"C:\\Program Files\\a.exe\" -x y");
    MemSetString(PLAT_HKCU, kRun, "Dll", "rundll32.exe \"C:\\x.dll\",Start");
    MemSetString(PLAT_HKCU, kRun, "Exact", std::string(259, 'e').c_str());
    MemSetString(PLAT_HKCU, kRun, "Over", std::string(260, 'o').c_str());
    MemSetValue(PLAT_HKCU, kRun, "Multi", PLAT_REG_MULTI_SZ, std::string("C:\\a.exe\0\0", 10));
    // A command the record holds whole is edited whole; one more and not.
    std::string wide = "\"C:\\w.exe\" " + std::string(COMMAND_FIELD_SIZE - 12, 'p');
    MemSetString(PLAT_HKCU, kRun, "Wide", wide.c_str());
    MemSetString(PLAT_HKCU, kRun, "Wider", (wide + "p").c_str());
    ScanCatalogue();
    EXPECT_EQ(wide.substr(11), FieldsOf("Wide").parameters);
    EXPECT_EQ(FieldsEditable, FieldsOf("Wide").state);
    EXPECT_EQ(FieldsTooLong, FieldsOf("Wider").state);
    Shown expand = FieldsOf("Expand");
    EXPECT_EQ(FieldsEditable, expand.state);
    EXPECT_EQ("%windir%\\x.exe", expand.file) << "stored, unexpanded";
    EXPECT_EQ("/q", expand.parameters);
    Shown quoted = FieldsOf("Quoted");
    EXPECT_EQ("C:\\Program Files\\a.exe", quoted.file);
    EXPECT_EQ("-x y", quoted.parameters);
    EXPECT_EQ(FieldsTextBeforeProgram, FieldsOf("Dll").state);
    EXPECT_EQ(FieldsEditable, FieldsOf("Exact").state);
    EXPECT_EQ(FieldsTooLong, FieldsOf("Over").state);
    EXPECT_EQ(FieldsNotText, FieldsOf("Multi").state);

    // A changed command of a REG_EXPAND_SZ value stays one, unexpanded.
    EXPECT_EQ(SaveDone, SaveItem("Expand", "%windir%\\y.exe", "/q", 0, EditorEdit,
                                 IndexOf("Expand")));
    uint32_t type = 0;
    EXPECT_EQ(Sz("\"%windir%\\y.exe\" /q"), Bytes(PLAT_HKCU, kRun, "Expand", &type));
    EXPECT_EQ((uint32_t)PLAT_REG_EXPAND_SZ, type);
}

// RunOnceEx runs "||command" and "dll|function|args" only as stored: an edit
// of the shown fields must not wrap them in quotes.
TEST_F(SaveTest, RunOnceExStepsAreKeptAsStored)
{
    const std::string section = CURRENT_VERSION_KEY "\\RunOnceEx\\0001";
    MemSetString(PLAT_HKLM, section.c_str(), "Step", "||C:\\step.exe");
    MemSetString(PLAT_HKLM, section.c_str(), "Dll", "C:\\x.dll|Install|1");
    MemSetString(PLAT_HKLM, section.c_str(), "Plain", "C:\\p.exe /q");
    MemSetString(PLAT_HKCU, kRun, "Bar", "C:\\a.exe x|y");
    ScanCatalogue();
    EXPECT_EQ(FieldsRunOnceExForm, FieldsOf("Step").state);
    EXPECT_EQ(FieldsRunOnceExForm, FieldsOf("Dll").state);
    EXPECT_EQ(FieldsEditable, FieldsOf("Plain").state);
    EXPECT_EQ(FieldsEditable, FieldsOf("Bar").state) << "a bar means nothing in Run";
    ASSERT_EQ(SaveDone, SaveItem("Step2", "C:\\step.exe", "/s", 1, EditorEdit, IndexOf("Step")));
    EXPECT_EQ(Sz("||C:\\step.exe"), Bytes(PLAT_HKLM, section.c_str(), "Step2"));
}

// Each call of a whole-value rename fails in turn: the entry always exists
// whole under one name or both, and an old value left behind is reported.
TEST_F(SaveTest, EveryFailingCallOfARenameLosesNothing)
{
    const std::string bytes("C:\\b.exe\0\x7f\x80", 11);
    const MemOp ops[] = {MEM_REG_OPEN_READ, MEM_REG_QUERY_VALUE, MEM_REG_CREATE,
                         MEM_REG_SET_VALUE, MEM_REG_DELETE_VALUE, MEM_REG_CLOSE, MEM_ALLOC};
    for (MemOp op : ops) {
        for (int occurrence = 1; occurrence <= 4; ++occurrence) {
            MemReset();
            MemSetValue(PLAT_HKCU, kRun, "Old", PLAT_REG_BINARY, bytes);
            ScanCatalogue();
            Shown shown = FieldsOf("Old");
            MemResetCounts();
            MemFailCall(op, occurrence);
            int result = SaveItem("New", shown.file.c_str(), shown.parameters.c_str(), 0,
                                  EditorEdit, IndexOf("Old"));
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);
            std::string oldBytes = Bytes(PLAT_HKCU, kRun, "Old");
            std::string newBytes = Bytes(PLAT_HKCU, kRun, "New");
            EXPECT_TRUE(oldBytes == bytes || newBytes == bytes) << context;
            EXPECT_EQ(result == SaveDone, oldBytes == "<absent>") << context;
            if (result == SaveOldKept) {
                EXPECT_EQ(bytes, newBytes) << context;
            }
            EXPECT_EQ(0, MemOpenKeys()) << context;
        }
    }
}

// The collision check's calls fail in turn: a taken name is always asked
// about, never replaced unasked.
TEST_F(SaveTest, ACollisionCheckThatCannotReadStillAsks)
{
    MemSetString(PLAT_HKCU, kRun, "Taken", "C:\\t.exe");
    ScanCatalogue();
    for (MemOp op : {MEM_REG_OPEN_READ, MEM_REG_QUERY_VALUE, MEM_REG_CLOSE}) {
        MemClearFaults();
        MemFailCall(op, 0);
        EXPECT_TRUE(SaveWouldReplace("Taken", 0, EditorAdd, -1)) << MemOpName(op);
    }
    MemClearFaults();
    EXPECT_FALSE(SaveWouldReplace("Free", 0, EditorAdd, -1));
    EXPECT_FALSE(SaveWouldReplace("Taken", 1, EditorAdd, -1)) << "no Run key in HKLM: absent";
}

// A case-only rename: one failed delete of the parked copy is retried, and
// a new name the registry will not take brings the old value back alone.
TEST_F(SaveTest, CaseOnlyRenameFailuresLeaveOneValue)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\t.exe");
    ScanCatalogue();
    Shown shown = FieldsOf("Tool");
    char extra[TEXT_FIELD_SIZE];
    MemFailCall(MEM_REG_DELETE_VALUE, 2);
    EXPECT_EQ(SaveCaseRenamed, SaveItemWithBackup("TOOL", shown.file.c_str(), "", 0, EditorEdit,
                                                  IndexOf("Tool"), extra));
    EXPECT_EQ(std::vector<std::string>{"TOOL"}, MemValueNamesUtf8(PLAT_HKCU, kRun));

    ScanCatalogue();
    MemClearFaults();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 2);
    EXPECT_EQ(SaveCaseNotStored, SaveItemWithBackup("Tool", shown.file.c_str(), "", 0, EditorEdit,
                                                    IndexOf("TOOL"), extra));
    EXPECT_EQ(std::vector<std::string>{"TOOL"}, MemValueNamesUtf8(PLAT_HKCU, kRun));
    EXPECT_EQ(Sz("C:\\t.exe"), Bytes(PLAT_HKCU, kRun, "TOOL"));
}

// A program path with a blank is quoted even without parameters: unquoted,
// Windows tries "C:\Program.exe" first; what the fields show comes back.
TEST_F(SaveTest, AProgramWithABlankIsQuoted)
{
    const char *program = "C:\\Program Files\\NoSuch\\nosuch.exe";
    ASSERT_EQ(SaveDone, SaveItem("Blank", program, "", 0, EditorAdd, -1));
    EXPECT_EQ(Sz(std::string("\"") + program + "\""), Bytes(PLAT_HKCU, RUN_KEY, "Blank"));
    ScanCatalogue();
    EXPECT_EQ(program, FieldsOf("Blank").file);
    EXPECT_EQ("", FieldsOf("Blank").parameters);
}

// A program that is not where the logon looks is asked about; an edit that
// keeps the stored program, and a path on the network, are not.
TEST_F(SaveTest, AMissingProgramIsFoundBeforeSaving)
{
    MemAddFile("C:\\Tools\\zz agent.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\App Paths\\zzagent.exe", "",
                 "\"C:\\Tools\\zz agent.exe\"");
    EXPECT_EQ(1, SaveProgramMissing("C:\\Program Files\\NoSuch\\nosuch.exe", "", EditorAdd, -1));
    EXPECT_EQ(1, SaveProgramMissing("nosuch.exe", "-q", EditorAdd, -1));
    EXPECT_EQ(0, SaveProgramMissing("C:\\Tools\\zz agent.exe", "", EditorAdd, -1));
    EXPECT_EQ(0, SaveProgramMissing("zzagent", "-q", EditorAdd, -1));
    EXPECT_EQ(0, SaveProgramMissing("\\\\server\\share\\x.exe", "", EditorAdd, -1));
    MemSetString(PLAT_HKCU, RUN_KEY, "Gone", "\"C:\\gone.exe\" -x");
    ScanCatalogue();
    int32_t gone = IndexOf("Gone");
    EXPECT_EQ(0, SaveProgramMissing("C:\\gone.exe", "-y", EditorEdit, gone));
    EXPECT_EQ(1, SaveProgramMissing("C:\\gone2.exe", "-x", EditorEdit, gone));
}
