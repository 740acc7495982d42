// The companion version test against its raw version bytes, and the failure texts.
#include <gtest/gtest.h>

#include <string>

#include "antivirus/companion_rules.h"

namespace twg {
namespace {

TEST(AntivirusRules, VersionBytesAgainstTheWantedVersion) {
  EXPECT_EQ(LeadingNumber("12abc"), 12u);
  EXPECT_EQ(LeadingNumber("99999999999"), 0xFFFFFFFFu);  // saturates, never wraps to small
  struct Case {
    std::uint8_t major, minor;
    std::uint32_t wanted_major, wanted_minor;
    bool upgrade;
  } cases[] = {
      {7, 0, 7, 0, false},    {6, 9, 7, 0, true},       {7, 0, 7, 1, true},  {8, 0, 7, 9, false},
      {0x80, 0, 7, 0, false}, {0x7F, 0, 200, 0, true},  // 128 and above: newer than any package's
      {0x80, 0, 0xFFFFFF80u, 0, false}, {0x80, 0, 0xFFFFFF81u, 0, true},  // sign-extended, compared unsigned
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompanionNeedsUpgrade(c.major, c.minor, c.wanted_major, c.wanted_minor), c.upgrade)
        << int(c.major) << "." << int(c.minor) << " wanted " << c.wanted_major << "." << c.wanted_minor;
  }
  const std::string name(259, 'N');  // the longest name a property buffer gives: the text holds it twice
  EXPECT_EQ(FormatWithProductName("%s, then %s.", name.c_str()), name + ", then " + name + ".");
  EXPECT_EQ(FormatWithProductName("100%% sure %s, %d %", "P"), "100% sure P, %d %");
}

}  // namespace
}  // namespace twg
