// remembered_test.cpp - the list of entries seen: what it marks new,
// changed and gone, and that no failure of its file loses the list.
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"
#include "../../report/html_log.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const char *kRun = RUN_KEY;
const std::string kFolder = std::string(MEM_LOCAL_APPDATA_FOLDER) + "\\" REMEMBERED_FOLDER;
const std::string kFile = kFolder + "\\" REMEMBERED_FILE;

void Seed(const char *name, const char *command)
{
    MemSetString(PLAT_HKCU, kRun, name, command);
}

// Scans, reads the user's list and compares; the marks of the records.
struct Compared {
    RememberedList list;
    RememberedMarks marks;
    int read;
};

void Compare(Compared *c)
{
    ScanCatalogue();
    long cause = 0;
    c->read = ReadRemembered(NULL, 1, &c->list, NULL, &cause);
    CompareRemembered(&ItemCatalogue, &c->list, &c->marks);
}

void Free(Compared *c)
{
    FreeMarks(&c->marks);
    FreeRemembered(&c->list);
    EXPECT_GE(1, MemLiveBlocks()) << "the catalogue aside, nothing is left allocated";
}

int MarkOf(const Compared &c, const char *name)
{
    int index = IndexOf(name);
    return index < 0 ? -1 : c.marks.marks[index];
}

// The first run accepts what it finds and saves it.
void AcceptNow()
{
    Compared c;
    Compare(&c);
    ASSERT_TRUE(AcceptAll(&c.list, &ItemCatalogue));
    ASSERT_EQ(PLAT_OK, WriteRemembered(NULL, &c.list));
    Free(&c);
}

class Remembered : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        ForgetSignatures();
        MemSetSignature("C:\\Tools\\signed.exe", PLAT_TRUST_VERIFIED, "Contoso Ltd");
        Seed("Same", "C:\\Tools\\same.exe");
        Seed("Dropped", "C:\\Tools\\dropped.exe");
        Seed("Edited", "C:\\Tools\\edited.exe /a");
        Seed("Renamed", "C:\\Tools\\renamed.exe");
        Seed("Signed", "C:\\Tools\\signed.exe");
    }
};

TEST_F(Remembered, MarksWhatWasAddedChangedRenamedResignedAndGone)
{
    Compared c;
    Compare(&c);
    EXPECT_EQ(RememberedNone, c.read);
    Free(&c);
    AcceptNow();

    // Nothing changed, and a switch made here is no change either.
    Toggle({"Same"});
    Compare(&c);
    EXPECT_EQ(RememberedDone, c.read);
    EXPECT_EQ(0, c.marks.newCount + c.marks.changedCount + c.marks.goneCount);
    Free(&c);
    Toggle({"Same"});

    MemDeleteKey(PLAT_HKCU, kRun); // rewritten: one value fewer, one renamed
    Seed("Same", "C:\\Tools\\same.exe");
    Seed("Added", "C:\\Tools\\added.exe");
    Seed("Edited", "C:\\Tools\\edited.exe /b");
    Seed("Renamed Too", "C:\\Tools\\renamed.exe");
    Seed("Signed", "C:\\Tools\\signed.exe");
    MemSetSignature("C:\\Tools\\signed.exe", PLAT_TRUST_VERIFIED, "Fabrikam Inc");
    ForgetSignatures();
    Compare(&c);
    EXPECT_EQ(MarkSame, MarkOf(c, "Same"));
    EXPECT_EQ(MarkNew, MarkOf(c, "Added"));
    EXPECT_EQ(MarkNew, MarkOf(c, "Renamed Too"));
    EXPECT_EQ(MarkChanged, MarkOf(c, "Edited"));
    EXPECT_EQ(MarkChanged, MarkOf(c, "Signed"));
    EXPECT_EQ(2, c.marks.newCount);
    EXPECT_EQ(2, c.marks.changedCount);
    ASSERT_EQ(2, c.marks.goneCount);
    std::string gone;
    for (int32_t j = 0; j < c.list.count; ++j)
        if (c.marks.gone[j])
            gone += std::string(c.list.entries[j].name) + ";";
    EXPECT_EQ("Dropped;Renamed;", gone);
    // The report marks the same rows and names what is gone.
    ASSERT_TRUE(WriteHtmlLog("C:\\report.html"));
    const std::string report = MemFileBytes("C:\\report.html");
    EXPECT_NE(std::string::npos, report.find("<td>Change:</td><td><b>changed since "));
    EXPECT_NE(std::string::npos, report.find("</td><td>C:\\Tools\\dropped.exe</td></tr>"));
    char words[2 * COMMAND_FIELD_SIZE];
    ChangeText(&ItemCatalogue.items[IndexOf("Edited")], &c.list.entries[c.marks.was[IndexOf("Edited")]],
               words, sizeof words);
    EXPECT_STREQ("command was \"C:\\Tools\\edited.exe /a\"", words);
    ChangeText(&ItemCatalogue.items[IndexOf("Signed")], &c.list.entries[c.marks.was[IndexOf("Signed")]],
               words, sizeof words);
    EXPECT_STREQ("signer was \"Contoso Ltd (verified)\"", words);

    // Accepting one entry clears its mark only; accepting a gone one forgets it.
    char edited[ITEM_ID_SIZE];
    ASSERT_TRUE(ItemHomeId(&ItemCatalogue.items[IndexOf("Edited")], edited, sizeof edited));
    std::string dropped = std::string("HKCU\\") + kRun + "\\\\Dropped";
    const char *ids[] = {edited, dropped.c_str(), "HKCU\\Nowhere\\\\Nothing"};
    EXPECT_EQ(2, AcceptIds(&c.list, &ItemCatalogue, ids, 3));
    ASSERT_EQ(PLAT_OK, WriteRemembered(NULL, &c.list));
    Free(&c);
    Compare(&c);
    EXPECT_EQ(MarkSame, MarkOf(c, "Edited"));
    EXPECT_EQ(MarkChanged, MarkOf(c, "Signed"));
    EXPECT_EQ(1, c.marks.goneCount);
    Free(&c);
}

TEST_F(Remembered, AnEntryTheScanMayHaveMissedIsNotGone)
{
    AcceptNow();
    MemDeleteKey(PLAT_HKCU, kRun);
    ScanCatalogue();
    ItemCatalogue.changed = 1; // storage kept changing while it was read
    Compared c;
    long cause = 0;
    ReadRemembered(NULL, 1, &c.list, NULL, &cause);
    CompareRemembered(&ItemCatalogue, &c.list, &c.marks);
    EXPECT_EQ(0, c.marks.goneCount);
    EXPECT_EQ(5, c.marks.goneUnsure);
    // Nor is it dropped by Accept all.
    ASSERT_TRUE(AcceptAll(&c.list, &ItemCatalogue));
    EXPECT_EQ(5, c.list.count);
    Free(&c);
}

// A name in a key and in its "-" sibling is two entries, each remembered;
// names cut alike never share one; an entry turned on elsewhere is changed.
TEST_F(Remembered, NoTwoRecordsShareAnEntryAndOneTurnedOnIsChanged)
{
    MemSetString(PLAT_HKCU, CURRENT_VERSION_KEY "\\RunOnce", "Twice", "C:\\live.exe");
    MemSetString(PLAT_HKCU, CURRENT_VERSION_KEY "\\RunOnce-", "Twice", "C:\\aside.exe");
    // Two names alike in all a record holds share an id: the second is never
    // taken for the first, and stays new.
    std::string longName(TEXT_FIELD_SIZE + 20, 'n');
    MemSetString(PLAT_HKCU, kRun, (longName + "1").c_str(), "C:\\one.exe");
    MemSetString(PLAT_HKCU, kRun, (longName + "2").c_str(), "C:\\one.exe");
    AcceptNow();
    Compared c;
    Compare(&c);
    EXPECT_EQ(8, c.list.count);
    EXPECT_EQ(1, c.marks.newCount);
    EXPECT_EQ(0, c.marks.changedCount + c.marks.goneCount);
    Free(&c);

    // Switched off when accepted, and started again by another hand.
    Toggle({"Same"});
    AcceptNow();
    MemDeleteKey(PLAT_HKCU, RUN_KEY "-");
    MemDeleteKey(PLAT_HKCU, APPROVED_KEY "\\Run"); // Windows' switch cleared too
    Seed("Same", "C:\\Tools\\same.exe");
    Compare(&c);
    ASSERT_NE(-1, MarkOf(c, "Same"));
    EXPECT_EQ(MarkChanged, MarkOf(c, "Same"));
    char words[COMMAND_FIELD_SIZE];
    ChangeText(&ItemCatalogue.items[IndexOf("Same")], &c.list.entries[c.marks.was[IndexOf("Same")]],
               words, sizeof words);
    EXPECT_STREQ("state was \"off here\"", words);
    Free(&c);
}

TEST_F(Remembered, NoFailingFileCallLosesOrHalvesTheList)
{
    AcceptNow();
    const std::string before = MemFileBytes(kFile.c_str());
    ASSERT_NE(std::string::npos, before.find("entry\tHKCU\\"));
    Seed("Added", "C:\\Tools\\added.exe");
    const MemOp ops[] = {MEM_SHELL_FOLDER, MEM_FILE_CREATE, MEM_FILE_WRITE, MEM_FILE_CLOSE,
                         MEM_REPLACE_FILE, MEM_ALLOC};
    for (MemOp op : ops) {
        SCOPED_TRACE(MemOpName(op));
        Compared c;
        Compare(&c);
        ASSERT_TRUE(AcceptAll(&c.list, &ItemCatalogue));
        MemFailCall(op, 0);
        EXPECT_NE(PLAT_OK, WriteRemembered(NULL, &c.list));
        MemClearFaults();
        EXPECT_EQ(before, MemFileBytes(kFile.c_str()));
        EXPECT_EQ(1u, MemListFolder(kFolder.c_str()).size()); // no new file left behind
        Free(&c);
    }
    // A read that fails keeps the file as it is and trusts nothing: it is
    // neither a first run nor a list to set aside.
    RememberedList list;
    long cause = 0;
    MemResetCounts();
    ASSERT_EQ(RememberedDone, ReadRemembered(NULL, 1, &list, NULL, &cause));
    FreeRemembered(&list);
    const MemOp reads[] = {MEM_FILE_EXISTS, MEM_FILE_STAMP, MEM_FILE_LOAD, MEM_ALLOC};
    int calls[4];
    for (int k = 0; k < 4; ++k)
        calls[k] = MemCallCount(reads[k]);
    EXPECT_LE(3, calls[3]) << "the list's entries are held in a block of their own";
    for (int k = 0; k < 4; ++k) {
        MemOp op = reads[k];
        for (int call = 1; call <= calls[k]; ++call) {
            SCOPED_TRACE(std::string(MemOpName(op)) + " " + std::to_string(call));
            MemResetCounts();
            MemFailCall(op, call);
            EXPECT_EQ(RememberedFailed, ReadRemembered(NULL, 1, &list, NULL, &cause));
            MemClearFaults();
            FreeRemembered(&list);
            EXPECT_EQ(before, MemFileBytes(kFile.c_str()));
            EXPECT_EQ(1u, MemListFolder(kFolder.c_str()).size());
        }
    }
}

TEST_F(Remembered, AFileCutShortOrForeignIsSetAsideNeverTrusted)
{
    AcceptNow();
    const std::string whole = MemFileBytes(kFile.c_str());
    const size_t cuts[] = {0, 10, whole.size() / 2, whole.size() - 7, whole.size() - 2};
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        MemReset();
        MemAddFile(kFile.c_str(), whole.substr(0, cut));
        RememberedList list;
        char aside[TEXT_FIELD_SIZE];
        long cause = 0;
        EXPECT_EQ(RememberedSetAside, ReadRemembered(NULL, 1, &list, aside, &cause));
        EXPECT_EQ(0, list.count);
        EXPECT_FALSE(MemFileExists(kFile.c_str()));
        EXPECT_EQ(whole.substr(0, cut), MemFileBytes(aside)); // nothing lost
        FreeRemembered(&list);
    }
    // One that cannot be moved aside stays, and is not taken as none.
    MemReset();
    MemAddFile(kFile.c_str(), whole + "entry\tx\n");
    MemFailCall(MEM_MOVE_FILE, 0);
    RememberedList list;
    long cause = 0;
    EXPECT_EQ(RememberedFailed, ReadRemembered(NULL, 1, &list, NULL, &cause));
    EXPECT_TRUE(MemFileExists(kFile.c_str()));
    // A baseline that is no list is refused, left where it is.
    MemClearFaults();
    EXPECT_EQ(RememberedFailed, ReadRemembered(kFile.c_str(), 0, &list, NULL, &cause));
    EXPECT_EQ(CAUSE_REMEMBERED_FOREIGN, cause);
    EXPECT_TRUE(MemFileExists(kFile.c_str()));
}

TEST_F(Remembered, NamesWithTabsLineBreaksAndFullFieldsComeBackExactly)
{
    Seed("Tab\there\nand\\n", "C:\\Tools\\x.exe\t\"\\\\server\\s\"");
    std::string longest(COMMAND_FIELD_SIZE - 1, 'c');
    Seed("Longest", longest.c_str());
    AcceptNow();
    Compared c;
    Compare(&c);
    EXPECT_EQ(RememberedDone, c.read);
    EXPECT_EQ(0, c.marks.newCount + c.marks.changedCount + c.marks.goneCount);
    Free(&c);
    // A field longer than any record holds is no list of ours.
    std::string bytes = MemFileBytes(kFile.c_str());
    size_t at = bytes.find(longest);
    ASSERT_NE(std::string::npos, at);
    bytes.insert(at, "c");
    MemAddFile(kFile.c_str(), bytes);
    Compare(&c);
    EXPECT_EQ(RememberedSetAside, c.read);
    Free(&c);
}

} // namespace
