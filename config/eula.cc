// CheckEULA: whether the licence agreement was accepted by an earlier install. The value lives in the
// product's configuration key, which may already be in the protected store, so it is read through the
// access layer.
#include <cstring>

#include "frame/action_frame.h"
#include "protreg/prot_reg.h"

namespace twg {
namespace {

constexpr char kConfigKey[] = "Software\\Veltrane\\GRD";
constexpr char kEulaValue[] = "TWGEULA";

// True only when the value reads as exactly "1"; a missing key or value, or any other text, is false.
bool EulaAccepted() {
  ScopedProtKey key;
  if (ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  char value[260] = {};
  DWORD size = sizeof value - 1;  // the last byte stays the terminator whatever the value holds
  if (ProtRegQueryValueExA(key, kEulaValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  return std::strcmp(value, "1") == 0;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CheckEULA(MSIHANDLE session) {
  return twg::RunAction("CheckEULA", [&] {
    twg::SetFlagProperty(session, "NOEULA", !twg::EulaAccepted());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
