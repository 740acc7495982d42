// Stand-in for the update program's UDALL.EXE and Autofetch.exe and the product's GRDAPP.EXE, built
// once under each name: records its name and arguments (updater_record.h), Autofetch.exe its working
// folder too. UDALL.EXE can run for a while and meanwhile test whether the installer's thread still
// answers messages.
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "updater_record.h"

using updater_standin::Record;

int main() {
  char self[MAX_PATH], folder[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string name = PathFindFileNameA(self);
  // A command line that does not start with a program's name (CreateProcess given only "-Unload") is
  // all arguments.
  const char* line = GetCommandLineA();
  const char* exe = StrStrIA(line, ".exe");
  const char* arguments = exe ? exe + 4 + (exe[4] == '"') : line;
  GetCurrentDirectoryA(MAX_PATH, folder);
  const std::string in_folder = name == "Autofetch.exe" ? std::string(" in ") + folder : "";
  Record(name + " " + (arguments + StrSpnA(arguments, " ")) + in_folder);
  const DWORD run_ms = updater_standin::NumberSetting("RunMs");
  const std::string ping = updater_standin::Setting("PingWindow");
  HWND window = ping.empty() ? nullptr : FindWindowA(nullptr, ping.c_str());
  if (window) {
    Sleep(run_ms / 4);
    DWORD_PTR answer = 0;
    const bool answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer) != 0;
    Record(name + " ping " + (answered ? "answered" : "unanswered"));
  }
  Sleep(run_ms / (window ? 2 : 1));
  return 0;
}
