#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/settings_text.h"

namespace twg {
namespace {

const LeadBytes kCp932({{0x81, 0x9F}, {0xE0, 0xFC}});

TEST(SettingsText, UserNameRules) {
  struct Case {
    std::string typed;
    bool good;
    std::string trimmed;
  } cases[] = {
      {"  Pat Smith  ", true, "Pat Smith"},
      {"\tPat\t", true, "\tPat\t"},  // only the space is trimmed
      {std::string(32, 'a'), true, std::string(32, 'a')},
      {std::string(33, 'a'), false, ""},
      {"", false, ""},
      {"Pat!", false, ""},
      {"\x83\x21x", true, "\x83\x21x"},  // 0x21 as a trail byte is not an exclamation mark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    std::string trimmed = "";
    EXPECT_EQ(AcceptUserName(kCp932, c.typed.c_str(), &trimmed), c.good);
    EXPECT_EQ(trimmed, c.trimmed);
  }
}

TEST(SettingsText, PasswordWithHighOrLeadByte) {
  const LeadBytes none;
  EXPECT_FALSE(HasDoubleByteOrHighByte(none, "plain ASCII 123!"));
  EXPECT_TRUE(HasDoubleByteOrHighByte(none, "abc\x80"));
  EXPECT_TRUE(HasDoubleByteOrHighByte(LeadBytes({{0x41, 0x41}}), "xAy"));
}

TEST(SettingsText, AlertIconTextKeepsTheFileAndTakesTheNewIndex) {
  struct Case {
    const char* icon;
    bool fet_a, fet_p;
    std::string expected;
  } cases[] = {
      {"C:\\Prog\\Icons.dll,3", false, true, "C:\\Prog\\Icons.dll,9"},
      {"C:\\Prog\\Icons.dll,3", false, false, "C:\\Prog\\Icons.dll,11"},
      {"a,b,3", true, false, "a,b,10"},
      {"NoComma", true, true, "NoComma,8"},
      {"\x83\x2c,1", false, false, "\x83\x2c,11"},  // a trail byte 0x2C is not the comma
  };
  for (const Case& c : cases) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", c.icon);
    CutAtLastComma(kCp932, text);
    EXPECT_EQ(std::string(text) + AlertIconIndex(c.fet_a, c.fet_p), c.expected) << c.icon;
  }
}

}  // namespace
}  // namespace twg
