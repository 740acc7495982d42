// The updater actions in real sessions under Wine, against stand-ins for the update program's objects,
// support library and programs, which record every call in one log (tests/standins/updater).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <shlobj.h>

#include "harness/harness.h"
#include "tests/standins/updater/updater_record.h"

using namespace harness;

namespace {

using Lines = std::vector<std::string>;
using Properties = std::map<std::string, std::string>;
const char kSharedUsage[] = "SOFTWARE\\Veltrane\\SharedUsage";
const char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";
const std::string kP = "{91DE5D1D-4D04-4AC4-29B6-2BDD9EB27A1A}", kU = "{7C65DFFE-3084-A138-C9CB-4F3339EDECF3}",
                  kS = "{144965D2-DBE7-0F80-EB34-31B0DCA349D9}", kO = "{AAE33358-359B-FDC3-C310-135914C78FF2}",
                  kV1 = "{520EB480-71F3-61BD-EEA8-845DF6E787B3}", kV2 = "{69245B43-608B-DD0B-8948-80909E93A5AE}";
const std::string kClassP = "|{94207615-EBCB-4430-8664-200FAD824E87}", kClassU = "|{AF96ACE3-B5F9-467B-A271-D540B6D24DC1}";
const std::string kTwg = "Taskan Web Guard", kVcf = "Veltrane Client Firewall";
const Lines kRules{"RuleUpdate", "SubSeven22RuleUpdate", "AdBlock1", "MultipleTrojanRuleUpdate", "ALEUpdate", "QaZRuleUpdate"};
const Lines kAuto{"AUTOSKYFETCH|YES", "AUTOSKYFETCHTYPE|SILENT"};

// What one registration asks: RegisterProduct, the sequence numbers, the properties, the class.
Lines Channel(const std::string& moniker, const std::string& name, const std::string& version,
              const std::string& description, const Lines& components, Lines further, const std::string& klass) {
  Lines out{"RegisterProduct " + name + "|" + version + "|English||" + moniker};
  for (const auto& c : components) out.push_back("SetSequenceNumberEx " + name + "|" + c + "|1.0|English|20011214");
  further.insert(further.begin(), "DescriptiveName|" + description);
  for (const auto& f : further) out.push_back("SetProperty " + moniker + "|" + f);
  out.push_back("RegisterProductClass " + moniker + klass);
  return out;
}
Lines Signature(const std::string& name) {
  Lines further = kAuto;
  further.push_back("SEQ.UPDATE|20030315");
  return Channel(kS, name, "1.0", "Veltrane Intrusion Detection Signatures", {}, further, kClassP + "|0x33");
}
Lines Removed(const std::string& moniker, const std::string& name, const std::string& version) {
  return {"DeleteProduct " + moniker, "OnrampCleanupEx " + name + "|" + version + "|English"};
}
Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Lines Without(const Lines& lines, const std::string& prefix) {
  Lines out;
  for (const auto& l : lines) {
    if (l.rfind(prefix, 0) != 0) out.push_back(l);
  }
  return out;
}

// A property set to "" is no property at all: the package leaves it out.
Package& With(Package& package, const Properties& properties) {
  for (const auto& p : properties) {
    if (!p.second.empty()) package.Property(p.first, p.second);
  }
  return package;
}
UINT Act(const std::string& action, const Properties& properties) {
  Package package;
  Session session(With(package.Action(action), properties).Build());
  return session.Do(action);
}
// Calls the export in this process, so that its own result (not MsiDoAction's 0 or 1603) is seen.
UINT CallExport(const std::string& action, const Properties& properties) {
  Package package;
  Session session(With(package, properties).Build());
  HMODULE dll = LoadLibraryA(DllPath().c_str());
  auto fn = reinterpret_cast<UINT(WINAPI*)(MSIHANDLE)>(GetProcAddress(dll, action.c_str()));
  UINT result = fn ? fn(session.handle()) : 999u;
  FreeLibrary(dll);
  return result;
}

// One machine with the update program and the product installed; Arrange() makes it afresh for each case.
class Updater : public testing::Test {
 protected:
  void SetUp() override { Arrange(); }
  void TearDown() override {
    for (const char* key : kKeys) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    RemoveObjects();
  }
  void Arrange() {
    HMODULE server = LoadLibraryA(StandinPath("updater_objects.dll").c_str());
    ASSERT_NE(server, nullptr);
    auto register_server = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(server, "DllRegisterServer"));
    ASSERT_EQ(register_server(), S_OK);
    FreeLibrary(server);
    for (const char* key : kKeys) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    log_ = NewTempDir("calls") + "\\calls.txt";
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "Log", log_);
    skyfetch_ = NewTempDir("skyfetch");
    Copy("V32UPDR1.DLL", skyfetch_);
    Copy("UDALL.EXE", skyfetch_);
    for (const char* value : {"Skyfetch", "Skyfetch1"}) RegSetString(HKEY_LOCAL_MACHINE, kSharedUsage, value, skyfetch_);
    product_ = NewTempDir("product");
    RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, kTwg, product_);
    DeleteFileA(InstallLog().c_str());
  }
  static void RemoveObjects() {
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_PRODUCT_REG_CLSID);
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_AUTO_UPDATE_CLSID);
  }
  static void Copy(const std::string& standin, const std::string& folder, const std::string& as = "") {
    ASSERT_TRUE(CopyFileA(StandinPath(standin).c_str(), (folder + "\\" + (as.empty() ? standin : as)).c_str(), FALSE));
  }
  static std::string InstallLog() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "TWGLog.txt";
  }
  // The calls recorded since the last look, without the support library's loads and frees (those stay
  // in raw_). For programs started without waiting, waits up to 10 s for at least wait_for lines.
  Lines Calls(size_t wait_for = 0) {
    for (int i = 0; i < 500 && Count(ReadFileText(log_)) < wait_for; ++i) Sleep(20);
    raw_.clear();
    std::istringstream in(ReadFileText(log_));
    for (std::string line; std::getline(in, line);) raw_.push_back(line);
    DeleteFileA(log_.c_str());
    return Without(raw_, "V32UPDR1 ");
  }
  static size_t Count(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

  static constexpr const char* kKeys[] = {TWG_UPDATER_KEY, kSharedUsage, kInstalledApps, "Software\\Veltrane\\GRD"};
  std::string log_, skyfetch_, product_;
  Lines raw_;
};

TEST_F(Updater, RegistrationsPerEditionAndComponent) {
  const Lines released{"ProductReg released"};
  const Lines program = Channel(kP, kTwg, "5.1.1", kTwg + " program updates", {}, {}, kClassP + "|0x3");
  const Lines url = Channel(kU, kTwg + " URL", "1.0", kTwg + " URL updates", {"CategoryUpdate", "IDSUpdate"}, {},
                            kClassU + "|0x33");
  const Lines signature = Signature("Taskan Web Gard IDS Signatures");
  const Lines other = Channel(kO, kTwg + " other", "1.0", kTwg + " security updates", kRules, kAuto, kClassP + "|0x33");
  const Lines consumer = Concat({program, url, signature, other, released});
  const Lines corporate =
      Concat({Channel(kP, kVcf, "5.1.1", kVcf + " program updates", {}, {}, kClassP + "|0x3"),
              Signature(kVcf + " IDS Signatures"),
              Channel(kO, kVcf + " other", "1.0", kVcf + " security updates", kRules, kAuto, kClassP + "|0x33"), released});
  struct Case {
    const char* data;
    bool url_component;
    const char *fail_register, *missing;
    Lines expected;
    const char* logged;
  } cases[] = {
      {"", true, "", "", consumer, ""},
      {"vxf", false, "", "", Concat({program, signature, other, released}), ""},
      {"VXF", true, "", "", corporate, ""},
      {"", true, kS.c_str(), "", Concat({program, url, {signature.front()}, other, released}), "ERROR_REGISTER_3 rules"},
      {"", true, "", "Skyfetch1", Without(consumer, "SetSequenceNumberEx"), ""},
      {"", true, "", "objects", {}, "ERROR_COCREATE Could CoCreate UDProduct Reg Object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "FailRegister", c.fail_register);
    RegDeleteValue(HKEY_LOCAL_MACHINE, kSharedUsage, c.missing);
    if (std::string(c.missing) == "objects") RemoveObjects();
    if (c.url_component) WriteFileText(product_ + "\\TWGFETP.DLL", "");
    EXPECT_EQ(Act("TWGInstallUD", {{"CustomActionData", c.data}}), 0u);
    EXPECT_EQ(Calls(), c.expected);
    const std::string log = ReadFileText(InstallLog());
    EXPECT_EQ(log.substr(log.find_last_of('\n') + 1), c.logged);
    if (*c.logged) EXPECT_EQ(log.rfind("LogTime is ", 0), 0u) << log;
    // The support library is loaded for each call and freed right after it.
    for (size_t i = 1; i + 1 < raw_.size(); ++i) {
      if (raw_[i].rfind("SetSequenceNumberEx", 0) != 0) continue;
      EXPECT_EQ(raw_[i - 1] + "," + raw_[i + 1], "V32UPDR1 loaded,V32UPDR1 freed");
    }
  }
}

// Channels are cleaned up only after the update program let them go; a refused deletion is reported
// only by the corporate action, through its result.
TEST_F(Updater, RemovalOrderAndCleanUpAfterDeletion) {
  const Lines released{"ProductReg released"};
  const std::string url_name = "OnrampCleanupEx " + kTwg + " URL|5.1.1|English";
  struct Case {
    const char* action;
    Properties properties;
    std::string fail_delete;
    UINT result;
    Lines expected;
  } cases[] = {
      {"TWGUninstallUD", {}, "", 0,
       Concat({Removed(kP, kTwg, "5.1.1"), Removed(kU, kTwg, "1.0"), Removed(kS, kTwg, "1.0"), Removed(kO, kTwg, "1.0"),
               released})},
      {"TWGUninstallUD", {{"INSTALL_VXF", "1"}}, kU, 0,
       Concat({Removed(kP, kVcf, "5.1.1"), {"DeleteProduct " + kU}, Removed(kS, kVcf, "1.0"), Removed(kO, kVcf, "1.0"),
               released})},
      {"TWGUnregisterRB", {{"CustomActionData", "VXF"}}, "", 0,
       Concat({Removed(kV1, kVcf, "2.0.6"), Removed(kV2, kVcf, "1.0"), released})},
      {"TWGUnregisterRB", {{"CustomActionData", "VXF"}}, kV1, 1,
       Concat({{"DeleteProduct " + kV1}, Removed(kV2, kVcf, "1.0"), released})},
      {"TWGRemoveSequence", {}, "", 0,
       {"OnrampCleanupEx " + kTwg + "|5.1.1|English", "OnrampCleanupEx " + kTwg + " other|5.1.1|English", url_name,
        "OnrampCleanupEx Taskan Web Gard IDS Signatures|5.1.1|English"}},
      {"TWGRemoveSequence", {{"INSTALL_VXF", "1"}}, "", 0,
       {"OnrampCleanupEx " + kVcf + "|5.1.1|English", "OnrampCleanupEx " + kVcf + " other|5.1.1|English", url_name,
        "OnrampCleanupEx " + kVcf + " IDS Signatures|5.1.1|English"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "FailDelete", c.fail_delete);
    EXPECT_EQ(CallExport(c.action, c.properties), c.result);
    EXPECT_EQ(Calls(), c.expected);
  }
  // The sequence data goes in one load of the library.
  EXPECT_EQ(raw_.front() + "," + raw_.back(), "V32UPDR1 loaded,V32UPDR1 freed");
}

// Whatever of the update program is missing skips only the step that needs it.
TEST_F(Updater, AbsentPartsSkipTheirStep) {
  struct Case {
    const char *action, *missing;
    UINT result;
    size_t calls;  // what the registration object was still asked
  } cases[] = {
      {"TWGUninstallUD", "objects", 0, 0},          {"TWGUnregisterRB", "objects", 32, 0},
      {"fnDisableUDAutoupdate", "objects", 0, 0},   {"TWGRemoveSequence", "folder values", 0, 0},
      {"TWGCheckForUpdate", "folder values", 0, 0}, {"TWGCheckForUpdate", "program", 0, 0},
      {"TWGRemoveSequence", "entry points", 0, 0},  {"TWGInstallUD", "entry points", 0, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    const std::string missing = c.missing;
    if (missing == "objects") RemoveObjects();
    if (missing == "folder values") RegDeleteTree(HKEY_LOCAL_MACHINE, kSharedUsage);
    if (missing == "program") DeleteFileA((skyfetch_ + "\\UDALL.EXE").c_str());
    if (missing == "entry points") Copy("updater_objects.dll", skyfetch_, "V32UPDR1.DLL");
    EXPECT_EQ(CallExport(c.action, {{"CustomActionData", "VXF"}}), c.result);
    const Lines calls = Calls();
    EXPECT_EQ(calls.size(), c.calls);
    EXPECT_EQ(Without(Without(calls, "OnrampCleanupEx"), "SetSequenceNumberEx"), calls);
  }
  // A thread already in the multithreaded apartment cannot take the installer's.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(CallExport("TWGUnregisterRB", {{"CustomActionData", "VXF"}}), 16u);
  CoUninitialize();
}

TEST_F(Updater, CheckUDInstalledDecisions) {
  struct Case {
    const char* run_skyfetch;
    bool program, feature;
    const char* ui_level;
    UINT result;
    size_t boxes;
  } cases[] = {
      {"", false, false, "5", 0, 0},     {"1", false, false, "5", 0, 0},    {"0", true, false, "5", 0, 0},
      {"0", false, true, "5", 0, 0},     {"0", false, false, "5", 1603, 1}, {"0", false, false, "4", 1603, 1},
      {"0", false, false, "3", 1603, 0}, {"x", false, false, "2", 1603, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    if (!c.program) DeleteFileA((skyfetch_ + "\\UDALL.EXE").c_str());
    Package package;
    With(package.Action("CheckUDInstalled"), {{"RunSkyfetch", c.run_skyfetch}})
        .Sql("CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL PRIMARY KEY `Feature`)")
        .Sql(std::string("INSERT INTO `Feature` (`Feature`) VALUES ('Skyfetch") + (c.feature ? "')" : "2')"));
    MessageBoxAnswerer answerer({IDOK}, "", "Skyfetch Error");
    Session session(package.Build());
    session.SetProperty("UILevel", c.ui_level);
    EXPECT_EQ(session.Do("CheckUDInstalled"), c.result);
    const auto boxes = answerer.Stop();
    ASSERT_EQ(boxes.size(), c.boxes);
    if (c.boxes) EXPECT_EQ(boxes[0].text.find("Skyfetch was not detected on this machine"), 0u);
  }
}

// The installer's thread answers messages while the update program runs, and the error mode is back
// to 0 on every way out.
TEST_F(Updater, UpdateCheckCommandLineAndWait) {
  const std::string monikers = "UDALL.EXE -m" + kP + " -m" + kO + " -m" + kU + " -m" + kS;
  for (const char* silent : {"", "SILENT"}) {
    EXPECT_EQ(Act("TWGCheckForUpdate", {{"SilentInstall", silent}}), 0u);
    EXPECT_EQ(Calls(), Lines{monikers + (*silent ? " -s" : "")}) << silent;
  }

  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "TWGUpdaterPing";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("TWGUpdaterPing", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "PingWindow", "TWGUpdaterPing");
  RegSetDword(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "RunMs", 2000);
  for (bool program : {true, false}) {
    if (!program) DeleteFileA((skyfetch_ + "\\UDALL.EXE").c_str());
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    // In this process the installer's interface level is "none": the check runs silently.
    EXPECT_EQ(CallExport("TWGCheckForUpdate", {}), 0u);
    EXPECT_EQ(SetErrorMode(0), 0u) << program;
    const Lines expected = program ? Lines{monikers + " -s", "UDALL.EXE ping answered"} : Lines{};
    EXPECT_EQ(Calls(), expected);
  }
  DestroyWindow(window);
}

TEST_F(Updater, AutoUpdateProgramEngineAndSettings) {
  const std::string autofetch = "C:\\Program Files\\Veltrane\\Skyfetch";
  SHCreateDirectoryExA(nullptr, autofetch.c_str(), nullptr);
  Copy("Autofetch.exe", autofetch);
  EXPECT_EQ(Act("SetupAutoSkyfetchHelp", {}), 0u);
  EXPECT_EQ(Calls(1), Lines{"Autofetch.exe -id in " + autofetch});
  DeleteFileA((autofetch + "\\Autofetch.exe").c_str());

  for (DWORD enabled : {1, 0}) {
    RegSetDword(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "AutoUpdateEnabled", enabled);
    EXPECT_EQ(Act("fnDisableUDAutoupdate", {}), 0u);
    const Lines all{"LoadSettings", "IsAutoUpdateEnabled", "DisableAutoUpdate", "AutoUpdate released"};
    EXPECT_EQ(Calls(), enabled ? all : Without(all, "Disable"));
  }

  // The engine is unloaded only where it is installed (GRDSERV.EXE) and its settings key exists.
  for (int step : {0, 1, 2}) {
    Arrange();
    Copy("GRDAPP.EXE", product_);
    if (step >= 1) WriteFileText(product_ + "\\GRDSERV.EXE", "");
    if (step >= 2) RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", product_);
    EXPECT_EQ(Act("FixQuarryUD", {}), 0u);
    if (step < 2) Sleep(1000);  // time enough for a program that should not have been started
    EXPECT_EQ(Calls(step < 2 ? 0 : 1), step < 2 ? Lines{} : Lines{"GRDAPP.EXE -Unload"}) << step;
    const RegValue confirmation = RegGet(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\GRDAPP", "No Exit Confirmation");
    EXPECT_EQ(confirmation.data, step < 2 ? "" : std::string("\1\0\0\0", 4)) << step;
  }
}

TEST_F(Updater, PropertiesForTheDeferredActions) {
  struct Case {
    const char *install_vxf, *managed, *data, *managed_keys;
  } cases[] = {{"1", "1", "VXF", "1"}, {"1", "0", "VXF", ""}, {"0", "1", "", ""}};
  for (const auto& c : cases) {
    auto run = RunAction("SetVXFProperties", {{"INSTALL_VXF", c.install_vxf}, {"VXF_MANAGED", c.managed}},
                         {"TWGInstallUD", "TWGCheckForUpdate", "TWGUnregisterRB", "SetVXFManagedKeys"});
    EXPECT_EQ(run.properties, (Properties{{"TWGInstallUD", c.data}, {"TWGCheckForUpdate", c.data},
                                          {"TWGUnregisterRB", c.data}, {"SetVXFManagedKeys", c.managed_keys}}));
  }
  EXPECT_EQ(RunAction("TWGFixupUD", {}, {"RUNSKYFETCHSTRING"}).properties["RUNSKYFETCHSTRING"],
            "\"C:\\Program Files\\Veltrane\\Skyfetch\\UDALL.EXE\"");

  // A real install: the deferred actions see what SetVXFProperties prepared as their CustomActionData.
  for (std::string install_vxf : {"1", ""}) {
    Arrange();
    Package package;
    // Each run its own product: a run leaves its product behind as installed.
    package.Action("SetVXFProperties").Property("ProductCode", "{6D0C3F4A-1B2E-4C5D-8E9F-0A1B2C3D4E5" + install_vxf + "}");
    package.Sql("CREATE TABLE `InstallExecuteSequence` (`Action` CHAR(72) NOT NULL, `Condition` CHAR(255), "
                "`Sequence` SHORT PRIMARY KEY `Action`)");
    int sequence = 100;
    for (std::string action : {"SetVXFProperties", "InstallInitialize", "TWGInstallUD", "TWGUnregisterRB", "InstallFinalize"}) {
      package.Sql("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('" + action + "', " +
                  std::to_string(sequence += 100) + ")");
      if (action.rfind("TWG", 0) == 0) {
        package.Sql("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('" + action +
                    "', 1025, 'TWGMsI', '" + action + "')");  // deferred
      }
    }
    EXPECT_EQ(RunProcess("msiexec /i \"" + package.Build() + "\" /qn INSTALL_VXF=" + install_vxf), 0);
    const Lines calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "RegisterProduct " + (install_vxf.empty() ? kTwg : kVcf) + "|5.1.1|English||" + kP);
    EXPECT_EQ(calls.size() - Without(calls, "DeleteProduct").size(), install_vxf.empty() ? 0u : 2u);
  }
}

}  // namespace
