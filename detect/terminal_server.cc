#include "detect/terminal_server.h"

#include <windows.h>
#include <wtsapi32.h>

#include <vector>

#include "detect/detect_rules.h"
#include "detect/system_query.h"
#include "frame/handles.h"
#include "frame/system_functions.h"
#include "protreg/prot_reg.h"

namespace twg {
namespace {

constexpr char kProductOptionsKey[] = "System\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kTerminalServerSuite[] = "Terminal Server";
constexpr WORD kSuiteTerminal = 0x0010;
constexpr DWORD kTypeSuiteName = 0x0040;
constexpr BYTE kConditionAnd = 6;

using VerSetConditionMaskFn = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
using VerifyVersionInfoFn = BOOL(WINAPI*)(OSVERSIONINFOEXA*, DWORD, DWORDLONG);

// Both functions arrived with Windows 2000; the modules are already loaded in every process, so only
// their handles are asked for.
bool VerifyTerminalServerSuite() {
  auto set_condition = LoadedFunction<VerSetConditionMaskFn>("ntdll.dll", "VerSetConditionMask");
  auto verify = LoadedFunction<VerifyVersionInfoFn>("kernel32.dll", "VerifyVersionInfoA");
  if (!set_condition || !verify) return false;
  const ULONGLONG mask = set_condition(0, kTypeSuiteName, kConditionAnd);
  OSVERSIONINFOEXA wanted;
  ZeroMemory(&wanted, sizeof wanted);
  wanted.dwOSVersionInfoSize = sizeof wanted;
  wanted.wSuiteMask = kSuiteTerminal;
  return verify(&wanted, kTypeSuiteName, mask) != FALSE;
}

// NT 4.0 Terminal Server Edition names itself in the ProductSuite list.
bool SuiteListNamesTerminalServer(HKEY key, QueryValueFn query, CaseRule rule) {
  DWORD type = REG_NONE;
  std::vector<char> suites;
  if (ReadValueBlock(key, "ProductSuite", &type, &suites, query) != ERROR_SUCCESS || type != REG_MULTI_SZ) {
    return false;
  }
  return MultiStringContains(suites.data(), suites.size(), kTerminalServerSuite, rule);
}

bool ProductSuiteNamesTerminalServer() {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductOptionsKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  return SuiteListNamesTerminalServer(key, RegQueryValueExA, CaseRule::kExact);
}

// The cached answer reads the list through the registry access layer, as every reader shared with the
// product's own configuration code does.
bool ProductSuiteNamesTerminalServerThroughLayer() {
  ScopedProtKey key;
  if (ProtRegOpenKeyA(HKEY_LOCAL_MACHINE, kProductOptionsKey, key.Receive()) != ERROR_SUCCESS) return false;
  return SuiteListNamesTerminalServer(key, ProtRegQueryValueExA, CaseRule::kIgnoreCase);
}

// GetVersion's packed form: the top bit marks the Windows 95 family, the low byte is the major version.
struct PackedVersion {
  bool nt;
  DWORD major;
  DWORD minor;
};
PackedVersion CurrentPackedVersion() {
  const DWORD packed = GetVersion();
  return {(packed & 0x80000000u) == 0, packed & 0xFFu, (packed >> 8) & 0xFFu};
}

using WtsEnumerateSessionsFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA*, DWORD*);
using WtsQuerySessionInformationFn = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPSTR*, DWORD*);
using WtsFreeMemoryFn = void(WINAPI*)(PVOID);

// Wtsapi32.dll is loaded once and stays loaded for the process: the session count may be asked again
// and the library is small.
HMODULE LoadTerminalServicesLibrary() {
  const UINT saved = SetErrorMode(0);
  HMODULE library = LoadLibraryA("Wtsapi32.dll");
  SetErrorMode(saved);
  return library;
}

LONG g_cached_terminal_server = 0;  // 0 not yet known, 1 no, 2 yes
constexpr LONG kCachedNo = 1;
constexpr LONG kCachedYes = 2;

bool ComputeTerminalServerForCache() {
  OSVERSIONINFOA version;
  if (!QueryBasicVersion(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
  if (version.dwMajorVersion <= 4) return ProductSuiteNamesTerminalServerThroughLayer();
  if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) return VerifyTerminalServerSuite();
  return true;
}

}  // namespace

bool IsTerminalServer() {
  const PackedVersion version = CurrentPackedVersion();
  if (!version.nt) return false;
  if (version.major >= 5) return VerifyTerminalServerSuite();
  return ProductSuiteNamesTerminalServer();
}

int CountLoggedOnSessions() {
  HMODULE library = LoadTerminalServicesLibrary();
  if (!library) return 1;
  auto free_memory = reinterpret_cast<WtsFreeMemoryFn>(GetProcAddress(library, "WTSFreeMemory"));
  auto enumerate = reinterpret_cast<WtsEnumerateSessionsFn>(GetProcAddress(library, "WTSEnumerateSessionsA"));
  auto query =
      reinterpret_cast<WtsQuerySessionInformationFn>(GetProcAddress(library, "WTSQuerySessionInformationA"));
  if (!free_memory || !enumerate || !query) return 1;

  PWTS_SESSION_INFOA sessions = nullptr;
  DWORD count = 0;
  if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count) || !sessions) return 1;
  int users = 0;
  for (DWORD i = 0; i < count; ++i) {
    LPSTR user = nullptr;
    DWORD bytes = 0;
    bool named = false;
    if (query(WTS_CURRENT_SERVER_HANDLE, sessions[i].SessionId, WTSUserName, &user, &bytes) && user) {
      named = user[0] != '\0';
      free_memory(user);
    }
    const SessionFacts facts{named, static_cast<int>(sessions[i].State)};
    users += CountLoggedOnUsers(&facts, 1);
  }
  free_memory(sessions);
  return users;
}

bool IsTerminalServerCached() {
  LONG known = InterlockedCompareExchange(&g_cached_terminal_server, 0, 0);
  if (known == 0) {
    known = ComputeTerminalServerForCache() ? kCachedYes : kCachedNo;
    InterlockedExchange(&g_cached_terminal_server, known);
  }
  return known == kCachedYes;
}

}  // namespace twg
