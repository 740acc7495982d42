// The time line of the install log. Windows-free: the caller passes the clock's fields.
#pragma once
#include <cstddef>

namespace twg {

struct LogClock {
  int year, month, day, hour, minute, second;
};

// Writes "LogTime is M/D/YYYY H:M.S\n" (no zero padding) into out, always NUL-terminated;
// returns the length written.
std::size_t FormatLogTime(const LogClock& clock, char* out, std::size_t size);

}  // namespace twg
