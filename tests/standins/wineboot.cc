// Stand-in for the restart: under Wine, ExitWindowsEx hands the restart to "wineboot.exe" in the system
// folder. A test puts this program there (in a prefix of its own) so that a restart request is
// recorded instead of ending every process: each call appends its command line to
// "wineboot-calls.txt" beside the program.
#include <windows.h>

#include "append_log.h"

#include <cstdio>
#include <cstring>

int main() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = std::strrchr(path, '\\');
  if (length == 0 || !slash) return 1;
  std::strcpy(slash + 1, "wineboot-calls.txt");
  AppendLine(path, GetCommandLineA());
  return 0;
}
