#include <shlobj.h>

#include <cstdarg>
#include <cstring>

#include "frame/action_frame.h"
#include "location/folder_text.h"
#include "location/location.h"
#include "resource_ids.h"

namespace twg {
namespace {

constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kSkyfetchKey[] = "SOFTWARE\\Veltrane\\SharedUsage";
// The lookups may have to write back what they found, so they open for reading and writing alike.
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// A string value read whole into buffer (terminated even when stored without its NUL).
LONG QueryText(HKEY key, const char* value_name, char* buffer, DWORD size) {
  if (size == 0) return ERROR_MORE_DATA;
  DWORD type = 0;
  DWORD bytes = size;
  LONG rc = RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  if (bytes >= size && buffer[size - 1] != '\0') return ERROR_MORE_DATA;
  buffer[bytes < size ? bytes : size - 1] = '\0';
  return ERROR_SUCCESS;
}

bool ReadMachineText(const char* key_path, const char* value_name, char* buffer, DWORD size) {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, kReadWrite, key.Receive()) != ERROR_SUCCESS) return false;
  return QueryText(key, value_name, buffer, size) == ERROR_SUCCESS;
}

bool WriteMachineText(const char* key_path, const char* value_name, const char* text) {
  ScopedRegKey key;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                      key.Receive(), &disposition) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

// The registry value named by string value_id below CurrentVersion; when it is missing, the folder
// that fallback names is created and recorded, but only if it did not exist yet.
template <typename Fallback>
bool LookUpSystemFolder(UINT value_id, Fallback&& fallback, char* buffer, DWORD size) {
  char value_name[260];
  if (LoadText(value_id, value_name) == 0) return false;
  if (ReadMachineText(kCurrentVersionKey, value_name, buffer, size)) return true;

  char folder[261];
  if (!fallback(folder, static_cast<DWORD>(sizeof folder))) return false;
  if (!CreateDirectoryA(folder, nullptr)) return false;
  if (!WriteMachineText(kCurrentVersionKey, value_name, folder)) return false;
  return ConcatBounded(buffer, size, folder, "");
}

// The install log line of the updater-folder lookup, also sent to the debugger. wvsprintfA writes at
// most 1024 characters.
void LogSkyfetchLine(const char* format, ...) {
  char line[1025];
  va_list args;
  va_start(args, format);
  wvsprintfA(line, format, args);
  va_end(args);
  WriteInstallLog(line);
  OutputDebugStringA(line);
}

bool ReadSkyfetchValues(char* buffer, DWORD size) {
  ScopedRegKey key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSkyfetchKey, 0, kReadWrite, key.Receive());
  if (rc != ERROR_SUCCESS) {
    LogSkyfetchLine("Error %d opening key %s.\r\n", static_cast<int>(rc), kSkyfetchKey);
    return false;
  }
  if (QueryText(key, "Skyfetch", buffer, size) == ERROR_SUCCESS) return true;
  rc = QueryText(key, "Skyfetch1", buffer, size);
  if (rc == ERROR_SUCCESS) return true;
  LogSkyfetchLine("Error %d retrieving primary/secondary values from %s.\r\n", static_cast<int>(rc),
                  kSkyfetchKey);
  return false;
}

}  // namespace

bool GetProgramFilesDir(char* buffer, DWORD size) {
  return LookUpSystemFolder(IDS_REGVAL_PROGRAM_FILES_DIR, [](char* folder, DWORD folder_size) {
    char windows[260];
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length < 3 || length >= sizeof windows) return false;
    windows[3] = '\0';  // the drive root, "C:\"
    return ConcatBounded(folder, folder_size, windows, "Program Files");
  }, buffer, size);
}

bool GetCommonFilesDir(char* buffer, DWORD size) {
  return LookUpSystemFolder(IDS_REGVAL_COMMON_FILES_DIR, [](char* folder, DWORD folder_size) {
    char program_files[261];
    return GetProgramFilesDir(program_files, sizeof program_files) &&
           ConcatBounded(folder, folder_size, program_files, "\\Common Files");
  }, buffer, size);
}

bool GetVeltraneSharedDir(char* buffer, DWORD size) {
  char key_path[260];
  char value_name[260];
  if (LoadText(IDS_REGKEY_SHARED_USAGE, key_path) > 0 && LoadText(IDS_REGVAL_SHARED_LOCATION, value_name) > 0 &&
      ReadMachineText(key_path, value_name, buffer, size)) {
    return true;
  }
  char program_files[261];
  return GetProgramFilesDir(program_files, sizeof program_files) &&
         ConcatBounded(buffer, size, program_files, "\\Veltrane");
}

bool RegGetSkyfetchDir(char* buffer, DWORD size) {
  if (ReadSkyfetchValues(buffer, size)) return true;
  LogSkyfetchLine("RegGetSkyfetchDir:  Trying method 2.\r\n");
  char shared[521];
  if (!GetVeltraneSharedDir(shared, sizeof shared)) {
    LogSkyfetchLine("Error locating Veltrane directory.\r\n");
    return false;
  }
  if (!ConcatBounded(buffer, size, shared, "\\Skyfetch")) {
    LogSkyfetchLine("Error creating UD path - buffer too small.\r\n");
    return false;
  }
  return true;
}

bool ShellFolderPath(int csidl, char (&path)[MAX_PATH]) {
  struct ItemIdListTraits {
    using Handle = LPITEMIDLIST;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CoTaskMemFree(h); }
  };
  Scoped<ItemIdListTraits> list;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive()))) return false;
  path[0] = '\0';
  return SHGetPathFromIDListA(list, path) && path[0] != '\0';
}

}  // namespace twg
