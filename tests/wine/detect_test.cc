// Platform and component detection in real sessions under Wine, against arranged registry values, files
// and stand-ins (IEXPLORE.EXE, the CD start window, the product's state server). The prefix is a copy of
// its own, so arranged values are only cleared where a later case depends on it.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>

#include "harness/harness.h"
#include "tests/standins/state_server/state_server.h"

using namespace harness;

namespace {

constexpr char kStale[] = "stale";  // a preset value: survives where an action leaves a property alone

// Runs one action in a fresh session with its property preset to kStale; returns the property after it.
std::string Detect(const char* action, const char* property, UINT expected_result = ERROR_SUCCESS) {
  ActionRun run = RunAction(action, {{property, kStale}}, {property});
  EXPECT_EQ(run.result, expected_result) << action;
  return run.properties[property];
}

// Every platform action in one session, under the 9x versions where Wine's answers differ (the demo shows
// Wine's default, an NT workstation). Wine answers the
// extended version query even for the 9x family (product type 0, so "SERVER"; the real 9x refuse it),
// never sets the enterprise or terminal suite bits, lists no terminal sessions and has no Middle-East
// metric: those paths are unit-tested.
TEST(DetectPlatform, MatrixOfEmulatedVersions) {
  const char* const actions[] = {"IsWin2000Pro",   "Is950r6",          "fnIsW2KAdvancedServer", "CheckNTSPLevel",
                                 "CheckForTerminalServer", "CheckMultUsersXP", "fnIsPC98Machine", "CheckMidEast"};
  const char* const properties[] = {"WIN2KVER",    "WINGOLD",     "ADVANCEDSERVER", "SP6aInstalled", "MultUsersXP",
                                    "TERMINALSERVICESINSTALLED", "PC98MACHINE", "ISMIDEAST", "TVSSRCFOLDER"};
  const char* const rows[][2] = {{"win95", "SERVER|1|stale|||stale|stale||stale|"},
                                 {"win98", "SERVER||stale|||stale|stale||stale|"}};
  for (const auto& row : rows) {
    ScopedWindowsVersion version(row[0]);
    Package package;
    for (const char* action : actions) package.Action(action);
    for (const char* property : properties) package.Property(property, kStale);
    Session session(package.Build());
    std::string published;
    for (const char* action : actions) EXPECT_EQ(session.Do(action), static_cast<UINT>(ERROR_SUCCESS)) << action;
    for (const char* property : properties) published += session.Property(property) + "|";
    EXPECT_EQ(published, row[1]) << row[0];
  }
}

constexpr char kNtTcpipKey[] = "Software\\Microsoft\\tcpip\\CurrentVersion";

// Each row arranges one value (or none); the NT and the 9x stack's keys count on their own family only.
// NT 4.0's ProductSuite list is read with exact case by CheckForTerminalServer, ignoring case by the
// cached answer, which the first-run probe shows: it looks for the "Global\" mutex held here.
TEST(DetectRegistry, PresenceAndValueRules) {
  HANDLE global_mutex = CreateMutexA(nullptr, TRUE, "Global\\FREInteg_Safety_Mutex");
  const char* hotfix = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
  const char* suites = "System\\CurrentControlSet\\Control\\ProductOptions";
  const char* tsk = "Software\\Classes\\CLSID\\{F0B26536-B5A0-B2B5-C0EC-60985F162086}";
  const std::string exact("Terminal Server\0", 16), lower("terminal server\0", 16);
  struct Case {
    const char *version, *action, *property, *key, *name;
    std::string data;  // "-": no value
    const char* expected;
  } cases[] = {
      {"winxp", "CheckNTSPLevel", "SP6aInstalled", hotfix, "Installed", "1", "1"},
      {"winxp", "CheckNTSPLevel", "SP6aInstalled", hotfix, "Installed", "2", ""},
      {"winxp", "fnIsPC98Machine", "PC98MACHINE", "Hardware\\Description\\System", "Identifier", "nec pc-98", "1"},
      {"winxp", "TWGDetectTSK", "TWGTSKInstalled", tsk, "", "Utility suite", "1"},
      {"winxp", "TWGDetectTSK", "TWGTSKInstalled", tsk, "", "-", kStale},
      {"winxp", "TWGDetectMsTCPIP", "TWGMsTCPInstalled", kNtTcpipKey, "", "", "1"},
      {"winxp", "TWGDetectMsTCPIP", "TWGMsTCPInstalled", "Enum\\Network\\MSTCP", "", "", kStale},
      {"win98", "TWGDetectMsTCPIP", "TWGMsTCPInstalled", "Enum\\Network\\MSTCP", "", "", "1"},
      {"nt40", "CheckForTerminalServer", "TERMINALSERVICESINSTALLED", suites, "ProductSuite", exact, "1"},
      {"nt40", "CheckForTerminalServer", "TERMINALSERVICESINSTALLED", suites, "ProductSuite", lower, kStale},
      {"nt40", "IsFIOActive", "FIOActive", suites, "ProductSuite", lower, "1"},
  };
  for (const auto& c : cases) {
    for (const char* key : {"Software\\Microsoft\\tcpip", "Enum\\Network", hotfix, tsk}) {
      RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    }
    ScopedWindowsVersion version(c.version);
    if (c.key == hotfix) RegSetDword(HKEY_LOCAL_MACHINE, c.key, c.name, std::stoul(c.data));
    if (c.key == suites) RegSetString(HKEY_LOCAL_MACHINE, c.key, c.name, c.data, REG_MULTI_SZ);
    if (c.key != hotfix && c.key != suites && c.data != "-") {
      RegSetString(HKEY_LOCAL_MACHINE, c.key, c.name, c.data);
    }
    EXPECT_EQ(Detect(c.action, c.property), c.expected) << c.version << " " << c.key << " " << c.data;
  }
  CloseHandle(global_mutex);
}

// A stack the installing user may not write to cannot be judged: the install fails. The handle kept
// from before the change of rights opens the key up again.
TEST(DetectRegistry, TcpipKeyWithoutWriteAccessFails) {
  RegSetString(HKEY_LOCAL_MACHINE, kNtTcpipKey, "Probe", "x");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNtTcpipKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
  auto set_dacl = [key](const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
  };
  set_dacl("D:(A;;KR;;;WD)");  // everyone may read only
  EXPECT_EQ(Detect("TWGDetectMsTCPIP", "TWGMsTCPInstalled", ERROR_INSTALL_FAILURE), kStale);
  set_dacl("D:(A;;KA;;;WD)");
  RegCloseKey(key);
}

// The window is the product-window stand-in's, which records the WM_CLOSE it gets; the action sends it
// and waits, so the record is complete when the action returns.
TEST(DetectCdStart, ClosedUnderKoreanOnly) {
  const std::string window_class = "Welcome to Taskan Web Guard";
  for (const char* language : {"1042", ""}) {  // "": the installer's own value
    const std::string log = NewTempDir("cdstart") + "\\requests.txt";
    PROCESS_INFORMATION pi{};
    STARTUPINFOA si{sizeof si};
    std::string command =
        "\"" + StandinPath("product_windows.exe") + "\" \"" + log + "\" \"" + window_class + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    for (int i = 0; i < 200 && !FindWindowA(window_class.c_str(), nullptr); ++i) Sleep(25);
    Session session(Package().Action("KillCDStart").Property("ProductName", "Taskan Web Guard").Build());
    if (*language) session.SetProperty("SystemLanguageID", language);
    EXPECT_EQ(session.Do("KillCDStart"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileText(log), *language ? window_class + " close\n" : "") << language;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

// The demo shows the registry's version deciding. Without it the product version of the program file
// that App Paths names (quoted, in a folder with a space) does. Wine would load its builtin program in
// place of any IEXPLORE.EXE, even to read the version; the override makes it read the file itself.
TEST(DetectInternetExplorer, ProgramFileVersionWithoutRegistryValue) {
  RegSetString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "iexplore.exe", "native");
  RegDeleteValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version");
  for (bool present : {true, false}) {
    const std::string program = NewTempDir("Internet Explorer") + "\\IEXPLORE.EXE";
    if (present) ASSERT_TRUE(CopyFileA(StandinPath("iexplore\\IEXPLORE.EXE").c_str(), program.c_str(), FALSE));
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", "",
                 "\"" + program + "\"");
    ActionRun run =
        RunAction("CheckIE4", {{"IE4INSTALLED", kStale}, {"IEVersion", kStale}}, {"IE4INSTALLED", "IEVersion"});
    EXPECT_EQ(run.properties["IE4INSTALLED"] + "/" + run.properties["IEVersion"], present ? "1/6" : "/stale");
  }
}

// The redistributable is needed only when both internet libraries are missing (the demo shows a system
// with them). After it installed the user is asked to restart (No here) and again at a second run before
// the restart, which knows from the atom.
TEST(DetectWintdist, NeededWhenBothLibrariesAreMissingThenRestart) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string shdocvw = std::string(system) + "\\shdocvw.dll";
  const std::string inloader = std::string(system) + "\\INLOADER.DLL";
  ASSERT_TRUE(MoveFileA(shdocvw.c_str(), (shdocvw + ".twgtest").c_str()));
  std::string needed = Detect("TWGNeedWintdist", "TWGInstallWintDist") + "|";
  WriteFileText(inloader, "x");
  needed += Detect("TWGNeedWintdist", "TWGInstallWintDist") + "|";
  DeleteFileA(inloader.c_str());
  MoveFileA((shdocvw + ".twgtest").c_str(), shdocvw.c_str());

  MessageBoxAnswerer answerer({IDNO, IDNO}, "", "Taskan Web Guard");
  for (const char* installed : {"", "1", ""}) {
    std::map<std::string, std::string> properties = {{"ProductName", "Taskan Web Guard"}};
    if (*installed) properties["TWGInstallWintDist"] = installed;
    needed += RunAction("PostWintdist", properties, {"TWGInstallWintDist"}).properties["TWGInstallWintDist"] + ";";
  }
  EXPECT_EQ(needed + std::to_string(answerer.Stop().size()) + " questions", "1||;1;1;2 questions");
}

// The state server records every call; without the product installed its class is not registered and
// the user type is cleared, not an error.
TEST(DetectUserType, AskedFromTheStateServer) {
  const std::string calls = "create\nopen -2\nscope\nfind user type 0\nget user type\n", long_text(70, 'u');
  const std::string cases[][3] = {
      {"Home", "Home", calls}, {long_text, long_text.substr(0, 63), calls}, {"Home", "", ""}};
  for (const auto& c : cases) {  // the option's value, TWGUserType, the calls
    if (!c[2].empty()) ASSERT_EQ(RunProcess("regsvr32 /s \"" + StandinPath("state_server.dll") + "\""), 0);
    if (c[2].empty()) RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
    RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
    RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "user type", c[0]);
    EXPECT_EQ(Detect("TWGDetectUserType", "TWGUserType"), c[1]);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(), c[2]);
  }
}

}  // namespace
