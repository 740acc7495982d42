// Stand-in for the shared user-interface program when it is asked to unregister its sounds: records its
// command line in "TMain.log" beside itself.
#include <cstring>

#include "append_log.h"

int main() {
  char log[MAX_PATH + 16] = {};
  GetModuleFileNameA(nullptr, log, MAX_PATH);
  std::strcpy(std::strrchr(log, '\\') + 1, "TMain.log");
  AppendLine(log, GetCommandLineA());
}
