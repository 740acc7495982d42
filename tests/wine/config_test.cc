// The product-configuration writers in real sessions under Wine: the registry, services and files they
// leave are read back from outside the action.
#include <gtest/gtest.h>

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

}  // namespace
