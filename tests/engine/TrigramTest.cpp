// The trigram index of the file list: its searches give exactly what reading every record
// gives, and it is left aside when stale or missing.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "engine/sql/Executor.h"
#include "engine/store/Postings.h"
#include "engine/store/TrigramIndex.h"
#include "support/CacheLimit.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

class TrigramTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();

    std::unique_ptr<Table> fileList() {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName("mv32list.db");
        if (!t->exists()) {
            t->setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                             {"Dateiname", FieldType::Text, 255},
                             {"Erweiterung", FieldType::Text, 5},
                             {"Groesse", FieldType::Int64, 0},
                             {"Label", FieldType::Text, 11},
                             {"VolID", FieldType::Text, 8}});
            t->createTable();
            t->addIndex("", "Verzeichnis;Dateiname;Erweiterung;Groesse;Label;VolID");
        }
        t->open();
        return t;
    }

    static void add(Table& t, const std::string& dir, const std::string& name, int64_t size = -1) {
        t.append();
        t.setAsString("Verzeichnis", dir);
        t.setAsString("Dateiname", name);
        t.setAsInteger("Groesse", size >= 0 ? size : static_cast<int64_t>(name.size()));
        t.post();
    }

    struct Result {
        std::string plan;
        std::vector<std::string> rows;
    };
    Result search(const std::string& pattern, const std::string& tail = "") {
        Query q(fs);
        q.setDirectory("/data");
        q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"" + pattern + "\")" + tail);
        q.open();
        Result r{q.plan(), {}};
        for (q.first(); !q.eof(); q.next())
            r.rows.push_back(q.asString("Verzeichnis") + "|" + q.asString("Dateiname"));
        return r;
    }
};

TEST(Postings, BlocksOfEveryGapWidthReadBackAndIntersect) {
    std::vector<uint32_t> list;
    uint32_t p = 0;
    for (unsigned width = 0; width <= 31; ++width) {
        for (int k = 0; k < 40; ++k) {
            list.push_back(p);
            p += 1 + (width ? (1u << (width - 1)) - 1 + static_cast<uint32_t>(k % 3) : 0);
            if (p > 0xF0000000u) break;
        }
        if (p > 0xF0000000u) break;
    }
    list.push_back(0xFFFFFFFFu);
    std::string bytes;
    for (size_t i = 0; i < list.size(); i += store::postings::kBlock) {
        size_t n = std::min(store::postings::kBlock, list.size() - i);
        store::postings::appendBlock(bytes, list.data() + i, n);
    }
    std::vector<uint32_t> back;
    ASSERT_TRUE(store::postings::decodeAll(bytes, back));
    EXPECT_EQ(back, list);
    // Every third position, plus some that are in no block: only the listed ones stay.
    std::vector<uint32_t> candidates, want;
    for (size_t i = 0; i < list.size(); i += 3) {
        candidates.push_back(list[i]);
        want.push_back(list[i]);
        if (list[i] + 1 < (i + 1 < list.size() ? list[i + 1] : 0))
            candidates.push_back(list[i] + 1);
    }
    ASSERT_TRUE(store::postings::intersect(candidates, bytes));
    EXPECT_EQ(candidates, want);
    // A block cut short is malformed, not read past its end.
    back.clear();
    EXPECT_FALSE(
        store::postings::decodeAll(std::string_view(bytes).substr(0, bytes.size() - 3), back));
}

TEST(TrigramBuild, PastItsMemoryBudgetTheListsWaitInRunFilesAndGiveTheSameIndex) {
    test::MemFileSystem fs;
    std::mt19937 rng(7);
    std::vector<std::string> names;
    for (int i = 0; i < 1500; ++i) {
        std::string s;
        for (size_t n = 3 + rng() % 20; n > 0; --n) s += static_cast<char>('A' + rng() % 12);
        names.push_back(i % 7 == 0 ? "ÄÖÜ" + s : s);
    }
    const store::TrigramStamp stamp{1, 2, 3, names.size(), "Dateiname"};
    auto build = [&](const std::string& path, size_t budget) {
        size_t i = 0;
        store::TrigramIndex::build(
            fs, path, stamp,
            [&](std::string& out) {
                if (i == names.size()) return false;
                out = names[i++];
                return true;
            },
            budget);
        return store::TrigramIndex::lastBuildRuns();
    };
    auto lists = [&](const std::string& path) {
        std::map<uint32_t, std::vector<uint32_t>> out;
        store::TrigramIndex::open(fs, path)->forEachList(
            [&](uint32_t t, const std::vector<uint32_t>& positions) { out[t] = positions; });
        return out;
    };
    EXPECT_EQ(build("/a/in.tri", 64u << 20), 0u);
    for (size_t budget : {size_t{16} << 10, size_t{64} << 10}) {
        EXPECT_GT(build("/b/runs.tri", budget), 1u) << budget;
        EXPECT_LE(store::TrigramIndex::lastBuildPeak(), budget + (4u << 10)) << budget;
        // The pieces of a list from several runs make other blocks, with the same positions.
        EXPECT_TRUE(lists("/b/runs.tri") == lists("/a/in.tri")) << budget;
        EXPECT_EQ(fs.list("/b"), std::vector<std::string>{"runs.tri"});  // no run file left
    }
}

TEST_F(TrigramTest, SearchesWithTheIndexFindExactlyWhatReadingEveryRecordFinds) {
    // A cache far smaller than the table: many candidates are read past it, few through it.
    test::CacheLimit small(64u << 10);
    std::mt19937 rng(20261210);
    const std::vector<std::string> pieces = {"a",  "b",   "e",    "r",  "m",    "d",        "ä",
                                             "Ä",  "ö",   "ß",    "_",  "%",    ".",        "1",
                                             "ab", "aaa", "READ", "me", "\xE4", "\xC3\xA4", " "};
    auto randomText = [&](size_t maxPieces) {
        std::string s;
        size_t n = 1 + rng() % maxPieces;
        for (size_t i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        return s;
    };
    auto t = fileList();
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) {
        std::string name = i % 10 == 0 ? pieces[rng() % pieces.size()] : randomText(8);
        names.push_back(name);
        // Few folders: the orders by folder have many equal values.
        add(*t, "/d" + std::to_string(i % 23) + "/", name, i);
    }
    // Patterns: pieces of the names upper-cased (as the file search sends them), with
    // wildcards in between, and random texts.
    std::vector<std::string> patterns = {"%README%", "%READ%ME%", "%READ_E%",   "README%",
                                         "%AAA%",    "%ÄÄ%",      "%\xC3\x84%", "%RE%"};
    for (int i = 0; i < 120; ++i) {
        std::string s = text::upper(names[rng() % names.size()]);
        if (s.size() > 2 && rng() % 2) s = s.substr(rng() % (s.size() / 2));
        switch (rng() % 4) {
            case 0:
                patterns.push_back("%" + s + "%");
                break;
            case 1:
                patterns.push_back(s + "%");
                break;
            case 2:
                patterns.push_back("%" + s.substr(0, s.size() / 2) + "%" + s.substr(s.size() / 2) +
                                   "%");
                break;
            default:
                patterns.push_back("%" + text::upper(randomText(4)) + "_%");
                break;
        }
    }
    // A double quote would end the statement's text.
    patterns.erase(
        std::remove_if(patterns.begin(), patterns.end(),
                       [](const std::string& p) { return p.find('"') != std::string::npos; }),
        patterns.end());
    std::vector<Result> scanned;
    for (auto& p : patterns) {
        scanned.push_back(search(p));
        ASSERT_EQ(scanned.back().plan, "Tabelle") << p;
    }
    // Orders: the primary one (read as found), backwards (reversed), and others (sorted).
    const std::vector<std::string> orders = {" ORDER BY Verzeichnis", " ORDER BY Verzeichnis DESC",
                                             " ORDER BY Dateiname", " ORDER BY Groesse DESC"};
    std::vector<Result> ordered;
    for (size_t i = 0; i < 12; ++i) ordered.push_back(search(patterns[i], orders[i % 4]));
    t->close();
    t->setExclusive(true);
    t->open();
    t->buildTrigramIndex("Dateiname");
    EXPECT_EQ(t->trigramIndexField(), "Dateiname");
    t->close();
    for (size_t i = 0; i < patterns.size(); ++i) {
        Result r = search(patterns[i]);
        const bool usable = !store::requiredTrigrams(patterns[i]).empty();
        EXPECT_EQ(r.plan, usable ? "Trigrammindex Dateiname" : "Tabelle") << patterns[i];
        ASSERT_EQ(r.rows, scanned[i].rows) << patterns[i] << " (" << r.plan << ")";
    }
    for (size_t i = 0; i < 12; ++i) {
        Result r = search(patterns[i], orders[i % 4]);
        const bool primary = i % 4 < 2;
        if (!store::requiredTrigrams(patterns[i]).empty()) {
            EXPECT_EQ(r.plan,
                      std::string("Trigrammindex Dateiname") + (primary ? "" : ", sortiert"))
                << patterns[i] << orders[i % 4];
        }
        ASSERT_EQ(r.rows, ordered[i].rows) << patterns[i] << orders[i % 4];
    }
}

TEST_F(TrigramTest, CandidatesPastTheCacheAndPastTheKeptRowsReadTheSameForwardsAndBackwards) {
    // Nearly every leaf holds candidates, read past the cache for those alone; the rows found
    // are more than the result keeps, so the older ones are read again by position.
    test::CacheLimit small(64u << 10);
    struct Budget {
        Budget() { sql::setCopyBudget(2048); }
        ~Budget() { sql::setCopyBudget(0); }
    } budget;
    auto t = fileList();
    for (int i = 0; i < 3000; ++i) {
        std::string dir = "/m" + std::to_string(i % 31) + "/";
        // A long folder puts its entry into overflow pages, between the candidates.
        if (i % 97 == 5) dir += std::string(1500, 'x') + "/";
        add(*t, dir, (i % 3 ? "bild" : "Readme") + std::to_string(i) + ".txt", i);
    }
    auto read = [&](bool backwards) {
        Query q(fs);
        q.setDirectory("/data");
        q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%README%\")");
        q.open();
        Result r{q.plan(), {}};
        auto row = [&] {
            r.rows.push_back(q.asString("Verzeichnis") + "|" + q.asString("Dateiname"));
        };
        if (backwards) {
            for (q.last(); !q.bof(); q.prior()) row();
            std::reverse(r.rows.begin(), r.rows.end());
        } else {
            for (q.first(); !q.eof(); q.next()) row();
        }
        return r;
    };
    const Result scanned = read(false);
    ASSERT_EQ(scanned.plan, "Tabelle");
    ASSERT_EQ(scanned.rows.size(), 1000u);
    t->close();
    t->setExclusive(true);
    t->open();
    t->buildTrigramIndex("Dateiname");
    t->close();
    for (bool backwards : {false, true}) {
        Result r = read(backwards);
        EXPECT_EQ(r.plan, "Trigrammindex Dateiname");
        EXPECT_EQ(r.rows, scanned.rows) << (backwards ? "backwards" : "forwards");
    }
}

TEST_F(TrigramTest, AChangedTableMissingOrOtherIndexFilesFallBackAndDamageIsNamed) {
    auto t = fileList();
    add(*t, "/a/", "README.TXT");
    add(*t, "/b/", "readme.md");
    add(*t, "/c/", "Bild.png");
    t->close();
    t->setExclusive(true);
    t->open();
    t->buildTrigramIndex("Dateiname");
    t->close();
    EXPECT_EQ(search("%README%").plan, "Trigrammindex Dateiname");
    EXPECT_EQ(search("%README%").rows,
              (std::vector<std::string>{"/a/|README.TXT", "/b/|readme.md"}));
    // Shapes the index cannot serve.
    EXPECT_EQ(search("%RE%").plan, "Tabelle");
    EXPECT_EQ(search("%R_A%").plan, "Tabelle");

    // A record added since: the index is stale, the search reads every record and finds it.
    t->setExclusive(false);
    t->open();
    add(*t, "/d/", "MEHR_README");
    EXPECT_EQ(t->trigramIndexField(), "");
    t->close();
    Result r = search("%README%");
    EXPECT_EQ(r.plan, "Tabelle");
    EXPECT_EQ(r.rows.size(), 3u);
    // Rebuilding the indexes builds it again.
    t->setExclusive(true);
    t->open();
    t->regenerateIndexes();
    t->close();
    EXPECT_EQ(search("%README%").plan, "Trigrammindex Dateiname");
    EXPECT_EQ(search("%README%").rows.size(), 3u);

    // The check reads it against the records: a current index passes, one whose lists
    // describe other names is found out.
    const std::string path = "/data/mv32list.tri";
    t->open();
    EXPECT_NO_THROW(t->checkIntegrity());
    t->close();
    const std::string good = fs->contents(path);
    {
        const store::TrigramStamp stamp = store::TrigramIndex::open(*fs, path)->stamp();
        const std::vector<std::string> other = {"README.TXT", "README.MD", "BILD.PNG",
                                                "ANDERES_README"};
        size_t k = 0;
        store::TrigramIndex::build(*fs, path, stamp, [&](std::string& v) {
            if (k == other.size()) return false;
            v = other[k++];
            return true;
        });
    }
    t->open();
    try {
        t->checkIntegrity();
        ADD_FAILURE() << "an index of other names passed the check";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("mv32list.tri"), std::string::npos) << e.what();
    }
    t->close();
    fs->setContents(path, good);

    // A missing file counts as absent (damage: TrigramDamageTest).
    fs->remove(path);
    EXPECT_EQ(search("%README%").plan, "Tabelle");
    EXPECT_EQ(search("%README%").rows.size(), 3u);
}

}  // namespace

}  // namespace mv32::engine
