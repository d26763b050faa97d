// An insert or a search right after another goes into the leaf the one before went into,
// without a descent, when the new record or the key sought belongs there. Records that come in
// order (ascending, descending), that alternate around a place, or that jump about must each land
// where the key order puts them, in single posts and in bulk, and the table must pass its integrity
// check afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/TempDir.h"

namespace mv32::engine {

namespace {

std::string keyOf(int n, int width) {
    char b[32];
    std::snprintf(b, sizeof b, "%0*d", width, n);
    return std::string("Datei ") + b;
}

struct Pattern {
    const char* name;
    std::function<std::vector<int>(int)> order;
};

std::vector<int> ascending(int n) {
    std::vector<int> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = i;
    return v;
}

}  // namespace

TEST(InsertOrder, RecordsLandInKeyOrderWhateverOrderTheyComeIn) {
    const std::vector<Pattern> patterns = {
        {"aufsteigend", ascending},
        {"absteigend",
         [](int k) {
             auto v = ascending(k);
             std::reverse(v.begin(), v.end());
             return v;
         }},
        // Around the middle, alternately one above and one below.
        {"abwechselnd",
         [](int k) {
             std::vector<int> v;
             for (int i = 0; i < k / 2; ++i) {
                 v.push_back(k / 2 + i);
                 v.push_back(k / 2 - 1 - i);
             }
             return v;
         }},
        // Runs of ascending keys that start at random places, as files of folders do.
        {"Läufe",
         [](int k) {
             std::vector<int> starts;
             for (int i = 0; i < k; i += 25) starts.push_back(i);
             std::shuffle(starts.begin(), starts.end(), std::mt19937(7));
             std::vector<int> v;
             for (int s : starts) {
                 for (int i = s; i < std::min(k, s + 25); ++i) v.push_back(i);
             }
             return v;
         }},
        {"zufällig",
         [](int k) {
             auto v = ascending(k);
             std::shuffle(v.begin(), v.end(), std::mt19937(11));
             return v;
         }},
    };
    for (const auto& p : patterns) {
        for (bool bulk : {false, true}) {
            // Single posts each commit on their own: fewer of them.
            const int n = bulk ? 3000 : 600;
            test::TempDir dir;
            Table t;
            t.setDirectory(dir.path());
            t.setTableName("folge.db");
            t.setFieldDefs({{"Name", FieldType::Text, 60}, {"Memo", FieldType::Text, 200}});
            t.createTable();
            t.addIndex("", "Name");
            t.open();
            if (bulk) t.beginBulk();
            std::set<std::string> model;
            for (int k : p.order(n)) {
                // Keys of two widths mix long and short entries, so that leaves split at
                // varying places.
                std::string name = keyOf(k, k % 3 == 0 ? 4 : 9);
                // Each is looked up first, as a scan does, and so is its neighbour below: the
                // search starts in the leaf of the insert before when it belongs there.
                const bool known = model.count(name) > 0;
                ASSERT_EQ(t.locate("Name", {Value(name)}), known) << p.name << " " << name;
                if (known) continue;
                if (k > 0) {
                    const std::string below = keyOf(k - 1, (k - 1) % 3 == 0 ? 4 : 9);
                    ASSERT_EQ(t.locate("Name", {Value(below)}), model.count(below) > 0)
                        << p.name << " " << below;
                }
                model.insert(name);
                t.append();
                t.setAsString("Name", name);
                t.setAsString("Memo", std::string(static_cast<size_t>(k % 150), 'm'));
                t.post();
            }
            if (bulk) t.endBulk();
            ASSERT_EQ(t.checkIntegrity().records, static_cast<int64_t>(model.size()))
                << p.name << (bulk ? " (Stapel)" : "");
            std::vector<std::string> stored;
            for (t.first(); !t.eof(); t.next()) stored.push_back(t.asString("Name"));
            EXPECT_TRUE(std::equal(stored.begin(), stored.end(), model.begin(), model.end()))
                << p.name << (bulk ? " (Stapel)" : "");
            // A key posted twice is refused wherever the insert before it went.
            t.append();
            t.setAsString("Name", *model.begin());
            EXPECT_THROW(t.post(), EngineError) << p.name;
            t.cancel();
            t.close();
        }
    }
}

}  // namespace mv32::engine
