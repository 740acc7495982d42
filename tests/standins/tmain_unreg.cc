// Stand-in for the shared user-interface program when it is asked to unregister its sounds: records its
// command line in "TMain.log" beside itself.
#include <windows.h>

#include <string>

#include "append_log.h"

int main() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string log(self, length);
  log = log.substr(0, log.find_last_of('\\') + 1) + "TMain.log";
  AppendLine(log.c_str(), GetCommandLineA());
  return 0;
}
