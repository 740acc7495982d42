#include "updater/update_rules.h"

#include <cstring>

namespace twg {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsAsciiIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  }
  return *a == *b;
}

// Appends text at *used; false once out is full (the terminator always fits).
bool Append(char* out, std::size_t size, std::size_t* used, const char* text) {
  const std::size_t length = std::strlen(text);
  if (*used + length >= size) return false;
  std::memcpy(out + *used, text, length + 1);
  *used += length;
  return true;
}

}  // namespace

bool IsCorporateData(const char* custom_action_data) { return std::strcmp(custom_action_data, "VXF") == 0; }

bool IsFlagOn(const char* flag) { return std::strcmp(flag, "1") == 0; }

bool PackageBringsSkyfetch(const char* run_skyfetch) {
  if (run_skyfetch[0] == '\0') return true;
  // The leading decimal value as the C library reads it: blanks, an optional sign, then digits. The
  // text is a few characters long, so the value cannot overflow.
  const char* p = run_skyfetch;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long value = 0;
  for (; *p >= '0' && *p <= '9' && value < 100000000; ++p) value = value * 10 + (*p - '0');
  return !negative && value > 0;
}

bool IsSilentUpdateCheck(int ui_level, const char* silent_install) {
  return ui_level == kUiLevelNone || EqualsAsciiIgnoringCase(silent_install, "silent");
}

bool BuildUpdateCheckParameters(const char* program_moniker, const char* other_moniker,
                                const char* url_moniker, const char* signature_moniker, bool silent,
                                char* out, std::size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  std::size_t used = 0;
  const char* parts[] = {"-m", program_moniker, " -m", other_moniker, " -m", url_moniker, " -m",
                         signature_moniker, silent ? " -s" : ""};
  for (const char* part : parts) {
    if (!Append(out, size, &used, part)) {
      out[0] = '\0';
      return false;
    }
  }
  return true;
}

}  // namespace twg
