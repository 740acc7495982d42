// The companion version test, the failure texts, and the competing-product match, under a single-byte
// code page and under code page 932, whose trail bytes include the ASCII capitals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "antivirus/companion_rules.h"
#include "antivirus/other_av_match.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};

TEST(AntivirusRules, LeadingNumber) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"", 0}, {"7", 7}, {"07", 7}, {"12abc", 12}, {" 7", 0}, {"-1", 0}, {"x9", 0},
      {"4294967295", 0xFFFFFFFFu}, {"99999999999", 0xFFFFFFFFu},  // saturates, never wraps to small
  };
  for (const auto& c : cases) EXPECT_EQ(LeadingNumber(c.first), c.second) << c.first;
}

TEST(AntivirusRules, UpgradeByVersionBytes) {
  struct Case {
    std::uint8_t major, minor;
    std::uint32_t wanted_major, wanted_minor;
    bool upgrade;
  } cases[] = {
      {7, 0, 7, 0, false},     {6, 9, 7, 0, true},      {7, 1, 7, 0, false},   {7, 0, 7, 1, true},
      {8, 0, 7, 9, false},     {0, 0, 0, 0, false},     {0, 0, 7, 0, true},
      {0x80, 0, 7, 0, false},  {0xFF, 0, 200, 0, false}, {7, 0x80, 7, 99, false},  // 128 and above: newer
      {0x7F, 0, 200, 0, true},                                                      // 127 is still 127
      {0x80, 0, 0xFFFFFF80u, 0, false}, {0x80, 0, 0xFFFFFF81u, 0, true},            // compared unsigned
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompanionNeedsUpgrade(c.major, c.minor, c.wanted_major, c.wanted_minor), c.upgrade)
        << int(c.major) << "." << int(c.minor) << " wanted " << c.wanted_major << "." << c.wanted_minor;
  }
}

TEST(AntivirusRules, FailureTextHoldsTheWholeName) {
  const std::string name(259, 'N');  // the longest name a property buffer gives
  const char* install = "Install of %s failed.  %s installation will now continue.";
  const std::string text = FormatWithProductName(install, name.c_str());
  EXPECT_EQ(text, "Install of " + name + " failed.  " + name + " installation will now continue.");
  EXPECT_GT(text.size(), 512u);
  const std::pair<const char*, const char*> plain[] = {
      {"Uninstall can not continue.", "Uninstall can not continue."},  // no %s: the name is not used
      {"100%% sure %s", "100% sure P"},
      {"%d %", "%d %"},  // anything else stays as it is
      {"", ""},
  };
  for (const auto& c : plain) EXPECT_EQ(FormatWithProductName(c.first, "P"), c.second) << c.first;
}

KnownProducts Known(std::initializer_list<const char*> names) {
  KnownProducts known;
  std::size_t n = 0;
  for (const char* name : names) std::strcpy(known.slots[n++], name);
  return known;
}

TEST(AntivirusOtherProducts, Match) {
  const KnownProducts known = Known({"Sophos-SweepNT", "{0E17F94-11D3-82CA-00C04F656306}", "Empty", "\x95\x5C" "AV"});
  struct Case {
    const LeadBytes* lead;
    const char *key, *display;
    bool match;
  } cases[] = {
      {&kSingleByte, "Sophos-SweepNT", "Sophos Anti-Virus", true},
      {&kSingleByte, "sophos-sweepnt", "Sophos Anti-Virus", false},  // the list is matched with case
      {&kSingleByte, "Sophos-SweepNT ", "", false},
      {&kSingleByte, "{0E17F94-11D3-82CA-00C04F656306}", "", true},  // the short code as it stands
      {&kSingleByte, "Empty", "", true},                              // a placeholder is a name like any other
      {&kSingleByte, "{1234}", "Acme VIRUSSCAN 4", true},             // family word in the display name
      {&kSingleByte, "NetShield VirusScan", "", true},                // ... or in the key name
      {&kSingleByte, "{1234}", "Virus Scan", false},
      {&kSingleByte, "Other", "Other", false},
      {&kCp932, "\x95\x5C" "AV", "", true},
      // "VirusScan" after a lead byte whose trail byte is "V" (0x56): no match at the trail byte, and
      // the capital trail byte is not folded.
      {&kCp932, "x", "\x83" "VirusScan", false},
      {&kCp932, "x", "\x83" "VVirusScan", true},
      {&kSingleByte, "x", "\x83" "VirusScan", true},  // 0x83 is a character of its own in 1252
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCompetingProduct(*c.lead, known, "VirusScan", c.key, c.display), c.match)
        << c.key << " / " << c.display;
  }
}

TEST(AntivirusOtherProducts, MissingFamilyWordMatchesOnlyTheList) {
  const KnownProducts known = Known({"Tauscan 1.5"});
  EXPECT_FALSE(IsCompetingProduct(kSingleByte, known, "", "Anything", "Anything"));
  EXPECT_TRUE(IsCompetingProduct(kSingleByte, known, "", "Tauscan 1.5", ""));
  EXPECT_FALSE(IsCompetingProduct(kSingleByte, KnownProducts(), "", "", ""));  // empty slots match nothing
}

TEST(AntivirusOtherProducts, FoldingLeavesDoubleByteCharactersAlone) {
  char text[] = "AB\x83" "C" "D\x95\x5C" "E";
  FoldSingleByteCapitals(kCp932, text);
  EXPECT_STREQ(text, "ab\x83" "C" "d\x95\x5C" "e");
}

}  // namespace
}  // namespace twg
