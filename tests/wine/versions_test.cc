// Stopping the running product and removing earlier versions, in real sessions under Wine, against
// stand-ins for the product's windows, services, named objects and state server and for the earlier
// products' packages.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"
#include "tests/standins/state_server/state_server.h"

using namespace harness;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A stand-in process, ended (exit code 99) when the test is done with it.
class Process {
 public:
  explicit Process(const std::string& command_line) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = command_line;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
      ADD_FAILURE() << "cannot start " << command_line;
    }
  }
  ~Process() {
    if (pi_.hProcess) {
      if (Running()) TerminateProcess(pi_.hProcess, 99);
      WaitForSingleObject(pi_.hProcess, 5000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  bool Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
  // The exit code once it has ended within the time given, otherwise -1.
  long ExitCode(DWORD wait_ms = 3000) const {
    if (WaitForSingleObject(pi_.hProcess, wait_ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }
  DWORD thread_id() const { return pi_.dwThreadId; }
  // Until the program waits for its first message: a window program has made its windows by then.
  void WaitUntilIdle() const { WaitForInputIdle(pi_.hProcess, 10000); }

 private:
  PROCESS_INFORMATION pi_{};
};

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = 10000) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 20) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

// Starts product_windows.exe with the given window specs and waits until every window is up.
class ProductWindows {
 public:
  ProductWindows(const std::string& log, const std::vector<std::string>& specs, const std::string& options = "")
      : process_(CommandLine(log, specs, options)) {
    process_.WaitUntilIdle();
    for (const auto& spec : specs) {
      std::string class_name = spec.substr(0, spec.find('|'));
      EXPECT_TRUE(WaitUntil([&] { return FindWindowA(class_name.c_str(), nullptr) != nullptr; }))
          << "window of class " << class_name << " did not appear";
    }
  }
  const Process& process() const { return process_; }

 private:
  static std::string CommandLine(const std::string& log, const std::vector<std::string>& specs,
                                 const std::string& options) {
    std::string cmd = "\"" + StandinPath("product_windows.exe") + "\" \"" + log + "\" " + options;
    for (const auto& spec : specs) cmd += " \"" + spec + "\"";
    return cmd;
  }
  Process process_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::multiset<std::string> LineSet(const std::string& text) {
  auto lines = Lines(text);
  return {lines.begin(), lines.end()};
}

// Answers message boxes of the custom-action server from the test: each box that appears gets the next
// answer of the list (IDRETRY, IDCANCEL, IDOK...), and the moment it appeared is kept.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<int> answers) : answers_(std::move(answers)), start_(Clock::now()) {
    thread_ = std::thread([this] { Run(); });
  }
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<double> seen_at() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_at_;
  }
  std::vector<std::string> texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  static BOOL CALLBACK ReadStatic(HWND child, LPARAM out) {
    char class_name[64] = "", text[1024] = "";
    GetClassNameA(child, class_name, sizeof class_name);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(class_name, "Static") == 0 && text[0]) *reinterpret_cast<std::string*>(out) += text;
    return TRUE;
  }
  void Run() {
    size_t next = 0;
    HWND last = nullptr;
    while (!stop_) {
      HWND box = FindWindowA("#32770", nullptr);
      if (box && box != last && IsWindowVisible(box)) {
        last = box;
        std::string text;
        EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(&text));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          seen_at_.push_back(SecondsSince(start_));
          texts_.push_back(text);
        }
        int answer = next < answers_.size() ? answers_[next++] : IDCANCEL;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
      }
      Sleep(50);
    }
  }
  std::vector<int> answers_;
  Clock::time_point start_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<double> seen_at_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

// --- TWGShutdown -------------------------------------------------------------------------------------

void RegisterStateServer(const std::string& product_enabled) {
  HMODULE server = LoadLibraryA(StandinPath("state_server.dll").c_str());
  ASSERT_NE(server, nullptr);
  auto register_server = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(server, "DllRegisterServer"));
  ASSERT_NE(register_server, nullptr);
  ASSERT_EQ(register_server(), S_OK);
  FreeLibrary(server);
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
  RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled", product_enabled);
}

void UnregisterStateServer() {
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
}

std::string StateServerCalls() { return RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(); }

TEST(VersionsShutdown, NothingRunningMakesNoWaits) {
  UnregisterStateServer();
  auto start = Clock::now();
  EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_LT(SecondsSince(start), 5.0);
}

TEST(VersionsShutdown, StateServerIsToldToUnload) {
  RegisterStateServer("enabled");
  EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  // The watcher reads the value once when it is made and again when the server reports the change.
  EXPECT_EQ(StateServerCalls(),
            "create\ncollection\nfind product enabled 0\nadvise 1\nget product enabled\n"
            "set product enabled=unloaded\nnotify 1\nget product enabled\nunadvise 1\n");
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled").text(), "unloaded");

  // An item without a connection point gets no watcher, so nothing is set; the action goes on.
  RegisterStateServer("enabled");
  RegSetDword(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "NoConnectionPoint", 1);
  EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(StateServerCalls(), "create\ncollection\nfind product enabled 0\n");
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled").text(), "enabled");
  UnregisterStateServer();
}

TEST(VersionsShutdown, WaitsForEngineMutexAndServiceStopEvent) {
  Process engine("\"" + StandinPath("named_object.exe") + "\" mutex GRD_GRDAPP_MUTEX_NAME 1500");
  Process service("\"" + StandinPath("named_object.exe") + "\" event TWGSERV_Stop_Event 2500");
  ASSERT_TRUE(WaitUntil([] {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "GRD_GRDAPP_MUTEX_NAME");
    HANDLE e = OpenEventA(SYNCHRONIZE, FALSE, "TWGSERV_Stop_Event");
    bool both = m && e;
    if (m) CloseHandle(m);
    if (e) CloseHandle(e);
    return both;
  }));
  auto start = Clock::now();
  EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  double seconds = SecondsSince(start);
  // The mutex is let go after 1.5 s and the event set after 2.5 s: the action waited for both, and for
  // no longer than they took.
  EXPECT_GT(seconds, 2.0);
  EXPECT_LT(seconds, 9.0);
}

// Windows of every entry of the table, and two web windows.
const std::vector<std::string> kAllProductWindows = {
    "CorrixStats", "HBMTrashClass", "GrdLog", "Veltrane HBMApp Class", "vel hbm", "TWGUMWindowClass|TWGUM",
    "Vel_DockedWnd_Parent_Class", "CWebWindow_ClassOne", "cwebwindow_classTWO"};

// The web window EnumWindows reports last: the one the action must pick.
BOOL CALLBACK LastWebWindow(HWND window, LPARAM out) {
  char class_name[260] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (_strnicmp(class_name, "CWebWindow_Class", 16) == 0) *reinterpret_cast<std::string*>(out) = class_name;
  return TRUE;
}

TEST(VersionsShutdown, WindowsOfThePlatformColumnAreAskedInOrder) {
  struct Case {
    const char* version;
    std::vector<std::string> expected;  // the log lines, without the web window's
  } cases[] = {
      {"winxp",
       {"CorrixStats stop", "HBMTrashClass stop", "GrdLog close", "Veltrane HBMApp Class stop",
        "Vel_DockedWnd_Parent_Class close"}},
      {"win98",
       {"CorrixStats stop", "HBMTrashClass stop", "GrdLog close", "Veltrane HBMApp Class stop", "vel hbm 3034",
        "TWGUMWindowClass quit", "Vel_DockedWnd_Parent_Class close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    ScopedWindowsVersion version(c.version);
    std::string log = NewTempDir("windows") + "\\log.txt";
    ProductWindows windows(log, kAllProductWindows);
    std::string web_class;
    EnumWindows(LastWebWindow, reinterpret_cast<LPARAM>(&web_class));
    ASSERT_FALSE(web_class.empty());

    UiRecorder ui;
    EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
    std::vector<std::string> expected = c.expected;
    expected.push_back(web_class + " quit");  // only the last web window, the other is left alone
    EXPECT_EQ(Lines(ReadFileText(log)), expected);

    std::vector<std::string> info;
    for (const auto& m : ui.Of(INSTALLMESSAGE_INFO)) {
      if (m.text.find("Closing window") != std::string::npos) info.push_back(m.text);
    }
    ASSERT_EQ(info.size(), expected.size());
    EXPECT_NE(info[0].find("Closing window with class \"CorrixStats\" title \"\"."), std::string::npos) << info[0];
    if (std::string(c.version) == "win98") {
      EXPECT_NE(info[5].find("Closing window with class \"TWGUMWindowClass\" title \"TWGUM\"."),
                std::string::npos) << info[5];
    }
  }
}

// The one slow case: the first hung window costs 30 s per box.
TEST(VersionsShutdown, HungWindowBringsRetryCancelBox) {
  std::string log = NewTempDir("hung") + "\\log.txt";
  ProductWindows windows(log, {"GrdLog"}, "--hang-ms 120000");
  BoxAnswerer answerer({IDRETRY, IDCANCEL});
  auto start = Clock::now();
  EXPECT_EQ(RunAction("TWGShutdown", {}, {}).result, static_cast<UINT>(ERROR_INSTALL_FAILURE));
  double seconds = SecondsSince(start);
  auto seen = answerer.seen_at();
  ASSERT_EQ(seen.size(), 2u);
  // Retry sends again to the still hung window: the second box comes another 30 s later.
  EXPECT_NEAR(seen[0], 30.0, 4.0);
  EXPECT_NEAR(seen[1] - seen[0], 30.0, 4.0);
  EXPECT_LT(seconds, 70.0);
  EXPECT_EQ(answerer.texts()[0], "Shutdown of a process has timed out.");
}

// --- The other shutdown actions ------------------------------------------------------------------------

TEST(VersionsUserManager, ShutDown9XEndsEveryTwgumProcessOnly) {
  Process first("\"" + StandinPath("TWGUM.exe") + "\"");
  Process second("\"" + StandinPath("TWGUM.exe") + "\"");
  Process bystander("\"" + StandinPath("named_object.exe") + "\" mutex TWGTestBystander forever");
  Sleep(500);
  EXPECT_EQ(RunAction("TWGUMShutDown9X", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(first.ExitCode(), 0);
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_TRUE(bystander.Running());
}

class VersionsServices : public testing::Test {
 protected:
  void SetUp() override {
    log_ = NewTempDir("services") + "\\log.txt";
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    for (SC_HANDLE s : services_) {
      SERVICE_STATUS status;
      ControlService(s, SERVICE_CONTROL_STOP, &status);
      DeleteService(s);
      CloseServiceHandle(s);
    }
    CloseServiceHandle(manager_);
  }
  SC_HANDLE Install(const std::string& name, const std::string& stop_delay_ms, bool start) {
    std::string command = "\"" + StandinPath("product_service.exe") + "\" " + name + " \"" + log_ + "\" " +
                          stop_delay_ms;
    SC_HANDLE s = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                 command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(s, nullptr) << name << " " << GetLastError();
    if (!s) return nullptr;
    services_.push_back(s);
    if (start) {
      EXPECT_TRUE(StartServiceA(s, 0, nullptr));
      EXPECT_TRUE(WaitUntil([&] { return State(s) == SERVICE_RUNNING; }));
    }
    return s;
  }
  static DWORD State(SC_HANDLE s) {
    SERVICE_STATUS status{};
    QueryServiceStatus(s, &status);
    return status.dwCurrentState;
  }
  std::string log_;
  SC_HANDLE manager_ = nullptr;
  std::vector<SC_HANDLE> services_;
};

TEST_F(VersionsServices, ShutDownNTStopsBothAndWaitsForTheSlowOne) {
  SC_HANDLE proxy = Install("VelPxSvc", "1200", true);
  SC_HANDLE user_manager = Install("TWGUM", "0", true);
  auto start = Clock::now();
  EXPECT_EQ(RunAction("TWGUMShutDownNT", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  double seconds = SecondsSince(start);
  EXPECT_EQ(State(proxy), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(State(user_manager), static_cast<DWORD>(SERVICE_STOPPED));
  // The proxy was stopped and had finished stopping before the user manager was asked.
  EXPECT_EQ(Lines(ReadFileText(log_)),
            (std::vector<std::string>{"VelPxSvc running", "TWGUM running", "VelPxSvc stop", "VelPxSvc stopped",
                                      "TWGUM stop", "TWGUM stopped"}));
  EXPECT_GT(seconds, 1.0);
  EXPECT_LT(seconds, 8.0);
}

TEST_F(VersionsServices, ShutDownNTPassesOverStoppedAndMissingServices) {
  Install("VelPxSvc", "0", false);  // installed, never started: the stop is refused
  auto start = Clock::now();
  EXPECT_EQ(RunAction("TWGUMShutDownNT", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_EQ(ReadFileText(log_), "");
}

constexpr char kProxyAppId[] = "AppID\\{C674021E-77F8-F507-B5A5-7313B41F9708}";

TEST(VersionsProxy, StopVelProxySvc9XQuitsTheThreadAndClosesGrdapp) {
  std::string log = NewTempDir("proxy") + "\\log.txt";
  ProductWindows proxy(log, {"ProxyHelperWindow"});
  ProductWindows grdapp(log, {"GRDAPP"}, "--ignore-close");
  RegSetDword(HKEY_CLASSES_ROOT, kProxyAppId, "ThreadId", proxy.process().thread_id());
  EXPECT_EQ(RunAction("StopVelProxySvc9X", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(proxy.process().ExitCode(), 7);   // its thread got WM_QUIT
  EXPECT_EQ(grdapp.process().ExitCode(), 0);  // ignored the close, so it was ended
  EXPECT_EQ(LineSet(ReadFileText(log)), (std::multiset<std::string>{"thread quit", "GRDAPP close"}));
  RegDeleteTree(HKEY_CLASSES_ROOT, kProxyAppId);

  // Neither the value nor the window: nothing to do.
  auto start = Clock::now();
  EXPECT_EQ(RunAction("StopVelProxySvc9X", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_LT(SecondsSince(start), 3.0);
}

TEST(VersionsCloseWindows, CheckForInUseFilesClosesEveryGrdLogBeforeCorrixStats) {
  std::string log = NewTempDir("inuse") + "\\log.txt";
  ProductWindows a(log, {"GrdLog"}), b(log, {"GrdLog"}), c(log, {"GrdLog"}), stats(log, {"CorrixStats"});
  EXPECT_EQ(RunAction("CheckForInUseFiles", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(Lines(ReadFileText(log)),
            (std::vector<std::string>{"GrdLog close", "GrdLog close", "GrdLog close", "CorrixStats close"}));
  // Each owning process is ended even though its window closed in time.
  for (const ProductWindows* w : {&a, &b, &c, &stats}) EXPECT_EQ(w->process().ExitCode(), 0);
  EXPECT_EQ(FindWindowA("GrdLog", nullptr), nullptr);
}

TEST(VersionsCloseWindows, CloseIntegratorEndsItsWindowAndProcess) {
  std::string log = NewTempDir("integrator") + "\\log.txt";
  ProductWindows integrator(log, {"VELIntegratorWnd"});
  ProductWindows other(log, {"UnrelatedWindow"});
  EXPECT_EQ(RunAction("TWGCloseIntegrator", {}, {}).result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(integrator.process().ExitCode(), 0);
  EXPECT_TRUE(other.process().Running());
  EXPECT_EQ(Lines(ReadFileText(log)), std::vector<std::string>{"VELIntegratorWnd close"});
}

}  // namespace
