// The protected store and its access layer against the real registry under Wine. The store's API has no
// exports, so its sources are linked into this runner and called directly; CheckEULA runs as a real
// custom action, whose server process reads "SR.dat" afresh. States that a process fixes at first use
// (store disabled, the prefix list, first use from many threads) are run in a child copy of this
// runner started on a prepared machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"
#include "protreg/crypt_reg.h"
#include "protreg/key_info.h"
#include "protreg/prot_key.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

#include <sddl.h>

using namespace harness;

namespace {

constexpr char kVeltrane[] = "Software\\Veltrane";
constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kVelReg[] = "Software\\Veltrane\\VelReg";
const twg::KeyHalf kHalf = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

// --- Helpers --------------------------------------------------------------------------------------

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
  std::string data(256, '\0');
  DWORD size = static_cast<DWORD>(data.size()), type = 0;
  twg::KeyCounts counts;
  if (!key.valid() ||
      RegQueryValueExA(key, twg::KeyInfoValueName()->c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                       &size) != ERROR_SUCCESS ||
      type != REG_BINARY ||
      !twg::DecodeKeyInfo(*twg::StoreCodec(), reinterpret_cast<std::uint8_t*>(&data[0]), size, &counts)) {
    return {-1, -1};
  }
  return {static_cast<long>(counts.subkeys), static_cast<long>(counts.values)};
}

std::vector<std::string> RawValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  twg::ScopedRegKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

std::vector<std::string> RawSubkeys(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  twg::ScopedRegKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return names;
  char name[1024];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.emplace_back(name);
  return names;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
  return twg::ProtRegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
}

std::string QueryString(HKEY key, const char* name, LONG* status = nullptr, DWORD* type_out = nullptr) {
  char buffer[512] = {};
  DWORD size = sizeof buffer, type = 0;
  LONG s = twg::ProtRegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (status) *status = s;
  if (type_out) *type_out = type;
  return s == ERROR_SUCCESS ? std::string(buffer, size ? size - 1 : 0) : std::string();
}

void WriteKeyFileBytes(const std::string& bytes) {
  WriteFileText(twg::StoreKeyFilePath(), bytes);
}

std::string KeyFileBytes(std::uint32_t flag, const twg::KeyHalf& half) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(flag >> (8 * i));
  bytes.append(reinterpret_cast<const char*>(half.data()), half.size());
  return bytes;
}

// Creates the prefix key through the store (the allowance lets it create a missing one), so the test
// starts from an intact, empty store.
twg::ScopedProtKey CreateStoreRoot() {
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey grd;
  LONG status = twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                         grd.Receive(), nullptr);
  twg::LowerCreationAllowance();
  EXPECT_EQ(status, ERROR_SUCCESS);
  return grd;
}

// Starts this runner again on one child test; the child's result is its exit code.
int RunChild(const std::string& test) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  SetEnvironmentVariableA("TWG_PROTREG_CHILD", "1");
  int code = RunProcess("\"" + std::string(self) + "\" --gtest_filter=" + test, 120000);
  SetEnvironmentVariableA("TWG_PROTREG_CHILD", nullptr);
  return code;
}

bool InChild() { return std::getenv("TWG_PROTREG_CHILD") != nullptr; }

// --- The enabled store, in this process ------------------------------------------------------------

// Every test starts from an intact, empty prefix key made by the store itself.
class ProtregStore : public testing::Test {
 protected:
  void SetUp() override {
    if (InChild()) GTEST_SKIP() << "parent-only";
    ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    ASSERT_TRUE(CreateStoreRoot().valid());
  }
  void TearDown() override { RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd); }

  twg::ScopedProtKey Create(HKEY parent, const char* subkey, LONG expect = ERROR_SUCCESS) {
    twg::ScopedProtKey key;
    EXPECT_EQ(twg::ProtRegCreateKeyExA(parent, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                                       nullptr),
              expect)
        << subkey;
    return key;
  }
  twg::ScopedProtKey Open(HKEY parent, const char* subkey, LONG expect = ERROR_SUCCESS) {
    twg::ScopedProtKey key;
    EXPECT_EQ(twg::ProtRegOpenKeyExA(parent, subkey, 0, KEY_ALL_ACCESS, key.Receive()), expect) << subkey;
    return key;
  }
};

TEST_F(ProtregStore, LayerRoutesByPrefix) {
  twg::ScopedProtKey veltrane = Open(HKEY_LOCAL_MACHINE, kVeltrane);
  ASSERT_TRUE(veltrane.valid());
  EXPECT_EQ(twg::AsProtKey(veltrane)->isProtected, 0u);
  EXPECT_EQ(twg::AsProtKey(veltrane)->path, "HKEY_LOCAL_MACHINE\\Software\\Veltrane");
  twg::ScopedProtKey grd = Open(veltrane, "GRD");
  ASSERT_TRUE(grd.valid());
  EXPECT_EQ(twg::AsProtKey(grd)->isProtected, 1u);
  twg::ScopedProtKey logs = Create(grd, "Logs");
  EXPECT_EQ(twg::AsProtKey(logs)->isProtected, 1u);
  EXPECT_EQ(twg::AsProtKey(logs)->path, "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD\\Logs");

  // A sibling whose name only begins like the prefix stays plain, even with the store enabled.
  twg::ScopedProtKey tmp = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD.tmp");
  EXPECT_EQ(twg::AsProtKey(tmp)->isProtected, 0u);
  EXPECT_EQ(SetString(tmp, "InstallDir", "C:\\x\\"), ERROR_SUCCESS);
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD.tmp", "InstallDir").text(), "C:\\x\\");
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD.tmp", *twg::KeyInfoValueName()).exists);
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD.tmp");
}

TEST_F(ProtregStore, StoresEncodedNamesSealedDataAndRecords) {
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(0L, 1L)) << "a fresh key counts its record as its only value";
  twg::ScopedProtKey logs = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  std::vector<std::string> subkeys = RawSubkeys(HKEY_LOCAL_MACHINE, kGrd);
  ASSERT_EQ(subkeys.size(), 1u);
  EXPECT_EQ(subkeys[0].size(), 40u);
  EXPECT_EQ(subkeys[0], Encoded("Logs"));
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L));
  std::string logs_raw = Sub(kGrd, "Logs");
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, 1L));

  const DWORD dword = 0x01020304;
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    DWORD stored_type;
  } cases[] = {{"TWGEULA", REG_SZ, std::string("1\0", 2), REG_BINARY},
               {"Counter", REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), 4), REG_BINARY},
               {"Blob", REG_BINARY, std::string("\0\x01\xFF", 3), REG_BINARY},
               {"", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), REG_SZ}};
  long values = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(twg::ProtRegSetValueExA(logs, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                                      static_cast<DWORD>(c.data.size())),
              ERROR_SUCCESS);
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
  EXPECT_EQ(RawValueNames(HKEY_LOCAL_MACHINE, logs_raw).size(), 5u);

  // Delete and set again: the counts come back to the same, consistent record.
  ASSERT_EQ(twg::ProtRegDeleteValueA(logs, "Counter"), ERROR_SUCCESS);
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, values - 1));
  ASSERT_EQ(twg::ProtRegSetValueExA(logs, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(RecordOf(logs_raw), std::make_pair(0L, values));
  DWORD reported = 0;
  ASSERT_EQ(twg::ProtRegQueryInfoKeyA(logs, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &reported,
                                      nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(reported, 4u) << "the record is not counted";

  // Deleting the leaf rewrites its parent's record.
  logs.reset();
  ASSERT_EQ(twg::ProtRegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs\\"), ERROR_SUCCESS);
  EXPECT_TRUE(RawSubkeys(HKEY_LOCAL_MACHINE, kGrd).empty());
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(0L, 1L));
}

TEST_F(ProtregStore, ArgumentRulesAndBufferSizes) {
  twg::ScopedProtKey grd = Open(HKEY_LOCAL_MACHINE, kGrd);
  ASSERT_EQ(SetString(grd, "Name", "abcdef"), ERROR_SUCCESS);
  BYTE buffer[16];
  DWORD size = 0;
  for (const char* reserved : {"CryptReg.KeyInfo", "cryptreg.keyinfo"}) {
    size = sizeof buffer;
    EXPECT_EQ(twg::ProtRegQueryValueExA(grd, reserved, nullptr, nullptr, buffer, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(twg::ProtRegSetValueExA(grd, reserved, 0, REG_BINARY, buffer, 1), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Name", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  size = 0;
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Name", nullptr, nullptr, nullptr, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 0u) << "size left unchanged";
  std::memset(buffer, '#', sizeof buffer);
  size = 6;
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Name", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(buffer[0], '#') << "nothing written on 234";
  size = 7;
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Name", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);
  size = sizeof buffer;
  EXPECT_EQ(twg::ProtRegQueryValueExA(grd, "Missing", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
  std::string large(2000, '\x5A');  // stored larger than the first read's buffer
  ASSERT_EQ(twg::ProtRegSetValueExA(grd, "Large", 0, REG_BINARY, reinterpret_cast<const BYTE*>(large.data()), 2000),
            ERROR_SUCCESS);
  std::string back(2000, '\0');
  size = 2000;
  ASSERT_EQ(twg::ProtRegQueryValueExA(grd, "Large", nullptr, nullptr, reinterpret_cast<BYTE*>(&back[0]), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(back, large);

  twg::ScopedProtKey child = Create(grd, "LongerChildName");
  char name[32];
  DWORD name_size = 15;  // room for 14 characters and the NUL: one short
  EXPECT_EQ(twg::ProtRegEnumKeyExA(grd, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  name_size = 16;
  ASSERT_EQ(twg::ProtRegEnumKeyExA(grd, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "LongerChildName");
  EXPECT_EQ(name_size, 15u);
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
  ASSERT_GE(before.size(), 3u);
  ASSERT_GE(after.size(), 3u);
  std::set<DWORD> positions_seen;
  for (int k = 0; k <= 3; ++k) {
    SCOPED_TRACE("names before the record: " + std::to_string(k));
    std::string sub = "Enum" + std::to_string(k);
    std::string path = std::string(kGrd) + "\\" + sub;
    twg::ScopedProtKey key = Create(HKEY_LOCAL_MACHINE, path.c_str());
    std::set<std::string> mine;
    for (int v = 0; v < 3; ++v) {
      std::string name = v < k ? before[v] : after[v];
      mine.insert(name);
      ASSERT_EQ(SetString(key, name.c_str(), name + "-data"), ERROR_SUCCESS);
    }
    std::vector<std::string> raw = RawValueNames(HKEY_LOCAL_MACHINE, Sub(kGrd, sub));
    ASSERT_EQ(raw.size(), 4u);
    DWORD at = 0;
    while (at < raw.size() && raw[at] != record) ++at;
    positions_seen.insert(at);
    twg::ScopedProtKey reader = Open(HKEY_LOCAL_MACHINE, path.c_str());
    std::set<std::string> seen;
    for (DWORD i = 0; i < 3; ++i) {
      char name[64], data[64];
      DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
      ASSERT_EQ(twg::ProtRegEnumValueA(reader, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                       &data_size),
                ERROR_SUCCESS)
          << i;
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(std::string(data), std::string(name) + "-data");
      seen.insert(name);
    }
    EXPECT_EQ(seen, mine);
    char name[64];
    DWORD name_size = sizeof name;
    EXPECT_EQ(twg::ProtRegEnumValueA(reader, 3, name, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
  }
  EXPECT_EQ(positions_seen, (std::set<DWORD>{0, 1, 2, 3})) << "the record did not sit at every position";
}

TEST_F(ProtregStore, WritesBehindTheStoresBackAreRefused) {
  twg::ScopedProtKey logs = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  ASSERT_EQ(SetString(logs, "Kept", "x"), ERROR_SUCCESS);
  ASSERT_EQ(Open(logs, "Missing", ERROR_FILE_NOT_FOUND).get(), nullptr) << "intact key: an honest 2";

  RegSetString(HKEY_LOCAL_MACHINE, Sub(kGrd, "Logs"), "Planted", "y");  // behind the store's back
  EXPECT_EQ(SetString(logs, "Kept", "z"), ERROR_INVALID_DATA);
  EXPECT_EQ(SetString(logs, "New", "z"), ERROR_INVALID_DATA);
  EXPECT_EQ(twg::ProtRegDeleteValueA(logs, "Kept"), ERROR_INVALID_DATA);
  Create(logs, "Child", ERROR_INVALID_DATA);
  Open(logs, "Missing", ERROR_INVALID_DATA);
  twg::ScopedProtKey reader = Open(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Logs");
  char name[64];
  DWORD name_size = sizeof name;
  EXPECT_EQ(twg::ProtRegEnumValueA(reader, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_DATA);
  EXPECT_EQ(twg::ProtRegEnumKeyA(reader, 0, name, sizeof name), ERROR_INVALID_DATA);
  EXPECT_EQ(QueryString(logs, "Kept"), "x") << "reading an intact value still works";
  LONG status;
  QueryString(logs, "Missing", &status);
  EXPECT_EQ(status, ERROR_INVALID_DATA) << "a missing value of a tampered key";
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, Sub(kGrd, "Logs"), Encoded("Kept")).exists, true);

  // A datum changed in place fails its seal.
  std::string raw_logs = Sub(kGrd, "Logs");
  RegDeleteValue(HKEY_LOCAL_MACHINE, raw_logs, "Planted");
  RegValue stored = RegGet(HKEY_LOCAL_MACHINE, raw_logs, Encoded("Kept"));
  stored.data[stored.data.size() - 1] ^= 1;
  RegSetBinary(HKEY_LOCAL_MACHINE, raw_logs, Encoded("Kept"), stored.data);
  QueryString(logs, "Kept", &status);
  EXPECT_EQ(status, ERROR_INVALID_DATA);
}

TEST_F(ProtregStore, CreatingBelowAMissingPrefixKeyNeedsTheAllowance) {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Sub", ERROR_INVALID_DATA);
  Open(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Sub", ERROR_INVALID_DATA);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kGrd));
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey sub = Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Sub");
  twg::LowerCreationAllowance();
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L));
  EXPECT_EQ(RecordOf(Sub(kGrd, "Sub")), std::make_pair(0L, 1L));
  // A plain prefix key (no record) is not a store the layer writes into.
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  RegSetString(HKEY_LOCAL_MACHINE, kGrd, "Plain", "1");
  Create(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\Sub", ERROR_INVALID_DATA);
}

TEST_F(ProtregStore, LongPathsAreCreatedAndOpenedInPieces) {
  std::string plain, raw = kGrd;
  for (int i = 0; i < 8; ++i) {  // 8 encoded components of 48 characters: about 400 characters
    std::string component = "Component" + std::to_string(i) + "xxxx";
    plain += "\\" + component;
    raw += "\\" + Encoded(component);
  }
  std::string full = std::string(kGrd) + plain;
  ASSERT_GT(raw.size(), 260u);
  DWORD disposition = 0;
  twg::ScopedProtKey leaf;
  ASSERT_EQ(twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     leaf.Receive(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetString(leaf, "Deep", "value"), ERROR_SUCCESS);
  EXPECT_TRUE(RawOpen(HKEY_LOCAL_MACHINE, raw).valid());
  EXPECT_EQ(RecordOf(raw), std::make_pair(0L, 2L));
  EXPECT_EQ(RecordOf(kGrd), std::make_pair(1L, 1L)) << "records along the whole path";
  twg::ScopedProtKey again = Open(HKEY_LOCAL_MACHINE, full.c_str());
  EXPECT_EQ(QueryString(again, "Deep"), "value");
  Open(HKEY_LOCAL_MACHINE, (full + "\\Missing").c_str(), ERROR_FILE_NOT_FOUND);
  disposition = 0;
  twg::ScopedProtKey existing;
  ASSERT_EQ(twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     existing.Receive(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
}

TEST_F(ProtregStore, PlainKeysOutsideThePrefixesStayPlain) {
  twg::ScopedProtKey key = Create(HKEY_CURRENT_USER, "Software\\ProtregPlain");
  ASSERT_TRUE(key.valid());
  EXPECT_EQ(twg::AsProtKey(key)->isProtected, 0u);
  const DWORD one = 1;
  ASSERT_EQ(twg::ProtRegSetValueExA(key, "Flag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
  RegValue raw = RegGet(HKEY_CURRENT_USER, "Software\\ProtregPlain", "Flag");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
  char name[32];
  DWORD name_size = sizeof name, type = 0, value = 0, size = 4;
  EXPECT_EQ(twg::ProtRegEnumValueA(key, 0, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Flag");
  key.reset();
  EXPECT_EQ(twg::ProtRegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ProtregPlain"), ERROR_SUCCESS);
}

// --- Security helpers --------------------------------------------------------------------------------

TEST(ProtregSecurity, BlockSetsOwnerAndAceOrderOnARealKey) {
  if (InChild()) GTEST_SKIP();
  EXPECT_TRUE(twg::ProtRegIsAdmin()) << "Wine's user holds the Administrators alias";
  struct Case {
    LONG (*make)(LPSECURITY_ATTRIBUTES*);
    DWORD everyone;
  } cases[] = {{twg::ProtRegMakeReadOnlySecurity, 0x20019}, {twg::ProtRegMakeWritableSecurity, 0x2001B}};
  for (const auto& c : cases) {
    LPSECURITY_ATTRIBUTES block = reinterpret_cast<LPSECURITY_ATTRIBUTES>(1);
    ASSERT_EQ(c.make(&block), ERROR_SUCCESS);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->nLength, sizeof(SECURITY_ATTRIBUTES)) << "12 in the 32-bit library";
    EXPECT_FALSE(block->bInheritHandle);
    twg::ScopedRegKey key;
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\ProtregSecurity");
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ProtregSecurity", 0, nullptr, 0, KEY_ALL_ACCESS, block,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    // Wine's RegCreateKeyExA ignores the attributes' descriptor (Windows applies it); the nearest real
    // thing is to apply the same descriptor to the key and read back what the registry kept.
    ASSERT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                block->lpSecurityDescriptor),
              ERROR_SUCCESS);
    EXPECT_EQ(twg::ProtRegFreeSecurity(block), ERROR_SUCCESS);

    std::vector<BYTE> sd(4096);
    DWORD size = static_cast<DWORD>(sd.size());
    ASSERT_EQ(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd.data(), &size),
              ERROR_SUCCESS);
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), &owner, &defaulted));
    PSID admins = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
    EXPECT_TRUE(owner && EqualSid(owner, admins));
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    ASSERT_EQ(dacl->AceCount, 4);
    const char* want_sids[] = {"S-1-5-32-544", "S-1-3-0", "S-1-1-0", "S-1-5-18"};
    DWORD want_masks[] = {0xF003F, 0xF003F, c.everyone, 0xF003F};
    for (DWORD i = 0; i < 4; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
      EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      EXPECT_EQ(ace->Mask, want_masks[i]) << i;
      PSID want = nullptr;
      ASSERT_TRUE(ConvertStringSidToSidA(want_sids[i], &want));
      EXPECT_TRUE(EqualSid(&ace->SidStart, want)) << want_sids[i];
      LocalFree(want);
    }
    FreeSid(admins);
    key.reset();
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\ProtregSecurity");
  }
  EXPECT_EQ(twg::ProtRegFreeSecurity(nullptr), ERROR_SUCCESS);
}

// --- Fresh processes ------------------------------------------------------------------------------

class ProtregProcess : public testing::Test {
 protected:
  void SetUp() override {
    if (InChild()) GTEST_SKIP() << "parent-only";
  }
  void TearDown() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kVelReg);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    RegDeleteTree(HKEY_CURRENT_USER, "Software\\ProtregPrefix");
    twg::WriteStoreKeyFile(kHalf);
  }
};

TEST_F(ProtregProcess, DisabledStore) {
  for (const std::string& bytes : {std::string(), KeyFileBytes(0, kHalf), KeyFileBytes(1, kHalf).substr(0, 9)}) {
    SCOPED_TRACE(bytes.size());
    DeleteFileA(twg::StoreKeyFilePath().c_str());
    if (!bytes.empty()) WriteKeyFileBytes(bytes);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    EXPECT_EQ(RunChild("ProtregChild.DisabledStoreIsPlain"), 0);
  }
}

TEST_F(ProtregProcess, PrefixesFromVelReg) {
  RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath1", "HKEY_CURRENT_USER\\Software\\ProtregPrefix");
  RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath2", "HKEY_LOCAL_MACHINE\\Software\\ProtregSecond");
  RegSetString(HKEY_LOCAL_MACHINE, kVelReg, "SpecialPath4", "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD");
  EXPECT_EQ(RunChild("ProtregChild.PrefixesFromVelReg"), 0);
}

TEST_F(ProtregProcess, FirstUseFromManyThreads) {
  ASSERT_EQ(SetString(CreateStoreRoot(), "Shared", "same for all"), ERROR_SUCCESS);
  EXPECT_EQ(RunChild("ProtregChild.FirstUseFromManyThreads"), 0);
}

// Run only as children, each in a process whose store has not been used yet.
class ProtregChild : public testing::Test {
 protected:
  void SetUp() override {
    if (!InChild()) GTEST_SKIP() << "runs in a child process";
  }
};

TEST_F(ProtregChild, DisabledStoreIsPlain) {
  EXPECT_FALSE(twg::StoreEnabled());
  EXPECT_FALSE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, kGrd));
  twg::ScopedProtKey grd;
  ASSERT_EQ(twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, grd.Receive(),
                                     nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(twg::AsProtKey(grd)->isProtected, 0u);
  const DWORD one = 1;
  ASSERT_EQ(twg::ProtRegSetValueExA(grd, "TWGEULA", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_SUCCESS);
  RegValue raw = RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD)) << "a plain value of the caller's type";
  EXPECT_EQ(RawValueNames(HKEY_LOCAL_MACHINE, kGrd).size(), 1u) << "no record";

  // Without a whole key half the store itself can encode nothing: 8, and nothing changes.
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

TEST_F(ProtregChild, PrefixesFromVelReg) {
  ASSERT_TRUE(twg::StoreEnabled());
  const twg::PrefixList& list = twg::ProtectedPrefixes();
  ASSERT_EQ(list.size(), 2u) << "reading stops at the first missing number";
  EXPECT_EQ(list[0], "HKEY_CURRENT_USER\\Software\\ProtregPrefix");
  EXPECT_FALSE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, kGrd)) << "the default gave way to SpecialPath1";
  EXPECT_TRUE(twg::IsProtectedCall(HKEY_LOCAL_MACHINE, "Software\\ProtregSecond"));
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey key;
  ASSERT_EQ(twg::ProtRegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ProtregPrefix\\Inner", 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  twg::LowerCreationAllowance();
  EXPECT_EQ(twg::AsProtKey(key)->isProtected, 1u);
  std::vector<std::string> raw = RawSubkeys(HKEY_CURRENT_USER, "Software\\ProtregPrefix");
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0], Encoded("Inner"));
}

TEST_F(ProtregChild, FirstUseFromManyThreads) {
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
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(results[i], "same for all") << i;
}

// --- CheckEULA in real sessions -----------------------------------------------------------------------

class ProtregCheckEula : public testing::Test {
 protected:
  void SetUp() override {
    if (InChild()) GTEST_SKIP();
    ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  }
  void TearDown() override {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    twg::WriteStoreKeyFile(kHalf);
  }
  std::string NoEula() {
    ActionRun run = RunAction("CheckEULA", {{"NOEULA", "stale"}}, {"NOEULA"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    return run.properties["NOEULA"];
  }
  void StoreValue(const std::string& text) { ASSERT_EQ(SetString(CreateStoreRoot(), "TWGEULA", text), ERROR_SUCCESS); }
};

TEST_F(ProtregCheckEula, PlainStore) {
  DeleteFileA(twg::StoreKeyFilePath().c_str());
  EXPECT_EQ(NoEula(), "1") << "no key";
  struct Case {
    const char* text;
    const char* noeula;
  } cases[] = {{"1", ""}, {"1 ", "1"}, {"0", "1"}, {"", "1"}};
  for (const auto& c : cases) {
    RegSetString(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA", c.text);
    EXPECT_EQ(NoEula(), c.noeula) << "'" << c.text << "'";
  }
}

TEST_F(ProtregCheckEula, ProtectedStore) {
  struct Case {
    const char* text;
    const char* noeula;
  } cases[] = {{"1", ""}, {"1 ", "1"}};
  for (const auto& c : cases) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    StoreValue(c.text);
    EXPECT_EQ(NoEula(), c.noeula) << "'" << c.text << "'";
  }
  // The plain value a tamperer would write is not read as the stored one.
  RegSetString(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA", "1");
  EXPECT_EQ(NoEula(), "1");
  RegDeleteValue(HKEY_LOCAL_MACHINE, kGrd, "TWGEULA");
  StoreValue("1");
  RegValue stored = RegGet(HKEY_LOCAL_MACHINE, kGrd, Encoded("TWGEULA"));
  ASSERT_TRUE(stored.exists);
  stored.data[25] ^= 0x40;
  RegSetBinary(HKEY_LOCAL_MACHINE, kGrd, Encoded("TWGEULA"), stored.data);
  EXPECT_EQ(NoEula(), "1") << "a tampered datum";
}

}  // namespace
