// The restart, which differs between the Windows 95 family and the NT family.
#pragma once
#include <windows.h>

#include "frame/action_frame.h"  // ReadPlatformId

namespace twg {

// Restarts Windows, forcing applications closed on the NT family (after enabling the shutdown privilege;
// false when that fails) and plainly elsewhere.
bool ForceRestart();

}  // namespace twg
