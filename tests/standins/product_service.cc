// Stand-in for the product's services ("VelPxSvc", "TWGUM"): a service process that records each
// control it gets in a log file ("<name> stop") and stops when asked, after an optional delay during
// which it reports "stop pending".
//
//   product_service.exe NAME LOG [STOP_DELAY_MS]   (the service's command line)
#include <windows.h>

#include "append_log.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* g_name;
const char* g_log;
DWORD g_stop_delay;
SERVICE_STATUS_HANDLE g_status_handle;
HANDLE g_stopped;

void Record(const char* what) {
  AppendLine(g_log, std::string(g_name) + " " + what);
}

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = g_stop_delay + 1000;
  SetServiceStatus(g_status_handle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Record("stop");
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stopped);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  g_status_handle = RegisterServiceCtrlHandlerExA(g_name, Handler, nullptr);
  Report(SERVICE_RUNNING);
  Record("running");
  WaitForSingleObject(g_stopped, INFINITE);
  Sleep(g_stop_delay);
  Record("stopped");
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  g_name = argv[1];
  g_log = argv[2];
  g_stop_delay = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
  g_stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(g_name), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
