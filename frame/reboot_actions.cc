// Actions that steer the installer's reboot behaviour, reinstall mode and Cancel button.
#include "frame/action_frame.h"

namespace twg {
namespace {

constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Only the existence of the value counts: the query asks for neither type nor data.
bool RunOnceValueExists(REGSAM access, const char* value_name) {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, access, key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  return RegQueryValueExA(key, value_name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall SilentReboot(MSIHANDLE session) {
  return twg::RunAction("SilentReboot", [&] {
    char silent[260];
    twg::ReadProperty(session, "SILENTREBOOT", silent);
    if (silent[0] != '\0') twg::SetProperty(session, "REBOOT", "Force");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SuppressRebootForSilentUninstall(MSIHANDLE session) {
  return twg::RunAction("SuppressRebootForSilentUninstall", [&] {
    MsiSetMode(session, MSIRUNMODE_REBOOTATEND, FALSE);
    MsiSetMode(session, MSIRUNMODE_REBOOTNOW, FALSE);
    twg::SetProperty(session, "ReplacedInUseFiles", "");
    twg::SetProperty(session, "REBOOT", "ReallySuppress");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnCheckForRequiredReboot(MSIHANDLE session) {
  return twg::RunAction("fnCheckForRequiredReboot", [&] {
    if (twg::RunOnceValueExists(KEY_QUERY_VALUE, "VXFNeedsReboot")) {
      twg::SetProperty(session, "REBOOTREQUIRED", "1");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// The marker value stays: the corporate edition's own restart step removes it.
TWG_ACTION UINT __stdcall fnRemoveVXFDeleteMeRegValue(MSIHANDLE session) {
  return twg::RunAction("fnRemoveVXFDeleteMeRegValue", [&] {
    if (twg::RunOnceValueExists(KEY_READ | KEY_WRITE, "VXFDeleteMe")) {
      twg::SetProperty(session, "UNINSTALLREQUIRESREBOOT", "1");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// Common data 2/0 hides the Cancel button of the progress dialog.
TWG_ACTION UINT __stdcall fnDisableCancel(MSIHANDLE session) {
  return twg::RunAction("fnDisableCancel", [&] {
    twg::SendCommonData(session, 2, 0);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// "ev": a file is reinstalled when missing or of an equal or older version; the package is re-cached.
TWG_ACTION UINT __stdcall fnSetREINSTALLMODE(MSIHANDLE session) {
  return twg::RunAction("fnSetREINSTALLMODE", [&] {
    return twg::SetProperty(session, "REINSTALLMODE", "ev") == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                             : ERROR_INSTALL_FAILURE;
  });
}
