#include "document/RecentFiles.h"

#include <exception>

namespace mv32::document {

namespace {
constexpr const char* kSection = "MRUList";
}

void RecentFiles::load() {
    paths_.clear();
    SettingsValues values;
    try {
        values = store_.readSection(kSection);
    } catch (const std::exception&) {
        return;  // the list is a convenience; an unreadable store leaves it empty
    }
    for (size_t i = 1; i <= kMaxEntries; ++i) {
        const std::string name = "Datei" + std::to_string(i);
        for (const auto& [n, v] : values) {
            if (n == name && !v.empty()) paths_.push_back(v);
        }
    }
}

void RecentFiles::add(const std::string& path) {
    std::vector<std::string> next{path};
    for (const auto& p : paths_) {
        if (p != path && next.size() < kMaxEntries) next.push_back(p);
    }
    paths_ = std::move(next);  // the list in this run follows even when it cannot be stored
    SettingsValues values;
    for (size_t i = 0; i < paths_.size(); ++i)
        values.emplace_back("Datei" + std::to_string(i + 1), paths_[i]);
    store_.replaceSection(kSection, values);
}

}  // namespace mv32::document
