// The settings actions: checks of what the user typed in the setup dialogs, settings of the product
// written at install, and the start-up value and configuration tree removed at uninstall. None of them
// fails the install; what they find they report in properties.
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_registry.h"
#include "config/settings_text.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"

namespace twg {
namespace {

constexpr REGSAM kKeyAccess = 0x2001F;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kOwnProductCode[] = "{21129204-B8EE-CDB1-A2A2-CC1BF0BB8167}";

bool OpenKey(const char* path, REGSAM access, ScopedRegKey* key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key->Receive()) == ERROR_SUCCESS;
}

void SetDword(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SetText(HKEY key, const char* name, const char* text, DWORD size) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

// Opens the key (never created) and sets one DWORD; a key that is not there means the component that
// reads the value is not installed.
void SetDwordInExistingKey(const char* path, const char* name, DWORD value) {
  ScopedRegKey key;
  if (OpenKey(path, kKeyAccess, &key)) SetDword(key, name, value);
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Windows 95 without the shell update has no SHDeleteKeyA, and its RegDeleteKeyA removes a whole tree
// while NT's refuses a key with subkeys: deleting the children first works on both.
LONG DeleteTree(HKEY parent, const char* name) {
  {
    ScopedRegKey key;
    LONG opened = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key.Receive());
    if (opened != ERROR_SUCCESS) return opened;
    char child[256];
    while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS) {
      if (DeleteTree(key, child) != ERROR_SUCCESS) break;
    }
  }
  return RegDeleteKeyA(parent, name);
}

LONG DeleteKeyTree(HKEY parent, const char* name) {
  using ShDeleteKeyFn = DWORD(WINAPI*)(HKEY, LPCSTR);
  ScopedLibrary shlwapi(LoadLibraryA("shlwapi.dll"));
  auto sh_delete_key = shlwapi.valid() ? reinterpret_cast<ShDeleteKeyFn>(reinterpret_cast<void*>(
                                             GetProcAddress(shlwapi, "SHDeleteKeyA")))
                                       : nullptr;
  if (sh_delete_key != nullptr) return static_cast<LONG>(sh_delete_key(parent, name));
  return DeleteTree(parent, name);
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGCheckNameAndPassword(MSIHANDLE session) {
  return twg::RunAction("TWGCheckNameAndPassword", [&] {
    char typed[520];
    if (twg::ReadProperty(session, "DefaultName", typed) != ERROR_SUCCESS) return ERROR_SUCCESS;
    std::string trimmed;
    const bool good = twg::AcceptUserName(twg::SystemLeadBytes(), typed, &trimmed);
    twg::SetProperty(session, "TWGGoodNamePassword", good ? "1" : "0");
    if (good) twg::SetProperty(session, "DefaultName", trimmed.c_str());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckDBCSPassword(MSIHANDLE session) {
  return twg::RunAction("CheckDBCSPassword", [&] {
    char password[260];
    twg::ReadProperty(session, "DefaultPassword1", password);
    twg::SetFlagProperty(session, "DBCSPassword", twg::HasDoubleByteOrHighByte(twg::SystemLeadBytes(), password));
    SecureZeroMemory(password, sizeof password);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SetVXFManagedKeys(MSIHANDLE session) {
  return twg::RunAction("SetVXFManagedKeys", [&] {
    char data[260];
    twg::ReadProperty(session, "CustomActionData", data);
    twg::ScopedRegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\Managed Products\\Taskan Web Guard", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, twg::kKeyAccess, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
      return ERROR_SUCCESS;
    }
    static const BYTE kVersion[8] = {5, 0, 1, 0, 1, 0, 0x32, 0x01};  // 5.1.1.306
    RegSetValueExA(key, "Version", 0, REG_BINARY, kVersion, sizeof kVersion);
    twg::SetDword(key, "Managed", std::strcmp(data, "0") == 0 ? 0 : 1);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall UpdateAlertIcon(MSIHANDLE) {
  return twg::RunAction("UpdateAlertIcon", [&] {
    twg::ScopedRegKey key;
    if (!twg::OpenKey("Software\\Veltrane\\VelTray\\Taskan System Kit\\Filter Criteria\\Taskan Web Guard",
                      twg::kKeyAccess, &key)) {
      return ERROR_SUCCESS;
    }
    char text[520];
    if (!twg::ReadRegText(key, "AlertIcon", text)) return ERROR_SUCCESS;
    twg::CutAtLastComma(twg::SystemLeadBytes(), text);
    char folder[260];
    twg::ReadProductFolder(folder);
    char fet_a[300], fet_p[300], icon[sizeof text + 4];  // room for the index behind the longest text
    std::snprintf(fet_a, sizeof fet_a, "%s\\TWGFetA.dll", folder);
    std::snprintf(fet_p, sizeof fet_p, "%s\\TWGFetP.dll", folder);
    std::snprintf(icon, sizeof icon, "%s%s", text,
                  twg::AlertIconIndex(twg::FileExists(fet_a), twg::FileExists(fet_p)));
    twg::SetText(key, "AlertIcon", icon, static_cast<DWORD>(std::strlen(icon) + 1));
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGShutOffFirewall(MSIHANDLE) {
  return twg::RunAction("TWGShutOffFirewall", [&] {
    DWORD platform = 0;
    if (!twg::ReadPlatformId(&platform) || platform != VER_PLATFORM_WIN32_NT) return ERROR_SUCCESS;
    twg::SetDwordInExistingKey("Software\\Veltrane\\GRD\\FirewallState", "FilterEnabled", 0);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnTWGEnableFirewall(MSIHANDLE) {
  return twg::RunAction("fnTWGEnableFirewall", [&] {
    twg::SetDwordInExistingKey("Software\\Veltrane\\GRD\\Filters", "Start Mode", 1);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SetUninstallString(MSIHANDLE session) {
  return twg::RunAction("SetUninstallString", [&] {
    char code[260];
    twg::ReadProperty(session, "ProductCode", code);
    char path[400];
    std::snprintf(path, sizeof path, "%s%s", twg::kUninstallKey, code);
    twg::ScopedRegKey key;
    if (!twg::OpenKey(path, twg::kKeyAccess, &key)) return ERROR_SUCCESS;
    char command[260] = {};  // written whole: the text followed by zero bytes
    std::snprintf(command, sizeof command, "MsiExec.exe /I%s", code);
    twg::SetText(key, "UninstallString", command, sizeof command);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnTWGSetRegUninstallString(MSIHANDLE) {
  return twg::RunAction("fnTWGSetRegUninstallString", [&] {
    char path[200];
    std::snprintf(path, sizeof path, "%s%s", twg::kUninstallKey, twg::kOwnProductCode);
    twg::ScopedRegKey key;
    if (!twg::OpenKey(path, twg::kKeyAccess, &key)) return ERROR_SUCCESS;
    char command[100];
    std::snprintf(command, sizeof command, "MsiExec.exe /X%s", twg::kOwnProductCode);
    twg::SetText(key, "Uninstallstring", command, static_cast<DWORD>(std::strlen(command) + 1));
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall FindSCANAgentInstall(MSIHANDLE session) {
  return twg::RunAction("FindSCANAgentInstall", [&] {
    char source[260];
    twg::ReadProperty(session, "SourceDir", source);
    for (int cut = 0; cut < 2; ++cut) {
      char* backslash = twg::PathFindLast(source, '\\');
      if (backslash == nullptr) break;
      *backslash = '\0';
    }
    char candidate[300];
    std::snprintf(candidate, sizeof candidate, "%s\\support\\scanagnt.msi", source);
    if (!twg::FileExists(candidate)) {
      twg::ClearProperty(session, "SCANAGENTMSI");
      return ERROR_SUCCESS;
    }
    twg::SetProperty(session, "SCANAGENTMSI", candidate);
    char install_dir[260];
    twg::ReadProperty(session, "INSTALLDIR", install_dir);
    char copy[300];
    std::snprintf(copy, sizeof copy, "%sscanagnt.msi", install_dir);
    CopyFileA(candidate, copy, TRUE);
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof system);
    char command[260] = {};  // written whole: the text followed by zero bytes
    std::snprintf(command, sizeof command, "%s\\msiexec.exe /qn /i \"%s\"", system, copy);
    twg::ScopedRegKey key;
    if (!twg::OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", twg::kKeyAccess, &key)) {
      return ERROR_SUCCESS;
    }
    twg::SetText(key, "Scan Agent Install", command, sizeof command);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall DeleteSCANAgentInstall(MSIHANDLE session) {
  return twg::RunAction("DeleteSCANAgentInstall", [&] {
    char install_dir[260];
    twg::ReadProperty(session, "INSTALLDIR", install_dir);
    char path[300];
    std::snprintf(path, sizeof path, "%sscanagnt.msi", install_dir);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall DeleteGrdAppValue(MSIHANDLE) {
  return twg::RunAction("DeleteGrdAppValue", [&] {
    twg::ScopedRegKey key;
    if (twg::OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", twg::kKeyAccess, &key)) {
      RegDeleteValueA(key, "grdapp");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall fnDeleteGrdAppRegKey(MSIHANDLE) {
  return twg::RunAction("fnDeleteGrdAppRegKey", [&] {
    twg::ScopedRegKey key;
    if (twg::OpenKey("SOFTWARE\\Veltrane", KEY_ALL_ACCESS, &key)) twg::DeleteKeyTree(key, "GRD");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
