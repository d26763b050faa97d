#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace mv32::test {

TempDir::TempDir() {
#ifdef _WIN32
    // A fresh folder of a random name in the system's temporary folder.
    std::random_device seed;
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    for (int i = 0; i < 100; ++i) {
        const auto p = base / ("mv32test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
#else
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/mv32test-XXXXXX";
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace mv32::test
