// services_test.cpp - the automatic services as rows: which services are
// listed, their program as the SCM starts it (svchost's service DLL), what
// the details say, Windows' own hidden, a failed listing said, and the
// switch between automatic and Manual.
#include "../../cli/cli.h"
#include "../../store/journal.h"
#include "../../store/reg_reader.h"
#include "../../store/store.h"
#include "../../store/undo.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char *const kVendor = "C:\\Program Files\\Vendor\\up.exe";
const char *const kHost = "C:\\WINDOWS\\System32\\svchost.exe";
const char *const kDll = "C:\\WINDOWS\\System32\\netsvc.dll";

MemService Svc(const char *name, const std::string &path, uint32_t start = PLAT_SERVICE_AUTO_START)
{
    MemService s;
    s.name = name;
    s.displayName = name;
    s.binaryPath = path;
    s.startType = start;
    return s;
}

std::vector<std::string> *Told;
void Tell(void *, const char *, const char *text) { Told->push_back(text); }

class Services : public testing::Test {
protected:
    std::vector<std::string> told;
    void SetUp() override
    {
        MemReset();
        ForgetSignatures();
        Statuses.clear();
        MemSetEnv("SystemRoot", "C:\\WINDOWS");
        MemAddFile(kVendor);
        MemAddFile(kHost);
        MemAddFile(kDll);
        Told = &told;
        CatalogueErrors = Tell;
    }
    void TearDown() override { CatalogueErrors = nullptr; }
    const AutostartItem *Row(const char *name)
    {
        int i = IndexOf(name);
        return i < 0 ? nullptr : &ItemCatalogue.items[i];
    }
    std::string Notes(const char *name)
    {
        char notes[4 * TEXT_FIELD_SIZE];
        ItemNotes(Row(name), notes, sizeof notes);
        return notes;
    }
    void AddHosted(const char *name)
    {
        MemService s = Svc(name, "%SystemRoot%\\System32\\svchost.exe -k netsvcs -p");
        s.type = PLAT_SERVICE_SHARE_PROCESS;
        MemAddService(s);
        MemSetString(PLAT_HKLM, (std::string(SERVICES_KEY "\\") + name + "\\Parameters").c_str(),
                     "ServiceDll", "%SystemRoot%\\System32\\netsvc.dll", PLAT_REG_EXPAND_SZ);
    }
};

struct RowCase {
    const char *name, *target, *parameters;
};

} // namespace

// Only automatic Win32 services are rows, each with its program as the SCM
// starts it: quoted or not (an unquoted path with blanks starts the first
// program it names), svchost's service DLL in the system's environment,
// never the user's.
TEST_F(Services, AutomaticServicesAreRowsWithTheProgramTheScmStarts)
{
    MemAddService(Svc("Quoted", std::string("\"") + kVendor + "\" --service"));
    MemAddService(Svc("Unquoted", std::string(kVendor) + " --service"));
    MemAddFile("C:\\Apps Trap\\t.exe");
    MemAddFile("C:\\Apps.exe");
    MemAddService(Svc("Trap", "C:\\Apps Trap\\t.exe -x"));
    MemService delayed = Svc("Delayed", kVendor);
    delayed.delayed = 1;
    MemAddService(delayed);
    MemAddService(Svc("Manual", kVendor, PLAT_SERVICE_DEMAND_START));
    MemAddService(Svc("Off", kVendor, PLAT_SERVICE_DISABLED));
    MemService driver = Svc("Driver", "\\SystemRoot\\System32\\drivers\\d.sys");
    driver.type = 1;
    MemAddService(driver);
    AddHosted("Netsvc");
    MemSetString(PLAT_HKCU, "Environment", "SystemRoot", "C:\\Users\\tester\\w");
    MemService lost = Svc("Lost", "%SystemRoot%\\System32\\svchost.exe -k lost");
    lost.type = PLAT_SERVICE_SHARE_PROCESS;
    MemAddService(lost);
    MemSetEnv("USERPROFILE", "C:\\Users\\tester");
    MemAddFile("C:\\Users\\tester\\agent.exe");
    MemAddService(Svc("Profile", "%USERPROFILE%\\agent.exe"));
    // A machine's variable the user overrides is the user's in this process.
    MemSetEnv("ProgramData", "C:\\Users\\tester\\pd");
    MemSetString(PLAT_HKCU, "Environment", "ProgramData", "C:\\Users\\tester\\pd");
    MemAddFile("C:\\Users\\tester\\pd\\a.exe");
    MemAddService(Svc("Data", "%ProgramData%\\a.exe"));
    MemAddFile("C:\\ProgramData\\x\\svchost.exe");
    MemService fake = Svc("Fake", "C:\\ProgramData\\x\\svchost.exe -k netsvcs");
    fake.displayName = std::string(250, 'D');
    MemAddService(fake);
    MemSetString(PLAT_HKLM, SERVICES_KEY "\\Fake\\Parameters", "ServiceDll", kDll);
    ScanCatalogue();

    ASSERT_EQ(9, ItemCatalogue.count);
    const RowCase rows[] = {{"Quoted", kVendor, "--service"},
                            {"Unquoted", kVendor, "--service"},
                            {"Trap", "C:\\Apps.exe", "Trap\\t.exe -x"},
                            {"Delayed", kVendor, ""},
                            {"Netsvc", kDll, "-k netsvcs -p"},
                            {"Lost", kHost, "-k lost"},
                            {"Profile", "%USERPROFILE%\\agent.exe", ""},
                            {"Data", "%ProgramData%\\a.exe", ""},
                            {"Fake", "C:\\ProgramData\\x\\svchost.exe", "-k netsvcs"}};
    for (const RowCase &c : rows) {
        const AutostartItem *item = Row(c.name);
        ASSERT_TRUE(item) << c.name;
        EXPECT_STREQ(c.target, item->target) << c.name;
        EXPECT_STREQ(c.parameters, item->parameters) << c.name;
        EXPECT_STREQ(SERVICE_TYPE, ItemTypeText(item));
        EXPECT_STREQ(STATE_ON, ItemStateText(item));
    }
    EXPECT_STREQ(kHost, Row("Netsvc")->serviceHost);
    char id[ITEM_ID_SIZE];
    ASSERT_TRUE(ItemId(Row("Quoted"), NULL, id, sizeof id));
    EXPECT_STREQ("HKLM\\System\\CurrentControlSet\\Services\\Quoted", id);
    EXPECT_EQ(NOTE_SERVICE_AUTOMATIC "; runs as LocalSystem; " NOTE_SERVICE_STOPPED,
              Notes("Quoted"));
    EXPECT_EQ(0u, Notes("Delayed").find(NOTE_SERVICE_DELAYED));
    EXPECT_NE(std::string::npos, Notes("Netsvc").find("its DLL, loaded by C:\\WINDOWS"));
    EXPECT_NE(std::string::npos, Notes("Lost").find(NOTE_SERVICE_NO_DLL));
    EXPECT_NE(std::string::npos, Notes("Fake").find(NOTE_SERVICE_STOPPED)) << Notes("Fake");
    EXPECT_TRUE(told.empty());
}

// The details resolve an indirect display name and description, and say
// whether it runs now, and in which process.
TEST_F(Services, DetailsResolveIndirectNamesAndSayWhetherItRuns)
{
    MemService s = Svc("Agent", kVendor);
    s.displayName = "@C:\\Vendor\\res.dll,-101";
    s.description = "@C:\\Vendor\\res.dll,-102";
    s.state = PLAT_SERVICE_RUNNING;
    s.processId = 4242;
    s.delayed = -1;
    s.account = "NT AUTHORITY\\LocalService";
    MemAddService(s);
    MemSetIndirectString("@C:\\Vendor\\res.dll,-101", "Vendor Agent");
    MemSetIndirectString("@C:\\Vendor\\res.dll,-102", "Keeps it up to date");
    ScanCatalogue();
    EXPECT_EQ(NOTE_SERVICE_DELAY_UNKNOWN "; runs as NT AUTHORITY\\LocalService; runs now "
              "(process 4242); display name \"Vendor Agent\"; description \"Keeps it up to date\"",
              Notes("Agent"));
}

// Hidden only where what runs is Windows' signed program in the Windows
// folders, started as it is; marked in the details when shown.
TEST_F(Services, OnlyWindowsSignedProgramsInTheWindowsFoldersAreHidden)
{
    AddHosted("Netsvc");
    MemSetSignature(kDll, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    const char *cmd = "C:\\WINDOWS\\System32\\cmd.exe";
    MemSetSignature(cmd, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemAddService(Svc("Shell", std::string(cmd) + " /c C:\\x.bat"));
    const char *own = "C:\\WINDOWS\\System32\\spoolsv.exe";
    MemSetSignature(own, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemAddService(Svc("Spooler", own));
    MemAddService(Svc("Given", std::string(own) + " --load C:\\x.dll"));
    MemAddService(Svc("Padded", std::string(own) + std::string(2100, ' ') + "/c C:\\x.exe"));
    MemSetSignature(kVendor, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemAddService(Svc("Outside", kVendor));
    ScanCatalogue();
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Netsvc"), 1));
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Spooler"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Spooler"), 0));
    EXPECT_NE(std::string::npos, Notes("Spooler").find(NOTE_SERVICE_WINDOWS_OWN));
    for (const char *shown : {"Shell", "Given", "Outside", "Padded"}) {
        EXPECT_EQ(0, ItemHiddenAsWindows(Row(shown), 1)) << shown;
        EXPECT_NE(CAUSE_WINDOWS_OWN, SwitchRefusalCause(Row(shown))) << shown;
        EXPECT_EQ(std::string::npos, Notes(shown).find(NOTE_SERVICE_WINDOWS_OWN)) << shown;
    }
    MemSetSignature(kDll, PLAT_TRUST_VERIFIED, "Contoso", false);
    ForgetSignatures();
    ScanCatalogue();
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Netsvc"), 1));
}

// A listing that fails is no listing of nothing: said every scan, kept for
// the report and the console; settings that cannot be read are counted.
TEST_F(Services, FailedListingAndUnreadSettingsAreSaid)
{
    MemAddService(Svc("Agent", kVendor));
    MemFailCall(MEM_SERVICE_LIST, 0, PLAT_ERROR_ACCESS_DENIED);
    ScanCatalogue();
    ScanCatalogue();
    char said[TASKS_UNREAD_SIZE];
    TextFormat(said, sizeof said, SERVICES_NOT_LISTED, "Error 5.");
    EXPECT_EQ(std::vector<std::string>({said, said}), told);
    EXPECT_STREQ(said, ItemCatalogue.tasksUnread);
    EXPECT_EQ(0, ItemCatalogue.count);

    MemClearFaults();
    told.clear();
    MemAddService(Svc("Other", kVendor));
    MemFailCall(MEM_SERVICE_QUERY, 2, PLAT_ERROR_ACCESS_DENIED);
    ScanCatalogue();
    TextFormat(said, sizeof said, SERVICES_UNREAD, 1L, "Error 5.");
    EXPECT_EQ(std::vector<std::string>({said}), told);
    EXPECT_EQ(1, ItemCatalogue.count);
    EXPECT_GE(IndexOf("Agent"), 0);
    // A name the code page changed is said, not skipped, and never asked
    // for by its changed name, which may be another service's ("??").
    MemService wide = Svc("\xE4\xBB\xA3\xE7\x90\x86", kVendor);
    wide.wideName = true;
    MemAddService(wide);
    MemAddService(Svc("??", kVendor));
    MemSetCodePageUtf8(false);
    told.clear();
    ScanCatalogue();
    MemSetCodePageUtf8(true);
    ASSERT_EQ(1u, told.size());
    EXPECT_EQ(0u, told[0].find(std::string(said).substr(0, 10))) << told[0];
    EXPECT_EQ(3, ItemCatalogue.count);
}

// Unelevated, a switch is refused before anything is saved, said as
// wanting administrator rights; a Remove is refused whatever the rights.
TEST_F(Services, RefusedUnelevatedAndNeverRemoved)
{
    MemAddService(Svc("Agent", kVendor));
    MemSetString(PLAT_HKLM, SERVICES_KEY "\\Agent", "Agent", "keep");
    MemResetCounts();
    Toggle({"Agent"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("administrator rights are needed")) << Statuses[0];
    EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart("Agent"));
    ScanCatalogue();
    EXPECT_EQ(CAUSE_SERVICE, RemoveRefusalCause(Row("Agent")));
    MemSetElevated(true);
    EXPECT_NE(ResultDone, RemoveEntry(Row("Agent"), &StatusFront));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, SERVICES_KEY "\\Agent", "Agent"));
    EXPECT_EQ(0, MemCallCount(MEM_REG_SET_VALUE) + MemCallCount(MEM_REG_DELETE_VALUE)
                     + MemCallCount(MEM_REG_CREATE) + MemCallCount(MEM_FILE_CREATE)
                     + MemCallCount(MEM_SERVICE_SET_START));
}

// The console's --place services selects the services and nothing else.
TEST_F(Services, ConsolePlaceServicesSelectsThem)
{
    MemAddService(Svc("Agent", kVendor));
    MemSetString(PLAT_HKCU, RUN_KEY, "Tool", kVendor);
    std::vector<const char *> args = {"orvanec", "list", "-f", "csv", "--place", "Services"};
    size_t before = MemStreamText(PLAT_STDOUT).size();
    EXPECT_EQ(0, CliRun((int)args.size(), (char **)args.data()));
    std::string out = MemStreamText(PLAT_STDOUT).substr(before);
    EXPECT_NE(std::string::npos,
              out.find("HKLM\\System\\CurrentControlSet\\Services\\Agent,Agent,SVC,on"))
        << out;
    EXPECT_EQ(std::string::npos, out.find("Tool")) << out;
    // A service is no file: the Startup folder's id of its name is not it.
    char startup[PLAT_TEXT_SIZE];
    ASSERT_TRUE(PlatShellFolder(PLAT_CSIDL_STARTUP, startup));
    EXPECT_LT(FindItemById((std::string(startup) + "\\Agent").c_str()), 0);
    // The report counts them as a place of their own.
    std::vector<const char *> report = {"orvanec", "report", "C:\\services.html"};
    EXPECT_EQ(0, CliRun((int)report.size(), (char **)report.data()));
    EXPECT_NE(std::string::npos, MemFileBytes("C:\\services.html")
                                     .find("Services (automatic, or switched off here): 1 entry"));
}

namespace {

std::vector<std::string> Words;
void KeepWords(void *, const StoreOutcome *outcome)
{
    Outcomes.push_back(*outcome);
    char words[OUTCOME_TEXT_SIZE];
    WordOutcome(outcome, 0, words, sizeof words);
    Words.push_back(words);
}
const FrontEnd Console = {KeepWords, nullptr, nullptr, nullptr, FRONT_CONSOLE};

std::string KeyOf(const char *name)
{
    return std::string(SERVICES_KEY "\\") + name;
}

void DeleteValue(PlatHive hive, const char *path, const char *name)
{
    PlatKey key = NULL;
    if (PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key) == PLAT_OK) {
        PlatRegDeleteValue(key, name);
        PlatRegClose(key);
    }
}

std::string Bytes(PlatHive hive, const char *path, const char *name)
{
    uint32_t type = 0;
    std::string bytes;
    MemGetValue(hive, path, name, &type, &bytes);
    return bytes;
}

std::string Dword(uint32_t value)
{
    return std::string((const char *)&value, 4);
}

// The service's Start and DelayedAutostart as stored ("-" when not there).
std::string StartValues(const char *name)
{
    std::string all;
    for (const char *value : {"Start", "DelayedAutostart"}) {
        uint32_t type = 0;
        std::string bytes;
        all += MemGetValue(PLAT_HKLM, KeyOf(name).c_str(), value, &type, &bytes)
                   ? std::to_string(type) + ":" + bytes
                   : "-";
        all += "|";
    }
    return all;
}

// Writes what the .reg backup holds, as an import of it would.
void ImportBackup(const std::string &file, const char *name)
{
    std::string bytes = MemFileBytes(file.c_str());
    RegFileContent content;
    uint32_t line = 0;
    ASSERT_EQ(RegReadDone, ReadRegText((const unsigned char *)bytes.data(), (uint32_t)bytes.size(),
                                       &content, &line));
    for (int32_t i = 0; i < content.count; ++i) {
        const RegFileValue &v = content.values[i];
        EXPECT_EQ(KeyOf(name), v.path);
        if (v.deleted)
            DeleteValue(v.hive, v.path, v.name);
        else
            MemSetValue(v.hive, v.path, v.name, v.type, std::string((const char *)v.data, v.size));
    }
    FreeRegContent(&content);
}

// Scans, then switches the row (failing calls of op after the scan).
OutcomeResult Switch(const char *name, int32_t wanted, MemOp failing = MEM_OP_COUNT)
{
    ScanCatalogue();
    Outcomes.clear();
    Words.clear();
    if (failing != MEM_OP_COUNT)
        MemFailCall(failing, 0, PLAT_ERROR_ACCESS_DENIED);
    OutcomeResult result = ApplyChange(IndexOf(name), wanted, &Console);
    MemClearFaults();
    EXPECT_EQ(1u, Words.size());
    return result;
}

} // namespace

// Off is Manual with the old values saved first (one not there saved as
// deleted); the row stays, off here, until on gives back automatic, with
// the delay its key kept. A running
// service is not stopped, and the words say so.
TEST_F(Services, SwitchOffIsManualAndOnGivesBackTheStartType)
{
    MemSetElevated(true);
    const struct {
        const char *name;
        int delayed;
        bool running;
    } cases[] = {{"Auto", 0, false}, {"Delayed", 1, false}, {"Running", 0, true}};
    for (const auto &c : cases) {
        MemService s = Svc(c.name, kVendor);
        s.delayed = c.delayed;
        s.state = c.running ? PLAT_SERVICE_RUNNING : PLAT_SERVICE_STOPPED;
        MemAddService(s);
        MemSetValue(PLAT_HKLM, KeyOf(c.name).c_str(), "Start", PLAT_REG_DWORD, Dword(2));
        if (c.delayed)
            MemSetValue(PLAT_HKLM, KeyOf(c.name).c_str(), "DelayedAutostart", PLAT_REG_DWORD,
                        Dword(1));
        std::string before = StartValues(c.name);

        ASSERT_EQ(ResultDone, Switch(c.name, 0)) << c.name << Words[0];
        EXPECT_EQ(PLAT_SERVICE_DEMAND_START, MemServiceStart(c.name)) << c.name;
        EXPECT_EQ(Dword(2), Bytes(PLAT_HKLM, SERVICES_OFF_KEY, c.name).substr(0, 4)) << c.name;
        // The backup, imported, gives Start and DelayedAutostart back exactly.
        ASSERT_NE(before, StartValues(c.name));
        ImportBackup(Outcomes[0].backup, c.name);
        EXPECT_EQ(before, StartValues(c.name)) << c.name;
        EXPECT_EQ(c.running, Words[0].find("runs until the next restart") != std::string::npos)
            << Words[0];
        ScanCatalogue();
        ASSERT_GE(IndexOf(c.name), 0) << c.name;
        EXPECT_STREQ(STATE_OFF_HERE, ItemStateText(Row(c.name))) << c.name;
        EXPECT_EQ(0u, Notes(c.name).find(NOTE_SERVICE_OFF_HERE)) << c.name;

        ASSERT_EQ(ResultDone, Switch(c.name, 1)) << c.name << Words[0];
        EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart(c.name)) << c.name;
        EXPECT_EQ(before, StartValues(c.name)) << c.name;
        EXPECT_FALSE(MemValueExists(PLAT_HKLM, SERVICES_OFF_KEY, c.name)) << c.name;
    }
    // Made Manual elsewhere, a service is no row: only those switched off here.
    MemAddService(Svc("Auto", kVendor, PLAT_SERVICE_DEMAND_START));
    ScanCatalogue();
    EXPECT_LT(IndexOf("Auto"), 0);
    // One whose program changed since it was switched off here (an update,
    // or another program's service of the name) stays listed, off, and is
    // never made automatic here.
    MemAddService(Svc("Auto", kVendor));
    ASSERT_EQ(ResultDone, Switch("Auto", 0));
    MemAddService(Svc("Auto", "C:\\Other\\new.exe", PLAT_SERVICE_DEMAND_START));
    EXPECT_EQ(ResultRefused, Switch("Auto", 1));
    EXPECT_EQ(PLAT_SERVICE_DEMAND_START, MemServiceStart("Auto"));
    EXPECT_EQ(0u, Notes("Auto").find(NOTE_SERVICE_OFF_OTHER_PATH)) << Notes("Auto");
}

// A failing call leaves the service as it was, says so and keeps nothing;
// Windows' own service and one changed since the list are never touched.
TEST_F(Services, AFailedSwitchLeavesTheServiceAsItWas)
{
    MemSetElevated(true);
    MemAddService(Svc("Agent", kVendor));
    const MemOp failing[] = {MEM_SERVICE_QUERY, MEM_SERVICE_SET_START, MEM_FILE_CREATE,
                             MEM_REG_SET_VALUE};
    for (MemOp op : failing) {
        ASSERT_EQ(ResultRefused, Switch("Agent", 0, op)) << MemOpName(op);
        EXPECT_NE(std::string::npos, Words[0].find("was not disabled")) << Words[0];
        EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart("Agent")) << MemOpName(op);
        EXPECT_FALSE(MemValueExists(PLAT_HKLM, SERVICES_OFF_KEY, "Agent")) << MemOpName(op);
        EXPECT_EQ("", std::string(Outcomes[0].backup)) << MemOpName(op);
    }
    EXPECT_TRUE(MemListFolder((std::string(MEM_PERSONAL_FOLDER) + "\\" BACKUP_FOLDER).c_str())
                    .empty());
    // The SCM takes the call and keeps Automatic: not said done.
    MemSetServiceChangeIgnored(true);
    EXPECT_EQ(ResultRefused, Switch("Agent", 0));
    MemSetServiceChangeIgnored(false);
    ScanCatalogue();
    // Changed in Services since the list.
    MemAddService(Svc("Agent", kVendor, PLAT_SERVICE_DISABLED));
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Agent"), 0, &Console));
    EXPECT_EQ(CAUSE_SERVICE_CHANGED, Outcomes.back().cause);
    EXPECT_EQ(PLAT_SERVICE_DISABLED, MemServiceStart("Agent"));

    MemSetSignature(kDll, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    AddHosted("Netsvc");
    ScanCatalogue();
    EXPECT_EQ(CAUSE_WINDOWS_OWN, SwitchRefusalCause(Row("Netsvc")));
    EXPECT_EQ(ResultRefused, Switch("Netsvc", 0));
    EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart("Netsvc"));
}

// The history's undo of a switch off gives the start type back, through
// the SCM; the console's disable and enable act the same.
TEST_F(Services, TheHistoryUndoesASwitchOff)
{
    MemSetElevated(true);
    MemAddService(Svc("Agent", kVendor));
    ASSERT_EQ(ResultDone, Switch("Agent", 0));
    ScanCatalogue();
    JournalList list;
    ASSERT_EQ(PLAT_OK, ReadJournal(nullptr, &list));
    ASSERT_EQ(1, list.count);
    EXPECT_EQ(JournalDisable, list.records[0].op);
    // The backup is not needed to give a service its start type back.
    MemAddFile(list.records[0].backup, "junk");
    EXPECT_EQ(ResultDone, UndoRecord(&list, &list.records[0], &Console)) << Words.back();
    FreeJournal(&list);
    EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart("Agent"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, SERVICES_OFF_KEY, "Agent"));

    std::vector<const char *> off = {"orvanec", "disable", "HKLM\\System\\CurrentControlSet\\Services\\Agent"};
    EXPECT_EQ(0, CliRun((int)off.size(), (char **)off.data()));
    EXPECT_EQ(PLAT_SERVICE_DEMAND_START, MemServiceStart("Agent"));
    // CleanUp leaves a service switched off here as it is.
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), nullptr);
    EXPECT_EQ(PLAT_SERVICE_DEMAND_START, MemServiceStart("Agent"));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, SERVICES_OFF_KEY, "Agent"));
    std::vector<const char *> on = {"orvanec", "enable", off[2]};
    EXPECT_EQ(0, CliRun((int)on.size(), (char **)on.data()));
    EXPECT_EQ(PLAT_SERVICE_AUTO_START, MemServiceStart("Agent"));
    MemSetElevated(false);
    EXPECT_EQ(CliExitRights, CliRun((int)off.size(), (char **)off.data()));
}
