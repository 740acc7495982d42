// Following the companion setup's window: the hook that runs inside the setup's process and the
// hidden dialog in the installer's process that receives what it forwards.
#pragma once
#include <windows.h>
#include <msi.h>

namespace twg {

// The action's progress bar: a start, one step per percent the setup reports, and an end.
constexpr int kSetupProgressStart = 1000;
constexpr int kSetupProgressPerPercent = 1000;
constexpr int kSetupProgressEnd = 5000;
constexpr int kSetupProgressTotal = kSetupProgressStart + 100 * kSetupProgressPerPercent + kSetupProgressEnd;

// The session the forwarded texts and percentages are reported to.
void SetSetupSession(MSIHANDLE session);

// How long the setup's window is looked for; the installer never changes it. Tests that check the
// path where the window never appears shorten it through the environment variable
// TWG_TEST_SETUP_WINDOW_WAIT_MS, read once per search.
DWORD SetupWindowSearchMs();

}  // namespace twg
