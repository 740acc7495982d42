// Stand-in for the update program's UDALL.EXE and Autofetch.exe and the product's GRDAPP.EXE: records
// its name and arguments (updater_record.h). UDALL.EXE can run for a while and meanwhile test whether
// the installer's thread still answers messages.
#include <windows.h>

#include <algorithm>
#include <string>

#include "updater_record.h"

using updater_standin::NumberSetting;
using updater_standin::Record;
using updater_standin::Setting;

namespace {

// The arguments after the program's own name; a command line that does not start with it (CreateProcess
// given only "-Unload") is all arguments.
std::string Arguments(const std::string& line) {
  const bool quoted = !line.empty() && line[0] == '"';
  size_t end = std::min(line.find(quoted ? '"' : ' ', quoted ? 1 : 0), line.size());
  const std::string first = line.substr(quoted ? 1 : 0, end - (quoted ? 1 : 0));
  if (first.size() < 4 || lstrcmpiA(first.c_str() + first.size() - 4, ".exe") != 0) return line;
  if (quoted && end < line.size()) ++end;
  return line.substr(std::min(line.find_first_not_of(' ', end), line.size()));
}

}  // namespace

int main() {
  std::string line = std::string(TWG_PROGRAM_NAME) + " " + Arguments(GetCommandLineA());
#ifdef TWG_RECORD_FOLDER
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  line += std::string(" in ") + folder;
#endif
  Record(line);
  const DWORD run_ms = NumberSetting("RunMs");
  const std::string ping_window = Setting("PingWindow");
  if (!ping_window.empty()) {
    Sleep(run_ms / 4);
    HWND window = FindWindowA(ping_window.c_str(), nullptr);
    DWORD_PTR answer = 0;
    const bool answered =
        window && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer) != 0;
    Record(std::string(TWG_PROGRAM_NAME) + " ping " + (answered ? "answered" : "unanswered"));
    Sleep(run_ms / 2);
  } else {
    Sleep(run_ms);
  }
  return 0;
}
