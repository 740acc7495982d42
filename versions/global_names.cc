#include "versions/global_names.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "detect/terminal_server.h"
#include "frame/action_frame.h"
#include "frame/system_functions.h"

namespace twg {
namespace {

// One allocation: the attributes followed by their descriptor.
struct OpenSecurity {
  SECURITY_ATTRIBUTES attributes;
  SECURITY_DESCRIPTOR descriptor;
};

bool IsWindowsNt() {
  DWORD platform_id = 0;
  return ReadPlatformId(&platform_id) && platform_id == VER_PLATFORM_WIN32_NT;
}

// The name the object is created under: "Global\" + name on a terminal server.
template <typename Create>
HANDLE CreateUnderGlobalName(const char* name, Create create) {
  if (!IsTerminalServerCached()) return create(name);
  std::unique_ptr<char[]> global(new (std::nothrow) char[std::strlen("Global\\") + std::strlen(name) + 1]);
  if (!global) return nullptr;
  std::strcpy(global.get(), "Global\\");
  std::strcat(global.get(), name);
  return create(global.get());
}

}  // namespace

SECURITY_ATTRIBUTES* MakeOpenSecurityAttributes() {
  if (!IsWindowsNt()) return nullptr;
  using InitializeFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
  using SetDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
  auto initialize = LoadedFunction<InitializeFn>("advapi32.dll", "InitializeSecurityDescriptor");
  auto set_dacl = LoadedFunction<SetDaclFn>("advapi32.dll", "SetSecurityDescriptorDacl");
  if (!initialize || !set_dacl) return nullptr;
  auto* open = new (std::nothrow) OpenSecurity;
  if (!open) return nullptr;
  // A present but null access list grants every access to everyone.
  if (!initialize(&open->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !set_dacl(&open->descriptor, TRUE, nullptr, FALSE)) {
    delete open;
    return nullptr;
  }
  open->attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  open->attributes.lpSecurityDescriptor = &open->descriptor;
  open->attributes.bInheritHandle = FALSE;
  return &open->attributes;
}

void FreeOpenSecurityAttributes(SECURITY_ATTRIBUTES* attributes) {
  // The attributes are the first member of the block MakeOpenSecurityAttributes allocated.
  delete reinterpret_cast<OpenSecurity*>(attributes);
}

HANDLE CreateGlobalMutex(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, const char* name) {
  return CreateUnderGlobalName(name, [&](const char* n) { return CreateMutexA(attributes, initial_owner, n); });
}

HANDLE CreateGlobalEvent(SECURITY_ATTRIBUTES* attributes, BOOL manual_reset, BOOL initial_state,
                         const char* name) {
  return CreateUnderGlobalName(
      name, [&](const char* n) { return CreateEventA(attributes, manual_reset, initial_state, n); });
}

FreIntegSignals::FreIntegSignals() : attributes_(MakeOpenSecurityAttributes()) {
  start_event_.reset(CreateGlobalEvent(attributes_, TRUE, FALSE, "WrapUM_FREIntegStart_Refresh"));
  finish_event_.reset(CreateGlobalEvent(attributes_, TRUE, FALSE, "WrapUM_FREIntegFinish_Refresh"));
  safety_mutex_.reset(CreateGlobalMutex(attributes_, FALSE, "FREInteg_Safety_Mutex"));
}

FreIntegSignals::~FreIntegSignals() {
  start_event_.reset();
  finish_event_.reset();
  safety_mutex_.reset();
  FreeOpenSecurityAttributes(attributes_);
}

bool FreIntegSignals::IntegrationRunning() const {
  switch (WaitForSingleObject(safety_mutex_, 0)) {
    case WAIT_TIMEOUT:
      return true;
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its last owner ended without letting go: nobody runs the step now
      ReleaseMutex(safety_mutex_);
      return false;
    default:
      return false;
  }
}

}  // namespace twg
