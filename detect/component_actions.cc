// The component detection actions: Internet Explorer's version, the TCP/IP stack, the maker's utility
// suite, the internet-library redistributable with its restart prompt, and the paths of the support
// setups the package carries.
#include <cstring>
#include <string>
#include <vector>

#include "detect/detect_rules.h"
#include "detect/ie_version.h"
#include "detect/system_query.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "resource_ids.h"

namespace twg {
namespace {

constexpr char kIeKey[] = "Software\\Microsoft\\Internet Explorer";
constexpr char kIeAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
constexpr char kNtTcpipKey[] = "Software\\Microsoft\\tcpip\\CurrentVersion";
constexpr char k9xTcpipKey[] = "Enum\\Network\\MSTCP";
constexpr char kUtilitySuiteClass[] = "CLSID\\{F0B26536-B5A0-B2B5-C0EC-60985F162086}";
constexpr char kWintdistAtom[] = "WinInetInstalled_TWGMSI";

// --- Internet Explorer ---------------------------------------------------------------------------

// IE 4 and later record their version in the registry; IE 3 and earlier only in IEXPLORE.EXE.
bool RegistryIeVersion(char (&version)[256]) {
  return ReadTextValue(HKEY_LOCAL_MACHINE, kIeKey, KEY_READ, "Version", version) == ERROR_SUCCESS;
}

// The program's registered path, unquoted and in its short form (the version functions of Windows 95
// want no spaces).
bool InternetExplorerProgram(char (&path)[MAX_PATH]) {
  if (ReadTextValue(HKEY_LOCAL_MACHINE, kIeAppPathKey, KEY_QUERY_VALUE, nullptr, path) != ERROR_SUCCESS) {
    return false;
  }
  StripEnclosingQuotes(path);
  const DWORD length = GetShortPathNameA(path, path, MAX_PATH);
  return length != 0 && length < MAX_PATH;
}

// The "ProductVersion" text of the file's first translation.
bool ProductVersionOf(const char* file, std::string* version) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return false;
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(file, 0, size, info.data())) return false;
  DWORD* translation = nullptr;
  UINT translation_size = 0;
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &translation_size) ||
      translation_size < sizeof(DWORD)) {
    return false;
  }
  char query[64];
  wsprintfA(query, "\\StringFileInfo\\%04x%04x\\ProductVersion", LOWORD(*translation), HIWORD(*translation));
  char* text = nullptr;
  UINT text_length = 0;
  if (!VerQueryValueA(info.data(), query, reinterpret_cast<void**>(&text), &text_length) || !text) return false;
  if (std::strlen(text) > MAX_PATH) return false;
  *version = text;
  return true;
}

bool IsInternetExplorerEnough(std::string* major) {
  char registry_version[256];
  if (RegistryIeVersion(registry_version)) {
    return IsRegistryIeVersionEnough(SystemLeadBytes(), registry_version, major);
  }
  char program[MAX_PATH];
  std::string product_version;
  if (!InternetExplorerProgram(program) || !ProductVersionOf(program, &product_version)) return false;
  return IsProductIeVersionEnough(SystemLeadBytes(), product_version.c_str(), major);
}

// --- Registry presence -----------------------------------------------------------------------------

// Not found (2) and path not found (3) mean "not installed"; any other error fails the install, since
// the machine cannot be judged.
UINT PublishPresence(MSIHANDLE session, LONG status, const char* property) {
  if (status == ERROR_SUCCESS) {
    return SetProperty(session, property, "1") == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
  }
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS
                                                                            : ERROR_INSTALL_FAILURE;
}

// The stack's key is opened for writing as well: an installing user who cannot write there cannot
// install the product's network parts either.
LONG OpenTcpipKey(const OSVERSIONINFOA& version) {
  const char* key_name = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? kNtTcpipKey : k9xTcpipKey;
  ScopedRegKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ | KEY_WRITE, key.Receive());
}

// --- Internet-library redistributable --------------------------------------------------------------

bool SystemFileExists(const char* folder, const char* name) {
  std::string path = std::string(folder) + "\\" + name;
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Asks to restart now; a Yes restarts Windows (no privilege is enabled: the installer's process has it).
void OfferRestart(const char* product, UINT text_id, UINT flags) {
  char text[1024];
  FormatLoadedText(text_id, product, text);
  if (MessageBoxA(nullptr, text, product, flags) == IDYES) ExitWindowsEx(EWX_REBOOT, 0);
}

// --- Support setups ------------------------------------------------------------------------------

struct SupportSetup {
  const char* property;
  const char* below_base;
};
constexpr SupportSetup kSupportSetups[] = {
    {"UDPath", "\\Support\\UDFetch\\UDSETUP.EXE"},
    {"RBPath", "\\Support\\RegBeacon\\RBSETUP.EXE"},
    {"DCOMPath", "\\Support\\DCOM95\\DCOM95.EXE"},
    {"WintDistPath", "\\Support\\WintDist\\WintDist.EXE"},
    {"XMLRedist", "\\Support\\XMLRedist\\xmlredist.EXE"},
    {"WScript55Path", "\\Support\\WScript\\scr55en.exe"},
    {"WScript552kPath", "\\Support\\WScript\\scripten.exe"},
};

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CheckIE4(MSIHANDLE session) {
  return twg::RunAction("CheckIE4", [&] {
    std::string major;
    if (twg::IsInternetExplorerEnough(&major)) {
      twg::SetProperty(session, "IE4INSTALLED", "1");
      twg::SetProperty(session, "IEVersion", major.c_str());
    } else {
      twg::ClearProperty(session, "IE4INSTALLED");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGDetectMsTCPIP(MSIHANDLE session) {
  return twg::RunAction("TWGDetectMsTCPIP", [&] {
    OSVERSIONINFOA version;
    if (!twg::QueryBasicVersion(&version)) return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    return twg::PublishPresence(session, twg::OpenTcpipKey(version), "TWGMsTCPInstalled");
  });
}

TWG_ACTION UINT __stdcall TWGDetectTSK(MSIHANDLE session) {
  return twg::RunAction("TWGDetectTSK", [&] {
    LONG size = 0;
    const LONG status = RegQueryValueA(HKEY_CLASSES_ROOT, twg::kUtilitySuiteClass, nullptr, &size);
    return twg::PublishPresence(session, status, "TWGTSKInstalled");
  });
}

TWG_ACTION UINT __stdcall TWGNeedWintdist(MSIHANDLE session) {
  return twg::RunAction("TWGNeedWintdist", [&] {
    char system[MAX_PATH];
    twg::SystemFolder(system);
    const bool present =
        twg::SystemFileExists(system, "SHDOCVW.DLL") || twg::SystemFileExists(system, "INLOADER.DLL");
    twg::SetFlagProperty(session, "TWGInstallWintDist", !present);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// The atom outlives the installer and vanishes with the next restart, so a second run before that
// restart knows the redistributable is already in and only the restart is missing.
TWG_ACTION UINT __stdcall PostWintdist(MSIHANDLE session) {
  return twg::RunAction("PostWintdist", [&] {
    char product[255];
    twg::ReadProperty(session, "ProductName", product);
    if (GlobalFindAtomA(twg::kWintdistAtom) != 0) {
      twg::SetProperty(session, "TWGInstallWintDist", "1");
      twg::OfferRestart(product, IDS_WINTDIST_RESTART_STILL_REQUIRED, MB_YESNO | MB_ICONQUESTION);
      return ERROR_SUCCESS;
    }
    char needed[255];
    twg::ReadProperty(session, "TWGInstallWintDist", needed);
    if (needed[0] == '\0') return ERROR_SUCCESS;
    GlobalAddAtomA(twg::kWintdistAtom);
    twg::OfferRestart(product, IDS_WINTDIST_RESTART_PROMPT,
                      MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL | MB_SETFOREGROUND);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// The support setups sit beside the package's own folder ("D:\SETUP\TWG\" gives "D:\SETUP\Support\...");
// the rules file sits in it.
TWG_ACTION UINT __stdcall SetSupportProperties(MSIHANDLE session) {
  return twg::RunAction("SetSupportProperties", [&] {
    char source[260];
    twg::ReadProperty(session, "SourceDir", source);
    char base[260];
    std::memcpy(base, source, sizeof base);
    twg::CutToParentFolder(twg::SystemLeadBytes(), base);
    for (const auto& setup : twg::kSupportSetups) {
      twg::SetProperty(session, setup.property, (std::string(base) + setup.below_base).c_str());
    }
    twg::SetProperty(session, "ALERulesPath", (std::string(source) + "\\ALERules.exe").c_str());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
