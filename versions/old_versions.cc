// Earlier editions: detecting them, removing an older installer-based product with its own
// uninstaller, restarting when that removal took this product's entry with it, and the single-setup
// guard.
#include <cstring>
#include <string>

#include "frame/action_frame.h"
#include "resources/resource_ids.h"
#include "versions/platform_id.h"
#include "versions/shared_program.h"
#include "versions/version_rules.h"

namespace twg {
namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kInstalledAppsKey[] = "SOFTWARE\\Veltrane\\InstalledApps";
constexpr char kMetaInstallerKey[] = "Software\\Veltrane\\MetaInstaller";
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kThisProduct[] = "Taskan Web Guard";
constexpr REGSAM kReadWrite = 0x2001F;      // KEY_READ | KEY_WRITE
constexpr REGSAM kSetAndCreate = 0x20006;   // KEY_SET_VALUE | KEY_CREATE_SUB_KEY, with read control
constexpr DWORD kMutexAllAccess = 0x1F0001;
constexpr DWORD kLaunchCommandBytes = 261;

// --- TWGPrevVerCheck ------------------------------------------------------------------------------------

bool PredecessorBrandInstalled() {
  for (const char* brand : {"@Corrix", "Corrix"}) {
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey) + brand).c_str(), 0, kReadWrite,
                      key.Receive()) == ERROR_SUCCESS) {
      return true;
    }
  }
  return false;
}

// This product's service program is in the folder it was installed to.
bool SameProductInstalled() {
  char folder[260];
  if (!ReadRegValueByRootName("HKEY_LOCAL_MACHINE", kInstalledAppsKey, kThisProduct, folder)) return false;
  std::string service = std::string(folder) + "\\TWGSERV.EXE";
  return GetFileAttributesA(service.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// --- Older installer-based products ---------------------------------------------------------------------

bool OldProductPresent(const OldProduct& product) {
  char uninstall[260];
  return ReadRegValueByRootName("HKEY_LOCAL_MACHINE", (std::string(kUninstallKey) + product.product_code).c_str(),
                                "UninstallString", uninstall);
}

// The last present product in table order, or null.
const OldProduct* LastPresentOldProduct() {
  const OldProduct* found = nullptr;
  for (const auto& product : kOldProducts) {
    if (OldProductPresent(product)) found = &product;
  }
  return found;
}

bool ThisProductRecorded() {
  char folder[260];
  return ReadRegValueByRootName("HKEY_LOCAL_MACHINE", kInstalledAppsKey, kThisProduct, folder);
}

// The meta-installer resumes this install after a restart while the mark is set.
void MarkResumePrevious() {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kMetaInstallerKey, 0, kSetAndCreate, key.Receive()) != ERROR_SUCCESS) {
    return;
  }
  DWORD one = 1;
  RegSetValueExA(key, "ResumePrevious", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
}

void ClearResumePrevious() {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kMetaInstallerKey, 0, kSetAndCreate, key.Receive()) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueA(key, "ResumePrevious");
}

// The package's own setup runs once at the next logon, to start this install again.
void ScheduleSetupAfterRestart(MSIHANDLE session) {
  char source[260];
  ReadProperty(session, "SourceDir", source);
  char command[kLaunchCommandBytes] = {};
  std::strncpy(command, source, sizeof command - 1);
  std::strncat(command, "setup.exe", sizeof command - 1 - std::strlen(command));
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) return;
  RegSetValueExA(key, "LaunchVXFInstall", 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof command);
}

enum class Removal { kNotStarted, kEnded, kWaitFailed };

// Runs the old product's own uninstall and waits for it without a time limit: "/qb!" gives the user
// no way to cancel it.
Removal RunOldUninstall(const char* command_line) {
  char command[260];
  lstrcpynA(command, command_line, sizeof command);
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &info)) {
    return Removal::kNotStarted;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  return WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 ? Removal::kEnded : Removal::kWaitFailed;
}

// The old uninstall took this product's entry along: the user is told, and Windows restarts so that
// the install starts again from RunOnce.
void AskForRestart() {
  char caption[260];
  char text[260];
  LoadText(IDS_VXF_MAIN_NAME, caption);
  LoadText(IDS_RESTART_AFTER_OLD_UNINSTALL, text);
  HWND progress = FindWindowA("MsiDialogNoCloseClass", nullptr);
  int answer = MessageBoxA(progress, text, caption, MB_ICONEXCLAMATION | MB_OK);
  if (answer == IDOK) {
    MsiCloseAllHandles();
    ForceRestart();
  } else if (answer == 0) {
    ClearResumePrevious();
  }
}

// --- TWGIsInstallRunning -------------------------------------------------------------------------------------

bool PropertySetAndNot(MSIHANDLE session, const char* name, const char* differs_from) {
  char value[260];
  return ReadProperty(session, name, value) == ERROR_SUCCESS && value[0] != '\0' &&
         lstrcmpiA(value, differs_from) != 0;
}

bool PropertyEquals(MSIHANDLE session, const char* name, const char* expected) {
  char value[260];
  return ReadProperty(session, name, value) == ERROR_SUCCESS && value[0] != '\0' &&
         lstrcmpiA(value, expected) == 0;
}

// Opens or creates the named mutex. The one created here is deliberately never closed: it marks this
// install as running for as long as the installer's process lives, and the system frees it then.
bool FirstToHoldMutex(const char* name) {
  ScopedHandle existing(OpenMutexA(kMutexAllAccess, FALSE, name));
  if (existing.valid()) return false;
  CreateMutexA(nullptr, TRUE, name);
  return true;
}

}  // namespace

bool ForceRestart() {
  DWORD platform_id = 0;
  ReadPlatformId(&platform_id);
  if (platform_id != VER_PLATFORM_WIN32_NT) {
    ExitWindowsEx(EWX_REBOOT, 0);
    return true;
  }

  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive())) {
    return false;
  }
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) return false;
  ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
  return true;
}

}  // namespace twg

TWG_ACTION UINT __stdcall TWGPrevVerCheck(MSIHANDLE session) {
  return twg::RunAction("TWGPrevVerCheck", [&] {
    if (twg::PredecessorBrandInstalled()) twg::SetProperty(session, "TWGPrevVersion", "1");
    if (twg::SameProductInstalled()) twg::SetProperty(session, "TWGSameVersion", "1");
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall MsiCheckForOldInstall(MSIHANDLE session) {
  return twg::RunAction("MsiCheckForOldInstall", [&] {
    bool any = false;
    for (const auto& product : twg::kOldProducts) {
      if (!twg::OldProductPresent(product)) continue;
      twg::SetProperty(session, "PREVIOUSPRODUCTNAME", product.name);  // the last one found wins
      any = true;
    }
    if (any) twg::SetProperty(session, "OLDINSTALLDETECTED", "TRUE");
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGIsInstallRunning(MSIHANDLE session) {
  return twg::RunAction("TWGIsInstallRunning", [&] {
    // A meta-installer run, and the oldest product's removal, each restart setup on purpose.
    bool only = twg::PropertySetAndNot(session, "METAINSTALL", "0") ||
                twg::PropertyEquals(session, "PREVIOUSPRODUCTNAME", "Taskan Personal Firewall 2002");
    if (!only) {
      char mutex_name[260];
      twg::ReadProperty(session, "SINGLEINSTANCEMUTEXNAME", mutex_name);
      only = mutex_name[0] == '\0' || twg::FirstToHoldMutex(mutex_name);
    }
    twg::SetProperty(session, "ONLYINSTANCE", only ? "Yes" : "No");
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall MsiUninstallOldVersion(MSIHANDLE session) {
  return twg::RunAction("MsiUninstallOldVersion", [&] {
    const twg::OldProduct* product = twg::LastPresentOldProduct();
    if (!product) return static_cast<UINT>(ERROR_SUCCESS);
    twg::ExtractAndPatchSharedFile(session, "TMain.exe");  // the removal goes ahead either way
    std::string shared_program = twg::SharedFilePath("TMain.exe");

    twg::MarkResumePrevious();
    twg::Removal removal = twg::RunOldUninstall(product->uninstall_command);
    if (removal == twg::Removal::kNotStarted) {
      twg::RestoreTMainBackup();
      twg::ClearResumePrevious();
      return static_cast<UINT>(ERROR_SUCCESS);
    }
    if (removal == twg::Removal::kEnded) twg::ScheduleSetupAfterRestart(session);

    if (twg::ThisProductRecorded()) {
      twg::RestoreTMainBackup();
      twg::ClearResumePrevious();
    } else {
      twg::DropTMainBackup(shared_program);
      twg::AskForRestart();
    }
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}
