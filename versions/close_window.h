// Closing a product window and ending the process that owns it.
#pragma once
#include <windows.h>
#include <msi.h>

namespace twg {

// Opens a window's owning process so that it can be ended and its end waited for; null on failure.
HANDLE OpenProcessToEnd(DWORD process_id);

// One round on one window: post WM_CLOSE, wait up to 25 s (500 checks, 50 ms apart) for the window to
// go, then end its owning process (exit code 0, even when the window closed in time) and wait up to 1 s
// for it. Returns whether the window still exists after the round.
bool CloseWindowAndProcess(HWND window);

// Rounds on every top-level window of the class, each found by a new search, until none is left. A
// window that outlives its round (its process cannot be opened or does not end) is not taken on again,
// and the loop makes at most CloseLoopGuard::kMaxRounds rounds, so it always ends.
void CloseWindowProcess(const char* class_name);

}  // namespace twg

// Also called by the earlier-version actions before the shared main program is replaced.
extern "C" UINT __stdcall TWGCloseIntegrator(MSIHANDLE session);
