#include "scan/Descriptions.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <cerrno>

#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "engine/Text.h"
#include "scan/FileList.h"
#include "scan/ToolRunner.h"

namespace fs = std::filesystem;

namespace mv32::scan {

namespace {

// A description is short; a list of descriptions may describe thousands of files.
constexpr size_t kDizLimit = 64 * 1024;
constexpr size_t kFilesBbsLimit = 4 * 1024 * 1024;

bool kept(unsigned char c) {
    if (std::isalnum(c) && c < 128) return true;
    static const std::string punctuation = " !\"#$%&()*+,-./:;<=>?\\_\r\n";
    return punctuation.find(static_cast<char>(c)) != std::string::npos;
}

// The contents of a description file: only a regular file (a FIFO would wait for ever, a
// device like /dev/zero never end), and only up to `limit` bytes. A file_id.diz extracted from
// an archive is read only when it is itself a file of the extraction folder, never through a
// symbolic link the archive put there.
std::string readDescriptionFile(const std::string& path, size_t limit, bool followLinks) {
#ifndef _WIN32
    const int fd = ::open(path.c_str(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) throw std::runtime_error("nicht lesbar");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw std::runtime_error("keine Datei");
    }
    std::string text;
    char buf[16384];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            throw std::runtime_error("nicht lesbar");
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
#else
    (void)followLinks;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("nicht lesbar");
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
#endif
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

bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::string asText(const std::string& bytes) {
    return validUtf8(bytes) ? bytes : engine::text::fromWindows1252(bytes);
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
            // The list is Windows text: its names come from windows-1252, unless the list
            // was written as UTF-8.
            std::string name = asText(line.substr(0, blank));
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
        const std::string text = readDescriptionFile(path, kFilesBbsLimit, true);
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
            const ToolResult ran = runTool(command, into, limitMs);
            if (ran.failed) {  // logged once: the next tool would fail the same way
                if (hooks.log) hooks.log(kToolFailedText);
                break;
            }
            if (ran.started) break;
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
            for (const auto& line : splitLines(readDescriptionFile(found, kDizLimit, false)))
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
