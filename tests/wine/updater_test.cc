// The updater actions in real sessions under Wine, against stand-ins for the update program's objects,
// support library and programs, which record every call in one log (tests/standins/updater).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
const char kSharedUsage[] = "SOFTWARE\\Veltrane\\SharedUsage";
const char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";
const char kP[] = "{91DE5D1D-4D04-4AC4-29B6-2BDD9EB27A1A}", kU[] = "{7C65DFFE-3084-A138-C9CB-4F3339EDECF3}",
           kS[] = "{144965D2-DBE7-0F80-EB34-31B0DCA349D9}", kO[] = "{AAE33358-359B-FDC3-C310-135914C78FF2}";
const char kClassP[] = "{94207615-EBCB-4430-8664-200FAD824E87}", kClassU[] = "{AF96ACE3-B5F9-467B-A271-D540B6D24DC1}";
const char kTwg[] = "Taskan Web Guard", kVcf[] = "Veltrane Client Firewall";
const char kSeq[] = "|1.0|English|20011214";

std::string Join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "|") + p;
  return out;
}

// What one registration asks: RegisterProduct, the sequence numbers, the properties, the class.
Lines Channel(const std::string& moniker, const std::string& name, const std::string& version,
              const std::string& description, const Lines& components, const Lines& further,
              const std::string& class_and_flags) {
  Lines out{"RegisterProduct " + Join({name, version, "English", "", moniker})};
  for (const auto& c : components) out.push_back("SetSequenceNumberEx " + name + "|" + c + kSeq);
  out.push_back("SetProperty " + Join({moniker, "DescriptiveName", description}));
  for (const auto& f : further) out.push_back("SetProperty " + moniker + "|" + f);
  out.push_back("RegisterProductClass " + moniker + "|" + class_and_flags);
  return out;
}
const Lines kRuleComponents{"RuleUpdate", "SubSeven22RuleUpdate", "AdBlock1", "MultipleTrojanRuleUpdate",
                            "ALEUpdate", "QaZRuleUpdate"};
const Lines kAuto{"AUTOSKYFETCH|YES", "AUTOSKYFETCHTYPE|SILENT"};
const Lines kAutoSeq{"AUTOSKYFETCH|YES", "AUTOSKYFETCHTYPE|SILENT", "SEQ.UPDATE|20030315"};

// A property set to "" is no property at all: the package leaves it out.
using Properties = std::map<std::string, std::string>;
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

Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// One machine with the update program and the product installed; Arrange() makes it afresh for each case.
class Updater : public testing::Test {
 protected:
  void SetUp() override { Arrange(); }
  void Arrange() {
    HMODULE server = LoadLibraryA(StandinPath("updater_objects.dll").c_str());
    ASSERT_NE(server, nullptr);
    auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(server, "DllRegisterServer"));
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(server);
    for (const char* key : kKeys) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    log_ = NewTempDir("calls") + "\\calls.txt";
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "Log", log_);
    skyfetch_ = NewTempDir("skyfetch");
    Copy("V32UPDR1.DLL", skyfetch_);
    Copy("UDALL.EXE", skyfetch_);
    RegSetString(HKEY_LOCAL_MACHINE, kSharedUsage, "Skyfetch", skyfetch_);
    RegSetString(HKEY_LOCAL_MACHINE, kSharedUsage, "Skyfetch1", skyfetch_);
    product_ = NewTempDir("product");
    RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, kTwg, product_);
    DeleteFileA(InstallLog().c_str());
  }
  void TearDown() override {
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_PRODUCT_REG_CLSID);
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_AUTO_UPDATE_CLSID);
    for (const char* key : kKeys) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
  }
  static constexpr const char* kKeys[] = {TWG_UPDATER_KEY, kSharedUsage, kInstalledApps, "Software\\Veltrane\\GRD"};
  static void Copy(const std::string& standin, const std::string& folder, const std::string& as = "") {
    ASSERT_TRUE(CopyFileA(StandinPath(standin).c_str(), (folder + "\\" + (as.empty() ? standin : as)).c_str(), FALSE));
  }
  static std::string InstallLog() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "TWGLog.txt";
  }
  // The calls recorded since the last look, without the support library's loads and frees (those stay
  // in raw_).
  Lines Calls() {
    raw_.clear();
    Lines lines;
    std::istringstream in(ReadFileText(log_));
    for (std::string line; std::getline(in, line);) {
      raw_.push_back(line);
      if (line.rfind("V32UPDR1 ", 0) != 0) lines.push_back(line);
    }
    DeleteFileA(log_.c_str());
    return lines;
  }
  // For programs the actions start without waiting for them: the calls once there are count of them
  // (or after 5 s).
  Lines CallsOnce(size_t count) {
    for (int i = 0; i < 250 && Count(ReadFileText(log_)) < count; ++i) Sleep(20);
    return Calls();
  }
  static size_t Count(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }
  // Calls the export in this process, so that its own result (not MsiDoAction's 0 or 1603) is seen.
  static UINT CallExport(const std::string& action, const Properties& properties) {
    Package package;
    Session session(With(package, properties).Build());
    HMODULE dll = LoadLibraryA(DllPath().c_str());
    auto fn = reinterpret_cast<UINT(WINAPI*)(MSIHANDLE)>(GetProcAddress(dll, action.c_str()));
    UINT result = fn ? fn(session.handle()) : 999u;
    FreeLibrary(dll);
    return result;
  }
  std::string log_, skyfetch_, product_;
  Lines raw_;
};

TEST_F(Updater, RegistrationsPerEditionAndComponent) {
  const Lines released{"ProductReg released"};
  const Lines program = Channel(kP, kTwg, "5.1.1", "Taskan Web Guard program updates", {}, {}, std::string(kClassP) + "|0x3");
  const Lines url = Channel(kU, "Taskan Web Guard URL", "1.0", "Taskan Web Guard URL updates",
                            {"CategoryUpdate", "IDSUpdate"}, {}, std::string(kClassU) + "|0x33");
  const Lines signature = Channel(kS, "Taskan Web Gard IDS Signatures", "1.0", "Veltrane Intrusion Detection Signatures",
                                  {}, kAutoSeq, std::string(kClassP) + "|0x33");
  const Lines other = Channel(kO, "Taskan Web Guard other", "1.0", "Taskan Web Guard security updates", kRuleComponents,
                              kAuto, std::string(kClassP) + "|0x33");
  Lines no_sequence;
  for (const auto& line : Concat({program, url, signature, other, released})) {
    if (line.rfind("SetSequenceNumberEx", 0) != 0) no_sequence.push_back(line);
  }
  struct Case {
    const char* data;
    bool url_component;
    std::function<void()> arrange;
    Lines expected;
    const char* logged;
  } cases[] = {
      {"", true, [] {}, Concat({program, url, signature, other, released}), ""},
      {"vxf", false, [] {}, Concat({program, signature, other, released}), ""},
      {"VXF", true, [] {},
       Concat({Channel(kP, kVcf, "5.1.1", "Veltrane Client Firewall program updates", {}, {}, std::string(kClassP) + "|0x3"),
               Channel(kS, "Veltrane Client Firewall IDS Signatures", "1.0", "Veltrane Intrusion Detection Signatures",
                       {}, kAutoSeq, std::string(kClassP) + "|0x33"),
               Channel(kO, "Veltrane Client Firewall other", "1.0", "Veltrane Client Firewall security updates",
                       kRuleComponents, kAuto, std::string(kClassP) + "|0x33"),
               released}),
       ""},
      {"", true, [] { RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "FailRegister", kS); },
       Concat({program, url, {signature.front()}, other, released}), "ERROR_REGISTER_3 rules"},
      {"", true, [] { RegDeleteValue(HKEY_LOCAL_MACHINE, kSharedUsage, "Skyfetch1"); }, no_sequence, ""},
      {"", false, [] { RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_PRODUCT_REG_CLSID); }, {},
       "ERROR_COCREATE Could CoCreate UDProduct Reg Object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    c.arrange();
    if (c.url_component) WriteFileText(product_ + "\\TWGFETP.DLL", "");
    EXPECT_EQ(Act("TWGInstallUD", {{"CustomActionData", c.data}}), 0u);
    EXPECT_EQ(Calls(), c.expected);
    std::string log = ReadFileText(InstallLog());
    EXPECT_EQ(log.substr(log.find_last_of('\n') + 1), c.logged);
    if (*c.logged) EXPECT_EQ(log.rfind("LogTime is ", 0), 0u) << log;
    // The support library is loaded for each call and freed right after it.
    for (size_t i = 0; i < raw_.size(); ++i) {
      if (raw_[i].rfind("SetSequenceNumberEx", 0) != 0) continue;
      EXPECT_EQ(raw_.at(i - 1), "V32UPDR1 loaded");
      EXPECT_EQ(raw_.at(i + 1), "V32UPDR1 freed");
    }
  }
}

// Channels are cleaned up only after the update program let them go; a refused deletion is reported
// only by the corporate action, through its result.
TEST_F(Updater, RemovalOrderAndCleanUpAfterDeletion) {
  auto removed = [](const char* moniker, const std::string& name, const char* version) {
    return Lines{std::string("DeleteProduct ") + moniker, "OnrampCleanupEx " + Join({name, version, "English"})};
  };
  const char kV1[] = "{520EB480-71F3-61BD-EEA8-845DF6E787B3}", kV2[] = "{69245B43-608B-DD0B-8948-80909E93A5AE}";
  const Lines released{"ProductReg released"};
  struct Case {
    const char* action;
    Properties properties;
    const char* fail_delete;
    UINT result;
    Lines expected;
  } cases[] = {
      {"TWGUninstallUD", {}, "", 0,
       Concat({removed(kP, kTwg, "5.1.1"), removed(kU, kTwg, "1.0"), removed(kS, kTwg, "1.0"), removed(kO, kTwg, "1.0"),
               released})},
      {"TWGUninstallUD", {{"INSTALL_VXF", "1"}}, kU, 0,
       Concat({removed(kP, kVcf, "5.1.1"), {std::string("DeleteProduct ") + kU}, removed(kS, kVcf, "1.0"),
               removed(kO, kVcf, "1.0"), released})},
      {"TWGUnregisterRB", {{"CustomActionData", "VXF"}}, "", 0,
       Concat({removed(kV1, kVcf, "2.0.6"), removed(kV2, kVcf, "1.0"), released})},
      {"TWGUnregisterRB", {{"CustomActionData", "VXF"}}, kV1, 1,
       Concat({{std::string("DeleteProduct ") + kV1}, removed(kV2, kVcf, "1.0"), released})},
      {"TWGUnregisterRB", {{"CustomActionData", "vxf"}}, "", 0, {}},
      {"TWGRemoveSequence", {}, "", 0,
       {"OnrampCleanupEx Taskan Web Guard|5.1.1|English", "OnrampCleanupEx Taskan Web Guard other|5.1.1|English",
        "OnrampCleanupEx Taskan Web Guard URL|5.1.1|English",
        "OnrampCleanupEx Taskan Web Gard IDS Signatures|5.1.1|English"}},
      {"TWGRemoveSequence", {{"INSTALL_VXF", "1"}}, "", 0,
       {"OnrampCleanupEx Veltrane Client Firewall|5.1.1|English",
        "OnrampCleanupEx Veltrane Client Firewall other|5.1.1|English",
        "OnrampCleanupEx Taskan Web Guard URL|5.1.1|English",
        "OnrampCleanupEx Veltrane Client Firewall IDS Signatures|5.1.1|English"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "FailDelete", c.fail_delete);
    EXPECT_EQ(CallExport(c.action, c.properties), c.result);
    EXPECT_EQ(Calls(), c.expected);
  }
  // The sequence data goes in one load of the library.
  EXPECT_EQ(raw_.front(), "V32UPDR1 loaded");
  EXPECT_EQ(raw_.back(), "V32UPDR1 freed");
}

// Whatever of the update program is missing skips only the step that needs it.
TEST_F(Updater, AbsentPartsSkipTheirStep) {
  auto no_objects = [] {
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_PRODUCT_REG_CLSID);
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_AUTO_UPDATE_CLSID);
  };
  auto no_folder_values = [] { RegDeleteTree(HKEY_LOCAL_MACHINE, kSharedUsage); };
  struct Case {
    const char* action;
    std::function<void(const std::string& skyfetch)> arrange;
    Properties properties;
    UINT result;
    size_t calls;  // all of them ProductReg's; 0: nothing was called
  } cases[] = {
      {"TWGUninstallUD", [&](const std::string&) { no_objects(); }, {}, 0, 0},
      {"TWGUnregisterRB", [&](const std::string&) { no_objects(); }, {{"CustomActionData", "VXF"}}, 32, 0},
      {"fnDisableUDAutoupdate", [&](const std::string&) { no_objects(); }, {}, 0, 0},
      {"TWGRemoveSequence", [&](const std::string&) { no_folder_values(); }, {}, 0, 0},
      {"TWGCheckForUpdate", [&](const std::string&) { no_folder_values(); }, {}, 0, 0},
      {"TWGCheckForUpdate", [](const std::string& s) { DeleteFileA((s + "\\UDALL.EXE").c_str()); }, {}, 0, 0},
      // A library without the entry points: the registrations go on without sequence numbers.
      {"TWGRemoveSequence", [](const std::string& s) { Copy("updater_objects.dll", s, "V32UPDR1.DLL"); }, {}, 0, 0},
      {"TWGInstallUD", [](const std::string& s) { Copy("updater_objects.dll", s, "V32UPDR1.DLL"); }, {}, 0, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    c.arrange(skyfetch_);
    EXPECT_EQ(CallExport(c.action, c.properties), c.result);
    const Lines calls = Calls();
    EXPECT_EQ(calls.size(), c.calls);
    for (const auto& line : calls) EXPECT_EQ(line.find("OnrampCleanupEx"), std::string::npos) << line;
    for (const auto& line : calls) EXPECT_EQ(line.find("SetSequenceNumberEx"), std::string::npos) << line;
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
      {"", false, false, "5", 0, 0},     {"1", false, false, "5", 0, 0},   {"0", true, false, "5", 0, 0},
      {"0", false, true, "5", 0, 0},     {"0", false, false, "5", 1603, 1}, {"0", false, false, "4", 1603, 1},
      {"0", false, false, "3", 1603, 0}, {"x", false, false, "2", 1603, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Arrange();
    if (!c.program) DeleteFileA((skyfetch_ + "\\UDALL.EXE").c_str());
    Package package;
    With(package.Action("CheckUDInstalled"), {{"RunSkyfetch", c.run_skyfetch}});
    package.Sql("CREATE TABLE `Feature` (`Feature` CHAR(38) NOT NULL PRIMARY KEY `Feature`)");
    package.Sql(std::string("INSERT INTO `Feature` (`Feature`) VALUES ('") + (c.feature ? "Skyfetch" : "Skyfetch2") + "')");
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
  const std::string monikers = std::string("UDALL.EXE -m") + kP + " -m" + kO + " -m" + kU + " -m" + kS;
  for (const char* silent : {"", "SILENT", "silent"}) {
    Arrange();
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
  EXPECT_EQ(CallsOnce(1), Lines{"Autofetch.exe -id in " + autofetch});
  DeleteFileA((autofetch + "\\Autofetch.exe").c_str());

  for (DWORD enabled : {1, 0}) {
    RegSetDword(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "AutoUpdateEnabled", enabled);
    EXPECT_EQ(Act("fnDisableUDAutoupdate", {}), 0u);
    Lines expected{"LoadSettings", "IsAutoUpdateEnabled", "DisableAutoUpdate", "AutoUpdate released"};
    if (!enabled) expected.erase(expected.begin() + 2);
    EXPECT_EQ(Calls(), expected);
  }

  // The engine is unloaded only where it is installed (GRDSERV.EXE) and its settings key exists.
  const char kGrdApp[] = "Software\\Veltrane\\GRD\\GRDAPP";
  for (int step : {0, 1, 2}) {
    Arrange();
    Copy("GRDAPP.EXE", product_);
    if (step >= 1) WriteFileText(product_ + "\\GRDSERV.EXE", "");
    if (step >= 2) RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", product_);
    EXPECT_EQ(Act("FixQuarryUD", {}), 0u);
    if (step < 2) Sleep(1000);  // time enough for a program that should not have been started
    EXPECT_EQ(step < 2 ? Calls() : CallsOnce(1), step < 2 ? Lines{} : Lines{"GRDAPP.EXE -Unload"}) << step;
    const RegValue confirmation = RegGet(HKEY_LOCAL_MACHINE, kGrdApp, "No Exit Confirmation");
    EXPECT_EQ(confirmation.exists ? confirmation.data : "", step == 2 ? std::string("\1\0\0\0", 4) : "") << step;
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
  auto fixup = RunAction("TWGFixupUD", {}, {"RUNSKYFETCHSTRING"});
  EXPECT_EQ(fixup.properties["RUNSKYFETCHSTRING"], "\"C:\\Program Files\\Veltrane\\Skyfetch\\UDALL.EXE\"");

  // A real install: the deferred actions see what SetVXFProperties prepared as their CustomActionData.
  for (const char* install_vxf : {"1", ""}) {
    Arrange();
    Package package;
    // Each run its own product: a run leaves its product behind as installed.
    package.Action("SetVXFProperties").Property("ProductCode", *install_vxf ? "{6D0C3F4A-1B2E-4C5D-8E9F-0A1B2C3D4E51}"
                                                                            : "{6D0C3F4A-1B2E-4C5D-8E9F-0A1B2C3D4E52}");
    package.Sql("CREATE TABLE `InstallExecuteSequence` (`Action` CHAR(72) NOT NULL, `Condition` CHAR(255), "
                "`Sequence` SHORT PRIMARY KEY `Action`)");
    int sequence = 100;
    for (const char* action : {"SetVXFProperties", "InstallInitialize", "TWGInstallUD", "TWGUnregisterRB",
                               "InstallFinalize"}) {
      package.Sql(std::string("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('") + action +
                  "', " + std::to_string(sequence += 100) + ")");
    }
    for (const char* deferred : {"TWGInstallUD", "TWGUnregisterRB"}) {
      package.Sql(std::string("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('") +
                  deferred + "', 1025, 'TWGMsI', '" + deferred + "')");
    }
    const std::string msi = package.Build();
    EXPECT_EQ(RunProcess("msiexec /i \"" + msi + "\" /qn INSTALL_VXF=" + install_vxf), 0);
    const Lines calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), std::string("RegisterProduct ") + (*install_vxf ? kVcf : kTwg) + "|5.1.1|English||" + kP);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& l) { return l.rfind("Delete", 0) == 0; }),
              *install_vxf ? 2 : 0);
  }
}

}  // namespace
