#include "config/config_registry.h"

#include <cstring>

#include "frame/handles.h"

namespace twg {

bool ReadRegText(HKEY key, const char* name, char* buffer, DWORD size) {
  std::memset(buffer, 0, size);
  DWORD read = size;
  const bool ok = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &read) == ERROR_SUCCESS;
  buffer[size - 1] = '\0';
  if (!ok) buffer[0] = '\0';
  return ok;
}

bool ReadProductFolder(char (&folder)[260]) {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    folder[0] = '\0';
    return false;
  }
  return ReadRegText(key, "Taskan Web Guard", folder);
}

}  // namespace twg
