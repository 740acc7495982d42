// The protected registry API: the Win32 ANSI registry functions of the same suffix, with the same
// arguments and results, over keys whose names, value names and data are stored encoded and sealed
// and whose integrity records are kept and checked. Handles are ProtKey objects (or predefined roots).
// Actions don't call these directly: the access layer (prot_reg.h) sends calls here for protected keys.
//
// Results the store makes itself: 8 when a name or path can't be encoded (no memory, or no key half),
// 13 for an integrity failure or an undecodable name or datum, 87 for refused arguments (the record's
// own name "CryptReg.KeyInfo", data without a size), 234 when a caller's buffer is too small. Every
// other result is the registry's own.
#pragma once
#include <windows.h>

namespace twg {

LONG WINAPI CryptRegOpenKeyA(HKEY key, LPCSTR subkey, PHKEY result);
// The access is widened by KEY_READ, which the checks need.
LONG WINAPI CryptRegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result);
// Every existing key on the protected part of the path must pass its record check; records are
// rewritten along the path after the create.
LONG WINAPI CryptRegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR key_class, DWORD options,
                                 REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                 LPDWORD disposition);
LONG WINAPI CryptRegCloseKey(HKEY key);
LONG WINAPI CryptRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size);
LONG WINAPI CryptRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                DWORD size);
LONG WINAPI CryptRegDeleteValueA(HKEY key, LPCSTR name);
// Deletes the leaf only (no walk of its subtree), as RegDeleteKeyA.
LONG WINAPI CryptRegDeleteKeyA(HKEY key, LPCSTR subkey);
LONG WINAPI CryptRegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size);
LONG WINAPI CryptRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                               LPSTR key_class, LPDWORD class_size, PFILETIME last_write);
// The record value is skipped wherever it sits: callers see their own values at indices 0, 1, 2...
LONG WINAPI CryptRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                               LPDWORD type, LPBYTE data, LPDWORD data_size);
// The value count leaves out the record; the longest-name and longest-data figures are those of the
// stored forms, which are never smaller than the decoded ones.
LONG WINAPI CryptRegQueryInfoKeyA(HKEY key, LPSTR key_class, LPDWORD class_size, LPDWORD reserved,
                                  LPDWORD subkeys, LPDWORD max_subkey_len, LPDWORD max_class_len,
                                  LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                                  LPDWORD security_size, PFILETIME last_write);

}  // namespace twg
