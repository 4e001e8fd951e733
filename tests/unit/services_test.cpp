// services_test.cpp - the automatic services as rows: which services are
// listed, their program as the SCM starts it (svchost's service DLL), what
// the details say, Windows' own hidden, a failed listing said, and rows
// that nothing changes.
#include "../../cli/cli.h"
#include "../../store/store.h"
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
    ScanCatalogue();

    ASSERT_EQ(6, ItemCatalogue.count);
    const RowCase rows[] = {{"Quoted", kVendor, "--service"},
                            {"Unquoted", kVendor, "--service"},
                            {"Trap", "C:\\Apps.exe", "Trap\\t.exe -x"},
                            {"Delayed", kVendor, ""},
                            {"Netsvc", kDll, "-k netsvcs -p"},
                            {"Lost", kHost, "-k lost"}};
    for (const RowCase &c : rows) {
        const AutostartItem *item = Row(c.name);
        ASSERT_TRUE(item) << c.name;
        EXPECT_STREQ(c.target, item->target) << c.name;
        EXPECT_STREQ(c.parameters, item->parameters) << c.name;
        EXPECT_STREQ(SERVICE_TYPE, ItemTypeText(item));
        EXPECT_STREQ(STATE_READ_ONLY, ItemStateText(item));
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
    EXPECT_EQ(NOTE_SERVICE_DELAY_UNKNOWN "; display name \"Vendor Agent\"; runs as NT "
              "AUTHORITY\\LocalService; runs now (process 4242); description \"Keeps it up to date\"",
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
    MemSetSignature(kVendor, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemAddService(Svc("Outside", kVendor));
    ScanCatalogue();
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Netsvc"), 1));
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Spooler"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Spooler"), 0));
    EXPECT_NE(std::string::npos, Notes("Spooler").find(NOTE_SERVICE_WINDOWS_OWN));
    for (const char *shown : {"Shell", "Given", "Outside"}) {
        EXPECT_EQ(0, ItemHiddenAsWindows(Row(shown), 1)) << shown;
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
}

// Nothing changes a service here: a switch and a Remove are refused before
// any storage is touched, and say why.
TEST_F(Services, RowsAreNeverChanged)
{
    MemAddService(Svc("Agent", kVendor));
    MemSetString(PLAT_HKLM, SERVICES_KEY "\\Agent", "Agent", "keep");
    Toggle({"Agent"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find(CauseText(CAUSE_SERVICE))) << Statuses[0];
    ScanCatalogue();
    EXPECT_EQ(CAUSE_SERVICE, RemoveRefusalCause(Row("Agent")));
    EXPECT_NE(ResultDone, RemoveEntry(Row("Agent"), &StatusFront));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, SERVICES_KEY "\\Agent", "Agent"));
    EXPECT_EQ(0, MemCallCount(MEM_REG_SET_VALUE) + MemCallCount(MEM_REG_DELETE_VALUE)
                     + MemCallCount(MEM_REG_CREATE));
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
              out.find("HKLM\\System\\CurrentControlSet\\Services\\Agent,Agent,SVC,read-only"))
        << out;
    EXPECT_EQ(std::string::npos, out.find("Tool")) << out;
}
