// Behaviour of engine tables through the public Table interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "engine/store/Pager.h"
#include "support/CacheLimit.h"
#include "support/MemFileSystem.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

std::vector<FieldDef> catalogFields() {
    return {{"Name", FieldType::Text, 255},   {"DatentraegerNr", FieldType::Int16, 0},
            {"Label", FieldType::Text, 11},   {"Kategorie", FieldType::Text, 255},
            {"Groesse", FieldType::Int64, 0}, {"Memo", FieldType::Memo, 0},
            {"Grafik", FieldType::Blob, 0}};
}

class TableTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();

    std::unique_ptr<Table> make(const std::string& name = "cat.db", bool exclusive = false) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName(name);
        t->setExclusive(exclusive);
        return t;
    }

    std::unique_ptr<Table> createCatalog(bool keyed = true) {
        auto t = make("cat.db");
        t->setFieldDefs(catalogFields());
        t->createTable();
        if (keyed) t->addIndex("", "Name");
        t->open();
        return t;
    }

    static void add(Table& t, const std::string& name, int nr, const std::string& kat = "") {
        t.append();
        t.setAsString("Name", name);
        t.setAsInteger("DatentraegerNr", nr);
        if (!kat.empty()) t.setAsString("Kategorie", kat);
        t.post();
    }

    static std::vector<std::string> names(Table& t) {
        std::vector<std::string> out;
        for (t.first(); !t.eof(); t.next()) out.push_back(t.asString("Name"));
        return out;
    }
};

}  // namespace

TEST_F(TableTest, FilesExistExactlyWithTheirStructures) {
    auto t = make();
    t->setFieldDefs(catalogFields());
    t->createTable();
    EXPECT_TRUE(fs->exists("/data/cat.db"));
    EXPECT_TRUE(fs->exists("/data/cat.mb"));
    EXPECT_FALSE(fs->exists("/data/cat.px"));
    t->addIndex("", "Name");
    EXPECT_TRUE(fs->exists("/data/cat.px"));
    t->addIndex("KategorieIndex", "Kategorie;Name");
    t->addIndex("LabelIndex", "Label;Name");
    EXPECT_TRUE(fs->exists("/data/cat.xg0"));
    EXPECT_TRUE(fs->exists("/data/cat.xg1"));
    t->deleteIndex("KategorieIndex");
    EXPECT_FALSE(fs->exists("/data/cat.xg0"));
    t->addIndex("StatusIndex", "DatentraegerNr;Name");  // the lowest free number first
    EXPECT_TRUE(fs->exists("/data/cat.xg0"));
    EXPECT_FALSE(fs->exists("/data/cat.wal"));  // a closed table is just its files

    // A table without memo or blob fields has no memo file.
    auto plain = make("plain.db");
    plain->setFieldDefs({{"A", FieldType::Text, 10}});
    plain->createTable();
    EXPECT_TRUE(fs->exists("/data/plain.db"));
    EXPECT_FALSE(fs->exists("/data/plain.mb"));

    t->deleteTable();
    for (auto ext : {".db", ".px", ".mb", ".xg0", ".xg1", ".wal"}) {
        EXPECT_FALSE(fs->exists(std::string("/data/cat") + ext)) << ext;
    }
    EXPECT_TRUE(fs->exists("/data/plain.db"));
}

TEST_F(TableTest, BlankIsDistinctFromZeroAndEmptyAndValuesAreFitted) {
    auto t = createCatalog();
    t->append();
    t->setAsString("Name", "A");
    t->setAsString("Label", "");
    t->setAsInteger("DatentraegerNr", 0);
    t->post();
    t->append();
    t->setAsString("Name", "B");
    t->setAsString("Label", "EINSEHRLANGESLABEL");
    t->setAsString("DatentraegerNr", " 42 ");
    t->setAsString("Groesse", "5000000000");
    t->post();
    t->append();
    t->setAsString("Name", "C");
    t->post();

    t->first();
    EXPECT_FALSE(t->isBlank("Label"));
    EXPECT_EQ(t->asString("Label"), "");
    EXPECT_FALSE(t->isBlank("DatentraegerNr"));
    EXPECT_EQ(t->displayText("DatentraegerNr"), "0");
    t->next();
    EXPECT_EQ(t->asString("Label"), "EINSEHRLANG");  // cut to 11 characters
    EXPECT_EQ(t->asInteger("DatentraegerNr"), 42);
    EXPECT_EQ(t->asInteger("Groesse"), 5000000000LL);
    t->next();
    EXPECT_TRUE(t->isBlank("Label"));
    EXPECT_TRUE(t->isBlank("DatentraegerNr"));
    EXPECT_EQ(t->displayText("DatentraegerNr"), "");
    EXPECT_EQ(t->displayText("Grafik"), "");

    t->edit();
    for (auto bad : {"40000", "x12", "1.5"}) {
        EXPECT_THROW(t->setAsString("DatentraegerNr", bad), EngineError) << bad;
    }
    t->cancel();
    EXPECT_THROW(t->setAsString("Name", "X"), EngineError);  // not in edit mode
}

TEST_F(TableTest, PrimaryKeyOrdersRecordsAndRefusesDuplicates) {
    auto t = createCatalog();
    for (auto n : {"Mond", "Apfel", "Zebra", "apfel", "Birne"}) add(*t, n, 1);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"Apfel", "Birne", "Mond", "Zebra", "apfel"}));

    t->append();
    t->setAsString("Name", "Mond");
    try {
        t->post();
        FAIL() << "duplicate key accepted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::KeyViolation);
        EXPECT_NE(std::string(e.what()).find("Schlüsselverletzung"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("cat.db"), std::string::npos);
    }
    EXPECT_EQ(t->state(), DataSetState::Insert);
    t->cancel();
    EXPECT_EQ(t->recordCount(), 5);

    // Renaming onto an existing key fails too and leaves the record as it was.
    ASSERT_TRUE(t->locate("Name", {"Zebra"}));
    t->edit();
    t->setAsString("Name", "Apfel");
    EXPECT_THROW(t->post(), EngineError);
    t->cancel();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"Apfel", "Birne", "Mond", "Zebra", "apfel"}));
}

TEST_F(TableTest, AddingThePrimaryIndexOrdersAKeylessTableOrFailsOnDuplicates) {
    auto t = createCatalog(false);
    for (auto n : {"c", "a", "b"}) add(*t, n, 1);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"c", "a", "b"}));  // as entered
    add(*t, "a", 2);
    t->close();
    t->setExclusive(true);
    t->open();
    EXPECT_THROW(t->addIndex("", "Name"), EngineError);
    EXPECT_FALSE(fs->exists("/data/cat.px"));
    EXPECT_EQ(names(*t), (std::vector<std::string>{"c", "a", "b", "a"}));
    ASSERT_TRUE(t->locate("Name;DatentraegerNr", {"a", 2}));
    t->remove();
    t->addIndex("", "Name");
    EXPECT_TRUE(fs->exists("/data/cat.px"));
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b", "c"}));
    t->checkIntegrity();
}

TEST_F(TableTest, InsertOnAKeylessTableGoesBeforeTheCurrentRecord) {
    auto t = createCatalog(false);
    for (auto n : {"1", "2", "3"}) add(*t, n, 1);
    t->first();
    t->next();
    t->insert();
    t->setAsString("Name", "1.5");
    t->post();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"1", "1.5", "2", "3"}));
}

TEST_F(TableTest, SecondaryIndexesFollowEveryChange) {
    auto t = createCatalog();
    t->close();
    t->setExclusive(true);
    t->open();
    add(*t, "x", 3, "Spiele");
    add(*t, "y", 1, "spiele");
    add(*t, "z", 2, "Büro");
    t->addIndex("KatCI", "Kategorie;Name", IndexCaseInsensitive);
    t->addIndex("NrDesc", "DatentraegerNr", IndexDescending);
    t->addIndex("KatU", "Kategorie", IndexUnique);
    t->setIndexName("NrDesc");
    EXPECT_EQ(names(*t), (std::vector<std::string>{"x", "z", "y"}));
    t->setIndexName("KatCI");
    EXPECT_EQ(names(*t), (std::vector<std::string>{"z", "x", "y"}));  // büro < spiele == Spiele

    ASSERT_TRUE(t->locate("Name", {"z"}));
    t->edit();
    t->setAsString("Kategorie", "Zubehör");
    t->setAsInteger("DatentraegerNr", 9);
    t->post();
    EXPECT_EQ(t->asString("Name"), "z");  // the cursor follows the record
    EXPECT_EQ(names(*t), (std::vector<std::string>{"x", "y", "z"}));
    t->setIndexName("NrDesc");
    EXPECT_EQ(names(*t), (std::vector<std::string>{"z", "x", "y"}));

    // The unique index refuses a second "Spiele" but not "spiele" (it respects case).
    t->append();
    t->setAsString("Name", "w");
    t->setAsString("Kategorie", "Spiele");
    EXPECT_THROW(t->post(), EngineError);
    t->cancel();

    ASSERT_TRUE(t->locate("Name", {"x"}));
    t->remove();
    t->setIndexName("KatCI");
    EXPECT_EQ(names(*t), (std::vector<std::string>{"y", "z"}));
    t->checkIntegrity();

    EXPECT_THROW(t->setIndexName("Gibtsnicht"), EngineError);
    EXPECT_THROW(t->deleteIndex("Gibtsnicht"), EngineError);
    EXPECT_THROW(t->addIndex("KatCI", "Name"), EngineError);
    t->setIndexName("");
    t->regenerateIndexes();
    t->checkIntegrity();
}

TEST_F(TableTest, CursorPositionsCountsAndBookmarks) {
    auto t = createCatalog();
    EXPECT_TRUE(t->bof());
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recNo(), 0);
    for (int i = 0; i < 500; ++i) {
        char n[16];
        snprintf(n, sizeof n, "P%04d", i);
        add(*t, n, i % 7);
    }
    EXPECT_EQ(t->recordCount(), 500);
    t->first();
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recNo(), 1);
    t->prior();
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->asString("Name"), "P0000");
    t->last();
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recNo(), 500);
    t->next();
    EXPECT_EQ(t->asString("Name"), "P0499");
    t->moveTo(250);
    EXPECT_EQ(t->asString("Name"), "P0249");
    Bookmark b = t->bookmark();
    t->moveTo(10);
    t->prior();
    EXPECT_EQ(t->recNo(), 9);
    t->gotoBookmark(b);
    EXPECT_EQ(t->recNo(), 250);
    t->remove();
    EXPECT_EQ(t->asString("Name"), "P0250");  // the next record after a delete
    EXPECT_THROW(t->gotoBookmark(b), EngineError);
    t->freeBookmark(b);
    EXPECT_FALSE(b.valid());

    int count = 0;
    for (t->last(); !t->bof(); t->prior()) ++count;
    EXPECT_EQ(count, 499);
}

TEST_F(TableTest, PendingChangesArePostedWhenTheCursorMovesOrTheTableCloses) {
    auto t = createCatalog();
    add(*t, "a", 1);
    t->append();
    t->setAsString("Name", "b");
    t->first();  // posts "b"
    EXPECT_EQ(t->recordCount(), 2);
    t->edit();
    t->setAsString("Kategorie", "K");
    EXPECT_TRUE(t->locate("Name", {"b"}));  // a locate posts the edit of "a"
    t->append();
    t->setAsString("Name", "c");
    t->append();  // another append posts "c"
    t->setAsString("Name", "d");
    t->close();  // and closing posts "d"
    t->open();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b", "c", "d"}));
    ASSERT_TRUE(t->locate("Name", {"a"}));
    EXPECT_EQ(t->asString("Kategorie"), "K");
}

TEST_F(TableTest, NotificationsComeInOrderAndBeforeDeleteCanStopIt) {
    auto t = createCatalog();
    std::vector<std::string> log;
    t->afterInsert = [&](Table&) { log.push_back("insert"); };
    t->afterEdit = [&](Table&) { log.push_back("edit"); };
    t->afterPost = [&](Table& tt) { log.push_back("post " + tt.asString("Name")); };
    t->beforeDelete = [&](Table& tt) {
        log.push_back("before " + tt.asString("Name"));
        if (tt.asString("Name") == "keep") throw EngineError(ErrorKind::Usage, "nein");
    };
    t->afterDelete = [&](Table&) { log.push_back("deleted"); };
    add(*t, "keep", 1);
    add(*t, "go", 2);
    t->edit();
    t->setAsInteger("DatentraegerNr", 3);
    t->post();
    t->remove();
    ASSERT_TRUE(t->locate("Name", {"keep"}));
    EXPECT_THROW(t->remove(), EngineError);
    EXPECT_EQ(t->recordCount(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"insert", "post keep", "insert", "post go", "edit",
                                             "post go", "before go", "deleted", "before keep"}));
}

TEST_F(TableTest, LocateAndFindNearestWithAndWithoutIndexes) {
    auto t = createCatalog();
    add(*t, "Doom", 1, "Spiele");
    add(*t, "Delphi", 2, "Entwicklung");
    add(*t, "dBase", 3, "Datenbank");
    add(*t, "Word", 2, "Büro");
    struct Case {
        std::string fields;
        std::vector<Value> values;
        unsigned options;
        std::string expect;  // "" = not found
    };
    std::vector<Case> cases{
        {"Name", {"Delphi"}, 0, "Delphi"},                      // primary index
        {"Name", {"delphi"}, 0, ""},                            // case matters
        {"Name", {"DELPHI"}, LocateCaseInsensitive, "Delphi"},  // scan
        {"Name", {"D"}, LocatePartialKey, "Delphi"},            // first in key order
        {"Name", {"db"}, LocatePartialKey | LocateCaseInsensitive, "dBase"},
        {"Kategorie", {"Büro"}, 0, "Word"},
        {"DatentraegerNr;Kategorie", {2, "Büro"}, 0, "Word"},
        {"DatentraegerNr", {"2"}, 0, "Delphi"},  // a number given as text
        {"DatentraegerNr", {"zwei"}, 0, ""},
        {"Label", {Value()}, 0, "Delphi"},  // blank matches blank
        {"Label", {""}, 0, ""},
    };
    for (auto& c : cases) {
        t->last();
        bool found = t->locate(c.fields, c.values, c.options);
        EXPECT_EQ(found, !c.expect.empty()) << c.fields;
        if (found)
            EXPECT_EQ(t->asString("Name"), c.expect) << c.fields;
        else
            EXPECT_EQ(t->asString("Name"), "dBase") << c.fields;  // did not move
    }
    EXPECT_THROW(t->locate("Unbekannt", {"x"}), EngineError);

    t->findNearest({"E"});
    EXPECT_EQ(t->asString("Name"), "Word");
    t->findNearest({"zzz"});
    EXPECT_TRUE(t->eof());
}

TEST_F(TableTest, MemoAndBlobFieldsOfAnySize) {
    auto t = createCatalog();
    std::string big(300000, 'x');
    for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
    t->append();
    t->setAsString("Name", "m");
    t->setAsString("Memo", big);
    t->post();
    add(*t, "n", 1);
    ASSERT_TRUE(t->locate("Name", {"m"}));
    EXPECT_EQ(t->asString("Memo"), big);
    t->edit();
    t->setAsString("Memo", "kurz");
    t->post();
    EXPECT_EQ(t->asString("Memo"), "kurz");
    t->edit();
    t->clear("Memo");
    t->post();
    EXPECT_TRUE(t->isBlank("Memo"));

    fs->setContents("/pic.bmp", std::string("BM\0\1\2", 5));
    t->edit();
    t->loadFromFile("Grafik", "/pic.bmp");
    t->post();
    EXPECT_EQ(t->asString("Grafik"), std::string("BM\0\1\2", 5));
    EXPECT_EQ(t->displayText("Grafik"), "(Blob)");
    EXPECT_THROW(
        {
            t->edit();
            t->loadFromFile("Grafik", "/fehlt.bmp");
        },
        EngineError);
    t->cancel();
    t->checkIntegrity();
}

TEST_F(TableTest, APassOverATableLargerThanTheCacheSeesEveryRecordOnceAndLeavesItWhole) {
    test::CacheLimit small(64u << 10);  // a few pages: the table below is many times larger
    auto t = createCatalog();
    t->beginBulk();
    char name[16];
    for (int i = 0; i < 6000; ++i) {
        std::snprintf(name, sizeof name, "N%05d", i);
        add(*t, name, i);
    }
    t->endBulk();
    t->close();
    t->open();

    // Forward to the end, changing records on the way and stepping back now and then: every
    // record once, in order, with the change seen.
    int expected = 0;
    for (t->first(); !t->eof(); t->next()) {
        std::snprintf(name, sizeof name, "N%05d", expected);
        ASSERT_EQ(t->asString("Name"), name);
        ASSERT_EQ(t->recNo(), expected + 1);
        if (expected % 1000 == 500) {
            t->edit();
            t->setAsInteger("DatentraegerNr", -expected);
            t->post();
        }
        if (expected % 1500 == 1499) {
            t->prior();
            t->next();
        }
        ++expected;
    }
    EXPECT_EQ(expected, 6000);
    ASSERT_TRUE(t->locate("Name", {"N02500"}));
    EXPECT_EQ(t->asInteger("DatentraegerNr"), -2500);
    // Backwards too, and the table checks out afterwards.
    int back = 0;
    for (t->last(); !t->bof(); t->prior()) ++back;
    EXPECT_EQ(back, 6000);
    t->checkIntegrity();
}

TEST_F(TableTest, ABulkGroupKeepsItsDecodedPagesWithinTheCacheLimit) {
    test::CacheLimit small(256u << 10);
    auto t = createCatalog();
    // Many records, so that clean pages fill the cache while the group adds changed ones:
    // the clean ones make room as the changed ones come, not only when the group commits.
    const std::string padding(60, 'x');
    size_t worst = 0;
    t->beginBulk();
    for (int i = 0; i < 5000; ++i) {
        add(*t, padding + std::to_string(i * 7919 % 5000), i);
        worst = std::max(worst, store::cacheUsed());
    }
    t->endBulk();
    EXPECT_LE(worst, store::cacheLimit());
    EXPECT_EQ(t->recordCount(), 5000);
    t->checkIntegrity();
}

TEST_F(TableTest, CopiedFilesFormAWorkingTableThatRebuildsItsIndexes) {
    auto t = createCatalog();
    t->close();
    t->setExclusive(true);
    t->open();
    t->addIndex("KategorieIndex", "Kategorie;Name");
    for (int i = 0; i < 300; ++i) add(*t, "N" + std::to_string(i), i, "K" + std::to_string(i % 5));
    ASSERT_TRUE(t->locate("Name", {"N7"}));
    t->edit();
    t->setAsString("Memo", "Beschreibung");
    t->post();
    t->close();
    for (auto ext : {".db", ".px", ".mb"}) {
        fs->setContents(std::string("/other/kopie") + ext,
                        fs->contents(std::string("/data/cat") + ext));
    }
    Table copy(fs);
    copy.setDirectory("/other");
    copy.setTableName("KOPIE.DB");  // names compare without regard to case
    copy.open();
    EXPECT_EQ(copy.recordCount(), 300);
    EXPECT_TRUE(copy.hasPrimaryIndex());
    // The index file was not copied: the first writable open builds it again and says so.
    auto notices = copy.takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("»KategorieIndex« (»kopie.xg0«)"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("neu aufgebaut"), std::string::npos) << notices[0];
    EXPECT_EQ(copy.indexNames(), std::vector<std::string>{"KategorieIndex"});
    copy.setIndexName("KategorieIndex");
    copy.first();
    EXPECT_EQ(copy.asString("Kategorie"), "K0");
    ASSERT_TRUE(copy.locate("Name", {"N7"}));
    EXPECT_EQ(copy.asString("Memo"), "Beschreibung");
    copy.checkIntegrity();
    copy.close();
    copy.open();
    EXPECT_TRUE(copy.takeNotices().empty());
}

TEST_F(TableTest, WindowsSpelledFilesAreOneTableAndNewFilesFollowTheirSpelling) {
    auto t = createCatalog();
    t->close();
    t->setExclusive(true);
    t->open();
    t->addIndex("KategorieIndex", "Kategorie;Name");
    for (int i = 0; i < 50; ++i) add(*t, "N" + std::to_string(i), i, "K" + std::to_string(i % 5));
    t->close();
    // Copied from Windows: the same files with upper-case names, the memo file in lower case.
    for (auto [from, to] : std::map<std::string, std::string>{
             {".db", ".DB"}, {".px", ".PX"}, {".mb", ".mb"}, {".xg0", ".XG0"}}) {
        const std::string bytes = fs->contents("/data/cat" + from);
        fs->remove("/data/cat" + from);
        fs->setContents("/data/CAT" + to, bytes);
    }
    for (const std::string name : {"cat.db", "CAT.DB", "Cat.Db"}) {
        auto w = make(name, true);
        w->open();
        EXPECT_EQ(w->filePath(), "/data/CAT.DB") << name;
        EXPECT_EQ(w->checkIntegrity().records, 50) << name;
        EXPECT_TRUE(w->takeNotices().empty()) << name;  // its index file was found
    }
    // Changes and a new index: the log and the index file are spelled like the table.
    auto w = make("cat.db", true);
    w->open();
    add(*w, "Neu", 99);
    w->addIndex("LabelIndex", "Label");
    w->close();
    EXPECT_TRUE(fs->exists("/data/CAT.XG1"));
    std::vector<std::string> lower;
    for (const auto& n : fs->list("/data/"))
        if (n != "cat.mb" && n.substr(0, 4) == "cat.") lower.push_back(n);
    EXPECT_TRUE(lower.empty()) << lower.front();

    // The backup copy, a new table typed "Neu.DB" and a renamed one keep the spelling given.
    w->copyTo("/data/Backup/CAT.DB");
    for (auto ext : {".DB", ".PX", ".MB", ".XG0", ".XG1"})
        EXPECT_TRUE(fs->exists(std::string("/data/Backup/CAT") + ext)) << ext;
    auto n = make("Neu.DB");
    n->setFieldDefs(catalogFields());
    n->createTable();
    n->addIndex("", "Name");
    EXPECT_EQ(n->filePath(), "/data/Neu.DB");
    EXPECT_TRUE(fs->exists("/data/Neu.PX"));
    EXPECT_TRUE(fs->exists("/data/Neu.MB"));
    w->moveTable("/data/Ziel.DB");
    EXPECT_EQ(w->filePath(), "/data/Ziel.DB");
    for (auto ext : {".DB", ".PX", ".MB", ".XG0", ".XG1"})
        EXPECT_TRUE(fs->exists(std::string("/data/Ziel") + ext)) << ext;
    w->open();
    EXPECT_EQ(w->checkIntegrity().records, 51);
}

TEST_F(TableTest, PackShrinksAndEmptyRemovesEverything) {
    auto t = createCatalog();
    t->close();
    t->setExclusive(true);
    t->open();
    t->addIndex("KategorieIndex", "Kategorie;Name");
    for (int i = 0; i < 3000; ++i) {
        t->append();
        t->setAsString("Name", "Eintrag " + std::to_string(i));
        t->setAsString("Kategorie", std::string(100, static_cast<char>('a' + i % 3)));
        t->setAsString("Memo", std::string(500, 'm'));
        t->post();
    }
    for (t->first(); !t->eof();) {
        if (t->recNo() % 4 != 0)
            t->remove();
        else
            t->next();
    }
    int64_t left = t->recordCount();
    size_t before = fs->contents("/data/cat.db").size() + fs->contents("/data/cat.mb").size();
    t->packTable();
    size_t after = fs->contents("/data/cat.db").size() + fs->contents("/data/cat.mb").size();
    EXPECT_LT(after * 2, before);
    EXPECT_EQ(t->recordCount(), left);
    t->checkIntegrity();
    t->setIndexName("KategorieIndex");
    t->emptyTable();
    EXPECT_EQ(t->recordCount(), 0);
    t->checkIntegrity();
    add(*t, "neu", 1);
    EXPECT_EQ(t->recordCount(), 1);
}

TEST_F(TableTest, LongPathsUpToTheWidestFieldsWork) {
    auto t = make("list.db");
    t->setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                     {"Dateiname", FieldType::Text, 255},
                     {"Groesse", FieldType::Int64, 0}});
    t->createTable();
    t->addIndex("", "Verzeichnis;Dateiname;Groesse");
    t->open();
    std::vector<std::string> dirs;
    for (int i = 0; i < 40; ++i) {
        std::string d = "/";
        while (d.size() < 3000 + static_cast<size_t>(i) * 20) d += "tief/verschachtelt/";
        d += std::to_string(i) + "/";
        dirs.push_back(d);
        for (int f = 0; f < 5; ++f) {
            t->append();
            t->setAsString("Verzeichnis", d);
            t->setAsString("Dateiname", "datei" + std::to_string(f) + ".txt");
            t->setAsInteger("Groesse", f);
            t->post();
        }
    }
    EXPECT_EQ(t->recordCount(), 200);
    ASSERT_TRUE(t->locate("Verzeichnis;Dateiname;Groesse", {dirs[17], "datei3.txt", 3}));
    EXPECT_EQ(t->asString("Verzeichnis"), dirs[17]);
    t->checkIntegrity();
    // The width still cuts: 4096 characters at most.
    t->append();
    t->setAsString("Verzeichnis", std::string(5000, 'v'));
    t->post();
    EXPECT_EQ(t->asString("Verzeichnis").size(), 4096u);
}

TEST_F(TableTest, TwoHandlesShareATableAndExclusiveOpensConflict) {
    auto a = createCatalog();
    auto b = make();
    b->open();
    add(*a, "von a", 1);
    EXPECT_EQ(b->recordCount(), 1);
    b->first();
    EXPECT_EQ(b->asString("Name"), "von a");
    add(*b, "von b", 2);
    a->refresh();
    EXPECT_EQ(names(*a), (std::vector<std::string>{"von a", "von b"}));

    auto c = make("cat.db", true);
    try {
        c->open();
        FAIL() << "exclusive open while shared";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Locked);
        EXPECT_NE(std::string(e.what()).find("in Benutzung"), std::string::npos);
    }
    a->close();
    b->close();
    c->open();
    auto d = make();
    EXPECT_THROW(d->open(), EngineError);
    EXPECT_THROW(d->deleteTable(), EngineError);
    c->close();
    d->open();
}

TEST_F(TableTest, ErrorsNameTheTable) {
    auto t = make("fehlt.db");
    try {
        t->open();
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_STREQ(e.what(), "Die Tabelle »fehlt.db« existiert nicht.");
    }
    auto c = createCatalog();
    try {
        c->addIndex("X", "Name");
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("exklusiv"), std::string::npos);
    }
}

TEST(TableOnDisk, WorksOnTheRealFileSystem) {
    test::TempDir dir;
    Table t;
    t.setDirectory(dir.path());
    t.setTableName("echt.db");
    t.setFieldDefs({{"Name", FieldType::Text, 50}, {"Memo", FieldType::Memo, 0}});
    t.createTable();
    t.addIndex("", "Name");
    t.open();
    for (int i = 0; i < 100; ++i) {
        t.append();
        t.setAsString("Name", "n" + std::to_string(i));
        t.setAsString("Memo", std::string(static_cast<size_t>(i) * 50, 'q'));
        t.post();
    }
    t.close();
    t.open();
    EXPECT_EQ(t.recordCount(), 100);
    t.checkIntegrity();
}

}  // namespace mv32::engine

namespace mv32::engine {

TEST_F(TableTest, CopyToGivesAWholeTableAndReplacesAnOlderOne) {
    auto t = createCatalog();
    t->close();
    t->setExclusive(true);
    t->open();
    t->addIndex("KategorieIndex", "Kategorie;Name");
    for (int i = 0; i < 200; ++i) add(*t, "N" + std::to_string(i), i, "K" + std::to_string(i % 3));
    t->close();
    t->setExclusive(false);

    // An older table of the target's name, with an index file and a log the copy does not have.
    auto old = make("ziel.db");
    old->setFieldDefs({{"Name", FieldType::Text, 10}});
    old->createTable();
    fs->setContents("/data/ziel.xg4", "alt");
    fs->setContents("/data/ziel.wal", "alt");

    int64_t total = -1, last = 0;
    t->copyTo(
        "/data/ziel.db", [&](int64_t n) { total = n; }, [&](int64_t n) { last = n; });
    EXPECT_EQ(total, last);
    EXPECT_EQ(total, static_cast<int64_t>(fs->contents("/data/cat.db").size() +
                                          fs->contents("/data/cat.px").size() +
                                          fs->contents("/data/cat.mb").size() +
                                          fs->contents("/data/cat.xg0").size()));
    EXPECT_FALSE(fs->exists("/data/ziel.xg4"));
    EXPECT_FALSE(fs->exists("/data/ziel.wal"));
    auto copy = make("ziel.db");
    copy->open();
    EXPECT_TRUE(copy->takeNotices().empty());  // its index came along: nothing to rebuild
    EXPECT_EQ(copy->indexNames(), std::vector<std::string>{"KategorieIndex"});
    EXPECT_EQ(copy->checkIntegrity().records, 200);

    // A target someone holds is not replaced; a table copied onto itself stays as it is.
    EXPECT_THROW(t->copyTo("/data/ziel.db"), EngineError);
    copy->close();
    t->copyTo("/data/cat.db");
    t->open();
    EXPECT_EQ(t->checkIntegrity().records, 200);
}

}  // namespace mv32::engine
