// Stand-in for the product's windows: product_windows.exe LOG [--hang-ms N] CLASS[|TITLE]... opens the
// windows and records each request in LOG as "<class> <what>": "close" (WM_CLOSE) and "stop" (the stop
// message) close the window, "quit" (WM_QUIT sent) and "3034" (WM_USER + 2010) leave it. WM_QUIT posted
// to the thread ends the program with exit code 7. The first request waits N ms (a hung window).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "append_log.h"

namespace {

const char* g_log;
UINT g_stop_message;
DWORD g_hang_ms;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const bool closes = message == WM_CLOSE || message == g_stop_message;
  const char* request = message == WM_CLOSE ? "close" : message == g_stop_message ? "stop"
                        : message == WM_QUIT ? "quit" : message == WM_USER + 2010 ? "3034" : nullptr;
  if (!request) return DefWindowProcA(window, message, wparam, lparam);
  Sleep(g_hang_ms);
  g_hang_ms = 0;
  char class_name[260] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  AppendLine(g_log, std::string(class_name) + " " + request);
  if (closes) DestroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  g_log = argv[1];
  g_stop_message = RegisterWindowMessageA("WM_USER_-_WM_GRD_SERV_STOP");
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--hang-ms") == 0 && i + 1 < argc) {
      g_hang_ms = std::strtoul(argv[++i], nullptr, 10);
      continue;
    }
    char* title = std::strchr(argv[i], '|');
    if (title) *title++ = '\0';
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {0, WindowProc, 0, 0, instance, nullptr, nullptr, nullptr, nullptr, argv[i]};
    RegisterClassA(&window_class);  // a second window of a class reuses the registration
    CreateWindowA(argv[i], title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 7;
}
