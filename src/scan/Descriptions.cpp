#include "scan/Descriptions.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "engine/Text.h"
#include "scan/FileList.h"
#include "scan/ToolRunner.h"

namespace fs = std::filesystem;

namespace mv32::scan {

namespace {

bool kept(unsigned char c) {
    if (std::isalnum(c) && c < 128) return true;
    static const std::string punctuation = " !\"#$%&()*+,-./:;<=>?\\_\r\n";
    return punctuation.find(static_cast<char>(c)) != std::string::npos;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("nicht lesbar");
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) throw std::runtime_error("nicht lesbar");
    return s.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The archiver command lines of this platform: extraction into the private folder, the member
// in both usual spellings.
std::vector<std::vector<std::string>> commandsFor(const std::string& ext,
                                                  const std::string& archive,
                                                  const std::string& into) {
    if (ext == "ZIP")
        return {{"unzip", "-o", "-j", "-C", "-qq", archive, "file_id.diz", "-d", into}};
    if (ext == "ARJ") return {{"arj", "e", "-y", archive, "file_id.diz", "FILE_ID.DIZ"}};
    if (ext == "LZH") return {{"lha", "e", archive, "file_id.diz", "FILE_ID.DIZ"}};
    if (ext == "ARC")
        return {{"arc", "eo", archive, "file_id.diz"},
                {"nomarch", archive, "FILE_ID.DIZ", "file_id.diz"}};
    if (ext == "RAR")
        return {{"unrar-free", "-x", "-f", "--extract-no-paths", archive, "file_id.diz", into},
                {"unrar", "e", "-o+", "-y", "-inul", archive, "file_id.diz", into}};
    return {};
}

}  // namespace

std::string filterLine(const std::string& line) {
    std::string out;
    for (char ch : line) {
        if (kept(static_cast<unsigned char>(ch))) out += ch;
    }
    auto edge = [](char c) { return c == ' ' || static_cast<unsigned char>(c) < 32; };
    size_t b = 0, e = out.size();
    while (b < e && edge(out[b])) ++b;
    while (e > b && edge(out[e - 1])) --e;
    return out.substr(b, e - b);
}

std::vector<std::pair<std::string, std::string>> parseFilesBbs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> records;
    bool inRecord = false;
    for (const auto& line : splitLines(text)) {
        if (!line.empty() && isLetter(line[0])) {
            size_t blank = line.find(' ');
            std::string name = line.substr(0, blank);
            std::string description;
            if (blank != std::string::npos)
                description = " " + filterLine(line.substr(blank + 1)) + "\r\n";
            records.emplace_back(name, description);
            inRecord = true;
        } else if (!line.empty() && line[0] == ' ' && inRecord) {
            records.back().second += " " + filterLine(line.substr(1)) + "\r\n";
        }
        // any other line is skipped
    }
    return records;
}

void GetFileBBS(const std::string& path, const DescriptionHooks& hooks) {
    try {
        const std::string text = readAll(path);
        const auto lines = splitLines(text);
        if (hooks.progressStart) hooks.progressStart(static_cast<int64_t>(lines.size()));
        int64_t n = 0;
        for (const auto& [name, description] : parseFilesBbs(text)) {
            if (hooks.store) hooks.store(name, description);
            if (hooks.progress) hooks.progress(++n);
            if (hooks.processEvents) hooks.processEvents();
        }
        if (hooks.progress) hooks.progress(static_cast<int64_t>(lines.size()));
        if (hooks.progressEnd) hooks.progressEnd();
    } catch (const std::exception&) {
        if (hooks.progressEnd) hooks.progressEnd();
        if (hooks.log) hooks.log(path + " konnte nicht gelesen werden: Get FileBBS");
    }
}

void archiveDescription(const std::string& directory, const std::string& name,
                        const std::string& workFolder, const DescriptionHooks& hooks, int limitMs) {
    try {
        static std::atomic<unsigned> counter{0};
        const std::string into = workFolder + "auspacken-" + std::to_string(++counter) + "/";
        fs::create_directories(into);
        const std::string ext = engine::text::upper(FileList::extensionOf(name));
        for (const auto& command : commandsFor(ext, directory + name, into)) {
            if (runTool(command, into, limitMs).started) break;
        }
        // The member, whatever the spelling the archive keeps it in.
        std::string found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(into, ec)) {
            if (engine::text::upper(e.path().filename().string()) == "FILE_ID.DIZ")
                found = e.path().string();
        }
        std::string description;
        if (!found.empty()) {
            for (const auto& line : splitLines(readAll(found)))
                description += filterLine(line) + "\r\n";
        }
        fs::remove_all(into, ec);
        if (!found.empty() && hooks.store) hooks.store(name, description);
    } catch (const std::exception&) {
        // No description from this archive; the walk goes on.
    }
}

void hinzu2(document::CatalogDocument& doc, document::AutoSave& autoSave, const std::string& name,
            const std::string& description) {
    auto& st = doc.state();
    st.AutoSaveHold = true;
    try {
        engine::Table& t = doc.MV32();
        if (t.locate("Name", {engine::Value(name)}))
            t.edit();
        else
            t.append();
        t.setAsString("Name", name);
        t.setAsString("Memo", description);
        t.post();
    } catch (...) {
        st.AutoSaveHold = false;
        throw;
    }
    autoSave.descriptionStored();
}

}  // namespace mv32::scan
