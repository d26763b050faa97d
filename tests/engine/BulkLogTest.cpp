// Bulk posts reach the log as logical frames; an insert right after an insert is logged as its
// difference from that one. A process that ends without ending its group leaves only these
// frames: the next open executes them again and must come to the same records, whatever the
// inserts shared, and whatever other posts came between them.
#include <gtest/gtest.h>

#include <compare>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/Table.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

struct FileRow {
    std::string dir, name;
    int64_t size;
    std::string label;
    auto operator<=>(const FileRow&) const = default;
};

const char* const kKey = "Verzeichnis;Dateiname;Groesse;Label";

void create(const std::string& dir) {
    Table t;
    t.setDirectory(dir);
    t.setTableName("liste.db");
    t.setFieldDefs({{"Verzeichnis", FieldType::Text, 300},
                    {"Dateiname", FieldType::Text, 100},
                    {"Groesse", FieldType::Int64, 0},
                    {"Label", FieldType::Text, 11},
                    {"Notiz", FieldType::Text, 40}});
    t.createTable();
    t.addIndex("", kKey);
}

// One step of a workload: an insert, or a change (notes) or removal of an earlier row.
struct Step {
    enum Kind { Insert, Note, Remove } kind;
    FileRow row;
    std::string note;
};

// Rows that share their beginnings and ends in every way: the same folder, one folder the
// prefix of the next, names that differ only in the middle or only in their length, the
// same row but for its size or its medium; now and then a change or a removal between them.
std::vector<Step> workload(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Step> steps;
    std::vector<FileRow> stored;
    const std::vector<std::string> dirs = {
        "/media/A/", "/media/A/Fotos/",          "/media/A/Fotos/2019/", "/media/AB/",
        "/m/",       std::string(200, 'd') + "/"};
    const std::vector<std::string> labels = {"DISK1", "DISK10", "D", "DISK1A"};
    std::string dir = dirs[0];
    for (int i = 0; i < 400; ++i) {
        auto r = rng() % 20;
        if (r == 0 && !stored.empty()) {
            const FileRow& old = stored[rng() % stored.size()];
            steps.push_back({Step::Note, old, "geändert " + std::to_string(i)});
            continue;
        }
        if (r == 1 && !stored.empty()) {
            size_t k = rng() % stored.size();
            steps.push_back({Step::Remove, stored[k], {}});
            stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        if (r < 5) dir = dirs[rng() % dirs.size()];
        FileRow row{dir, "", static_cast<int64_t>(rng() % 3 == 0 ? 0 : rng()),
                    labels[rng() % labels.size()]};
        switch (rng() % 4) {
            case 0:
                row.name = "IMG_" + std::to_string(rng() % 100) + ".JPG";
                break;
            case 1:
                row.name = "IMG_" + std::to_string(rng() % 100);
                break;
            case 2:
                row.name = std::string(rng() % 5 + 1, 'x');
                break;
            default:
                row.name = stored.empty() ? "a" : stored.back().name;
        }
        bool taken = false;
        for (auto& s : stored) taken = taken || s == row;
        if (taken) continue;
        stored.push_back(row);
        steps.push_back({Step::Insert, row, {}});
    }
    return steps;
}

std::vector<Value> keyOf(const FileRow& r) {
    return {Value(r.dir), Value(r.name), Value(r.size), Value(r.label)};
}

// The child: runs the workload in one bulk group and ends without ending it.
void writer(const std::string& dir, uint32_t seed) {
    Table t;
    t.setDirectory(dir);
    t.setTableName("liste.db");
    t.open();
    t.beginBulk();
    for (const Step& s : workload(seed)) {
        if (s.kind == Step::Insert) {
            t.append();
            t.setAsString("Verzeichnis", s.row.dir);
            t.setAsString("Dateiname", s.row.name);
            t.setAsInteger("Groesse", s.row.size);
            t.setAsString("Label", s.row.label);
            t.post();
            continue;
        }
        if (!t.locate(kKey, keyOf(s.row))) throw std::runtime_error("Zeile fehlt");
        if (s.kind == Step::Remove) {
            t.remove();
        } else {
            t.edit();
            t.setAsString("Notiz", s.note);
            t.post();
        }
    }
    test::report("E", 1);
    // Ended as by a crash: the table is never closed, the group never ends.
    test::endChild(0);
}

}  // namespace

TEST(BulkLog, PostsOfAGroupThatNeverEndedComeBackAsPosted) {
    if (test::childPart() == "writer") {
        const auto& a = test::childArgs();
        test::runChild(
            [&] { writer(a.at("folder"), static_cast<uint32_t>(std::stoul(a.at("seed")))); });
    }
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        test::TempDir dir, reports;
        create(dir.path());
        const std::string done = reports.file("done");
        test::Child child({{"part", "writer"},
                           {"folder", dir.path()},
                           {"seed", std::to_string(seed)},
                           {"report", done}});
        ASSERT_EQ(child.wait(), 0) << "seed " << seed;
        ASSERT_EQ(test::readReport(done), "E") << "seed " << seed;

        std::map<FileRow, std::string> model;
        for (const Step& s : workload(seed)) {
            if (s.kind == Step::Insert) model[s.row] = "";
            if (s.kind == Step::Note) model[s.row] = s.note;
            if (s.kind == Step::Remove) model.erase(s.row);
        }
        Table t;
        t.setDirectory(dir.path());
        t.setTableName("liste.db");
        t.open();
        t.checkIntegrity();
        std::map<FileRow, std::string> stored;
        for (t.first(); !t.eof(); t.next()) {
            FileRow r{t.asString("Verzeichnis"), t.asString("Dateiname"), t.asInteger("Groesse"),
                      t.asString("Label")};
            stored[r] = t.asString("Notiz");
        }
        EXPECT_EQ(stored.size(), model.size()) << "seed " << seed;
        EXPECT_TRUE(stored == model) << "seed " << seed;
    }
}

}  // namespace mv32::engine
