// The operations that the crash, I/O-error and power-loss tests interrupt at every call.
//
// Each scenario builds a table "t.db" in a folder (the state before) and runs one operation on
// it through a given file system: open, change, close. Most operations are one post; bulk
// scenarios make `posts` posts, of which `limit` are carried out. `returned` is called as soon
// as a post has returned to the caller, so that the tests know it must survive.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::test {

struct Scenario {
    std::string name;
    int posts = 1;
    std::function<void(const std::shared_ptr<engine::FileSystem>&, const std::string& dir)> setup;
    std::function<void(const std::shared_ptr<engine::FileSystem>&, const std::string& dir,
                       const std::function<void()>& returned, int limit)>
        run;
};

std::vector<Scenario> scenarios();

// A scenario made ready in `work`: the files before it and the contents after 0, 1, ...
// `posts` posts; `base` is a scratch folder for building the state before.
struct Prepared {
    std::map<std::string, std::string> before;
    std::vector<std::string> states;
};
Prepared prepare(const Scenario& sc, const std::string& base, const std::string& work);

// The table's content after 0, 1, ... `posts` posts of the scenario, starting from `before`.
std::vector<std::string> expectedStates(const Scenario& sc, const std::string& dir,
                                        const std::map<std::string, std::string>& before);

}  // namespace mv32::test
