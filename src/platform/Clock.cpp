#include "platform/Clock.h"

#include <cstdio>
#include <ctime>

namespace mv32::platform {

namespace {

class SystemClock : public Clock {
public:
    LocalTime now() const override {
        std::time_t t = std::time(nullptr);
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &t);
#else
        localtime_r(&t, &tm);
#endif
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
};

}  // namespace

const Clock& Clock::system() {
    static const SystemClock clock;
    return clock;
}

std::string shortDate(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.day, t.month, t.year);
    return buf;
}

std::string longTime(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

}  // namespace mv32::platform
