// Whether an entry of the Windows uninstall list is a competing antivirus product: its key name equals
// one of the known names exactly, or its key name or display name holds the family word in any case.
// Windows-free: the lead-byte table is passed in, so double-byte names are tested natively.
#pragma once
#include <cstddef>

#include "frame/mbcs.h"

namespace twg {

constexpr std::size_t kKnownProductSlots = 50;
constexpr std::size_t kKnownProductSize = 260;

// The known names as the string table gives them (slot n from string 10000 + n); an empty slot is a
// name nobody's uninstall key can have and matches nothing.
struct KnownProducts {
  char slots[kKnownProductSlots][kKnownProductSize] = {};
};

// Folds the ASCII capitals of single-byte characters in place. Double-byte characters stay exactly as
// they are: their trail bytes may fall in the range of the capitals.
void FoldSingleByteCapitals(const LeadBytes& lead, char* text);

// Whether needle occurs in text starting on a character boundary (a trail byte never starts a match).
bool ContainsAtCharacter(const LeadBytes& lead, const char* text, const char* needle);

// An empty family word matches nothing, so a string table without it never flags every product.
bool IsCompetingProduct(const LeadBytes& lead, const KnownProducts& known, const char* family_word,
                        const char* key_name, const char* display_name);

}  // namespace twg
