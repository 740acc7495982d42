// The product-configuration writers in real sessions under Wine: the registry, services and files they
// leave are read back from outside the action.
#include <gtest/gtest.h>

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

TEST_F(ConfigTest, SignatureCatalogueIsImportedAndDeleted) {
  struct Case {
    const char* what;
    std::string file;
    std::vector<StoredSig> expected;
  } cases[] = {
      {"header only", "header\n", {}},
      {"one record, the name stored without its zero", "header\n1203:Port scan:x:y:HIGH:x:y:TWG,VXF\n",
       {{"Sig1203", "Port scan", 1203, 3}}},
      {"later record with the same id replaces; foreign and short records skipped",
       "h\n5:first:x:y:low:x:y:TWG\n6:other:x:y:low:x:y:VXF\n7:short::y:x:low:y:TWG\n5:second:x:y:medium:x:y:TWG\n",
       {{"Sig5", "second", 5, 2}}},
      {"an unknown priority stops the import", "h\n1:a:x:y:low:x:y:TWG\n2:b:x:y:urgent:x:y:TWG\n3:c:x:y:high:x:y:TWG\n",
       {{"Sig1", "a", 1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kSigStore);
    const std::string path = folder_ + "\\sigs.cnf";
    WriteFileText(path, c.file);
    EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, kSigStore).size(), c.expected.size());
    for (const StoredSig& sig : c.expected) {
      const std::string key = std::string(kSigStore) + "\\" + sig.key;
      RegValue name = RegGet(HKEY_LOCAL_MACHINE, key, "Name");
      EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
      // Written without its zero; Wine's ANSI-to-Unicode conversion adds one, so only the text is compared.
      EXPECT_EQ(name.text(), sig.name);
      EXPECT_EQ(DwordOf(RegGet(HKEY_LOCAL_MACHINE, key, "SigID")), sig.id);
      EXPECT_EQ(DwordOf(RegGet(HKEY_LOCAL_MACHINE, key, "Priority")), sig.priority);
    }
  }
}

TEST_F(ConfigTest, SignatureFileStaysWithoutProductFolderValue) {
  const std::string path = folder_ + "\\sigs.cnf";
  WriteFileText(path, "h\n1:a:x:y:low:x:y:TWG\n");
  RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard");
  EXPECT_EQ(RunAction("TWGImportIDSEntires", {}, {}).result, ERROR_SUCCESS);
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSigStore));
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
  TestService workstation("lanmanworkstation");
  EXPECT_EQ(RunAction("TWGCreateLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);
  const std::string stored = RegGet(HKEY_LOCAL_MACHINE, workstation.Key(), "DependOnService").data;
  const std::string last = L("VelPxSvc||");
  ASSERT_GE(stored.size(), last.size());
  EXPECT_EQ(stored.substr(stored.size() - last.size()), last);
  EXPECT_EQ(RunAction("TWGDeleteLANManWksDependencies", {}, {}).result, ERROR_SUCCESS);
}

TEST_F(ConfigTest, WorkstationActionsWithoutTheServiceSucceed) {
  for (const char* action : {"TWGCreateLANManWksDependencies", "TWGDeleteLANManWksDependencies"}) {
    EXPECT_EQ(RunAction(action, {}, {}).result, ERROR_SUCCESS) << action;
  }
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

}  // namespace
