// The companion version test against its raw version bytes, the failure texts, and the competing-product
// match under a single-byte code page and under code page 932, whose trail bytes include the capitals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "antivirus/companion_rules.h"
#include "antivirus/other_av_match.h"

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

TEST(AntivirusOtherProducts, KnownNamesExactlyFamilyWordAtCharacters) {
  const LeadBytes single, cp932{{0x81, 0x9F}, {0xE0, 0xFC}};
  KnownProducts known;
  std::strcpy(known.slots[0], "Guard-NT");
  std::strcpy(known.slots[1], "\x95\x5C" "AV");
  struct Case {
    const LeadBytes* lead;
    const char *family, *key, *display;
    bool match;
  } cases[] = {
      {&single, "VirusScan", "Guard-NT", "", true},
      {&single, "VirusScan", "guard-nt", "", false},  // the known names are matched with case
      {&single, "VirusScan", "{12}", "Acme VIRUSSCAN 4", true},
      {&single, "VirusScan", "{12}", "Virus Scan", false},
      {&single, "", "Anything VirusScan", "", false},
      {&single, "", "", "", false},  // empty slots match nothing
      {&cp932, "VirusScan", "\x95\x5C" "AV", "", true},
      {&cp932, "VirusScan", "x", "\x83" "VirusScan", false},  // "V" is a trail byte: not folded,
      {&cp932, "VirusScan", "x", "\x83" "virusscan", false},  // ... and no match starts at it
      {&cp932, "VirusScan", "x", "\x83" "VVirusScan", true},
      {&single, "VirusScan", "x", "\x83" "VirusScan", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCompetingProduct(*c.lead, known, c.family, c.key, c.display), c.match)
        << c.key << " / " << c.display;
  }
}

}  // namespace
}  // namespace twg
