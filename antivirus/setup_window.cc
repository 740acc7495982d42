#include "antivirus/setup_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "antivirus/nested_setup.h"
#include "frame/action_frame.h"
#include "resource_ids.h"

namespace {

// Shared by every process that loads this module: the hook runs in the setup's process and needs the
// hidden dialog (made in the installer's process) and its own hook handle. Window and hook handles
// and installer handles are 32-bit values on 64-bit Windows too, so the block keeps 32-bit words.
struct SharedSetupState {
  DWORD hook;
  DWORD session;
  DWORD last_percent;
  DWORD dialog;
};
__attribute__((section(".MYSHARE"), shared)) volatile SharedSetupState g_setup = {0, 0, 0, 0};

constexpr UINT kSetupPercentMessage = 0x0491;  // the setup's own, percentage in wParam
constexpr UINT kForwardPercentMessage = 0x0445;

// The last status text passed on; lives in the installer's process only.
char g_status_text[256];

HWND SharedDialog() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(g_setup.dialog)); }
HHOOK SharedHook() { return reinterpret_cast<HHOOK>(static_cast<ULONG_PTR>(g_setup.hook)); }

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ReportSetupText(const char* text) {
  if (!text || IsBadStringPtrA(text, sizeof g_status_text)) return;
  if (std::strcmp(text, g_status_text) == 0) return;
  lstrcpynA(g_status_text, text, sizeof g_status_text);
  twg::SendActionData(static_cast<MSIHANDLE>(g_setup.session), {g_status_text, nullptr, nullptr});
}

// The user cancelled: every dialog of the setup's thread is told its Cancel button was clicked; a
// setup that still shows its window a moment later is ended.
BOOL CALLBACK ClickCancel(HWND window, LPARAM) {
  char name[16];
  if (GetClassNameA(window, name, sizeof name) && std::strcmp(name, "#32770") == 0) {
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
  }
  return TRUE;
}

HWND TopLevelOf(HWND window) {
  HWND desktop = GetDesktopWindow();
  for (HWND parent = GetParent(window); parent && parent != desktop; parent = GetParent(window)) {
    window = parent;
  }
  return window;
}

void StopSetup(HWND setup_window) {
  char aborting[255];
  twg::LoadText(IDS_TVS_ABORTING, aborting);
  ReportSetupText(aborting);
  const HWND top = TopLevelOf(setup_window);
  EnumThreadWindows(GetWindowThreadProcessId(setup_window, nullptr), ClickCancel, 0);
  Sleep(250);
  if (!IsWindow(top)) return;
  DWORD process_id = 0;
  GetWindowThreadProcessId(top, &process_id);
  twg::ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, process_id));
  if (process.valid()) TerminateProcess(process, static_cast<UINT>(-1));
}

void ReportSetupProgress(DWORD percent, HWND window) {
  if (percent <= g_setup.last_percent) return;
  const int ticks = static_cast<int>(percent - g_setup.last_percent) * twg::kSetupProgressPerPercent;
  g_setup.last_percent = percent;
  twg::MsiHandle record(MsiCreateRecord(3));
  if (!record.valid()) return;
  MsiRecordSetInteger(record, 1, 2);
  MsiRecordSetInteger(record, 2, ticks);
  MsiRecordSetInteger(record, 3, 0);
  const int answer = MsiProcessMessage(static_cast<MSIHANDLE>(g_setup.session), INSTALLMESSAGE_PROGRESS, record);
  if (answer == IDCANCEL || answer == IDABORT) StopSetup(window);
}

INT_PTR CALLBACK DummyWindowProc(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT) ReportSetupText(reinterpret_cast<const char*>(lparam));
  if (message == kForwardPercentMessage) {
    ReportSetupProgress(static_cast<DWORD>(wparam), reinterpret_cast<HWND>(lparam));
  }
  return 0;
}

// Runs inside the setup's process on its window thread.
LRESULT CALLBACK SetupMessageHook(int code, WPARAM wparam, LPARAM lparam) {
  const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  const HWND dialog = SharedDialog();
  if (code >= 0 && sent) {
    if (sent->hwnd == dialog) return 0;
    if (sent->message == WM_SETTEXT && sent->lParam &&
        !IsBadStringPtrA(reinterpret_cast<const char*>(sent->lParam), 4096)) {
      SendMessageA(dialog, WM_SETTEXT, reinterpret_cast<WPARAM>(sent->hwnd), sent->lParam);
    } else if (sent->message == kSetupPercentMessage) {
      SendMessageA(dialog, kForwardPercentMessage, sent->wParam, reinterpret_cast<LPARAM>(sent->hwnd));
    }
  }
  return CallNextHookEx(SharedHook(), code, wparam, lparam);
}

struct WindowSearch {
  const char* window_class;
  const char* caption;
  HWND found;
  DWORD process_id;
};

BOOL CALLBACK FindSetupWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == GetCurrentProcessId()) return TRUE;
  char name[64], caption[64];
  if (!GetClassNameA(window, name, sizeof name)) return TRUE;
  GetWindowTextA(window, caption, sizeof caption);
  if (lstrcmpiA(name, search->window_class) != 0 || lstrcmpiA(caption, search->caption) != 0) return TRUE;
  search->found = window;
  search->process_id = process_id;
  return FALSE;
}

// Looks for the setup window while keeping this thread's messages flowing.
bool WaitForSetupWindow(WindowSearch* search) {
  const DWORD start = GetTickCount();
  const DWORD limit = twg::SetupWindowSearchMs();
  for (;;) {
    EnumWindows(FindSetupWindow, reinterpret_cast<LPARAM>(search));
    if (search->found) return true;
    if (GetTickCount() - start >= limit) return false;
    PumpMessages();
    Sleep(10);
  }
}

void BuildCommandLine(char* line, std::size_t size, const char* setup, const char* response_file,
                      const char* log_file_name) {
  if (!response_file || !*response_file) {
    std::snprintf(line, size, "%s", setup);
    return;
  }
  char log[MAX_PATH + 64] = "";
  if (log_file_name && *log_file_name) {
    char windows[MAX_PATH];
    if (GetWindowsDirectoryA(windows, sizeof windows)) {
      std::snprintf(log, sizeof log, "%s\\%s", windows, log_file_name);
    } else {
      std::snprintf(log, sizeof log, "\\%s", log_file_name);
    }
  } else {
    std::snprintf(log, sizeof log, "%s.ISL", response_file);
  }
  std::snprintf(line, size, "%s -LOG  -s -f1\"%s\" -f2%s -LOG ", setup, response_file, log);
}

// Polls the setup until it ends. -1 when the user gives up waiting.
long WaitForSetupExit(HANDLE process, const char* caption) {
  DWORD code = STILL_ACTIVE;
  for (;;) {
    PumpMessages();
    Sleep(10);
    if (!GetExitCodeProcess(process, &code)) break;
    if (code != STILL_ACTIVE) return static_cast<long>(code);
  }
  char format[256], question[512];
  twg::LoadText(IDS_TVS_SETUP_CONTINUE_WAIT, format);
  std::snprintf(question, sizeof question, format, caption);
  for (;;) {
    if (WaitForSingleObject(process, 300000) != WAIT_TIMEOUT) {
      return GetExitCodeProcess(process, &code) ? static_cast<long>(code) : -1;
    }
    // A box nobody can see answers 0, which is taken as No.
    if (MessageBoxA(nullptr, question, nullptr, MB_YESNO | MB_ICONINFORMATION) != IDYES) return -1;
  }
}

}  // namespace

namespace twg {

void SetSetupSession(MSIHANDLE session) { g_setup.session = static_cast<DWORD>(session); }

DWORD SetupWindowSearchMs() {
  char text[16];
  const DWORD n = GetEnvironmentVariableA("TWG_TEST_SETUP_WINDOW_WAIT_MS", text, sizeof text);
  if (n > 0 && n < sizeof text) return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
  return 300000;
}

long SWLaunchSetupAndWait(const char* setup_path, const char* response_file, const char* window_class,
                          const char* window_caption, const char* log_file_name) {
  char line[3 * MAX_PATH + 128];
  BuildCommandLine(line, sizeof line, setup_path, response_file, log_file_name);
  lstrcpynA(g_status_text, "some_string", sizeof g_status_text);
  ReportSetupText("");

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return static_cast<long>(GetLastError());
  }
  {
    // Setups of this kind often hand over to another process and end at once; their window is what
    // is followed.
    ScopedHandle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process, 100);
  }
  WindowSearch search = {window_class && *window_class ? window_class : "InstallShield_Win",
                         window_caption && *window_caption ? window_caption : "Setup", nullptr, 0};
  if (!WaitForSetupWindow(&search)) {
    PumpMessages();
    return 0;
  }
  HWND dialog = CreateDialogParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_INSTALL_DUMMY), nullptr,
                                   DummyWindowProc, 0);
  g_setup.dialog = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(dialog));
  char name[259], description[259], file_template[259];
  LoadText(IDS_TVS_ACTION_NAME, name);
  LoadText(IDS_TVS_ACTION_DESCRIPTION, description);
  LoadText(IDS_TVS_ACTION_TEMPLATE_FILE, file_template);
  SendActionStart(static_cast<MSIHANDLE>(g_setup.session), name, description, file_template);
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, SetupMessageHook, ModuleHandle(),
                                 GetWindowThreadProcessId(search.found, nullptr));
  g_setup.hook = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hook));

  long result;
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                   search.process_id));
  if (!process.valid()) {
    char format[128], text[160];
    LoadText(IDS_TVS_OPEN_PROCESS_FAILED, format);
    std::snprintf(text, sizeof text, format, static_cast<int>(GetLastError()));
    MessageBoxA(nullptr, text, nullptr, MB_ICONINFORMATION);
    Sleep(3000);
    result = -1;
  } else {
    result = WaitForSetupExit(process, search.caption);
  }
  if (hook) UnhookWindowsHookEx(hook);
  g_setup.hook = 0;
  if (dialog) DestroyWindow(dialog);
  g_setup.dialog = 0;
  PumpMessages();
  return result;
}

}  // namespace twg
