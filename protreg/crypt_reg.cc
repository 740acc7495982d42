#include "protreg/crypt_reg.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "frame/handles.h"
#include "frame/install_log.h"
#include "frame/path_chars.h"
#include "protreg/codec/key_info.h"
#include "protreg/key_integrity.h"
#include "protreg/codec/key_path.h"
#include "protreg/prot_key.h"
#include "protreg/store.h"

namespace twg {
namespace {

constexpr DWORD kQueryBufferSize = 512;

// Every operation ends here: a failure other than the end of an enumeration leaves a diagnostic line,
// and 13 also sends the tamper report. The result is returned unchanged.
LONG ExitAt(LONG result, const char* operation, std::string_view path, const char* name) {
  if (result != ERROR_SUCCESS && result != ERROR_NO_MORE_ITEMS) {
    char text[512];  // the line is cut at 1024 characters anyway
    std::size_t n = std::min(path.size(), sizeof text - 1);
    std::memcpy(text, path.data(), n);
    text[n] = '\0';
    DebugOut("PID %u: (%d) %s %s %s\n", GetCurrentProcessId(), static_cast<int>(result), operation, text,
             name ? name : "NULL");
    if (result == ERROR_INVALID_DATA) ReportTamper();
  }
  return result;
}

LONG Exit(LONG result, const char* operation, HKEY key, const char* name) {
  return ExitAt(result, operation, KeyPathOf(key), name);
}

// Runs an operation's body so that nothing thrown leaves the store: memory exhaustion is 8.
template <typename Body>
LONG Guarded(const char* operation, HKEY key, const char* name, Body&& body) noexcept {
  LONG result;
  try {
    result = body();
  } catch (...) {
    result = ERROR_NOT_ENOUGH_MEMORY;
  }
  return Exit(result, operation, key, name);
}

struct EncodedPath {
  std::string path;          // the subkey as it goes to the registry
  std::string_view plain;    // the subkey as planned, before encoding
  std::size_t start = std::string::npos;  // protected start; npos when no prefix covers the path
};

bool EncodePath(HKEY key, LPCSTR subkey, EncodedPath* out) {
  const ValueCodec* codec = StoreCodec();
  if (!codec) return false;
  KeyPathPlan plan = PlanKeyPath(ProtectedPrefixes(), KeyPathOf(key), subkey ? subkey : "");
  out->plain = plan.subkey;
  if (!plan.protected_path) {
    out->path.assign(plan.subkey.data(), plan.subkey.size());
    return true;
  }
  out->start = plan.start;
  return codec->EncodeKeyPath(SystemLeadBytes(), plan.subkey, plan.start, &out->path);
}

bool EncodeValueName(LPCSTR name, std::string* out) {
  const ValueCodec* codec = StoreCodec();
  return codec && codec->EncodeValueName(name ? name : "", out);
}

// Opens a subkey as a new handle even for an empty name, so that no handle is ever owned twice.
LONG OpenSubkey(HKEY key, const std::string& name, REGSAM access, PHKEY result) {
  return RegOpenKeyExA(key, name.c_str(), 0, access, result);
}

// Long paths are opened or created piece by piece (each at most kLongPathLimit characters where the
// separators allow), closing every intermediate key.
template <typename Step>
LONG WalkPieces(HKEY key, const std::string& path, PHKEY result, Step&& step) {
  ScopedRegKey held;
  HKEY at = key;
  for (std::string_view piece : SplitLongPath(SystemLeadBytes(), path)) {
    HKEY next = nullptr;
    LONG status = step(at, std::string(piece), &next);
    if (status != ERROR_SUCCESS) return status;
    held.reset(next);
    at = next;
  }
  *result = held.release();
  return ERROR_SUCCESS;
}

LONG OpenLongPath(HKEY key, const std::string& path, REGSAM access, PHKEY result) {
  return WalkPieces(key, path, result, [&](HKEY at, const std::string& piece, PHKEY next) {
    return OpenSubkey(at, piece, access, next);
  });
}

LONG CreateLongPath(HKEY key, const std::string& path, LPSTR key_class, DWORD options, REGSAM access,
                    LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
  return WalkPieces(key, path, result, [&](HKEY at, const std::string& piece, PHKEY next) {
    return RegCreateKeyExA(at, piece.c_str(), 0, key_class, options, access, security, next, disposition);
  });
}

enum class WalkMode { kCreate, kOpen };

// Walks the encoded path from key down. In create mode every existing key at or beyond the protected
// start must pass its record check. Where a component is missing: in the plain part only the creation
// allowance makes that normal; in create mode the rest will be created; in open mode the key above
// must be intact for the missing key to be an honest "not found".
bool VerifyWalk(HKEY key, const std::string& path, std::size_t pos, std::size_t start, WalkMode mode) {
  if (mode == WalkMode::kCreate && pos >= start && !RecordMatches(key)) return false;
  if (pos >= path.size()) return true;
  std::size_t end = FindSeparator(SystemLeadBytes(), path, pos);
  std::size_t next = end < path.size() ? end + 1 : end;
  if (end == pos) return VerifyWalk(key, path, next, start, mode);  // an empty component
  ScopedRegKey child;
  if (OpenSubkey(key, path.substr(pos, end - pos), MAXIMUM_ALLOWED, child.Receive()) == ERROR_SUCCESS) {
    return VerifyWalk(child, path, next, start, mode);
  }
  if (pos < start) return CreationAllowed();
  if (mode == WalkMode::kCreate) return true;
  return RecordMatches(key) && SubkeyNamesDecode(key);
}

// After a create: rewrites the record of every key at or beyond the protected start, the prefix key
// included; stops quietly at the first component that can't be opened.
void UpdateRecordsAlong(HKEY key, const std::string& path, std::size_t start) {
  ScopedRegKey held;
  HKEY at = key;
  std::size_t pos = 0;
  for (;;) {
    if (pos >= start) RewriteRecord(at);
    if (pos >= path.size()) return;
    std::size_t end = FindSeparator(SystemLeadBytes(), path, pos);
    std::size_t next = end < path.size() ? end + 1 : end;
    if (end > pos) {
      ScopedRegKey child;
      if (OpenSubkey(at, path.substr(pos, end - pos), MAXIMUM_ALLOWED, child.Receive()) != ERROR_SUCCESS) return;
      held = std::move(child);
      at = held;
    }
    pos = next;
  }
}

LONG OpenProtected(const char* operation, HKEY key, LPCSTR subkey, REGSAM access, PHKEY result) {
  return Guarded(operation, key, subkey, [&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    EncodedPath encoded;
    if (!EncodePath(key, subkey, &encoded)) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY real = nullptr;
    LONG status = OpenLongPath(RealKey(key), encoded.path, access, &real);
    if (status == ERROR_SUCCESS) return WrapKey(real, KeyPathOf(key), subkey, true, result);
    StoreChange change;
    if (!VerifyWalk(RealKey(key), encoded.path, 0, encoded.start, WalkMode::kOpen)) status = ERROR_INVALID_DATA;
    return status;
  });
}

// Decodes a stored datum in place and hands its inner type, data and size to the caller's arguments.
// When size_binds, the caller's size must cover the data (else 234 and nothing is written).
LONG DeliverDatum(std::string* stored, DWORD stored_size, bool string_form, bool size_binds, LPDWORD type,
                  LPBYTE data, LPDWORD size) {
  const std::uint8_t* plain = nullptr;
  std::size_t plain_size = 0;
  std::uint32_t inner_type = 0;
  if (!StoreCodec()->DecodeDatum(reinterpret_cast<std::uint8_t*>(&(*stored)[0]), stored_size, string_form, &plain,
                                 &plain_size, &inner_type)) {
    return ERROR_INVALID_DATA;
  }
  if (size_binds && *size < plain_size) return ERROR_MORE_DATA;
  if (type) *type = inner_type;
  if (data && plain_size > 0) std::memcpy(data, plain, plain_size);
  if (size) *size = static_cast<DWORD>(plain_size);
  return ERROR_SUCCESS;
}

// The first enumeration call on a handle checks the key's record once; the flag stays set whatever
// the outcome, so a refused handle is not checked again.
bool FirstEnumerationCheck(HKEY key, BYTE flag) {
  ProtKey* pk = AsProtKey(key);
  if (pk && (pk->enumFlags & flag)) return true;
  bool intact;
  {
    StoreChange change;
    intact = RecordMatches(RealKey(key));
  }
  if (pk) pk->enumFlags |= flag;
  return intact;
}

}  // namespace

LONG WINAPI CryptRegOpenKeyA(HKEY key, LPCSTR subkey, PHKEY result) {
  return OpenProtected("CryptRegOpenKeyA", key, subkey, MAXIMUM_ALLOWED, result);
}

LONG WINAPI CryptRegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, PHKEY result) {
  return OpenProtected("CryptRegOpenKeyExA", key, subkey, access | KEY_READ, result);
}

LONG WINAPI CryptRegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR key_class, DWORD options,
                                 REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                 LPDWORD disposition) {
  return Guarded("CryptRegCreateKeyExA", key, subkey, [&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    EncodedPath encoded;
    if (!EncodePath(key, subkey, &encoded)) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY real = nullptr;
    LONG status;
    {
      StoreChange change;
      if (!VerifyWalk(RealKey(key), encoded.path, 0, encoded.start, WalkMode::kCreate)) return ERROR_INVALID_DATA;
      status = CreateLongPath(RealKey(key), encoded.path, key_class, options, access | KEY_READ, security, &real,
                              disposition);
      if (status == ERROR_SUCCESS) UpdateRecordsAlong(RealKey(key), encoded.path, encoded.start);
    }
    if (status != ERROR_SUCCESS) return status;
    return WrapKey(real, KeyPathOf(key), subkey, true, result);
  });
}

// The handle's object is gone once closed, so its path is logged from inside the close.
LONG WINAPI CryptRegCloseKey(HKEY key) {
  if (!AsProtKey(key)) return Exit(key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE, "CryptRegCloseKey", key, nullptr);
  return CloseProtKey(key, [](LONG result, std::string_view path) { ExitAt(result, "CryptRegCloseKey", path, nullptr); });
}

LONG WINAPI CryptRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD size) {
  return Guarded("CryptRegQueryValueExA", key, name, [&]() -> LONG {
    if ((name && IsKeyInfoName(name)) || (data && !size)) return ERROR_INVALID_PARAMETER;
    std::string stored_name;
    if (!EncodeValueName(name, &stored_name)) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY real = RealKey(key);
    // Most stored data fit a small buffer: read them in one call, and ask the size only when they
    // don't. The outcome is the same as asking the size first.
    std::string stored(kQueryBufferSize, '\0');
    DWORD stored_size = kQueryBufferSize;
    LONG status = RegQueryValueExA(real, stored_name.c_str(), reserved, nullptr, reinterpret_cast<BYTE*>(&stored[0]),
                                   &stored_size);
    if (status == ERROR_MORE_DATA) {
      status = RegQueryValueExA(real, stored_name.c_str(), reserved, nullptr, nullptr, &stored_size);
      if (status == ERROR_SUCCESS) {
        stored.assign(stored_size, '\0');
        status = RegQueryValueExA(real, stored_name.c_str(), reserved, nullptr, reinterpret_cast<BYTE*>(&stored[0]),
                                  &stored_size);
      }
    }
    if (status != ERROR_SUCCESS) {
      StoreChange change;
      if (!RecordMatches(real) || !ValueNamesDecode(real)) status = ERROR_INVALID_DATA;
      return status;
    }
    return DeliverDatum(&stored, stored_size, stored_name.empty(), size != nullptr, type, data, size);
  });
}

LONG WINAPI CryptRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  return Guarded("CryptRegSetValueExA", key, name, [&]() -> LONG {
    if ((name && IsKeyInfoName(name)) || (!data && size > 0)) return ERROR_INVALID_PARAMETER;
    std::string stored_name, datum;
    if (!EncodeValueName(name, &stored_name)) return ERROR_NOT_ENOUGH_MEMORY;
    bool unnamed = stored_name.empty();
    if (!StoreCodec()->EncodeDatum(data, size, type, unnamed, RandomByte(), RandomByte(), &datum)) {
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    HKEY real = RealKey(key);
    StoreChange change;
    if (!RecordMatches(real)) return ERROR_INVALID_DATA;
    LONG status = RegSetValueExA(real, stored_name.c_str(), reserved, unnamed ? REG_SZ : REG_BINARY,
                                 reinterpret_cast<const BYTE*>(datum.data()), static_cast<DWORD>(datum.size()));
    if (status == ERROR_SUCCESS) RewriteRecord(real);
    return status;
  });
}

LONG WINAPI CryptRegDeleteValueA(HKEY key, LPCSTR name) {
  return Guarded("CryptRegDeleteValueA", key, name, [&]() -> LONG {
    std::string stored_name;
    if (!EncodeValueName(name, &stored_name)) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY real = RealKey(key);
    StoreChange change;
    if (!RecordMatches(real)) return ERROR_INVALID_DATA;
    LONG status = RegDeleteValueA(real, stored_name.c_str());
    if (status == ERROR_SUCCESS) RewriteRecord(real);
    return status;
  });
}

LONG WINAPI CryptRegDeleteKeyA(HKEY key, LPCSTR subkey) {
  return Guarded("CryptRegDeleteKeyA", key, subkey, [&]() -> LONG {
    EncodedPath encoded;
    if (!EncodePath(key, subkey, &encoded)) return ERROR_NOT_ENOUGH_MEMORY;
    LeadBytes lead = SystemLeadBytes();
    std::size_t cut = FindLastSeparator(lead, encoded.path);
    ScopedRegKey opened_parent;
    HKEY parent = RealKey(key);
    std::string leaf = encoded.path;
    std::string parent_path(KeyPathOf(key));
    if (cut != std::string::npos) {
      LONG status = OpenLongPath(RealKey(key), encoded.path.substr(0, cut), MAXIMUM_ALLOWED, opened_parent.Receive());
      if (status != ERROR_SUCCESS) return status;
      parent = opened_parent;
      leaf = encoded.path.substr(cut + 1);
      std::size_t plain_cut = FindLastSeparator(lead, encoded.plain);
      parent_path = JoinKeyPath(parent_path, encoded.plain.substr(0, plain_cut));
    }
    bool parent_protected = ProtectedPrefixes().Covering(parent_path) != nullptr;
    StoreChange change;
    if (parent_protected && !RecordMatches(parent)) return ERROR_INVALID_DATA;
    LONG status = RegDeleteKeyA(parent, leaf.c_str());
    if (status == ERROR_SUCCESS && parent_protected) RewriteRecord(parent);
    return status;
  });
}

LONG WINAPI CryptRegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size) {
  return CryptRegEnumKeyExA(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI CryptRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                               LPSTR key_class, LPDWORD class_size, PFILETIME last_write) {
  return Guarded("CryptRegEnumKeyExA", key, nullptr, [&]() -> LONG {
    if (!name || !name_size) return ERROR_INVALID_PARAMETER;
    if (!FirstEnumerationCheck(key, kSubkeysChecked)) return ERROR_INVALID_DATA;
    // Room for the encoded form of the longest name the caller can take.
    std::string stored(EncodedNameLength(*name_size) + 1, '\0');
    DWORD stored_size = static_cast<DWORD>(stored.size());
    LONG status = RegEnumKeyExA(RealKey(key), index, &stored[0], &stored_size, reserved, key_class, class_size,
                                last_write);
    if (status != ERROR_SUCCESS) return status;
    const char* plain = nullptr;
    std::size_t plain_size = 0;
    if (!StoreCodec() || !StoreCodec()->DecodeName(&stored[0], stored_size, &plain, &plain_size)) {
      return ERROR_INVALID_DATA;
    }
    if (*name_size <= plain_size) return ERROR_MORE_DATA;
    std::memcpy(name, plain, plain_size);
    name[plain_size] = '\0';
    *name_size = static_cast<DWORD>(plain_size);
    return ERROR_SUCCESS;
  });
}

LONG WINAPI CryptRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                               LPDWORD type, LPBYTE data, LPDWORD data_size) {
  return Guarded("CryptRegEnumValueA", key, nullptr, [&]() -> LONG {
    if (!name || !name_size || (data && !data_size)) return ERROR_INVALID_PARAMETER;
    if (!FirstEnumerationCheck(key, kValuesChecked)) return ERROR_INVALID_DATA;
    const ValueCodec* codec = StoreCodec();
    const std::string* record_name = KeyInfoValueName();
    if (!codec || !record_name) return ERROR_NOT_ENOUGH_MEMORY;
    HKEY real = RealKey(key);
    DWORD longest_name = 0, longest_data = 0;
    LONG status = RegQueryInfoKeyA(real, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &longest_name, &longest_data, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    std::string stored_name(std::max<std::size_t>(longest_name, record_name->size()) + 1, '\0');
    std::string stored_data(longest_data + 1, '\0');
    ProtKey* pk = AsProtKey(key);
    bool passed = pk && (pk->enumFlags & kRecordPassed);
    DWORD real_index = index + (passed ? 1 : 0);
    DWORD name_len, data_len;
    for (;;) {
      name_len = static_cast<DWORD>(stored_name.size());
      data_len = static_cast<DWORD>(stored_data.size());
      status = RegEnumValueA(real, real_index, &stored_name[0], &name_len, reserved, nullptr,
                             reinterpret_cast<BYTE*>(&stored_data[0]), &data_len);
      if (status != ERROR_SUCCESS) return status;
      if (passed || name_len != record_name->size() || std::memcmp(stored_name.data(), record_name->data(), name_len) != 0) {
        break;
      }
      passed = true;
      if (pk) pk->enumFlags |= kRecordPassed;
      ++real_index;
    }
    const char* plain_name = nullptr;
    std::size_t plain_name_size = 0;
    if (!codec->DecodeValueName(&stored_name[0], name_len, &plain_name, &plain_name_size)) return ERROR_INVALID_DATA;
    if (*name_size <= plain_name_size) return ERROR_MORE_DATA;
    if (type || data_size) {
      status = DeliverDatum(&stored_data, data_len, plain_name_size == 0, data != nullptr, type, data, data_size);
      if (status != ERROR_SUCCESS) return status;
    }
    std::memcpy(name, plain_name, plain_name_size);
    name[plain_name_size] = '\0';
    *name_size = static_cast<DWORD>(plain_name_size);
    return ERROR_SUCCESS;
  });
}

LONG WINAPI CryptRegQueryInfoKeyA(HKEY key, LPSTR key_class, LPDWORD class_size, LPDWORD reserved,
                                  LPDWORD subkeys, LPDWORD max_subkey_len, LPDWORD max_class_len,
                                  LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                                  LPDWORD security_size, PFILETIME last_write) {
  return Guarded("CryptRegQueryInfoKeyA", key, nullptr, [&]() -> LONG {
    LONG status = RegQueryInfoKeyA(RealKey(key), key_class, class_size, reserved, subkeys, max_subkey_len,
                                   max_class_len, values, max_value_name_len, max_value_len, security_size,
                                   last_write);
    if (status == ERROR_SUCCESS && values && *values > 0) --*values;
    return status;
  });
}

}  // namespace twg
