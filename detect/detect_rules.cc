#include "detect/detect_rules.h"

#include <cstring>

namespace twg {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsAsciiIgnoreCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

}  // namespace

const char* EditionFromProductType(std::uint8_t product_type) {
  return product_type == 1 ? "PRO" : "SERVER";
}

const char* EditionFromProductOptions(std::uint32_t platform_id, bool key_opened,
                                      const char* product_type_text) {
  if (platform_id != kPlatformNT || !key_opened) return nullptr;
  return EqualsAsciiIgnoreCase(product_type_text, "WinNT") ? nullptr : "SERVER";
}

bool IsWindows95Gold(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  return platform_id == kPlatformWindows9x && major == 4 && minor == 0 && (build & 0xFFFFu) == 950;
}

bool IsAdvancedServer(std::uint32_t major, std::uint16_t suite_mask) {
  return major == 5 && (suite_mask & 0x0002u) != 0;
}

bool ShipsComCtlUpdate(std::uint32_t platform_id, std::uint32_t minor) {
  return platform_id == kPlatformWindows9x && minor != 0;
}

bool EqualsIgnoreCase(const LeadBytes& lead, const char* a, const char* b) {
  while (*a && *b) {
    if (lead.IsLead(*a) && a[1]) {
      if (a[0] != b[0] || a[1] != b[1]) return false;
      a += 2;
      b += 2;
      continue;
    }
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    ++a;
    ++b;
  }
  return *a == *b;
}

bool MultiStringContains(const char* block, std::size_t size, const char* wanted, CaseRule rule) {
  const std::size_t wanted_length = std::strlen(wanted);
  std::size_t pos = 0;
  while (pos < size && block[pos] != '\0') {
    const char* entry = block + pos;
    std::size_t length = 0;
    while (pos + length < size && entry[length] != '\0') ++length;
    if (length == wanted_length) {
      bool same = true;
      for (std::size_t i = 0; same && i < length; ++i) {
        same = rule == CaseRule::kExact ? entry[i] == wanted[i] : FoldAscii(entry[i]) == FoldAscii(wanted[i]);
      }
      if (same) return true;
    }
    pos += length + 1;
  }
  return false;
}

std::size_t FittingLength(const LeadBytes& lead, const char* text, std::size_t max_bytes) {
  const char* end = text;
  while (*end) {
    const char* next = NextChar(lead, end);
    if (static_cast<std::size_t>(next - text) > max_bytes) break;
    end = next;
  }
  return static_cast<std::size_t>(end - text);
}

void CutToParentFolder(const LeadBytes& lead, char* path) {
  for (int cut = 0; cut < 2; ++cut) {
    char* separator = FindLastChar(lead, path, '\\');
    if (!separator) return;
    *separator = '\0';
  }
}

void StripEnclosingQuotes(char* path) {
  if (path[0] == '"') std::memmove(path, path + 1, std::strlen(path));
  const std::size_t length = std::strlen(path);
  if (length > 0 && path[length - 1] == '"') path[length - 1] = '\0';
}

int CountLoggedOnUsers(const SessionFacts* sessions, std::size_t count) {
  int users = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int state = sessions[i].connection_state;
    if (sessions[i].has_user_name && (state == kSessionActive || state == kSessionDisconnected)) ++users;
  }
  return users;
}

}  // namespace twg
