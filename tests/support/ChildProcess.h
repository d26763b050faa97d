// Parts of a test that must end, be killed or race another process run in a child process: the
// test program started again for the same test (its name as --gtest_filter), with the part and
// its arguments in the environment. Both systems start the child alike (Windows has no fork),
// so the same tests mean the same on both; only a child that runs one part over files nobody
// else has open (a crash point) may be a copy of the test program where fork exists.
//
// In the child, the test finds its part with childPart() first thing, does it and ends with
// endChild(), before anything else of the test runs. The child reports through files: reports
// appended to the file the parent named, and marker files for the steps the two wait for.
#pragma once

#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>

namespace mv32::test {

using ChildArgs = std::map<std::string, std::string>;

// The part this process was started for (its "part" argument), "" in a test's own run.
std::string childPart();
// The arguments the child was started with.
const ChildArgs& childArgs();
// Ends the child at once with `code`, as a crash would: no destructors, no test output.
[[noreturn]] void endChild(int code);
// Runs `body` in the child and ends it: 0 when the body returned, 2 when it threw.
template <typename F>
[[noreturn]] void runChild(F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Kindprozess (%s): %s\n", childPart().c_str(), e.what());
        endChild(2);
    } catch (...) {
        endChild(2);
    }
    endChild(0);
}

// Appends bytes to the child's report file (args "report"), each call at once.
void report(const void* bytes, size_t n);
// Creates an empty file, and waits until one exists (false when it took longer than `limit`).
void touchFile(const std::string& path);
bool waitForFile(const std::string& path,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(60000));

class Child {
public:
    // Starts the running test again, with `args` (among them "part"). Its standard output (the
    // test program's own lines) is dropped; its standard error is the parent's.
    explicit Child(const ChildArgs& args);
    // The same child, started where the system can as a copy of this process (fork) that runs
    // `part` at once: the crash tests start thousands of children, and a copy spares each the
    // start of the whole test program. `part` is what the test does for childPart() and ends the
    // child itself; where there is no fork the test program is started again as above.
    Child(const ChildArgs& args, const std::function<void()>& part);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Ends the child at once, as SIGKILL or TerminateProcess does.
    void kill();
    // Waits for its end: the exit code, or -1 when it was killed.
    int wait();

private:
    struct Handle;
    Handle* h_;
    bool done_ = false;
    int code_ = 0;
};

// Reads a whole file ("" when there is none).
std::string readReport(const std::string& path);

}  // namespace mv32::test
