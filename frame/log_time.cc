#include "frame/log_time.h"

#include <cstdio>

namespace twg {

std::size_t FormatLogTime(const LogClock& c, char* out, std::size_t size) {
  if (size == 0) return 0;
  int n = std::snprintf(out, size, "LogTime is %d/%d/%d %d:%d.%d\n", c.month, c.day, c.year, c.hour,
                        c.minute, c.second);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

}  // namespace twg
