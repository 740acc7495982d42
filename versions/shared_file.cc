// The shared main program: read its version, write the package's copy out of the Binary table, swap
// it into place with a backup, and keep or drop that backup after an old product's removal.
#include "versions/shared_program.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "versions/close_window.h"
#include "versions/version_rules.h"

namespace twg {
namespace {

constexpr char kInstalledAppsKey[] = "SOFTWARE\\Veltrane\\InstalledApps";
constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr DWORD kStreamChunk = 1024;

// The last error as a result; a call that failed without saying why still fails.
Result LastErrorResult() {
  DWORD error = GetLastError();
  return error == 0 ? kUnspecifiedFailure : ResultFromWin32(error);
}

Result MsiResult(UINT status) { return ResultFromWin32(status); }

bool FileOpensAsExisting(const std::string& path, Result* failure = nullptr) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() && failure) *failure = LastErrorResult();
  return file.valid();
}

// A temporary file name "TWGT<n>.tmp" in the temporary folder, n from the time-seeded generator. Only the
// name is made: the file is created when the package's copy is written out.
Result MakeTemporaryName(std::string* name) {
  char folder[MAX_PATH];
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > sizeof folder) return LastErrorResult();
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  char path[MAX_PATH];
  if (GetTempFileNameA(folder, "TWGT", TemporaryFileNumber(static_cast<unsigned>(std::rand())), path) == 0) {
    return LastErrorResult();
  }
  *name = path;
  return kOk;
}

Result WriteStreamToFile(MSIHANDLE record, HANDLE file) {
  char chunk[kStreamChunk];
  for (;;) {
    DWORD size = sizeof chunk;
    UINT status = MsiRecordReadStream(record, 2, chunk, &size);
    if (status != ERROR_SUCCESS) return MsiResult(status);
    if (size == 0) return kOk;
    DWORD written = 0;
    if (!WriteFile(file, chunk, size, &written, nullptr) || written != size) return LastErrorResult();
  }
}

// Puts the new copy into place: the old one is moved aside first and moved back when the copy fails.
Result SwapIntoPlace(const std::string& temporary, const std::string& target, const std::string& backup) {
  if (!MoveFileA(target.c_str(), backup.c_str())) {
    Result failure = LastErrorResult();
    DeleteFileA(temporary.c_str());
    return failure;
  }
  if (CopyFileA(temporary.c_str(), target.c_str(), TRUE)) {
    DeleteFileA(temporary.c_str());
    return kOk;
  }
  Result failure = LastErrorResult();
  if (MoveFileA(backup.c_str(), target.c_str())) DeleteFileA(backup.c_str());
  DeleteFileA(temporary.c_str());
  return failure;
}

DWORD SharedReferenceCount(const std::string& program_path) {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD count = 0;
  DWORD size = sizeof count;
  if (RegQueryValueExA(key, program_path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return count;
}

}  // namespace

bool ReadRegValueByRootName(const char* root_name, const char* subkey, const char* value_name,
                            char (&buffer)[260]) {
  buffer[0] = '\0';
  if (!root_name || !subkey || !value_name) return false;
  HKEY root = nullptr;
  switch (RootFromName(root_name)) {
    case RootName::kClassesRoot: root = HKEY_CLASSES_ROOT; break;
    case RootName::kLocalMachine: root = HKEY_LOCAL_MACHINE; break;
    case RootName::kUsers: root = HKEY_USERS; break;
    case RootName::kCurrentUser: root = HKEY_CURRENT_USER; break;
    case RootName::kNone: return false;
  }
  ScopedRegKey key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return false;
  DWORD size = sizeof buffer;
  bool read = RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
              ERROR_SUCCESS;
  buffer[sizeof buffer - 1] = '\0';
  return read;
}

std::string SharedFolder() {
  char folder[260];
  ReadRegValueByRootName("HKEY_LOCAL_MACHINE", kInstalledAppsKey, "Veltrane Shared Directory", folder);
  return folder;
}

std::string SharedFilePath(const char* file_name) {
  return JoinFolderFile(SystemLeadBytes(), SharedFolder(), file_name);
}

Result GetFileFixedVersion(const char* path, VS_FIXEDFILEINFO* block) {
  if (!path || !block) return kPointerMissing;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(const_cast<char*>(path), &ignored);
  if (size == 0) return LastErrorResult();
  std::unique_ptr<char[]> data(new (std::nothrow) char[size]);
  if (!data) return kOutOfMemory;
  if (!GetFileVersionInfoA(const_cast<char*>(path), 0, size, data.get())) return kUnspecifiedFailure;
  void* root = nullptr;
  UINT root_size = 0;
  if (!VerQueryValueA(data.get(), const_cast<char*>("\\"), &root, &root_size) || !root ||
      root_size < sizeof(VS_FIXEDFILEINFO)) {
    return kUnspecifiedFailure;
  }
  std::memcpy(block, root, sizeof(VS_FIXEDFILEINFO));
  return kOk;
}

Result ExtractBinaryToFile(MSIHANDLE session, const char* binary_name, const char* target_path) {
  if (!session || !binary_name || !target_path) return kPointerMissing;
  MsiHandle database(MsiGetActiveDatabase(session));
  if (!database.valid()) return kPointerMissing;
  std::string query = std::string("SELECT * from Binary WHERE Name = '") + binary_name + "'";
  MsiHandle view;
  UINT status = MsiDatabaseOpenViewA(database, query.c_str(), view.Receive());
  if (status != ERROR_SUCCESS) return MsiResult(status);
  if ((status = MsiViewExecute(view, 0)) != ERROR_SUCCESS) return MsiResult(status);
  MsiHandle record;
  if ((status = MsiViewFetch(view, record.Receive())) != ERROR_SUCCESS) return MsiResult(status);

  ScopedHandle file(CreateFileA(target_path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastErrorResult();
  Result result = WriteStreamToFile(record, file);
  if (Failed(result)) {
    // A part-written copy must not stay behind; the file is this call's own (it was created new).
    file.reset();
    DeleteFileA(target_path);
  }
  return result;
}

Result ExtractAndPatchSharedFile(MSIHANDLE session, const char* file_name) {
  if (!session || !file_name) return kPointerMissing;
  if (SharedFolder().empty()) return kUnspecifiedFailure;
  std::string target = SharedFilePath(file_name);
  Result result = kOk;
  if (!FileOpensAsExisting(target, &result)) return result;

  // The integrator keeps the program open.
  TWGCloseIntegrator(session);

  VS_FIXEDFILEINFO version;
  if (Failed(result = GetFileFixedVersion(target.c_str(), &version))) return result;
  if (IsCurrentSharedVersion(version.dwFileVersionMS, version.dwFileVersionLS)) return kOk;

  std::string temporary;
  if (Failed(result = MakeTemporaryName(&temporary))) return result;
  std::string backup = BackupPathFor(target);
  if (backup.empty() && Failed(result = MakeTemporaryName(&backup))) return result;
  if (Failed(result = ExtractBinaryToFile(session, file_name, temporary.c_str()))) return result;
  return SwapIntoPlace(temporary, target, backup);
}

void RestoreTMainBackup() {
  if (SharedFolder().empty()) return;
  std::string program = SharedFilePath("TMain.exe");
  std::string backup = BackupPathFor(program);
  if (!FileOpensAsExisting(backup)) return;
  DeleteFileA(program.c_str());
  MoveFileA(backup.c_str(), program.c_str());
}

void DropTMainBackup(const std::string& program_path) {
  if (program_path.size() <= 3) return;
  std::string backup = BackupPathFor(program_path);
  if (!FileOpensAsExisting(backup)) return;
  if (SharedReferenceCount(program_path) == 0) DeleteFileA(backup.c_str());
}

}  // namespace twg

// Its result is the patch's own: 0 when the program was current or has been replaced.
TWG_ACTION UINT __stdcall MsiExtractAndPatchTMain(MSIHANDLE session) {
  return twg::RunAction("MsiExtractAndPatchTMain", [&] {
    return static_cast<UINT>(twg::ExtractAndPatchSharedFile(session, "TMain.exe"));
  });
}
