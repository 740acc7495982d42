#include <cstring>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "location/folder_text.h"
#include "frame/system_functions.h"
#include "location/location.h"

namespace twg {
namespace {

// The register block of the Windows 95 family's DOS device I/O control (vwin32 code 1).
struct DiocRegisters {
  DWORD ebx, edx, ecx, eax, edi, esi, flags;
};
constexpr DWORD kVwin32DosIoctl = 1;
constexpr DWORD kCarryFlag = 1;
constexpr DWORD kSubstitutedBit = 0x8000;  // EDX after DOS function 4409h

bool IsSubstDriveNt(char letter) {
  auto query = LoadedFunction<DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD)>("kernel32.dll", "QueryDosDeviceA");
  if (query == nullptr) return false;
  const char device[] = {letter, ':', '\0'};
  char targets[2000];
  const DWORD length = query(device, targets, sizeof targets);
  return length != 0 && NamesSubstitutedDrive(targets, length);
}

bool IsSubstDrive9x(char letter) {
  ScopedHandle vwin32(CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!vwin32.valid()) return false;
  DiocRegisters regs = {};
  regs.eax = 0x4409;
  regs.ebx = static_cast<DWORD>((letter | 0x20) - 'a' + 1);
  regs.flags = kCarryFlag;
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(vwin32, kVwin32DosIoctl, &regs, sizeof regs, &regs, sizeof regs, &returned,
                                  nullptr);
  return ok && (regs.flags & kCarryFlag) == 0 && (regs.edx & kSubstitutedBit) != 0;
}

// The attributes of one path: the extended query where the system has it (98, NT 4.0), else the plain one.
DWORD ReadAttributes(const char* path) {
  using GetAttributesExFn = BOOL(WINAPI*)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
  auto get_ex = LoadedFunction<GetAttributesExFn>("kernel32.dll", "GetFileAttributesExA");
  if (get_ex == nullptr) return GetFileAttributesA(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!get_ex(path, GetFileExInfoStandard, &data)) return INVALID_FILE_ATTRIBUTES;
  return data.dwFileAttributes;
}

}  // namespace

bool IsSubstDrive(const char* root) {
  if (root == nullptr || !StartsWithDriveLetter(root)) return false;
  DWORD platform_id = 0;
  if (!ReadPlatformId(&platform_id)) return false;
  return platform_id == VER_PLATFORM_WIN32_WINDOWS ? IsSubstDrive9x(root[0]) : IsSubstDriveNt(root[0]);
}

bool IsEncryptedPath(const char* path) {
  if (path == nullptr) return false;
  for (const std::string& text : PathAndParents(SystemLeadBytes(), path)) {
    const DWORD attributes = ReadAttributes(text.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0) return true;
  }
  return false;
}

bool IsPathWithin(const char* folder, const char* path) {
  return IsPathWithin(folder, path, [](const char* a, const char* b, std::size_t n) {
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(n), b,
                          static_cast<int>(n)) == CSTR_EQUAL;
  });
}

}  // namespace twg
