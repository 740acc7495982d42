// Stand-in for the product's windows: opens top-level windows of the given classes and titles and
// records every request they get, one line each ("<class> <what>"), in a log file.
//
//   product_windows.exe LOG [--hang-ms N] [--ignore-close] CLASS[|TITLE]...
//
//   --hang-ms N     the first request to any window is answered only after N ms (a hung window)
//   --ignore-close  WM_CLOSE is recorded but the window stays (only ending the process removes it)
//
// Requests: WM_CLOSE closes the window ("close"); the registered stop message closes it too ("stop");
// WM_QUIT sent as a message is recorded ("quit"); message 3034 is recorded ("3034"). WM_QUIT posted to
// the main thread ends the program with exit code 7 ("thread quit"); being ended from outside gives the
// code the ender chose.
#include <windows.h>

#include "append_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* g_log;
UINT g_stop_message;
DWORD g_hang_ms;
bool g_ignore_close;

void Record(HWND window, const char* what) {
  char class_name[260] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  AppendLine(g_log, std::string(class_name) + " " + what);
}

void HangOnce() {
  if (g_hang_ms == 0) return;
  DWORD hang = g_hang_ms;
  g_hang_ms = 0;
  Sleep(hang);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    HangOnce();
    Record(window, "close");
    if (!g_ignore_close) DestroyWindow(window);
    return 0;
  }
  if (message == g_stop_message) {
    HangOnce();
    Record(window, "stop");
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_QUIT) {
    HangOnce();
    Record(window, "quit");
    return 0;
  }
  if (message == WM_USER + 2010) {
    HangOnce();
    Record(window, "3034");
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: product_windows LOG [--hang-ms N] [--ignore-close] CLASS[|TITLE]...\n");
    return 2;
  }
  g_log = argv[1];
  g_stop_message = RegisterWindowMessageA("WM_USER_-_WM_GRD_SERV_STOP");
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--hang-ms") == 0 && i + 1 < argc) {
      g_hang_ms = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
      continue;
    }
    if (std::strcmp(argv[i], "--ignore-close") == 0) {
      g_ignore_close = true;
      continue;
    }
    std::string described = argv[i];
    size_t bar = described.find('|');
    std::string class_name = described.substr(0, bar);
    std::string title = bar == std::string::npos ? "" : described.substr(bar + 1);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = class_name.c_str();
    RegisterClassA(&wc);  // a second window of a class reuses the registration
    if (!CreateWindowA(class_name.c_str(), bar == std::string::npos ? nullptr : title.c_str(),
                       WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr)) {
      std::fprintf(stderr, "cannot create window of class %s\n", class_name.c_str());
      return 1;
    }
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  AppendLine(g_log, "thread quit");
  return 7;
}
