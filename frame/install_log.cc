#include "frame/install_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/handles.h"
#include "frame/log_time.h"

namespace twg {

int WriteInstallLog(const char* text) {
  char path[260 + 16];
  DWORD length = GetTempPathA(260, path);
  if (length == 0 || length >= 260) return -1;
  std::strcat(path, "TWGLog.txt");
  ScopedStdioFile file(std::fopen(path, "a+"));
  if (!file.valid()) return -1;
  std::fputs(text, file);
  return 0;
}

int WriteInstallLogTime() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char line[260];
  FormatLogTime({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond}, line,
                sizeof line);
  WriteInstallLog(line);
  return 0;
}

void DebugOut(const char* format, ...) {
  char text[1025];
  va_list args;
  va_start(args, format);
  wvsprintfA(text, format, args);
  va_end(args);
  OutputDebugStringA(text);
}

}  // namespace twg
