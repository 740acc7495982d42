#include "detect/system_query.h"

#include <cstring>

#include "frame/action_frame.h"
#include "frame/handles.h"

namespace twg {

bool QueryBasicVersion(OSVERSIONINFOA* info) {
  std::memset(info, 0, sizeof *info);
  info->dwOSVersionInfoSize = sizeof *info;
  return GetVersionExA(info) != FALSE;
}

bool QueryExtendedVersion(OSVERSIONINFOEXA* info) {
  std::memset(info, 0, sizeof *info);
  info->dwOSVersionInfoSize = sizeof *info;
  return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info)) != FALSE;
}

LONG ReadTextValue(HKEY key, const char* value_name, char* buffer, DWORD size) {
  std::memset(buffer, 0, size);
  DWORD length = size;
  LONG status = RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length);
  if (status != ERROR_SUCCESS) std::memset(buffer, 0, size);
  buffer[size - 1] = '\0';  // a value stored without its terminator may fill the buffer
  return status;
}

LONG ReadTextValue(HKEY root, const char* subkey, REGSAM access, const char* value_name, char* buffer,
                   DWORD size) {
  std::memset(buffer, 0, size);
  ScopedRegKey key;
  LONG status = RegOpenKeyExA(root, subkey, 0, access, key.Receive());
  if (status != ERROR_SUCCESS) return status;
  return ReadTextValue(key, value_name, buffer, size);
}

LONG ReadValueBlock(HKEY key, const char* value_name, DWORD* type, std::vector<char>* block,
                    QueryValueFn query) {
  DWORD size = 0;
  LONG status = query(key, value_name, nullptr, nullptr, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  if (size == 0) return ERROR_FILE_NOT_FOUND;
  block->assign(size, '\0');
  status = query(key, value_name, nullptr, type, reinterpret_cast<BYTE*>(block->data()), &size);
  if (status != ERROR_SUCCESS) block->clear();
  return status;
}

void FormatLoadedText(UINT id, const char* argument, char (&text)[1024]) {
  char format[1024];
  LoadText(id, format);
  wsprintfA(text, format, argument);
}

void SystemFolder(char (&folder)[MAX_PATH]) {
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) folder[0] = '\0';
}

}  // namespace twg
