// Stopping the running product and removing earlier versions, in real sessions under Wine, against
// stand-ins for the product's windows, services, named objects and state server and for the earlier
// products' packages.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"
#include "tests/standins/state_server/state_server.h"

// The close loop's process opener has no export of its own; the runner has the library linked in.
#include "frame/handles.h"
#include "versions/close_window.h"

using namespace harness;

namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT kOk = ERROR_SUCCESS;
constexpr UINT kFailed = ERROR_INSTALL_FAILURE;

// The temporary folder, with its trailing backslash.
std::string TempPath() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return temp;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Runs the action in a fresh session; *seconds gets how long that took.
UINT Act(const std::string& action, double* seconds = nullptr) {
  auto start = Clock::now();
  UINT result = RunAction(action, {}, {}).result;
  if (seconds) *seconds = SecondsSince(start);
  return result;
}

std::string Standin(const std::string& program, const std::string& arguments = "") {
  return "\"" + StandinPath(program) + "\" " + arguments;
}

// Whether a named object could be opened (the handle is closed again).
bool Exists(HANDLE object) {
  if (object) CloseHandle(object);
  return object != nullptr;
}
bool MutexExists(const char* name) { return Exists(OpenMutexA(SYNCHRONIZE, FALSE, name)); }

// Polls for up to 10 s.
bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 500 && !condition(); ++i) Sleep(20);
  return condition();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// A stand-in process, ended (exit code 99) when the test is done with it.
class Process {
 public:
  explicit Process(std::string command_line) {
    STARTUPINFOA si{sizeof(STARTUPINFOA)};
    if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
      ADD_FAILURE() << "cannot start " << command_line;
    }
  }
  ~Process() {
    if (!pi_.hProcess) return;
    if (ExitCode(0) == -1) TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  // The exit code once it has ended within the time given, otherwise -1 (still running).
  long ExitCode(DWORD wait_ms = 3000) const {
    if (WaitForSingleObject(pi_.hProcess, wait_ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }
  DWORD thread_id() const { return pi_.dwThreadId; }
  DWORD process_id() const { return pi_.dwProcessId; }

 protected:
  PROCESS_INFORMATION pi_{};
};

// product_windows.exe with the given windows ("class|title"), once every one of them is up.
class ProductWindows : public Process {
 public:
  ProductWindows(const std::string& log, const std::vector<std::string>& windows, const std::string& options = "")
      : Process(Standin("product_windows.exe", "\"" + log + "\" " + options + Quoted(windows))) {
    WaitForInputIdle(pi_.hProcess, 10000);  // a window program has made its windows by then
    for (const auto& wanted : windows) {
      std::string class_name = wanted.substr(0, wanted.find('|'));
      EXPECT_TRUE(WaitUntil([&] { return FindWindowA(class_name.c_str(), nullptr) != nullptr; }))
          << "window of class " << class_name << " did not appear";
    }
  }

 private:
  static std::string Quoted(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) text += " \"" + word + "\"";
    return text;
  }
};

// --- TWGShutdown -------------------------------------------------------------------------------------

void RegisterStateServer() {
  HMODULE server = LoadLibraryA(StandinPath("state_server.dll").c_str());
  ASSERT_NE(server, nullptr);
  auto register_server = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(server, "DllRegisterServer"));
  ASSERT_NE(register_server, nullptr);
  ASSERT_EQ(register_server(), S_OK);
  FreeLibrary(server);
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
  RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled", "enabled");
}

void UnregisterStateServer() {
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
}

// Wine turns a page fault inside a custom action into success, so the result alone proves little: the
// server's record of the calls is what shows the conversation went right.
TEST(VersionsShutdown, StateServerIsToldToUnload) {
  struct Case {
    int server;  // 0: none registered, 1: with a connection point, 2: without
    const char *calls, *value_after;
  } cases[] = {
      {0, "", ""},
      // The watcher reads the value once when it is made and again when the server reports the change.
      {1,
       "create\ncollection\nfind product enabled 0\nadvise 1\nget product enabled\n"
       "set product enabled=unloaded\nnotify 1\nget product enabled\nunadvise 1\n",
       "unloaded"},
      // An item without a connection point gets no watcher, so nothing is set; the action goes on.
      {2, "create\ncollection\nfind product enabled 0\n", "enabled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value_after);
    UnregisterStateServer();
    if (c.server) RegisterStateServer();
    if (c.server == 2) RegSetDword(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "NoConnectionPoint", 1);
    double seconds = 0;
    EXPECT_EQ(Act("TWGShutdown", &seconds), kOk);
    EXPECT_LT(seconds, 5.0);  // nothing else runs: no waits
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(), c.calls);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled").text(), c.value_after);
  }
  UnregisterStateServer();
}

TEST(VersionsShutdown, WaitsForEngineMutexAndServiceStopEvent) {
  Process engine(Standin("named_object.exe", "mutex GRD_GRDAPP_MUTEX_NAME 1500"));
  Process service(Standin("named_object.exe", "event TWGSERV_Stop_Event 2500"));
  ASSERT_TRUE(WaitUntil([] {
    return MutexExists("GRD_GRDAPP_MUTEX_NAME") && Exists(OpenEventA(SYNCHRONIZE, FALSE, "TWGSERV_Stop_Event"));
  }));
  double seconds = 0;
  EXPECT_EQ(Act("TWGShutdown", &seconds), kOk);
  // The mutex is let go after 1.5 s and the event set after 2.5 s: the action waited for both, and for
  // no longer than they took.
  EXPECT_GT(seconds, 2.0);
  EXPECT_LT(seconds, 9.0);
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
    // Windows of every entry of the table, and two web windows.
    ProductWindows windows(log, {"CorrixStats", "HBMTrashClass", "GrdLog", "Veltrane HBMApp Class", "vel hbm",
                                 "TWGUMWindowClass|TWGUM", "Vel_DockedWnd_Parent_Class", "CWebWindow_ClassOne",
                                 "cwebwindow_classTWO"});
    std::string web_class;  // the one EnumWindows reports last: the one the action must pick
    EnumWindows([](HWND window, LPARAM out) -> BOOL {
      char class_name[260] = "";
      GetClassNameA(window, class_name, sizeof class_name);
      if (_strnicmp(class_name, "CWebWindow_Class", 16) == 0) *reinterpret_cast<std::string*>(out) = class_name;
      return TRUE;
    }, reinterpret_cast<LPARAM>(&web_class));
    ASSERT_FALSE(web_class.empty());

    UiRecorder ui;
    EXPECT_EQ(Act("TWGShutdown"), kOk);
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

// The slow group: a hung window costs 30 s per box. A box that ends without a button, as one that cannot
// be shown (no interactive desktop) does, counts as Cancel: nobody could ever choose Retry.
TEST(VersionsShutdown, HungWindowBringsRetryCancelBox) {
  struct Case {
    const char* name;
    std::vector<int> answers;
    size_t boxes;
    bool logged;  // the install log says why the install stops
  } cases[] = {
      {"retry, then cancel", {IDRETRY, IDCANCEL}, 2, false},
      {"ended without a button", {0}, 1, true},
  };
  const std::string install_log = TempPath() + "TWGLog.txt";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileA(install_log.c_str());
    ProductWindows windows(NewTempDir("hung") + "\\log.txt", {"GrdLog"}, "--hang-ms 120000");
    MessageBoxAnswerer answerer(c.answers);
    double seconds = 0;
    EXPECT_EQ(Act("TWGShutdown", &seconds), kFailed);
    auto boxes = answerer.Stop();
    ASSERT_EQ(boxes.size(), c.boxes);
    // Each box follows another 30 s send to the still hung window (the first also the session's start).
    for (size_t i = 0; i < boxes.size(); ++i) {
      const double since_last = boxes[i].seen_at - (i == 0 ? 0.0 : boxes[i - 1].seen_at);
      EXPECT_GT(since_last, 29.0);
      EXPECT_LT(since_last, 40.0);
      EXPECT_EQ(boxes[i].text, "Shutdown of a process has timed out.");
    }
    EXPECT_LT(seconds, 30.0 * c.boxes + 10.0);
    EXPECT_EQ(ReadFileText(install_log).find("\"GrdLog\"") != std::string::npos, c.logged);
  }
}

// --- The other shutdown actions ------------------------------------------------------------------------

TEST(VersionsUserManager, ShutDown9XEndsEveryTwgumProcessOnly) {
  Process first(Standin("TWGUM.exe")), second(Standin("TWGUM.exe"));
  Process bystander(Standin("named_object.exe", "mutex TWGTestBystander forever"));
  Sleep(500);
  EXPECT_EQ(Act("TWGUMShutDown9X"), kOk);
  EXPECT_EQ(first.ExitCode(), 0);
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_EQ(bystander.ExitCode(0), -1);
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
    std::string command = Standin("product_service.exe", name + " \"" + log_ + "\" " + stop_delay_ms);
    SC_HANDLE s = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                 command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(s, nullptr) << name << " " << GetLastError();
    if (s) services_.push_back(s);
    if (s && start) {
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
  double seconds = 0;
  EXPECT_EQ(Act("TWGUMShutDownNT", &seconds), kOk);
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
  double seconds = 0;
  EXPECT_EQ(Act("TWGUMShutDownNT", &seconds), kOk);
  EXPECT_LT(seconds, 3.0);
  EXPECT_EQ(ReadFileText(log_), "");
}

TEST(VersionsProxy, StopVelProxySvc9XQuitsTheThreadAndClosesGrdapp) {
  constexpr char kProxyAppId[] = "AppID\\{C674021E-77F8-F507-B5A5-7313B41F9708}";
  std::string log = NewTempDir("proxy") + "\\log.txt";
  ProductWindows proxy(log, {"ProxyHelperWindow"});
  ProductWindows grdapp(log, {"GRDAPP"}, "--ignore-close");
  RegSetDword(HKEY_CLASSES_ROOT, kProxyAppId, "ThreadId", proxy.thread_id());
  EXPECT_EQ(Act("StopVelProxySvc9X"), kOk);
  EXPECT_EQ(proxy.ExitCode(), 7);   // its thread got WM_QUIT
  EXPECT_EQ(grdapp.ExitCode(), 0);  // ignored the close, so it was ended
  std::vector<std::string> lines = Lines(ReadFileText(log));
  std::sort(lines.begin(), lines.end());  // the two processes write in either order
  EXPECT_EQ(lines, (std::vector<std::string>{"GRDAPP close", "thread quit"}));
  RegDeleteTree(HKEY_CLASSES_ROOT, kProxyAppId);

  // Neither the value nor the window: nothing to do.
  double seconds = 0;
  EXPECT_EQ(Act("StopVelProxySvc9X", &seconds), kOk);
  EXPECT_LT(seconds, 3.0);
}

// Every window of a class is closed and its process ended before the action returns: the files those
// processes hold are replaced right after. Hung windows cost 25 s each before their processes are
// ended, so the hung case has two, in two processes: the first one's process must be gone before the
// search looks again, or its lingering window passes for a survivor and the second is never ended.
TEST(VersionsCloseWindows, EveryWindowIsClosedAndItsProcessEnded) {
  struct Case {
    std::vector<const char*> classes;  // one process each
    const char* options;
    std::vector<std::string> log;
  } cases[] = {
      {{"GrdLog", "GrdLog", "GrdLog", "CorrixStats"}, "",
       {"GrdLog close", "GrdLog close", "GrdLog close", "CorrixStats close"}},
      {{"GrdLog", "GrdLog"}, "--hang-ms 120000", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string log = NewTempDir("inuse") + "\\log.txt";
    std::vector<std::unique_ptr<ProductWindows>> windows;
    for (const char* class_name : c.classes) {
      windows.push_back(std::make_unique<ProductWindows>(log, std::vector<std::string>{class_name}, c.options));
    }
    EXPECT_EQ(Act("CheckForInUseFiles"), kOk);
    // Each owning process has ended by then, also when its window closed in time.
    for (const auto& w : windows) EXPECT_EQ(w->ExitCode(0), 0);
    EXPECT_EQ(FindWindowA("GrdLog", nullptr), nullptr);
    EXPECT_EQ(Lines(ReadFileText(log)), c.log);
  }
}

// Wine has ended a process and destroyed its windows by the time TerminateProcess returns, so under
// Wine the case above passes even when the loop cannot wait; on Windows termination is asynchronous,
// and the loop's wait needs a handle that can be waited on.
TEST(VersionsCloseWindows, OwningProcessIsOpenedSoThatItsEndCanBeAwaited) {
  Process owner(Standin("named_object.exe", "mutex TWGTestWindowOwner forever"));
  twg::ScopedHandle process(twg::OpenProcessToEnd(owner.process_id()));
  ASSERT_TRUE(process.valid());
  ASSERT_TRUE(TerminateProcess(process, 0));
  EXPECT_EQ(WaitForSingleObject(process, 1000), WAIT_OBJECT_0) << "error " << GetLastError();
}

// --- Earlier products: detection ------------------------------------------------------------------------

constexpr char kInstalledApps[] = "SOFTWARE\\Veltrane\\InstalledApps";
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kMetaInstaller[] = "Software\\Veltrane\\MetaInstaller";
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
const char* const kOldCodes[] = {"{76D87D87-551D-3CA9-9E23-DCBD8DEDB2FA}", "{D0A24975-E06F-B62D-A0CE-65317DAF0213}",
                                 "{7918CEFF-9028-3128-7AB4-580DCF81F618}"};

std::string UninstallKey(const std::string& name) {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
}

void ForgetOldProducts() {
  for (const char* code : kOldCodes) RegDeleteTree(HKEY_LOCAL_MACHINE, UninstallKey(code));
}

TEST(VersionsDetect, CheckForOldInstallNamesTheLastPresentProduct) {
  struct Case {
    std::vector<int> present;  // by table order; -1: the key without "UninstallString"
    std::string name, detected;
  } cases[] = {
      {{}, "", ""},
      {{0}, "Taskan Personal Firewall 2002", "TRUE"},
      {{0, 2}, "Veltrane Desktop Firewall 2.0", "TRUE"},
      {{1, 0}, "Taskan Personal Firewall 2.5", "TRUE"},
      {{-1}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.present.size() << " present, expecting " << c.name);
    ForgetOldProducts();
    for (int i : c.present) {
      RegSetString(HKEY_LOCAL_MACHINE, UninstallKey(kOldCodes[std::max(i, 0)]),
                   i < 0 ? "DisplayName" : "UninstallString", "x");
    }
    auto run = RunAction("MsiCheckForOldInstall", {}, {"PREVIOUSPRODUCTNAME", "OLDINSTALLDETECTED"});
    EXPECT_EQ(run.result, kOk);
    EXPECT_EQ(run.properties["PREVIOUSPRODUCTNAME"], c.name);
    EXPECT_EQ(run.properties["OLDINSTALLDETECTED"], c.detected);
  }
  ForgetOldProducts();
}

TEST(VersionsDetect, PrevVerCheckFindsPredecessorAndSameProduct) {
  std::string folder = NewTempDir("twg");
  auto forget = [&] {
    RegDeleteTree(HKEY_LOCAL_MACHINE, UninstallKey("@Corrix"));
    RegDeleteTree(HKEY_LOCAL_MACHINE, UninstallKey("Corrix"));
    RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard");
  };
  struct Case {
    const char* brand_key;  // null: none
    bool service_file, recorded;
    const char *prev, *same;
  } cases[] = {
      {nullptr, false, false, "", ""},
      {"@Corrix", false, false, "1", ""},
      {"Corrix", true, true, "1", "1"},
      {nullptr, false, true, "", ""},  // recorded, but the service program is gone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.brand_key ? c.brand_key : "-") << c.service_file << c.recorded);
    forget();
    DeleteFileA((folder + "\\TWGSERV.EXE").c_str());
    if (c.brand_key) RegSetString(HKEY_LOCAL_MACHINE, UninstallKey(c.brand_key), "", "");
    if (c.service_file) WriteFileText(folder + "\\TWGSERV.EXE", "x");
    if (c.recorded) RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", folder);
    auto run = RunAction("TWGPrevVerCheck", {}, {"TWGPrevVersion", "TWGSameVersion"});
    EXPECT_EQ(run.result, kOk);
    EXPECT_EQ(run.properties["TWGPrevVersion"], c.prev);
    EXPECT_EQ(run.properties["TWGSameVersion"], c.same);
  }
  forget();
}

// --- The single-setup guard ---------------------------------------------------------------------------

std::string OnlyInstance(const std::map<std::string, std::string>& properties) {
  return RunAction("TWGIsInstallRunning", properties, {"ONLYINSTANCE"}).properties["ONLYINSTANCE"];
}

TEST(VersionsSingleSetup, AnotherProcessHoldingTheMutex) {
  Process other_setup(Standin("named_object.exe", "mutex TWGTestSetupMutex forever"));
  ASSERT_TRUE(WaitUntil([] { return MutexExists("TWGTestSetupMutex"); }));
  struct Case {
    bool mutex_named;  // SINGLEINSTANCEMUTEXNAME names the held mutex
    std::map<std::string, std::string> properties;
    const char* only;
  } cases[] = {
      {true, {}, "No"},
      {true, {{"METAINSTALL", "0"}}, "No"},
      {true, {{"METAINSTALL", "1"}}, "Yes"},
      {true, {{"PREVIOUSPRODUCTNAME", "taskan personal FIREWALL 2002"}}, "Yes"},
      {true, {{"PREVIOUSPRODUCTNAME", "Taskan Personal Firewall 2.5"}}, "No"},
      {false, {}, "Yes"},
  };
  for (auto c : cases) {
    if (c.mutex_named) c.properties["SINGLEINSTANCEMUTEXNAME"] = "TWGTestSetupMutex";
    SCOPED_TRACE(testing::Message() << c.mutex_named << " " << c.properties.size());
    EXPECT_EQ(OnlyInstance(c.properties), c.only);
  }
}

// A second setup is a second installer process: this runner started again for the one test below, which
// writes what TWGIsInstallRunning answered into the file named by TWG_SECOND_SETUP_RESULT.
TEST(VersionsSingleSetup, SecondSetupProcess) {
  const char* result_file = std::getenv("TWG_SECOND_SETUP_RESULT");
  if (!result_file) GTEST_SKIP() << "only run as the second setup";
  WriteFileText(result_file, OnlyInstance({{"SINGLEINSTANCEMUTEXNAME", "TWGTestOwnMutex"}}));
}

std::string SecondSetupAnswer() {
  std::string result_file = NewTempDir("second") + "\\answer.txt";
  char runner[MAX_PATH];
  GetModuleFileNameA(nullptr, runner, MAX_PATH);
  SetEnvironmentVariableA("TWG_SECOND_SETUP_RESULT", result_file.c_str());
  RunProcess("\"" + std::string(runner) + "\" --gtest_filter=VersionsSingleSetup.SecondSetupProcess");
  SetEnvironmentVariableA("TWG_SECOND_SETUP_RESULT", nullptr);
  return ReadFileText(result_file);
}

// The mutex is created by the first setup's installer process and lives exactly as long as it does.
TEST(VersionsSingleSetup, FirstSetupHoldsTheMutexWhileItsProcessLives) {
  if (std::getenv("TWG_SECOND_SETUP_RESULT")) GTEST_SKIP();
  {
    Session first(
        Package().Action("TWGIsInstallRunning").Property("SINGLEINSTANCEMUTEXNAME", "TWGTestOwnMutex").Build());
    EXPECT_EQ(first.Do("TWGIsInstallRunning"), kOk);
    EXPECT_EQ(first.Property("ONLYINSTANCE"), "Yes");
    EXPECT_TRUE(MutexExists("TWGTestOwnMutex")) << "the first setup's mutex should stay after the action";
    EXPECT_EQ(SecondSetupAnswer(), "No");
  }
  // The first setup's custom-action process has ended with its session, and the mutex with it.
  EXPECT_TRUE(WaitUntil([] { return !MutexExists("TWGTestOwnMutex"); }));
  EXPECT_EQ(SecondSetupAnswer(), "Yes");
}

// --- The shared main program -----------------------------------------------------------------------

std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length)) {
    return "none";
  }
  std::ostringstream text;
  text << HIWORD(info->dwFileVersionMS) << '.' << LOWORD(info->dwFileVersionMS) << '.'
       << HIWORD(info->dwFileVersionLS) << '.' << LOWORD(info->dwFileVersionLS);
  return text.str();
}

std::string TMainBuild(std::string version) {
  std::replace(version.begin(), version.end(), '.', '_');
  return StandinPath("tmain_" + version + ".exe");
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern = "*") {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Every file of the folder with its version: "TMain.bak=4.9.9.99 TMain.exe=5.0.9.9".
std::string Contents(const std::string& folder) {
  std::string text;
  for (const auto& name : FilesIn(folder)) {
    text += (text.empty() ? "" : " ") + name + "=" + FileVersion(folder + "\\" + name);
  }
  return text;
}

// The patch's temporary copies are made in the temporary folder and must never be left there.
std::vector<std::string> TemporaryPatchFiles() { return FilesIn(TempPath(), "TWGT*"); }

// The package with the current shared program (5.2.3.9) added as the Binary row "TMain.exe" (a stream,
// which SQL cannot insert).
std::string PackageWithTMain(Package package) {
  std::string path = package.Build();
  MSIHANDLE db = 0, view = 0, record = MsiCreateRecord(2);
  EXPECT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_TRANSACT, &db), kOk);
  EXPECT_EQ(MsiDatabaseOpenViewA(db, "SELECT `Name`, `Data` FROM `Binary`", &view), kOk);
  MsiRecordSetStringA(record, 1, "TMain.exe");
  EXPECT_EQ(MsiRecordSetStreamA(record, 2, TMainBuild("5.2.3.9").c_str()), kOk);
  EXPECT_EQ(MsiViewModify(view, MSIMODIFY_INSERT, record), kOk);
  for (MSIHANDLE h : {record, view}) MsiCloseHandle(h);
  EXPECT_EQ(MsiDatabaseCommit(db), kOk);
  MsiCloseHandle(db);
  return path;
}

// A shared folder holding "TMain.exe" of the given version ("" for none), recorded in the registry.
std::string SharedFolderWith(const std::string& version) {
  std::string folder = NewTempDir("shared");
  if (!version.empty()) CopyFileA(TMainBuild(version).c_str(), (folder + "\\TMain.exe").c_str(), FALSE);
  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Veltrane Shared Directory", folder + "\\");
  return folder;
}

TEST(VersionsSharedProgram, VersionRuleDecidesReplacementAndKeepsTheBackup) {
  struct Case {
    std::string present;
    bool replaced;
  } cases[] = {{"5.1.0.7", false}, {"5.0.9.9", true}};
  std::string package = PackageWithTMain(Package().Action("MsiExtractAndPatchTMain"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.present);
    std::string folder = SharedFolderWith(c.present);
    Session session(package);
    EXPECT_EQ(session.Do("MsiExtractAndPatchTMain"), kOk);
    EXPECT_EQ(Contents(folder),
              c.replaced ? "TMain.bak=" + c.present + " TMain.exe=5.2.3.9" : "TMain.exe=" + c.present);
    EXPECT_EQ(TemporaryPatchFiles(), std::vector<std::string>{});
  }
}

TEST(VersionsSharedProgram, FailuresNeverLeaveTheFolderWithoutTheProgram) {
  std::string with_copy = PackageWithTMain(Package().Action("MsiExtractAndPatchTMain"));
  auto patch = [](const std::string& package) { return Session(package).Do("MsiExtractAndPatchTMain"); };
  RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Veltrane Shared Directory");
  EXPECT_EQ(patch(with_copy), kFailed) << "shared folder not recorded";

  std::string empty = SharedFolderWith("");
  EXPECT_EQ(patch(with_copy), kFailed) << "no program in the shared folder";
  EXPECT_EQ(Contents(empty), "");  // nothing is put there

  std::string with_backup = SharedFolderWith("5.0.9.9");
  CopyFileA(TMainBuild("4.9.9.99").c_str(), (with_backup + "\\TMain.bak").c_str(), FALSE);
  EXPECT_EQ(patch(with_copy), kFailed) << "a backup from before blocks the move";
  EXPECT_EQ(Contents(with_backup), "TMain.bak=4.9.9.99 TMain.exe=5.0.9.9");  // the old program stays

  std::string folder = SharedFolderWith("5.0.9.9");
  EXPECT_EQ(patch(Package().Action("MsiExtractAndPatchTMain").Build()), kFailed) << "the package carries no copy";
  EXPECT_EQ(Contents(folder), "TMain.exe=5.0.9.9");
  EXPECT_EQ(TemporaryPatchFiles(), std::vector<std::string>{});
}

TEST(VersionsSharedProgram, IntegratorIsClosedBeforeThePatch) {
  std::string log = NewTempDir("integrator") + "\\log.txt";
  ProductWindows integrator(log, {"VELIntegratorWnd"});
  SharedFolderWith("5.0.9.9");
  Session session(PackageWithTMain(Package().Action("MsiExtractAndPatchTMain")));
  EXPECT_EQ(session.Do("MsiExtractAndPatchTMain"), kOk);
  EXPECT_EQ(integrator.ExitCode(), 0);
  EXPECT_EQ(Lines(ReadFileText(log)), std::vector<std::string>{"VELIntegratorWnd close"});
}

// --- Removing an earlier product with its own uninstaller --------------------------------------------------

// Installs old_product_<n>.msi for real; its uninstall key is what the actions look for.
void InstallOldProduct(int n) {
  std::string package = StandinPath("old_product_" + std::to_string(n) + ".msi");
  ASSERT_EQ(RunProcess("msiexec /i \"" + package + "\" /qn"), 0) << package;
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, UninstallKey(kOldCodes[n - 1]), "UninstallString").exists);
}

bool OldProductInstalled(int n) {
  return RegGet(HKEY_LOCAL_MACHINE, "Software\\TWGTest\\OldProducts", std::to_string(n)).exists;
}

// The machine as the meta-installer leaves it: its key exists, this install's media are in C:\media\.
class VersionsOldProduct : public testing::Test {
 protected:
  void SetUp() override {
    RegSetString(HKEY_CURRENT_USER, kMetaInstaller, "Launcher", "meta");
    RegDeleteValue(HKEY_CURRENT_USER, kMetaInstaller, "ResumePrevious");
    RegDeleteValue(HKEY_LOCAL_MACHINE, kRunOnceKey, "LaunchVXFInstall");
    ForgetOldProducts();
  }
  void TearDown() override {
    for (int n = 1; n <= 3; ++n) {
      if (OldProductInstalled(n)) RunProcess(std::string("msiexec /x") + kOldCodes[n - 1] + " /qn");
    }
    RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard");
    RegDeleteValue(HKEY_LOCAL_MACHINE, kRunOnceKey, "LaunchVXFInstall");
  }
  static UINT RunUninstallOldVersion() {
    Session session(PackageWithTMain(Package().Action("MsiUninstallOldVersion").Property("SourceDir", "C:\\media\\")));
    return session.Do("MsiUninstallOldVersion");
  }
  static std::string LaunchCommand() { return RegGet(HKEY_LOCAL_MACHINE, kRunOnceKey, "LaunchVXFInstall").text(); }
  static RegValue ResumePrevious() { return RegGet(HKEY_CURRENT_USER, kMetaInstaller, "ResumePrevious"); }
};

TEST_F(VersionsOldProduct, NothingToRemove) {
  std::string folder = SharedFolderWith("5.0.9.9");
  EXPECT_EQ(RunUninstallOldVersion(), kOk);
  EXPECT_EQ(Contents(folder), "TMain.exe=5.0.9.9");  // not even patched
  EXPECT_FALSE(ResumePrevious().exists);
  EXPECT_EQ(LaunchCommand(), "");
}

TEST_F(VersionsOldProduct, RemovesTheLastPresentAndPutsTheProgramBack) {
  InstallOldProduct(1);
  InstallOldProduct(3);
  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", "C:\\TWG");
  std::string folder = SharedFolderWith("5.0.9.9");
  MessageBoxAnswerer no_box_expected({IDCANCEL});

  EXPECT_EQ(RunUninstallOldVersion(), kOk);
  EXPECT_FALSE(OldProductInstalled(3));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kOldCodes[2])));
  EXPECT_TRUE(OldProductInstalled(1));
  EXPECT_EQ(LaunchCommand(), "C:\\media\\setup.exe");
  // No restart follows: the resume mark is gone and the program the old product used is back.
  EXPECT_FALSE(ResumePrevious().exists);
  EXPECT_EQ(Contents(folder), "TMain.exe=5.0.9.9");
  EXPECT_TRUE(no_box_expected.boxes().empty());
}

// Product 2's removal takes this product's "InstalledApps" entry along: the user is asked to restart and
// Windows restarts. Under Wine a restart is handed to the system folder's "wineboot.exe"; the test puts
// the recording stand-in there (this test group's prefix is a copy of its own), so the restart is seen
// without ending the test run.
class RecordedRestart {
 public:
  RecordedRestart() {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    wineboot_ = std::string(system) + "\\wineboot.exe";
    saved_ = wineboot_ + ".twgsaved";
    calls_ = std::string(system) + "\\wineboot-calls.txt";
    DeleteFileA(calls_.c_str());
    EXPECT_TRUE(MoveFileA(wineboot_.c_str(), saved_.c_str()));
    EXPECT_TRUE(CopyFileA(StandinPath("wineboot.exe").c_str(), wineboot_.c_str(), FALSE));
    RegSetString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "wineboot.exe", "native");
  }
  ~RecordedRestart() {
    RegDeleteValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "wineboot.exe");
    DeleteFileA(wineboot_.c_str());
    MoveFileA(saved_.c_str(), wineboot_.c_str());
  }
  std::vector<std::string> Calls() const { return Lines(ReadFileText(calls_)); }

 private:
  std::string wineboot_, saved_, calls_;
};

TEST_F(VersionsOldProduct, RestartWhenTheRemovalTookThisProductsEntry) {
  struct Case {
    const char* version;
    DWORD shared_count;  // other products' references to the shared program (0: no value)
    const char* restart;
    const char* folder_after;  // the new program stays; its backup goes unless another product counts it
  } cases[] = {
      {"winxp", 0, "C:\\windows\\system32\\wineboot.exe --kill", "TMain.exe=5.2.3.9"},
      {"win98", 1, "C:\\windows\\system32\\wineboot.exe --end-session", "TMain.bak=5.0.9.9 TMain.exe=5.2.3.9"},
  };
  RecordedRestart restart;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    InstallOldProduct(2);
    ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard").exists);
    std::string folder = SharedFolderWith("5.0.9.9");
    RegDeleteTree(HKEY_LOCAL_MACHINE, kSharedDlls);
    if (c.shared_count) RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, folder + "\\TMain.exe", c.shared_count);
    size_t calls_before = restart.Calls().size();

    MessageBoxAnswerer answerer({IDOK}, "You must restart your system");
    {
      ScopedWindowsVersion version(c.version);
      EXPECT_EQ(RunUninstallOldVersion(), kOk);
    }
    EXPECT_FALSE(OldProductInstalled(2));
    auto boxes = answerer.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "You must restart your system for the configuration changes to take effect.\n"
              "Please save any unsaved data before continuing. Click OK to restart now.");
    // The restart is handed over without waiting for it.
    EXPECT_TRUE(WaitUntil([&] { return restart.Calls().size() > calls_before; }));
    std::vector<std::string> calls = restart.Calls();
    ASSERT_EQ(calls.size(), calls_before + 1);
    EXPECT_EQ(calls.back(), c.restart);
    // After the restart the install resumes: the mark stays and setup runs once from the media.
    EXPECT_EQ(ResumePrevious().type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ResumePrevious().data, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(LaunchCommand(), "C:\\media\\setup.exe");
    EXPECT_EQ(Contents(folder), c.folder_after);
    RegDeleteValue(HKEY_CURRENT_USER, kMetaInstaller, "ResumePrevious");
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, kSharedDlls);
}

}  // namespace
