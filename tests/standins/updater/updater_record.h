// The update program's stand-ins append every call to one log, in call order: the COM objects' calls
// and last releases, the support library's calls, loads and frees, and the programs' names with their
// arguments. Settings, HKLM\Software\TWGTest\Updater: "Log" (nothing is recorded without it), "FailDelete"
// (E_FAIL for this moniker), "AutoUpdateEnabled" and "RunMs" (REG_DWORD), "PingWindow" (UDALL.EXE sends
// WM_NULL to the window of this title while it runs and records whether its thread answered).
#pragma once
#include <windows.h>

#include <string>

#include "../append_log.h"

#define TWG_UPDATER_KEY "Software\\TWGTest\\Updater"
#define TWG_PRODUCT_REG_CLSID "{25094AE2-5C5C-4C13-81E5-738DAFDC1265}"
#define TWG_AUTO_UPDATE_CLSID "{109A3963-043E-4781-A6F3-7F48F115ED25}"

namespace updater_standin {

// A text setting, or "" when it is missing; a number setting, or 0.
inline std::string Setting(const char* name) {
  char text[1024] = "";
  DWORD size = sizeof text;
  RegGetValueA(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, name, RRF_RT_REG_SZ, nullptr, text, &size);
  return text;
}
inline DWORD NumberSetting(const char* name) {
  DWORD number = 0, size = sizeof number;
  RegGetValueA(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, name, RRF_RT_REG_DWORD, nullptr, &number, &size);
  return number;
}

inline void Record(const std::string& line) {
  const std::string log = Setting("Log");
  if (!log.empty()) AppendLine(log.c_str(), line);
}

}  // namespace updater_standin
