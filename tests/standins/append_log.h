// Several stand-ins record into one log at the same moment (a window closed while another process's
// thread quits). Each line is appended through an append-only handle, so the system puts it at the end
// in one write and no process overwrites another's line, as separate seek-then-write appends can.
#pragma once
#include <windows.h>

#include <string>

inline void AppendLine(const char* path, const std::string& line) {
  const std::string text = line + "\n";
  for (int attempt = 0; attempt < 50; ++attempt) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(20);
  }
}
