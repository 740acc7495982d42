// Stopping the running product before its files are replaced or removed: the product as a whole
// (state server, engine, service, windows), the user manager on either platform family, and the proxy
// on Windows 9x.
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "frame/action_frame.h"

#include <tlhelp32.h>

#include "frame/path_chars.h"
#include "resources/resource_ids.h"
#include "versions/close_window.h"
#include "versions/option_watcher.h"
#include "versions/platform_id.h"
#include "versions/shutdown_rules.h"

namespace twg {
namespace {

constexpr DWORD kEngineWaitMs = 10000;
constexpr DWORD kServiceStopEventWaitMs = 10000;
constexpr UINT kWindowMessageTimeoutMs = 30000;
constexpr DWORD kMutexAllAccess = 0x1F0001;
constexpr DWORD kEventAllAccess = 0x1F0003;
// The value of PROCESS_ALL_ACCESS on the systems the product supports (newer headers widen it).
constexpr DWORD kProcessAllAccess = 0x1F0FFF;
constexpr DWORD kServiceStopPolls = 10;
constexpr DWORD kServiceStopPollMs = 500;
constexpr char kOptionProductEnabled[] = "product enabled";

// --- TWGShutdown ----------------------------------------------------------------------------------

// The server is created for IUnknown and run before it is asked for the store: a local server is
// only fully started once it runs.
HRESULT CreateOptionStore(ComRef<IOptionStore>& store) {
  ComRef<IUnknown> server;
  HRESULT hr = CoCreateInstance(kClsidStateServer, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, AsOut(server));
  if (FAILED(hr)) return hr;
  hr = OleRun(server);
  if (FAILED(hr)) return hr;
  return server.get()->QueryInterface(kIidOptionStore, AsOut(store));
}

// Asks the state server to unload the product. Best effort: any failure only ends this step.
void TellStateServerToUnload() {
  try {
    ComRef<IOptionStore> store;
    if (FAILED(CreateOptionStore(store))) return;
    ComRef<IOptionCollection> options;
    if (FAILED(store.get()->GetOptionCollection(options.Receive())) || !options.valid()) return;
    ComRef<IOptionItem> product_enabled;
    wchar_t name[sizeof kOptionProductEnabled];
    MultiByteToWideChar(CP_ACP, 0, kOptionProductEnabled, -1, name, sizeof kOptionProductEnabled);
    if (FAILED(options.get()->FindOption(name, product_enabled.Receive(), 0)) || !product_enabled.valid()) return;
    ScopedOptionWatcher watcher(OptionWatcher::Create(product_enabled));
    watcher.get()->SetState(OptionWatcher::kUnloaded);
  } catch (const ComError& e) {
    DebugOut("TWGShutdown: state server: 0x%08lX", static_cast<unsigned long>(e.hr()));
  } catch (const std::exception& e) {
    // Even running out of memory here only ends this step: the windows must still be closed.
    DebugOut("TWGShutdown: state server: %s", e.what());
  }
}

// Waits (bounded) for a product object to be let go or signalled, when the product has one, and closes
// it: the wait is only there to learn that the product has stopped.
void WaitAndClose(ScopedHandle object, DWORD timeout_ms) {
  if (object.valid()) WaitForSingleObject(object, timeout_ms);
}

BOOL CALLBACK RememberWebWindow(HWND window, LPARAM result) {
  char class_name[260] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (IsWebWindowClass(class_name)) {
    std::strcpy(reinterpret_cast<char*>(result), class_name);
  }
  return TRUE;  // the last match in enumeration order wins
}

std::string FindWebWindowClass() {
  char result[260] = "";
  EnumWindows(RememberWebWindow, reinterpret_cast<LPARAM>(result));
  return result;
}

enum class CloseOutcome { kDone, kRetry, kCancelled };

// Only Retry repeats. A box that could not be shown (no interactive desktop, a service context) or was
// ended without a button returns no button's answer (0 where it could not be made); nobody can ever
// choose Retry there, and repeating would send to the hung window for ever.
CloseOutcome AnswerTimedOutWindow(const ShutdownWindow& entry) {
  const int answer = ShowMessage(IDS_SHUTDOWN_TIMED_OUT, 0, MB_RETRYCANCEL);
  if (answer == IDRETRY) return CloseOutcome::kRetry;
  if (answer != IDCANCEL) {
    char line[400];
    wsprintfA(line, "TWGShutdown: the window of class \"%.260s\" does not answer and no box could ask "
                    "whether to retry; the installation stops.\r\n", entry.class_name.c_str());
    WriteInstallLogTime();
    WriteInstallLog(line);
  }
  return CloseOutcome::kCancelled;
}

// Asks one window to close; a window that does not answer in time brings the Retry/Cancel box, and
// Retry starts again with a new search.
CloseOutcome AskWindowToClose(MSIHANDLE session, const ShutdownWindow& entry) {
  for (;;) {
    HWND window = FindWindowA(entry.class_name.c_str(), entry.title);
    if (!window) return CloseOutcome::kDone;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(window, entry.message, 0, 0, SMTO_NORMAL, kWindowMessageTimeoutMs, &answer)) {
      SendInfo(session, "Closing window with class \"[1]\" title \"[2]\".",
               {entry.class_name.c_str(), entry.title ? entry.title : ""});
      return CloseOutcome::kDone;
    }
    if (AnswerTimedOutWindow(entry) == CloseOutcome::kCancelled) return CloseOutcome::kCancelled;
  }
}

// --- TWGUMShutDown9X ----------------------------------------------------------------------------------

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

void EndProcessNow(DWORD process_id) {
  ScopedHandle process(OpenProcess(kProcessAllAccess, TRUE, process_id));
  if (process.valid()) TerminateProcess(process, 0);
}

// --- TWGUMShutDownNT ----------------------------------------------------------------------------------

// The status tested first is the one the stop control answered with; then at most ten polls.
void StopServiceAndWait(SC_HANDLE manager, const char* name) {
  ScopedServiceHandle service(OpenServiceA(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service.valid()) return;
  SERVICE_STATUS status;
  std::memset(&status, 0, sizeof status);
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return;
  for (DWORD poll = 0; status.dwCurrentState != SERVICE_STOPPED && poll < kServiceStopPolls; ++poll) {
    Sleep(kServiceStopPollMs);
    QueryServiceStatus(service, &status);
  }
}

// --- StopVelProxySvc9X ----------------------------------------------------------------------------------

DWORD ReadProxyThreadId() {
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID\\{C674021E-77F8-F507-B5A5-7313B41F9708}", 0, KEY_READ,
                    key.Receive()) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD thread_id = 0;
  DWORD size = sizeof thread_id;
  if (RegQueryValueExA(key, "ThreadId", nullptr, nullptr, reinterpret_cast<BYTE*>(&thread_id), &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return thread_id;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGShutdown(MSIHANDLE session) {
  return twg::RunAction("TWGShutdown", [&] {
    twg::ScopedHandle engine;
    {
      twg::ComApartment apartment;
      engine.reset(OpenMutexA(twg::kMutexAllAccess, FALSE, "GRD_GRDAPP_MUTEX_NAME"));
      twg::TellStateServerToUnload();
    }
    twg::WaitAndClose(std::move(engine), twg::kEngineWaitMs);
    twg::WaitAndClose(twg::ScopedHandle(OpenEventA(twg::kEventAllAccess, FALSE, "TWGSERV_Stop_Event")),
                      twg::kServiceStopEventWaitMs);

    DWORD platform_id = 0;
    if (!twg::ReadPlatformId(&platform_id)) return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    std::string web_class = twg::FindWebWindowClass();
    UINT stop = RegisterWindowMessageA("WM_USER_-_WM_GRD_SERV_STOP");
    twg::Platform platform = twg::PlatformFromId(platform_id);
    for (const auto& entry : twg::MakeShutdownWindowTable(stop, web_class)) {
      if (!twg::AppliesTo(entry, platform)) continue;
      if (twg::AskWindowToClose(session, entry) == twg::CloseOutcome::kCancelled) {
        return static_cast<UINT>(ERROR_INSTALL_FAILURE);
      }
    }
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

// The snapshot functions are looked up by name: NT 4.0's kernel32 has none of them.
TWG_ACTION UINT __stdcall TWGUMShutDown9X(MSIHANDLE session) {
  return twg::RunAction("TWGUMShutDown9X", [&] {
    twg::ScopedLibrary kernel(LoadLibraryA("Kernel32.dll"));
    if (!kernel.valid()) return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    auto first = reinterpret_cast<twg::ProcessWalkFn>(GetProcAddress(kernel, "Process32First"));
    auto next = reinterpret_cast<twg::ProcessWalkFn>(GetProcAddress(kernel, "Process32Next"));
    auto snapshot_of =
        reinterpret_cast<twg::CreateSnapshotFn>(GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
    if (!first || !next || !snapshot_of) return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    twg::ScopedHandle snapshot(snapshot_of(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return static_cast<UINT>(ERROR_INSTALL_FAILURE);

    twg::LeadBytes lead = twg::SystemLeadBytes();
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
      char path[MAX_PATH];
      lstrcpynA(path, entry.szExeFile, sizeof path);
      if (twg::IsUserManagerPath(lead, path)) twg::EndProcessNow(entry.th32ProcessID);
    }
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGUMShutDownNT(MSIHANDLE session) {
  return twg::RunAction("TWGUMShutDownNT", [&] {
    twg::ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.valid()) return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    twg::StopServiceAndWait(manager, "VelPxSvc");
    twg::StopServiceAndWait(manager, "TWGUM");
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall StopVelProxySvc9X(MSIHANDLE session) {
  return twg::RunAction("StopVelProxySvc9X", [&] {
    DWORD thread_id = twg::ReadProxyThreadId();
    if (thread_id != 0) PostThreadMessageA(thread_id, WM_QUIT, 0, 0);
    // One round only: the proxy's window is not searched for again.
    if (HWND window = FindWindowA("GRDAPP", nullptr)) twg::CloseWindowAndProcess(window);
    return static_cast<UINT>(ERROR_SUCCESS);
  }, ERROR_SUCCESS);
}
