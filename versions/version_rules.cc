#include "versions/version_rules.h"

#include <cctype>
#include <cstring>

namespace twg {

const OldProduct kOldProducts[kOldProductCount] = {
    {"{76D87D87-551D-3CA9-9E23-DCBD8DEDB2FA}", "Taskan Personal Firewall 2002",
     "MsiExec.exe /x{76D87D87-551D-3CA9-9E23-DCBD8DEDB2FA} /qb! REBOOT=\"ReallySuppress\""},
    {"{D0A24975-E06F-B62D-A0CE-65317DAF0213}", "Taskan Personal Firewall 2.5",
     "MsiExec.exe /x{D0A24975-E06F-B62D-A0CE-65317DAF0213} /qb! REBOOT=\"ReallySuppress\""},
    {"{7918CEFF-9028-3128-7AB4-580DCF81F618}", "Veltrane Desktop Firewall 2.0",
     "MsiExec.exe /x{7918CEFF-9028-3128-7AB4-580DCF81F618} /qb! REBOOT=\"ReallySuppress\""},
};

bool IsCurrentSharedVersion(std::uint32_t version_ms, std::uint32_t version_ls) {
  std::uint32_t major = version_ms >> 16;
  std::uint32_t minor = version_ms & 0xFFFFu;
  std::uint32_t fourth = version_ls & 0xFFFFu;
  return major > 4 && minor > 0 && fourth > 6;
}

std::string JoinFolderFile(const LeadBytes& lead, const std::string& folder, const std::string& file) {
  std::string path = folder;
  const char* last = FindLastChar(lead, folder.c_str(), '\\');
  bool ends_with_separator = last != nullptr && last[1] == '\0';
  if (!folder.empty() && !ends_with_separator) path += '\\';
  return path + file;
}

std::string BackupPathFor(const std::string& path) {
  if (path.size() < 4) return std::string();
  return path.substr(0, path.size() - 3) + "bak";
}

unsigned TemporaryFileNumber(unsigned random) {
  const unsigned number = random % 9999;
  return number == 0 ? 9999 : number;  // 9999 is the one number the modulo never gives
}

RootName RootFromName(const char* name) {
  if (name == nullptr || std::strlen(name) < 7) return RootName::kNone;
  switch (std::toupper(static_cast<unsigned char>(name[6]))) {
    case 'L': return RootName::kClassesRoot;
    case 'O': return RootName::kLocalMachine;
    case 'S': return RootName::kUsers;
    case 'U': return RootName::kCurrentUser;
    default: return RootName::kNone;
  }
}

}  // namespace twg
