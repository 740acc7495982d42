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

TEST(DetectEdition, WithoutExtendedRecordOnlyNtServersAreNamed) {
  struct Case {
    std::uint32_t platform;
    bool opened;
    const char* product_type;
    const char* expected;  // null: cleared
  } cases[] = {
      {kPlatformNT, true, "WinNT", nullptr},      {kPlatformNT, true, "winnt", nullptr},
      {kPlatformNT, true, "ServerNT", "SERVER"},  {kPlatformNT, true, "LanmanNT", "SERVER"},
      {kPlatformNT, true, "", "SERVER"},          // unreadable value: the empty text is no "WinNT"
      {kPlatformNT, true, "WinNTx", "SERVER"},    {kPlatformNT, false, "", nullptr},
      {kPlatformWindows9x, true, "ServerNT", nullptr}, {0, true, "ServerNT", nullptr},
  };
  for (const auto& c : cases) {
    const char* got = EditionFromProductOptions(c.platform, c.opened, c.product_type);
    EXPECT_STREQ(got ? got : "(cleared)", c.expected ? c.expected : "(cleared)") << c.product_type << " " << c.platform;
  }
  // With the extended record the product type alone decides.
  EXPECT_STREQ(EditionFromProductType(1), "PRO");
  for (std::uint8_t type : {0, 2, 3}) EXPECT_STREQ(EditionFromProductType(type), "SERVER") << int(type);
}

TEST(DetectVersionRules, Windows95GoldAdvancedServerMiddleEast) {
  struct Gold {
    std::uint32_t platform, major, minor, build;
    bool expected;
  } golds[] = {
      {kPlatformWindows9x, 4, 0, 0x040003B6, true},  // 950 with 4.0 in the high word
      {kPlatformWindows9x, 4, 0, 950, true},
      {kPlatformWindows9x, 4, 0, 0x04000457, false},  // 1111 (OSR2)
      {kPlatformWindows9x, 4, 10, 0x040A07CE, false},  // 98 build 1998
      {kPlatformNT, 4, 0, 950, false},
  };
  for (const auto& g : golds) {
    EXPECT_EQ(IsWindows95Gold(g.platform, g.major, g.minor, g.build), g.expected) << g.build;
  }
  EXPECT_TRUE(IsAdvancedServer(5, 0x0002) && IsAdvancedServer(5, 0x0112));
  EXPECT_FALSE(IsAdvancedServer(5, 0x0010) || IsAdvancedServer(4, 0x0002) || IsAdvancedServer(6, 0x0002));
  EXPECT_TRUE(ShipsComCtlUpdate(kPlatformWindows9x, 10) && ShipsComCtlUpdate(kPlatformWindows9x, 90));
  EXPECT_FALSE(ShipsComCtlUpdate(kPlatformWindows9x, 0) || ShipsComCtlUpdate(kPlatformNT, 10));
}

TEST(DetectText, EqualsIgnoreCaseFoldsSingleByteLettersOnly) {
  EXPECT_TRUE(EqualsIgnoreCase(LeadBytes(), "nec pc-98", "NEC PC-98"));
  EXPECT_FALSE(EqualsIgnoreCase(LeadBytes(), "NEC PC-9801", "NEC PC-98"));
  EXPECT_FALSE(EqualsIgnoreCase(LeadBytes(), "NEC PC-9", "NEC PC-98"));
  EXPECT_FALSE(EqualsIgnoreCase(LeadBytes(), "", "1042"));
  // 0x82 0x61 and 0x82 0x41 are different characters under 932; a fold of the trail byte would
  // wrongly make them equal.
  EXPECT_FALSE(EqualsIgnoreCase(kCp932, "\x82\x61", "\x82\x41"));
  EXPECT_TRUE(EqualsIgnoreCase(LeadBytes(), "\x82\x61", "\x82\x41"));
  EXPECT_TRUE(EqualsIgnoreCase(kCp932, "\x82\x61X", "\x82\x61x"));
}

TEST(DetectText, MultiStringSearch) {
  const std::string suites("Enterprise\0Terminal Server\0\0", 29);
  struct Case {
    std::string block;
    CaseRule rule;
    bool expected;
  } cases[] = {
      {suites, CaseRule::kExact, true},
      {std::string("terminal server\0\0", 17), CaseRule::kExact, false},
      {std::string("terminal server\0\0", 17), CaseRule::kIgnoreCase, true},
      {std::string("Terminal Server2\0\0", 18), CaseRule::kIgnoreCase, false},
      {std::string("Enterprise\0\0Terminal Server\0\0", 30), CaseRule::kExact, false},  // after the end
      {std::string("Terminal Server", 15), CaseRule::kExact, true},  // unterminated, whole block
      {std::string("Terminal Serv", 13), CaseRule::kExact, false},
      {std::string(), CaseRule::kExact, false},
  };
  for (const auto& c : cases) {
    // A heap copy of exactly the block's size, so that a walk past its end is caught.
    std::unique_ptr<char[]> exact(new char[c.block.size() + 1]);
    std::memcpy(exact.get(), c.block.data(), c.block.size());
    EXPECT_EQ(MultiStringContains(exact.get(), c.block.size(), "Terminal Server", c.rule), c.expected)
        << c.block.size();
  }
}

TEST(DetectText, CutToParentFolder) {
  struct Case {
    const char* source;
    const char* parent;
  } cases[] = {
      {"D:\\SETUP\\TWG\\", "D:\\SETUP"}, {"D:\\SETUP\\TWG", "D:"}, {"D:\\", "D:"},
      {"TWG", "TWG"}, {"", ""}, {"\\\\server\\share\\twg\\", "\\\\server\\share"},
  };
  for (const auto& c : cases) {
    std::string path = c.source;
    CutToParentFolder(LeadBytes(), &path[0]);
    EXPECT_STREQ(path.c_str(), c.parent) << c.source;
  }
  // The trail byte 0x5C of a double-byte folder name is no separator under 932.
  char folder[] = "D:\\SETUP\\\x95\x5C\\";
  CutToParentFolder(kCp932, folder);
  EXPECT_STREQ(folder, "D:\\SETUP");
}

TEST(DetectText, StripEnclosingQuotesAndFittingLength) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"\"C:\\IE\\IEXPLORE.EXE\"", "C:\\IE\\IEXPLORE.EXE"}, {"\"C:\\a", "C:\\a"},
               {"C:\\a\"", "C:\\a"}, {"\"", ""}, {"\"\"", ""}, {"", ""}};
  for (const auto& c : cases) {
    std::string text = c.in;
    StripEnclosingQuotes(&text[0]);
    EXPECT_STREQ(text.c_str(), c.out) << c.in;
  }
  EXPECT_EQ(FittingLength(LeadBytes(), std::string(80, 'u').c_str(), 63), 63u);
  EXPECT_EQ(FittingLength(LeadBytes(), "Home", 63), 4u);
  // 62 single bytes and a double-byte character: the character does not fit in 63 bytes.
  std::string mixed = std::string(62, 'u') + "\x82\xA0";
  EXPECT_EQ(FittingLength(kCp932, mixed.c_str(), 63), 62u);
  EXPECT_EQ(FittingLength(kCp932, mixed.c_str(), 64), 64u);
}

TEST(DetectSessions, OnlyNamedActiveOrDisconnectedSessionsCount) {
  const SessionFacts console_only[] = {{false, kSessionActive}, {false, 6 /* listen */}};
  const SessionFacts one_user[] = {{false, 0}, {true, kSessionActive}, {false, 6}};
  const SessionFacts user_and_disconnected[] = {{true, kSessionActive}, {true, kSessionDisconnected}};
  const SessionFacts idle_and_down[] = {{true, 5 /* idle */}, {true, 8 /* down */}, {true, 1 /* connected */}};
  EXPECT_EQ(CountLoggedOnUsers(console_only, 2), 0);
  EXPECT_EQ(CountLoggedOnUsers(one_user, 3), 1);
  EXPECT_EQ(CountLoggedOnUsers(user_and_disconnected, 2), 2);
  EXPECT_EQ(CountLoggedOnUsers(idle_and_down, 3), 0);
  EXPECT_EQ(CountLoggedOnUsers(nullptr, 0), 0);
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
      {true, "4.72.3110.8", true, "4"},   {true, "4.72.3109.0", false, "4"}, {true, "4.71.1712.6", false, "4"},
      {true, "4.73", true, "4"},          {true, "4.72", false, "4"},
      {true, "06.0", true, "6"},          {true, "3.02.1234", false, "3"},
      {true, "abc.1", false, "0"},        {true, "", false, "0"},            {true, "4,72,3110,8", false, "4"},
      {true, "4..72.3110", true, "4"},    // empty pieces are skipped by the tokenizer
      {false, "6.00.2800.1106", true, "6"}, {false, "4, 72, 3110, 8", false, "4, 72, 3110, 8"},
      {false, "5, 0, 1, 2", true, "5, 0, 1, 2"},  // major alone is enough
      {false, "4.72.3110.8", true, "4"},  {false, "4.72", false, "4"},  {false, "4.72.3109", false, "4"},
      {false, "4.80", true, "4"},         {false, "3.0.1", false, "3"}, {false, "", false, ""},
  };
  for (const auto& c : cases) {
    std::string major;
    EXPECT_EQ((c.registry ? IsRegistryIeVersionEnough : IsProductIeVersionEnough)(LeadBytes(), c.version, &major),
              c.enough)
        << c.version;
    EXPECT_EQ(major, c.major) << c.version;
  }
}

}  // namespace
}  // namespace twg
