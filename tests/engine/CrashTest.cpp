// The process ends at every file-system call of every scenario, and at every call of the
// recovery that follows such an end: the table then opens, passes the integrity check, and is
// as before or as after the operation, and after it whenever the operation had returned.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "Scenarios.h"
#include "engine/SystemPaths.h"
#include "engine/Table.h"
#include "support/ChildProcess.h"
#include "support/FaultFileSystem.h"
#include "support/TableState.h"
#include "support/TempDir.h"

namespace mv32::test {

namespace {

using FsPtr = std::shared_ptr<engine::FileSystem>;
// An operation on the table in `folder`; `returned` is called after each post that returned.
using Body =
    std::function<void(const FsPtr&, const std::string& folder, const std::function<void()>&)>;

// In a child started by crashAt: runs the body over the folder it was given, with the process
// ending at the file-system call it was given; each post that returned is reported.
[[noreturn]] void crashChild(const Body& body) {
    runChild([&] {
        auto f = std::make_shared<FaultFileSystem>(engine::FileSystem::real());
        f->arm(Fault::Crash, std::stoull(childArgs().at("call")), false);
        body(f, childArgs().at("folder"), [] { report("R", 1); });
    });
}

// Runs `body` (the test's part `which`) over `folder` in a child that ends at file-system call
// k; returns how many posts it reported as returned, and its exit code in *code.
int crashAt(uint64_t k, const std::string& which, const Body& body, const std::string& folder,
            const std::string& reports, int* code) {
    std::error_code ec;
    std::filesystem::remove(engine::paths::fsPath(reports), ec);
    Child child(
        {{"part", which}, {"call", std::to_string(k)}, {"folder", folder}, {"report", reports}},
        [&] { crashChild(body); });
    *code = child.wait();
    return static_cast<int>(readReport(reports).size());
}

uint64_t countCalls(const Body& body, const std::string& folder) {
    auto f = std::make_shared<FaultFileSystem>(engine::FileSystem::real());
    body(f, folder, [] {});
    return f->calls();
}

// A process ended by a crash point (77) or one that ran to its end (0).
bool endedAsPlanned(int code) {
    return code == 77 || code == 0;
}

uint64_t gCrashPoints = 0;

}  // namespace

// Index of the expected state the content equals, at least `atLeast`; -1 when none.
int matchState(const std::vector<std::string>& states, const std::string& content, int atLeast) {
    for (size_t m = static_cast<size_t>(atLeast); m < states.size(); ++m) {
        if (states[m] == content) return static_cast<int>(m);
    }
    return -1;
}

class CrashTest : public ::testing::TestWithParam<size_t> {};

TEST_P(CrashTest, EndingTheProcessAtEveryCallLeavesBeforeOrAfter) {
    Scenario sc = scenarios()[GetParam()];
    Body body = [&](const FsPtr& fs, const std::string& folder,
                    const std::function<void()>& returned) {
        sc.run(fs, folder, returned, sc.posts);
    };
    if (childPart() == "crash") crashChild(body);
    auto real = engine::FileSystem::real();
    TempDir base, work, reports;
    auto [before, states] = prepare(sc, base.path(), work.path());
    uint64_t calls = countCalls(body, work.path());
    for (uint64_t k = 1; k <= calls; ++k) {
        restore(work.path(), before);
        int code = 0;
        int returned = crashAt(k, "crash", body, work.path(), reports.file("posts"), &code);
        ASSERT_TRUE(endedAsPlanned(code)) << sc.name << ": the child failed at call " << k;
        std::string content;
        try {
            content = contentOf(real, work.path(), "t.db");
        } catch (const std::exception& e) {
            FAIL() << sc.name << ", end at call " << k << ": " << e.what();
        }
        ASSERT_GE(matchState(states, content, returned), 0)
            << sc.name << ", end at call " << k << ": not a state after " << returned
            << " or more of the " << sc.posts << " posts";
        ++gCrashPoints;
    }
    std::cout << "[ crash points ] " << sc.name << ": " << calls << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CrashTest, ::testing::Range<size_t>(0, scenarios().size()),
                         [](const auto& p) { return scenarios()[p.param].name; });

// A crash while the log's pages are written into the table files, then a crash at every call
// of the recovery that the next open runs.
TEST(CrashRecovery, EndingTheRecoveryAtEveryCallStillRecovers) {
    Scenario sc = scenarios()[0];
    Body body = [&](const FsPtr& fs, const std::string& folder,
                    const std::function<void()>& returned) { sc.run(fs, folder, returned, 1); };
    Body reopen = [](const FsPtr& fs, const std::string& folder,
                     const std::function<void()>& returned) {
        engine::Table t(fs);
        t.setDirectory(folder);
        t.setTableName("t.db");
        t.open();
        returned();
        t.close();
    };
    if (childPart() == "crash") crashChild(body);
    if (childPart() == "reopen") crashChild(reopen);
    auto real = engine::FileSystem::real();
    TempDir base, work, reports;
    const std::string posts = reports.file("posts");
    sc.setup(real, base.path());
    Files before = snapshot(base.path());
    std::string content0 = contentOf(real, base.path(), "t.db");
    restore(work.path(), before);
    uint64_t calls = countCalls(body, work.path());
    std::string content1 = contentOf(real, work.path(), "t.db");
    uint64_t points = 0;
    for (uint64_t k = 1; k <= calls; ++k) {
        restore(work.path(), before);
        int code = 0;
        crashAt(k, "crash", body, work.path(), posts, &code);
        Files crashed = snapshot(work.path());
        // Only states that leave work for the recovery are of interest here.
        auto wal = crashed.find("t.wal");
        if (wal == crashed.end() || wal->second.size() <= 64) continue;
        uint64_t recoveryCalls = countCalls(reopen, work.path());
        std::string expected = contentOf(real, work.path(), "t.db");
        ASSERT_TRUE(expected == content0 || expected == content1);
        for (uint64_t j = 1; j <= recoveryCalls; ++j) {
            restore(work.path(), crashed);
            crashAt(j, "reopen", reopen, work.path(), posts, &code);
            ASSERT_TRUE(endedAsPlanned(code))
                << "recovery child failed: end at call " << k << ", then at recovery call " << j;
            std::string content;
            try {
                content = contentOf(real, work.path(), "t.db");
            } catch (const std::exception& e) {
                FAIL() << "end at call " << k << ", then in the recovery at call " << j << ": "
                       << e.what();
            }
            ASSERT_TRUE(content == expected)
                << "end at call " << k << ", then at recovery call " << j;
            ++points;
        }
    }
    gCrashPoints += points;
    std::cout << "[ crash points ] recovery: " << points << std::endl;
    std::cout << "[ crash points ] all so far: " << gCrashPoints << std::endl;
}

}  // namespace mv32::test
