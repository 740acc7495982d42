// The text work of the uninstall cleanup that the Wine tests cannot reach: path joins into fixed
// buffers and folder names under code page 932 (a trail byte may be the backslash code), and the
// WININIT.INI edits on files that other programs wrote. The batch file's lines and the shared-use count
// are checked byte for byte in real sessions (tests/wine/cleanup_test.cc).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cleanup/cleanup_text.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
// "hyou" (0x95 0x5C): its trail byte is the backslash code.
#define HYOU "\x95\x5C"

TEST(CleanupText, JoinPath) {
  const std::string long_folder = "C:\\" + std::string(254, 'f');  // 257 characters
  struct Case {
    const LeadBytes* lead;
    std::string folder, name;
    bool fits;
    std::string joined;
  } cases[] = {
      {&kSingleByte, "C:\\A", "b.dat", true, "C:\\A\\b.dat"},
      {&kSingleByte, "C:\\A\\", "b.dat", true, "C:\\A\\b.dat"},
      {&kSingleByte, "", "b.dat", true, "b.dat"},
      {&kCp932, "C:\\" HYOU, "b.dat", true, "C:\\" HYOU "\\b.dat"},  // the trail byte is no separator
      {&kCp932, "C:\\" HYOU "\\", "b.dat", true, "C:\\" HYOU "\\b.dat"},
      {&kSingleByte, "C:\\" HYOU, "b.dat", true, "C:\\" HYOU "b.dat"},  // single-byte: 0x5C is one
      {&kSingleByte, long_folder, "b", true, long_folder + "\\b"},      // 259 characters fill 260 bytes
      {&kSingleByte, long_folder, "bc", false, ""},
      {&kSingleByte, long_folder + "\\", "b", true, long_folder + "\\b"},  // no second separator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder + " + " + c.name);
    char out[260];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(JoinPath(*c.lead, c.folder.c_str(), c.name.c_str(), out), c.fits);
    EXPECT_EQ(std::string(out), c.joined);
  }
}

TEST(CleanupText, PathParts) {
  char windows[] = "C:\\WINDOWS", nested[] = "D:\\OS\\WIN";
  char out[32];
  ASSERT_TRUE(CommandComPath(kSingleByte, windows, out, sizeof out));
  EXPECT_STREQ(out, "C:\\Command.com");
  ASSERT_TRUE(CommandComPath(kSingleByte, nested, out, sizeof out));
  EXPECT_STREQ(out, "D:\\Command.com");
  EXPECT_FALSE(CommandComPath(kSingleByte, windows, out, 14));  // no room for the terminator

  char dbcs[] = "C:\\A\\" HYOU;
  ASSERT_TRUE(CutAtLastBackslash(kCp932, dbcs));
  EXPECT_STREQ(dbcs, "C:\\A");
  char plain[] = "C:";
  EXPECT_FALSE(CutAtLastBackslash(kSingleByte, plain));
  EXPECT_STREQ(LastPart(kCp932, "C:\\A\\" HYOU "x"), HYOU "x");
  EXPECT_EQ(LastPart(kSingleByte, "Folder"), nullptr);
}

TEST(CleanupText, ParentEntries) {
  const char* product = "C:\\Program Files\\Veltrane\\Taskan Web Guard";
  const char* companion = "C:\\Program Files\\Veltrane\\" HYOU "AV";
  struct Case {
    const char* name;
    bool is_folder, keeps;
  } cases[] = {
      {".", true, false},
      {"..", true, false},
      {"Taskan Web Guard", true, false},
      {HYOU "AV", true, false},
      {"Taskan Web Guard", false, true},  // a file of that name is not the product folder
      {"taskan web guard", true, true},   // names compare with case
      {"Other", true, true},
      {"AV", true, true},  // not the last part of a double-byte name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EntryKeepsParent(kCp932, c.name, c.is_folder, product, companion), c.keeps);
  }
  // A folder path without a backslash has no last part to match.
  EXPECT_TRUE(EntryKeepsParent(kSingleByte, "TVS", true, product, "TVS"));
}

// What the file looks like once the edit is written over the placeholder.
std::string Apply(std::string ini, const char* path) {
  std::string line;
  const std::size_t at = PlaceholderEdit(ini, path, &line);
  if (at == std::string::npos) return "no placeholder";
  return ini.replace(at, line.size(), line);
}

TEST(CleanupText, WininitPlaceholder) {
  struct Case {
    std::string ini, result;
  } cases[] = {
      {"[Rename]\r\nNUL=C:\\OLD\r\nXRN=C:\\NEW\r\n[Other]\r\nA=1\r\n",
       "[Rename]\r\nNUL=C:\\OLD\r\nNUL=C:\\NEW\r\n[Other]\r\nA=1\r\n"},
      {"[rename]\nxrn=C:\\NEW\nNUL=C:\\OLD\n", "[rename]\nNUL=C:\\NEW\nNUL=C:\\OLD\n"},  // LF lines stay LF
      {"[Rename]\r\nXRN=C:\\NEW", "[Rename]\r\nNUL=C:\\NEW\r\n"},
      {"[Rename]\r\nNUL=C:\\OLD\r\nAXRN=C:\\NEW\r\n", "no placeholder"},
      // A line longer than a read is seen in pieces: a piece that begins with the key counts.
      {std::string(519, 'a') + "XRN=C:\\NEW\r\n", std::string(519, 'a') + "NUL=C:\\NEW\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    EXPECT_EQ(Apply(c.ini, "C:\\NEW"), c.result);
  }
}

TEST(CleanupText, RenameSectionHeader) {
  struct Case {
    std::string ini;
    bool holds;
  } cases[] = {
      {"[rename]\r\nNUL=C:\\A\r\n", true},
      {"[Rename]\r\nNUL=C:\\A\r\n", false},  // compared with case
      {"; see [rename] below\n", true},      // anywhere in a line
      {"NUL=C:\\A\n[rename]", false},        // the last character of every line is taken for its end
      {"", false},
      {std::string(255, 'a') + "[rename]\n", false},  // split across two reads
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    EXPECT_EQ(HoldsRenameSection(c.ini), c.holds);
  }
}

}  // namespace
}  // namespace twg
