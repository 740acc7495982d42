// Stopping the running product and removing earlier versions, in real sessions under Wine, against
// stand-ins for the product's windows, services, named objects and state server and earlier packages.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "tests/standins/state_server/state_server.h"

// The close loop's process opener has no export of its own; the runner has the library linked in.
#include "frame/handles.h"
#include "versions/close_window.h"

using namespace harness;

namespace {

constexpr UINT kOk = ERROR_SUCCESS;
constexpr char kInstalledApps[] = "SOFTWARE\\Veltrane\\InstalledApps";

std::string TempFile(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return temp + name;
}

// Runs the action in a fresh session; *seconds gets how long that took.
UINT Act(const std::string& action, double* seconds = nullptr) {
  auto start = std::chrono::steady_clock::now();
  UINT result = RunAction(action, {}, {}).result;
  if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

std::string Standin(const std::string& program, const std::string& arguments) {
  return "\"" + StandinPath(program) + "\" " + arguments;
}

bool MutexExists(const char* name) {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
  if (mutex) CloseHandle(mutex);
  return mutex != nullptr;
}

// Polls for up to 10 s.
bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 500 && !condition(); ++i) Sleep(20);
  return condition();
}

// A stand-in process, ended (exit code 99) when the test is done with it.
struct Process {
  explicit Process(std::string command) {
    STARTUPINFOA si{sizeof(STARTUPINFOA)};
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  }
  ~Process() {
    if (ExitCode(0) == -1) TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  // The exit code once it has ended within the time given, otherwise -1 (still running).
  long ExitCode(DWORD wait_ms = 3000) const {
    DWORD code = 0;
    if (WaitForSingleObject(pi.hProcess, wait_ms) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<long>(code);
  }
  PROCESS_INFORMATION pi{};
};

// product_windows.exe with windows of the given classes ("class|title"), once the last of them is up.
struct ProductWindows : Process {
  ProductWindows(const std::string& log, std::vector<std::string> windows, const std::string& options = "")
      : Process(Standin("product_windows.exe", "\"" + log + "\" " + options + Quoted(windows))) {
    std::string last_class = windows.back().substr(0, windows.back().find('|'));
    EXPECT_TRUE(WaitUntil([&] { return FindWindowA(last_class.c_str(), nullptr) != nullptr; })) << last_class;
  }
  static std::string Quoted(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) text += " \"" + word + "\"";
    return text;
  }
};

// --- Stopping the running product ----------------------------------------------------------------------

// The engine's mutex is let go after 1.5 s and the service's stop event set after 2.5 s: the first run
// waits for them. Wine turns a page fault inside a custom action into success, so the state server's
// record of the calls shows the conversation went right (the watcher reads the value twice).
TEST(VersionsShutdown, EngineAndServiceAwaitedAndStateServerToldToUnload) {
  Process engine(Standin("named_object.exe", "mutex GRD_GRDAPP_MUTEX_NAME 1500"));
  Process service(Standin("named_object.exe", "event TWGSERV_Stop_Event 2500"));
  ASSERT_TRUE(WaitUntil([] { return MutexExists("GRD_GRDAPP_MUTEX_NAME"); }));
  const char* const unloaded = "create\ncollection\nfind product enabled 0\nadvise 1\nget product enabled\n"
                               "set product enabled=unloaded\nnotify 1\nget product enabled\nunadvise 1\n";
  for (const char* calls : {"", unloaded}) {
    if (*calls) {
      ASSERT_EQ(RunProcess("regsvr32 /s \"" + StandinPath("state_server.dll") + "\""), 0);
      RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled", "enabled");
    }
    double seconds = 0;
    EXPECT_EQ(Act("TWGShutdown", &seconds), kOk);
    EXPECT_TRUE(*calls ? seconds < 5.0 : seconds > 2.0 && seconds < 9.0) << seconds;
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(), calls);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled").text(),
              *calls ? "unloaded" : "");
  }
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
}

TEST(VersionsShutdown, WindowsOfThePlatformColumnAreAskedInOrder) {
  const std::string head = "CorrixStats stop\nHBMTrashClass stop\nGrdLog close\nVeltrane HBMApp Class stop\n",
                    tail = "Vel_DockedWnd_Parent_Class close\nCWebWindow_ClassOne quit\n";
  const std::map<std::string, std::string> cases = {
      {"winxp", head + tail}, {"win98", head + "vel hbm 3034\nTWGUMWindowClass quit\n" + tail}};
  for (const auto& c : cases) {
    ScopedWindowsVersion version(c.first);
    std::string log = NewTempDir("windows") + "\\log.txt";
    ProductWindows windows(log, {"CorrixStats", "HBMTrashClass", "GrdLog", "Veltrane HBMApp Class", "vel hbm",
                                 "TWGUMWindowClass|TWGUM", "Vel_DockedWnd_Parent_Class",
                                 "CWebWindow_ClassOne"});
    EXPECT_EQ(Act("TWGShutdown"), kOk);
    EXPECT_EQ(ReadFileText(log), c.second) << c.first;
  }
}

// The slow case: each send to a hung window waits 30 s. Only Retry sends again; a box ended without a
// button, as one that cannot be shown is, counts as Cancel, and the install log says why it stops.
TEST(VersionsShutdown, HungWindowIsSentAgainOnlyOnRetry) {
  ProductWindows windows(NewTempDir("hung") + "\\log.txt", {"GrdLog"}, "--hang-ms 120000");
  MessageBoxAnswerer answerer({IDRETRY, 0}, "Shutdown of a process has timed out.");
  double seconds = 0;
  EXPECT_EQ(Act("TWGShutdown", &seconds), static_cast<UINT>(ERROR_INSTALL_FAILURE));
  auto boxes = answerer.Stop();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_GT(boxes[1].seen_at - boxes[0].seen_at, 29.0);
  EXPECT_LT(seconds, 75.0);
  EXPECT_NE(ReadFileText(TempFile("TWGLog.txt")).find("\"GrdLog\""), std::string::npos);
}

TEST(VersionsServices, ShutDownNTStopsTheProxyBeforeTheUserManager) {
  std::string log = NewTempDir("services") + "\\log.txt";
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  std::vector<SC_HANDLE> services;
  for (std::string name : {"VelPxSvc", "TWGUM"}) {
    const char* stop_ms = name == "VelPxSvc" ? " 1200" : " 0";  // the proxy takes its time to stop
    std::string command = Standin("product_service.exe", name + " \"" + log + "\"" + stop_ms);
    services.push_back(CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                      command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(StartServiceA(services.back(), 0, nullptr)) << name;
  }
  const std::string running = "VelPxSvc running\nTWGUM running\n";
  ASSERT_TRUE(WaitUntil([&] { return ReadFileText(log) == running; }));
  EXPECT_EQ(Act("TWGUMShutDownNT"), kOk);
  EXPECT_EQ(ReadFileText(log), running + "VelPxSvc stop\nVelPxSvc stopped\nTWGUM stop\nTWGUM stopped\n");
  for (SC_HANDLE service : services) DeleteService(service);
}

// On the 9x family the user manager is every process whose program is named TWGUM.EXE, and the proxy
// a thread whose id is recorded, with its GRDAPP window.
TEST(VersionsNineX, UserManagerAndProxyAreEnded) {
  constexpr char kProxyAppId[] = "AppID\\{C674021E-77F8-F507-B5A5-7313B41F9708}";
  std::string twgum = NewTempDir("twgum") + "\\TWGUM.exe";
  ASSERT_TRUE(CopyFileA(StandinPath("named_object.exe").c_str(), twgum.c_str(), FALSE));
  const std::string user_manager = "\"" + twgum + "\" event TWGTestUm forever";
  Process first(user_manager), second(user_manager);
  Process bystander(Standin("named_object.exe", "event TWGTestUm forever"));
  std::string log = NewTempDir("proxy") + "\\log.txt";
  ProductWindows proxy(log, {"ProxyHelperWindow"}), grdapp(log, {"GRDAPP"});
  RegSetDword(HKEY_CLASSES_ROOT, kProxyAppId, "ThreadId", proxy.pi.dwThreadId);
  EXPECT_EQ(Act("TWGUMShutDown9X"), kOk);
  EXPECT_EQ(Act("StopVelProxySvc9X"), kOk);
  std::string exit_codes;
  const Process* processes[] = {&first, &second, &bystander, &proxy, &grdapp};
  for (const Process* p : processes) exit_codes += std::to_string(p->ExitCode()) + " ";
  EXPECT_EQ(exit_codes, "0 0 -1 7 0 ");  // ended: 0, still running: -1, the proxy's thread quit: 7
  EXPECT_EQ(ReadFileText(log), "GRDAPP close\n");
  RegDeleteTree(HKEY_CLASSES_ROOT, kProxyAppId);
}

// Every window of a class is closed and its process ended before the action returns: the files those
// processes hold are replaced right after. A hung window costs 25 s before its process is ended; made
// last, it is found first, and the windows found after it show that the search goes on.
TEST(VersionsCloseWindows, EveryWindowIsClosedAndItsProcessEnded) {
  std::string log = NewTempDir("inuse") + "\\log.txt";
  ProductWindows first(log, {"GrdLog"}), second(log, {"GrdLog"}), stats(log, {"CorrixStats"});
  ProductWindows hung(log, {"GrdLog"}, "--hang-ms 120000");
  EXPECT_EQ(Act("CheckForInUseFiles"), kOk);
  for (const Process* owner : {&first, &second, &stats, &hung}) EXPECT_EQ(owner->ExitCode(0), 0);
  EXPECT_EQ(ReadFileText(log), "GrdLog close\nGrdLog close\nCorrixStats close\n");
}

// Wine has destroyed the windows when TerminateProcess returns, so the case above passes even when the
// loop cannot wait; on Windows termination is asynchronous, and the wait needs a waitable handle.
TEST(VersionsCloseWindows, OwningProcessIsOpenedSoThatItsEndCanBeAwaited) {
  Process owner(Standin("named_object.exe", "mutex TWGTestWindowOwner forever"));
  twg::ScopedHandle process(twg::OpenProcessToEnd(owner.pi.dwProcessId));
  ASSERT_TRUE(TerminateProcess(process, 0));
  EXPECT_EQ(WaitForSingleObject(process, 1000), WAIT_OBJECT_0) << "error " << GetLastError();
}

// --- The single-setup guard ----------------------------------------------------------------------------

std::string OnlyInstance(std::map<std::string, std::string> properties) {
  return RunAction("TWGIsInstallRunning", properties, {"ONLYINSTANCE"}).properties["ONLYINSTANCE"];
}

// The mutex the first setup makes lives exactly as long as its installer process; while another process
// holds it, a second setup runs only when restarted on purpose.
TEST(VersionsSingleSetup, SecondSetupRunsOnlyWhenRestartedOnPurpose) {
  const std::pair<std::string, std::string> named{"SINGLEINSTANCEMUTEXNAME", "TWGTestSetupMutex"};
  {
    Session first(Package().Action("TWGIsInstallRunning").Property(named.first, named.second).Build());
    EXPECT_EQ(first.Do("TWGIsInstallRunning"), kOk);
    EXPECT_EQ(first.Property("ONLYINSTANCE"), "Yes");
    EXPECT_TRUE(MutexExists("TWGTestSetupMutex"));
  }
  EXPECT_TRUE(WaitUntil([] { return !MutexExists("TWGTestSetupMutex"); }));
  MutexHolder other_setup("TWGTestSetupMutex");
  const std::vector<std::pair<std::map<std::string, std::string>, const char*>> cases = {
      {{named}, "No"},
      {{named, {"METAINSTALL", "1"}}, "Yes"},
      {{named, {"PREVIOUSPRODUCTNAME", "taskan personal FIREWALL 2002"}}, "Yes"},
      {{}, "Yes"},
  };
  for (const auto& c : cases) EXPECT_EQ(OnlyInstance(c.first), c.second) << c.first.size();
}

// --- The shared main program and earlier products ------------------------------------------------------

std::string TMainBuild(const std::string& version) { return StandinPath("tmain_" + version + ".exe"); }

// The program and its backup in the folder, each by the stand-in build it is (" TMain.exe=5.2.3.9"); a
// patch's temporary copy left in the temporary folder (GetTempFileName keeps 3 letters) shows as " TWG*.tmp".
std::string Contents(const std::string& folder) {
  std::string text;
  for (std::string name : {"TMain.bak", "TMain.exe"}) {
    for (const char* version : {"5.0.9.9", "5.1.0.7", "5.2.3.9"}) {
      if (ReadFileText(folder + "\\" + name) == ReadFileText(TMainBuild(version))) {
        text += " " + name + "=" + version;
      }
    }
  }
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(TempFile("TWG*.tmp").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE && FindClose(find)) text += " TWG*.tmp";
  return text;
}

// The package with the current shared program (5.2.3.9) as the Binary stream "TMain.exe" (not by SQL).
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

// A shared folder, recorded in the registry, with "TMain.exe" and "TMain.bak" of the versions ("": none).
std::string SharedFolderWith(const std::string& program, const std::string& backup = "") {
  std::string folder = NewTempDir("shared");
  for (const auto& file : {std::make_pair(program, "\\TMain.exe"), std::make_pair(backup, "\\TMain.bak")}) {
    if (!file.first.empty()) CopyFileA(TMainBuild(file.first).c_str(), (folder + file.second).c_str(), FALSE);
  }
  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Veltrane Shared Directory", folder + "\\");
  return folder;
}

// An older program is replaced and kept as the backup; no failure leaves the folder without a program.
// The integrator, which holds the program open, is closed first.
TEST(VersionsSharedProgram, PatchReplacesOnlyAnOlderProgramAndLosesNothing) {
  const std::string with_copy = PackageWithTMain(Package().Action("MsiExtractAndPatchTMain"));
  const std::string without_copy = Package().Action("MsiExtractAndPatchTMain").Build();
  struct Case {
    const char *program, *backup;  // in the shared folder before ("": none)
    const std::string& package;
    const char* result;  // "<result><shared folder after>"
  } cases[] = {
      {"5.1.0.7", "", with_copy, "0 TMain.exe=5.1.0.7"},
      {"5.0.9.9", "", with_copy, "0 TMain.bak=5.0.9.9 TMain.exe=5.2.3.9"},
      {"", "", with_copy, "1603"},
      {"5.0.9.9", "5.1.0.7", with_copy, "1603 TMain.bak=5.1.0.7 TMain.exe=5.0.9.9"},
      {"5.0.9.9", "", without_copy, "1603 TMain.exe=5.0.9.9"},
  };
  for (const auto& c : cases) {
    std::string folder = SharedFolderWith(c.program, c.backup);
    std::string log = NewTempDir("integrator") + "\\log.txt";
    ProductWindows integrator(log, {"VELIntegratorWnd"});
    const std::string result = std::to_string(Session(c.package).Do("MsiExtractAndPatchTMain"));
    EXPECT_EQ(result + Contents(folder), c.result);
    EXPECT_EQ(ReadFileText(log), *c.program ? "VELIntegratorWnd close\n" : "") << c.result;
  }
}

// The detection and removal actions in the package's order. Only the last present earlier product is
// removed, and the program it used is put back. Product 2's removal takes this product's entry along:
// after a restart the install resumes from the media; the new program stays, its backup only while
// another product shares it. Wine hands a restart to the system folder's "wineboot.exe", where a
// stand-in records its command line in "TMain.log" beside itself (the group's prefix is its own).
TEST(VersionsOldProduct, FoundAndRemovedWithARestartWhenThisProductsEntryWentWithIt) {
  constexpr char kMetaInstaller[] = "Software\\Veltrane\\MetaInstaller";
  constexpr char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string wineboot = std::string(system) + "\\wineboot.exe";
  const std::string restarts = std::string(system) + "\\TMain.log";
  ASSERT_TRUE(MoveFileA(wineboot.c_str(), (wineboot + ".saved").c_str()));
  ASSERT_TRUE(CopyFileA(StandinPath("tmain_unreg.exe").c_str(), wineboot.c_str(), FALSE));
  RegSetString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "wineboot.exe", "native");
  RegSetString(HKEY_CURRENT_USER, kMetaInstaller, "Launcher", "meta");
  CreateDirectoryA("C:\\TWG", nullptr);
  WriteFileText("C:\\TWG\\TWGSERV.EXE", "x");
  Package removal;
  removal.Property("SourceDir", "C:\\media\\").Action("TWGPrevVerCheck").Action("MsiCheckForOldInstall");
  const std::string package = PackageWithTMain(removal.Action("MsiUninstallOldVersion"));
  struct Case {
    std::vector<int> install;            // old_product_<n>.msi, installed for real
    const char *predecessor, *recorded;  // the predecessor's uninstall key; this product's folder
    const char* version;
    DWORD shared_count;  // other products' references to the shared program (0: no value)
    // TWGPrev/SameVersion|PREVIOUSPRODUCTNAME|ResumePrevious|LaunchVXFInstall|shared folder|products left
    const char *left, *restart;
  } cases[] = {
      {{}, "", "C:\\windows", "winxp", 0, "||||| TMain.exe=5.0.9.9|", ""},  // a folder without TWGSERV.EXE
      {{1, 3}, "@Corrix", "C:\\TWG", "winxp", 0,
       "1|1|Veltrane Desktop Firewall 2.0||C:\\media\\setup.exe| TMain.exe=5.0.9.9| 1", ""},
      {{2}, "Corrix", "C:\\TWG", "winxp", 0,
       "1|1|Taskan Personal Firewall 2.5|1|C:\\media\\setup.exe| TMain.exe=5.2.3.9| 1", " --kill"},
      {{2}, "", "C:\\TWG", "win98", 1,
       "|1|Taskan Personal Firewall 2.5|1|C:\\media\\setup.exe| TMain.bak=5.0.9.9 TMain.exe=5.2.3.9| 1",
       " --end-session"},
  };
  for (const auto& c : cases) {
    DeleteFileA(restarts.c_str());
    for (int n : c.install) {
      const std::string msi = StandinPath("old_product_" + std::to_string(n) + ".msi");
      EXPECT_EQ(RunProcess("msiexec /i \"" + msi + "\" /qn"), 0) << msi;
    }
    for (const char* key : {"@Corrix", "Corrix"}) RegDeleteTree(HKEY_LOCAL_MACHINE, uninstall + key);
    if (*c.predecessor) RegSetString(HKEY_LOCAL_MACHINE, uninstall + c.predecessor, "", "");
    RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", c.recorded);
    std::string folder = SharedFolderWith("5.0.9.9");
    const std::string shared_dlls = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    if (c.shared_count) RegSetDword(HKEY_LOCAL_MACHINE, shared_dlls, folder + "\\TMain.exe", c.shared_count);
    MessageBoxAnswerer answerer({IDOK}, "You must restart your system");
    std::string left;
    {
      ScopedWindowsVersion version(c.version);
      Session session(package);
      for (const char* action : {"TWGPrevVerCheck", "MsiCheckForOldInstall", "MsiUninstallOldVersion"}) {
        EXPECT_EQ(session.Do(action), kOk) << action;
      }
      for (const char* found : {"TWGPrevVersion", "TWGSameVersion", "PREVIOUSPRODUCTNAME"}) {
        left += session.Property(found) + "|";
      }
    }
    RegValue resume = RegGet(HKEY_CURRENT_USER, kMetaInstaller, "ResumePrevious");
    left += (resume.exists ? std::to_string(resume.data[0]) : "") + "|";
    left += RegGet(HKEY_LOCAL_MACHINE, kRunOnce, "LaunchVXFInstall").text() + "|" + Contents(folder) + "|";
    for (std::string n : {"1", "2", "3"}) {
      if (RegGet(HKEY_LOCAL_MACHINE, "Software\\TWGTest\\OldProducts", n).exists) left += " " + n;
    }
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(answerer.boxes().size(), *c.restart ? 1u : 0u) << c.left;
    // The restart is handed over without waiting for it.
    const std::string restart = *c.restart ? wineboot + c.restart + "\n" : "";
    EXPECT_TRUE(WaitUntil([&] { return ReadFileText(restarts) == restart; })) << restart;
    RegDeleteValue(HKEY_CURRENT_USER, kMetaInstaller, "ResumePrevious");
    RegDeleteValue(HKEY_LOCAL_MACHINE, kRunOnce, "LaunchVXFInstall");
  }
  RegDeleteValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "wineboot.exe");
  DeleteFileA(wineboot.c_str());
  MoveFileA((wineboot + ".saved").c_str(), wineboot.c_str());
}

}  // namespace
