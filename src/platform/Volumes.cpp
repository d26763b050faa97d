#include "platform/Volumes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Paths.h"

#ifndef _WIN32
#include <blkid/blkid.h>
#include <sys/statvfs.h>
#endif

namespace fs = std::filesystem;

namespace mv32::platform {

namespace {

// Filesystems that hold no media of the person's.
bool pseudoType(const std::string& t) {
    static const char* const kTypes[] = {
        "proc",        "sysfs",   "devtmpfs", "devpts",     "tmpfs",   "cgroup",
        "cgroup2",     "pstore",  "bpf",      "securityfs", "debugfs", "tracefs",
        "configfs",    "fusectl", "mqueue",   "hugetlbfs",  "autofs",  "binfmt_misc",
        "rpc_pipefs",  "nsfs",    "efivarfs", "squashfs",   "ramfs",   "fuse.gvfsd-fuse",
        "fuse.portal", "overlay", "nfsd",     "selinuxfs",  "devfs",   "fuse.lxcfs"};
    for (const char* k : kTypes) {
        if (t == k) return true;
    }
    return false;
}

bool systemMountPoint(const std::string& m) {
    auto under = [&](const char* prefix) {
        const std::string p = prefix;
        return m == p || m.rfind(p + "/", 0) == 0;
    };
    if (under("/run/media")) return false;  // removable media mounted by the desktop
    return under("/proc") || under("/sys") || under("/dev") || under("/run") || under("/boot") ||
           under("/snap") || under("/var/lib/docker") || under("/var/snap") || under("/tmp");
}

// mountinfo escapes blanks and a few other characters as \ooo.
std::string unescapeOctal(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// by-label names escape characters as \xHH.
std::string unescapeHex(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string cutLabel(std::string label) {
    // At most 11 characters (the label field's width); a UTF-8 sequence is never split.
    size_t chars = 0, i = 0;
    while (i < label.size() && chars < 11) {
        unsigned char c = static_cast<unsigned char>(label[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        i += len;
        ++chars;
    }
    label.resize(std::min(i, label.size()));
    return label;
}

std::vector<Volume> declaredVolumes(const std::string& file) {
    std::vector<Volume> out;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string part;
        while (std::getline(s, part, '\t')) f.push_back(part);
        if (f.size() < 2 || f[0].empty()) continue;
        Volume v;
        v.declared = true;
        v.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(f[0][0])));
        // No root folder: a drive without a medium (never the whole machine).
        v.root = f[1].empty() ? std::string() : withTrailingSeparator(f[1]);
        v.label = f.size() > 2 ? cutLabel(f[2]) : std::string();
        v.serial = f.size() > 3 && !f[3].empty()
                       ? static_cast<uint32_t>(std::strtoul(f[3].c_str(), nullptr, 16))
                       : 0;
        v.total = f.size() > 4 ? std::strtoull(f[4].c_str(), nullptr, 10) : 0;
        v.free = f.size() > 5 ? std::strtoull(f[5].c_str(), nullptr, 10) : 0;
        out.push_back(v);
    }
    std::sort(out.begin(), out.end(),
              [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    return out;
}

// Label and UUID of a device from the links udev keeps, for devices a normal user cannot read.
std::optional<VolumeIdentity> fromLinks(const std::string& device, const std::string& fsType) {
    std::error_code ec;
    const fs::path dev = fs::weakly_canonical(device, ec);
    VolumeIdentity id;
    bool found = false;
    for (const char* dir : {"/dev/disk/by-label", "/dev/disk/by-uuid"}) {
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            if (fs::weakly_canonical(e.path(), ec) != dev) continue;
            const std::string name = unescapeHex(e.path().filename().string());
            if (std::string(dir).find("label") != std::string::npos) {
                id.label = cutLabel(name);
            } else if (auto s = Volumes::serialFromUuid(fsType, name)) {
                id.serial = *s;
            }
            found = true;
        }
    }
    if (!found) return std::nullopt;
    return id;
}

}  // namespace

std::string serialText(uint32_t serial) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", serial);
    return buf;
}

uint32_t hash32(const std::string& text) {
    uint32_t h = 2166136261u;
    for (char ch : text) {
        h ^= static_cast<unsigned char>(ch);
        h *= 16777619u;
    }
    return h;
}

std::optional<uint32_t> Volumes::serialFromUuid(const std::string& fsType,
                                                const std::string& uuid) {
    if (uuid.empty()) return std::nullopt;
    std::string hex;
    for (char c : uuid) {
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
    const bool fat = fsType == "vfat" || fsType == "msdos" || fsType == "exfat" || fsType == "fat";
    if (fat && hex.size() == 8 && uuid.size() == 9 && uuid[4] == '-')
        return static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    if (fsType == "ntfs" && hex.size() == 16)
        return static_cast<uint32_t>(std::strtoul(hex.substr(8).c_str(), nullptr, 16));
    return hash32(uuid);
}

std::vector<Volume> Volumes::list(const LetterMemory& memory, const std::string& mountinfo) {
    if (const char* declared = std::getenv("MV32_VOLUMES"); declared && *declared)
        return declaredVolumes(declared);

    std::vector<Volume> found;
    std::ifstream in(mountinfo.empty() ? "/proc/self/mountinfo" : mountinfo);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::vector<std::string> f;
        std::string part;
        while (s >> part) f.push_back(part);
        auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || f.end() - dash < 3) continue;
        Volume v;
        const std::string mountPoint = unescapeOctal(f[4]);
        v.fsType = *(dash + 1);
        v.device = unescapeOctal(*(dash + 2));
        // The root is drive C whatever it is (an overlay in a container, for instance).
        if (mountPoint != "/" && (pseudoType(v.fsType) || systemMountPoint(mountPoint))) continue;
        // A filesystem mounted twice (bind mounts) is one drive: the first mount point counts.
        if (std::any_of(found.begin(), found.end(), [&](const Volume& o) {
                return o.root == withTrailingSeparator(mountPoint);
            }))
            continue;
        v.root = withTrailingSeparator(mountPoint);
        found.push_back(v);
    }

    // Letters: "C" for the root, remembered letters, then the next free one.
    std::vector<std::pair<std::string, char>> known =
        memory.load ? memory.load() : decltype(known){};
    std::vector<char> used = {'C'};
    for (auto& [mount, letter] : known) used.push_back(letter);
    std::vector<Volume> out;
    for (auto& v : found) {
        if (v.root == "/") {
            v.letter = 'C';
        } else {
            for (auto& [mount, letter] : known) {
                if (withTrailingSeparator(mount) == v.root) v.letter = letter;
            }
            if (!v.letter) {
                for (char c = 'D'; c <= 'Z' && !v.letter; ++c) {
                    if (std::find(used.begin(), used.end(), c) == used.end()) {
                        v.letter = c;
                        used.push_back(c);
                        if (memory.store) memory.store(v.root, c);
                    }
                }
            }
        }
        if (v.letter) out.push_back(v);  // more mounts than letters: the rest are not drives
    }
    std::sort(out.begin(), out.end(),
              [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    return out;
}

std::optional<Volume> Volumes::byLetter(char letter, const LetterMemory& memory) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (auto& v : list(memory)) {
        if (v.letter == letter) return v;
    }
    return std::nullopt;
}

std::optional<Volume> Volumes::holding(const std::string& path, const LetterMemory& memory) {
    std::error_code ec;
    std::string p = withTrailingSeparator(fs::absolute(path, ec).lexically_normal().string());
    std::optional<Volume> best;
    for (auto& v : list(memory)) {
        if (p.rfind(v.root, 0) == 0 && (!best || v.root.size() > best->root.size())) best = v;
    }
    return best;
}

bool Volumes::ready(const Volume& v) {
    std::error_code ec;
    if (v.declared) return fs::is_directory(v.root, ec);
#ifndef _WIN32
    struct statvfs st {};
    return ::statvfs(v.root.c_str(), &st) == 0 && st.f_blocks > 0;
#else
    return fs::is_directory(v.root, ec);
#endif
}

std::optional<VolumeSpace> Volumes::space(const Volume& v) {
    if (v.declared) return VolumeSpace{v.total, v.free};
#ifndef _WIN32
    struct statvfs st {};
    if (::statvfs(v.root.c_str(), &st) != 0) return std::nullopt;
    return VolumeSpace{static_cast<uint64_t>(st.f_blocks) * st.f_frsize,
                       static_cast<uint64_t>(st.f_bavail) * st.f_frsize};
#else
    return std::nullopt;
#endif
}

std::optional<VolumeIdentity> Volumes::probe(const std::string& deviceOrImage) {
#ifndef _WIN32
    blkid_probe pr = blkid_new_probe_from_filename(deviceOrImage.c_str());
    if (!pr) return std::nullopt;
    blkid_probe_enable_superblocks(pr, 1);
    blkid_probe_set_superblocks_flags(pr,
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    std::optional<VolumeIdentity> result;
    if (blkid_do_safeprobe(pr) == 0) {
        auto value = [&](const char* name) {
            const char* data = nullptr;
            size_t len = 0;
            if (blkid_probe_lookup_value(pr, name, &data, &len) != 0 || !data) return std::string();
            return std::string(data);  // NUL-terminated
        };
        VolumeIdentity id;
        id.label = cutLabel(value("LABEL"));
        const std::string type = value("TYPE");
        const std::string uuid = value("UUID");
        id.serial = serialFromUuid(type, uuid).value_or(hash32(deviceOrImage));
        result = id;
    }
    blkid_free_probe(pr);
    return result;
#else
    (void)deviceOrImage;
    return std::nullopt;
#endif
}

std::optional<VolumeIdentity> Volumes::identify(const Volume& v) {
    if (v.declared) return VolumeIdentity{v.label, v.serial};
    if (!v.device.empty() && v.device[0] == '/') {
        if (auto id = probe(v.device)) return id;
        if (auto id = fromLinks(v.device, v.fsType)) return id;
    }
    // Without a readable device (network shares, containers): no label, a stable serial.
    return VolumeIdentity{std::string(), hash32(v.device + "|" + v.root)};
}

}  // namespace mv32::platform
