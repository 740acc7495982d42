#include "frame/mbcs.h"

#include <cstring>

namespace twg {

LeadBytes::LeadBytes(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> ranges) {
  for (const auto& r : ranges) Add(r.first, r.second);
}

void LeadBytes::Add(std::uint8_t first, std::uint8_t last) {
  for (unsigned b = first; b <= last; ++b) lead_[b] = true;
}

const char* NextChar(const LeadBytes& lead, const char* p) {
  if (*p == '\0') return p;
  if (lead.IsLead(*p) && p[1] != '\0') return p + 2;
  return p + 1;
}

const char* FindFirstChar(const LeadBytes& lead, const char* s, char c) {
  if (c == '\0') return s + std::strlen(s);
  for (const char* p = s; *p; p = NextChar(lead, p)) {
    if (*p == c && !(lead.IsLead(*p) && p[1] != '\0')) return p;
  }
  return nullptr;
}

const char* FindLastChar(const LeadBytes& lead, const char* s, char c) {
  const char* found = nullptr;
  for (const char* p = s; *p; p = NextChar(lead, p)) {
    if (*p == c && !(lead.IsLead(*p) && p[1] != '\0')) found = p;
  }
  return found;
}

namespace {

bool IsSeparator(char c, const char* separators) {
  for (const char* s = separators; *s; ++s) {
    if (*s == c) return true;
  }
  return false;
}

// A separator only counts as a whole single-byte character.
bool SeparatorAt(const LeadBytes& lead, const char* p, const char* separators) {
  return !(lead.IsLead(*p) && p[1] != '\0') && IsSeparator(*p, separators);
}

}  // namespace

char* Tokenize(const LeadBytes& lead, char* s, const char* separators, char** context) {
  char* p = s ? s : *context;
  if (p == nullptr) return nullptr;
  while (*p && SeparatorAt(lead, p, separators)) ++p;
  if (*p == '\0') {
    *context = p;
    return nullptr;
  }
  char* token = p;
  while (*p && !SeparatorAt(lead, p, separators)) p = const_cast<char*>(NextChar(lead, p));
  if (*p) *p++ = '\0';
  *context = p;
  return token;
}

}  // namespace twg
