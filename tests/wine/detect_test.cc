// Platform and component detection in real sessions under Wine: the platform actions under each of
// Wine's emulated Windows versions, everything else against arranged registry values, files and
// stand-ins (IEXPLORE.EXE builds, the CD start window, the product's state server).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"
#include "tests/standins/state_server/state_server.h"

using namespace harness;

namespace {

constexpr char kStale[] = "stale";  // a preset value: survives where an action leaves a property alone
constexpr char kProductOptions[] = "System\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kNtCurrentVersion[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";

// Runs one action in a fresh session with its property preset to kStale; returns the property after it.
std::string Detect(const char* action, const char* property, UINT expected_result = ERROR_SUCCESS) {
  ActionRun run = RunAction(action, {{property, kStale}}, {property});
  EXPECT_EQ(run.result, expected_result) << action;
  return run.properties[property];
}

// Remembers one string value and puts it back on exit, deleting the value when there was none.
class ScopedRegValue {
 public:
  ScopedRegValue(HKEY root, std::string key, std::string name)
      : root_(root), key_(std::move(key)), name_(std::move(name)), saved_(RegGet(root_, key_, name_)) {}
  ~ScopedRegValue() {
    if (!saved_.exists) {
      Delete();
    } else {
      RegSetString(root_, key_, name_, saved_.data.substr(0, saved_.data.size() - 1), saved_.type);
    }
  }
  void Set(const std::string& value, DWORD type = REG_SZ) { RegSetString(root_, key_, name_, value, type); }
  void Delete() { RegDeleteValue(root_, key_, name_); }

 private:
  HKEY root_;
  std::string key_, name_;
  RegValue saved_;
};

std::string MultiString(std::initializer_list<const char*> items) {
  std::string block;
  for (const char* item : items) block += std::string(item) + '\0';
  return block + '\0';
}

// --- Platform matrix -------------------------------------------------------------------------------

// Runs every platform action in one session; returns the given properties, preset to kStale.
std::map<std::string, std::string> RunPlatformActions(std::map<std::string, std::string> properties) {
  const char* const actions[] = {"IsWin2000Pro",           "Is950r6",          "fnIsW2KAdvancedServer",
                                 "CheckNTSPLevel",         "CheckForTerminalServer", "CheckMultUsersXP",
                                 "fnIsPC98Machine",        "CheckMidEast"};
  Package package;
  for (const char* action : actions) package.Action(action);
  for (const auto& p : properties) package.Property(p.first, kStale);
  Session session(package.Build());
  for (const char* action : actions) EXPECT_EQ(session.Do(action), static_cast<UINT>(ERROR_SUCCESS)) << action;
  for (auto& p : properties) p.second = session.Property(p.first);
  return properties;
}

// What each platform action publishes under each of Wine's emulated versions, on an otherwise plain
// prefix ("" is cleared, kStale untouched). Wine differs from the real systems in three ways, and the
// expectations show Wine's answer:
// - Wine answers the extended version query even for the Windows 95 family, with product type 0, so
//   IsWin2000Pro reports "SERVER" there; the real 9x systems refuse the query and end with the property
//   cleared (proven natively in DetectEdition.WithoutExtendedRecordOnlyNtServersAreNamed).
// - Wine's suite masks never hold the enterprise or terminal bits and its suite verification always
//   fails, so ADVANCEDSERVER and the NT 5 terminal-server answer stay unset (proven natively).
// - Wine lists no terminal sessions and its Middle-East metric is always 0: MultUsersXP and ISMIDEAST
//   are cleared everywhere (the counting and the Middle-East paths are proven natively).
TEST(DetectPlatform, MatrixOfEmulatedVersions) {
  struct Row {
    const char* version;
    const char* win2kver;
    const char* wingold;
  } rows[] = {{"win95", "SERVER", "1"},  // 4.0.950: first retail 95
              {"win98", "SERVER", ""}, {"winme", "SERVER", ""}, {"nt40", "PRO", ""},
              {"win2k", "PRO", ""},    {"winxp", "PRO", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.version);
    ScopedWindowsVersion version(row.version);
    const std::map<std::string, std::string> expected = {
        {"WIN2KVER", row.win2kver}, {"WINGOLD", row.wingold},   {"ADVANCEDSERVER", kStale},
        {"SP6aInstalled", ""},      {"TERMINALSERVICESINSTALLED", kStale}, {"MultUsersXP", ""},
        {"PC98MACHINE", kStale},    {"ISMIDEAST", ""},          {"TVSSRCFOLDER", kStale}};
    EXPECT_EQ(RunPlatformActions(expected), expected);
  }
}

// Without a version override Wine describes the system from the registry, product type included: a
// Windows 2000 server written there is a server to the action.
TEST(DetectPlatform, RegistryDescribedServer) {
  ScopedRegValue no_override(HKEY_CURRENT_USER, "Software\\Wine", "Version");
  ScopedRegValue current(HKEY_LOCAL_MACHINE, kNtCurrentVersion, "CurrentVersion");
  ScopedRegValue build(HKEY_LOCAL_MACHINE, kNtCurrentVersion, "CurrentBuildNumber");
  ScopedRegValue product_type(HKEY_LOCAL_MACHINE, kProductOptions, "ProductType");
  no_override.Delete();
  current.Set("5.0");
  build.Set("2195");
  for (const char* type : {"ServerNT", "LanmanNT", "WinNT"}) {
    SCOPED_TRACE(type);
    product_type.Set(type);
    EXPECT_EQ(Detect("IsWin2000Pro", "WIN2KVER"), std::string(type) == "WinNT" ? "PRO" : "SERVER");
  }
}

// --- Registry-driven platform facts -----------------------------------------------------------------

TEST(DetectRegistry, Sp6aHotfix) {
  const std::string key = std::string(kNtCurrentVersion) + "\\Hotfix\\Q246009";
  struct Case {
    int installed;  // -1: no key
    const char* expected;
  } cases[] = {{1, "1"}, {0, ""}, {2, ""}, {-1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installed);
    RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    if (c.installed >= 0) RegSetDword(HKEY_LOCAL_MACHINE, key, "Installed", static_cast<DWORD>(c.installed));
    EXPECT_EQ(Detect("CheckNTSPLevel", "SP6aInstalled"), c.expected);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, key);
}

// Terminal servers are recognised twice, by different rules: CheckForTerminalServer reads NT 4.0's
// ProductSuite list with exact case (NT 5 asks the suite verification, which Wine answers no); the
// cached answer reads the list ignoring case and takes NT 5.1 and later for one. The cached answer shows
// through the first-run probe, which looks for the integration's safety mutex under "Global\" exactly
// when the answer is yes; the test holds the mutex under that name only. Each session loads the library
// afresh, so each case computes the answer anew.
TEST(DetectRegistry, TerminalServerDirectAndCached) {
  HANDLE global_mutex = CreateMutexA(nullptr, TRUE, "Global\\FREInteg_Safety_Mutex");
  ASSERT_NE(global_mutex, nullptr);
  ASSERT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "FREInteg_Safety_Mutex"), nullptr)
      << "Wine must keep the global and the session namespace apart for this test";
  ScopedRegValue suite(HKEY_LOCAL_MACHINE, kProductOptions, "ProductSuite");
  struct Case {
    const char* version;
    std::string suites;  // empty: no value
    DWORD type;
    const char* direct;  // TERMINALSERVICESINSTALLED
    const char* cached;  // FIOActive
  } cases[] = {
      {"nt40", MultiString({"Terminal Server"}), REG_MULTI_SZ, "1", "1"},
      {"nt40", MultiString({"Enterprise", "Terminal Server"}), REG_MULTI_SZ, "1", "1"},
      {"nt40", MultiString({"terminal server"}), REG_MULTI_SZ, kStale, "1"},
      {"nt40", "Terminal Server", REG_SZ, kStale, "0"},
      {"nt40", MultiString({"Enterprise"}), REG_MULTI_SZ, kStale, "0"},
      {"nt40", "", REG_MULTI_SZ, kStale, "0"},
      {"win2k", MultiString({"Terminal Server"}), REG_MULTI_SZ, kStale, "0"},
      {"winxp", "", REG_MULTI_SZ, kStale, "1"},
      {"win98", MultiString({"Terminal Server"}), REG_MULTI_SZ, kStale, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " [" + c.suites + "]");
    ScopedWindowsVersion version(c.version);
    c.suites.empty() ? suite.Delete() : suite.Set(c.suites, c.type);
    EXPECT_EQ(Detect("CheckForTerminalServer", "TERMINALSERVICESINSTALLED"), c.direct);
    EXPECT_EQ(Detect("IsFIOActive", "FIOActive"), c.cached);
  }
  ReleaseMutex(global_mutex);
  CloseHandle(global_mutex);
}

TEST(DetectRegistry, Pc98HardwareIdentifier) {
  ScopedRegValue identifier(HKEY_LOCAL_MACHINE, "Hardware\\Description\\System", "Identifier");
  struct Case {
    const char* identifier;
    const char* expected;
  } cases[] = {{"NEC PC-98", "1"}, {"nec pc-98", "1"}, {"NEC PC-9801", kStale}, {"AT compatible", kStale}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.identifier);
    identifier.Set(c.identifier);
    EXPECT_EQ(Detect("fnIsPC98Machine", "PC98MACHINE"), c.expected);
  }
}

// --- The Korean CD start window ------------------------------------------------------------------------

TEST(DetectCdStart, ClosedUnderKoreanOnly) {
  const std::string window_class = "Welcome to Taskan Web Guard";
  struct Case {
    const char* language;  // null: the installer's own value
    const char* product;
    bool closed;
  } cases[] = {{"1042", "Taskan Web Guard", true},
               {"1033", "Taskan Web Guard", false},
               {nullptr, "Taskan Web Guard", false},
               {"1042", "Veltrane Client Firewall", false}};  // another product's window class
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.language ? c.language : "(installer)") + " " + c.product);
    PROCESS_INFORMATION pi{};
    STARTUPINFOA si{sizeof si};
    std::string command = "\"" + StandinPath("cdstart.exe") + "\" \"" + window_class + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    for (int i = 0; i < 200 && !FindWindowA(window_class.c_str(), nullptr); ++i) Sleep(25);
    ASSERT_NE(FindWindowA(window_class.c_str(), nullptr), nullptr);

    Session session(Package().Action("KillCDStart").Property("ProductName", c.product).Build());
    if (c.language) session.SetProperty("SystemLanguageID", c.language);
    EXPECT_EQ(session.Do("KillCDStart"), static_cast<UINT>(ERROR_SUCCESS));

    if (WaitForSingleObject(pi.hProcess, c.closed ? 5000 : 500) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 99);
    }
    WaitForSingleObject(pi.hProcess, 5000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    // WM_CLOSE: closed by the message, not killed; 99: still open when the test ended it.
    EXPECT_EQ(code, static_cast<DWORD>(c.closed ? WM_CLOSE : 99));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

// --- Internet Explorer -------------------------------------------------------------------------------

constexpr char kIeKey[] = "Software\\Microsoft\\Internet Explorer";
constexpr char kIeAppPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

// CheckIE4's findings, both preset to kStale, as "IE4INSTALLED/IEVersion".
std::string CheckIe4() {
  ActionRun run =
      RunAction("CheckIE4", {{"IE4INSTALLED", kStale}, {"IEVersion", kStale}}, {"IE4INSTALLED", "IEVersion"});
  EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
  return run.properties["IE4INSTALLED"] + "/" + run.properties["IEVersion"];
}

// The registry's value decides where there is one; without it the program file's product version does.
// The stand-ins are copied into a folder with a space, registered with quotes, so the path is unquoted
// and shortened on the way. Wine loads its own builtin program in place of any file named IEXPLORE.EXE,
// also when only the version resource is read; the override makes it read the file itself, as Windows
// does.
TEST(DetectInternetExplorer, RegistryThenProgramFileVersion) {
  ScopedRegValue native(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "iexplore.exe");
  ScopedRegValue version(HKEY_LOCAL_MACHINE, kIeKey, "Version");
  ScopedRegValue app_path(HKEY_LOCAL_MACHINE, kIeAppPath, "");
  native.Set("native");
  const char ie6[] = "iexplore6\\IEXPLORE.EXE";
  struct Case {
    const char* registry;  // the registry's version, or null
    const char* program;   // the stand-in App Paths names; "": a missing file, null: no App Paths value
    bool quoted;
    const char* expected;  // IE4INSTALLED/IEVersion
  } cases[] = {
      {"4.72.3110.8", ie6, true, "1/4"},
      {"4.72.3109.0", ie6, true, "/stale"},
      {"6.0.2800.1106", nullptr, true, "1/6"},
      {nullptr, ie6, true, "1/6"},
      {nullptr, ie6, false, "1/6"},
      {nullptr, "iexplore4\\IEXPLORE.EXE", true, "/stale"},  // "4, 72, 3110, 8": major 4 without a minor
      {nullptr, "", true, "/stale"},
      {nullptr, nullptr, true, "/stale"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.registry ? c.registry : "-") + " " + (c.program ? c.program : "-") +
                 (c.quoted ? " quoted" : ""));
    c.registry ? version.Set(c.registry) : version.Delete();
    app_path.Delete();
    if (c.program) {
      std::string program = NewTempDir("Internet Explorer") + "\\IEXPLORE.EXE";
      if (*c.program) ASSERT_TRUE(CopyFileA(StandinPath(c.program).c_str(), program.c_str(), FALSE));
      app_path.Set(c.quoted ? "\"" + program + "\"" : program);
    }
    EXPECT_EQ(CheckIe4(), c.expected);
  }
}

// --- TCP/IP and the utility suite --------------------------------------------------------------------

constexpr char kNtTcpipKey[] = "Software\\Microsoft\\tcpip\\CurrentVersion";
constexpr char k9xTcpipKey[] = "Enum\\Network\\MSTCP";

void DeleteTcpipKeys() {
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\tcpip");
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Enum\\Network");
}

// The NT key and the 9x key are each found only on their own platform family.
TEST(DetectComponents, TcpipKeyPerPlatform) {
  struct Case {
    const char* version;
    const char* present;  // the key that exists, or null
    const char* expected;
  } cases[] = {{"winxp", kNtTcpipKey, "1"},   {"winxp", k9xTcpipKey, kStale}, {"win98", k9xTcpipKey, "1"},
               {"win95", kNtTcpipKey, kStale}, {"winxp", nullptr, kStale}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + (c.present ? c.present : "none"));
    DeleteTcpipKeys();
    if (c.present) RegSetString(HKEY_LOCAL_MACHINE, c.present, "", "");
    ScopedWindowsVersion version(c.version);
    EXPECT_EQ(Detect("TWGDetectMsTCPIP", "TWGMsTCPInstalled"), c.expected);
  }
  DeleteTcpipKeys();
}

// A stack the installing user may not write to cannot be judged: the install fails. Everyone may only
// read the key; the handle kept from before that change opens it up again, or the key could not be
// deleted. Nothing between the two changes may end the test early.
TEST(DetectComponents, TcpipKeyWithoutWriteAccessFails) {
  DeleteTcpipKeys();
  RegSetString(HKEY_LOCAL_MACHINE, kNtTcpipKey, "Probe", "x");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNtTcpipKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
  auto set_dacl = [key](const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
  };
  set_dacl("D:(A;;KR;;;WD)");
  HKEY probe = nullptr;
  const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNtTcpipKey, 0, KEY_READ | KEY_WRITE, &probe);
  if (status == ERROR_SUCCESS) RegCloseKey(probe);
  EXPECT_EQ(status, ERROR_ACCESS_DENIED) << "the arrangement needs Wine to refuse write access";
  if (status == ERROR_ACCESS_DENIED) {
    EXPECT_EQ(Detect("TWGDetectMsTCPIP", "TWGMsTCPInstalled", ERROR_INSTALL_FAILURE), kStale);
  }
  set_dacl("D:(A;;KA;;;WD)");
  RegCloseKey(key);
  DeleteTcpipKeys();
}

TEST(DetectComponents, UtilitySuiteClass) {
  const std::string class_key = "Software\\Classes\\CLSID\\{F0B26536-B5A0-B2B5-C0EC-60985F162086}";
  struct Case {
    const char* value_key;  // where a default value is written: the class key, a subkey only, or none
    const char* expected;
  } cases[] = {{"", "1"}, {"\\InprocServer32", "1"}, {nullptr, kStale}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value_key ? "class key" + std::string(c.value_key) : "no key");
    RegDeleteTree(HKEY_LOCAL_MACHINE, class_key);
    if (c.value_key) RegSetString(HKEY_LOCAL_MACHINE, class_key + c.value_key, "", "Utility suite");
    EXPECT_EQ(Detect("TWGDetectTSK", "TWGTSKInstalled"), c.expected);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, class_key);
}

TEST(DetectComponents, SupportSetupPaths) {
  const std::vector<std::pair<std::string, std::string>> below_base = {
      {"UDPath", "\\Support\\UDFetch\\UDSETUP.EXE"},       {"RBPath", "\\Support\\RegBeacon\\RBSETUP.EXE"},
      {"DCOMPath", "\\Support\\DCOM95\\DCOM95.EXE"},       {"WintDistPath", "\\Support\\WintDist\\WintDist.EXE"},
      {"XMLRedist", "\\Support\\XMLRedist\\xmlredist.EXE"}, {"WScript55Path", "\\Support\\WScript\\scr55en.exe"},
      {"WScript552kPath", "\\Support\\WScript\\scripten.exe"}};
  Session session(Package().Action("SetSupportProperties").Build());
  session.SetProperty("SourceDir", "D:\\SETUP\\TWG\\");
  EXPECT_EQ(session.Do("SetSupportProperties"), static_cast<UINT>(ERROR_SUCCESS));
  for (const auto& p : below_base) EXPECT_EQ(session.Property(p.first), "D:\\SETUP" + p.second) << p.first;
  EXPECT_EQ(session.Property("ALERulesPath"), "D:\\SETUP\\TWG\\\\ALERules.exe");
}

// --- Internet-library redistributable ------------------------------------------------------------------

TEST(DetectWintdist, NeededOnlyWhenBothLibrariesAreMissing) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string shdocvw = std::string(system) + "\\shdocvw.dll";
  const std::string inloader = std::string(system) + "\\INLOADER.DLL";
  ASSERT_TRUE(FileExists(shdocvw));
  ASSERT_FALSE(FileExists(inloader));
  EXPECT_EQ(Detect("TWGNeedWintdist", "TWGInstallWintDist"), "");
  struct Hidden {  // puts shdocvw.dll back whatever happens
    std::string path;
    ~Hidden() { MoveFileA((path + ".twgtest").c_str(), path.c_str()); }
  };
  ASSERT_TRUE(MoveFileA(shdocvw.c_str(), (shdocvw + ".twgtest").c_str()));
  Hidden hidden{shdocvw};
  EXPECT_EQ(Detect("TWGNeedWintdist", "TWGInstallWintDist"), "1");
  WriteFileText(inloader, "x");
  EXPECT_EQ(Detect("TWGNeedWintdist", "TWGInstallWintDist"), "");
  DeleteFileA(inloader.c_str());
}

// Answers every message box of the given caption with No and keeps its text.
constexpr char kWintdistAtom[] = "WinInetInstalled_TWGMSI";

void DeleteWintdistAtom() {
  for (ATOM atom; (atom = GlobalFindAtomA(kWintdistAtom)) != 0;) GlobalDeleteAtom(atom);
}

// The restart itself is never exercised: every question is answered No.
TEST(DetectWintdist, RestartQuestionsAndTheAtom) {
  DeleteWintdistAtom();
  const std::string product = "Taskan Web Guard";
  MessageBoxAnswerer answerer({IDNO, IDNO}, "", product);
  auto run = [&](const char* install_wintdist) {
    Session session(Package().Action("PostWintdist").Property("ProductName", product).Build());
    if (*install_wintdist) session.SetProperty("TWGInstallWintDist", install_wintdist);
    EXPECT_EQ(session.Do("PostWintdist"), static_cast<UINT>(ERROR_SUCCESS));
    return session.Property("TWGInstallWintDist");
  };

  EXPECT_EQ(run(""), "");  // nothing installed: no question (the count below), no atom
  EXPECT_EQ(GlobalFindAtomA(kWintdistAtom), 0);
  EXPECT_EQ(run("1"), "1");
  EXPECT_NE(GlobalFindAtomA(kWintdistAtom), 0);
  EXPECT_EQ(run(""), "1");  // a second run before the restart knows from the atom
  auto boxes = answerer.Stop();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, product + " has updated your system.\n\nWould you like to restart your computer now?");
  EXPECT_EQ(boxes[1].text, product +
                          " has updated your system, however, a restart is still required.\n\n"
                          "Would you like to restart your computer now?");
  DeleteWintdistAtom();
}

// --- User type from the product's state server -------------------------------------------------------

TEST(DetectUserType, AskedFromTheStateServer) {
  ASSERT_EQ(RunProcess("regsvr32 /s \"" + StandinPath("state_server.dll") + "\""), 0);
  const std::string found = "create\nopen -2\nscope\nfind user type 0\n";  // the calls up to the option
  const std::string long_text = "0123456789012345678901234567890123456789012345678901234567890123456789";
  struct Case {
    const char* what;
    const char* value;  // null: the server has no such option
    std::string expected, calls;
  } cases[] = {
      {"home user", "Home", "Home", found + "get user type\n"},
      {"long text cut to 63", long_text.c_str(), long_text.substr(0, 63), found + "get user type\n"},
      {"no option", nullptr, "", found},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
    RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled", "enabled");
    if (c.value) RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "user type", c.value);
    EXPECT_EQ(Detect("TWGDetectUserType", "TWGUserType"), c.expected);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(), c.calls);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
}

// Without the product installed the class is not registered: the user type is cleared, not an error.
TEST(DetectUserType, NoServerClearsTheProperty) {
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
  EXPECT_EQ(Detect("TWGDetectUserType", "TWGUserType"), "");
}

}  // namespace
