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
  EXPECT_TRUE(IsDiskSpaceShort(29999999));
  EXPECT_FALSE(IsDiskSpaceShort(30000000) || IsDiskSpaceShort(0x100000000ull * 16));  // beyond 32 bits too
}

// Each rule on its own folder text: trailing backslash, characters after the first backslash, the space
// rule (a name may begin with a space but not end with one), double-byte and high-bit text.
TEST(LocationFolderText, TextRules) {
  const auto stripped = [](const LeadBytes& lead, std::string text) {
    StripTrailingBackslash(lead, text);
    return text;
  };
  EXPECT_EQ(stripped(kCp932, "C:\\A\\\\") + "|" + stripped(kCp932, "C:\\" HYOU) + "|" +
                stripped(kCp932, "C:\\" HYOU "\\"),
            "C:\\A\\|C:\\" HYOU "|C:\\" HYOU);
  EXPECT_EQ(stripped(kSingleByte, "C:\\\x95\\"), "C:\\\x95");  // 0x95 is no lead byte in a single-byte code page
  EXPECT_FALSE(HasCharAfterFirstBackslash(kSingleByte, "C;\\A", ';'));
  EXPECT_FALSE(HasCharAfterFirstBackslash(kCp932, "C:\\\x81;", ';'));  // 0x3B is the trail byte here
  EXPECT_TRUE(HasCharAfterFirstBackslash(kCp932, "C:\\\x81;;", ';'));
  for (const char* kept : {"C:\\ A\\ B", "C:\\\x81 \\A"}) EXPECT_FALSE(BreaksSpaceRule(kCp932, kept)) << kept;
  for (const char* refused : {"C:\\A \\B", "C:\\A ", "C:\\ A \\ B", "C:\\" HYOU " \\A"}) {
    EXPECT_TRUE(BreaksSpaceRule(kCp932, refused)) << refused;
  }
  EXPECT_TRUE(HasLeadByte(kCp932, "C:\\" HYOU "\\") && !HasHighBitCharacter(kCp932, "C:\\" HYOU "\\"));
  // Half-width katakana are single bytes above 0x7F; a lead byte at the very end stands alone.
  EXPECT_TRUE(!HasLeadByte(kCp932, "C:\\\xB1\xB2\\") && HasHighBitCharacter(kCp932, "C:\\\xB1\xB2\\"));
  EXPECT_TRUE(HasLeadByte(kCp932, "C:\\\xE0") && HasHighBitCharacter(kCp932, "C:\\\xE0"));
}

TEST(LocationFolderText, PathWithinParentsCandidatesAndJoins) {
  EXPECT_TRUE(IsPathWithin("C:\\WINDOWS", "C:\\windows\\TEMP", AsciiEqualIgnoringCase));
  EXPECT_FALSE(IsPathWithin("C:\\WINDOWS", "C:\\WINDOWSX", AsciiEqualIgnoringCase));
  EXPECT_FALSE(IsPathWithin("", "C:\\A", AsciiEqualIgnoringCase));
  EXPECT_FALSE(IsPathWithin(nullptr, "C:\\A", AsciiEqualIgnoringCase));
  using V = std::vector<std::string>;
  EXPECT_EQ(PathAndParents(kSingleByte, "\\\\srv\\share"), (V{"\\\\srv\\share", "\\\\srv", "\\", ""}));
  EXPECT_EQ(PathAndParents(kCp932, "C:\\A\\" HYOU), (V{"C:\\A\\" HYOU, "C:\\A", "C:"}));
  EXPECT_EQ(CreationCandidates(kSingleByte, "C:\\A\\B"), (V{"C:\\A\\B\\", "C:\\A\\", "C:\\"}));
  EXPECT_EQ(CreationCandidates(kSingleByte, ""), V{});
  EXPECT_EQ(CreationCandidates(kCp932, "C:\\" HYOU), (V{"C:\\" HYOU "\\", "C:\\"}));
  EXPECT_EQ(JoinPath(kCp932, "C:\\" HYOU, "f.txt"), "C:\\" HYOU "\\f.txt");
  char out[8] = "keep";
  EXPECT_TRUE(ConcatBounded(out, sizeof out, "C:\\", "Abcd"));  // exactly fills it
  EXPECT_FALSE(ConcatBounded(out, sizeof out, "C:\\", "Abcde"));
  EXPECT_STREQ(out, "C:\\Abcd");
  const std::string subst("\\Device\\HarddiskVolume1\0\\??\\D:\\x\0\0", 35);  // a later name counts
  EXPECT_TRUE(NamesSubstitutedDrive(subst.data(), subst.size()));
  EXPECT_FALSE(NamesSubstitutedDrive(subst.data(), 24) || NamesSubstitutedDrive("\\??", 3));  // cut short
}

}  // namespace
}  // namespace twg
