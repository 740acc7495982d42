// The text-only folder rules and path arithmetic of the install-folder checks, under a single-byte code
// page and under code page 932, whose trail bytes include the backslash code.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "location/folder_text.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
// "hyou" (0x95 0x5C): its trail byte is the backslash code.
#define HYOU "\x95\x5C"

bool AsciiEqualIgnoringCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

TEST(LocationFolderText, FreeSpaceThreshold) {
  EXPECT_TRUE(IsDiskSpaceShort(0) && IsDiskSpaceShort(29999999));
  EXPECT_FALSE(IsDiskSpaceShort(30000000) || IsDiskSpaceShort(0x100000000ull * 16));  // beyond 32 bits too
}

TEST(LocationFolderText, StripTrailingBackslash) {
  struct Case {
    const LeadBytes* lead;
    std::string in, out;
  } cases[] = {
      {&kSingleByte, "C:\\A\\", "C:\\A"},
      {&kSingleByte, "C:\\A\\\\", "C:\\A\\"},  // only one
      {&kSingleByte, "C:\\A", "C:\\A"},
      {&kSingleByte, "", ""},
      {&kSingleByte, "\\", ""},
      {&kCp932, "C:\\" HYOU, "C:\\" HYOU},  // the backslash code is the trail byte of a character
      {&kCp932, "C:\\" HYOU "\\", "C:\\" HYOU},
      {&kSingleByte, "C:\\\x95\\", "C:\\\x95"},  // 0x95 is no lead byte in a single-byte code page
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    StripTrailingBackslash(*c.lead, text);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(LocationFolderText, CharactersAfterFirstBackslash) {
  struct Case {
    const LeadBytes* lead;
    const char* folder;
    char c;
    bool found;
  } cases[] = {
      {&kSingleByte, "C;\\A", ';', false},  // before the first backslash
      {&kSingleByte, "C;A", ';', false},    // no backslash at all
      {&kCp932, "C:\\\x81;", ';', false},   // 0x3B is the trail byte here
      {&kCp932, "C:\\\x81;;", ';', true},
  };
  for (const auto& c : cases) EXPECT_EQ(HasCharAfterFirstBackslash(*c.lead, c.folder, c.c), c.found) << c.folder;
}

TEST(LocationFolderText, SpaceRule) {
  struct Case {
    const LeadBytes* lead;
    const char* copy;  // the working copy, trailing backslash already removed
    bool refused;
  } cases[] = {
      {&kSingleByte, "C:\\A \\ B", true},
      {&kSingleByte, "C:\\ A", false},  // a name may begin with a space
      {&kSingleByte, "C:\\ A\\ B", false},
      {&kSingleByte, "C:\\A B\\C D", false},
      {&kSingleByte, "C:\\A \\B", true},  // "A " cannot be reached once created as "A"
      {&kSingleByte, "C:\\A ", true},
      {&kSingleByte, "C:\\ A \\ B", true},  // a later " \ " counts too
      {&kSingleByte, "C:\\A", false},
      {&kCp932, "C:\\\x81 \\A", false},  // the walk takes the byte after a lead byte as its trail
      {&kCp932, "C:\\" HYOU " \\A", true},
  };
  for (const auto& c : cases) EXPECT_EQ(BreaksSpaceRule(*c.lead, c.copy), c.refused) << c.copy;
}

TEST(LocationFolderText, SevenBitOnly) {
  struct Case {
    const LeadBytes* lead;
    const char* folder;
    bool lead_byte, high_bit;
  } cases[] = {
      {&kSingleByte, "C:\\Taskan Web Guard\\", false, false},
      {&kSingleByte, "C:\\Caf\xE9\\", false, true},
      {&kCp932, "C:\\" HYOU "\\", true, false},           // a double-byte name
      {&kCp932, "C:\\\xB1\xB2\\", false, true},           // half-width katakana: single bytes above 0x7F
      {&kCp932, "C:\\\xE0", true, true},                  // a lead byte at the very end stands alone
      {&kCp932, "C:\\Program Files\\", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasLeadByte(*c.lead, c.folder), c.lead_byte) << c.folder;
    EXPECT_EQ(HasHighBitCharacter(*c.lead, c.folder), c.high_bit) << c.folder;
  }
}

TEST(LocationFolderText, PathWithin) {
  struct Case {
    const char* folder;
    const char* path;
    bool within;
  } cases[] = {
      {"C:\\WINDOWS", "C:\\WINDOWS\\TEMP", true}, {"C:\\WINDOWS", "C:\\windows", true},
      {"C:\\WINDOWS", "C:\\WINDOWSX", false},     {"C:\\WINDOWS", "C:\\WIN", false},
      {"", "C:\\A", false},                       {"C:\\A", "", false},
      {nullptr, "C:\\A", false},                  {"C:\\A", nullptr, false},
      {"C:\\Program Files\\Common Files", "c:\\program files\\common files\\X", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPathWithin(c.folder, c.path, AsciiEqualIgnoringCase), c.within)
        << (c.folder ? c.folder : "(null)") << " / " << (c.path ? c.path : "(null)");
  }
}

TEST(LocationFolderText, PathAndParents) {
  using V = std::vector<std::string>;
  EXPECT_EQ(PathAndParents(kSingleByte, "C:\\A\\B"), (V{"C:\\A\\B", "C:\\A", "C:"}));
  EXPECT_EQ(PathAndParents(kSingleByte, "C:"), (V{"C:"}));
  EXPECT_EQ(PathAndParents(kSingleByte, "\\\\srv\\share"), (V{"\\\\srv\\share", "\\\\srv", "\\", ""}));
  EXPECT_EQ(PathAndParents(kCp932, "C:\\A\\" HYOU), (V{"C:\\A\\" HYOU, "C:\\A", "C:"}));
}

TEST(LocationFolderText, CreationCandidates) {
  using V = std::vector<std::string>;
  EXPECT_EQ(CreationCandidates(kSingleByte, "C:\\A\\B\\"), (V{"C:\\A\\B\\", "C:\\A\\", "C:\\"}));
  EXPECT_EQ(CreationCandidates(kSingleByte, "C:\\A\\B"), (V{"C:\\A\\B\\", "C:\\A\\", "C:\\"}));
  EXPECT_EQ(CreationCandidates(kSingleByte, "C:\\"), V{});
  EXPECT_EQ(CreationCandidates(kSingleByte, ""), V{});
  EXPECT_EQ(CreationCandidates(kCp932, "C:\\" HYOU), (V{"C:\\" HYOU "\\", "C:\\"}));
}

TEST(LocationFolderText, SubstitutedDriveAnswer) {
  struct Case {
    std::string targets;
    bool substituted;
  } cases[] = {
      {std::string("\\??\\C:\\windows\0\0", 17), true},
      {std::string("\\Device\\HarddiskVolume1\0\0", 26), false},
      {std::string("\\Device\\HarddiskVolume1\0\\??\\D:\\x\0\0", 35), true},  // a later name counts
      {std::string("\\??", 3), false},                                                // cut short
      {std::string(), false},
  };
  for (const auto& c : cases) EXPECT_EQ(NamesSubstitutedDrive(c.targets.data(), c.targets.size()), c.substituted);
}

TEST(LocationFolderText, JoinAndBoundedCopy) {
  EXPECT_EQ(JoinPath(kSingleByte, "C:\\A", "f.txt"), "C:\\A\\f.txt");
  EXPECT_EQ(JoinPath(kSingleByte, "C:\\A\\", "f.txt"), "C:\\A\\f.txt");
  EXPECT_EQ(JoinPath(kCp932, "C:\\" HYOU, "f.txt"), "C:\\" HYOU "\\f.txt");

  char out[8] = "keep";
  EXPECT_TRUE(ConcatBounded(out, sizeof out, "C:\\", "Abc"));  // 6 + NUL
  EXPECT_STREQ(out, "C:\\Abc");
  EXPECT_TRUE(ConcatBounded(out, sizeof out, "C:\\", "Abcd"));  // exactly fills it
  EXPECT_FALSE(ConcatBounded(out, sizeof out, "C:\\", "Abcde"));
  EXPECT_STREQ(out, "C:\\Abcd");
}

}  // namespace
}  // namespace twg
