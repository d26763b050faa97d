// Power fails at every sync of a workload of single and bulk posts, over 20 seeds that decide
// which unsynced writes are lost, kept, torn or garbled: nothing synced is lost, and what comes
// back is a prefix of the completed posts without a hole.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/CacheLimit.h"
#include "support/FaultFileSystem.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

struct Outcome {
    int completed = 0;  // posts that returned
    int durable = 0;    // posts whose sync returned
};

std::string recName(int i) {
    char b[16];
    snprintf(b, sizeof b, "R%04d", i);
    return b;
}

Outcome workload(const std::shared_ptr<FileSystem>& fs) {
    Outcome out;
    try {
        Table t(fs);
        t.setDirectory("/p");
        t.setTableName("t.db");
        t.open();
        int i = 0;
        auto post = [&](bool bulk) {
            t.append();
            t.setAsString("Name", recName(i));
            t.setAsString("Memo", std::string(static_cast<size_t>(i % 7) * 2900, 'x'));
            t.post();
            ++i;
            out.completed = i;
            if (!bulk) out.durable = i;
        };
        for (int k = 0; k < 12; ++k) post(false);
        t.beginBulk();
        for (int k = 0; k < 30; ++k) post(true);
        t.endBulk();
        out.durable = i;
        for (int k = 0; k < 8; ++k) post(false);
        t.close();
    } catch (const EngineError&) {
        // The power failed.
    }
    return out;
}

}  // namespace

TEST(PowerLoss, NothingSyncedIsLostAndWhatRemainsIsAPrefix) {
    // A small cache makes the bulk posts spill their pages to the log before the group ends.
    test::CacheLimit small(128u << 10);
    // The number of syncs of the workload, counted once.
    auto makeBase = [] {
        auto mem = std::make_shared<test::MemFileSystem>();
        Table t(mem);
        t.setDirectory("/p");
        t.setTableName("t.db");
        t.setFieldDefs({{"Name", FieldType::Text, 20}, {"Memo", FieldType::Memo, 0}});
        t.createTable();
        t.addIndex("", "Name");
        return mem;
    };
    uint64_t syncs = 0;
    {
        auto mem = makeBase();
        auto f = std::make_shared<test::FaultFileSystem>(mem);
        f->arm(test::Fault::None, 0, false, true);
        workload(f);
        syncs = f->calls();
    }
    ASSERT_GT(syncs, 20u);
    int runs = 0;
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        for (uint64_t k = 1; k <= syncs; ++k) {
            auto mem = makeBase();
            auto f = std::make_shared<test::FaultFileSystem>(mem);
            f->arm(test::Fault::IoError, k, true, true);
            Outcome o = workload(f);
            std::mt19937_64 rng(seed * 1000003 + k);
            mem->powerLoss(rng);

            Table t(mem);
            t.setDirectory("/p");
            t.setTableName("t.db");
            try {
                t.open();
                t.checkIntegrity();
            } catch (const EngineError& e) {
                FAIL() << "seed " << seed << ", power lost at sync " << k << ": " << e.what();
            }
            std::set<std::string> present;
            for (t.first(); !t.eof(); t.next()) present.insert(t.asString("Name"));
            int m = static_cast<int>(present.size());
            for (int i = 0; i < m; ++i) {
                ASSERT_TRUE(present.count(recName(i)))
                    << "seed " << seed << ", sync " << k << ": hole at post " << i;
            }
            ASSERT_GE(m, o.durable) << "seed " << seed << ", sync " << k << ": lost synced posts";
            ASSERT_LE(m, o.completed + 1) << "seed " << seed << ", sync " << k;
            t.close();
            ++runs;
        }
    }
    std::cout << "[ power loss ] " << runs << " runs over 20 seeds, " << syncs << " syncs each"
              << std::endl;
}

}  // namespace mv32::engine
