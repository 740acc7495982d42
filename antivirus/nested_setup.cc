// TWGInstallTVS: the companion product's setup from the install media, silent, with its progress in the
// installer's own display.
#include "antivirus/nested_setup.h"

#include <cstdio>
#include <cstring>

#include "antivirus/setup_window.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "resource_ids.h"

namespace twg {
namespace {

const ResponseProperty kResponseProperties9x[] = {
    {"ENABLETVSAP", "DlgInitialSettings95-0", "StartAutoProtect"},
    {"SCHEDULESCAN", "DlgInitialSettings95-0", "ScheduleScan"},
    {"SCANFORVIRUSES", "DlgInitialSettings95-0", "ScanAtStartup"},
    {nullptr, nullptr, nullptr},
};
const ResponseProperty kResponsePropertiesNt[] = {
    {"ENABLETVSAP", "DlgInitialSettings-0", "StartAutoProtect"},
    {"SCHEDULESCAN", "DlgInitialSettings-0", "ScheduleScan"},
    {nullptr, nullptr, nullptr},
};

struct Placeholder {
  UINT id;
  const char* replacement;  // null: the install folder
};
const Placeholder kPlaceholders[] = {
    {IDS_ISS_PLACEHOLDER_USERNAME, "Valued Customer"},
    {IDS_ISS_PLACEHOLDER_COMPANYNAME, "Home"},
    {IDS_ISS_PLACEHOLDER_INSTALLDIR, nullptr},
};

bool IsNt() {
  DWORD platform = 0;
  return ReadPlatformId(&platform) && platform == VER_PLATFORM_WIN32_NT;
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Cuts text at its last backslash; false when there is none.
bool CutAtLastBackslash(char* text) {
  char* last = PathFindLast(text, '\\');
  if (!last) return false;
  *last = '\0';
  return true;
}

// The setup below SourceDir, or in the folder one level up (media with a disk folder per disk).
bool FindSetupProgram(MSIHANDLE session, const char* setup_folder, char (&path)[MAX_PATH]) {
  char source[MAX_PATH];
  ReadProperty(session, "SourceDir", source);
  std::snprintf(path, sizeof path, "%s%s\\setup.exe", source, setup_folder);
  if (Exists(path)) return true;
  // SourceDir ends with a backslash: the first cut takes that, the second the disk folder.
  for (int i = 0; i < 2 && CutAtLastBackslash(source); ++i) {
  }
  std::snprintf(path, sizeof path, "%s\\%s\\setup.exe", source, setup_folder);
  return Exists(path);
}

// Writes the template to a new temporary file; name receives its path once the file exists.
DWORD WriteResponseFile(const NestedSetupParams& params, char (&name)[MAX_PATH]) {
  char folder[MAX_PATH];
  if (!GetTempPathA(sizeof folder, folder)) {
    const DWORD error = GetLastError();
    DebugOut("GetTempPath()\nError:\t%ld", static_cast<long>(error));
    return error;
  }
  if (!GetTempFileNameA(folder, "SW", 0, name)) {
    const DWORD error = GetLastError();
    DebugOut("GetTempFileName()\nError:\t%ld", static_cast<long>(error));
    name[0] = '\0';
    return error;
  }
  ScopedHandle file(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    DebugOut("CreateFile(\"%s\")\nError:\t%ld", name, static_cast<long>(error));
    return error;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, params.response_template, params.response_template_size, &written, nullptr) &&
                  written == params.response_template_size && FlushFileBuffers(file) &&
                  CloseHandle(file.release());
  if (!ok) {
    const DWORD error = GetLastError();
    DebugOut("WriteFile/Flush/Close(\"%s\")\nError:\t%ld", name, static_cast<long>(error));
    return error ? error : ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

DWORD FillPlaceholders(const NestedSetupParams& params, const char* response_file) {
  for (const Placeholder& p : kPlaceholders) {
    char placeholder[20];
    if (!LoadText(p.id, placeholder)) {
      const DWORD error = GetLastError();
      DebugOut("LoadString(%d)\nError:\t%ld", static_cast<int>(p.id), static_cast<long>(error));
      return error ? error : ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    const char* replacement = p.replacement ? p.replacement : params.install_folder;
    if (FileSearchAndReplace(response_file, placeholder, replacement) == -1) {
      DebugOut("FileSearchAndReplace() %s --> %s\nError:\t%ld", placeholder, replacement,
               static_cast<long>(ERROR_INVALID_PARAMETER));
      return ERROR_INVALID_PARAMETER;
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD ApplyResponseProperties(const ResponseProperty* table, const char* response_file, MSIHANDLE session) {
  if (!table || !response_file || !*response_file) return ERROR_INVALID_PARAMETER;
  for (const ResponseProperty* row = table; row->property; ++row) {
    char value[MAX_PATH];
    // An unset or unreadable property still overwrites the template's own choice.
    const bool read = ReadProperty(session, row->property, value) == ERROR_SUCCESS && value[0];
    if (!WritePrivateProfileStringA(row->section, row->key, read ? value : "0", response_file))
      return ERROR_FILE_INVALID;  // 1006
  }
  return ERROR_SUCCESS;
}

DWORD RunNestedSetup(const NestedSetupParams& params, MSIHANDLE session) {
  char setup[MAX_PATH];
  if (!FindSetupProgram(session, params.setup_folder, setup)) {
    return static_cast<DWORD>(ShowMessage(IDS_TVS_SETUP_NOT_FOUND, IDS_TVS_SETUP_NOT_FOUND_CAPTION, MB_OK));
  }
  char response_file[MAX_PATH] = "";
  DWORD result = ERROR_SUCCESS;
  if (!params.response_template) {
    DebugOut("FindResource()\nError:\t%ld", 0L);
  } else {
    result = WriteResponseFile(params, response_file);
    if (result == ERROR_SUCCESS) result = FillPlaceholders(params, response_file);
    if (result == ERROR_SUCCESS) {
      ApplyResponseProperties(IsNt() ? kResponsePropertiesNt : kResponseProperties9x, response_file, session);
    }
  }
  if (result == ERROR_SUCCESS) {
    const long code = SWLaunchSetupAndWait(setup, response_file, "", params.window_caption, params.log_file_name);
    if (code != 0) DebugOut("SWLaunchSetupAndWait()\nError:\t%ld", code);
    result = static_cast<DWORD>(code);
  }
  if (response_file[0] && !DeleteFileA(response_file)) {
    result = GetLastError();
    DebugOut("DeleteFile()\nError:\t%ld", static_cast<long>(result));
  }
  return result;
}

}  // namespace twg

namespace {

// Progress records of three fields, as the installer's display takes them.
void Progress(MSIHANDLE session, int kind, int ticks, int direction) {
  twg::MsiHandle record(MsiCreateRecord(3));
  if (!record.valid()) return;
  MsiRecordSetInteger(record, 1, kind);
  MsiRecordSetInteger(record, 2, ticks);
  MsiRecordSetInteger(record, 3, direction);
  MsiProcessMessage(session, INSTALLMESSAGE_PROGRESS, record);
}

// Template 102 or 103; null when the module does not carry it.
const char* LoadTemplate(UINT id, DWORD* size) {
  HMODULE module = twg::ModuleHandle();
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), ISS_TEMPLATE_RESOURCE_TYPE);
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return nullptr;
  *size = SizeofResource(module, found);
  return static_cast<const char*>(LockResource(loaded));
}

}  // namespace

TWG_ACTION UINT __stdcall TWGInstallTVS(MSIHANDLE session) {
  return twg::RunAction("TWGInstallTVS", [&]() -> UINT {
    using namespace twg;
    SetProperty(session, "TVS_IN_PROGRESS", "1");
    SetSetupSession(session);
    SendCommonData(session, 2, 0);  // hide Cancel: the setup is cancelled through its own dialogs
    Progress(session, 0, kSetupProgressTotal, 0);
    Progress(session, 1, 1, 0);
    Progress(session, 2, kSetupProgressStart, 0);
    char name[259], description[259], init[259];
    LoadText(IDS_TVS_ACTION_NAME, name);
    LoadText(IDS_TVS_ACTION_DESCRIPTION, description);
    LoadText(IDS_TVS_ACTION_TEMPLATE_INIT, init);
    SendActionStart(session, name, description, init);

    NestedSetupParams params = {};
    ReadProperty(session, "TVSINSTALLDIR", params.install_folder);
    const std::size_t len = std::strlen(params.install_folder);
    if (len && params.install_folder[len - 1] == '\\' &&
        PathFindLast(params.install_folder, '\\') == params.install_folder + len - 1) {
      params.install_folder[len - 1] = '\0';
    }
    const bool nt = IsNt();
    LoadText(nt ? IDS_TVS_SETUP_FOLDER_NT : IDS_TVS_SETUP_FOLDER_9X, params.setup_folder);
    params.response_template = LoadTemplate(nt ? IDR_ISS_TEMPLATE_NT : IDR_ISS_TEMPLATE_9X,
                                            &params.response_template_size);
    LoadText(IDS_TVS_SETUP_CAPTION, params.window_caption, 255);
    params.log_file_name = "TVSINST.LOG";
    RunNestedSetup(params, session);

    Progress(session, 2, kSetupProgressEnd, 0);
    SendCommonData(session, 2, 1);
    ClearProperty(session, "TVS_IN_PROGRESS");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
