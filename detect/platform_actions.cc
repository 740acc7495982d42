// The platform detection actions: Windows edition and service pack, Terminal Server, logged-on users,
// NEC PC-98 hardware, Middle-East systems, and the Korean CD start window. Each publishes its finding
// as a property and returns success whatever happens; the package's conditions decide what follows.
#include <string>

#include "detect/detect_rules.h"
#include "detect/system_query.h"
#include "detect/terminal_server.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "resource_ids.h"

namespace twg {
namespace {

constexpr char kProductOptionsKey[] = "System\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kSp6aHotfixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
constexpr char kHardwareKey[] = "Hardware\\Description\\System";

// NT 4.0 before service pack 4 has no extended version record; there only the ProductOptions key tells
// a server from a workstation.
const char* EditionWithoutExtendedRecord() {
  OSVERSIONINFOA version;
  if (!QueryBasicVersion(&version)) return nullptr;
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return nullptr;
  ScopedRegKey key;
  const bool opened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductOptionsKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
  char product_type[260] = "";
  if (opened) ReadTextValue(key, "ProductType", product_type);
  return EditionFromProductOptions(version.dwPlatformId, opened, product_type);
}

const char* WindowsEdition() {
  OSVERSIONINFOEXA version;
  if (QueryExtendedVersion(&version)) return EditionFromProductType(version.wProductType);
  return EditionWithoutExtendedRecord();
}

bool Sp6aHotfixInstalled() {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSp6aHotfixKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD installed = 0;
  DWORD size = sizeof installed;
  if (RegQueryValueExA(key, "Installed", nullptr, nullptr, reinterpret_cast<BYTE*>(&installed), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  return size == sizeof installed && installed == 1;
}

bool IsPc98Hardware() {
  char identifier[260];
  if (ReadTextValue(HKEY_LOCAL_MACHINE, kHardwareKey, KEY_QUERY_VALUE, "Identifier", identifier) !=
      ERROR_SUCCESS) {
    return false;
  }
  return EqualsIgnoreCase(SystemLeadBytes(), identifier, "NEC PC-98");
}

// Middle-East Windows 98 and Me need the common-controls update the package carries beside its own
// folder; other Middle-East systems get no property at all.
void PublishMiddleEastSupport(MSIHANDLE session) {
  OSVERSIONINFOA version;
  const bool known = QueryBasicVersion(&version);
  char source[260];
  ReadProperty(session, "SourceDir", source);
  CutToParentFolder(SystemLeadBytes(), source);
  if (!known || !ShipsComCtlUpdate(version.dwPlatformId, version.dwMinorVersion)) return;
  const std::string update = std::string(source) + "\\Support\\ComCtl32\\COMCTL32.EXE";
  SetProperty(session, "ISMIDEAST", "1");
  SetProperty(session, "TVSSRCFOLDER", update.c_str());
}

// The Korean CD start program stays open over the installer; its window class is "Welcome to " and the
// product name.
void CloseCdStartWindow(MSIHANDLE session) {
  char product[260];
  ReadProperty(session, "ProductName", product);
  char window_class[1024];
  FormatLoadedText(IDS_CDSTART_WINDOW_CLASS, product, window_class);
  HWND window = FindWindowA(window_class, nullptr);
  if (window) SendMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall IsWin2000Pro(MSIHANDLE session) {
  return twg::RunAction("IsWin2000Pro", [&] {
    const char* edition = twg::WindowsEdition();
    edition ? twg::SetProperty(session, "WIN2KVER", edition) : twg::ClearProperty(session, "WIN2KVER");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall Is950r6(MSIHANDLE session) {
  return twg::RunAction("Is950r6", [&] {
    OSVERSIONINFOA v;
    const bool gold = twg::QueryBasicVersion(&v) &&
                      twg::IsWindows95Gold(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
    twg::SetFlagProperty(session, "WINGOLD", gold);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnIsW2KAdvancedServer(MSIHANDLE session) {
  return twg::RunAction("fnIsW2KAdvancedServer", [&] {
    OSVERSIONINFOEXA v;
    if (twg::QueryExtendedVersion(&v) && twg::IsAdvancedServer(v.dwMajorVersion, v.wSuiteMask)) {
      twg::SetProperty(session, "ADVANCEDSERVER", "1");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckNTSPLevel(MSIHANDLE session) {
  return twg::RunAction("CheckNTSPLevel", [&] {
    twg::SetFlagProperty(session, "SP6aInstalled", twg::Sp6aHotfixInstalled());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckForTerminalServer(MSIHANDLE session) {
  return twg::RunAction("CheckForTerminalServer", [&] {
    if (twg::IsTerminalServer()) twg::SetProperty(session, "TERMINALSERVICESINSTALLED", "1");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckMultUsersXP(MSIHANDLE session) {
  return twg::RunAction("CheckMultUsersXP", [&] {
    twg::SetFlagProperty(session, "MultUsersXP", twg::CountLoggedOnSessions() > 1);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnIsPC98Machine(MSIHANDLE session) {
  return twg::RunAction("fnIsPC98Machine", [&] {
    if (twg::IsPc98Hardware()) twg::SetProperty(session, "PC98MACHINE", "1");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckMidEast(MSIHANDLE session) {
  return twg::RunAction("CheckMidEast", [&] {
    if (GetSystemMetrics(SM_MIDEASTENABLED) == 0) {
      twg::ClearProperty(session, "ISMIDEAST");
    } else {
      twg::PublishMiddleEastSupport(session);
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall KillCDStart(MSIHANDLE session) {
  return twg::RunAction("KillCDStart", [&] {
    char language[260];
    twg::ReadProperty(session, "SystemLanguageID", language);
    if (twg::EqualsIgnoreCase(twg::SystemLeadBytes(), language, "1042")) twg::CloseCdStartWindow(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
