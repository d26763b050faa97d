// The trigram index of a table filled from empty, built from the values the filler kept instead
// of a pass over the records: the same file a build from the records writes, and no index at
// all (the caller builds from the records) whenever the table is not exactly what the fill
// left behind.
#include <gtest/gtest.h>

#include <random>

#include "engine/Table.h"
#include "engine/store/ChangePositions.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

TEST(ChangePositions, PlacesOfEachAddInTheOrderOfTheAdds) {
    std::mt19937 rng(7);
    for (int round = 0; round < 30; ++round) {
        std::vector<int> list;  // the ids of the adds, in table order
        std::vector<uint64_t> addedAt;
        const int adds = static_cast<int>(rng() % 120);
        for (int k = 0; k < adds; ++k) {
            const size_t at = rng() % (list.size() + 1);
            list.insert(list.begin() + static_cast<ptrdiff_t>(at), k);
            addedAt.push_back(at);
        }
        std::vector<uint32_t> where(list.size());
        for (size_t i = 0; i < list.size(); ++i)
            where[static_cast<size_t>(list[i])] = static_cast<uint32_t>(i);
        EXPECT_EQ(store::placesOf(addedAt, list.size()), where);
    }
    EXPECT_THROW(store::placesOf({0, 5}, 3), std::out_of_range);
}

class TrigramFillTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    std::mt19937 rng{31};
    int serial = 0;

    std::unique_ptr<Table> fileList(bool exclusive = false) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName("mv32list.db");
        if (!t->exists()) {
            t->setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                             {"Dateiname", FieldType::Text, 12},
                             {"Groesse", FieldType::Int64, 0}});
            t->createTable();
            t->addIndex("", "Dateiname;Verzeichnis;Groesse");
        }
        t->setExclusive(exclusive);
        t->open();
        return t;
    }
    std::string randomName() {
        static const std::vector<std::string> pieces = {"a", "b", "re", "ä", "Ö",  "ß", ".",
                                                        "1", "_", "%",  "x", "mp", " "};
        std::string s;
        const size_t n = 1 + rng() % 9;  // some longer than the field: stored cut
        for (size_t i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        return s;
    }
    struct Filled {
        std::vector<std::string> names;  // as stored
        std::vector<uint64_t> at;
    };
    // Adds `n` records in bulk groups, keeping each name as stored and its position.
    Filled fill(Table& t, int n) {
        Filled f;
        t.beginBulk();
        for (int i = 0; i < n; ++i) {
            t.append();
            t.setAsString("Verzeichnis", "/d" + std::to_string(rng() % 5) + "/");
            t.setAsString("Dateiname", randomName());
            t.setAsInteger("Groesse", ++serial);
            t.post();
            f.names.push_back(t.asString("Dateiname"));
            f.at.push_back(static_cast<uint64_t>(t.recNo() - 1));
        }
        t.endBulk();
        return f;
    }
    bool buildFrom(const Table::TrigramFill& mark, const Filled& f) {
        auto t = fileList(true);
        return t->buildTrigramIndexFromFill("Dateiname", mark, f.at,
                                            [&](size_t i) { return std::string_view(f.names[i]); });
    }
    // What a build from the records writes.
    std::string builtFromRecords() {
        auto t = fileList(true);
        t->buildTrigramIndex("Dateiname");
        return fs->contents("/data/mv32list.tri");
    }
};

TEST_F(TrigramFillTest, AFillOfAnEmptyTableGivesTheFileABuildFromTheRecordsGives) {
    for (int n : {0, 1, 700, 5000}) {
        fs = std::make_shared<test::MemFileSystem>();
        Filled f;
        Table::TrigramFill mark;
        {
            auto t = fileList();
            ASSERT_TRUE(t->beginTrigramFill(mark)) << n;
            f = fill(*t, n);
            ASSERT_TRUE(t->endTrigramFill(mark)) << n;
        }
        ASSERT_TRUE(buildFrom(mark, f)) << n;
        const std::string fromFill = fs->contents("/data/mv32list.tri");
        EXPECT_EQ(fileList()->trigramIndexField(), "Dateiname") << n;
        EXPECT_EQ(builtFromRecords(), fromFill) << n;
    }
}

TEST_F(TrigramFillTest, ATableThatIsNotWhatTheFillLeftGetsNoIndexFromIt) {
    // Each case changes the table (or the fill) somewhere between the fill's start and the
    // build; none may build from the values kept.
    enum Case { HeldRecords, OtherHandleDuringFill, OtherHandleAfterFill, NotNoted, PositionsOff };
    for (Case c :
         {HeldRecords, OtherHandleDuringFill, OtherHandleAfterFill, NotNoted, PositionsOff}) {
        fs = std::make_shared<test::MemFileSystem>();
        if (c == HeldRecords) {
            auto t = fileList();
            fill(*t, 3);
        }
        Filled f;
        Table::TrigramFill mark;
        {
            auto t = fileList();
            const bool begun = t->beginTrigramFill(mark);
            EXPECT_EQ(begun, c != HeldRecords) << c;
            f = fill(*t, 200);
            if (c == OtherHandleDuringFill) {
                auto other = fileList();
                fill(*other, 1);
            }
            const bool noted = c != NotNoted && t->endTrigramFill(mark);
            EXPECT_EQ(noted, c != HeldRecords && c != OtherHandleDuringFill && c != NotNoted) << c;
            if (c == HeldRecords) mark.noted = true;  // as if it had been: still refused
        }
        if (c == OtherHandleAfterFill) {
            auto other = fileList();
            fill(*other, 1);
        }
        if (c == PositionsOff) f.at.back() = 100000;
        EXPECT_FALSE(buildFrom(mark, f)) << c;
        EXPECT_FALSE(fs->exists("/data/mv32list.tri")) << c;
    }
}

}  // namespace
}  // namespace mv32::engine
