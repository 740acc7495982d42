// The registry access layer: every action that reads or writes the product's own configuration keys
// calls these instead of the Win32 registry functions. Each call goes to the protected store
// (crypt_reg.h) when the store is enabled and the key lies in it, and to the plain registry otherwise,
// so one code path serves machines before and after the configuration was moved into the store.
//
// The twelve operations take the arguments of the Win32 function of the same suffix and return its
// error codes. Handles given out are ProtKey objects and must be closed with ProtRegCloseKey (hold them
// in a ScopedProtKey); predefined roots are accepted wherever a handle is and are never closed.
#pragma once
#include <windows.h>

#include "frame/handles.h"

namespace twg {

// The protection test: false while the store is disabled; true for a handle the store opened; else
// true when the handle's path joined with name (a subkey, or a value name) lies under a prefix.
bool IsProtectedCall(HKEY key, LPCSTR name);

LONG WINAPI ProtRegOpenKeyA(HKEY key, LPCSTR subkey, PHKEY result);
LONG WINAPI ProtRegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI ProtRegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR key_class, DWORD options,
                                REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                LPDWORD disposition);
LONG WINAPI ProtRegCloseKey(HKEY key);
LONG WINAPI ProtRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                 LPDWORD size);
LONG WINAPI ProtRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG WINAPI ProtRegDeleteValueA(HKEY key, LPCSTR name);
LONG WINAPI ProtRegDeleteKeyA(HKEY key, LPCSTR subkey);
LONG WINAPI ProtRegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size);
LONG WINAPI ProtRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                              LPSTR key_class, LPDWORD class_size, PFILETIME last_write);
LONG WINAPI ProtRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                              LPDWORD type, LPBYTE data, LPDWORD data_size);
LONG WINAPI ProtRegQueryInfoKeyA(HKEY key, LPSTR key_class, LPDWORD class_size, LPDWORD reserved,
                                 LPDWORD subkeys, LPDWORD max_subkey_len, LPDWORD max_class_len, LPDWORD values,
                                 LPDWORD max_value_name_len, LPDWORD max_value_len, LPDWORD security_size,
                                 PFILETIME last_write);

// True on systems without the NT security functions (Windows 95, 98, Me); otherwise true when the
// thread's (or else the process's) token holds the Administrators alias. Any failure is false.
BOOL WINAPI ProtRegIsAdmin();

// Security attributes for the product's keys, in one block the caller frees with ProtRegFreeSecurity:
// owner Administrators; ACEs Administrators full, CREATOR OWNER full, Everyone read (the writable form
// adds set-value), LocalSystem full. *block is null on every failure, and also on systems without the
// NT security functions, where the result is 0 and the caller passes no attributes. 8 when the block
// can't be allocated; a failing ACL set-up returns the system's error.
LONG WINAPI ProtRegMakeWritableSecurity(LPSECURITY_ATTRIBUTES* block);
LONG WINAPI ProtRegMakeReadOnlySecurity(LPSECURITY_ATTRIBUTES* block);
LONG WINAPI ProtRegFreeSecurity(LPSECURITY_ATTRIBUTES block);

struct ProtKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ProtRegCloseKey(h); }
};
using ScopedProtKey = Scoped<ProtKeyTraits>;

}  // namespace twg
