// Secondary index entries carry each part of a record's key once, and index files written
// before that are taken for absent and rebuilt.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "engine/Table.h"
#include "engine/store/Crc32c.h"
#include "engine/store/Schema.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {
namespace {

using store::IndexInfo;
using store::Schema;

Schema fileListSchema() {
    Schema s;
    s.fields = {{"Verzeichnis", FieldType::Text, 100},
                {"Dateiname", FieldType::Text, 100},
                {"Groesse", FieldType::Int64, 0}};
    s.cluster = {0, 1, 2};
    s.finish();
    return s;
}

TEST(IndexEntry, ClusterFieldsHeldUnchangedAreLeftOutAndComeBack) {
    const Schema s = fileListSchema();
    const Row values = {Value("/m/a/"), Value("Liesmich.txt"), Value(int64_t{42})};
    const std::string key = s.clusterKey(values, 7);
    std::string seq;
    store::encodeInt(seq, 7, store::Kind::Int);

    // Name first, then every other key field: only the sequence number is added.
    const IndexInfo all{"NameIndex", {1, 0, 2}, 0, 3};
    const std::string allEntry = s.indexEntry(all, values, key);
    EXPECT_EQ(allEntry, s.indexPrefix(all, values) + seq);
    std::string scratch;
    EXPECT_EQ(s.clusterKeyOfIndexEntry(all, allEntry, scratch), key);

    // Size alone: the folder and the name follow it.
    const IndexInfo size{"GroesseIndex", {2}, 0, 4};
    const std::string sizeEntry = s.indexEntry(size, values, key);
    EXPECT_LT(sizeEntry.size(), s.indexPrefix(size, values).size() + key.size());
    EXPECT_EQ(s.clusterKeyOfIndexEntry(size, sizeEntry, scratch), key);

    // Folded or complemented fields cannot stand for the key: it is kept whole.
    for (unsigned options : {unsigned{store::kCaseInsensitive}, unsigned{store::kDescending}}) {
        const IndexInfo changed{"Anders", {1, 0}, options, 5};
        const std::string entry = s.indexEntry(changed, values, key);
        EXPECT_EQ(entry, s.indexPrefix(changed, values) + key);
        EXPECT_EQ(s.clusterKeyOfIndexEntry(changed, entry, scratch), key);
    }
    // A case-insensitive index still holds a number unchanged.
    const IndexInfo sizeCi{"GroesseCi", {2, 1}, store::kCaseInsensitive, 6};
    const std::string ciEntry = s.indexEntry(sizeCi, values, key);
    EXPECT_EQ(s.clusterKeyOfIndexEntry(sizeCi, ciEntry, scratch), key);
    EXPECT_LT(ciEntry.size(), s.indexPrefix(sizeCi, values).size() + key.size());
}

class IndexFiles : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();
    using Rec = std::tuple<std::string, std::string, int64_t>;

    std::unique_ptr<Table> table(bool exclusive = false) {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory("/data");
        t->setTableName("liste");
        t->setExclusive(exclusive);
        return t;
    }
    // Records in the order of an index over `Dateiname` and `Groesse` (the folder breaks ties).
    std::vector<Rec> byIndex(Table& t, const std::string& index) {
        t.setIndexName(index);
        std::vector<Rec> out;
        for (t.first(); !t.eof(); t.next())
            out.emplace_back(t.asString("Verzeichnis"), t.asString("Dateiname"),
                             t.asInteger("Groesse"));
        return out;
    }
};

TEST_F(IndexFiles, IndexesOverKeyFieldsKeepTheirOrderThroughChanges) {
    auto t = table(true);
    t->setFieldDefs({{"Verzeichnis", FieldType::Text, 100},
                     {"Dateiname", FieldType::Text, 100},
                     {"Groesse", FieldType::Int64, 0}});
    t->createTable();
    t->addIndex("", "Verzeichnis;Dateiname;Groesse");
    t->addIndex("NameIndex", "Dateiname;Groesse");
    t->addIndex("NameCi", "Dateiname", IndexCaseInsensitive);
    t->open();  // the definitions above each opened and closed the table
    std::mt19937 rng(5);
    std::vector<Rec> model;
    for (int i = 0; i < 600; ++i) {
        Rec r{"/d" + std::to_string(rng() % 40) + "/", "n" + std::to_string(rng() % 25),
              static_cast<int64_t>(rng() % 3)};
        if (std::find(model.begin(), model.end(), r) != model.end()) continue;
        model.push_back(r);
        t->append();
        t->setAsString("Verzeichnis", std::get<0>(r));
        t->setAsString("Dateiname", std::get<1>(r));
        t->setAsInteger("Groesse", std::get<2>(r));
        t->post();
    }
    // Every third record moves to another folder, every fifth goes.
    const auto before = model;
    model.clear();
    for (size_t i = 0; i < before.size(); ++i) {
        const Rec& r = before[i];
        ASSERT_TRUE(t->locate("Verzeichnis;Dateiname;Groesse",
                              {Value(std::get<0>(r)), Value(std::get<1>(r)), Value(std::get<2>(r))}));
        if (i % 5 == 0) {
            t->remove();
        } else if (i % 3 == 0) {
            t->edit();
            t->setAsString("Verzeichnis", "/z" + std::get<0>(r));
            t->post();
            model.emplace_back("/z" + std::get<0>(r), std::get<1>(r), std::get<2>(r));
        } else {
            model.push_back(r);
        }
    }
    t->checkIntegrity();
    auto expected = model;
    std::sort(expected.begin(), expected.end(), [](const Rec& a, const Rec& b) {
        return std::tie(std::get<1>(a), std::get<2>(a), std::get<0>(a)) <
               std::tie(std::get<1>(b), std::get<2>(b), std::get<0>(b));
    });
    EXPECT_EQ(byIndex(*t, "NameIndex"), expected);
    // The case-insensitive index keeps the whole key after the name: ties in key order.
    auto byNameThenKey = model;
    std::sort(byNameThenKey.begin(), byNameThenKey.end(), [](const Rec& a, const Rec& b) {
        return std::tie(std::get<1>(a), a) < std::tie(std::get<1>(b), b);
    });
    EXPECT_EQ(byIndex(*t, "NameCi"), byNameThenKey);
    ASSERT_TRUE(t->locate("Dateiname;Groesse", {Value(std::get<1>(expected[3])),
                                                Value(std::get<2>(expected[3]))}));
    EXPECT_EQ(t->asString("Dateiname"), std::get<1>(expected[3]));
    EXPECT_EQ(t->asInteger("Groesse"), std::get<2>(expected[3]));
}

TEST_F(IndexFiles, AnIndexFileOfTheEarlierFormatIsRebuilt) {
    auto t = table(true);
    t->setFieldDefs({{"Name", FieldType::Text, 20}, {"Nr", FieldType::Int32, 0}});
    t->createTable();
    t->addIndex("", "Name");
    t->addIndex("NrIndex", "Nr;Name");
    t->open();  // the definitions above each opened and closed the table
    for (int i = 0; i < 50; ++i) {
        t->append();
        t->setAsString("Name", "N" + std::to_string(i));
        t->setAsInteger("Nr", 49 - i);
        t->post();
    }
    t->close();
    // The same file as an earlier version wrote its header: format mark 1.
    std::string xg = fs->contents("/data/liste.xg0");
    ASSERT_EQ(xg.substr(16, 8), std::string("MV32XG\x02\x00", 8));
    xg[22] = 1;
    const uint32_t crc = store::crc32c(xg.data() + 4, 4092);
    for (int i = 0; i < 4; ++i) xg[static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
    fs->setContents("/data/liste.xg0", xg);

    auto again = table();
    again->open();
    const auto notices = again->takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("»NrIndex«"), std::string::npos) << notices[0];
    again->setIndexName("NrIndex");
    again->first();
    EXPECT_EQ(again->asString("Name"), "N49");
    again->checkIntegrity();
    EXPECT_EQ(fs->contents("/data/liste.xg0").substr(16, 8), std::string("MV32XG\x02\x00", 8));
}

}  // namespace
}  // namespace mv32::engine
