#include "antivirus/other_av_match.h"

#include <cstring>

namespace twg {
namespace {

// A bounded copy folded for the family-word test; names longer than the registry's 260 bytes are cut,
// which the registry reads that feed this never produce.
void FoldedCopy(const LeadBytes& lead, const char* text, char (&out)[kKnownProductSize]) {
  std::strncpy(out, text, sizeof out - 1);
  out[sizeof out - 1] = '\0';
  FoldSingleByteCapitals(lead, out);
}

bool IsKnownName(const KnownProducts& known, const char* key_name) {
  for (const auto& slot : known.slots) {
    if (slot[0] != '\0' && std::strcmp(slot, key_name) == 0) return true;
  }
  return false;
}

}  // namespace

void FoldSingleByteCapitals(const LeadBytes& lead, char* text) {
  for (char* p = text; *p; p = const_cast<char*>(NextChar(lead, p))) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
}

bool ContainsAtCharacter(const LeadBytes& lead, const char* text, const char* needle) {
  const std::size_t length = std::strlen(needle);
  for (const char* p = text; *p; p = NextChar(lead, p)) {
    if (std::strncmp(p, needle, length) == 0) return true;
  }
  return length == 0;
}

bool IsCompetingProduct(const LeadBytes& lead, const KnownProducts& known, const char* family_word,
                        const char* key_name, const char* display_name) {
  if (IsKnownName(known, key_name)) return true;
  if (family_word[0] == '\0') return false;
  char word[kKnownProductSize], key[kKnownProductSize], display[kKnownProductSize];
  FoldedCopy(lead, family_word, word);
  FoldedCopy(lead, key_name, key);
  FoldedCopy(lead, display_name, display);
  return ContainsAtCharacter(lead, key, word) || ContainsAtCharacter(lead, display, word);
}

}  // namespace twg
