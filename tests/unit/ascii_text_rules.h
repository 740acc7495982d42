// Text rules for native tests of the placeholder replacement: the installer compares under the user's
// locale; ASCII case folding stands in for it, with a chosen lead-byte table.
#pragma once
#include <cctype>
#include <cstddef>

#include "antivirus/string_replace.h"

namespace twg {

inline bool AsciiEqualIgnoringCase(const char* a, std::size_t an, const char* b, std::size_t bn) {
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  for (std::size_t i = 0; an == bn && i < an; ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return an == bn;
}

}  // namespace twg
