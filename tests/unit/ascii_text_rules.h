// Text rules for native tests of the placeholder replacement: the installer compares under the user's
// locale; ASCII case folding stands in for it, with a chosen lead-byte table.
#pragma once
#include <cctype>
#include <cstddef>

#include "antivirus/string_replace.h"

namespace twg {

inline bool AsciiEqualIgnoringCase(const char* a, std::size_t an, const char* b, std::size_t bn) {
  if (an != bn) return false;
  for (std::size_t i = 0; i < an; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace twg
