// The product-configuration writers in real sessions under Wine: the registry, services and files they
// leave are read back from outside the action.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

constexpr char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";
constexpr char kSigStore[] = "Software\\Veltrane\\GRD\\IDS\\SignatureStore";

class ConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD");
    folder_ = NewTempDir("config");
    RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", folder_);
  }
  void TearDown() override { RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD"); }

  std::string folder_;
};

struct StoredSig {
  std::string key;
  std::string name;
  DWORD id, priority;
};

DWORD DwordOf(const RegValue& v) { return v.data.size() == 4 ? *reinterpret_cast<const DWORD*>(v.data.data()) : ~0u; }

std::vector<std::string> Subkeys(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
  RegCloseKey(key);
  return names;
}

// Which records count is decided natively; shown here is that they land in the registry and the file goes,
// and that without the product's folder value nothing is touched.
TEST_F(ConfigTest, SignatureCatalogueIsImportedAndDeleted) {
  const std::string path = folder_ + "\\sigs.cnf";
  const std::string file = "h\n5:first:x:y:low:x:y:TWG\n6:other:x:y:low:x:y:VXF\n1203:Port scan:x:y:HIGH:x:y:TWG,VXF\n"
                           "5:second:x:y:medium:x:y:TWG\n2:b:x:y:urgent:x:y:TWG\n3:c:x:y:high:x:y:TWG\n";
  WriteFileText(path, file);
  RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard");
  EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSigStore));

  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", folder_);
  EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, kSigStore).size(), 2u);
  const StoredSig expected[] = {{"Sig1203", "Port scan", 1203, 3}, {"Sig5", "second", 5, 2}};
  for (const StoredSig& sig : expected) {
    const std::string key = std::string(kSigStore) + "\\" + sig.key;
    RegValue name = RegGet(HKEY_LOCAL_MACHINE, key, "Name");
    EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
    // Written without its zero; Wine's ANSI-to-Unicode conversion adds one, so only the text is compared.
    EXPECT_EQ(name.text(), sig.name);
    EXPECT_EQ(DwordOf(RegGet(HKEY_LOCAL_MACHINE, key, "SigID")), sig.id);
    EXPECT_EQ(DwordOf(RegGet(HKEY_LOCAL_MACHINE, key, "Priority")), sig.priority);
  }
}

// A real service of the prefix, never started: only its configuration is used. Deleted on exit.
class TestService {
 public:
  explicit TestService(const std::string& name) : name_(name) {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    service_ = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "C:\\windows\\system32\\notepad.exe",
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(service_, nullptr) << name << ": " << GetLastError();
  }
  ~TestService() {
    if (service_ != nullptr) {
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    CloseServiceHandle(manager_);
  }
  // Deletes the service while this handle stays open: the manager keeps it marked for deletion.
  void MarkForDeletion() { EXPECT_TRUE(DeleteService(service_)); }
  std::string Key() const { return "SYSTEM\\CurrentControlSet\\Services\\" + name_; }

 private:
  std::string name_;
  SC_HANDLE manager_ = nullptr, service_ = nullptr;
};

// Lists are written with '|' for each zero byte, the final zero included.
std::string L(const char* text) {
  std::string s(text);
  for (char& c : s) {
    if (c == '|') c = '\0';
  }
  return s;
}

// Wine's QueryServiceConfigA reports an empty dependency list whatever the registry holds, so each of
// the three additions starts again from an empty list and the removal finds nothing to remove: the list
// editing itself is proven natively. Shown here is the nearest real thing, that the list the action hands
// to ChangeServiceConfigA reaches the service's registry value well formed, and that both actions succeed.
TEST_F(ConfigTest, WorkstationDependenciesReachTheServiceManager) {
  for (const char* action : {"TWGCreateLANManWksDependencies", "TWGDeleteLANManWksDependencies"}) {
    EXPECT_EQ(RunAction(action, {}, {}).result, ERROR_SUCCESS) << action << " without the service";
  }
  TestService workstation("lanmanworkstation");
  EXPECT_EQ(RunAction("TWGCreateLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);
  const std::string stored = RegGet(HKEY_LOCAL_MACHINE, workstation.Key(), "DependOnService").data;
  const std::string last = L("VelPxSvc||");
  ASSERT_GE(stored.size(), last.size());
  EXPECT_EQ(stored.substr(stored.size() - last.size()), last);
  EXPECT_EQ(RunAction("TWGDeleteLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);
}

TEST_F(ConfigTest, MessengerValueRoundTripKeepsOtherNames) {
  TestService messenger("Messenger");
  const std::string original = L("LanmanWorkstation|NetBIOS||");
  RegSetBinary(HKEY_LOCAL_MACHINE, messenger.Key(), "DependOnService", original);
  struct Step {
    const char* action;
    const char* expected;
  } steps[] = {
      {"AddProxyServiceName", "LanmanWorkstation|NetBIOS|VelPxSvc||"},
      {"AddProxyServiceName", "LanmanWorkstation|NetBIOS|VelPxSvc||"},
      {"DeleteProxyServiceName", "LanmanWorkstation|NetBIOS||"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.action);
    EXPECT_EQ(RunAction(step.action, {}, {}).result, ERROR_SUCCESS);
    RegValue value = RegGet(HKEY_LOCAL_MACHINE, messenger.Key(), "DependOnService");
    EXPECT_EQ(value.data, L(step.expected));
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));  // the type read is the type written
  }
  // A name another product put behind ours stays where it is.
  RegSetString(HKEY_LOCAL_MACHINE, messenger.Key(), "DependOnService", L("A|VelPxSvc|Other|"), REG_MULTI_SZ);
  EXPECT_EQ(RunAction("DeleteProxyServiceName", {}, {}).result, ERROR_SUCCESS);
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, messenger.Key(), "DependOnService").data, L("A|Other||"));
  // Without the value the read's error is the result, which the installer reports as a failure.
  RegDeleteValue(HKEY_LOCAL_MACHINE, messenger.Key(), "DependOnService");
  EXPECT_EQ(RunAction("AddProxyServiceName", {}, {}).result, static_cast<UINT>(ERROR_INSTALL_FAILURE));
}

TEST_F(ConfigTest, ServiceMarkedForDeletionIsReported) {
  const char* names[] = {"tvsapsvc", "TVSAP", "TVSEX15", "TVSENG", "VelEvent", "VELTDI"};
  std::vector<std::unique_ptr<TestService>> services;
  for (const char* name : names) services.push_back(std::make_unique<TestService>(name));
  ActionRun none = RunAction("ServicesMarkedForDeletion", {{"ServicesMarkedForDeletion", "stale"}},
                             {"ServicesMarkedForDeletion"});
  EXPECT_EQ(none.properties["ServicesMarkedForDeletion"], "");
  services.back()->MarkForDeletion();
  ActionRun marked = RunAction("ServicesMarkedForDeletion", {}, {"ServicesMarkedForDeletion"});
  EXPECT_EQ(marked.result, ERROR_SUCCESS);
  EXPECT_EQ(marked.properties["ServicesMarkedForDeletion"], "1");
}

TEST_F(ConfigTest, DialogChecksSetTheirProperties) {
  const std::string long_name(519, 'n');
  struct Case {
    const char* action;
    std::map<std::string, std::string> in;
    std::map<std::string, std::string> expected;
  } cases[] = {
      {"TWGCheckNameAndPassword", {{"DefaultName", "  Pat Smith  "}},
       {{"TWGGoodNamePassword", "1"}, {"DefaultName", "Pat Smith"}}},
      {"TWGCheckNameAndPassword", {{"DefaultName", long_name}}, {{"TWGGoodNamePassword", "0"}, {"DefaultName", long_name}}},
      // Too long to read: nothing is set.
      {"TWGCheckNameAndPassword", {{"DefaultName", long_name + "n"}, {"TWGGoodNamePassword", "x"}},
       {{"TWGGoodNamePassword", "x"}}},
      {"CheckDBCSPassword", {{"DefaultPassword1", "secret1"}, {"DBCSPassword", "1"}}, {{"DBCSPassword", ""}}},
      {"CheckDBCSPassword", {{"DefaultPassword1", "secr\xE9t"}}, {{"DBCSPassword", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.in.begin()->second.substr(0, 20));
    std::vector<std::string> names;
    for (const auto& [name, value] : c.expected) names.push_back(name);
    ActionRun run = RunAction(c.action, c.in, names);
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    for (const auto& [name, value] : c.expected) EXPECT_EQ(run.properties[name], value) << name;
  }
}

constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST_F(ConfigTest, SettingsWrittenOnlyWhereTheirKeyExists) {
  const std::string own_code = "{21129204-B8EE-CDB1-A2A2-CC1BF0BB8167}";
  const std::string code = "{11111111-2222-3333-4444-555555555555}";
  struct Case {
    const char* action;
    std::map<std::string, std::string> in;
    std::string key, value;
    bool key_exists;
    std::string expected;  // raw data; "" for no value
  } cases[] = {
      {"SetVXFManagedKeys", {},  // no data reads as empty
       "SOFTWARE\\Veltrane\\Managed Products\\Taskan Web Guard",
       "Managed", false, std::string("\1\0\0\0", 4)},
      {"SetVXFManagedKeys", {{"CustomActionData", "0"}}, "SOFTWARE\\Veltrane\\Managed Products\\Taskan Web Guard",
       "Managed", false, std::string("\0\0\0\0", 4)},
      {"SetVXFManagedKeys", {{"CustomActionData", "0"}}, "SOFTWARE\\Veltrane\\Managed Products\\Taskan Web Guard",
       "Version", false, std::string("\5\0\1\0\1\0\x32\1", 8)},
      {"fnTWGEnableFirewall", {}, std::string(kGrd) + "\\Filters", "Start Mode", true, std::string("\1\0\0\0", 4)},
      {"fnTWGEnableFirewall", {}, std::string(kGrd) + "\\Filters", "Start Mode", false, ""},
      {"fnTWGSetRegUninstallString", {}, kUninstall + own_code, "Uninstallstring", true,
       "MsiExec.exe /X" + own_code + std::string(1, '\0')},
      {"SetUninstallString", {{"ProductCode", code}}, kUninstall + code, "UninstallString", true,
       ("MsiExec.exe /I" + code).append(260 - 14 - code.size(), '\0')},
      {"SetUninstallString", {{"ProductCode", code}}, kUninstall + code, "UninstallString", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.value + (c.key_exists ? " (key there)" : ""));
    RegDeleteTree(HKEY_LOCAL_MACHINE, c.key);
    if (c.key_exists) RegSetString(HKEY_LOCAL_MACHINE, c.key, "Other", "x");
    EXPECT_EQ(RunAction(c.action, c.in, {}).result, ERROR_SUCCESS);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, c.key, c.value).data, c.expected);
    if (!c.key_exists && c.expected.empty()) EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, c.key));
    RegDeleteTree(HKEY_LOCAL_MACHINE, c.key);
  }
}

TEST_F(ConfigTest, FirewallShutOffOnlyOnTheNtFamily) {
  const std::string key = std::string(kGrd) + "\\FirewallState";
  struct Case {
    const char* version;
    DWORD expected;
  } cases[] = {{"win98", 1}, {"nt40", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    RegSetDword(HKEY_LOCAL_MACHINE, key, "FilterEnabled", 1);
    ScopedWindowsVersion version(c.version);
    EXPECT_EQ(RunAction("TWGShutOffFirewall", {}, {}).result, ERROR_SUCCESS);
    EXPECT_EQ(DwordOf(RegGet(HKEY_LOCAL_MACHINE, key, "FilterEnabled")), c.expected);
  }
}

// The index itself is decided natively; here the feature DLL is found in the product's folder and the
// longest text read keeps all of its characters.
TEST_F(ConfigTest, AlertIconFollowsTheFeatureDlls) {
  const std::string key = "Software\\Veltrane\\VelTray\\Taskan System Kit\\Filter Criteria\\Taskan Web Guard";
  RegSetString(HKEY_LOCAL_MACHINE, key, "AlertIcon", std::string(519, 'i'));
  WriteFileText(folder_ + "\\TWGFetP.dll", "");
  EXPECT_EQ(RunAction("UpdateAlertIcon", {}, {}).result, ERROR_SUCCESS);
  RegValue icon = RegGet(HKEY_LOCAL_MACHINE, key, "AlertIcon");
  EXPECT_EQ(icon.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(icon.data, std::string(519, 'i') + ",9" + std::string(1, '\0'));
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\VelTray");
}

TEST_F(ConfigTest, ScanAgentHandOffAndCleanUp) {
  const std::string media = NewTempDir("media");
  const std::string install = NewTempDir("install") + "\\";
  CreateDirectoryA((media + "\\support").c_str(), nullptr);
  CreateDirectoryA((media + "\\disk1").c_str(), nullptr);
  const std::string candidate = media + "\\support\\scanagnt.msi";
  const std::string run_once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::map<std::string, std::string> props = {{"SourceDir", media + "\\disk1\\"}, {"INSTALLDIR", install}};

  ActionRun missing = RunAction("FindSCANAgentInstall", {{"SourceDir", media + "\\disk1\\"}, {"SCANAGENTMSI", "x"}},
                                {"SCANAGENTMSI"});
  EXPECT_EQ(missing.properties["SCANAGENTMSI"], "");

  WriteFileText(candidate, "msi");
  ActionRun found = RunAction("FindSCANAgentInstall", props, {"SCANAGENTMSI"});
  EXPECT_EQ(found.properties["SCANAGENTMSI"], candidate);
  EXPECT_EQ(ReadFileText(install + "scanagnt.msi"), "msi");
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  const std::string command = std::string(system) + "\\msiexec.exe /qn /i \"" + install + "scanagnt.msi\"";
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, run_once, "Scan Agent Install").text(), command);
  RegDeleteValue(HKEY_LOCAL_MACHINE, run_once, "Scan Agent Install");

  SetFileAttributesA((install + "scanagnt.msi").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunAction("DeleteSCANAgentInstall", props, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(install + "scanagnt.msi"));
}

TEST_F(ConfigTest, UninstallRemovesStartUpValueAndConfigurationTree) {
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  RegSetString(HKEY_LOCAL_MACHINE, run, "grdapp", "grdapp.exe");
  RegSetString(HKEY_LOCAL_MACHINE, run, "other", "other.exe");
  RegSetString(HKEY_LOCAL_MACHINE, std::string(kGrd) + "\\Logs\\TDI\\Send", "v", "x");
  RegSetString(HKEY_LOCAL_MACHINE, std::string(kGrd), "TWGEULA", "1");
  EXPECT_EQ(RunAction("DeleteGrdAppValue", {}, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, run, "grdapp").exists);
  EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, run, "other").exists);
  RegDeleteValue(HKEY_LOCAL_MACHINE, run, "other");
  // Wine's shlwapi is there under every emulated version, so this runs the shell helper; the fallback
  // for a system without it is the same deletion done child by child.
  EXPECT_EQ(RunAction("fnDeleteGrdAppRegKey", {}, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kGrd));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kInstalledApps));
}

// The registration as the product's documentation lists it: log | file | map | id | size | log types |
// view types | sources (name=id). Parsed here, apart from the library's table, so a slip in either shows.
constexpr char kLogListing[] = R"(TDI|grdtdi.rel|TdiLogMap|9|262144|3E|3E|Associate=1,Disassociate=2,Connect=3,Listen=4,Accept=5,Disconnect=6,Send=7,Receive=8,SendDatagram=9,RecvDatagram=10,SetEvHandler=11,QueryInfo=12,SetInfo=13,Action=14,DirectSend=15,DirectSendDg=16,Misc=17,Create=18,Cleanup=19,Close=20,DeviceCtrl=21,QueryInfoEx=22,SetInfoEx=23,ConnectEvent=24,DisconEvent=25,ErrorEvent=26,RecvEvent=27,RecvDgEvent=28,RecvExpEvent=29,SendPosEvent=30,ChdRecvEvent=31,ChdRecvDgEv=32,ChdRecvExpEv=33
System|grdsys.rel|SystemLogMap|0|131072|1003E|1003E|Event Log=1,HBM Service=2,HTTP Filter=3,Config=4
Firewall|grdfw.rel|FirewallLogMap|1|131072|F0034|F0034|IP Filter=1,NDIS Filter=2,GRDCPL=3,Notification=4,AlertTracker=5
Web History|grdwebh.rel|WebHistoryLogMap|2|131072|3E|3E|URL Logging=1
Content Blocking|grdadblk.rel|AdBlockingLogMap|3|131072|1003E|1003E|HTTP Fragment=1
Privacy|grdpriv.rel|PrivacyLogMap|4|131072|F003E|F003E|HTTP Cookie=1,HTTP Confidential Filter=2
Connections|grdtcp.rel|ConnectionsLogMap|5|65536|30000|30000|TCP Connection=1
Restrictions|grdrstct.rel|RestrictionsLogMap|6|131072|3003E|3003E|HTTP Site Restriction Filter=1,NNTP Site Restriction Filter=2
Alerts|grdalert.rel|AlertsLogMap|7|131072|F0034|F0034|IP Filter=1,NDIS Filter=2,Notification=4
IDS|grdids.rel|IDSLogMap|8|131072|3003E|3003E|IDS Engine=1
)";

using Tree = std::map<std::string, std::string>;  // "key path:value name" -> type byte + data

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Dword(DWORD v) { return std::string(1, char(REG_DWORD)) + std::string(reinterpret_cast<char*>(&v), 4); }
std::string Expand(const std::string& s) { return std::string(1, char(REG_EXPAND_SZ)) + s + std::string(1, '\0'); }

Tree ExpectedLogs(bool parental_control) {
  Tree tree;
  for (const std::string& line : Split(kLogListing, '\n')) {
    if (line.empty()) continue;
    std::vector<std::string> f = Split(line, '|');
    if (f[0] == "Restrictions" && !parental_control) continue;
    const std::string key = f[0] + ":";
    tree[key + "LogFile"] = Expand(f[1]);
    tree[key + "LogFileMap"] = Expand(f[2]);
    tree[key + "LogID"] = Dword(std::stoul(f[3]));
    tree[key + "LoggingEnabled"] = Dword(1);
    tree[key + "FileSize"] = Dword(std::stoul(f[4]));
    tree[key + "LogTypes"] = Dword(std::stoul(f[5], nullptr, 16));
    tree[key + "ViewTypes"] = Dword(std::stoul(f[6], nullptr, 16));
    tree[key + "EventMessageFile"] = Expand("tdit_msg.dll");
    for (const std::string& source : Split(f[7], ',')) {
      std::vector<std::string> s = Split(source, '=');
      tree[f[0] + "\\" + s[0] + ":SourceID"] = Dword(std::stoul(s[1]));
      tree[f[0] + "\\" + s[0] + ":LogEvents"] = Dword(1);
      tree[f[0] + "\\" + s[0] + ":ViewEvents"] = Dword(1);
    }
  }
  return tree;
}

void ReadTree(HKEY key, const std::string& prefix, Tree* tree) {
  char name[512];
  BYTE data[1024];
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
    (*tree)[prefix + ":" + name] = std::string(1, char(type)) + std::string(reinterpret_cast<char*>(data), data_size);
  }
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    HKEY child;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    ReadTree(child, prefix.empty() ? name : prefix + "\\" + name, tree);
    RegCloseKey(child);
  }
}

Tree ReadLogs() {
  Tree tree;
  HKEY logs;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD\\Logs", 0, KEY_READ, &logs) != ERROR_SUCCESS) return tree;
  ReadTree(logs, "", &tree);
  RegCloseKey(logs);
  return tree;
}

TEST_F(ConfigTest, EventLogRegistrationMatchesTheListing) {
  struct Case {
    const char* parental;  // nullptr: property not set
    bool restrictions;
  } cases[] = {{nullptr, false}, {"0", false}, {" +1x", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parental ? c.parental : "(unset)");
    RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD\\Logs");
    std::map<std::string, std::string> props;
    if (c.parental) props["INSTALL_PARENTAL_CONTROL"] = c.parental;
    for (int run = 0; run < 2; ++run) {  // a second run leaves the same contents
      EXPECT_EQ(RunAction("CreateEventLogReg", props, {}).result, ERROR_SUCCESS);
      EXPECT_TRUE(ReadLogs() == ExpectedLogs(c.restrictions)) << "run " << run;
    }
  }
  // Which users may change the keys cannot be read back here: Wine's RegCreateKeyExA ignores the
  // attributes' descriptor (ProtregSecurity shows the two descriptors themselves on a real key).
}

}  // namespace
