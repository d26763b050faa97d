// The process ends at every file-system call of every scenario, and at every call of the
// recovery that follows such an end: the table then opens, passes the integrity check, and is
// as before or as after the operation, and after it whenever the operation had returned.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "Scenarios.h"
#include "engine/Table.h"
#include "support/FaultFileSystem.h"
#include "support/TableState.h"
#include "support/TempDir.h"

namespace mv32::test {

namespace {

using FsPtr = std::shared_ptr<engine::FileSystem>;

// Runs `body` in a child that ends at file-system call k; returns how many posts it reported
// as returned.
int crashAt(uint64_t k, const std::function<void(const FsPtr&, const std::function<void()>&)>& body,
            int* status) {
    int fds[2];
    if (pipe(fds) != 0) abort();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        auto f = std::make_shared<FaultFileSystem>(engine::FileSystem::real());
        f->arm(Fault::Crash, k, false);
        // The child must end here, whatever happens: it is a copy of the whole test run.
        try {
            body(f, [&] {
                if (write(fds[1], "R", 1) != 1) _exit(3);
            });
        } catch (const std::exception& e) {
            fprintf(stderr, "Kindprozess, Aufruf %llu: %s\n", static_cast<unsigned long long>(k),
                    e.what());
            _exit(2);
        } catch (...) {
            _exit(2);
        }
        _exit(0);
    }
    close(fds[1]);
    char c = 0;
    int returned = 0;
    while (read(fds[0], &c, 1) == 1) ++returned;
    close(fds[0]);
    waitpid(pid, status, 0);
    return returned;
}

uint64_t countCalls(const std::function<void(const FsPtr&, const std::function<void()>&)>& body) {
    auto f = std::make_shared<FaultFileSystem>(engine::FileSystem::real());
    body(f, [] {});
    return f->calls();
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
    auto real = engine::FileSystem::real();
    TempDir base, work;
    auto [before, states] = prepare(sc, base.path(), work.path());
    auto body = [&](const FsPtr& fs, const std::function<void()>& returned) {
        sc.run(fs, work.path(), returned, sc.posts);
    };
    uint64_t calls = countCalls(body);
    for (uint64_t k = 1; k <= calls; ++k) {
        restore(work.path(), before);
        int status = 0;
        int returned = crashAt(k, body, &status);
        ASSERT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 0))
            << sc.name << ": the child failed at call " << k;
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
    auto real = engine::FileSystem::real();
    TempDir base, work;
    Scenario sc = scenarios()[0];
    sc.setup(real, base.path());
    Files before = snapshot(base.path());
    std::string content0 = contentOf(real, base.path(), "t.db");
    restore(work.path(), before);
    auto body = [&](const FsPtr& fs, const std::function<void()>& returned) {
        sc.run(fs, work.path(), returned, 1);
    };
    uint64_t calls = countCalls(body);
    std::string content1 = contentOf(real, work.path(), "t.db");
    auto reopen = [&](const FsPtr& fs, const std::function<void()>& returned) {
        engine::Table t(fs);
        t.setDirectory(work.path());
        t.setTableName("t.db");
        t.open();
        returned();
        t.close();
    };
    uint64_t points = 0;
    for (uint64_t k = 1; k <= calls; ++k) {
        restore(work.path(), before);
        int status = 0;
        crashAt(k, body, &status);
        Files crashed = snapshot(work.path());
        // Only states that leave work for the recovery are of interest here.
        auto wal = crashed.find("t.wal");
        if (wal == crashed.end() || wal->second.size() <= 64) continue;
        uint64_t recoveryCalls = countCalls(reopen);
        std::string expected = contentOf(real, work.path(), "t.db");
        ASSERT_TRUE(expected == content0 || expected == content1);
        for (uint64_t j = 1; j <= recoveryCalls; ++j) {
            restore(work.path(), crashed);
            crashAt(j, reopen, &status);
            ASSERT_TRUE(WIFEXITED(status) &&
                        (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 0))
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
