// The configuration writers in real sessions under Wine, read back from outside; text rules are native.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "harness/harness.h"

using namespace harness;
using namespace std::string_literals;

namespace {

constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";

// The product's folder registered, new and empty; no configuration tree.
std::string Fresh() {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  const std::string folder = NewTempDir("config");
  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", folder);
  return folder;
}

// Without the product's folder value nothing is touched; with it the records land and the file goes.
TEST(ConfigTest, SignatureCatalogueImportedThenRemovedWithTheTree) {
  const std::string folder = Fresh(), path = folder + "\\sigs.cnf";
  WriteFileText(path, "h\n5:first:x:y:low:x:y:TWG\n1203:Port scan:x:y:HIGH:x:y:TWG\n"
                      "5:second:x:y:medium:x:y:TWG\n");
  RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard");
  EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
  EXPECT_TRUE(FileExists(path));
  RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", folder);
  EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(path));
  const std::string store = std::string(kGrd) + "\\IDS\\SignatureStore\\";
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, store + "Sig5", "Name").text(), "second");  // the later record wins
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, store + "Sig5", "Priority").data, "\2\0\0\0"s);
  // The uninstall takes the configuration tree, and only that.
  EXPECT_EQ(RunAction("fnDeleteGrdAppRegKey", {}, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kGrd));
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard").text(), folder);
}

// A real service of the prefix, never started: only its configuration is used.
SC_HANDLE CreateTestService(const char* name) {
  SC_HANDLE services = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  return CreateServiceA(services, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                        SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "notepad.exe", nullptr, nullptr, nullptr,
                        nullptr, nullptr);
}

// Wine's service manager reports no dependencies: the workstation's list is only seen arriving whole.
TEST(ConfigTest, DependencyListsKeepOtherProductsNames) {
  CreateTestService("lanmanworkstation");
  CreateTestService("Messenger");
  const std::string services = "SYSTEM\\CurrentControlSet\\Services\\", messenger = services + "Messenger";
  const std::string workstation = services + "lanmanworkstation";
  EXPECT_EQ(RunAction("TWGCreateLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);
  const std::string stored = RegGet(HKEY_LOCAL_MACHINE, workstation, "DependOnService").data;
  EXPECT_EQ(stored.rfind("VelPxSvc\0\0"s), stored.size() - 10);
  EXPECT_EQ(RunAction("TWGDeleteLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);

  // The value before, the action, the value after: our name once, behind the others; theirs stay.
  const std::string steps[][3] = {
      {"LanmanWorkstation\0NetBIOS\0\0"s, "AddProxyServiceName", "LanmanWorkstation\0NetBIOS\0VelPxSvc\0\0"s},
      {"A\0vElPxSvC\0\0"s, "AddProxyServiceName", "A\0vElPxSvC\0\0"s},
      {"A\0VelPxSvc\0Other\0VelPxSvc\0\0"s, "DeleteProxyServiceName", "A\0Other\0\0"s}};
  for (const auto& [before, action, after] : steps) {
    RegSetBinary(HKEY_LOCAL_MACHINE, messenger, "DependOnService", before);
    EXPECT_EQ(RunAction(action, {}, {}).result, ERROR_SUCCESS);
    const RegValue value = RegGet(HKEY_LOCAL_MACHINE, messenger, "DependOnService");
    EXPECT_EQ(value.data, after) << action;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));  // the type read is the type written
  }
  // Without the value the read's error is the result, which the installer reports as a failure.
  RegDeleteValue(HKEY_LOCAL_MACHINE, messenger, "DependOnService");
  EXPECT_EQ(RunAction("AddProxyServiceName", {}, {}).result, static_cast<UINT>(ERROR_INSTALL_FAILURE));
}

TEST(ConfigTest, ServiceMarkedForDeletionIsReported) {
  SC_HANDLE last_of_the_family = CreateTestService("VELTDI");
  const char* property = "ServicesMarkedForDeletion";
  EXPECT_EQ(RunAction(property, {{property, "stale"}}, {property}).properties[property], "");
  DeleteService(last_of_the_family);  // the open handle keeps it marked for deletion
  EXPECT_EQ(RunAction(property, {}, {property}).properties[property], "1");
}

TEST(ConfigTest, DialogChecksSetTheirProperties) {
  const std::string cases[][5] = {  // action, property, its value, property read back, expected
      {"TWGCheckNameAndPassword", "DefaultName", std::string(519, 'n'), "TWGGoodNamePassword", "0"},
      {"TWGCheckNameAndPassword", "DefaultName", std::string(520, 'n'), "TWGGoodNamePassword", ""},  // unread
      {"CheckDBCSPassword", "DefaultPassword1", "secr\xE9t", "DBCSPassword", "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunAction(c[0], {{c[1], c[2]}}, {c[3]}).properties[c[3]], c[4]);
}

// One value per writer, the key's other values kept; a missing key (no such component) is made only once.
TEST(ConfigTest, SettingsWrittenOnlyWhereTheirKeyExists) {
  const std::string own = "{21129204-B8EE-CDB1-A2A2-CC1BF0BB8167}", grd = kGrd, icon(517, 'i');
  const std::string code = "{11111111-2222-3333-4444-555555555555}", one = "\1\0\0\0"s, zero(4, '\0');
  const std::string windows = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string uninstall = windows + "Uninstall\\", tray = "Software\\Veltrane\\VelTray\\";
  const std::string managed = "SOFTWARE\\Veltrane\\Managed Products\\Taskan Web Guard";
  const std::string alert = tray + "Taskan System Kit\\Filter Criteria\\Taskan Web Guard";
  WriteFileText(Fresh() + "\\TWGFetP.dll", "");
  struct Case {
    const char* action;
    std::string key, value;
    std::optional<std::string> before;  // the value's text before; none: no key
    std::string expected;               // raw data; "" for no value
    const char* data = "1";             // CustomActionData
    const char* version = "winxp";
  } cases[] = {
      {"SetVXFManagedKeys", managed, "Managed", {}, one},
      {"SetVXFManagedKeys", managed, "Managed", {}, zero, "0"},
      {"fnTWGEnableFirewall", grd + "\\Filters", "Start Mode", "old", one},
      {"fnTWGEnableFirewall", grd + "\\Filters", "Start Mode", {}, ""},
      {"TWGShutOffFirewall", grd + "\\FirewallState", "FilterEnabled", "old", "old\0"s, "1", "win98"},
      {"TWGShutOffFirewall", grd + "\\FirewallState", "FilterEnabled", "old", zero, "1", "nt40"},
      {"fnTWGSetRegUninstallString", uninstall + own, "Uninstallstring", "old",
       "MsiExec.exe /X" + own + '\0'},
      {"SetUninstallString", uninstall + code, "UninstallString", "old",
       ("MsiExec.exe /I" + code).append(260 - 14 - code.size(), '\0')},
      // The longest text read keeps all its characters; the index follows the feature DLL found.
      {"UpdateAlertIcon", alert, "AlertIcon", icon + ",3", icon + ",9\0"s},
      {"DeleteGrdAppValue", windows + "Run", "grdapp", "grdapp.exe", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.version + (c.before ? " (key there)" : ""));
    RegDeleteTree(HKEY_LOCAL_MACHINE, c.key);
    if (c.before) RegSetString(HKEY_LOCAL_MACHINE, c.key, "Other", "x");
    if (c.before) RegSetString(HKEY_LOCAL_MACHINE, c.key, c.value, *c.before);
    ScopedWindowsVersion version(c.version);
    EXPECT_EQ(RunAction(c.action, {{"CustomActionData", c.data}, {"ProductCode", code}}, {}).result, 0u);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, c.key, c.value).data, c.expected);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, c.key, "Other").text(), c.before ? "x" : "");
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, c.key), c.before || !c.expected.empty());
  }
}

// The agent's package beside the media folder is copied and installed at the next logon.
TEST(ConfigTest, ScanAgentHandOffAndCleanUp) {
  const std::string media = NewTempDir("media"), install = NewTempDir("install") + "\\";
  const std::map<std::string, std::string> props = {{"SourceDir", media + "\\1\\"}, {"INSTALLDIR", install}};
  CreateDirectoryA((media + "\\support").c_str(), nullptr);
  WriteFileText(media + "\\support\\scanagnt.msi", "msi");
  EXPECT_EQ(RunAction("FindSCANAgentInstall", props, {"SCANAGENTMSI"}).properties["SCANAGENTMSI"],
            media + "\\support\\scanagnt.msi");
  const std::string run_once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, run_once, "Scan Agent Install").text(),
            "C:\\windows\\system32\\msiexec.exe /qn /i \"" + install + "scanagnt.msi\"");
  SetFileAttributesA((install + "scanagnt.msi").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunAction("DeleteSCANAgentInstall", props, {}).result, ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(install + "scanagnt.msi"));
}

// Which users may change the log keys cannot be read back: Wine's RegCreateKeyExA ignores the descriptor.
TEST(ConfigTest, EventLogRegistration) {
  const std::string logs = std::string(kGrd) + "\\Logs\\";
  for (const std::string parental : {"0", " +1x"}) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, logs);
    EXPECT_EQ(RunAction("CreateEventLogReg", {{"INSTALL_PARENTAL_CONTROL", parental}}, {}).result, 0u);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, logs + "IDS", "EventMessageFile").text(), "tdit_msg.dll");
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, logs + "Restrictions"), parental != "0") << parental;
  }
}

}  // namespace
