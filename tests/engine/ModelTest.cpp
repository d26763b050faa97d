// Long random sequences of changes, compared after every step with a std::map model.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

struct Rec {
    int nr;
    std::string kat;
    std::string memo;
};

// Model keys as the engine orders them: texts by their bytes.
using Model = std::map<std::string, Rec>;

class Checker {
public:
    Checker(Table& t, Model& m, std::mt19937_64& rng) : t_(t), m_(m), rng_(rng) {}

    void all(const std::string& index) {
        ASSERT_EQ(t_.recordCount(), static_cast<int64_t>(m_.size()));
        std::vector<std::string> want = order(index);
        std::vector<std::string> got;
        for (t_.first(); !t_.eof(); t_.next()) got.push_back(t_.asString("Name"));
        ASSERT_EQ(got, want) << "order of " << (index.empty() ? "primary" : index);
        // Positions both ways, and a few records checked field by field.
        for (int probe = 0; probe < 5 && !want.empty(); ++probe) {
            size_t i = static_cast<size_t>(rng_() % want.size());
            t_.moveTo(static_cast<int64_t>(i) + 1);
            ASSERT_EQ(t_.asString("Name"), want[i]);
            ASSERT_EQ(t_.recNo(), static_cast<int64_t>(i) + 1);
            const Rec& r = m_.at(want[i]);
            ASSERT_EQ(t_.asInteger("Nr"), r.nr);
            ASSERT_EQ(t_.asString("Kat"), r.kat);
            ASSERT_EQ(t_.asString("Memo"), r.memo);
        }
    }

    std::vector<std::string> order(const std::string& index) {
        std::vector<std::pair<std::string, std::string>> keyed;
        for (auto& [name, r] : m_) {
            std::string k;
            char nr[16];
            snprintf(nr, sizeof nr, "%08d", r.nr + 50000000);
            if (index == "NrIndex")
                k = std::string(nr) + '\1' + name;
            else if (index == "KatIndex")
                k = r.kat + '\1' + name;
            else
                k = name;
            keyed.emplace_back(k, name);
        }
        std::sort(keyed.begin(), keyed.end());
        std::vector<std::string> out;
        for (auto& [k, n] : keyed) out.push_back(n);
        return out;
    }

private:
    Table& t_;
    Model& m_;
    std::mt19937_64& rng_;
};

void runModel(uint64_t seed, int steps) {
    auto fs = std::make_shared<test::MemFileSystem>();
    std::mt19937_64 rng(seed);
    auto t = std::make_unique<Table>(fs);
    t->setDirectory("/m");
    t->setTableName("model.db");
    t->setFieldDefs({{"Name", FieldType::Text, 4096},
                     {"Nr", FieldType::Int32, 0},
                     {"Kat", FieldType::Text, 40},
                     {"Memo", FieldType::Memo, 0}});
    t->createTable();
    t->addIndex("", "Name");
    t->setExclusive(true);
    t->open();
    Model m;
    Checker check(*t, m, rng);
    std::vector<std::string> indexes{""};
    std::string current;

    auto randomName = [&] {
        // Long shared beginnings make prefix coding and overflow pages work.
        static const char* stems[] = {"a", "programm", "Programm", "ä", "/sehr/langer/pfad/"};
        std::string n = stems[rng() % 5];
        if (rng() % 20 == 0) n += std::string(1200 + rng() % 2000, 'x');
        n += std::to_string(rng() % 3000);
        return n;
    };
    auto randomMemo = [&] {
        switch (rng() % 4) {
            case 0:
                return std::string();
            case 1:
                return std::string("kurz");
            case 2:
                return std::string(rng() % 3000, 'm');
            default:
                return std::string(5000 + rng() % 20000, 'M');
        }
    };

    for (int step = 0; step < steps; ++step) {
        int op = static_cast<int>(rng() % 100);
        if (op < 45) {  // insert
            std::string name = randomName();
            Rec r{static_cast<int>(rng() % 200) - 100, "K" + std::to_string(rng() % 7),
                  randomMemo()};
            t->append();
            t->setAsString("Name", name);
            t->setAsInteger("Nr", r.nr);
            t->setAsString("Kat", r.kat);
            t->setAsString("Memo", r.memo);
            if (m.count(name)) {
                ASSERT_THROW(t->post(), EngineError);
                t->cancel();
            } else {
                t->post();
                m[name] = r;
            }
        } else if (op < 65 && !m.empty()) {  // edit, sometimes the key
            auto it = std::next(m.begin(), static_cast<long>(rng() % m.size()));
            ASSERT_TRUE(t->locate("Name", {it->first}));
            t->edit();
            Rec r = it->second;
            std::string name = it->first;
            if (rng() % 3 == 0) name = randomName();
            if (rng() % 2) r.nr = static_cast<int>(rng() % 200) - 100;
            if (rng() % 2) r.kat = "K" + std::to_string(rng() % 7);
            if (rng() % 2) r.memo = randomMemo();
            t->setAsString("Name", name);
            t->setAsInteger("Nr", r.nr);
            t->setAsString("Kat", r.kat);
            t->setAsString("Memo", r.memo);
            if (name != it->first && m.count(name)) {
                ASSERT_THROW(t->post(), EngineError);
                t->cancel();
            } else {
                t->post();
                m.erase(it);
                m[name] = r;
            }
        } else if (op < 85 && !m.empty()) {  // delete
            auto it = std::next(m.begin(), static_cast<long>(rng() % m.size()));
            ASSERT_TRUE(t->locate("Name", {it->first}));
            t->remove();
            m.erase(it);
        } else if (op < 90) {  // add or drop an index
            std::string ix = rng() % 2 ? "NrIndex" : "KatIndex";
            bool present = std::find(indexes.begin(), indexes.end(), ix) != indexes.end();
            if (present) {
                if (current == ix) {
                    t->setIndexName("");
                    current.clear();
                }
                t->deleteIndex(ix);
                indexes.erase(std::find(indexes.begin(), indexes.end(), ix));
            } else {
                t->addIndex(ix, ix == "NrIndex" ? "Nr;Name" : "Kat;Name");
                indexes.push_back(ix);
            }
        } else if (op < 95) {  // change the order
            current = indexes[rng() % indexes.size()];
            t->setIndexName(current);
        } else if (op < 97) {  // reopen
            t->close();
            t->open();
            t->setIndexName(current);
        } else {
            std::string name = randomName();
            bool found = t->locate("Name", {name});
            ASSERT_EQ(found, m.count(name) > 0);
        }
        ASSERT_NO_FATAL_FAILURE(check.all(current)) << "step " << step << " seed " << seed;
        if (step % 250 == 249) t->checkIntegrity();
    }
    t->packTable();
    ASSERT_NO_FATAL_FAILURE(check.all(current));
    t->checkIntegrity();
}

}  // namespace

TEST(Model, RandomChangesMatchAMapModel) {
    for (uint64_t seed : {1u, 2u, 3u}) {
        ASSERT_NO_FATAL_FAILURE(runModel(seed, 600)) << "seed " << seed;
    }
}

}  // namespace mv32::engine
