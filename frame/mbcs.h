// Character search and tokenising over a double-byte code page. Windows-free: the lead-byte table is
// passed in (path_chars.h builds it from the system code page), so the rules are unit-tested natively.
// Every function walks from the start of the string and steps over whole characters, so a trail byte
// that happens to equal the character looked for (0x5C, the backslash, under code page 932) never
// matches.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace twg {

class LeadBytes {
 public:
  // A single-byte code page: no lead bytes.
  LeadBytes() = default;
  // Inclusive ranges of lead bytes, e.g. {{0x81, 0x9F}, {0xE0, 0xFC}} for code page 932.
  LeadBytes(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> ranges);

  void Add(std::uint8_t first, std::uint8_t last);
  bool IsLead(char c) const { return lead_[static_cast<std::uint8_t>(c)]; }

 private:
  bool lead_[256] = {};
};

// The next character after p: two bytes on for a lead byte followed by a trail byte, one otherwise.
// A lead byte at the very end of the string counts as one character.
const char* NextChar(const LeadBytes& lead, const char* p);

// The first / last character c (a single-byte character) in s, or null.
const char* FindFirstChar(const LeadBytes& lead, const char* s, char c);
const char* FindLastChar(const LeadBytes& lead, const char* s, char c);
inline char* FindFirstChar(const LeadBytes& lead, char* s, char c) {
  return const_cast<char*>(FindFirstChar(lead, static_cast<const char*>(s), c));
}
inline char* FindLastChar(const LeadBytes& lead, char* s, char c) {
  return const_cast<char*>(FindLastChar(lead, static_cast<const char*>(s), c));
}

// Splits s in place at any of the single-byte separators, like strtok_r: pass the string on the first
// call and null afterwards; context keeps the position. Empty tokens are skipped.
char* Tokenize(const LeadBytes& lead, char* s, const char* separators, char** context);

}  // namespace twg
