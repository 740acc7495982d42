#include "protreg/migrate/registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/handles.h"
#include "frame/install_log.h"
#include "protreg/codec/stored_item.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

namespace twg {
namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;                // 0x2001F
constexpr REGSAM kCopyTarget = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x20006
constexpr DWORD kNameBuffer = 513;
constexpr DWORD kDataBuffer = 512;

// One line in the install log per item a copy or check could not take, so an engineer finds what stayed
// behind in the temporary copy.
void LogItem(const char* what, const std::string& key, const char* name, LONG status) {
  char text[1200];
  std::snprintf(text, sizeof text, "EncryptRegistry: %s %.400s%s%.400s (error %ld).\r\n", what, key.c_str(),
                name ? " value " : "", name ? (*name ? name : "(unnamed)") : "", status);
  WriteInstallLog(text);
}

// The two sets of registry functions a key's values are walked with.
struct PlainRegistry {
  static LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* type, BYTE* data, DWORD* size) {
    return RegEnumValueA(key, index, name, name_size, nullptr, type, data, size);
  }
  static LONG Longest(HKEY key, DWORD* name, DWORD* data) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                            nullptr, nullptr);
  }
};

struct LayerRegistry {
  static LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* type, BYTE* data, DWORD* size) {
    return ProtRegEnumValueA(key, index, name, name_size, nullptr, type, data, size);
  }
  static LONG Longest(HKEY key, DWORD* name, DWORD* data) {
    return ProtRegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                                nullptr, nullptr);
  }
};

// A plain key created for writing.
LONG CreatePlain(HKEY root, const char* path, HKEY* key) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, key, nullptr);
}

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

// Best effort item by item: an item that can't be copied is logged and counted, and the rest is copied.
LONG CopyKeyThroughLayer(HKEY source, HKEY target, const std::string& path, int* failures) {
  char name[kNameBuffer];
  for (DWORD index = 0;; ++index) {
    LONG status = ProtRegEnumKeyA(source, index, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      LogItem("could not list the subkeys of", path, nullptr, status);
      ++*failures;
      break;
    }
    const std::string subpath = path + "\\" + name;
    ScopedProtKey from, to;
    status = ProtRegOpenKeyExA(source, name, 0, KEY_READ, from.Receive());
    if (status == ERROR_SUCCESS) {
      status = ProtRegCreateKeyExA(target, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kCopyTarget, nullptr,
                                   to.Receive(), nullptr);
    }
    if (status != ERROR_SUCCESS) {
      LogItem("could not copy the key", subpath, nullptr, status);
      ++*failures;
      continue;
    }
    CopyKeyThroughLayer(from, to, subpath, failures);
  }
  LONG status = ForEachValue<LayerRegistry>(source, [&](const char* value, DWORD type, const BYTE* data, DWORD size) {
    LONG written = ProtRegSetValueExA(target, value, 0, type, data, size);
    if (written != ERROR_SUCCESS) {
      LogItem("could not copy", path, value, written);
      ++*failures;
    }
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) {
    LogItem("could not list the values of", path, nullptr, status);
    ++*failures;
  }
  return ERROR_SUCCESS;
}

// The raw tree read with the Win32 functions; every item decides for itself whether it is sealed with
// the store's current key (then it is unsealed) or plain (then it is copied as it is). Sealed items go
// first, so a plain value written after the store was sealed wins over its sealed namesake.
void CopyKeyUnsealing(HKEY source, HKEY target, const std::string& path, int* failures) {
  const ValueCodec* codec = StoreCodec();
  const std::string* record = codec ? KeyInfoValueName() : nullptr;
  const std::string_view record_name = record ? std::string_view(*record) : std::string_view();
  for (bool sealed_pass : {true, false}) {
    LONG status = ForEachValue<PlainRegistry>(source, [&](const char* raw, DWORD type, const BYTE* data, DWORD size) {
      StoredValue value = ClassifyStoredValue(codec, record_name, raw, type,
                                              std::string_view(reinterpret_cast<const char*>(data), size));
      if (value.kind == StoredKind::kRecord || (value.kind == StoredKind::kSealed) != sealed_pass) {
        return ERROR_SUCCESS;
      }
      LONG written = ERROR_INVALID_DATA;
      if (value.kind != StoredKind::kDamaged) {
        written = RegSetValueExA(target, value.name.c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
      }
      if (written != ERROR_SUCCESS) {
        LogItem("could not read or copy", path, value.name.c_str(), written);
        ++*failures;
      }
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
      LogItem("could not list the values of", path, nullptr, status);
      ++*failures;
    }
    char raw[1024];
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof raw;
      status = RegEnumKeyExA(source, index, raw, &size, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) {
        LogItem("could not list the subkeys of", path, nullptr, status);
        ++*failures;
        break;
      }
      bool sealed = false;
      const std::string name = PlainKeyName(codec, std::string_view(raw, size), &sealed);
      if (sealed != sealed_pass) continue;
      const std::string subpath = path + "\\" + name;
      ScopedRegKey from, to;
      status = RegOpenKeyExA(source, raw, 0, KEY_READ, from.Receive());
      if (status == ERROR_SUCCESS) status = CreatePlain(target, name.c_str(), to.Receive());
      if (status != ERROR_SUCCESS) {
        LogItem("could not copy the key", subpath, nullptr, status);
        ++*failures;
        continue;
      }
      CopyKeyUnsealing(from, to, subpath, failures);
    }
  }
}

// Counts the items of the plain tree that the store does not hold equal.
int CountMissingFromStore(HKEY plain, HKEY store, const std::string& path) {
  int missing = 0;
  std::vector<BYTE> stored;
  LONG status = ForEachValue<PlainRegistry>(plain, [&](const char* name, DWORD type, const BYTE* data, DWORD size) {
    stored.assign(size + 1, 0);
    DWORD stored_size = static_cast<DWORD>(stored.size()), stored_type = REG_NONE;
    LONG read = ProtRegQueryValueExA(store, name, nullptr, &stored_type, stored.data(), &stored_size);
    if (read != ERROR_SUCCESS || stored_type != type || stored_size != size ||
        (size > 0 && std::memcmp(stored.data(), data, size) != 0)) {
      LogItem("the store does not hold", path, name, read == ERROR_SUCCESS ? ERROR_INVALID_DATA : read);
      ++missing;
    }
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) ++missing;
  char name[kNameBuffer];
  for (DWORD index = 0;; ++index) {
    status = RegEnumKeyA(plain, index, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return missing + 1;
    const std::string subpath = path + "\\" + name;
    ScopedRegKey from;
    ScopedProtKey in_store;
    status = RegOpenKeyExA(plain, name, 0, KEY_READ, from.Receive());
    if (status == ERROR_SUCCESS) status = ProtRegOpenKeyExA(store, name, 0, KEY_READ, in_store.Receive());
    if (status != ERROR_SUCCESS) {
      LogItem("the store does not hold the key", subpath, nullptr, status);
      ++missing;
      continue;
    }
    missing += CountMissingFromStore(from, in_store, subpath);
  }
  return missing;
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

LONG CopyTreeUnsealing(HKEY root, const char* source, const char* target, int* failures) {
  ScopedRegKey from, to;
  LONG status = RegOpenKeyExA(root, source, 0, KEY_READ, from.Receive());
  if (status == ERROR_SUCCESS) status = CreatePlain(root, target, to.Receive());
  if (status != ERROR_SUCCESS) return status;
  CopyKeyUnsealing(from, to, source, failures);
  return ERROR_SUCCESS;
}

LONG CopyTreeThroughLayer(HKEY root, const char* source, const char* target, int* failures) {
  ScopedProtKey from, to;
  LONG status = ProtRegOpenKeyExA(root, source, 0, KEY_READ, from.Receive());
  if (status == ERROR_SUCCESS) {
    status = ProtRegCreateKeyExA(root, target, 0, nullptr, REG_OPTION_NON_VOLATILE, kCopyTarget, nullptr,
                                 to.Receive(), nullptr);
  }
  if (status != ERROR_SUCCESS) return status;
  return CopyKeyThroughLayer(from, to, target, failures);
}

int CountMissingFromStore(HKEY root, const char* plain, const char* store) {
  ScopedRegKey from;
  ScopedProtKey in_store;
  if (RegOpenKeyExA(root, plain, 0, KEY_READ, from.Receive()) != ERROR_SUCCESS) return 1;
  LONG status = ProtRegOpenKeyExA(root, store, 0, KEY_READ, in_store.Receive());
  if (status != ERROR_SUCCESS) {
    LogItem("the store does not hold the key", store, nullptr, status);
    return 1;
  }
  return CountMissingFromStore(from, in_store, store);
}

LONG VerifyTreeThroughLayer(HKEY root, const char* path) {
  ScopedProtKey key;
  LONG status = ProtRegOpenKeyExA(root, path, 0, KEY_READ, key.Receive());
  return status == ERROR_SUCCESS ? VerifyKey(key) : status;
}

}  // namespace twg
