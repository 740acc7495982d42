#include "protreg/key_integrity.h"

#include <string>

#include "frame/handles.h"
#include "protreg/codec/key_info.h"
#include "protreg/store.h"

namespace twg {
namespace {

constexpr char kDeviceName[] = "\\\\.\\VelTDI";
constexpr DWORD kRequestBegin = 0x83022227;
constexpr DWORD kRequestEnd = 0x8302222B;
constexpr DWORD kRequestTamper = 0x8302222F;
constexpr DWORD kRecordBufferSize = 256;

// A failed open is remembered for a second: looking for a missing device costs as much as a whole
// registry write on some systems, and a driver that starts later is still found within the second.
constexpr DWORD kMissingDeviceRetryMs = 1000;
volatile LONG device_missing_at = 0;  // tick count of the last failed open, 0 when none

bool DeviceRecentlyMissing() {
  DWORD at = static_cast<DWORD>(InterlockedCompareExchange(&device_missing_at, 0, 0));
  return at != 0 && GetTickCount() - at < kMissingDeviceRetryMs;
}

// True when the device could be opened (the request was sent).
bool SendDeviceRequest(DWORD code, DWORD input) {
  if (DeviceRecentlyMissing()) return false;
  ScopedHandle device(CreateFileA(kDeviceName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!device.valid()) {
    DWORD now = GetTickCount();
    InterlockedExchange(&device_missing_at, static_cast<LONG>(now ? now : 1));
    return false;
  }
  InterlockedExchange(&device_missing_at, 0);
  DWORD returned = 0;
  DeviceIoControl(device, code, &input, sizeof input, nullptr, 0, &returned, nullptr);
  return true;
}

bool CurrentCounts(HKEY key, KeyCounts* counts) {
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  counts->subkeys = subkeys;
  counts->values = values;
  return true;
}

// Enumerates subkey or value names from index 0 with a buffer of the longest name plus 2 and asks
// each to decode; the normal end is ERROR_NO_MORE_ITEMS.
bool NamesDecode(HKEY key, bool subkeys) {
  const ValueCodec* codec = StoreCodec();
  DWORD longest_subkey = 0, longest_value = 0;
  if (!codec || RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest_subkey, nullptr, nullptr,
                                 &longest_value, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::string name((subkeys ? longest_subkey : longest_value) + 2, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD size = static_cast<DWORD>(name.size());
    LONG result = subkeys ? RegEnumKeyExA(key, index, &name[0], &size, nullptr, nullptr, nullptr, nullptr)
                          : RegEnumValueA(key, index, &name[0], &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS) return false;
    if (!subkeys && size == 0) continue;
    const char* plain = nullptr;
    std::size_t plain_size = 0;
    if (!codec->DecodeName(&name[0], size, &plain, &plain_size)) return false;
  }
}

}  // namespace

bool RecordMatches(HKEY key) {
  const ValueCodec* codec = StoreCodec();
  const std::string* name = KeyInfoValueName();
  if (!codec || !name) return false;
  std::uint8_t stored[kRecordBufferSize];
  DWORD size = sizeof stored;
  if (RegQueryValueExA(key, name->c_str(), nullptr, nullptr, stored, &size) != ERROR_SUCCESS) return false;
  KeyCounts recorded, now;
  return DecodeKeyInfo(*codec, stored, size, &recorded) && CurrentCounts(key, &now) && recorded == now;
}

LONG RewriteRecord(HKEY key) {
  const ValueCodec* codec = StoreCodec();
  const std::string* name = KeyInfoValueName();
  if (!codec || !name) return ERROR_NOT_ENOUGH_MEMORY;
  KeyCounts now;
  if (!CurrentCounts(key, &now)) return ERROR_INVALID_DATA;
  std::string datum;
  if (!EncodeKeyInfo(*codec, now, RandomByte(), RandomByte(), &datum)) return ERROR_NOT_ENOUGH_MEMORY;
  auto write = [&](HKEY target) {
    return RegSetValueExA(target, name->c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(datum.data()),
                          static_cast<DWORD>(datum.size()));
  };
  LONG result = write(key);
  if (result == ERROR_ACCESS_DENIED) {
    ScopedRegKey writable;
    result = RegOpenKeyExA(key, "", 0, KEY_QUERY_VALUE | KEY_SET_VALUE, writable.Receive());
    if (result == ERROR_SUCCESS) result = write(writable);
  }
  return result;
}

bool SubkeyNamesDecode(HKEY key) { return NamesDecode(key, true); }
bool ValueNamesDecode(HKEY key) { return NamesDecode(key, false); }

StoreChange::StoreChange() : begin_sent_(SendDeviceRequest(kRequestBegin, GetCurrentProcessId())) {}

StoreChange::~StoreChange() {
  if (begin_sent_) SendDeviceRequest(kRequestEnd, GetCurrentProcessId());
}

void ReportTamper() { SendDeviceRequest(kRequestTamper, ERROR_INVALID_DATA); }

}  // namespace twg
