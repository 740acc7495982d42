#include "location/folder_text.h"

#include <cstdlib>
#include <cstring>

namespace twg {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A lead byte followed by a trail byte makes one double-byte character.
bool IsDoubleByteAt(const LeadBytes& lead, const char* p) { return lead.IsLead(*p) && p[1] != '\0'; }

}  // namespace

bool HasAcceptableLength(const char* folder) {
  const std::size_t length = std::strlen(folder);
  return length > 3 && length <= 100;
}

void StripTrailingBackslash(const LeadBytes& lead, std::string& folder) {
  const std::size_t n = folder.size();
  if (n == 0 || folder[n - 1] != '\\') return;
  if (n >= 2 && lead.IsLead(folder[n - 2])) return;
  folder.erase(n - 1);
}

bool StartsWithDriveLetter(const char* folder) { return IsAsciiLetter(folder[0]); }

bool HasColonAndBackslash(const char* folder) {
  return folder[0] != '\0' && folder[1] == ':' && folder[2] == '\\';
}

bool HasCharAfterFirstBackslash(const LeadBytes& lead, const char* folder, char c) {
  const char* backslash = FindFirstChar(lead, folder, '\\');
  return backslash != nullptr && FindFirstChar(lead, backslash + 1, c) != nullptr;
}

bool BreaksSpaceRule(const LeadBytes& lead, const char* folder) {
  // A space right before a backslash or at the very end closes a name that ends with a space; this also
  // covers the space before the first backslash that is followed by a space.
  for (const char* p = folder; *p; p = NextChar(lead, p)) {
    if (*p == ' ' && (p[1] == '\\' || p[1] == '\0')) return true;
  }
  return false;
}

bool HasLeadByte(const LeadBytes& lead, const char* folder) {
  for (const char* p = folder; *p; ++p) {
    if (lead.IsLead(*p)) return true;
  }
  return false;
}

bool HasHighBitCharacter(const LeadBytes& lead, const char* folder) {
  for (const char* p = folder; *p; p = NextChar(lead, p)) {
    if (!IsDoubleByteAt(lead, p) && (static_cast<unsigned char>(*p) & 0x80) != 0) return true;
  }
  return false;
}

bool IsPathWithin(const char* folder, const char* path, const EqualIgnoringCase& equal) {
  if (folder == nullptr || path == nullptr || *folder == '\0' || *path == '\0') return false;
  const std::size_t n = std::strlen(folder);
  if (std::strlen(path) < n) return false;
  if (path[n] != '\\' && path[n] != '\0') return false;
  return equal(folder, path, n);
}

std::vector<std::string> PathAndParents(const LeadBytes& lead, const std::string& path) {
  std::vector<std::string> texts;
  std::string current = path;
  for (;;) {
    texts.push_back(current);
    const char* cut = FindLastChar(lead, current.c_str(), '\\');
    if (cut == nullptr) break;
    current.erase(static_cast<std::size_t>(cut - current.c_str()));
  }
  return texts;
}

std::vector<std::string> CreationCandidates(const LeadBytes& lead, const std::string& folder) {
  std::string text = folder;
  // The probe always starts by cutting at the last backslash; a folder without one would lose its own
  // last name.
  if (text.empty() || FindLastChar(lead, text.c_str(), '\\') != &text.back()) text += '\\';
  std::vector<std::string> candidates;
  while (text.size() > 3) {
    const char* cut = FindLastChar(lead, text.c_str(), '\\');
    if (cut == nullptr) break;
    text.erase(static_cast<std::size_t>(cut - text.c_str()));
    candidates.push_back(text + '\\');
  }
  return candidates;
}

bool NamesSubstitutedDrive(const char* targets, std::size_t length) {
  static const char kDosPrefix[] = "\\??\\";
  std::size_t start = 0;
  while (start < length && targets[start] != '\0') {
    std::size_t end = start;
    while (end < length && targets[end] != '\0') ++end;
    if (end - start >= 4 && std::memcmp(targets + start, kDosPrefix, 4) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string JoinPath(const LeadBytes& lead, const std::string& folder, const char* name) {
  std::string path = folder;
  if (path.empty() || FindLastChar(lead, path.c_str(), '\\') != &path.back()) path += '\\';
  return path + name;
}

bool ConcatBounded(char* out, std::size_t size, const char* first, const char* second) {
  const std::size_t a = std::strlen(first);
  const std::size_t b = std::strlen(second);
  if (a + b + 1 > size) return false;
  std::memmove(out, first, a);
  std::memmove(out + a, second, b);
  out[a + b] = '\0';
  return true;
}

int ParseUiLevel(const char* text) {
  if (text == nullptr) return 0;
  return std::atoi(text);
}

}  // namespace twg
