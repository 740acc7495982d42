// The update program's stand-ins as the tests see them. Every stand-in appends what it was asked to one
// log file, in call order, so that a test reads the whole conversation of an action at once:
//
//   RegisterProduct <name>|<version>|<language>|<extra>|<moniker>
//   SetProperty <moniker>|<name>|<value>
//   RegisterProductClass <moniker>|<class id>|0x<flags>
//   DeleteProduct <moniker>
//   ProductReg released                      (its last reference)
//   LoadSettings, IsAutoUpdateEnabled, DisableAutoUpdate, AutoUpdate released
//   SetSequenceNumberEx <product>|<component>|<version>|<language>|<number>
//   OnrampCleanupEx <product>|<version>|<language>
//   V32UPDR1 loaded, V32UPDR1 freed          (the support library attached to / detached from a process)
//   <program> <arguments>                    (UDALL.EXE, Autofetch.exe, GRDAPP.EXE; Autofetch.exe adds
//                                             " in <working folder>")
//   UDALL.EXE ping answered|unanswered       (see "PingWindow")
// A text that is not a proper COM string is recorded as "(not a BSTR)", a moniker VARIANT of another
// type as "(vt N)".
//
// Settings, HKLM\Software\TWGTest\Updater:
//   "Log"               REG_SZ    the log file (nothing is recorded without it)
//   "FailRegister"      REG_SZ    RegisterProduct fails (E_FAIL) for this moniker
//   "FailDelete"        REG_SZ    DeleteProduct fails (E_FAIL) for this moniker
//   "AutoUpdateEnabled" REG_DWORD what IsAutoUpdateEnabled answers (0 when missing)
//   "RunMs"             REG_DWORD how long UDALL.EXE runs before it ends
//   "PingWindow"        REG_SZ    UDALL.EXE sends WM_NULL to the window of this class while it runs and
//                                 records whether its thread answered within a second
#pragma once
#include <windows.h>

#include <string>

#include "../append_log.h"

#define TWG_UPDATER_KEY "Software\\TWGTest\\Updater"
#define TWG_PRODUCT_REG_CLSID "{25094AE2-5C5C-4C13-81E5-738DAFDC1265}"
#define TWG_AUTO_UPDATE_CLSID "{109A3963-043E-4781-A6F3-7F48F115ED25}"

namespace updater_standin {

// The setting's bytes as stored, or none when it is missing.
inline std::string RawSetting(const char* name) {
  char buffer[1024] = "";
  DWORD size = sizeof buffer - 1;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
  const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(buffer, size) : "";
}
inline std::string Setting(const char* name) { return RawSetting(name).c_str(); }
inline DWORD NumberSetting(const char* name) {
  const std::string raw = RawSetting(name);
  return raw.size() == 4 ? *reinterpret_cast<const DWORD*>(raw.data()) : 0;
}

inline void Record(const std::string& line) {
  const std::string log = Setting("Log");
  if (!log.empty()) AppendLine(log.c_str(), line);
}

}  // namespace updater_standin
