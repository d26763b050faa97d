#include "document/SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/EngineError.h"
#include "platform/AtomicFile.h"

namespace mv32::document {

namespace {

std::string escape(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// A name also escapes "=", which ends it, and a first "[", ";" or "#", which would make the
// line a section header or a comment.
std::string escapeName(const std::string& n) {
    std::string out;
    if (!n.empty() && (n[0] == '[' || n[0] == ';' || n[0] == '#')) out += '\\';
    for (char c : n) {
        if (c == '=')
            out += "\\=";
        else
            out += escape(std::string(1, c));
    }
    return out;
}

// Where a line's name ends: the first "=" that is not escaped.
size_t nameEnd(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string::npos;
}

std::string unescape(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

void setIn(SettingsValues& values, const std::string& name, const std::string& value) {
    for (auto& [n, v] : values) {
        if (n == name) {
            v = value;
            return;
        }
    }
    values.emplace_back(name, value);
}

std::string systemError(const std::string& what, const std::string& path) {
    return what + " »" + path + "«: " + std::strerror(errno);
}

}  // namespace

IniSettingsStore::Sections IniSettingsStore::load() const {
    Sections sections;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return sections;
        throw std::runtime_error(
            systemError("Die Einstellungen können nicht gelesen werden:", path_));
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[' && line.back() == ']') {  // an escaped name never starts with "["
            sections.emplace_back(line.substr(1, line.size() - 2), SettingsValues{});
            continue;
        }
        size_t eq = nameEnd(line);
        if (eq == std::string::npos || sections.empty()) continue;  // not ours; ignored
        setIn(sections.back().second, unescape(line.substr(0, eq)), unescape(line.substr(eq + 1)));
    }
    if (in.bad()) {
        throw std::runtime_error(
            systemError("Die Einstellungen können nicht gelesen werden:", path_));
    }
    return sections;
}

void IniSettingsStore::save(const Sections& sections) const {
    std::ostringstream text;
    for (const auto& [name, values] : sections) {
        text << '[' << name << "]\n";
        for (const auto& [n, v] : values) text << escapeName(n) << '=' << escape(v) << '\n';
        text << '\n';
    }
    // A file that says this already stays as it is: the program writes the settings it read at
    // every start, and a rewrite would change nothing but cost a sync.
    if (platform::readWholeFile(path_) == text.str()) return;
    try {
        platform::writeFileAtomically(path_, text.str());
    } catch (const engine::EngineError& e) {
        // The kind goes along: a full medium is told apart from other failures.
        throw engine::EngineError(
            e.kind(), "Die Einstellungen können nicht gespeichert werden: " + std::string(e.what()),
            e.reason());
    }
}

std::optional<std::string> IniSettingsStore::read(const std::string& section,
                                                  const std::string& name) {
    for (const auto& [n, values] : load()) {
        if (n != section) continue;
        for (const auto& [vn, v] : values) {
            if (vn == name) return v;
        }
    }
    return std::nullopt;
}

SettingsValues IniSettingsStore::readSection(const std::string& section) {
    for (auto& [n, values] : load()) {
        if (n == section) return values;
    }
    return {};
}

void IniSettingsStore::write(const std::string& section, const SettingsValues& values) {
    Sections sections = load();
    SettingsValues* target = nullptr;
    for (auto& [n, v] : sections) {
        if (n == section) target = &v;
    }
    if (!target) target = &sections.emplace_back(section, SettingsValues{}).second;
    for (const auto& [n, v] : values) setIn(*target, n, v);
    save(sections);
}

void IniSettingsStore::replaceSection(const std::string& section, const SettingsValues& values) {
    Sections sections = load();
    bool found = false;
    for (auto& [n, v] : sections) {
        if (n == section) {
            v = values;
            found = true;
        }
    }
    if (!found) sections.emplace_back(section, values);
    save(sections);
}

std::optional<std::string> MemorySettingsStore::read(const std::string& section,
                                                     const std::string& name) {
    auto it = sections_.find(section);
    if (it == sections_.end()) return std::nullopt;
    for (const auto& [n, v] : it->second) {
        if (n == name) return v;
    }
    return std::nullopt;
}

SettingsValues MemorySettingsStore::readSection(const std::string& section) {
    auto it = sections_.find(section);
    return it == sections_.end() ? SettingsValues{} : it->second;
}

void MemorySettingsStore::write(const std::string& section, const SettingsValues& values) {
    ++writes_;
    for (const auto& [n, v] : values) setIn(sections_[section], n, v);
}

void MemorySettingsStore::replaceSection(const std::string& section, const SettingsValues& values) {
    ++writes_;
    sections_[section] = values;
}

}  // namespace mv32::document
