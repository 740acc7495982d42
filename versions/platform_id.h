// The platform of the basic version record, and the restart that depends on it.
#pragma once
#include <windows.h>

#include <cstring>

namespace twg {

inline bool ReadPlatformId(DWORD* platform_id) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  *platform_id = info.dwPlatformId;
  return true;
}

// Restarts Windows, forcing applications closed on the NT family (after enabling the shutdown privilege;
// false when that fails) and plainly elsewhere.
bool ForceRestart();

}  // namespace twg
