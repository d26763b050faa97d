// The file list's trigram index when its file is damaged, came from a copy of the list that
// went apart, or was written before the list named its generation: the search always answers
// with the rows a read of every record gives, the check names a damaged file, and rebuilding
// the indexes makes it anew without reading it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/store/Coding.h"
#include "engine/store/Crc32c.h"
#include "engine/store/Format.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

class TrigramDamageTest : public ::testing::Test {
protected:
    std::shared_ptr<test::MemFileSystem> fs = std::make_shared<test::MemFileSystem>();

    std::unique_ptr<Table> fileList(const std::string& folder = "/data") {
        auto t = std::make_unique<Table>(fs);
        t->setDirectory(folder);
        t->setTableName("mv32list.db");
        if (!t->exists()) {
            t->setFieldDefs({{"Verzeichnis", FieldType::Text, 4096},
                             {"Dateiname", FieldType::Text, 255},
                             {"Groesse", FieldType::Int64, 0}});
            t->createTable();
            t->addIndex("", "Verzeichnis;Dateiname;Groesse");
        }
        t->open();
        return t;
    }
    static void add(Table& t, const std::string& dir, const std::string& name) {
        t.append();
        t.setAsString("Verzeichnis", dir);
        t.setAsString("Dateiname", name);
        t.setAsInteger("Groesse", static_cast<int64_t>(name.size()));
        t.post();
    }
    static void exclusively(Table& t, const std::function<void()>& step) {
        t.close();
        t.setExclusive(true);
        t.open();
        step();
        t.close();
        t.setExclusive(false);
    }

    struct Result {
        std::string plan;
        std::vector<std::string> rows;
    };
    Result search(const std::string& text, const std::string& folder = "/data") {
        Query q(fs);
        q.setDirectory(folder);
        q.setSql("SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%" + text + "%\")");
        q.open();
        Result r{q.plan(), {}};
        for (q.first(); !q.eof(); q.next())
            r.rows.push_back(q.asString("Verzeichnis") + q.asString("Dateiname"));
        return r;
    }
    // The check's complaint, empty when it passes.
    std::string checked(Table& t) {
        t.open();
        std::string why;
        try {
            t.checkIntegrity();
        } catch (const EngineError& e) {
            why = e.what();
        }
        t.close();
        return why;
    }
    // Copies the table's files (those that exist) from one folder to another.
    void copyFiles(const std::string& from, const std::string& to,
                   const std::vector<std::string>& extensions = {".db", ".px", ".tri"}) {
        for (const auto& ext : extensions) {
            if (fs->exists(from + "/mv32list" + ext))
                fs->setContents(to + "/mv32list" + ext, fs->contents(from + "/mv32list" + ext));
        }
    }
};

constexpr const char* kIndexPlan = "Trigrammindex Dateiname";
constexpr size_t kHead = 72;  // the index file's head (format 2), before the field name

TEST_F(TrigramDamageTest, ADamagedIndexInEachOfItsPartsLeavesTheSearchAnsweringAndIsBuiltAnew) {
    auto t = fileList();
    for (int i = 0; i < 300; ++i)
        add(*t, "/m" + std::to_string(i % 7) + "/",
            (i % 5 ? "bild" : "ReadMe") + std::to_string(i));
    exclusively(*t, [&] { t->buildTrigramIndex("Dateiname"); });
    const Result good = search("README");
    ASSERT_EQ(good.plan, kIndexPlan);
    ASSERT_EQ(good.rows.size(), 60u);
    const std::string path = "/data/mv32list.tri";
    // Each damage is done to the file as the last rebuild left it.
    using Damage = std::function<std::string(const std::string&)>;
    auto cut = [](size_t keep) {
        return [keep](const std::string& b) { return b.substr(0, std::min(keep, b.size())); };
    };
    auto flip = [](std::function<size_t(const std::string&)> from,
                   std::function<size_t(const std::string&)> to) {
        return [from, to](const std::string& b) {
            std::string d = b;
            for (size_t i = from(b); i < to(b); ++i) d[i] = static_cast<char>(d[i] ^ 0x5A);
            return d;
        };
    };
    auto at = [](size_t n) { return [n](const std::string&) { return n; }; };
    const size_t dataStart = kHead + std::strlen("Dateiname");
    auto dirStart = [dataStart](const std::string& b) {
        return dataStart + store::get64(reinterpret_cast<const unsigned char*>(b.data()) + 48);
    };
    auto fromDir = [dirStart](size_t n) {
        return [dirStart, n](const std::string& b) { return dirStart(b) + n; };
    };
    const struct {
        const char* part;
        Damage damage;
    } cases[] = {
        {"leere Datei", cut(0)},
        {"im Kopf abgeschnitten", cut(40)},
        {"im Feldnamen abgeschnitten", cut(kHead + 3)},
        {"im Verzeichnis abgeschnitten",
         [](const std::string& b) { return b.substr(0, b.size() - 10); }},
        {"Kennung", flip(at(2), at(3))},
        {"Formatnummer", flip(at(8), at(9))},
        {"Länge des Feldnamens", flip(at(12), at(13))},
        {"Tabellenkennung", flip(at(17), at(18))},
        {"Zähler", flip(at(24), at(25))},
        {"Zahl der Datensätze", flip(at(33), at(34))},
        {"Zahl der Listen", flip(at(40), at(41))},
        {"Prüfsumme des Verzeichnisses", flip(at(45), at(46))},
        {"Lage des Verzeichnisses", flip(at(48), at(49))},
        {"Prüfsumme des Kopfes", flip(at(57), at(58))},
        {"Generation", flip(at(66), at(67))},
        {"Feldname", flip(at(kHead + 1), at(kHead + 2))},
        {"Listen", flip(at(dataStart), fromDir(0))},
        {"Verzeichnis", flip(fromDir(30), fromDir(31))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        fs->setContents(path, c.damage(fs->contents(path)));
        // The search leaves the file aside and reads every record.
        const Result r = search("README");
        EXPECT_EQ(r.plan, "Tabelle");
        EXPECT_EQ(r.rows, good.rows);
        t->open();
        EXPECT_EQ(t->trigramIndexField(), "");
        t->close();
        // The check names the file.
        EXPECT_NE(checked(*t).find("mv32list.tri"), std::string::npos) << checked(*t);
        // Rebuilding the indexes makes it anew, without reading it.
        exclusively(*t, [&] { t->regenerateIndexes(); });
        EXPECT_EQ(search("README").plan, kIndexPlan);
        EXPECT_EQ(search("README").rows, good.rows);
        EXPECT_EQ(checked(*t), "");
    }
}

TEST_F(TrigramDamageTest, AnIndexFromACopyOfTheListThatWentApartIsNotTakenForCurrent) {
    auto original = fileList("/data");
    add(*original, "/a/", "README.TXT");
    add(*original, "/b/", "bild.png");
    exclusively(*original, [&] { original->buildTrigramIndex("Dateiname"); });
    copyFiles("/data", "/kopie");
    auto copy = fileList("/kopie");
    copy->close();
    EXPECT_EQ(search("README", "/kopie").plan, kIndexPlan);  // the copy's index is its own

    // Both lists get one record more: the same table, counter and record count.
    original->open();
    add(*original, "/c/", "noch_ein_readme");
    exclusively(*original, [&] { original->buildTrigramIndex("Dateiname"); });
    copy->open();
    add(*copy, "/d/", "LIESMICH_README");
    copy->close();
    // The index of the one beside the other list's records.
    copyFiles("/data", "/kopie", {".tri"});
    const Result r = search("README", "/kopie");
    EXPECT_EQ(r.plan, "Tabelle");
    EXPECT_EQ(r.rows, (std::vector<std::string>{"/a/README.TXT", "/d/LIESMICH_README"}));
    EXPECT_EQ(search("LIESMICH", "/kopie").rows.size(), 1u);
    EXPECT_EQ(checked(*copy), "");  // stale, not damaged
    exclusively(*copy, [&] { copy->regenerateIndexes(); });
    EXPECT_EQ(search("README", "/kopie").plan, kIndexPlan);
    EXPECT_EQ(search("README", "/kopie").rows, r.rows);
    EXPECT_EQ(search("README", "/data").plan, kIndexPlan);
}

// The list and its index as a program wrote them before the list had a generation: the .db
// header without it, the index file of format 1.
void makeOld(test::MemFileSystem& fs) {
    using namespace store;
    std::string db = fs.contents("/data/mv32list.db");
    auto* p = reinterpret_cast<unsigned char*>(db.data());
    const size_t extra =
        kHdrDir + get16(p + kHdrDirCount) * kDirEntrySize + get16(p + kHdrBlockLen);
    std::memset(p + extra, 0, kHdrExtraSize);
    put32(p, crc32c(p + 4, kPageSize - 4));
    fs.setContents("/data/mv32list.db", db);

    const std::string tri = fs.contents("/data/mv32list.tri");
    std::string old = tri.substr(0, 64);
    auto* h = reinterpret_cast<unsigned char*>(old.data());
    put32(h + 8, 1);
    std::memset(h + 56, 0, 8);
    const std::string rest = tri.substr(kHead);  // the field name, the lists, the directory
    const uint32_t length = get32(h + 12);
    put32(h + 56, crc32c(crc32c(h, 56), rest.data(), length));
    fs.setContents("/data/mv32list.tri", old + rest);
}

TEST_F(TrigramDamageTest, AListWrittenBeforeItHadAGenerationHasAStaleIndexUntilItIsRebuilt) {
    auto t = fileList();
    add(*t, "/a/", "README.TXT");
    add(*t, "/b/", "bild.png");
    exclusively(*t, [&] { t->buildTrigramIndex("Dateiname"); });
    makeOld(*fs);
    const Result r = search("README");
    EXPECT_EQ(r.plan, "Tabelle");
    EXPECT_EQ(r.rows, std::vector<std::string>{"/a/README.TXT"});
    EXPECT_EQ(checked(*t), "");  // of an older format: stale, not damaged
    // The old file's head still names the field for the rebuild.
    exclusively(*t, [&] { t->regenerateIndexes(); });
    EXPECT_EQ(search("README").plan, kIndexPlan);
    EXPECT_EQ(search("README").rows, r.rows);
}

}  // namespace

}  // namespace mv32::engine
