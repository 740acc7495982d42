// The detection decisions that Wine cannot reach: a failing extended version query, the enterprise
// suite, several logged-on users, Middle-East systems; and the text walks under a double-byte code page.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "detect/detect_rules.h"
#include "detect/ie_version.h"

namespace twg {
namespace {

const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};

TEST(DetectVersionRules, EditionGoldAdvancedServerMiddleEastSessions) {
  const char* cleared = nullptr;
  EXPECT_EQ(EditionFromProductOptions(kPlatformNT, true, "winnt"), cleared);
  EXPECT_STREQ(EditionFromProductOptions(kPlatformNT, true, ""), "SERVER");  // unreadable: no "WinNT"
  EXPECT_EQ(EditionFromProductOptions(kPlatformNT, false, ""), cleared);
  EXPECT_EQ(EditionFromProductOptions(kPlatformWindows9x, true, "ServerNT"), cleared);
  EXPECT_STREQ(EditionFromProductType(1), "PRO");
  EXPECT_STREQ(EditionFromProductType(2), "SERVER");  // a domain controller
  EXPECT_TRUE(IsWindows95Gold(kPlatformWindows9x, 4, 0, 0x040003B6));  // 950 with 4.0 in the high word
  EXPECT_FALSE(IsWindows95Gold(kPlatformWindows9x, 4, 0, 0x04000457));  // OSR2
  EXPECT_FALSE(IsWindows95Gold(kPlatformNT, 4, 0, 950));
  EXPECT_TRUE(IsAdvancedServer(5, 0x0112));
  EXPECT_FALSE(IsAdvancedServer(5, 0x0010) || IsAdvancedServer(4, 0x0002));
  EXPECT_TRUE(ShipsComCtlUpdate(kPlatformWindows9x, 90));
  EXPECT_FALSE(ShipsComCtlUpdate(kPlatformWindows9x, 0) || ShipsComCtlUpdate(kPlatformNT, 10));
  const SessionFacts sessions[] = {{false, kSessionActive}, {true, kSessionActive}, {true, kSessionDisconnected},
                                   {true, 5 /* idle */}};
  EXPECT_EQ(CountLoggedOnUsers(sessions, 4), 2);
}

TEST(DetectText, CaseFoldsMultiStringsParentsQuotesAndLength) {
  EXPECT_TRUE(EqualsIgnoreCase(LeadBytes(), "nec pc-98", "NEC PC-98"));
  EXPECT_FALSE(EqualsIgnoreCase(LeadBytes(), "NEC PC-9801", "NEC PC-98"));
  // 0x82 0x61 and 0x82 0x41 are different characters under 932: the trail byte is no letter to fold.
  EXPECT_FALSE(EqualsIgnoreCase(kCp932, "\x82\x61", "\x82\x41"));
  struct Case {
    std::string block;
    CaseRule rule;
    bool expected;
  } cases[] = {
      {std::string("Enterprise\0Terminal Server\0\0", 29), CaseRule::kExact, true},
      {std::string("terminal server\0\0", 17), CaseRule::kIgnoreCase, true},
      {std::string("Enterprise\0\0Terminal Server\0\0", 30), CaseRule::kExact, false},  // after the end
      {std::string("Terminal Server", 15), CaseRule::kExact, true},  // unterminated, whole block
  };
  for (const auto& c : cases) {
    // A heap copy of exactly the block's size, so that a walk past its end is caught.
    std::unique_ptr<char[]> exact(new char[c.block.size()]);
    std::memcpy(exact.get(), c.block.data(), c.block.size());
    EXPECT_EQ(MultiStringContains(exact.get(), c.block.size(), "Terminal Server", c.rule), c.expected)
        << c.block.size();
  }
  for (const auto& c : {std::make_pair("D:\\SETUP\\TWG\\", "D:\\SETUP"), std::make_pair("D:\\", "D:"),
                        std::make_pair("TWG", "TWG"), std::make_pair("D:\\S\\\x95\x5C\\", "D:\\S")}) {
    std::string path = c.first;
    CutToParentFolder(kCp932, &path[0]);
    EXPECT_STREQ(path.c_str(), c.second) << c.first;
  }
  std::string quoted = "\"C:\\IE\\IEXPLORE.EXE\"";
  StripEnclosingQuotes(&quoted[0]);
  EXPECT_STREQ(quoted.c_str(), "C:\\IE\\IEXPLORE.EXE");
  // 62 single bytes and a double-byte character: the character does not fit in 63 bytes.
  const std::string mixed = std::string(62, 'u') + "\x82\xA0";
  EXPECT_EQ(FittingLength(kCp932, mixed.c_str(), 63), 62u);
  EXPECT_EQ(FittingLength(kCp932, mixed.c_str(), 64), 64u);
}

// The registry's dotted form reads four numbers; the program file's product version keeps its first
// piece as the major text and, with commas, has no minor piece at all.
TEST(DetectIeVersion, RegistryAndProductForms) {
  struct Case {
    bool registry;
    const char* version;
    bool enough;
    const char* major;
  } cases[] = {
      {true, "4.72.3110.8", true, "4"},    {true, "4.72.3109.0", false, "4"}, {true, "4.73", true, "4"},
      {true, "abc.1", false, "0"},         {true, "4..72.3110", true, "4"},   {false, "4.72.3109", false, "4"},
      {false, "4, 72, 3110, 8", false, "4, 72, 3110, 8"}, {false, "5, 0, 1, 2", true, "5, 0, 1, 2"},
  };
  for (const auto& c : cases) {
    std::string major;
    const auto enough = c.registry ? IsRegistryIeVersionEnough : IsProductIeVersionEnough;
    EXPECT_EQ(enough(LeadBytes(), c.version, &major), c.enough) << c.version;
    EXPECT_EQ(major, c.major) << c.version;
  }
}

}  // namespace
}  // namespace twg
