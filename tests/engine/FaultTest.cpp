// An I/O error, a full disk or a short write at every file-system call of every scenario,
// once and from then on: the caller gets a German message, nothing crashes, and after
// reopening the table is as before or after the operation.
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/FaultFileSystem.h"
#include "support/MemFileSystem.h"
#include "support/TableState.h"
#include "support/TempDir.h"

namespace mv32::test {

class FaultTest : public ::testing::TestWithParam<size_t> {};

TEST_P(FaultTest, FailingCallsLeaveBeforeOrAfter) {
    Scenario sc = scenarios()[GetParam()];
    auto real = engine::FileSystem::real();
    TempDir base, work;
    auto [before, states] = prepare(sc, base.path(), work.path());
    auto counter = std::make_shared<FaultFileSystem>(real);
    sc.run(
        counter, work.path(), [] {}, sc.posts);
    uint64_t calls = counter->calls();

    struct Mode {
        Fault fault;
        bool permanent;
    };
    const Mode modes[] = {{Fault::IoError, false},
                          {Fault::IoError, true},
                          {Fault::DiskFull, false},
                          {Fault::ShortWrite, true}};
    for (const Mode& mode : modes) {
        for (uint64_t k = 1; k <= calls; ++k) {
            restore(work.path(), before);
            auto f = std::make_shared<FaultFileSystem>(real);
            f->arm(mode.fault, k, mode.permanent);
            int returned = 0;
            try {
                sc.run(
                    f, work.path(), [&] { ++returned; }, sc.posts);
            } catch (const engine::EngineError& e) {
                std::string msg = e.what();
                EXPECT_TRUE(msg.find("Datei") != std::string::npos ||
                            msg.find("Tabelle") != std::string::npos)
                    << msg;
            } catch (const std::exception& e) {
                FAIL() << sc.name << " call " << k << ": not an engine error: " << e.what();
            }
            std::string content;
            try {
                content = contentOf(real, work.path(), "t.db");
            } catch (const std::exception& e) {
                FAIL() << sc.name << ", fault at call " << k << ": " << e.what();
            }
            bool ok = false;
            for (size_t m = static_cast<size_t>(returned); m < states.size(); ++m)
                ok = ok || states[m] == content;
            ASSERT_TRUE(ok) << sc.name << ", fault at call " << k << ": not a state after "
                            << returned << " or more posts";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultTest, ::testing::Range<size_t>(0, scenarios().size()),
                         [](const auto& p) { return scenarios()[p.param].name; });

TEST(FailedSync, MarksTheHandleFailedUntilItIsReopened) {
    auto mem = std::make_shared<MemFileSystem>();
    auto f = std::make_shared<FaultFileSystem>(mem);
    engine::Table t(f);
    t.setDirectory("/x");
    t.setTableName("t.db");
    t.setFieldDefs({{"Name", engine::FieldType::Text, 20}});
    t.createTable();
    t.addIndex("", "Name");
    t.open();
    t.append();
    t.setAsString("Name", "eins");
    t.post();
    // The next post's sync fails: the post is reported failed, and so is every later use.
    f->arm(Fault::IoError, 1, false, true);
    t.append();
    t.setAsString("Name", "zwei");
    EXPECT_THROW(t.post(), engine::EngineError);
    EXPECT_TRUE(f->fired());
    f->disarm();
    t.cancel();
    t.append();
    t.setAsString("Name", "drei");
    try {
        t.post();
        FAIL() << "a failed handle accepted a post";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.kind(), engine::ErrorKind::Failed);
        EXPECT_NE(std::string(e.what()).find("neu geöffnet"), std::string::npos);
    }
    t.cancel();
    try {
        t.close();
    } catch (const engine::EngineError&) {
    }
    t.open();
    t.checkIntegrity();
    EXPECT_GE(t.recordCount(), 1);  // "zwei" is there or not: its sync failed
    EXPECT_LE(t.recordCount(), 2);
}

}  // namespace mv32::test
