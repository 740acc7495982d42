// Stand-in for the companion product's setup launcher, placed on a test's media as <folder>\setup.exe:
// like the real one it starts the program that does the work (tvs_setup_window.exe, next to it) with
// its own arguments unchanged and ends at once.
#include <windows.h>

#include <cstring>
#include <string>

int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::strcpy(std::strrchr(self, '\\'), "\\tvs_setup_window.exe");
  const char* args = GetCommandLineA();
  args = *args == '"' ? std::strchr(args + 1, '"') + 1 : args + std::strcspn(args, " ");
  std::string line = "\"" + std::string(self) + "\"" + args;
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return 2;
  }
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  return 0;
}
