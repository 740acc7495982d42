// Search and replace over text in the installer's code page, used to fill the placeholders of the
// companion setup's response file. Windows-free: the lead-byte table and the case-blind comparison
// are passed in, so the rules run natively under sanitizers and a fuzzer.
#pragma once
#include <cstddef>

#include "frame/mbcs.h"

namespace twg {

// True when a (a_len bytes) and b (b_len bytes) are the same text without regard to case. The
// installer binds it to the user's default locale.
using TextEqualIgnoringCase = bool (*)(const char* a, std::size_t a_len, const char* b, std::size_t b_len);

struct TextRules {
  const LeadBytes* lead;
  TextEqualIgnoringCase equal;
};

// Replaces every occurrence of search in the first source_len bytes of source (which may be the
// destination itself) and writes the result with its terminator to dest. A place is tried only where
// its first byte equals search's first byte; the search text is counted in characters, a double-byte
// character once. Returns the number of replacements, or -1 (dest untouched) when the result and its
// terminator do not fit dest_size, or when search is empty.
int ReplaceText(const TextRules& rules, char* dest, std::size_t dest_size, const char* source,
                std::size_t source_len, const char* search, const char* replacement);

// The same over a terminated source.
int StringReplace(const TextRules& rules, char* dest, std::size_t dest_size, const char* source,
                  const char* search, const char* replacement);

// How a file is mapped for an in-place replacement: the room the text may need (the old size, or for a
// longer replacement enough for every possible match), and the length the file ends with.
struct ReplaceLayout {
  std::size_t capacity;  // without the 1024 bytes of slack the mapping adds
  std::size_t mapped;    // capacity + 1024: the bytes mapped and handed to the replacement
};

constexpr std::size_t kReplaceSlack = 1024;

// False when the mapping would not fit a 32-bit size (the file cannot then be handled in place).
bool PlanFileReplace(std::size_t old_size, std::size_t search_len, std::size_t replacement_len,
                     ReplaceLayout* layout);

// The length the file is cut to after count replacements (count <= 0: the old size).
std::size_t ReplacedFileSize(std::size_t old_size, std::size_t search_len, std::size_t replacement_len,
                             int count);

// The text step of a file replacement on a mapping of layout.mapped bytes whose first old_size bytes
// are the file: zeroes the rest, replaces in place. Returns the count, or -1 when the result does not
// fit (the first old_size bytes are then unchanged).
int ReplaceInMapping(const TextRules& rules, char* map, const ReplaceLayout& layout, std::size_t old_size,
                     const char* search, const char* replacement);

}  // namespace twg
