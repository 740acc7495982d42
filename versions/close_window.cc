#include "versions/close_window.h"

#include <cstdint>

#include "frame/action_frame.h"
#include "versions/shutdown_rules.h"

namespace twg {
namespace {

constexpr DWORD kCloseCheckIntervalMs = 50;
constexpr int kCloseChecks = 500;
constexpr DWORD kProcessEndWaitMs = 1000;

void WaitForWindowToGo(HWND window) {
  for (int check = 0; check < kCloseChecks && IsWindow(window); ++check) Sleep(kCloseCheckIntervalMs);
}

void EndProcess(DWORD process_id) {
  if (process_id == 0) return;
  ScopedHandle process(OpenProcessToEnd(process_id));
  if (!process.valid()) return;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, kProcessEndWaitMs);
}

}  // namespace

// Without SYNCHRONIZE the wait for the end fails at once, and termination is asynchronous: the window
// would still be there when the round judges it, and the loop would stop while the ended process
// still holds the files about to be replaced.
HANDLE OpenProcessToEnd(DWORD process_id) {
  return OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, process_id);
}

bool CloseWindowAndProcess(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  PostMessageA(window, WM_CLOSE, 0, 0);
  WaitForWindowToGo(window);
  EndProcess(process_id);
  return IsWindow(window) != FALSE;
}

void CloseWindowProcess(const char* class_name) {
  CloseLoopGuard guard;
  for (HWND window = FindWindowA(class_name, nullptr);
       guard.ShouldClose(reinterpret_cast<std::uintptr_t>(window));
       window = FindWindowA(class_name, nullptr)) {
    guard.RoundEnded(CloseWindowAndProcess(window));
  }
}

}  // namespace twg

TWG_ACTION UINT __stdcall TWGCloseIntegrator(MSIHANDLE session) {
  return twg::RunAction("TWGCloseIntegrator", [&] {
    twg::CloseWindowProcess("VELIntegratorWnd");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckForInUseFiles(MSIHANDLE session) {
  return twg::RunAction("CheckForInUseFiles", [&] {
    twg::CloseWindowProcess("GrdLog");
    twg::CloseWindowProcess("CorrixStats");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
