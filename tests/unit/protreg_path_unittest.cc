// Key-path arithmetic of the protected store and the integrity record's rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protreg/codec/key_info.h"
#include "protreg/codec/key_path.h"

namespace twg {
namespace {

TEST(ProtregPrefix, CoversThePrefixKeyAndBelowOnly) {
  const std::string grd = "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD";
  struct Case {
    std::string path;
    bool covered;
  } cases[] = {{grd, true},
               {grd + "\\Logs", true},
               {"hkey_local_machine\\SOFTWARE\\veltrane\\grd\\x", true},
               {grd + ".tmp", false},
               {grd + "X\\Logs", false},
               {"HKEY_LOCAL_MACHINE\\Software\\Veltrane", false},
               {"HKEY_CURRENT_USER\\Software\\Veltrane\\GRD", false}};
  for (const auto& c : cases) EXPECT_EQ(IsUnderPrefix(c.path, grd), c.covered) << c.path;
  PrefixList list;
  list.Add("HKEY_CURRENT_USER\\A");
  list.Add("HKEY_CURRENT_USER\\A\\B");
  ASSERT_NE(list.Covering("HKEY_CURRENT_USER\\A\\B\\C"), nullptr);
  EXPECT_EQ(*list.Covering("HKEY_CURRENT_USER\\A\\B\\C"), "HKEY_CURRENT_USER\\A") << "first match wins";
  EXPECT_EQ(list.Covering("HKEY_CURRENT_USER\\AB"), nullptr);
}

TEST(ProtregPrefix, JoinDropsOuterBackslashes) {
  struct Case {
    const char *parent, *child, *joined;
  } cases[] = {{"HKEY_LOCAL_MACHINE", "Software", "HKEY_LOCAL_MACHINE\\Software"},
               {"\\A\\", "\\\\B\\C\\", "A\\B\\C"},
               {"", "\\B", "B"},
               {"A", "", "A"},
               {"", "", ""}};
  for (const auto& c : cases) EXPECT_EQ(JoinKeyPath(c.parent, c.child), c.joined) << c.parent << "|" << c.child;
}

TEST(ProtregPrefix, PlanFindsTheProtectedStart) {
  PrefixList list;
  list.Add(PrefixList::kDefault);
  struct Case {
    const char* handle;
    const char* subkey;
    bool covered;
    const char* planned;
    std::size_t start;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE", "Software\\Veltrane\\GRD\\Logs", true, "Software\\Veltrane\\GRD\\Logs", 21},
      {"HKEY_LOCAL_MACHINE", "\\Software\\Veltrane\\GRD\\", true, "Software\\Veltrane\\GRD", 21},
      {"HKEY_LOCAL_MACHINE\\Software\\Veltrane", "GRD\\Logs", true, "GRD\\Logs", 3},
      {"HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD", "Logs", true, "Logs", 0},
      {"HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD\\Logs", "A\\B", true, "A\\B", 0},
      {"HKEY_LOCAL_MACHINE", "Software\\Veltrane\\GRD.tmp\\X", false, "Software\\Veltrane\\GRD.tmp\\X", 27},
      {"HKEY_CURRENT_USER", "\\\\Software", false, "Software", 8},
  };
  for (const auto& c : cases) {
    KeyPathPlan plan = PlanKeyPath(list, c.handle, c.subkey);
    EXPECT_EQ(plan.protected_path, c.covered) << c.subkey;
    EXPECT_EQ(plan.subkey, c.planned) << c.subkey;
    EXPECT_EQ(plan.start, c.start) << c.subkey;
  }
}

TEST(ProtregLongPath, CutsBeforeTheLimit) {
  LeadBytes sjis{{0x81, 0x9F}, {0xE0, 0xFC}};
  std::string a(200, 'a'), b(100, 'b'), c(300, 'c');
  struct Case {
    std::string path;
    std::vector<std::string> pieces;
  } cases[] = {
      {a, {a}},
      {a + "\\" + b, {a, b}},                             // 301 characters: cut at the backslash
      {std::string(259, 'x') + "\\y", {std::string(259, 'x'), "y"}},
      {a + "\\" + std::string(59, 'x'), {a + "\\" + std::string(59, 'x')}},  // 260 with a separator: whole
      {c, {c}},                                           // no backslash: whole
      {c + "\\" + b, {c, b}},                             // none before the limit: the first after it
      {a + "\\" + a + "\\" + a, {a, a, a}},
      {"k\\" + a + "\\" + b, {"k\\" + a, b}},
      // a double-byte character whose trail byte is 0x5C straddling the limit is not a separator
      {std::string(258, 'x') + "\x95\\" + "tail\\z" + std::string(10, 'q'),
       {std::string(258, 'x') + "\x95\\" + "tail", "z" + std::string(10, 'q')}},
  };
  for (const auto& c : cases) {
    std::vector<std::string_view> got = SplitLongPath(sjis, c.path);
    std::vector<std::string> pieces(got.begin(), got.end());
    EXPECT_EQ(pieces, c.pieces) << c.path.size();
  }
}

TEST(ProtregKeyInfo, RecordRulesAndReservedName) {
  EXPECT_EQ(RecordToWrite({0, 0}), (KeyCounts{0, 1}));
  EXPECT_EQ(RecordToWrite({2, 5}), (KeyCounts{2, 5}));
  auto packed = PackKeyInfo({0x01020304, 0x0A0B0C0D});
  EXPECT_EQ(packed, (std::array<std::uint8_t, 8>{4, 3, 2, 1, 0x0D, 0x0C, 0x0B, 0x0A}));
  for (const char* name : {"CryptReg.KeyInfo", "cryptreg.keyinfo", "CRYPTREG.KEYINFO"}) {
    EXPECT_TRUE(IsKeyInfoName(name)) << name;
  }
  for (const char* name : {"CryptReg.KeyInf", "CryptReg.KeyInfo ", "", "CryptReg_KeyInfo"}) {
    EXPECT_FALSE(IsKeyInfoName(name)) << name;
  }
}

}  // namespace
}  // namespace twg
