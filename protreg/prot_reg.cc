#include "protreg/prot_reg.h"

#include "frame/exceptions.h"
#include "protreg/crypt_reg.h"
#include "protreg/codec/key_path.h"
#include "protreg/prot_key.h"
#include "protreg/store.h"

namespace twg {
namespace {

// Plain opens and creates hand out an unprotected ProtKey around the new key.
LONG WrapPlain(LONG status, HKEY real, HKEY parent, LPCSTR subkey, PHKEY result) {
  if (status != ERROR_SUCCESS) return status;
  return WrapKey(real, KeyPathOf(parent), subkey, false, result);
}

}  // namespace

bool IsProtectedCall(HKEY key, LPCSTR name) {
  if (!StoreEnabled()) return false;
  ProtKey* pk = AsProtKey(key);
  if (pk && pk->isProtected == 1) return true;
  TWG_TRY {
    return ProtectedPrefixes().Covering(JoinKeyPath(KeyPathOf(key), name ? name : "")) != nullptr;
  } TWG_CATCH(...) {
    return false;
  }
}

LONG WINAPI ProtRegOpenKeyA(HKEY key, LPCSTR subkey, PHKEY result) {
  if (IsProtectedCall(key, subkey)) return CryptRegOpenKeyA(key, subkey, result);
  if (!result) return ERROR_INVALID_PARAMETER;
  // RegOpenKeyA hands back the same handle for an empty subkey; opening with the access RegOpenKeyA
  // asks for keeps every wrapper the sole owner of its key.
  HKEY real = nullptr;
  LONG status = RegOpenKeyExA(RealKey(key), subkey ? subkey : "", 0, MAXIMUM_ALLOWED, &real);
  return WrapPlain(status, real, key, subkey, result);
}

LONG WINAPI ProtRegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result) {
  if (IsProtectedCall(key, subkey)) return CryptRegOpenKeyExA(key, subkey, options, access, result);
  if (!result) return ERROR_INVALID_PARAMETER;
  HKEY real = nullptr;
  LONG status = RegOpenKeyExA(RealKey(key), subkey, options, access, &real);
  return WrapPlain(status, real, key, subkey, result);
}

LONG WINAPI ProtRegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR key_class, DWORD options,
                                REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                LPDWORD disposition) {
  if (IsProtectedCall(key, subkey)) {
    return CryptRegCreateKeyExA(key, subkey, reserved, key_class, options, access, security, result, disposition);
  }
  if (!result) return ERROR_INVALID_PARAMETER;
  HKEY real = nullptr;
  LONG status = RegCreateKeyExA(RealKey(key), subkey, reserved, key_class, options, access, security, &real,
                                disposition);
  return WrapPlain(status, real, key, subkey, result);
}

LONG WINAPI ProtRegCloseKey(HKEY key) {
  if (PredefinedRootName(key)) return ERROR_SUCCESS;
  if (IsProtectedCall(key, nullptr)) return CryptRegCloseKey(key);
  return CloseProtKey(key);
}

LONG WINAPI ProtRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                 LPDWORD size) {
  if (IsProtectedCall(key, name)) return CryptRegQueryValueExA(key, name, reserved, type, data, size);
  return RegQueryValueExA(RealKey(key), name, reserved, type, data, size);
}

LONG WINAPI ProtRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  if (IsProtectedCall(key, name)) return CryptRegSetValueExA(key, name, reserved, type, data, size);
  return RegSetValueExA(RealKey(key), name, reserved, type, data, size);
}

LONG WINAPI ProtRegDeleteValueA(HKEY key, LPCSTR name) {
  if (IsProtectedCall(key, name)) return CryptRegDeleteValueA(key, name);
  return RegDeleteValueA(RealKey(key), name);
}

LONG WINAPI ProtRegDeleteKeyA(HKEY key, LPCSTR subkey) {
  if (IsProtectedCall(key, subkey)) return CryptRegDeleteKeyA(key, subkey);
  return RegDeleteKeyA(RealKey(key), subkey);
}

LONG WINAPI ProtRegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size) {
  if (IsProtectedCall(key, nullptr)) return CryptRegEnumKeyA(key, index, name, name_size);
  return RegEnumKeyA(RealKey(key), index, name, name_size);
}

LONG WINAPI ProtRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                              LPSTR key_class, LPDWORD class_size, PFILETIME last_write) {
  if (IsProtectedCall(key, nullptr)) {
    return CryptRegEnumKeyExA(key, index, name, name_size, reserved, key_class, class_size, last_write);
  }
  return RegEnumKeyExA(RealKey(key), index, name, name_size, reserved, key_class, class_size, last_write);
}

LONG WINAPI ProtRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                              LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (IsProtectedCall(key, nullptr)) {
    return CryptRegEnumValueA(key, index, name, name_size, reserved, type, data, data_size);
  }
  return RegEnumValueA(RealKey(key), index, name, name_size, reserved, type, data, data_size);
}

LONG WINAPI ProtRegQueryInfoKeyA(HKEY key, LPSTR key_class, LPDWORD class_size, LPDWORD reserved,
                                 LPDWORD subkeys, LPDWORD max_subkey_len, LPDWORD max_class_len, LPDWORD values,
                                 LPDWORD max_value_name_len, LPDWORD max_value_len, LPDWORD security_size,
                                 PFILETIME last_write) {
  if (IsProtectedCall(key, nullptr)) {
    return CryptRegQueryInfoKeyA(key, key_class, class_size, reserved, subkeys, max_subkey_len, max_class_len,
                                 values, max_value_name_len, max_value_len, security_size, last_write);
  }
  return RegQueryInfoKeyA(RealKey(key), key_class, class_size, reserved, subkeys, max_subkey_len, max_class_len,
                          values, max_value_name_len, max_value_len, security_size, last_write);
}

}  // namespace twg
