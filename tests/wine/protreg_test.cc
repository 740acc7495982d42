// The protected store and its access layer against the real registry under Wine. The store's API has no
// exports, so its sources are linked into this runner and called directly. What a process fixes at first
// use ("SR.dat", the prefix list) is checked through CheckEULA, a real custom action whose server process
// reads both afresh.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "harness/harness.h"
#include "protreg/prot_key.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

#include <sddl.h>

using namespace harness;

namespace {

constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kVelReg[] = "Software\\Veltrane\\VelReg";
const twg::KeyHalf kHalf = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

std::string Encoded(const std::string& plain) {
  std::string out;
  EXPECT_TRUE(twg::StoreCodec()->EncodeName(plain, &out));
  return out;
}

LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
  return twg::ProtRegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
}
LONG SetText(HKEY key, const char* name, std::string text) { return Set(key, name, REG_SZ, text + '\0'); }

// A value read back through the layer as "type:data", or the error.
std::string Query(HKEY key, const char* name) {
  char data[4096];
  DWORD size = sizeof data, type = 0;
  LONG status = twg::ProtRegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  return status ? "error " + std::to_string(status) : std::to_string(type) + ":" + std::string(data, size);
}

// The value names the layer lists, then the status that ended the listing.
std::multiset<std::string> EnumValues(HKEY key) {
  std::multiset<std::string> listed;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG status = twg::ProtRegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    listed.insert(status ? "status " + std::to_string(status) : name);
    if (status) return listed;
  }
}

// Opens or creates a key through the layer, expecting `status`.
twg::ScopedProtKey Key(HKEY parent, const std::string& subkey, bool create, LONG status = ERROR_SUCCESS) {
  twg::ScopedProtKey key;
  EXPECT_EQ(create ? twg::ProtRegCreateKeyExA(parent, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                              key.Receive(), nullptr)
                   : twg::ProtRegOpenKeyExA(parent, subkey.c_str(), 0, KEY_ALL_ACCESS, key.Receive()),
            status)
      << subkey;
  return key;
}

// Only the store makes the prefix key (only it can write the record): a test starts from an intact,
// empty store.
twg::ScopedProtKey CreateStoreRoot() {
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey root = Key(HKEY_LOCAL_MACHINE, kGrd, true);
  twg::LowerCreationAllowance();
  return root;
}

class ProtregStore : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    ASSERT_TRUE(CreateStoreRoot().valid());
  }
  void TearDown() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kVelReg);
    twg::WriteStoreKeyFile(kHalf);
  }
};

TEST_F(ProtregStore, StoresEncodedNamesAndSealedDataAndHidesTheRecord) {
  twg::ScopedProtKey logs = Key(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs", true);
  const std::string logs_raw = std::string(kGrd) + "\\" + Encoded("Logs");
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
  } cases[] = {{"TWGEULA", REG_SZ, std::string("1\0", 2)},
               {"Counter", REG_DWORD, std::string("\4\3\2\1", 4)},
               {"Large", REG_BINARY, std::string(2000, 'Z')},  // more than the layer's first read takes
               {"", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Set(logs, c.name, c.type, c.data), ERROR_SUCCESS);
    RegValue raw = RegGet(HKEY_LOCAL_MACHINE, logs_raw, *c.name ? Encoded(c.name) : "");
    EXPECT_EQ(raw.type, static_cast<DWORD>(*c.name ? REG_BINARY : REG_SZ));
    EXPECT_EQ(raw.data.find(c.data.substr(0, 2)), std::string::npos) << "no plain data in the store";
    EXPECT_EQ(Query(logs, c.name), std::to_string(c.type) + ":" + c.data);
  }
  // Callers never see the record, also where names sort after it in the registry's order (Wine's:
  // case-blind by stored name), as some of these do.
  EXPECT_EQ(EnumValues(logs), (std::multiset<std::string>{"", "Counter", "Large", "TWGEULA", "status 259"}));
  DWORD values = 0;
  ASSERT_EQ(twg::ProtRegQueryInfoKeyA(logs, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                      nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 4u);
  char name[8];
  DWORD size = 4;  // "Logs" fills it without its NUL
  EXPECT_EQ(twg::ProtRegEnumKeyExA(Key(HKEY_LOCAL_MACHINE, kGrd, false), 0, name, &size, nullptr, nullptr,
                                   nullptr, nullptr),
            ERROR_MORE_DATA);

  // Each change rewrites the record (the parent's for a key), so that the next one finds the key intact.
  ASSERT_EQ(twg::ProtRegDeleteValueA(logs, "Counter"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(logs, "Counter", "again"), ERROR_SUCCESS);
  logs.reset();
  ASSERT_EQ(twg::ProtRegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs\\"), ERROR_SUCCESS);
  Key(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Next", true);
}

TEST_F(ProtregStore, WritesBehindTheStoresBackAreRefused) {
  twg::ScopedProtKey logs = Key(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs", true);
  ASSERT_EQ(SetText(logs, "Kept", "x"), ERROR_SUCCESS);
  Key(logs, "Missing", false, ERROR_FILE_NOT_FOUND);  // an intact key: an honest "not found"

  const std::string raw_logs = std::string(kGrd) + "\\" + Encoded("Logs");
  RegSetString(HKEY_LOCAL_MACHINE, raw_logs, "Planted", "y");
  EXPECT_EQ(SetText(logs, "Kept", "z"), ERROR_INVALID_DATA);
  EXPECT_EQ(twg::ProtRegDeleteValueA(logs, "Kept"), ERROR_INVALID_DATA);
  Key(logs, "Child", true, ERROR_INVALID_DATA);
  Key(logs, "Missing", false, ERROR_INVALID_DATA);
  EXPECT_EQ(EnumValues(logs), std::multiset<std::string>{"status 13"});
  EXPECT_EQ(Query(logs, "Missing"), "error 13");
  EXPECT_EQ(Query(logs, "Kept"), "1:" + std::string("x\0", 2)) << "an intact value still reads";
}

// The owner and the access list in their text form: one comparison shows owner, kinds, masks, trustees
// and their order.
TEST(ProtregSecurity, BlocksGrantAdministratorsAllAndEveryoneTheirShare) {
  struct Case {
    LONG(WINAPI* make)(LPSECURITY_ATTRIBUTES*);
    const char* everyone;
  } cases[] = {{twg::ProtRegMakeReadOnlySecurity, "KR"}, {twg::ProtRegMakeWritableSecurity, "CCDCSWRPRC"}};
  for (const auto& c : cases) {
    LPSECURITY_ATTRIBUTES block = nullptr;
    char* text = nullptr;
    ASSERT_EQ(c.make(&block), ERROR_SUCCESS);
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        block->lpSecurityDescriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &text, nullptr));
    EXPECT_EQ(std::string(text), "O:BAD:(A;;KA;;;BA)(A;;KA;;;CO)(A;;" + std::string(c.everyone) +
                                     ";;;WD)(A;;KA;;;SY)");
    LocalFree(text);
    EXPECT_EQ(twg::ProtRegFreeSecurity(block), ERROR_SUCCESS);
  }
}

// Only the value "1" counts: read plain while the store is off, only as the sealed value while it is on.
TEST_F(ProtregStore, CheckEulaAcceptsOnlyTheValueOne) {
  const std::string half(reinterpret_cast<const char*>(kHalf.data()), kHalf.size());
  const std::string on = std::string("\1\0\0\0", 4) + half, off = std::string(4, '\0') + half;
  struct Case {
    const char* what;
    std::string key_file;        // "SR.dat" (none when empty)
    const char *stored, *plain;  // written through the store; straight into the registry
    bool prefixes_elsewhere;
    const char* noeula;
  } cases[] = {
      {"no SR.dat: the store is off", "", nullptr, "1", false, ""},
      {"a flag that is off", off, nullptr, "1", false, ""},
      {"a flag without a whole key half: on, without a key", on.substr(0, 9), nullptr, "1", false, "1"},
      {"stored 1", on, "1", nullptr, false, ""},
      {"a tamperer's plain 1 is not the stored value", on, "1 ", "1", false, "1"},
      {"prefixes from VelReg, up to the first missing number", on, nullptr, "1", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));  // what this process seals with
    if (c.key_file.empty()) DeleteFileA(twg::StoreKeyFilePath().c_str());
    if (!c.key_file.empty()) WriteFileText(twg::StoreKeyFilePath(), c.key_file);
    if (c.stored) ASSERT_EQ(SetText(CreateStoreRoot(), "TWGEULA", c.stored), ERROR_SUCCESS);
    if (c.plain) RegSetString(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA", c.plain);
    if (c.prefixes_elsewhere) {
      RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath1", "HKEY_CURRENT_USER\\Software\\Other");
      RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath3", "HKEY_LOCAL_MACHINE\\" + std::string(kGrd));
    }
    EXPECT_EQ(RunAction("CheckEULA", {{"NOEULA", "stale"}}, {"NOEULA"}).properties["NOEULA"], c.noeula);
  }
}

}  // namespace
