#include "support/SmallMedium.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace mv32::test {

SmallMedium::SmallMedium(size_t bytes) : size_(bytes) {
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
        mounted_ = true;
    } else {
        why_ = std::string("ein tmpfs lässt sich hier nicht einhängen (") + std::strerror(errno) +
               "); der Test läuft nur als root";
    }
}

SmallMedium::~SmallMedium() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
}

void SmallMedium::remount(size_t bytes, bool readOnly) {
    std::string options = "size=" + std::to_string(bytes);
    unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", flags, options.c_str()) != 0)
        throw std::runtime_error(std::string("remount: ") + std::strerror(errno));
    size_ = bytes;
    readOnly_ = readOnly;
}

void SmallMedium::resize(size_t bytes) {
    remount(bytes, readOnly_);
}

void SmallMedium::setReadOnly(bool readOnly) {
    remount(size_, readOnly);
}

size_t SmallMedium::used() const {
    struct statvfs st {};
    if (::statvfs(dir_.path().c_str(), &st) != 0) return 0;
    return static_cast<size_t>((st.f_blocks - st.f_bfree) * st.f_frsize);
}

std::string asOtherUser(const std::function<void(std::string& report)>& body) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            report = std::string("übersprungen: der Benutzer lässt sich nicht wechseln (") +
                     std::strerror(errno) + ")";
        } else {
            try {
                body(report);
            } catch (const std::exception& e) {
                report += std::string("Ausnahme: ") + e.what();
            }
        }
        ssize_t ignored = ::write(fds[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        out += "der Kindprozess endete mit Signal " + std::to_string(WTERMSIG(status));
    return out;
}

}  // namespace mv32::test
