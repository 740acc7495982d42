// Placeholder replacement in the companion setup's response file: in memory and on a mapping the size
// the file step makes, under a single-byte code page and under code page 932.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "antivirus/string_replace.h"
#include "tests/unit/ascii_text_rules.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
#define HYOU "\x95\x5C"  // trail byte is the backslash code

const TextRules kSbcs{&kSingleByte, AsciiEqualIgnoringCase};
const TextRules kDbcs{&kCp932, AsciiEqualIgnoringCase};

TEST(AntivirusStringReplace, Replaces) {
  struct Case {
    const TextRules* rules;
    std::string source, search, replacement;
    int count;
    std::string result;
  } cases[] = {
      {&kSbcs, "szDir=%INSTALLDIR%\r\n", "%INSTALLDIR%", "C:\\TVS", 1, "szDir=C:\\TVS\r\n"},
      {&kSbcs, "%A%%A%x%A%", "%A%", "", 3, "x"},
      {&kSbcs, "%insTallDir%", "%INSTALLDIR%", "D", 1, "D"},   // case-blind after the first byte
      {&kSbcs, "xABC", "abc", "-", 0, "xABC"},                   // first byte must be the same byte
      {&kSbcs, "%INSTALL", "%INSTALLDIR%", "D", 0, "%INSTALL"},  // text ends inside a candidate
      {&kSbcs, "aaa", "aa", "b", 1, "ba"},                       // matched text is skipped
      {&kSbcs, "C:\\" HYOU "\\", "\\", "/", 3, "C:/\x95/" "/"},  // single-byte: 0x5C always a character
      {&kDbcs, "C:\\" HYOU "\\", "\\", "/", 2, "C:/" HYOU "/"},  // trail byte is never a match
      {&kDbcs, HYOU "x" HYOU "X", HYOU "x", "#", 2, "##"},       // search counted in characters
      {&kDbcs, "ab\x95", "\x95", "#", 1, "ab#"},                 // lone lead byte at the end
  };
  for (const auto& c : cases) {
    char dest[64];
    std::memset(dest, '?', sizeof dest);
    EXPECT_EQ(StringReplace(*c.rules, dest, sizeof dest, c.source.c_str(), c.search.c_str(),
                            c.replacement.c_str()),
              c.count)
        << c.source;
    EXPECT_EQ(std::string(dest), c.result) << c.source;
  }
}

TEST(AntivirusStringReplace, RefusesRatherThanOverrun) {
  struct Case {
    std::size_t dest_size;
    int count;
  } cases[] = {{5, -1}, {6, -1}, {7, 1}};  // "abXYZd": six bytes and the terminator
  for (const auto& c : cases) {
    char dest[16];
    std::memset(dest, '?', sizeof dest);
    EXPECT_EQ(StringReplace(kSbcs, dest, c.dest_size, "abcd", "c", "XYZ"), c.count) << c.dest_size;
    if (c.count < 0) {
      EXPECT_EQ(std::string(dest, sizeof dest), std::string(sizeof dest, '?'));  // untouched
    } else {
      EXPECT_EQ(std::string(dest), "abXYZd");
    }
    EXPECT_EQ(dest[c.dest_size], '?');
  }
  char dest[8] = "";
  EXPECT_EQ(StringReplace(kSbcs, dest, sizeof dest, "abc", "", "x"), -1);
}

// The whole file step on a buffer shaped like the mapping: the file's bytes, then room up to the mapped
// size. What remains of the file is its first ReplacedFileSize bytes.
TEST(AntivirusStringReplace, FileMappingGrowsShrinksOrKeeps) {
  struct Case {
    std::string file, search, replacement, result;
    int count;
  } cases[] = {
      {"szDir=%INSTALLDIR%\r\n", "%INSTALLDIR%", "C:\\Program Files\\Taskan\\Virus Sentry",
       "szDir=C:\\Program Files\\Taskan\\Virus Sentry\r\n", 1},
      {"%I%%I%%I%%I%", "%I%", std::string(600, 'x'), std::string(2400, 'x'), 4},  // past the slack
      {"Result=1\r\n", "%USERNAME%", "Valued Customer", "Result=1\r\n", 0},
      {std::string("a\0%X%", 5), "%X%", "yy", std::string("a\0yy", 4), 1},  // a NUL does not end the file
  };
  for (const auto& c : cases) {
    ReplaceLayout layout;
    ASSERT_TRUE(PlanFileReplace(c.file.size(), c.search.size(), c.replacement.size(), &layout));
    std::string map(layout.mapped, '\xEE');  // what a grown file may hold before it is zeroed
    map.replace(0, c.file.size(), c.file);
    const int count = ReplaceInMapping(kSbcs, &map[0], layout, c.file.size(), c.search.c_str(),
                                       c.replacement.c_str());
    EXPECT_EQ(count, c.count) << c.file;
    EXPECT_EQ(map.size(), layout.mapped);
    const std::size_t size = ReplacedFileSize(c.file.size(), c.search.size(), c.replacement.size(), count);
    EXPECT_EQ(map.substr(0, size), c.result) << c.file;
    EXPECT_EQ(map.find_first_not_of('\0', size), std::string::npos) << c.file;  // nothing stale
  }
}

TEST(AntivirusStringReplace, PlanRefusesSizesBeyond32Bits) {
  ReplaceLayout layout;
  EXPECT_FALSE(PlanFileReplace(0x40000000, 1, 4, &layout));
  EXPECT_FALSE(PlanFileReplace(10, 0, 4, &layout));
  ASSERT_TRUE(PlanFileReplace(10, 4, 2, &layout));
  EXPECT_EQ(layout.capacity, 10u);  // a shorter replacement never needs more than the file
}

}  // namespace
}  // namespace twg
