// The two install-folder checks. They show no message of their own: the folder dialog tests the validity
// property, and a silent or basic install fails instead.
#include <shlobj.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "location/folder_text.h"
#include "frame/system_functions.h"
#include "location/location.h"
#include "resource_ids.h"

namespace twg {
namespace {

// The corporate bundle's own default folder is never a valid choice.
constexpr char kCorporateDefaultFolder[] = "C:\\Program Files\\Veltrane_Client_Security";

// What the folder rules look at.
struct FolderUnderTest {
  const char* as_read;  // the property text, trailing backslash included
  std::string copy;     // the same without its trailing backslash
  std::string root;     // its first three characters, "C:\"
  const char* windows;  // the Windows folder
  LeadBytes lead;
};

FolderUnderTest Describe(const char* as_read, const char* windows) {
  FolderUnderTest folder{as_read, as_read, std::string(), windows, SystemLeadBytes()};
  StripTrailingBackslash(folder.lead, folder.copy);
  folder.root = folder.copy.substr(0, 3);
  return folder;
}

// A rule answers true when it refuses the folder.
using FolderRule = bool (*)(const FolderUnderTest&);

bool SameText(const char* a, const char* b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

bool MyDocumentsFolder(char (&path)[MAX_PATH]) {
  struct ItemIdListTraits {
    using Handle = LPITEMIDLIST;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CoTaskMemFree(h); }
  };
  Scoped<ItemIdListTraits> list;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, list.Receive()))) return false;
  path[0] = '\0';
  return SHGetPathFromIDListA(list, path) && path[0] != '\0';
}

bool RefusedByLength(const FolderUnderTest& f) { return !HasAcceptableLength(f.as_read); }
bool RefusedByDriveLetter(const FolderUnderTest& f) { return !StartsWithDriveLetter(f.copy.c_str()); }
bool RefusedByDriveRoot(const FolderUnderTest& f) { return !HasColonAndBackslash(f.copy.c_str()); }
bool OnSubstitutedDrive(const FolderUnderTest& f) { return IsSubstDrive(f.root.c_str()); }
bool NotOnFixedDrive(const FolderUnderTest& f) { return GetDriveTypeA(f.root.c_str()) != DRIVE_FIXED; }

// Some shells hand the folder back with a trailing backslash. A drive root keeps its own ("D:\"): cut to
// "D:" it would hold every folder on the drive, and documents redirected to a root would refuse it all.
bool InMyDocuments(const FolderUnderTest& f) {
  char found[MAX_PATH];
  if (!MyDocumentsFolder(found)) return false;
  std::string documents = found;
  if (documents.size() > 3) StripTrailingBackslash(f.lead, documents);
  return IsPathWithin(documents.c_str(), f.copy.c_str());
}

// Folders below Program Files are the normal choice; only the folder itself is refused.
bool IsProgramFilesItself(const FolderUnderTest& f) {
  char program_files[261];
  return GetProgramFilesDir(program_files, sizeof program_files) && SameText(f.copy.c_str(), program_files);
}

bool IsCorporateDefault(const FolderUnderTest& f) { return SameText(f.copy.c_str(), kCorporateDefaultFolder); }

bool InCommonFiles(const FolderUnderTest& f) {
  char common_files[261];
  return GetCommonFilesDir(common_files, sizeof common_files) && IsPathWithin(common_files, f.copy.c_str());
}

bool IsCompanionProductFolder(const FolderUnderTest& f) {
  char key_path[260];
  if (LoadText(IDS_REGKEY_INSTALLED_APPS, key_path) == 0) return false;
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return false;
  char recorded[261] = "";
  DWORD type = 0;
  DWORD bytes = sizeof recorded - 1;
  if (RegQueryValueExA(key, "TVS95", nullptr, &type, reinterpret_cast<BYTE*>(recorded), &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  recorded[bytes] = '\0';
  return SameText(f.copy.c_str(), recorded);
}

bool InWindowsFolder(const FolderUnderTest& f) { return IsPathWithin(f.windows, f.copy.c_str()); }

bool InTempFolder(const FolderUnderTest& f) {
  char temp[261];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return false;
  temp[length - 1] = '\0';  // its trailing backslash
  return IsPathWithin(temp, f.copy.c_str());
}

bool InVeltraneSharedFolder(const FolderUnderTest& f) {
  char shared[261];
  return GetVeltraneSharedDir(shared, sizeof shared) && IsPathWithin(shared, f.copy.c_str());
}

bool Encrypted(const FolderUnderTest& f) { return IsEncryptedPath(f.copy.c_str()); }
bool RefusedBySpaces(const FolderUnderTest& f) { return BreaksSpaceRule(f.lead, f.copy.c_str()); }
bool HasSemicolon(const FolderUnderTest& f) { return HasCharAfterFirstBackslash(f.lead, f.copy.c_str(), ';'); }
bool HasAmpersand(const FolderUnderTest& f) { return HasCharAfterFirstBackslash(f.lead, f.copy.c_str(), '&'); }
bool HasDoubleByteText(const FolderUnderTest& f) { return HasLeadByte(f.lead, f.as_read); }
bool HasHighBitText(const FolderUnderTest& f) { return HasHighBitCharacter(f.lead, f.as_read); }

// Every rule runs, also after one has refused the folder: the lookups create missing system folders and
// record them, and later actions rely on that.
bool PassesEveryRule(const FolderUnderTest& folder, std::initializer_list<FolderRule> rules) {
  bool valid = true;
  for (FolderRule refuses : rules) {
    if (refuses(folder)) valid = false;
  }
  return valid;
}

bool PassesProductRules(const FolderUnderTest& folder) {
  return PassesEveryRule(folder, {RefusedByLength, RefusedByDriveLetter, RefusedByDriveRoot, OnSubstitutedDrive,
                                  NotOnFixedDrive, InMyDocuments, IsProgramFilesItself, IsCorporateDefault,
                                  InCommonFiles, IsCompanionProductFolder, InWindowsFolder, InTempFolder,
                                  InVeltraneSharedFolder, Encrypted, RefusedBySpaces, HasSemicolon, HasAmpersand,
                                  HasDoubleByteText, HasHighBitText});
}

// The companion product's folder: the corporate default and the companion's recorded folder concern the
// product only, and the companion's setup takes "&" in its folder.
bool PassesCompanionRules(const FolderUnderTest& folder) {
  return PassesEveryRule(folder, {RefusedByLength, RefusedByDriveLetter, RefusedByDriveRoot, OnSubstitutedDrive,
                                  NotOnFixedDrive, InMyDocuments, IsProgramFilesItself, InCommonFiles,
                                  InWindowsFolder, Encrypted, InTempFolder, InVeltraneSharedFolder,
                                  RefusedBySpaces, HasSemicolon, HasDoubleByteText, HasHighBitText});
}

bool ReadWindowsFolder(char (&windows)[260]) {
  const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  return length != 0 && length < sizeof windows;
}

// Without the Windows folder no rule can be judged.
UINT FailWithoutWindowsFolder(MSIHANDLE session) {
  SetProperty(session, "SD9xInstallDirIsValid", "0");
  return ERROR_INSTALL_FAILURE;
}

// The total free bytes of the volume, not the caller's share of them. Windows 95 before OSR2 has only the
// cluster-based query.
bool QueryTotalFreeBytes(const char* root, std::uint64_t* bytes) {
  using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  if (auto get_ex = LoadedFunction<GetDiskFreeSpaceExFn>("kernel32.dll", "GetDiskFreeSpaceExA")) {
    ULARGE_INTEGER available, total, total_free;
    if (!get_ex(root, &available, &total, &total_free)) return false;
    *bytes = total_free.QuadPart;
    return true;
  }
  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, clusters;
  if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters)) return false;
  *bytes = static_cast<std::uint64_t>(free_clusters) * sectors_per_cluster * bytes_per_sector;
  return true;
}

// A volume that cannot be measured (no such drive, a network path) is not reported as short: the folder
// rules then judge the folder, and they refuse every folder that is not on a local fixed drive.
bool VolumeSpaceShort(const char* folder) {
  const std::string root = std::string(folder).substr(0, 3);
  std::uint64_t free_bytes = 0;
  return QueryTotalFreeBytes(root.c_str(), &free_bytes) && IsDiskSpaceShort(free_bytes);
}

// A valid folder goes back into its property in the OEM code page, the form the product's services
// read. (Valid folders are 7-bit text, which every OEM code page keeps as it is.)
void AcceptFolder(MSIHANDLE session, const char* property, char* folder, const char* validity) {
  SetProperty(session, validity, "1");
  CharToOemA(folder, folder);
  SetProperty(session, property, folder);
}

// Silent (2) and basic (3) installs have no folder dialog that could show why, so they fail instead.
UINT RefusalResult(int ui_level) { return ui_level <= 3 ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS; }

UINT CheckProductFolder(MSIHANDLE session) {
  char windows[260];
  if (!ReadWindowsFolder(windows)) return FailWithoutWindowsFolder(session);
  char ui_level_text[260];
  ReadProperty(session, "UILevel", ui_level_text);
  const int ui_level = ParseUiLevel(ui_level_text);
  char folder[260];
  ReadProperty(session, "INSTALLDIR", folder);

  if (VolumeSpaceShort(folder)) {
    SetProperty(session, "TWGInstallDirIsValid", "1");
    SetProperty(session, "DISKSPACESHORT", "1");
    return RefusalResult(ui_level);
  }
  SetProperty(session, "TWGInstallDirIsValid", "0");
  SetProperty(session, "DISKSPACESHORT", "0");
  if (!PassesProductRules(Describe(folder, windows))) {
    SetProperty(session, "TWGInstallDirIsValid", "0");
    return RefusalResult(ui_level);
  }
  AcceptFolder(session, "INSTALLDIR", folder, "TWGInstallDirIsValid");
  return ERROR_SUCCESS;
}

UINT CheckCompanionFolder(MSIHANDLE session) {
  char windows[260];
  if (!ReadWindowsFolder(windows)) return FailWithoutWindowsFolder(session);
  char folder[260];
  ReadProperty(session, "TVSINSTALLDIR", folder);
  if (PassesCompanionRules(Describe(folder, windows))) {
    AcceptFolder(session, "TVSINSTALLDIR", folder, "TVSInstallDirIsValid");
  } else {
    SetProperty(session, "TVSInstallDirIsValid", "0");
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGCheckInstallPath(MSIHANDLE session) {
  return twg::RunAction("TWGCheckInstallPath", [&] { return twg::CheckProductFolder(session); });
}

TWG_ACTION UINT __stdcall TVSCheckInstallPath(MSIHANDLE session) {
  return twg::RunAction("TVSCheckInstallPath", [&] { return twg::CheckCompanionFolder(session); },
                        ERROR_SUCCESS);
}
