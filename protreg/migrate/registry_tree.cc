#include "protreg/migrate/registry_tree.h"

#include <algorithm>
#include <vector>

#include "frame/handles.h"
#include "protreg/prot_reg.h"

namespace twg {
namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;                // 0x2001F
constexpr REGSAM kCopyTarget = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x20006 with READ_CONTROL
constexpr DWORD kNameBuffer = 513;
constexpr DWORD kDataBuffer = 512;

// The two sets of registry functions the tree operations run on.
struct PlainRegistry {
  using Key = ScopedRegKey;
  static LONG Open(HKEY root, const char* path, REGSAM access, HKEY* key) {
    return RegOpenKeyExA(root, path, 0, access, key);
  }
  static LONG Create(HKEY root, const char* path, REGSAM access, HKEY* key) {
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
  }
  static LONG EnumKey(HKEY key, DWORD index, char* name, DWORD size) { return RegEnumKeyA(key, index, name, size); }
  static LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* type, BYTE* data, DWORD* size) {
    return RegEnumValueA(key, index, name, name_size, nullptr, type, data, size);
  }
  static LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, data, size);
  }
  static LONG Longest(HKEY key, DWORD* name, DWORD* data) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                            nullptr, nullptr);
  }
};

struct LayerRegistry {
  using Key = ScopedProtKey;
  static LONG Open(HKEY root, const char* path, REGSAM access, HKEY* key) {
    return ProtRegOpenKeyExA(root, path, 0, access, key);
  }
  static LONG Create(HKEY root, const char* path, REGSAM access, HKEY* key) {
    return ProtRegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
  }
  static LONG EnumKey(HKEY key, DWORD index, char* name, DWORD size) { return ProtRegEnumKeyA(key, index, name, size); }
  static LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* type, BYTE* data, DWORD* size) {
    return ProtRegEnumValueA(key, index, name, name_size, nullptr, type, data, size);
  }
  static LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    return ProtRegSetValueExA(key, name, 0, type, data, size);
  }
  static LONG Longest(HKEY key, DWORD* name, DWORD* data) {
    return ProtRegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                                nullptr, nullptr);
  }
};

// Walks a key's values with buffers as large as its longest name and datum (at least the usual 513 and
// 512), growing them when a value outgrew the figures; visit(name, type, data, size) returns 0 to go on.
template <typename Api, typename Visit>
LONG ForEachValue(HKEY key, Visit visit) {
  DWORD longest_name = 0, longest_data = 0;
  Api::Longest(key, &longest_name, &longest_data);
  std::vector<char> name(std::max(kNameBuffer, longest_name + 2));
  std::vector<BYTE> data(std::max(kDataBuffer, longest_data + 1));
  for (DWORD index = 0;;) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    LONG status = Api::EnumValue(key, index, name.data(), &name_size, &type, data.data(), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      data.resize(std::max<std::size_t>(data.size() * 2, data_size + 1));
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    status = visit(name.data(), type, data.data(), data_size);
    if (status != ERROR_SUCCESS) return status;
    ++index;
  }
}

template <typename Api>
LONG CopyTree(HKEY source_root, const char* source_path, HKEY target_root, const char* target_path) {
  typename Api::Key source, target;
  LONG status = Api::Open(source_root, source_path, KEY_READ, source.Receive());
  if (status != ERROR_SUCCESS) return status;
  status = Api::Create(target_root, target_path, kCopyTarget, target.Receive());
  if (status != ERROR_SUCCESS) return status;
  char name[kNameBuffer];
  for (DWORD index = 0;; ++index) {
    status = Api::EnumKey(source, index, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    status = CopyTree<Api>(source, name, target, name);
    if (status != ERROR_SUCCESS) return status;
  }
  return ForEachValue<Api>(source, [&](const char* value, DWORD type, const BYTE* data, DWORD size) {
    return Api::SetValue(target, value, type, data, size);
  });
}

LONG VerifyKey(HKEY key) {
  LONG status = ForEachValue<LayerRegistry>(key, [](const char*, DWORD, const BYTE*, DWORD) { return 0L; });
  if (status != ERROR_SUCCESS) return status;
  char name[1024];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    status = ProtRegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    ScopedProtKey subkey;
    status = ProtRegOpenKeyA(key, name, subkey.Receive());
    if (status == ERROR_SUCCESS) status = VerifyKey(subkey);
    if (status != ERROR_SUCCESS) return status;
  }
}

}  // namespace

LONG DeleteTreePlain(HKEY root, const char* path) {
  {
    ScopedRegKey key;
    LONG status = RegOpenKeyExA(root, path, 0, kReadWrite, key.Receive());
    if (status != ERROR_SUCCESS) return status;
    char name[256];
    for (;;) {
      status = RegEnumKeyA(key, 0, name, sizeof name);
      if (status == ERROR_NO_MORE_ITEMS || status == ERROR_BADKEY) break;
      if (status != ERROR_SUCCESS) return status;
      status = DeleteTreePlain(key, name);
      if (status != ERROR_SUCCESS) return status;
    }
  }
  return RegDeleteKeyA(root, path);
}

LONG CopyTreePlain(HKEY source_root, const char* source, HKEY target_root, const char* target) {
  return CopyTree<PlainRegistry>(source_root, source, target_root, target);
}

LONG CopyTreeThroughLayer(HKEY source_root, const char* source, HKEY target_root, const char* target) {
  return CopyTree<LayerRegistry>(source_root, source, target_root, target);
}

LONG VerifyTreeThroughLayer(HKEY root, const char* path) {
  ScopedProtKey key;
  LONG status = ProtRegOpenKeyExA(root, path, 0, KEY_READ, key.Receive());
  return status == ERROR_SUCCESS ? VerifyKey(key) : status;
}

}  // namespace twg
