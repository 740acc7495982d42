// The uninstall cleanup: what the installer does not know it installed. Every action here is best
// effort and returns 0 whatever fails; files in use are left for the next restart.
#include <cstring>
#include <string>
#include <vector>

#include "cleanup/cleanup_text.h"
#include "cleanup/restart_delete.h"
#include "detect/system_query.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "protreg/prot_reg.h"

namespace twg {
namespace {

constexpr char kConfigKey[] = "Software\\Veltrane\\GRD";
constexpr char kInstalledAppsKey[] = "Software\\Veltrane\\InstalledApps";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

// --- CleanUpFiles -------------------------------------------------------------------------------

enum class DataFolder { kInstall, kData, kSystem };
struct DataFile {
  DataFolder folder;
  const char* name;
};
constexpr DataFile kDataFiles[] = {
    {DataFolder::kInstall, "TWGUM.DAT"},   {DataFolder::kInstall, "HBM.GID"},
    {DataFolder::kInstall, "TWGFetP.dat"}, {DataFolder::kInstall, "lmssib.dat"},
    {DataFolder::kInstall, "lmssio.dat"},  {DataFolder::kInstall, "nbd.dat"},
    {DataFolder::kInstall, "URLLIST.lst"}, {DataFolder::kData, "CATS.DAT"},
    {DataFolder::kData, "CUSTOM"},         {DataFolder::kSystem, "SR.dat"},
};

// A folder of the product's configuration, which may already be sealed in the protected store: read
// through the access layer, the key opened afresh for each value. False leaves the folder unknown.
bool ReadConfigFolder(const char* value, char (&folder)[260]) {
  folder[0] = '\0';
  ScopedProtKey key;
  if (ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  DWORD size = sizeof folder - 1;  // the last byte stays the terminator whatever the value holds
  if (ProtRegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size) != ERROR_SUCCESS) {
    folder[0] = '\0';
  }
  folder[sizeof folder - 1] = '\0';
  return folder[0] != '\0';
}

// The install folder's "Temp" goes too, once the one file the product leaves in it is gone.
void RemoveInstallTemp(const LeadBytes& lead, const char* install) {
  char temp[MAX_PATH], file[MAX_PATH];
  if (!JoinPath(lead, install, "Temp", temp) || !JoinPath(lead, temp, "Twgum.dat", file)) return;
  DeleteFileA(file);
  RemoveDirectoryA(temp);
}

void CleanUpDataFiles() {
  const LeadBytes lead = SystemLeadBytes();
  char install[260], data[260], system[MAX_PATH] = {};
  ReadConfigFolder("InstallDir", install);
  ReadConfigFolder("DataFolder", data);
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length >= MAX_PATH) system[0] = '\0';

  for (const DataFile& file : kDataFiles) {
    const char* folder = file.folder == DataFolder::kInstall ? install
                         : file.folder == DataFolder::kData  ? data
                                                             : system;
    char path[MAX_PATH];
    if (folder[0] != '\0' && JoinPath(lead, folder, file.name, path)) DeleteOrSchedule(path);
  }
  if (install[0] != '\0') RemoveInstallTemp(lead, install);
}

// --- RemoveTWGDir -------------------------------------------------------------------------------

// Command.com in the boot drive's root on the 9x family, the system folder's cmd.exe otherwise.
bool CommandInterpreter(const LeadBytes& lead, DWORD platform, char (&path)[MAX_PATH]) {
  const bool windows_9x = platform == VER_PLATFORM_WIN32_WINDOWS;
  char folder[MAX_PATH];
  const UINT length = windows_9x ? GetWindowsDirectoryA(folder, MAX_PATH) : GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return windows_9x ? CommandComPath(lead, folder, path, sizeof path) : JoinPath(lead, folder, "cmd.exe", path);
}

std::string ReadStringValue(HKEY key, const char* name) {
  char text[260];
  ReadTextValue(key, name, text);  // empty when the value cannot be read
  return text;
}

// The product folder's parent may go when it holds nothing but the product's own folders.
std::string RemovableParent(const LeadBytes& lead, const std::string& product, const std::string& companion) {
  char parent[MAX_PATH], pattern[MAX_PATH];
  if (product.size() >= MAX_PATH) return "";
  lstrcpynA(parent, product.c_str(), MAX_PATH);
  if (!CutAtLastBackslash(lead, parent) || !JoinPath(lead, parent, "*.*", pattern)) return "";

  WIN32_FIND_DATAA entry;
  ScopedFindFile find(FindFirstFileA(pattern, &entry));
  if (!find.valid()) return "";
  do {
    const bool is_folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (EntryKeepsParent(lead, entry.cFileName, is_folder, product.c_str(), companion.c_str())) return "";
  } while (FindNextFileA(find, &entry));
  return parent;
}

void WriteBatchFile(const char* path, const std::string& text) {
  ScopedHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Only the folders the product registered are named; without that key there is no batch file.
void WriteDeleteBatch(MSIHANDLE session, const LeadBytes& lead, bool nt, const char* batch_path) {
  // Whether the companion product counts as installed does not matter: a recorded folder is removed
  // when it is empty, and only then.
  char companion[260];
  ReadProperty(session, "TVSInstalledDir", companion);

  ScopedRegKey apps;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledAppsKey, 0, KEY_READ, apps.Receive()) != ERROR_SUCCESS) return;
  DeleteBatchPlan plan;
  plan.nt = nt;
  plan.product_folder = ReadStringValue(apps, "Taskan Web Guard");
  plan.data_folder = ReadStringValue(apps, "Taskan Web Guard Data");
  plan.companion_folder = companion;
  if (!plan.product_folder.empty()) plan.parent_folder = RemovableParent(lead, plan.product_folder, companion);
  plan.batch_path = batch_path;
  WriteBatchFile(batch_path, DeleteBatchText(plan));
}

// Windows runs the value once at the next logon; it is written even without a batch file, since
// fnRemoveVXFDeleteMeRegValue takes it as the sign that the removal needs a restart.
void SetRunOnceValue(const char* interpreter, const char* batch_path) {
  ScopedRegKey run_once;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_WRITE, nullptr, run_once.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::string command = std::string("\"") + interpreter + "\" /c \"" + batch_path + "\"";
  RegSetValueExA(run_once, "VXFDeleteMe", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));
}

void RemoveFoldersAtLogon(MSIHANDLE session) {
  const LeadBytes lead = SystemLeadBytes();
  DWORD platform = 0;
  ReadPlatformId(&platform);
  char interpreter[MAX_PATH], temp[MAX_PATH], batch_path[MAX_PATH];
  if (!CommandInterpreter(lead, platform, interpreter)) return;
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH || lstrlenA(temp) + sizeof "VXFDeleteMe.bat" > MAX_PATH) return;
  lstrcpyA(batch_path, temp);
  lstrcatA(batch_path, "VXFDeleteMe.bat");  // the temporary folder's text ends in its separator
  WriteDeleteBatch(session, lead, platform == VER_PLATFORM_WIN32_NT, batch_path);
  SetRunOnceValue(interpreter, batch_path);
}

// --- DeleteESDSource ----------------------------------------------------------------------------

// Every non-empty file below folder, each folder after its contents. Only plain folders (attribute word
// exactly "directory") are walked; anything else with a size is listed as a file.
void ListTree(const LeadBytes& lead, const char* folder, std::vector<std::string>* paths) {
  char pattern[520];
  if (!JoinPath(lead, folder, "*.*", pattern)) return;
  WIN32_FIND_DATAA entry;
  ScopedFindFile find(FindFirstFileA(pattern, &entry));
  if (!find.valid()) return;
  do {
    char path[520];
    const bool dot = std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0;
    if (entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY && !dot) {
      if (JoinPath(lead, folder, entry.cFileName, path)) ListTree(lead, path, paths);
    } else if ((entry.nFileSizeHigh != 0 || entry.nFileSizeLow != 0) && JoinPath(lead, folder, entry.cFileName, path)) {
      paths->push_back(path);
    }
  } while (FindNextFileA(find, &entry));
  find.reset();
  paths->push_back(folder);
}

void DeleteDownloadTreeAtRestart(MSIHANDLE session) {
  const LeadBytes lead = SystemLeadBytes();
  char tree[520];
  if (ReadProperty(session, "SourceDir", tree) != ERROR_SUCCESS) return;
  // SourceDir ends in a backslash: two cuts give the folder that holds the source folder. A drive's
  // root is never taken for the download folder.
  if (!CutAtLastBackslash(lead, tree) || !CutAtLastBackslash(lead, tree)) return;
  if (PathFindFirst(tree, '\\') == nullptr) return;
  std::vector<std::string> paths;
  ListTree(lead, tree, &paths);
  ScheduleTreeDeleteAtRestart(paths);
}

// --- RemoveTMain, RemoveTMainWAV ------------------------------------------------------------------

bool SharedProgramPath(MSIHANDLE session, char (&path)[MAX_PATH]) {
  char folder[260];
  ReadProperty(session, "CommonFilesFolderVeltrane", folder);
  // Without the folder the name alone would point into whatever folder the process works in.
  return folder[0] != '\0' && JoinPath(SystemLeadBytes(), folder, "TMain.exe", path);
}

bool IsNtByExtendedRecord() {
  OSVERSIONINFOEXA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

SharedFileVerdict JudgeSharedProgram(HKEY shared_dlls, const char* path) {
  DWORD count = 0, size = sizeof count;
  const LONG status = RegQueryValueExA(shared_dlls, path, nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
  const SharedCountRead read = status == ERROR_SUCCESS          ? SharedCountRead::kRead
                               : status == ERROR_FILE_NOT_FOUND ? SharedCountRead::kMissing
                                                                : SharedCountRead::kUnreadable;
  return JudgeSharedFile(read, count);
}

void RemoveSharedProgram(MSIHANDLE session) {
  char path[MAX_PATH];
  if (!SharedProgramPath(session, path)) return;
  ScopedRegKey shared_dlls;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, shared_dlls.Receive()) != ERROR_SUCCESS) {
    return;
  }
  switch (JudgeSharedProgram(shared_dlls, path)) {
    case SharedFileVerdict::kDelete:
      DeleteFileA(path);
      break;
    case SharedFileVerdict::kDeleteOrScheduleOnNt:
      if (!DeleteFileA(path) && IsNtByExtendedRecord()) MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      break;
    case SharedFileVerdict::kKeep:
      break;
  }
}

// The program unregisters its sounds itself; it is not waited for.
void UnregisterSharedProgramSounds(MSIHANDLE session) {
  char path[MAX_PATH];
  if (!SharedProgramPath(session, path)) return;
  char command[MAX_PATH + sizeof " /UNREG"];
  lstrcpyA(command, path);
  lstrcatA(command, " /UNREG");
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) return;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CleanUpFiles(MSIHANDLE) {
  return twg::RunAction("CleanUpFiles", [] {
    twg::CleanUpDataFiles();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall RemoveTWGDir(MSIHANDLE session) {
  return twg::RunAction("RemoveTWGDir", [&] {
    twg::RemoveFoldersAtLogon(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall DeleteESDSource(MSIHANDLE session) {
  return twg::RunAction("DeleteESDSource", [&] {
    twg::DeleteDownloadTreeAtRestart(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall RemoveTMain(MSIHANDLE session) {
  return twg::RunAction("RemoveTMain", [&] {
    twg::RemoveSharedProgram(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall RemoveTMainWAV(MSIHANDLE session) {
  return twg::RunAction("RemoveTMainWAV", [&] {
    twg::UnregisterSharedProgramSounds(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
