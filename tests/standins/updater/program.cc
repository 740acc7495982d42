// Stand-in for the update program's UDALL.EXE and Autofetch.exe and the product's GRDAPP.EXE: records
// its name and arguments (updater_record.h). UDALL.EXE can run for a while and meanwhile test whether
// the installer's thread still answers messages.
#include <windows.h>

#include <string>

#include "updater_record.h"

using updater_standin::NumberSetting;
using updater_standin::Record;
using updater_standin::Setting;

namespace {

// The arguments after the program's own name; a command line that does not start with it (CreateProcess
// given only "-Unload") is all arguments.
std::string Arguments(const char* command_line) {
  std::string line = command_line;
  std::string first;
  size_t end;
  if (!line.empty() && line[0] == '"') {
    end = line.find('"', 1);
    first = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    end = end == std::string::npos ? line.size() : end + 1;
  } else {
    end = line.find(' ');
    if (end == std::string::npos) end = line.size();
    first = line.substr(0, end);
  }
  std::string lower = first;
  if (!lower.empty()) CharLowerA(&lower[0]);
  if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".exe") != 0) return line;
  while (end < line.size() && line[end] == ' ') ++end;
  return line.substr(end);
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
