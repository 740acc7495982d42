// MoveStartMenuItems: renames a folder of the current user's Start-menu Programs folder. Not a custom
// action: other programs call it with two folder names, under its plain name and the C calling
// convention (the caller removes the arguments).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "frame/action_frame.h"
#include "location/location.h"

namespace twg {
namespace {

// folder + "\" + name, with the double zero the shell's file operation needs to end its path list.
bool ListPath(const char* folder, const char* name, char* out, std::size_t size) {
  const std::size_t folder_length = std::strlen(folder), name_length = std::strlen(name);
  if (folder_length + 1 + name_length + 2 > size) return false;
  std::memcpy(out, folder, folder_length);
  out[folder_length] = '\\';
  std::memcpy(out + folder_length + 1, name, name_length);
  out[folder_length + 1 + name_length] = '\0';
  out[folder_length + 2 + name_length] = '\0';
  return true;
}

// 1 when the folder was moved, 0 when it was not (no Programs folder, a name missing or too long, or
// the move failed or was stopped).
int MoveProgramsFolder(const char* target, const char* source) {
  if (target == nullptr || source == nullptr || target[0] == '\0' || source[0] == '\0') return 0;
  char programs[MAX_PATH];
  if (!ShellFolderPath(CSIDL_PROGRAMS, programs)) return 0;
  char from[1040], to[1040];
  if (!ListPath(programs, source, from, sizeof from) || !ListPath(programs, target, to, sizeof to)) return 0;
  if (GetFileAttributesA(from) == INVALID_FILE_ATTRIBUTES) return 0;

  SHFILEOPSTRUCTA operation;
  std::memset(&operation, 0, sizeof operation);
  operation.wFunc = FO_MOVE;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  if (SHFileOperationA(&operation) != 0 || operation.fAnyOperationsAborted) return 0;
  return 1;
}

}  // namespace
}  // namespace twg

extern "C" int __cdecl MoveStartMenuItems(const char* target, const char* source) {
  return static_cast<int>(twg::RunAction("MoveStartMenuItems", [&] {
    return static_cast<UINT>(twg::MoveProgramsFolder(target, source));
  }, 0));
}
