// The program's clock: local date and time for log lines, catalog records and file headers.
//
// Everything that needs "now" asks a Clock, so that tests can set the time. Any thread may call.
#pragma once

#include <string>

namespace mv32::platform {

struct LocalTime {
    int year = 2000;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    // The local clock of the machine.
    static const Clock& system();
};

// A clock that stands still at the time it was given; tests move it by hand.
class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime t) : t_(t) {}
    LocalTime now() const override { return t_; }
    void set(LocalTime t) { t_ = t; }

private:
    LocalTime t_;
};

// The short date and the long time as the program writes them: "09.12.2026" and "08:05:03".
std::string shortDate(const LocalTime& t);
std::string longTime(const LocalTime& t);

}  // namespace mv32::platform
