#include "document/FullDiskNotice.h"

#include <utility>

#include "engine/EngineError.h"

namespace mv32::document {

namespace {

// "A", "A und B", "A, B und C".
std::string listed(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += i + 1 == items.size() ? " und " : ", ";
        out += items[i];
    }
    return out;
}

}  // namespace

bool FullDiskNotice::diskFull(const std::exception& e) {
    const auto* engineError = dynamic_cast<const engine::EngineError*>(&e);
    return engineError && engineError->kind() == engine::ErrorKind::DiskFull;
}

bool FullDiskNotice::note(const std::exception& e, const std::string& what) {
    if (!diskFull(e)) return false;
    things_.push_back(what);
    return true;
}

bool FullDiskNotice::noteIndex(const std::exception& e, const std::string& name) {
    if (!diskFull(e)) return false;
    indexes_.push_back("»" + name + "«");
    return true;
}

std::string FullDiskNotice::take(const std::string& waitingLog) {
    std::vector<std::string> items;
    if (!indexes_.empty()) {
        items.push_back((indexes_.size() == 1 ? "der Index " : "die Indizes ") + listed(indexes_));
    }
    for (auto& t : things_) items.push_back(t);
    indexes_.clear();
    things_.clear();
    std::string text;
    if (!items.empty()) {
        const bool several = items.size() > 1 || items[0].rfind("die Indizes ", 0) == 0;
        text = "Der Datenträger ist voll: " + listed(items) + (several ? " konnten" : " konnte") +
               " nicht gespeichert werden.";
    }
    if (!waitingLog.empty()) text += (text.empty() ? "" : " ") + waitingLog;
    return text;
}

}  // namespace mv32::document
