// The protected store and its access layer against the real registry under Wine. The store's API has no
// exports, so its sources are linked into this runner and called directly; CheckEULA runs as a real
// custom action, whose server process reads "SR.dat" afresh. States that a process fixes at first use
// (store disabled, the prefix list, first use from many threads) are run in a child copy of this
// runner started on a prepared machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"
#include "protreg/crypt_reg.h"
#include "protreg/codec/key_info.h"
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

std::string Sub(const std::string& parent, const std::string& plain_child) {
  return parent + "\\" + Encoded(plain_child);
}

// Opens a raw (stored-form) path one component at a time: Wine's registry refuses a whole path much
// over 260 characters, which is why the store itself opens long paths in pieces.
twg::ScopedRegKey RawOpen(HKEY root, const std::string& path) {
  twg::ScopedRegKey key;
  HKEY at = root;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find('\\', pos);
    if (end == std::string::npos) end = path.size();
    twg::ScopedRegKey next;
    if (RegOpenKeyExA(at, path.substr(pos, end - pos).c_str(), 0, KEY_READ, next.Receive()) != ERROR_SUCCESS) {
      return twg::ScopedRegKey();
    }
    key = std::move(next);
    at = key;
    pos = end + 1;
  }
  return key;
}

// The record of a key as stored, decoded; {-1,-1} when missing or undecodable.
std::pair<long, long> RecordOf(const std::string& raw_path) {
  twg::ScopedRegKey key = RawOpen(HKEY_LOCAL_MACHINE, raw_path);
  BYTE data[256];
  DWORD size = sizeof data, type = 0;
  twg::KeyCounts counts;
  if (key.valid() &&
      RegQueryValueExA(key, twg::KeyInfoValueName()->c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS &&
      type == REG_BINARY && twg::DecodeKeyInfo(*twg::StoreCodec(), data, size, &counts)) {
    return {static_cast<long>(counts.subkeys), static_cast<long>(counts.values)};
  }
  return {-1, -1};
}

// The raw value names (values) or subkey names of a key, in the registry's own order.
std::vector<std::string> RawNames(HKEY root, const std::string& path, bool values) {
  std::vector<std::string> names;
  twg::ScopedRegKey key = RawOpen(root, path);
  char name[1024];
  for (DWORD i = 0, size = sizeof name; key.valid(); ++i, size = sizeof name) {
    if ((values ? RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                : RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
  return twg::ProtRegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
}
LONG SetString(HKEY key, const char* name, const std::string& text) { return Set(key, name, REG_SZ, text + '\0'); }
std::string Bytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

std::string QueryString(HKEY key, const char* name, LONG* status = nullptr) {
  char buffer[512] = {};
  DWORD size = sizeof buffer;
  LONG s = twg::ProtRegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  if (status) *status = s;
  return s == ERROR_SUCCESS ? std::string(buffer, size ? size - 1 : 0) : std::string();
}

// What the layer enumerates, as "name=text" (REG_SZ) or "name type N", and the status that ended it.
using Listing = std::pair<std::vector<std::string>, LONG>;
Listing EnumValues(HKEY key) {
  Listing out;
  for (DWORD i = 0; i < 16; ++i) {
    char name[64], data[64] = {};
    DWORD name_size = sizeof name, data_size = sizeof data - 1, type = 0;
    out.second = twg::ProtRegEnumValueA(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                        &data_size);
    if (out.second != ERROR_SUCCESS) break;
    out.first.push_back(name + (type == REG_SZ ? "=" + std::string(data) : " type " + std::to_string(type)));
  }
  return out;
}

twg::ScopedProtKey Create(HKEY parent, const std::string& subkey, LONG expect = ERROR_SUCCESS,
                          DWORD* disposition = nullptr) {
  twg::ScopedProtKey key;
  EXPECT_EQ(twg::ProtRegCreateKeyExA(parent, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                                     disposition),
            expect)
      << subkey;
  return key;
}
twg::ScopedProtKey Open(HKEY parent, const std::string& subkey, LONG expect = ERROR_SUCCESS) {
  twg::ScopedProtKey key;
  EXPECT_EQ(twg::ProtRegOpenKeyExA(parent, subkey.c_str(), 0, KEY_ALL_ACCESS, key.Receive()), expect) << subkey;
  return key;
}

struct CreationAllowance {
  CreationAllowance() { twg::RaiseCreationAllowance(); }
  ~CreationAllowance() { twg::LowerCreationAllowance(); }
};

// The store makes the prefix key itself (only it can write the record), so a test starts from an
// intact, empty store.
twg::ScopedProtKey CreateStoreRoot() {
  CreationAllowance allow;
  return Create(HKEY_LOCAL_MACHINE, kGrd);
}

// Outside the store the layer hands the registry through: plain names, the caller's types, no record.
void ExpectPlainKey(HKEY root, const std::string& path) {
  twg::ScopedProtKey key = Create(root, path);
  ASSERT_TRUE(key.valid());
  EXPECT_EQ(twg::AsProtKey(key)->isProtected, 0u);
  ASSERT_EQ(Set(key, "Flag", REG_DWORD, Bytes(1)), ERROR_SUCCESS);
  EXPECT_EQ(RawNames(root, path, true), std::vector<std::string>{"Flag"}) << "no record";
  EXPECT_EQ(EnumValues(key), Listing({"Flag type 4"}, ERROR_NO_MORE_ITEMS));
  key.reset();
  EXPECT_EQ(twg::ProtRegDeleteKeyA(root, path.c_str()), ERROR_SUCCESS);
}

// --- The enabled store, in this process ------------------------------------------------------------

class ProtregStore : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    ASSERT_TRUE(CreateStoreRoot().valid());
  }
  void TearDown() override { RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd); }
};

// The layer hands everything outside the prefixes to the registry, also a sibling that only begins like
// the prefix key; below the prefix it keeps the plain full path of every key it opens.
TEST_F(ProtregStore, LayerRoutesByPrefix) {
  twg::ScopedProtKey veltrane = Open(HKEY_LOCAL_MACHINE, "Software\\Veltrane");
  ASSERT_TRUE(veltrane.valid());
  EXPECT_EQ(twg::AsProtKey(veltrane)->isProtected, 0u);
  twg::ScopedProtKey logs = Create(Open(veltrane, "GRD"), "Logs");
  ASSERT_TRUE(logs.valid());
  EXPECT_EQ(twg::AsProtKey(logs)->isProtected, 1u);
  EXPECT_EQ(twg::AsProtKey(logs)->path, "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD\\Logs");
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    ExpectPlainKey(root, root == HKEY_CURRENT_USER ? "Software\\ProtregPlain" : "Software\\Veltrane\\GRD.tmp");
  }
}

TEST_F(ProtregStore, StoresEncodedNamesSealedDataAndRecords) {
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(0L, 1L)) << "a fresh key counts its record as its only value";
  twg::ScopedProtKey logs = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  EXPECT_EQ(RawNames(HKEY_LOCAL_MACHINE, kGrd, false), std::vector<std::string>{Encoded("Logs")});
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L));
  const std::string logs_raw = Sub(kGrd, "Logs");
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, 1L));

  const std::string counter = Bytes(0x01020304);
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    DWORD stored_type;
  } cases[] = {{"TWGEULA", REG_SZ, std::string("1\0", 2), REG_BINARY},
               {"Counter", REG_DWORD, counter, REG_BINARY},
               {"Blob", REG_BINARY, std::string("\0\x01\xFF", 3), REG_BINARY},
               {"", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), REG_SZ}};
  long values = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Set(logs, c.name, c.type, c.data), ERROR_SUCCESS);
    EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, ++values));
    RegValue raw = RegGet(HKEY_LOCAL_MACHINE, logs_raw, *c.name ? Encoded(c.name) : "");
    ASSERT_TRUE(raw.exists);
    EXPECT_EQ(raw.type, c.stored_type);
    EXPECT_EQ(raw.data.find(c.data.substr(0, 2)), std::string::npos) << "no plain data in the store";
    char buffer[64];
    DWORD size = sizeof buffer, type = 0;
    ASSERT_EQ(twg::ProtRegQueryValueExA(logs, c.name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(std::string(buffer, size), c.data);
  }

  // Delete and set again: the counts come back to the same, consistent record.
  ASSERT_EQ(twg::ProtRegDeleteValueA(logs, "Counter"), ERROR_SUCCESS);
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, values - 1));
  ASSERT_EQ(Set(logs, "Counter", REG_DWORD, counter), ERROR_SUCCESS);
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, values));
  DWORD reported = 0;
  ASSERT_EQ(twg::ProtRegQueryInfoKeyA(logs, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &reported,
                                      nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(reported, 4u) << "the record is not counted";

  // Deleting the leaf rewrites its parent's record.
  logs.reset();
  ASSERT_EQ(twg::ProtRegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs\\"), ERROR_SUCCESS);
  EXPECT_TRUE(RawNames(HKEY_LOCAL_MACHINE, kGrd, false).empty());
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(0L, 1L));
}

TEST_F(ProtregStore, ArgumentRulesAndBufferSizes) {
  twg::ScopedProtKey grd = Open(HKEY_LOCAL_MACHINE, kGrd);
  ASSERT_EQ(SetString(grd, "Name", "abcdef"), ERROR_SUCCESS);
  using Result = std::pair<LONG, DWORD>;  // the status, and the size as the call left it
  auto query = [&](const char* name, BYTE* data, DWORD size) {
    LONG status = twg::ProtRegQueryValueExA(grd, name, nullptr, nullptr, data, &size);
    return Result(status, size);
  };
  BYTE buffer[16];
  for (const char* reserved : {"CryptReg.KeyInfo", "cryptreg.keyinfo"}) {
    EXPECT_EQ(query(reserved, buffer, sizeof buffer).first, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(twg::ProtRegSetValueExA(grd, reserved, 0, REG_BINARY, buffer, 1), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Name", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(query("Name", nullptr, 0), Result(ERROR_MORE_DATA, 0)) << "size left unchanged";
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(query("Name", buffer, 6), Result(ERROR_MORE_DATA, 6));
  EXPECT_EQ(buffer[0], '#') << "nothing written when the buffer is short";
  EXPECT_EQ(query("Name", buffer, 7), Result(ERROR_SUCCESS, 7));
  EXPECT_EQ(query("Missing", buffer, sizeof buffer).first, ERROR_FILE_NOT_FOUND);
  const std::string large(2000, '\x5A');  // stored larger than the first read's buffer
  ASSERT_EQ(Set(grd, "Large", REG_BINARY, large), ERROR_SUCCESS);
  std::string back(2000, '\0');
  ASSERT_EQ(query("Large", reinterpret_cast<BYTE*>(&back[0]), 2000).first, ERROR_SUCCESS);
  EXPECT_EQ(back, large);

  twg::ScopedProtKey child = Create(grd, "LongerChildName");
  char name[32];
  auto enum_key = [&](DWORD size) {
    LONG status = twg::ProtRegEnumKeyExA(grd, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    return Result(status, size);
  };
  EXPECT_EQ(enum_key(15).first, ERROR_MORE_DATA) << "room for 14 characters and the NUL: one short";
  ASSERT_EQ(enum_key(16), Result(ERROR_SUCCESS, 15));
  EXPECT_STREQ(name, "LongerChildName");
  EXPECT_EQ(twg::ProtRegEnumKeyA(grd, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
}

// The record can sit anywhere in the registry's own order of value names; callers never see it.
TEST_F(ProtregStore, ValueEnumerationSkipsTheRecordWhereverItSits) {
  // Wine keeps a key's values in case-insensitive name order: names are picked so that 0 to 3 of
  // the encoded names sort before the record's.
  const std::string& record = *twg::KeyInfoValueName();
  std::vector<std::string> before, after;
  for (int i = 0; i < 400 && (before.size() < 3 || after.size() < 3); ++i) {
    std::string name = "v" + std::to_string(i);
    (_stricmp(Encoded(name).c_str(), record.c_str()) < 0 ? before : after).push_back(name);
  }
  ASSERT_TRUE(before.size() >= 3 && after.size() >= 3);
  std::set<DWORD> positions_seen;
  for (int k = 0; k <= 3; ++k) {
    SCOPED_TRACE("names before the record: " + std::to_string(k));
    const std::string sub = "Enum" + std::to_string(k), path = std::string(kGrd) + "\\" + sub;
    twg::ScopedProtKey key = Create(HKEY_LOCAL_MACHINE, path);
    std::set<std::string> mine;
    for (int v = 0; v < 3; ++v) {
      const std::string& name = v < k ? before[v] : after[v];
      mine.insert(name + "=" + name + "-data");
      ASSERT_EQ(SetString(key, name.c_str(), name + "-data"), ERROR_SUCCESS);
    }
    std::vector<std::string> raw = RawNames(HKEY_LOCAL_MACHINE, Sub(kGrd, sub), true);
    ASSERT_EQ(raw.size(), 4u);
    positions_seen.insert(static_cast<DWORD>(std::find(raw.begin(), raw.end(), record) - raw.begin()));
    Listing listed = EnumValues(Open(HKEY_LOCAL_MACHINE, path));
    EXPECT_EQ(listed.second, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(listed.first.size(), 3u);
    EXPECT_EQ(std::set<std::string>(listed.first.begin(), listed.first.end()), mine);
  }
  EXPECT_EQ(positions_seen, (std::set<DWORD>{0, 1, 2, 3})) << "the record did not sit at every position";
}

TEST_F(ProtregStore, WritesBehindTheStoresBackAreRefused) {
  twg::ScopedProtKey logs = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  ASSERT_EQ(SetString(logs, "Kept", "x"), ERROR_SUCCESS);
  ASSERT_EQ(Open(logs, "Missing", ERROR_FILE_NOT_FOUND).get(), nullptr) << "intact key: an honest 2";

  const std::string raw_logs = Sub(kGrd, "Logs");
  RegSetString(HKEY_LOCAL_MACHINE, raw_logs, "Planted", "y");  // behind the store's back
  EXPECT_EQ(SetString(logs, "Kept", "z"), ERROR_INVALID_DATA);
  EXPECT_EQ(SetString(logs, "New", "z"), ERROR_INVALID_DATA);
  EXPECT_EQ(twg::ProtRegDeleteValueA(logs, "Kept"), ERROR_INVALID_DATA);
  Create(logs, "Child", ERROR_INVALID_DATA);
  Open(logs, "Missing", ERROR_INVALID_DATA);
  twg::ScopedProtKey reader = Open(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  EXPECT_EQ(EnumValues(reader), Listing({}, ERROR_INVALID_DATA));
  char name[64];
  EXPECT_EQ(twg::ProtRegEnumKeyA(reader, 0, name, sizeof name), ERROR_INVALID_DATA);
  EXPECT_EQ(QueryString(logs, "Kept"), "x") << "reading an intact value still works";
  LONG status;
  QueryString(logs, "Missing", &status);
  EXPECT_EQ(status, ERROR_INVALID_DATA) << "a missing value of a tampered key";
  EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, raw_logs, Encoded("Kept")).exists);

  // A datum changed in place fails its seal.
  RegDeleteValue(HKEY_LOCAL_MACHINE, raw_logs, "Planted");
  RegValue stored = RegGet(HKEY_LOCAL_MACHINE, raw_logs, Encoded("Kept"));
  stored.data.back() ^= 1;
  RegSetBinary(HKEY_LOCAL_MACHINE, raw_logs, Encoded("Kept"), stored.data);
  QueryString(logs, "Kept", &status);
  EXPECT_EQ(status, ERROR_INVALID_DATA);
}

TEST_F(ProtregStore, CreatingBelowAMissingPrefixKeyNeedsTheAllowance) {
  const std::string sub = "Software\\Veltrane\\GRD\\Sub";
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  Create(HKEY_LOCAL_MACHINE, sub, ERROR_INVALID_DATA);
  Open(HKEY_LOCAL_MACHINE, sub, ERROR_INVALID_DATA);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kGrd));
  {
    CreationAllowance allow;
    Create(HKEY_LOCAL_MACHINE, sub);
  }
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L));
  EXPECT_EQ(RecordOf(Sub(kGrd, "Sub")), std::make_pair(0L, 1L));
  // A plain prefix key (no record) is not a store the layer writes into.
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  RegSetString(HKEY_LOCAL_MACHINE, kGrd, "Plain", "1");
  Create(HKEY_LOCAL_MACHINE, sub, ERROR_INVALID_DATA);
}

TEST_F(ProtregStore, LongPathsAreCreatedAndOpenedInPieces) {
  std::string full = kGrd, raw = kGrd;
  for (int i = 0; i < 8; ++i) {  // 8 encoded components of 48 characters: about 400 characters
    std::string component = "Component" + std::to_string(i) + "xxxx";
    full += "\\" + component;
    raw += "\\" + Encoded(component);
  }
  ASSERT_GT(raw.size(), 260u);
  DWORD disposition = 0;
  twg::ScopedProtKey leaf = Create(HKEY_LOCAL_MACHINE, full, ERROR_SUCCESS, &disposition);
  ASSERT_TRUE(leaf.valid());
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetString(leaf, "Deep", "value"), ERROR_SUCCESS);
  EXPECT_EQ(RecordOf(raw), std::make_pair(0L, 2L));
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L)) << "records along the whole path";
  EXPECT_EQ(QueryString(Open(HKEY_LOCAL_MACHINE, full), "Deep"), "value");
  Open(HKEY_LOCAL_MACHINE, full + "\\Missing", ERROR_FILE_NOT_FOUND);
  disposition = 0;
  Create(HKEY_LOCAL_MACHINE, full, ERROR_SUCCESS, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
}

// --- Security attributes -----------------------------------------------------------------------------

// The owner and the access list in their text form, e.g. "O:BAD:(A;;KA;;;BA)...": one comparison shows
// owner, kinds, masks, trustees and their order.
TEST(ProtregSecurity, BlockSetsOwnerAndAceOrderOnARealKey) {
  EXPECT_TRUE(twg::ProtRegIsAdmin()) << "Wine's user holds the Administrators alias";
  constexpr char kKey[] = "Software\\ProtregSecurity";
  constexpr SECURITY_INFORMATION kParts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  struct Case {
    LONG (*make)(LPSECURITY_ATTRIBUTES*);
    const char* everyone;
  } cases[] = {{twg::ProtRegMakeReadOnlySecurity, "KR"}, {twg::ProtRegMakeWritableSecurity, "CCDCSWRPRC"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.everyone);
    LPSECURITY_ATTRIBUTES block = reinterpret_cast<LPSECURITY_ATTRIBUTES>(1);
    ASSERT_EQ(c.make(&block), ERROR_SUCCESS);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(block->bInheritHandle);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kKey);
    twg::ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, block, key.Receive(), nullptr),
              ERROR_SUCCESS);
    // Wine's RegCreateKeyExA ignores the attributes' descriptor (Windows applies it); the nearest real
    // thing is to apply the same descriptor to the key and read back what the registry kept.
    ASSERT_EQ(RegSetKeySecurity(key, kParts, block->lpSecurityDescriptor), ERROR_SUCCESS);
    EXPECT_EQ(twg::ProtRegFreeSecurity(block), ERROR_SUCCESS);
    std::vector<BYTE> sd(4096);
    DWORD size = static_cast<DWORD>(sd.size());
    ASSERT_EQ(RegGetKeySecurity(key, kParts, sd.data(), &size), ERROR_SUCCESS);
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(sd.data(), SDDL_REVISION_1, kParts, &text,
                                                                     nullptr));
    EXPECT_EQ(std::string(text), "O:BAD:(A;;KA;;;BA)(A;;KA;;;CO)(A;;" + std::string(c.everyone) + ";;;WD)(A;;KA;;;SY)");
    LocalFree(text);
    key.reset();
    RegDeleteTree(HKEY_LOCAL_MACHINE, kKey);
  }
  EXPECT_EQ(twg::ProtRegFreeSecurity(nullptr), ERROR_SUCCESS);
}

// --- Fresh processes ------------------------------------------------------------------------------

// A test here arranges the machine, then runs again in a child copy of this runner whose store has not
// been used yet, where its checks run.
class ProtregFreshProcess : public testing::Test {
 protected:
  static bool InChild() { return std::getenv("TWG_PROTREG_CHILD") != nullptr; }
  static void RunInChild() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("TWG_PROTREG_CHILD", "1");
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    EXPECT_EQ(RunProcess("\"" + std::string(self) + "\" --gtest_filter=" + filter, 120000), 0) << filter;
    SetEnvironmentVariableA("TWG_PROTREG_CHILD", nullptr);
  }
  void TearDown() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kVelReg);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    RegDeleteTree(HKEY_CURRENT_USER, "Software\\ProtregPrefix");
    twg::WriteStoreKeyFile(kHalf);
  }
};

TEST_F(ProtregFreshProcess, DisabledStoreIsPlain) {
  if (!InChild()) {
    const std::string half(reinterpret_cast<const char*>(kHalf.data()), kHalf.size());
    // No key file, and one whose flag is off (a short one with the flag on is a store without a key).
    for (const std::string& bytes : {std::string(), std::string(4, '\0') + half}) {
      SCOPED_TRACE(bytes.size());
      DeleteFileA(twg::StoreKeyFilePath().c_str());
      if (!bytes.empty()) WriteFileText(twg::StoreKeyFilePath(), bytes);
      RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
      RunInChild();
    }
    return;
  }
  EXPECT_FALSE(twg::StoreEnabled());
  EXPECT_FALSE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, kGrd));
  ExpectPlainKey(HKEY_LOCAL_MACHINE, kGrd);

  // Without a whole key half there is no codec: the store's own calls fail with 8 and write nothing.
  bool whole_file = ReadFileText(twg::StoreKeyFilePath()).size() == 14;
  EXPECT_EQ(twg::StoreCodec() != nullptr, whole_file);
  if (!whole_file) {
    HKEY key = nullptr;
    EXPECT_EQ(twg::CryptRegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_READ, &key), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(twg::CryptRegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1),
              ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, "", "x").exists);
  }
}

TEST_F(ProtregFreshProcess, PrefixesFromVelReg) {
  if (!InChild()) {
    RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath1", "HKEY_CURRENT_USER\\Software\\ProtregPrefix");
    RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath2", "HKEY_LOCAL_MACHINE\\Software\\ProtregSecond");
    RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath4", "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD");
    return RunInChild();
  }
  ASSERT_TRUE(twg::StoreEnabled());
  const twg::PrefixList& list = twg::ProtectedPrefixes();
  ASSERT_EQ(list.size(), 2u) << "reading stops at the first missing number";
  EXPECT_EQ(list[0], "HKEY_CURRENT_USER\\Software\\ProtregPrefix");
  EXPECT_FALSE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, kGrd)) << "the default gave way to SpecialPath1";
  EXPECT_TRUE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, "Software\\ProtregSecond"));
  twg::ScopedProtKey key;
  {
    CreationAllowance allow;
    key = Create(HKEY_CURRENT_USER, "Software\\ProtregPrefix\\Inner");
  }
  ASSERT_TRUE(key.valid());
  EXPECT_EQ(twg::AsProtKey(key)->isProtected, 1u);
  EXPECT_EQ(RawNames(HKEY_CURRENT_USER, "Software\\ProtregPrefix", false),
            std::vector<std::string>{Encoded("Inner")});
}

TEST_F(ProtregFreshProcess, FirstUseFromManyThreads) {
  if (!InChild()) {
    ASSERT_EQ(SetString(CreateStoreRoot(), "Shared", "same for all"), ERROR_SUCCESS);
    return RunInChild();
  }
  constexpr int kThreads = 8;
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      WaitForSingleObject(go, INFINITE);
      twg::ScopedProtKey grd;
      LONG status = twg::ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_READ, grd.Receive());
      results[i] = status == ERROR_SUCCESS ? QueryString(grd, "Shared", &status) : "";
      if (status != ERROR_SUCCESS) results[i] = "error " + std::to_string(status);
    });
  }
  SetEvent(go);
  for (auto& t : threads) t.join();
  CloseHandle(go);
  EXPECT_EQ(results, std::vector<std::string>(kThreads, "same for all"));
}

// --- CheckEULA in real sessions -----------------------------------------------------------------------

class ProtregCheckEula : public testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    twg::WriteStoreKeyFile(kHalf);
  }
};

// Without a key file the store is off and the plain value is read; with one, only the sealed value is.
TEST_F(ProtregCheckEula, AcceptsOnlyTheValueOne) {
  struct Case {
    const char* what;
    bool key_file;
    const char *stored, *plain;  // written through the store; straight into the registry
    bool tamper;
    const char* noeula;
  } cases[] = {
      {"no key", false, nullptr, nullptr, false, "1"},
      {"plain 1", false, nullptr, "1", false, ""},
      {"plain 0", false, nullptr, "0", false, "1"},
      {"stored 1", true, "1", nullptr, false, ""},
      {"a tamperer's plain 1 is not the stored value", true, "1 ", "1", false, "1"},
      {"a tampered datum", true, "1", nullptr, true, "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    if (c.key_file) {
      ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    } else {
      DeleteFileA(twg::StoreKeyFilePath().c_str());
    }
    if (c.stored) ASSERT_EQ(SetString(CreateStoreRoot(), "TWGEULA", c.stored), ERROR_SUCCESS);
    if (c.plain) RegSetString(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA", c.plain);
    if (c.tamper) {
      RegValue stored = RegGet(HKEY_LOCAL_MACHINE, kGrd, Encoded("TWGEULA"));
      ASSERT_TRUE(stored.exists);
      stored.data[25] ^= 0x40;
      RegSetBinary(HKEY_LOCAL_MACHINE, kGrd, Encoded("TWGEULA"), stored.data);
    }
    ActionRun run = RunAction("CheckEULA", {{"NOEULA", "stale"}}, {"NOEULA"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["NOEULA"], c.noeula);
  }
}

}  // namespace
