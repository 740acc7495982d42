// Named kernel objects that every terminal-server session sees: on a terminal server the names carry
// the "Global\" prefix, elsewhere they stay plain. On Windows NT they are created with a descriptor
// whose access list is empty (null), so every account may open them; on the Windows 95 family no
// security attributes are passed.
#pragma once
#include <windows.h>

#include "frame/handles.h"

namespace twg {

// The open security attributes on Windows NT; null elsewhere or when the descriptor cannot be built.
SECURITY_ATTRIBUTES* MakeOpenSecurityAttributes();
void FreeOpenSecurityAttributes(SECURITY_ATTRIBUTES* attributes);

// CreateMutexA / CreateEventA under the global name (an existing object of that name is opened).
// Null when the object cannot be had.
HANDLE CreateGlobalMutex(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, const char* name);
HANDLE CreateGlobalEvent(SECURITY_ATTRIBUTES* attributes, BOOL manual_reset, BOOL initial_state,
                         const char* name);

// The product's first-run integration step: it holds "FREInteg_Safety_Mutex" while it runs and
// announces its start and end with two events. Holding this object keeps the three open for the
// running product's benefit; a handle that cannot be had stays empty.
class FreIntegSignals {
 public:
  FreIntegSignals();
  virtual ~FreIntegSignals();
  FreIntegSignals(const FreIntegSignals&) = delete;
  FreIntegSignals& operator=(const FreIntegSignals&) = delete;

  // Whether another process holds the safety mutex now. Never waits and never keeps the mutex: when it
  // is free it is taken and given back at once.
  bool IntegrationRunning() const;

 private:
  ScopedHandle start_event_;
  ScopedHandle finish_event_;
  ScopedHandle safety_mutex_;
  SECURITY_ATTRIBUTES* attributes_;
};

}  // namespace twg
