#include "scan/ScannedMedia.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/EngineError.h"
#include "engine/Text.h"
#include "platform/AtomicFile.h"

namespace mv32::scan {

std::vector<std::string> ScannedMedia::lines() const {
    std::vector<std::string> out;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return out;
        throw std::runtime_error("Die Liste der gescannten Datenträger »" + path_ +
                                 "« kann nicht gelesen werden: " + std::strerror(errno));
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(engine::text::fromWindows1252(line));
    }
    return out;
}

bool ScannedMedia::contains(const std::string& label, const std::string& serial) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), label + serial) != all.end();
}

void ScannedMedia::ensureExists() const {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) write({});
}

void ScannedMedia::append(const std::string& label, const std::string& serial) const {
    auto all = lines();
    all.push_back(label + serial);
    write(all);
}

void ScannedMedia::remove(const std::string& label, const std::string& serial) const {
    auto all = lines();
    all.erase(std::remove(all.begin(), all.end(), label + serial), all.end());
    write(all);
}

void ScannedMedia::deleteFile() const {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

std::string ScannedMedia::displayForm(const std::string& line) {
    if (line.size() < 8) return line;
    return line.substr(0, line.size() - 8) + " - " + line.substr(line.size() - 8);
}

void ScannedMedia::write(const std::vector<std::string>& all) const {
    std::string data;
    for (const auto& l : all) data += engine::text::toWindows1252(l) + "\r\n";
    try {
        platform::writeFileAtomically(path_, data);
    } catch (const engine::EngineError& e) {
        throw std::runtime_error("Die Liste der gescannten Datenträger »" + path_ +
                                 "« kann nicht geschrieben werden: " +
                                 (e.reason().empty() ? std::string(e.what()) : e.reason()) + ".");
    }
}

}  // namespace mv32::scan
