// Stand-in for the product's services, run as "product_service.exe NAME LOG STOP_MS": records "<name>
// running", "<name> stop" and "<name> stopped" in LOG, and reports "stop pending" for STOP_MS first.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "append_log.h"

namespace {

char** g_argv;
SERVICE_STATUS_HANDLE g_status;
HANDLE g_stop_asked;

void Report(DWORD state, const char* what) {
  AppendLine(g_argv[2], std::string(g_argv[1]) + " " + what);
  SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 5000};
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
  Report(SERVICE_STOP_PENDING, "stop");
  SetEvent(g_stop_asked);
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  g_status = RegisterServiceCtrlHandlerExA(g_argv[1], Handler, nullptr);
  Report(SERVICE_RUNNING, "running");
  WaitForSingleObject(g_stop_asked, INFINITE);
  Sleep(std::strtoul(g_argv[3], nullptr, 10));
  Report(SERVICE_STOPPED, "stopped");
}

}  // namespace

int main(int argc, char** argv) {
  g_argv = argv;
  g_stop_asked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{argv[1], ServiceMain}, {nullptr, nullptr}};
  return argc == 4 && StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
