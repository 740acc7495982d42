// CheckForOtherAV: warns about another maker's antivirus product by looking through the programs
// registered for removal. The known names come from the string table, so the list grows by editing
// strings, never code.
#include <cstring>

#include "antivirus/other_av_match.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "resource_ids.h"

namespace twg {
namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void LoadKnownProducts(KnownProducts* known) {
  for (std::size_t n = 0; n < kKnownProductSlots; ++n) {
    LoadText(static_cast<UINT>(IDS_OTHER_AV_FIRST + n), known->slots[n]);
  }
}

// "" when the entry cannot be opened or has no display name.
bool ReadDisplayName(const char* key_name, char (&display)[260]) {
  std::memset(display, 0, sizeof display);
  char path[sizeof kUninstallKey + 260];
  wsprintfA(path, "%s\\%s", kUninstallKey, key_name);
  ScopedRegKey entry;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, entry.Receive()) != ERROR_SUCCESS) return false;
  DWORD size = sizeof display;
  if (RegQueryValueExA(entry, "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(display), &size) !=
      ERROR_SUCCESS) {
    display[0] = '\0';
  }
  display[sizeof display - 1] = '\0';
  return true;
}

// The first matching entry in the registry's own order; its display name may be empty.
bool FindCompetingProduct(char (&display)[260]) {
  KnownProducts known;
  LoadKnownProducts(&known);
  char family_word[260];
  LoadText(IDS_OTHER_AV_FAMILY_WORD, family_word);
  ScopedRegKey uninstall;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ENUMERATE_SUB_KEYS, uninstall.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LeadBytes lead = SystemLeadBytes();
  char name[260];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(uninstall, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    if (!ReadDisplayName(name, display)) continue;
    if (IsCompetingProduct(lead, known, family_word, name, display)) return true;
  }
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CheckForOtherAV(MSIHANDLE session) {
  return twg::RunAction("CheckForOtherAV", [&] {
    char display[260];
    if (twg::FindCompetingProduct(display)) {
      twg::SetProperty(session, "OtherAVExist", "1");
      twg::SetProperty(session, "OtherAVName", display);
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
