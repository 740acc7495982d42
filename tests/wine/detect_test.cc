// Platform and component detection in real sessions under Wine: the platform actions under each of
// Wine's emulated Windows versions, everything else against arranged registry values, files and
// stand-ins (IEXPLORE.EXE builds, the CD start window, the product's state server).
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
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

// Remembers one registry value (setting it when a value is given) and puts the previous state back on
// exit, deleting the value when there was none.
class ScopedRegValue {
 public:
  ScopedRegValue(HKEY root, std::string key, std::string name)
      : root_(root), key_(std::move(key)), name_(std::move(name)), saved_(RegGet(root_, key_, name_)) {}
  ScopedRegValue(HKEY root, std::string key, std::string name, const std::string& value, DWORD type = REG_SZ)
      : ScopedRegValue(root, std::move(key), std::move(name)) {
    Set(value, type);
  }
  ~ScopedRegValue() {
    if (!saved_.exists) {
      RegDeleteValue(root_, key_, name_);
    } else if (saved_.type == REG_DWORD) {
      DWORD value = 0;
      memcpy(&value, saved_.data.data(), sizeof value);
      RegSetDword(root_, key_, name_, value);
    } else if (!saved_.data.empty() && saved_.data.back() == '\0') {
      RegSetString(root_, key_, name_, saved_.data.substr(0, saved_.data.size() - 1), saved_.type);
    } else {
      RegSetBinary(root_, key_, name_, saved_.data);
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

const char* const kPlatformActions[] = {"IsWin2000Pro",   "Is950r6",         "fnIsW2KAdvancedServer",
                                        "CheckNTSPLevel", "CheckForTerminalServer", "CheckMultUsersXP",
                                        "fnIsPC98Machine", "CheckMidEast"};
const char* const kPlatformProperties[] = {"WIN2KVER",    "WINGOLD",      "ADVANCEDSERVER",
                                           "SP6aInstalled", "TERMINALSERVICESINSTALLED", "MultUsersXP",
                                           "PC98MACHINE", "ISMIDEAST",    "TVSSRCFOLDER"};

// Runs every platform action in one session of a package that presets each property to kStale.
std::map<std::string, std::string> RunPlatformActions() {
  Package package;
  for (const char* action : kPlatformActions) package.Action(action);
  for (const char* property : kPlatformProperties) package.Property(property, kStale);
  Session session(package.Build());
  std::map<std::string, std::string> found;
  for (const char* action : kPlatformActions) {
    EXPECT_EQ(session.Do(action), static_cast<UINT>(ERROR_SUCCESS)) << action;
  }
  for (const char* property : kPlatformProperties) found[property] = session.Property(property);
  return found;
}

// What each platform action publishes under each of Wine's emulated versions, on an otherwise plain
// prefix ("" is cleared, kStale untouched). Wine differs from the real systems in three ways, and the
// table shows Wine's answer:
// - Wine answers the extended version query even for the Windows 95 family, with product type 0, so
//   IsWin2000Pro reports "SERVER" there; the real 9x systems refuse the query and end with the property
//   cleared (proven natively in DetectEdition.WithoutExtendedRecordOnlyNtServersAreNamed).
// - Wine's suite masks never hold the enterprise or terminal bits and its suite verification always
//   fails, so ADVANCEDSERVER and the NT 5 terminal-server answer stay unset (proven natively).
// - Wine lists no terminal sessions and its Middle-East metric is always 0: MultUsersXP and ISMIDEAST
//   are cleared everywhere (the counting and the Middle-East paths are proven natively).
TEST(DetectPlatform, MatrixOfEmulatedVersions) {
  constexpr const char* S = kStale;
  constexpr size_t kColumns = sizeof kPlatformProperties / sizeof kPlatformProperties[0];
  struct Row {
    const char* version;
    const char* expected[kColumns];  // in the order of kPlatformProperties
  } rows[] = {
      //          WIN2KVER  WINGOLD ADVSRV SP6a TSI MULTI PC98 MIDEAST TVSSRC
      {"win95", {"SERVER", "1",    S,     "",  S,  "",   S,   "",     S}},  // 4.0.950: first retail 95
      {"win98", {"SERVER", "",     S,     "",  S,  "",   S,   "",     S}},
      {"winme", {"SERVER", "",     S,     "",  S,  "",   S,   "",     S}},
      {"nt40",  {"PRO",    "",     S,     "",  S,  "",   S,   "",     S}},
      {"win2k", {"PRO",    "",     S,     "",  S,  "",   S,   "",     S}},
      {"winxp", {"PRO",    "",     S,     "",  S,  "",   S,   "",     S}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.version);
    ScopedWindowsVersion version(row.version);
    std::map<std::string, std::string> found = RunPlatformActions();
    for (size_t i = 0; i < kColumns; ++i) {
      EXPECT_EQ(found[kPlatformProperties[i]], row.expected[i]) << kPlatformProperties[i];
    }
  }
}

// Without a version override Wine describes the system from the registry, product type included: a
// Windows 2000 server written there is a server to the action.
TEST(DetectPlatform, RegistryDescribedServer) {
  ScopedRegValue no_override(HKEY_CURRENT_USER, "Software\\Wine", "Version");
  no_override.Delete();
  ScopedRegValue current(HKEY_LOCAL_MACHINE, kNtCurrentVersion, "CurrentVersion", "5.0");
  ScopedRegValue build(HKEY_LOCAL_MACHINE, kNtCurrentVersion, "CurrentBuildNumber", "2195");
  for (const char* type : {"ServerNT", "LanmanNT", "WinNT"}) {
    SCOPED_TRACE(type);
    ScopedRegValue product_type(HKEY_LOCAL_MACHINE, kProductOptions, "ProductType", type);
    ActionRun run = RunAction("IsWin2000Pro", {{"WIN2KVER", kStale}}, {"WIN2KVER"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["WIN2KVER"], std::string(type) == "WinNT" ? "PRO" : "SERVER");
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
    ActionRun run = RunAction("CheckNTSPLevel", {{"SP6aInstalled", kStale}}, {"SP6aInstalled"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["SP6aInstalled"], c.expected);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, key);
}

// NT 4.0 Terminal Server Edition is known by its ProductSuite list, compared with exact case; on NT 5
// the list is not consulted (Wine's suite verification answers no) and on 9x nothing is.
TEST(DetectRegistry, TerminalServerSuiteList) {
  struct Case {
    const char* version;
    std::string suites;
    DWORD type;
    const char* expected;
  } cases[] = {
      {"nt40", MultiString({"Terminal Server"}), REG_MULTI_SZ, "1"},
      {"nt40", MultiString({"Enterprise", "Terminal Server"}), REG_MULTI_SZ, "1"},
      {"nt40", MultiString({"terminal server"}), REG_MULTI_SZ, kStale},
      {"nt40", MultiString({"Enterprise", "", "Terminal Server"}), REG_MULTI_SZ, kStale},  // after the end
      {"nt40", "Terminal Server", REG_SZ, kStale},
      {"win2k", MultiString({"Terminal Server"}), REG_MULTI_SZ, kStale},
      {"win98", MultiString({"Terminal Server"}), REG_MULTI_SZ, kStale},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " [" + c.suites + "]");
    ScopedWindowsVersion version(c.version);
    ScopedRegValue suite(HKEY_LOCAL_MACHINE, kProductOptions, "ProductSuite", c.suites, c.type);
    ActionRun run = RunAction("CheckForTerminalServer", {{"TERMINALSERVICESINSTALLED", kStale}},
                              {"TERMINALSERVICESINSTALLED"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["TERMINALSERVICESINSTALLED"], c.expected);
  }
}

TEST(DetectRegistry, Pc98HardwareIdentifier) {
  ScopedRegValue identifier(HKEY_LOCAL_MACHINE, "Hardware\\Description\\System", "Identifier");
  struct Case {
    const char* identifier;
    const char* expected;
  } cases[] = {{"NEC PC-98", "1"}, {"nec pc-98", "1"}, {"NEC PC-9801", kStale}, {"AT compatible", kStale},
               {"NEC PC-9", kStale}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.identifier);
    identifier.Set(c.identifier);
    ActionRun run = RunAction("fnIsPC98Machine", {{"PC98MACHINE", kStale}}, {"PC98MACHINE"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["PC98MACHINE"], c.expected);
  }
}

// The cached terminal-server answer has rules of its own; it is seen through the first-run probe, which
// looks for the integration's safety mutex under "Global\" exactly when the answer is yes. The test
// holds the mutex under the global name only, so FIOActive shows the answer: "1" yes, "0" no. Each
// session loads the library afresh, so each case computes the answer anew.
TEST(DetectRegistry, CachedTerminalServerAnswer) {
  HANDLE global_mutex = CreateMutexA(nullptr, TRUE, "Global\\FREInteg_Safety_Mutex");
  ASSERT_NE(global_mutex, nullptr);
  HANDLE local = OpenMutexA(SYNCHRONIZE, FALSE, "FREInteg_Safety_Mutex");
  ASSERT_EQ(local, nullptr) << "Wine must keep the global and the session namespace apart for this test";
  struct Case {
    const char* version;
    std::string suites;  // empty: no value
    const char* active;
  } cases[] = {
      {"winxp", "", "1"},                                    // NT 5.1: yes without a test
      {"nt40", MultiString({"terminal server"}), "1"},       // ignoring case, unlike CheckForTerminalServer
      {"nt40", MultiString({"Enterprise"}), "0"},
      {"nt40", "", "0"},
      {"win2k", MultiString({"Terminal Server"}), "0"},      // Wine's suite verification answers no
      {"win98", MultiString({"Terminal Server"}), "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " [" + c.suites + "]");
    ScopedWindowsVersion version(c.version);
    ScopedRegValue suite(HKEY_LOCAL_MACHINE, kProductOptions, "ProductSuite");
    if (c.suites.empty()) {
      suite.Delete();
    } else {
      suite.Set(c.suites, REG_MULTI_SZ);
    }
    ActionRun run = RunAction("IsFIOActive", {}, {"FIOActive"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["FIOActive"], c.active);
  }
  ReleaseMutex(global_mutex);
  CloseHandle(global_mutex);
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
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string command = "\"" + StandinPath("cdstart.exe") + "\" \"" + window_class + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    for (int i = 0; i < 200 && !FindWindowA(window_class.c_str(), nullptr); ++i) Sleep(25);
    ASSERT_NE(FindWindowA(window_class.c_str(), nullptr), nullptr);

    Session session(Package().Action("KillCDStart").Property("ProductName", c.product).Build());
    if (c.language) session.SetProperty("SystemLanguageID", c.language);
    EXPECT_EQ(session.Do("KillCDStart"), static_cast<UINT>(ERROR_SUCCESS));

    const bool ended = WaitForSingleObject(pi.hProcess, c.closed ? 5000 : 500) == WAIT_OBJECT_0;
    EXPECT_EQ(ended, c.closed);
    DWORD code = 0;
    if (ended) {
      GetExitCodeProcess(pi.hProcess, &code);
      EXPECT_EQ(code, static_cast<DWORD>(WM_CLOSE));  // closed by the message, not killed
    } else {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

// --- Internet Explorer -------------------------------------------------------------------------------

constexpr char kIeKey[] = "Software\\Microsoft\\Internet Explorer";
constexpr char kIeAppPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

ActionRun RunCheckIe4() {
  return RunAction("CheckIE4", {{"IE4INSTALLED", kStale}, {"IEVersion", kStale}}, {"IE4INSTALLED", "IEVersion"});
}

TEST(DetectInternetExplorer, RegistryVersion) {
  ScopedRegValue version(HKEY_LOCAL_MACHINE, kIeKey, "Version");
  struct Case {
    const char* version;
    const char* installed;
    const char* ie_version;
  } cases[] = {{"4.72.3110.8", "1", "4"}, {"4.72.3109.0", "", kStale}, {"6.0.2800.1106", "1", "6"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    version.Set(c.version);
    ActionRun run = RunCheckIe4();
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["IE4INSTALLED"], c.installed);
    EXPECT_EQ(run.properties["IEVersion"], c.ie_version);
  }
}

// Without the registry value the program file's product version decides. The stand-ins are copied into
// a folder with a space, registered with quotes, so the path is unquoted and shortened on the way.
// Wine loads its own builtin program in place of any file named IEXPLORE.EXE, also when only the
// version resource is read; the override makes it read the file itself, as Windows does.
TEST(DetectInternetExplorer, ProgramFileVersion) {
  ScopedRegValue native(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "iexplore.exe", "native");
  ScopedRegValue version(HKEY_LOCAL_MACHINE, kIeKey, "Version");
  version.Delete();
  ScopedRegValue app_path(HKEY_LOCAL_MACHINE, kIeAppPath, "");
  struct Case {
    const char* standin;  // null: App Paths names a missing file
    bool quoted;
    const char* installed;
    const char* ie_version;
  } cases[] = {
      {"iexplore6\\IEXPLORE.EXE", true, "1", "6"},
      {"iexplore6\\IEXPLORE.EXE", false, "1", "6"},
      {"iexplore4\\IEXPLORE.EXE", true, "", kStale},  // "4, 72, 3110, 8": major 4 without a minor
      {nullptr, true, "", kStale},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.standin ? c.standin : "(missing)") + (c.quoted ? " quoted" : ""));
    std::string folder = NewTempDir("Internet Explorer");
    std::string program = folder + "\\IEXPLORE.EXE";
    if (c.standin) ASSERT_TRUE(CopyFileA(StandinPath(c.standin).c_str(), program.c_str(), FALSE));
    app_path.Set(c.quoted ? "\"" + program + "\"" : program);
    ActionRun run = RunCheckIe4();
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["IE4INSTALLED"], c.installed);
    EXPECT_EQ(run.properties["IEVersion"], c.ie_version);
  }
  app_path.Delete();
  ActionRun none = RunCheckIe4();
  EXPECT_EQ(none.properties["IE4INSTALLED"], "");
}

// --- TCP/IP and the utility suite --------------------------------------------------------------------

// A key whose DACL lets Everyone only read, so that opening it for writing is refused with access
// denied. The handle kept from before the change puts an open DACL back at the end, or the key could not
// be deleted.
class ReadOnlyKey {
 public:
  explicit ReadOnlyKey(const std::string& key_name) {
    RegSetString(HKEY_LOCAL_MACHINE, key_name, "Probe", "x");
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, WRITE_DAC, &key_) != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot open " << key_name;
      return;
    }
    char acl_buffer[256];
    PACL acl = reinterpret_cast<PACL>(acl_buffer);
    InitializeAcl(acl, sizeof acl_buffer, ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone);
    SetDacl(acl);
    FreeSid(everyone);
  }
  ~ReadOnlyKey() {
    if (!key_) return;
    SetDacl(nullptr);  // no DACL: everyone may do everything
    RegCloseKey(key_);
  }

 private:
  void SetDacl(PACL acl) {
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  }
  HKEY key_ = nullptr;
};

// The NT key and the 9x key are each found only on their own platform family.
TEST(DetectComponents, TcpipKeyPerPlatform) {
  const std::string nt_key = "Software\\Microsoft\\tcpip\\CurrentVersion";
  const std::string nine_x_key = "Enum\\Network\\MSTCP";
  struct Case {
    const char* version;
    const char* present;  // the key that exists, or null
    const char* expected;
  } cases[] = {
      {"winxp", "nt", "1"}, {"winxp", "9x", kStale}, {"win98", "9x", "1"}, {"win95", "nt", kStale},
      {"winxp", nullptr, kStale},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + (c.present ? c.present : "none"));
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\tcpip");
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Enum\\Network");
    if (c.present) RegSetString(HKEY_LOCAL_MACHINE, std::string(c.present) == "nt" ? nt_key : nine_x_key, "", "");
    ScopedWindowsVersion version(c.version);
    ActionRun run = RunAction("TWGDetectMsTCPIP", {{"TWGMsTCPInstalled", kStale}}, {"TWGMsTCPInstalled"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["TWGMsTCPInstalled"], c.expected);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\tcpip");
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Enum\\Network");
}

// A stack the installing user may not write to cannot be judged: the install fails.
TEST(DetectComponents, TcpipKeyWithoutWriteAccessFails) {
  const std::string nt_key = "Software\\Microsoft\\tcpip\\CurrentVersion";
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\tcpip");
  {
    ReadOnlyKey read_only(nt_key);
    HKEY probe;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, nt_key.c_str(), 0, KEY_READ | KEY_WRITE, &probe);
    if (status == ERROR_SUCCESS) RegCloseKey(probe);
    ASSERT_EQ(status, ERROR_ACCESS_DENIED) << "the arrangement needs Wine to refuse write access";
    ActionRun run = RunAction("TWGDetectMsTCPIP", {{"TWGMsTCPInstalled", kStale}}, {"TWGMsTCPInstalled"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_INSTALL_FAILURE));
    EXPECT_EQ(run.properties["TWGMsTCPInstalled"], kStale);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\tcpip");
}

TEST(DetectComponents, UtilitySuiteClass) {
  const std::string class_key = "Software\\Classes\\CLSID\\{F0B26536-B5A0-B2B5-C0EC-60985F162086}";
  struct Case {
    const char* arrangement;
    const char* expected;
  } cases[] = {{"key with default", "1"}, {"empty key", "1"}, {"no key", kStale}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arrangement);
    RegDeleteTree(HKEY_LOCAL_MACHINE, class_key);
    if (std::string(c.arrangement) == "key with default") {
      RegSetString(HKEY_LOCAL_MACHINE, class_key, "", "Utility suite");
    } else if (std::string(c.arrangement) == "empty key") {
      RegSetString(HKEY_LOCAL_MACHINE, class_key + "\\InprocServer32", "", "x.dll");
    }
    ActionRun run = RunAction("TWGDetectTSK", {{"TWGTSKInstalled", kStale}}, {"TWGTSKInstalled"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["TWGTSKInstalled"], c.expected);
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

// Renames a file for the test's duration.
class HiddenFile {
 public:
  explicit HiddenFile(std::string path) : path_(std::move(path)), hidden_(path_ + ".twgtest") {
    moved_ = MoveFileA(path_.c_str(), hidden_.c_str()) != FALSE;
  }
  ~HiddenFile() {
    if (moved_) MoveFileA(hidden_.c_str(), path_.c_str());
  }
  bool moved() const { return moved_; }

 private:
  std::string path_, hidden_;
  bool moved_ = false;
};

TEST(DetectWintdist, NeededOnlyWhenBothLibrariesAreMissing) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string shdocvw = std::string(system) + "\\shdocvw.dll";
  const std::string inloader = std::string(system) + "\\INLOADER.DLL";
  ASSERT_TRUE(FileExists(shdocvw));
  ASSERT_FALSE(FileExists(inloader));
  auto need = [] {
    return RunAction("TWGNeedWintdist", {{"TWGInstallWintDist", kStale}}, {"TWGInstallWintDist"})
        .properties["TWGInstallWintDist"];
  };
  EXPECT_EQ(need(), "");
  HiddenFile hidden(shdocvw);
  ASSERT_TRUE(hidden.moved());
  EXPECT_EQ(need(), "1");
  WriteFileText(inloader, "x");
  EXPECT_EQ(need(), "");
  DeleteFileA(inloader.c_str());
}

// Answers every message box of the given caption with No and keeps its text.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::string caption) : caption_(std::move(caption)), thread_([this] { Run(); }) {}
  ~MessageBoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  static BOOL CALLBACK CollectText(HWND child, LPARAM context) {
    char class_name[32] = "", text[1024] = "";
    GetClassNameA(child, class_name, sizeof class_name);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(class_name, "Static") == 0 && text[0]) *reinterpret_cast<std::string*>(context) = text;
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      // The box is shown only once its dialog has set up its controls: before that its text may be
      // missing.
      HWND box = FindWindowA("#32770", caption_.c_str());
      std::string text;
      if (box && IsWindowVisible(box)) EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&text));
      if (!text.empty()) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(text);
        }
        SendMessageA(box, WM_COMMAND, IDNO, 0);
        for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
      }
      Sleep(20);
    }
  }
  std::string caption_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

constexpr char kWintdistAtom[] = "WinInetInstalled_TWGMSI";

void DeleteWintdistAtom() {
  for (ATOM atom; (atom = GlobalFindAtomA(kWintdistAtom)) != 0;) GlobalDeleteAtom(atom);
}

// The restart itself is never exercised: every question is answered No.
TEST(DetectWintdist, RestartQuestionsAndTheAtom) {
  DeleteWintdistAtom();
  const std::string product = "Taskan Web Guard";
  MessageBoxAnswerer answerer(product);
  auto run = [&](const char* install_wintdist) {
    Session session(Package().Action("PostWintdist").Property("ProductName", product).Build());
    if (*install_wintdist) session.SetProperty("TWGInstallWintDist", install_wintdist);
    EXPECT_EQ(session.Do("PostWintdist"), static_cast<UINT>(ERROR_SUCCESS));
    return session.Property("TWGInstallWintDist");
  };

  EXPECT_EQ(run(""), "");  // nothing installed: no question, no atom
  EXPECT_EQ(GlobalFindAtomA(kWintdistAtom), 0);
  EXPECT_TRUE(answerer.Texts().empty());

  EXPECT_EQ(run("1"), "1");
  EXPECT_NE(GlobalFindAtomA(kWintdistAtom), 0);
  EXPECT_EQ(run(""), "1");  // a second run before the restart knows from the atom
  std::vector<std::string> texts = answerer.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], product + " has updated your system.\n\nWould you like to restart your computer now?");
  EXPECT_EQ(texts[1], product +
                          " has updated your system, however, a restart is still required.\n\n"
                          "Would you like to restart your computer now?");
  DeleteWintdistAtom();
}

// --- User type from the product's state server -------------------------------------------------------

void RegisterStateServer() {
  HMODULE server = LoadLibraryA(StandinPath("state_server.dll").c_str());
  ASSERT_NE(server, nullptr);
  auto register_server = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(server, "DllRegisterServer"));
  ASSERT_NE(register_server, nullptr);
  ASSERT_EQ(register_server(), S_OK);
  FreeLibrary(server);
}

TEST(DetectUserType, AskedFromTheStateServer) {
  RegisterStateServer();
  struct Case {
    const char* what;
    const char* value;  // null: the server has no such option
    const char* expected;
    const char* calls;
  } cases[] = {
      {"home user", "Home", "Home",
       "create\nopen -2\nscope\nfind user type 0\nget user type\n"},
      {"long text cut to 63", "0123456789012345678901234567890123456789012345678901234567890123456789",
       "012345678901234567890123456789012345678901234567890123456789012",
       "create\nopen -2\nscope\nfind user type 0\nget user type\n"},
      {"no option", nullptr, "", "create\nopen -2\nscope\nfind user type 0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
    RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "product enabled", "enabled");
    if (c.value) RegSetString(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_OPTIONS_KEY, "user type", c.value);
    ActionRun run = RunAction("TWGDetectUserType", {{"TWGUserType", kStale}}, {"TWGUserType"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["TWGUserType"], c.expected);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "Calls").text(), c.calls);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY);
}

// Without the product installed the class is not registered: the user type is cleared, not an error.
TEST(DetectUserType, NoServerClearsTheProperty) {
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
  ActionRun run = RunAction("TWGDetectUserType", {{"TWGUserType", kStale}}, {"TWGUserType"});
  EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(run.properties["TWGUserType"], "");
}

}  // namespace
