#include "document/Log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "engine/Text.h"

namespace mv32::document {

void Log::WriteLogLine(const std::string& message) {
    if (echo) echo(message);
    if (!enabled_) return;
    const platform::LocalTime t = clock_.now();
    const std::string line = engine::text::toWindows1252(platform::shortDate(t) + " " +
                                                         platform::longTime(t) + " " + message) +
                             "\r\n";
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    bool ok = f != nullptr;
    ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size();
    int saved = errno;
    if (f && std::fclose(f) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        throw std::runtime_error("Die Protokolldatei »" + path_ +
                                 "« kann nicht geschrieben werden: " + std::strerror(saved));
    }
}

}  // namespace mv32::document
