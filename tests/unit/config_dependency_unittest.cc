#include <gtest/gtest.h>

#include <string>

#include "config/dependency_list.h"

namespace twg {
namespace {

// Lists are written with '|' for each zero byte, final zero included, so that a table row shows them whole.
std::string L(const char* text) {
  std::string s(text);
  for (char& c : s) {
    if (c == '|') c = '\0';
  }
  return s;
}

TEST(DependencyList, AppendAddsOnceBehindTheLastName) {
  struct Case {
    const char* list;
    const char* expected;
  } cases[] = {
      {"|", "TWGUM||"},
      {"LanmanWorkstation|NetBIOS||", "LanmanWorkstation|NetBIOS|TWGUM||"},
  };
  for (const Case& c : cases) {
    const std::string list = L(c.list);
    EXPECT_FALSE(ContainsName(list.c_str(), "twgum"));
    EXPECT_EQ(WithNameAppended(list.c_str(), "TWGUM"), L(c.expected));
  }
  EXPECT_TRUE(ContainsName(L("A|tWgUm||").c_str(), "TWGUM"));
  EXPECT_FALSE(ContainsName(L("TWGUMX||").c_str(), "TWGUM"));
}

TEST(DependencyList, RemoveKeepsOrderAndEndsWithOneZero) {
  struct Case {
    const char* list;
    RemoveWhich which;
    bool found;
    const char* expected;
  } cases[] = {
      {"A|twgum|B||", RemoveWhich::kFirst, true, "A|B||"},
      {"TWGUM||", RemoveWhich::kFirst, true, "|"},  // the empty list is a single zero byte
      {"A|B||", RemoveWhich::kFirst, false, ""},
      {"|", RemoveWhich::kEvery, false, ""},
      {"X|TWGUM|Y|TWGUM||", RemoveWhich::kFirst, true, "X|Y|TWGUM||"},
      {"X|TWGUM|Y|TWGUM||", RemoveWhich::kEvery, true, "X|Y||"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    std::string out = "untouched";
    EXPECT_EQ(WithoutName(L(c.list).c_str(), "TWGUM", c.which, &out), c.found);
    EXPECT_EQ(out, c.found ? L(c.expected) : "untouched");
  }
}

TEST(DependencyList, AddThenRemoveRestoresTheListByteForByte) {
  const std::string original = L("LanmanWorkstation|NetBIOS||");
  std::string list = original;
  for (const char* name : {"TWGUM", "TWGSERV", "VelPxSvc"}) list = WithNameAppended(list.c_str(), name);
  EXPECT_EQ(NamesSize(list.c_str()), original.size() - 1 + 6 + 8 + 9);
  for (const char* name : {"TWGUM", "TWGSERV", "VelPxSvc"}) {
    ASSERT_TRUE(WithoutName(list.c_str(), name, RemoveWhich::kFirst, &list));
  }
  EXPECT_EQ(list, original);
}

}  // namespace
}  // namespace twg
