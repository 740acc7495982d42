// The update program around the install: whether it can ever run, its command line, the corporate
// edition's data for the deferred actions, the update check after install, its automatic mode, and
// the unloading of the product's engine so that an update can replace it.
#include "frame/action_frame.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "detect/system_query.h"
#include "frame/com_scope.h"
#include "location/location.h"
#include "resource_ids.h"
#include "updater/update_program.h"
#include "updater/update_rules.h"

namespace twg {
namespace {

constexpr char kInstalledAppsKey[] = "Software\\Veltrane\\InstalledApps";
constexpr char kProductValue[] = "Taskan Web Guard";

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool SkyfetchProgramFound() {
  char folder[521];
  if (!RegGetSkyfetchDir(folder, sizeof folder)) {
    WriteInstallLog("Error occured locating Veltrane directory\r\n");
    return false;
  }
  char program[1024];
  wsprintfA(program, "%s\\%s", folder, "udall.exe");
  return FileExists(program);
}

bool PackageHasSkyfetchFeature(MSIHANDLE session) {
  MsiHandle database(MsiGetActiveDatabase(session));
  MsiHandle view;
  if (!database.valid() ||
      MsiDatabaseOpenViewA(database, "SELECT `Feature` FROM `Feature` WHERE `Feature` = 'Skyfetch' ",
                           view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS) {
    return false;
  }
  MsiHandle row;
  const bool found = MsiViewFetch(view, row.Receive()) == ERROR_SUCCESS;
  MsiViewClose(view);
  return found;
}

UINT CheckSkyfetchAvailable(MSIHANDLE session) {
  char run_skyfetch[4];
  ReadProperty(session, "RunSkyfetch", run_skyfetch);
  if (PackageBringsSkyfetch(run_skyfetch)) return ERROR_SUCCESS;
  if (SkyfetchProgramFound() || PackageHasSkyfetchFeature(session)) return ERROR_SUCCESS;

  char ui_level[4];
  ReadProperty(session, "UILevel", ui_level);
  // Only a reduced or full interface has someone to tell; a silent install just fails.
  if (std::atoi(ui_level) > 3) ShowMessage(IDS_SKYFETCH_MISSING, IDS_SKYFETCH_ERROR_CAPTION, MB_OK);
  const char message[] = "Skyfetch is not installed nor is it part of the installation package.";
  WriteInstallLog(message);
  OutputDebugStringA(message);
  return ERROR_INSTALL_FAILURE;
}

// The system's critical-error and missing-file boxes stay away while the update program is looked for
// and runs: a silent install must not wait for an answer. The mode is cleared on every way out.
class QuietErrorMode {
 public:
  QuietErrorMode() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }
  ~QuietErrorMode() { SetErrorMode(0); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;
};

// The installer's thread keeps handling its messages while it waits, so its windows stay responsive.
void WaitHandlingMessages(HANDLE process) {
  while (WaitForSingleObject(process, 100) == WAIT_TIMEOUT) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

UINT RunUpdateCheck(MSIHANDLE session) {
  const INSTALLUILEVEL ui_level = MsiSetInternalUI(INSTALLUILEVEL_NOCHANGE, nullptr);
  char program[260 + 16];
  if (ReadTextValue(HKEY_LOCAL_MACHINE, kSharedUsageKey, KEY_READ, "Skyfetch", program, 260) != ERROR_SUCCESS ||
      program[0] == '\0') {
    return ERROR_SUCCESS;
  }
  std::strcat(program, "\\UDALL.EXE");
  QuietErrorMode quiet;
  if (!FileExists(program)) return ERROR_SUCCESS;

  char data[260];
  ReadProperty(session, "CustomActionData", data);
  LoadRegistrationStrings(IsCorporateData(data));  // a text that did not load is passed as it stands
  char silent_install[260];
  ReadProperty(session, "SilentInstall", silent_install);
  const RegistrationStrings& s = Registration();
  char parameters[512];
  BuildUpdateCheckParameters(s.program_moniker.text(), s.other_moniker.text(), s.url_moniker.text(),
                             s.signature_moniker.text(), IsSilentUpdateCheck(ui_level, silent_install),
                             parameters, sizeof parameters);

  SHELLEXECUTEINFOA run = {};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS;
  run.lpFile = program;
  run.lpParameters = parameters;
  run.nShow = SW_SHOW;
  const bool started = ShellExecuteExA(&run) != FALSE;
  ScopedHandle process(run.hProcess);
  if (!started || reinterpret_cast<INT_PTR>(run.hInstApp) <= 32 || !process.valid()) return ERROR_SUCCESS;
  WaitHandlingMessages(process);
  return ERROR_SUCCESS;
}

// CSIDL_PROGRAM_FILES is unknown to the oldest shells; there the automatic-update program is not
// started at all.
void StartAutoUpdateProgram() {
  LPITEMIDLIST folder_id = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &folder_id)) || !folder_id) return;
  char folder[MAX_PATH + 32] = "";
  const BOOL found = SHGetPathFromIDListA(folder_id, folder);
  CoTaskMemFree(folder_id);
  if (!found) return;
  std::strcat(folder, "\\Veltrane\\Skyfetch\\");
  // The program is named with its folder, so that no shell's search order can pick up another
  // Autofetch.exe; the folder is its working folder as well.
  char program[MAX_PATH + 64];
  wsprintfA(program, "%sAutofetch.exe", folder);
  ShellExecuteA(nullptr, nullptr, program, "-id", folder, SW_SHOWNORMAL);
}

void DisableAutoUpdate() {
  ComApartment com;
  if (!com.initialised()) return;
  ComRef<IUDAutoUpdate> settings;
  if (CoCreateInstance(kClsidAutoUpdate, nullptr, CLSCTX_INPROC_SERVER, kIidAutoUpdate, AsOut(settings)) != S_OK ||
      !settings.valid()) {
    return;
  }
  settings.get()->LoadSettings();
  LONG enabled = FALSE;
  settings.get()->IsAutoUpdateEnabled(&enabled);
  if (enabled) settings.get()->DisableAutoUpdate();
}

// The engine application asks before it exits unless "No Exit Confirmation" is set; the value lets it
// unload without a question nobody could answer.
void UnloadEngineApplication() {
  ScopedRegKey apps;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledAppsKey, 0, KEY_READ, apps.Receive()) != ERROR_SUCCESS) return;
  char folder[260];
  ReadTextValue(apps, kProductValue, folder);
  char path[1024];
  wsprintfA(path, "%s\\GRDSERV.EXE", folder);
  if (!FileExists(path)) return;

  ScopedRegKey engine;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", 0, 0x2001F, engine.Receive()) != ERROR_SUCCESS) {
    return;
  }
  ScopedRegKey application;
  DWORD disposition = 0;
  char no_class[] = "";
  if (RegCreateKeyExA(engine, "GRDAPP", 0, no_class, 0, 0xF003F, nullptr, application.Receive(), &disposition) ==
      ERROR_SUCCESS) {
    const DWORD one = 1;
    RegSetValueExA(application, "No Exit Confirmation", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                   sizeof one);
  }
  application.reset();
  engine.reset();

  wsprintfA(path, "%s\\GRDAPP.EXE", folder);
  char command_line[] = "-Unload";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(path, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CheckUDInstalled(MSIHANDLE session) {
  return twg::RunAction("CheckUDInstalled", [&] { return twg::CheckSkyfetchAvailable(session); });
}

TWG_ACTION UINT __stdcall TWGFixupUD(MSIHANDLE session) {
  return twg::RunAction("TWGFixupUD", [&] {
    char program_files[261];
    if (!twg::GetProgramFilesDir(program_files, sizeof program_files)) program_files[0] = '\0';
    char command[300];
    wsprintfA(command, "\"%s\\Veltrane\\Skyfetch\\UDALL.EXE\"", program_files);
    twg::SetProperty(session, "RUNSKYFETCHSTRING", command);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SetVXFProperties(MSIHANDLE session) {
  return twg::RunAction("SetVXFProperties", [&] {
    char install_vxf[260], managed[260];
    twg::ReadProperty(session, "INSTALL_VXF", install_vxf);
    twg::ReadProperty(session, "VXF_MANAGED", managed);
    if (!twg::IsFlagOn(install_vxf)) return ERROR_SUCCESS;
    // The installer hands each deferred action the property of its own name as "CustomActionData".
    for (const char* deferred : {"TWGInstallUD", "TWGCheckForUpdate", "TWGUnregisterRB"}) {
      twg::SetProperty(session, deferred, "VXF");
    }
    if (twg::IsFlagOn(managed)) twg::SetProperty(session, "SetVXFManagedKeys", "1");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGCheckForUpdate(MSIHANDLE session) {
  return twg::RunAction("TWGCheckForUpdate", [&] { return twg::RunUpdateCheck(session); }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SetupAutoSkyfetchHelp(MSIHANDLE session) {
  return twg::RunAction("SetupAutoSkyfetchHelp", [&] {
    twg::StartAutoUpdateProgram();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnDisableUDAutoupdate(MSIHANDLE session) {
  return twg::RunAction("fnDisableUDAutoupdate", [&] {
    twg::DisableAutoUpdate();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall FixQuarryUD(MSIHANDLE session) {
  return twg::RunAction("FixQuarryUD", [&] {
    twg::UnloadEngineApplication();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
