#include "antivirus/string_replace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace twg {
namespace {

// Bytes of the character at p within [p, end): two for a lead byte with a trail byte inside the text.
std::size_t CharBytes(const LeadBytes& lead, const char* p, const char* end) {
  return (lead.IsLead(*p) && p + 1 < end) ? 2 : 1;
}

std::size_t CountChars(const LeadBytes& lead, const char* s, std::size_t len) {
  std::size_t n = 0;
  for (const char* p = s; p < s + len; p += CharBytes(lead, p, s + len)) ++n;
  return n;
}

// Bytes that chars characters take from p, or 0 when the text ends first.
std::size_t SpanOfChars(const LeadBytes& lead, const char* p, const char* end, std::size_t chars) {
  const char* q = p;
  for (std::size_t i = 0; i < chars; ++i) {
    if (q >= end) return 0;
    q += CharBytes(lead, q, end);
  }
  return static_cast<std::size_t>(q - p);
}

}  // namespace

int ReplaceText(const TextRules& rules, char* dest, std::size_t dest_size, const char* source,
                std::size_t source_len, const char* search, const char* replacement) {
  const std::size_t search_len = std::strlen(search);
  const std::size_t replacement_len = std::strlen(replacement);
  if (search_len == 0 || dest_size == 0) return -1;
  // The source may be the destination, so the result is built aside and copied only when it fits.
  char* scratch = static_cast<char*>(std::calloc(dest_size, 1));
  if (!scratch) return -1;
  const std::size_t search_chars = CountChars(*rules.lead, search, search_len);
  const char* const end = source + source_len;
  std::size_t out = 0;
  int count = 0;
  bool fits = true;
  for (const char* p = source; p < end && fits;) {
    std::size_t span = 0;
    if (*p == search[0]) span = SpanOfChars(*rules.lead, p, end, search_chars);
    const bool match = span != 0 && rules.equal(p, span, search, search_len);
    const char* piece = match ? replacement : p;
    const std::size_t piece_len = match ? replacement_len : CharBytes(*rules.lead, p, end);
    if (piece_len >= dest_size - out) {
      fits = false;
      break;
    }
    std::memcpy(scratch + out, piece, piece_len);
    out += piece_len;
    if (match) {
      p += span;
      ++count;
    } else {
      p += piece_len;
    }
  }
  // The whole buffer, so that nothing of a longer source is left behind the shorter result.
  if (fits) std::memcpy(dest, scratch, dest_size);
  std::free(scratch);
  return fits ? count : -1;
}

int StringReplace(const TextRules& rules, char* dest, std::size_t dest_size, const char* source,
                  const char* search, const char* replacement) {
  return ReplaceText(rules, dest, dest_size, source, std::strlen(source), search, replacement);
}

bool PlanFileReplace(std::size_t old_size, std::size_t search_len, std::size_t replacement_len,
                     ReplaceLayout* layout) {
  if (search_len == 0) return false;
  std::uint64_t capacity = old_size;
  if (replacement_len > search_len) {
    capacity = (static_cast<std::uint64_t>(old_size) / search_len + 1) * replacement_len;
  }
  if (capacity + kReplaceSlack > 0x7FFFFFFFu) return false;
  layout->capacity = static_cast<std::size_t>(capacity);
  layout->mapped = layout->capacity + kReplaceSlack;
  return true;
}

std::size_t ReplacedFileSize(std::size_t old_size, std::size_t search_len, std::size_t replacement_len,
                             int count) {
  if (count <= 0) return old_size;
  const std::size_t n = static_cast<std::size_t>(count);
  return old_size - search_len * n + replacement_len * n;
}

int ReplaceInMapping(const TextRules& rules, char* map, const ReplaceLayout& layout, std::size_t old_size,
                     const char* search, const char* replacement) {
  std::memset(map + old_size, 0, layout.mapped - old_size);
  // The file's own bytes are the text, NUL bytes included: a stray NUL must not cut the file short.
  return ReplaceText(rules, map, layout.mapped, map, old_size, search, replacement);
}

}  // namespace twg
