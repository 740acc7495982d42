// The handle object of the protected store and the access layer. Callers see a ProtKey* where the Win32
// API has an HKEY; the seven predefined roots stand for themselves (no object) wherever a handle is.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace twg {

enum ProtKeyEnumFlag : BYTE {
  kSubkeysChecked = 2,  // the record was checked for subkey enumeration
  kValuesChecked = 4,   // the record was checked for value enumeration
  kRecordPassed = 8,    // value enumeration met the record: later indices shift up by one
};

struct ProtKey {
  HKEY hkey;           // the real open key
  std::string path;    // plain full path: root name, backslash, subkeys as the callers gave them
  DWORD isProtected;   // 1 when opened or created through the store
  BYTE enumFlags;
};

// The root's name ("HKEY_LOCAL_MACHINE"...), or null when key is not a predefined root.
const char* PredefinedRootName(HKEY key);

// The object behind a handle, or null for a predefined root or null handle.
inline ProtKey* AsProtKey(HKEY key) {
  return key && !PredefinedRootName(key) ? reinterpret_cast<ProtKey*>(key) : nullptr;
}
// The registry handle to hand to the Win32 functions.
inline HKEY RealKey(HKEY key) {
  ProtKey* pk = AsProtKey(key);
  return pk ? pk->hkey : key;
}
// A handle's plain path: its object's path, the root's name, or empty for a null handle.
std::string_view KeyPathOf(HKEY key);

// Wraps a freshly opened real key. When the object can't be made, the real key is closed and 8 is
// returned, so no caller gets success without a handle.
LONG WrapKey(HKEY real, std::string_view parent_path, const char* subkey, bool is_protected, PHKEY result);

// Closes the real key (never a predefined root) and frees the object. report, when given, sees the
// result and the key's path before the object is freed: nothing may read the path afterwards.
LONG CloseProtKey(HKEY key, void (*report)(LONG result, std::string_view path) = nullptr);

}  // namespace twg
