#include "cleanup/restart_delete.h"

#include <windows.h>

#include <cstdio>

#include "cleanup/cleanup_text.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"

namespace twg {
namespace {

// The family is read once per process: it cannot change while the library is loaded.
volatile LONG g_platform_id = -1;

bool IsWindowsNt() {
  LONG platform = g_platform_id;
  if (platform < 0) {
    DWORD id = 0;
    platform = ReadPlatformId(&id) ? static_cast<LONG>(id) : 0;
    InterlockedExchange(&g_platform_id, platform);
  }
  return platform == VER_PLATFORM_WIN32_NT;
}

bool WininitPath(char (&path)[MAX_PATH]) {
  char windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return JoinPath(SystemLeadBytes(), windows, "WININIT.INI", path);
}

bool ReadWholeFile(std::FILE* file, std::string* text) {
  char chunk[512];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, got);
  return !std::ferror(file);
}

bool WriteText(std::FILE* file, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// The placeholder entry, made by the profile functions so that they create the section when needed,
// becomes a "NUL=" line. Written bytes are those a text-mode write of "NUL=%s\n" would give.
int AddWininitLine(const char* short_path) {
  char ini[MAX_PATH];
  if (!WininitPath(ini)) return 0;
  WritePrivateProfileStringA("Rename", "XRN", short_path, ini);
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini);  // flush the profile cache to the file

  std::string text;
  {
    ScopedStdioFile file(std::fopen(ini, "rb"));
    if (!file.valid() || !ReadWholeFile(file, &text)) return 0;
  }
  std::string line;
  const std::size_t at = PlaceholderEdit(text, short_path, &line);
  if (at != std::string::npos) {
    ScopedStdioFile file(std::fopen(ini, "r+b"));
    if (file.valid() && std::fseek(file, static_cast<long>(at), SEEK_SET) == 0) WriteText(file, line);
  }
  return 1;
}

}  // namespace

void DeleteOrSchedule(const char* path) {
  if (path == nullptr || path[0] == '\0') return;
  const LeadBytes lead = SystemLeadBytes();
  char folder[MAX_PATH];
  if (lstrlenA(path) >= MAX_PATH) return;
  lstrcpynA(folder, path, MAX_PATH);
  if (!CutAtLastBackslash(lead, folder)) folder[0] = '\0';

  WIN32_FIND_DATAA entry;
  ScopedFindFile find(FindFirstFileA(path, &entry));
  if (!find.valid()) return;
  do {
    if (entry.cFileName[0] == '.') continue;
    char target[MAX_PATH];
    if (!JoinPath(lead, folder, entry.cFileName, target)) continue;
    if (DeleteFileA(target)) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) ScheduleFileDeleteAtRestart(target);
  } while (FindNextFileA(find, &entry));
}

int ScheduleFileDeleteAtRestart(const char* path) {
  char short_path[MAX_PATH];
  const DWORD length = GetShortPathNameA(path, short_path, MAX_PATH);
  // Without a short form the path is scheduled as given rather than not at all.
  if (length == 0 || length >= MAX_PATH) lstrcpynA(short_path, path, MAX_PATH);

  if (IsWindowsNt()) {
    MoveFileExA(short_path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 1;
  }
  return AddWininitLine(short_path);
}

void ScheduleTreeDeleteAtRestart(const std::vector<std::string>& paths) {
  const bool windows_9x = (GetVersion() & 0x80000000u) != 0;
  ScopedStdioFile ini;
  if (windows_9x) {
    char ini_path[MAX_PATH];
    if (WininitPath(ini_path)) ini.reset(std::fopen(ini_path, "a+b"));
    if (ini.valid()) {
      std::string text;
      std::fseek(ini, 0, SEEK_SET);
      ReadWholeFile(ini, &text);
      std::fseek(ini, 0, SEEK_END);  // from reading to writing
      if (!HoldsRenameSection(text)) WriteText(ini, "\r\n[rename]\r\n");
    }
  }
  for (const std::string& path : paths) {
    if (!windows_9x) {
      MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (ini.valid()) {
      WriteText(ini, "NUL=" + path + "\r\n");
    }
  }
}

}  // namespace twg
