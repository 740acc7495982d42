#include "protreg/prot_key.h"

#include <new>

#include "protreg/codec/key_path.h"

namespace twg {

const char* PredefinedRootName(HKEY key) {
  static const struct {
    HKEY root;
    const char* name;
  } kRoots[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
                {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
                {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"}, {HKEY_DYN_DATA, "HKEY_DYN_DATA"}};
  for (const auto& r : kRoots) {
    if (r.root == key) return r.name;
  }
  return nullptr;
}

std::string_view KeyPathOf(HKEY key) {
  if (const char* root = PredefinedRootName(key)) return root;
  ProtKey* pk = AsProtKey(key);
  return pk ? std::string_view(pk->path) : std::string_view();
}

LONG WrapKey(HKEY real, std::string_view parent_path, const char* subkey, bool is_protected, PHKEY result) {
  ProtKey* pk = nullptr;
  try {
    pk = new ProtKey{real, JoinKeyPath(parent_path, subkey ? subkey : ""), is_protected ? 1u : 0u, 0};
  } catch (const std::bad_alloc&) {
    RegCloseKey(real);
    *result = nullptr;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  *result = reinterpret_cast<HKEY>(pk);
  return ERROR_SUCCESS;
}

LONG CloseProtKey(HKEY key, void (*report)(LONG result, std::string_view path)) {
  if (!key) return ERROR_INVALID_HANDLE;
  ProtKey* pk = AsProtKey(key);
  if (!pk) return ERROR_SUCCESS;
  LONG result = RegCloseKey(pk->hkey);
  if (report) report(result, pk->path);
  delete pk;
  return result;
}

}  // namespace twg
