// Removing a scanned medium: its lines leave mv32list.chk, its file records leave the file list,
// the catalog stays; a file list in use changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "document/DocumentFixture.h"
#include "document/FileListTable.h"
#include "edit/MediumRemoval.h"
#include "engine/Query.h"
#include "scan/FileList.h"

namespace mv32::edit {

namespace {

using Lines = std::vector<std::string>;

const std::string kList =
    "DISK112AB34CD\r\n12AB34CD\r\nkurz\r\nDISK112AB34CD\r\n?00000001\r\nANDERS0000000A\r\n";

class MediumRemovalTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        writeFile(programDir() + "mv32list.chk", kList);
        scan::FileList list(programDir());
        list.openOrCreate();
        const struct {
            const char* name;
            const char* label;
            const char* serial;
        } files[] = {{"a.txt", "DISK1", "12AB34CD"}, {"b.txt", "DISK1", "12AB34CD"},
                     {"c.txt", "", "12AB34CD"},      {"d.txt", "DISK2", "12AB34CD"},
                     {"e.txt", "Ж", "00000001"},     {"f.txt", "ANDERS", "0000000A"}};
        for (const auto& f : files) list.addIfNew("/m/", f.name, 1, f.label, f.serial);
        list.commit();
        list.table().close();
        makeCatalog(data("kat.db"), {"Bleibt"});
        openCatalog(data("kat.db"));
        ui.clear();
    }
    void TearDown() override {
        unsetenv("MV32_VOLUMES");
        DocumentFixture::TearDown();
    }
    MediumRemoval& removal() { return program->mediumRemoval(); }
    // The file list's search index: built, or whether it is current.
    void buildSearchIndex() {
        engine::Table t;
        t.setTableName(programDir() + document::filelist::kTableName);
        t.setExclusive(true);
        t.open();
        ASSERT_EQ(document::filelist::buildSearchIndex(t), "");
    }
    bool searchIndexCurrent() {
        engine::Table t;
        t.setTableName(programDir() + document::filelist::kTableName);
        t.open();
        return t.trigramIndexField() == document::filelist::kSearchField;
    }
    Lines found(const std::string& pattern) {
        engine::Query q;
        q.setDirectory(programDir());
        q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"" + pattern + "\")");
        q.open();
        Lines out;
        for (q.first(); !q.eof(); q.next()) out.push_back(q.asString("Dateiname"));
        return out;
    }
    Lines filesLeft() {
        engine::Table t;
        t.setTableName(programDir() + document::filelist::kTableName);
        t.open();
        Lines out;
        for (t.first(); !t.eof(); t.next()) out.push_back(t.displayText("Dateiname"));
        return out;
    }
};

}  // namespace

TEST_F(MediumRemovalTest, AListedMediumLeavesTheListAndTheFileList) {
    ASSERT_TRUE(removal().load());
    EXPECT_EQ(removal().entries(),
              (Lines{"DISK1 - 12AB34CD", " - 12AB34CD", "kurz", "DISK1 - 12AB34CD", "? - 00000001",
                     "ANDERS - 0000000A"}));
    removal().removeListed(-1);  // nothing chosen
    EXPECT_EQ(filesLeft().size(), 6u);

    // The file search's index takes the removal in beside its lists, which stay as built.
    buildSearchIndex();
    const std::string lists = readFile(programDir() + "mv32list.tri");
    std::vector<bool> running;
    removal().running = [&](bool r) { running.push_back(r); };
    removal().removeListed(3);
    EXPECT_EQ(running, (std::vector<bool>{true, false}));
    EXPECT_TRUE(searchIndexCurrent());
    EXPECT_EQ(readFile(programDir() + "mv32list.tri"), lists);
    EXPECT_EQ(found("%.TXT%"), (Lines{"c.txt", "d.txt", "e.txt", "f.txt"}));
    EXPECT_EQ(removal().entries(),
              (Lines{" - 12AB34CD", "kurz", "? - 00000001", "ANDERS - 0000000A"}));
    EXPECT_EQ(readFile(programDir() + "mv32list.chk"),
              "12AB34CD\r\nkurz\r\n?00000001\r\nANDERS0000000A\r\n");
    EXPECT_EQ(filesLeft(), (Lines{"c.txt", "d.txt", "e.txt", "f.txt"}));

    // A label windows-1252 cannot hold is matched as the list file holds it; a short line
    // goes alone.
    removal().removeListed(2);
    removal().removeListed(1);
    EXPECT_EQ(filesLeft(), (Lines{"c.txt", "d.txt", "f.txt"}));
    EXPECT_TRUE(searchIndexCurrent());
    EXPECT_EQ(found("%.TXT%"), filesLeft());
    EXPECT_EQ(removal().entries(), (Lines{" - 12AB34CD", "ANDERS - 0000000A"}));
    EXPECT_EQ(doc->MV32().recordCount(), 1) << "catalog records stay";
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(ui.dialogue().empty());
}

TEST_F(MediumRemovalTest, TheMediumInADriveIsRemovedByItsLabelAndSerial) {
    writeFile(data("volumes"), "E\t" + work.path() + "\t\t12AB34CD\t100\t50\n");
    setenv("MV32_VOLUMES", data("volumes").c_str(), 1);
    ASSERT_TRUE(removal().load());
    removal().removeInDrive('q');  // no such drive: nothing
    removal().removeInDrive('e');
    EXPECT_EQ(filesLeft(), (Lines{"a.txt", "b.txt", "d.txt", "e.txt", "f.txt"}));
    EXPECT_EQ(removal().entries().size(), 5u);
}

TEST_F(MediumRemovalTest, AFileListInUseChangesNothingAndSaysSo) {
    engine::Table held;
    held.setTableName(programDir() + document::filelist::kTableName);
    held.open();
    ASSERT_TRUE(removal().load());
    removal().removeListed(0);
    EXPECT_EQ(ui.dialogue(),
              (Lines{"message Information \"" + std::string(kFileListBusy) + "\" OK"}));
    EXPECT_EQ(removal().entries().size(), 6u);
    EXPECT_EQ(readFile(programDir() + "mv32list.chk"), kList);
    held.close();
    EXPECT_EQ(filesLeft().size(), 6u);

    // No list at all: the window does not open.
    std::remove((programDir() + "mv32list.chk").c_str());
    ui.clear();
    EXPECT_FALSE(removal().load());
    EXPECT_EQ(ui.dialogue(), (Lines{"message Hinweis \"Keine Datenträger registriert!\" OK"}));
}

}  // namespace mv32::edit
