// The file list both benchmarks use: a deterministic walk over made-up media.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct FileRecord {
    std::string dir, name, ext;
    int64_t size;
    std::string label, volid;
};

// A deterministic tree walk over made-up media: folders of photos, music, projects and
// software, visited depth first with the files of a folder in no particular order. The list is
// produced on the fly, so that it takes no memory of its own in the measured processes.
class FileWalk {
public:
    explicit FileWalk(size_t count) : count_(count), rng_(20261208) {}

    bool next(FileRecord& f) {
        while (produced_ < count_) {
            if (pendingFiles_ > 0) {
                --pendingFiles_;
                std::string name =
                    std::string(kStems[pick(std::size(kStems))]) + std::to_string(pick(5000));
                std::string ext = kExts[pick(std::size(kExts))];
                if (!ext.empty()) name += "." + ext;
                f.dir = dir_;
                f.name = std::move(name);
                f.ext = ext.substr(0, 5);
                f.size = static_cast<int64_t>(rng_() % (1u << (4 + pick(24))));
                f.label = label_;
                f.volid = volid_;
                ++produced_;
                ++inVolume_;
                return true;
            }
            if (!enterNextFolder()) startVolume();
        }
        return false;
    }

private:
    static constexpr const char* kWords[] = {
        "Fotos",  "Urlaub",     "Italien", "Musik",   "Projekte",  "Rechnungen", "Dokumente",
        "Spiele", "Treiber",    "Backup",  "Archiv",  "Programme", "Bilder",     "Videos",
        "Schule", "Arbeit",     "src",     "include", "lib",       "bin",        "build",
        "docs",   "test",       "assets",  "Sommer",  "Winter",    "Familie",    "Garten",
        "Haus",   "Auto",       "Steuer",  "2017",    "2018",      "2019",       "2020",
        "2021",   "Sicherung",  "Alt",     "Neu",     "Entwurf",   "Vorlagen",   "Briefe",
        "Kunden", "Lieferanten"};
    static constexpr const char* kStems[] = {
        "IMG_",      "DSC",     "README",  "readme",  "Brief",  "Rechnung", "setup",
        "install",   "main",    "index",   "Notizen", "Liste",  "track",    "Kapitel",
        "scan",      "Vertrag", "Foto",    "daten",   "config", "Makefile", "LICENSE",
        "changelog", "bericht", "tabelle", "folie"};
    static constexpr const char* kExts[] = {"JPG", "jpg",  "txt", "pdf",    "doc", "mp3",
                                            "cpp", "h",    "exe", "dll",    "zip", "png",
                                            "xls", "html", "",    "backup", "ini", "dat"};

    size_t pick(size_t n) { return static_cast<size_t>(rng_() % n); }

    void startVolume() {
        char label[12], volid[9];
        snprintf(label, sizeof label, "DISK%03d", volume_);
        snprintf(volid, sizeof volid, "%08X", static_cast<unsigned>(0x1A2B0000u + volume_ * 7919u));
        label_ = label;
        volid_ = volid;
        ++volume_;
        inVolume_ = 0;
        stack_.clear();
        stack_.push_back({"/media/" + label_ + "/", 0});
    }

    bool enterNextFolder() {
        if (stack_.empty() || inVolume_ >= 100000) return false;
        auto [dir, depth] = stack_.back();
        stack_.pop_back();
        dir_ = dir;
        pendingFiles_ = pick(depth == 0 ? 5 : 40);
        size_t subdirs = depth >= 7 ? 0 : pick(depth < 2 ? 12 : 6) + (depth < 3 ? 2 : 0);
        for (size_t i = 0; i < subdirs; ++i) {
            std::string sub = dir + kWords[pick(std::size(kWords))];
            if (pick(3) == 0) sub += " " + std::to_string(pick(100));
            stack_.push_back({sub + "/", depth + 1});
        }
        if (stack_.empty()) stack_.push_back({dir + "Weitere/", 1});
        return true;
    }

    size_t count_;
    size_t produced_ = 0;
    size_t inVolume_ = 0;
    std::mt19937_64 rng_;
    int volume_ = 0;
    std::string label_, volid_, dir_;
    size_t pendingFiles_ = 0;
    std::vector<std::pair<std::string, int>> stack_;
};

}  // namespace bench
