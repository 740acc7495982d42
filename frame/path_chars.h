// The multibyte-safe primitives bound to the system code page (CP_ACP). All path splitting goes
// through these.
#pragma once
#include "frame/mbcs.h"

namespace twg {

// The lead bytes of the system code page, as GetCPInfo reports them.
LeadBytes SystemLeadBytes();

inline const char* PathFindFirst(const char* s, char c) { return FindFirstChar(SystemLeadBytes(), s, c); }
inline char* PathFindFirst(char* s, char c) { return FindFirstChar(SystemLeadBytes(), s, c); }
inline const char* PathFindLast(const char* s, char c) { return FindLastChar(SystemLeadBytes(), s, c); }
inline char* PathFindLast(char* s, char c) { return FindLastChar(SystemLeadBytes(), s, c); }
inline char* PathTokenize(char* s, const char* separators, char** context) {
  return Tokenize(SystemLeadBytes(), s, separators, context);
}

}  // namespace twg
