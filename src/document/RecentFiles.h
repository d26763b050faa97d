// The list of the five catalog files opened last, most recent first, kept in the settings store
// section "MRUList" as the values "Datei1" … "Datei5".
#pragma once

#include <string>
#include <vector>

#include "document/SettingsStore.h"

namespace mv32::document {

class RecentFiles {
public:
    static constexpr size_t kMaxEntries = 5;

    explicit RecentFiles(SettingsStore& store) : store_(store) {}

    // Reads the list from the store; an unreadable store gives an empty list.
    void load();
    // Puts the path at the top (removing it further down) and writes the list.
    void add(const std::string& path);
    const std::vector<std::string>& paths() const { return paths_; }

private:
    SettingsStore& store_;
    std::vector<std::string> paths_;
};

}  // namespace mv32::document
