// Stand-in for the companion product's setup launcher, placed on a test's media as <folder>\setup.exe:
// like the real one it starts the program that does the work (tvs_setup_window.exe, next to it) with
// its own arguments and ends at once.
#include <windows.h>

#include <string>

int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  dir.resize(dir.find_last_of('\\'));
  // Everything after the program name is handed on unchanged.
  const char* args = GetCommandLineA();
  if (*args == '"') {
    args = strchr(args + 1, '"');
    args = args ? args + 1 : "";
  } else {
    while (*args && *args != ' ') ++args;
  }
  std::string line = "\"" + dir + "\\tvs_setup_window.exe\"" + args;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return 2;
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  return 0;
}
