#include "frame/process.h"

#include <string>

#include "frame/handles.h"

namespace twg {

bool RunAndWait(const char* command_line, DWORD* exit_code) {
  std::string command = command_line;  // CreateProcessA may write into the command line
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return false;
  }
  ScopedHandle process(started.hProcess);
  ScopedHandle thread(started.hThread);
  WaitForSingleObject(process, INFINITE);
  if (exit_code) GetExitCodeProcess(process, exit_code);
  return true;
}

}  // namespace twg
