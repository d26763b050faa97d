#include "platform/SingleInstance.h"

#include "platform/Paths.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace mv32::platform {

const std::vector<std::string>& SingleInstance::names() {
    static const std::vector<std::string> n = {"Mavrel/32 V.3.0", "Mavrel/32 V.3.01", "Mavrel/32"};
    return n;
}

bool SingleInstance::acquire(const std::string& folder) {
    const std::string dir = withTrailingSeparator(folder.empty() ? runtimeDir() : folder);
    for (const auto& name : names()) {
        std::string file = name;
        for (char& c : file) {
            if (c == '/') c = '_';  // a name, not a path
        }
#ifndef _WIN32
        int fd = ::open((dir + file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) continue;  // a folder we cannot write: no guard rather than no program
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        handles_.push_back(fd);
#endif
    }
    return true;
}

SingleInstance::~SingleInstance() {
#ifndef _WIN32
    for (int fd : handles_) ::close(fd);
#endif
}

}  // namespace mv32::platform
