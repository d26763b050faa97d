// The file list's trigram index taking in a change (records added, a medium's records removed)
// instead of being built anew: the search still gives exactly the rows a read of every record
// gives, the lists of the whole index stay untouched, and a change it cannot take in leaves it
// stale until it is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "engine/store/ChangePositions.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

TEST(ChangePositions, AddsAndRemovalsOneAfterAnotherLandWhereAListPutsThem) {
    std::mt19937 rng(31);
    for (int round = 0; round < 40; ++round) {
        const int start = static_cast<int>(rng() % 300);
        std::vector<int> list(static_cast<size_t>(start));
        for (int i = 0; i < start; ++i) list[static_cast<size_t>(i)] = i;
        // Removals, each where it stands at that moment; the base positions are the ids.
        std::vector<uint64_t> removedAt;
        std::vector<uint32_t> removedIds;
        const int removals =
            start == 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(start / 2 + 1));
        for (int k = 0; k < removals; ++k) {
            const size_t at = rng() % list.size();
            removedAt.push_back(at);
            removedIds.push_back(static_cast<uint32_t>(list[at]));
            list.erase(list.begin() + static_cast<ptrdiff_t>(at));
        }
        std::sort(removedIds.begin(), removedIds.end());
        EXPECT_EQ(store::basePositions(removedAt, static_cast<uint64_t>(start)), removedIds);
        // Adds, each where it stands right after it went in.
        std::vector<uint64_t> addedAt;
        const int adds = static_cast<int>(rng() % 200);
        for (int k = 0; k < adds; ++k) {
            const size_t at = rng() % (list.size() + 1);
            list.insert(list.begin() + static_cast<ptrdiff_t>(at), -1 - k);
            addedAt.push_back(at);
        }
        std::vector<uint32_t> where;
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] < 0) where.push_back(static_cast<uint32_t>(i));
        }
        EXPECT_EQ(store::finalPositions(addedAt, list.size()), where);
    }
    EXPECT_THROW(store::finalPositions({0, 5}, 3), std::out_of_range);
    EXPECT_THROW(store::basePositions({2, 2}, 3), std::out_of_range);
}

class TrigramChangeTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    std::mt19937 rng{20261210};
    int serial = 0;

    std::unique_ptr<Table> fileList(bool exclusive = false) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName("mv32list.db");
        if (!t->exists()) {
            t->setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                             {"Dateiname", FieldType::Text, 255},
                             {"Groesse", FieldType::Int64, 0}});
            t->createTable();
            t->addIndex("", "Verzeichnis;Dateiname;Groesse");
        }
        t->setExclusive(exclusive);
        t->open();
        return t;
    }
    std::string randomName() {
        static const std::vector<std::string> pieces = {"a",  "b",   "re", "ad", "me", "ä",
                                                        "Ö",  "ß",   ".",  "1",  "_",  "%",
                                                        "ab", "aaa", "x",  "q",  "mp", " "};
        std::string s;
        const size_t n = 1 + rng() % 6;
        for (size_t i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        return s;
    }
    // Adds `n` records in one group; the position of each right after its post.
    std::vector<uint64_t> addSome(Table& t, int n) {
        std::vector<uint64_t> at;
        for (int i = 0; i < n; ++i) {
            t.append();
            t.setAsString("Verzeichnis", "/d" + std::to_string(rng() % 7) + "/");
            t.setAsString("Dateiname", randomName());
            t.setAsInteger("Groesse", ++serial);
            t.post();
            at.push_back(static_cast<uint64_t>(t.recNo() - 1));
        }
        return at;
    }
    // Removes `n` records at random; the position of each when it was removed.
    std::vector<uint64_t> removeSome(Table& t, int n) {
        std::vector<uint64_t> at;
        for (int i = 0; i < n && t.recordCount() > 0; ++i) {
            t.moveTo(1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(t.recordCount())));
            at.push_back(static_cast<uint64_t>(t.recNo() - 1));
            t.remove();
        }
        return at;
    }

    struct Result {
        std::string plan;
        std::vector<std::string> rows;
        bool operator==(const Result&) const = default;
    };
    Result search(const std::string& folder, const std::string& pattern) {
        Query q(fs);
        q.setDirectory(folder);
        q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"" + pattern + "\")");
        q.open();
        Result r{q.plan(), {}};
        for (q.first(); !q.eof(); q.next())
            r.rows.push_back(q.asString("Verzeichnis") + "|" + q.asString("Dateiname"));
        return r;
    }
    // Every pattern searched through the index gives the rows of a copy of the list without
    // one (which reads every record).
    void expectSameRowsAsReadingEveryRecord(const std::string& when) {
        for (const char* ext : {".db", ".px"})
            fs->setContents("/plain/mv32list" + std::string(ext),
                            fs->contents("/data/mv32list" + std::string(ext)));
        std::vector<std::string> patterns = {"%REA%", "%AAA%", "%Ä%ß%", "%MP%", "%.1%", "RE%"};
        for (int i = 0; i < 40; ++i) {
            std::string s = text::upper(randomName() + randomName());
            s.erase(std::remove(s.begin(), s.end(), '"'), s.end());
            patterns.push_back(i % 2 ? "%" + s + "%" : "%" + s.substr(0, s.size() / 2) + "%");
        }
        for (const auto& p : patterns) {
            const Result plain = search("/plain", p);
            ASSERT_EQ(plain.plan, "Tabelle");
            const Result indexed = search("/data", p);
            ASSERT_EQ(indexed.rows, plain.rows) << p << " " << when << " (" << indexed.plan << ")";
        }
    }
    bool indexCurrent() {
        auto t = fileList();
        return t->trigramIndexField() == "Dateiname";
    }
    void buildIndex() {
        auto t = fileList(true);
        t->buildTrigramIndex("Dateiname");
    }
};

TEST_F(TrigramChangeTest, RoundsOfAddsAndRemovalsAreTakenInAndSearchLikeReadingEveryRecord) {
    {
        auto t = fileList();
        t->beginBulk();
        addSome(*t, 500);
        t->endBulk();
    }
    buildIndex();
    const std::string lists = fs->contents("/data/mv32list.tri");
    expectSameRowsAsReadingEveryRecord("nach dem Aufbau");
    // Adds, removals and both in one change, one after another on the same lists.
    const std::vector<std::pair<int, int>> rounds = {{0, 40}, {25, 0}, {10, 30}, {0, 1},
                                                     {60, 0}, {5, 5},  {0, 90}};
    for (size_t r = 0; r < rounds.size(); ++r) {
        const auto [removals, adds] = rounds[r];
        const std::string when = "Runde " + std::to_string(r);
        {
            auto t = fileList();
            ASSERT_GT(t->beginTrigramChange(), 0u) << when;
            t->beginBulk();
            const std::vector<uint64_t> removed = removeSome(*t, removals);
            const std::vector<uint64_t> added = addSome(*t, adds);
            t->endBulk();
            ASSERT_TRUE(t->endTrigramChange(removed, added)) << when;
        }
        EXPECT_TRUE(indexCurrent()) << when;
        EXPECT_EQ(fs->contents("/data/mv32list.tri"), lists) << when;  // never rewritten
        EXPECT_TRUE(fs->exists("/data/mv32list.trd"));
        expectSameRowsAsReadingEveryRecord(when);
        auto t = fileList();
        EXPECT_NO_THROW(t->checkIntegrity()) << when;
    }
    // Building anew takes the change into new lists and leaves no change beside them.
    buildIndex();
    EXPECT_FALSE(fs->exists("/data/mv32list.trd"));
    expectSameRowsAsReadingEveryRecord("nach dem Neuaufbau");
}

TEST_F(TrigramChangeTest, AChangeItCannotTakeInLeavesTheIndexStaleUntilABuild) {
    struct Case {
        const char* what;
        // Runs between the change's start (on `t`) and its end; returns the positions to hand
        // over and whether the end is expected to take them in.
        std::function<bool(Table& t, std::vector<uint64_t>& added)> during;
    };
    const std::vector<Case> cases = {
        {"ein anderes Programm schreibt dazwischen",
         [&](Table& t, std::vector<uint64_t>& added) {
             added = addSome(t, 3);
             t.endBulk();
             // One record in, one out: the count alone would not show it.
             auto other = fileList();
             addSome(*other, 1);
             removeSome(*other, 1);
             other->close();
             t.beginBulk();
             return false;
         }},
        {"die Positionen passen nicht zur Tabelle",
         [&](Table& t, std::vector<uint64_t>& added) {
             added = addSome(t, 3);
             added.pop_back();
             return false;
         }},
        {"mehr als die Grenze",
         [&](Table& t, std::vector<uint64_t>& added) {
             added = addSome(t, 4097);
             return false;
         }},
        {"eine Änderungsdatei, deren Schreiber starb, liegt noch da",
         [&](Table& t, std::vector<uint64_t>& added) {
             fs->setContents("/data/mv32list.trt", "halb");
             added = addSome(t, 3);
             return false;
         }},
        {"alles in Ordnung",
         [&](Table& t, std::vector<uint64_t>& added) {
             added = addSome(t, 3);
             return true;
         }},
    };
    {
        auto t = fileList();
        t->beginBulk();
        addSome(*t, 300);
        t->endBulk();
    }
    for (const auto& c : cases) {
        buildIndex();
        EXPECT_FALSE(fs->exists("/data/mv32list.trt")) << c.what;  // a build clears it away
        bool taken = false;
        bool expected = false;
        {
            auto t = fileList();
            ASSERT_GT(t->beginTrigramChange(), 0u) << c.what;
            t->beginBulk();
            std::vector<uint64_t> added;
            expected = c.during(*t, added);
            t->endBulk();
            try {
                taken = t->endTrigramChange({}, added);
            } catch (const EngineError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Exists) << c.what;
            }
        }
        EXPECT_EQ(taken, expected) << c.what;
        EXPECT_EQ(indexCurrent(), expected) << c.what;
        // Stale or current, the search gives the rows of a read of every record.
        expectSameRowsAsReadingEveryRecord(c.what);
    }
    // A bulk group that only read commits nothing new; the index stays current.
    buildIndex();
    {
        auto t = fileList();
        ASSERT_GT(t->beginTrigramChange(), 0u);
        t->beginBulk();
        t->first();
        t->locate("Dateiname", {Value("nirgends")});
        t->endBulk();
        EXPECT_TRUE(t->endTrigramChange({}, {}));
    }
    EXPECT_TRUE(indexCurrent());
    // A list changed and committed without the change reaching the index (a crash between the
    // two) leaves it stale: the search reads every record.
    {
        auto t = fileList();
        ASSERT_GT(t->beginTrigramChange(), 0u);
        t->beginBulk();
        addSome(*t, 2);
        t->endBulk();
    }
    EXPECT_FALSE(indexCurrent());
    EXPECT_EQ(search("/data", "%A%").plan, "Tabelle");
    // Without a current index there is no change to take in: only a build helps.
    {
        auto t = fileList();
        EXPECT_EQ(t->beginTrigramChange(), 0u);
        EXPECT_FALSE(t->endTrigramChange({}, addSome(*t, 1)));
    }
}

TEST_F(TrigramChangeTest, ADamagedChangeIsADamagedIndexThatOnlyABuildMends) {
    {
        auto t = fileList();
        t->beginBulk();
        addSome(*t, 200);
        t->endBulk();
    }
    buildIndex();
    {
        auto t = fileList();
        t->beginTrigramChange();
        t->beginBulk();
        const auto added = addSome(*t, 20);
        t->endBulk();
        ASSERT_TRUE(t->endTrigramChange({}, added));
    }
    std::string bytes = fs->contents("/data/mv32list.trd");
    for (size_t at : {size_t{0}, size_t{20}, size_t{50}, size_t{100}, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        fs->setContents("/data/mv32list.trd", damaged);
        EXPECT_FALSE(indexCurrent()) << at;
        expectSameRowsAsReadingEveryRecord("beschädigt bei " + std::to_string(at));
        auto t = fileList();
        EXPECT_THROW(t->checkIntegrity(), EngineError) << at;
        EXPECT_EQ(t->beginTrigramChange(), 0u) << at;  // never patched
    }
    fs->setContents("/data/mv32list.trd", bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(indexCurrent());
    {
        auto t = fileList(true);
        t->regenerateIndexes();
    }
    EXPECT_TRUE(indexCurrent());
    EXPECT_FALSE(fs->exists("/data/mv32list.trd"));
    expectSameRowsAsReadingEveryRecord("nach dem Neuaufbau");
}

}  // namespace

}  // namespace mv32::engine
