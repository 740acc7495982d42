// UpdateTVSShortcut: the companion antivirus product's start-menu shortcut opens this product's
// first-run program instead, and the companion's own start-up entries go unless the package is an OEM
// build that keeps them ("TWGOEM" is exactly "0").
#include <shlobj.h>

#include <cstring>

#include "frame/action_frame.h"
#include "location/location.h"
#include "protreg/prot_reg.h"
#include "versions/state_server.h"

namespace twg {
namespace {

constexpr char kShortcutInPrograms[] = "%s\\Taskan Virus Sentry\\Taskan Virus Sentry 2002.lnk";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kCompanionStartupValues[] = {"TVS CfgWiz", "TVS Agent", "BootWarn"};

// The shell's link object and the interfaces used, spelled out so the DLL needs no GUID library.
const CLSID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// All users' programs on the NT family, where the companion installs for everyone; the user's own on
// Windows 9x.
bool ProgramsFolder(char (&path)[MAX_PATH]) {
  DWORD platform = 0;
  const int folder = ReadPlatformId(&platform) && platform == VER_PLATFORM_WIN32_NT ? CSIDL_COMMON_PROGRAMS
                                                                                     : CSIDL_PROGRAMS;
  return ShellFolderPath(folder, path);
}

void DeleteCompanionStartupEntries() {
  ScopedProtKey run;
  if (ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, 0x20006, run.Receive()) != ERROR_SUCCESS) return;
  for (const char* name : kCompanionStartupValues) ProtRegDeleteValueA(run, name);
}

// Loads the companion's shortcut and points it at the first-run program; false when there is no
// shortcut to change (the companion made none), so nothing else is touched either.
bool RepointShortcut(const char* install_dir) {
  ComRef<IShellLinkA> link;
  ComRef<IPersistFile> file;
  if (FAILED(CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA, AsOut(link))) ||
      FAILED(link.get()->QueryInterface(kIidPersistFile, AsOut(file)))) {
    return false;
  }
  char programs[MAX_PATH];
  if (!ProgramsFolder(programs)) return false;
  char path[MAX_PATH + 64];
  wsprintfA(path, kShortcutInPrograms, programs);
  WCHAR wide_path[MAX_PATH + 64];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide_path, MAX_PATH + 64)) return false;
  if (FAILED(file.get()->Load(wide_path, STGM_READWRITE))) return false;
  char target[MAX_PATH + 16];
  wsprintfA(target, "%sTwgFirst.exe", install_dir);
  link.get()->SetPath(target);
  link.get()->SetWorkingDirectory(install_dir);
  file.get()->Save(wide_path, TRUE);
  return true;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall UpdateTVSShortcut(MSIHANDLE session) {
  return twg::RunAction("UpdateTVSShortcut", [&] {
    char install_dir[260];
    twg::ReadProperty(session, "INSTALLDIR", install_dir);
    twg::ComApartment com;
    if (!com.initialised()) return ERROR_SUCCESS;
    if (!twg::RepointShortcut(install_dir)) return ERROR_SUCCESS;
    char oem[260];
    twg::ReadProperty(session, "TWGOEM", oem);
    if (std::strcmp(oem, "0") != 0) twg::DeleteCompanionStartupEntries();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
