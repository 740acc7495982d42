// Stand-in for the companion product's setup engine. Reads tvs_script.txt next to it, one step a line:
//   text <status>     sets its window's text itself (what the installer's hook can see under Wine)
//   percent <n>       sends its window the setup's percentage message
//   linger <ms>       keeps its window up, handling messages
//   exit <code>       ends with that code
//   nowindow          ends after a pause without ever showing the setup window
// It records into the same folder: cmdline.txt (its command line), response.iss (a copy of the -f1
// file) and events.txt ("cancel" when its dialog is told Cancel was clicked, which ends it with 1602).
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "append_log.h"

namespace {

std::string g_dir;

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_COMMAND || LOWORD(wparam) != IDCANCEL) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  AppendLine((g_dir + "events.txt").c_str(), "cancel");
  ExitProcess(1602);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    // Wine refreshes a thread's view of the hooks installed on it only when the thread retrieves a
    // message; a real setup's queue is never idle this long, so keep one flowing.
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

}  // namespace

int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  g_dir.assign(self, std::string(self).find_last_of('\\') + 1);
  const std::string line = GetCommandLineA();
  std::ofstream(g_dir + "cmdline.txt", std::ios::binary) << line;
  const std::size_t f1 = line.find("-f1\"");
  if (f1 != std::string::npos) {
    const std::string response = line.substr(f1 + 4, line.find('"', f1 + 4) - f1 - 4);
    CopyFileA(response.c_str(), (g_dir + "response.iss").c_str(), FALSE);
  }
  std::ifstream script_file(g_dir + "tvs_script.txt");
  const std::string script((std::istreambuf_iterator<char>(script_file)), std::istreambuf_iterator<char>());
  if (script.find("nowindow") != std::string::npos) {
    Sleep(2000);
    return 0;
  }

  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "InstallShield_Win";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("InstallShield_Win", "Taskan Virus Sentry Setup", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 100, nullptr, nullptr, nullptr, nullptr);
  // One of the setup's own dialogs, which the installer cancels through when the user cancels.
  HWND dialog = CreateWindowA("#32770", "", WS_POPUP, 0, 0, 100, 40, window, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DialogProc));
  // The installer hooks this thread shortly after it has made its hidden dialog; wait for that and a
  // little more, as a real setup spends its first seconds unpacking.
  for (int i = 0; i < 2000 && !FindWindowA(nullptr, "TWG_INSTALL_DUMMY_WND"); ++i) Pump(10);
  Pump(2000);

  int code = 0;
  std::istringstream steps(script);
  for (std::string verb, rest; steps >> verb && std::getline(steps >> std::ws, rest);) {
    if (!rest.empty() && rest.back() == '\r') rest.pop_back();
    if (verb == "text") SetWindowTextA(window, rest.c_str());
    if (verb == "percent") SendMessageA(window, 0x0491, std::atoi(rest.c_str()), 0);
    if (verb == "linger") Pump(std::atoi(rest.c_str()));
    if (verb == "exit") code = std::atoi(rest.c_str());
    Pump(20);
  }
  return code;
}
