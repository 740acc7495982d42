// Windows-free parts of the action frame: the result rule, the log's time line, the double-byte walks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/log_time.h"
#include "frame/mbcs.h"
#include "frame/result.h"

namespace twg {
namespace {

TEST(ResultFromWin32, Rule) {
  struct Case {
    std::int64_t code;
    std::uint32_t expected;
  } cases[] = {{0, 0},
               {2, 0x80070002u},
               {234, 0x800700EAu},
               {259, 0x80070103u},
               {0x80005, 0x80070005u},  // only the low 16 bits of a code are kept
               {-5, static_cast<std::uint32_t>(-5)},
               {static_cast<std::int32_t>(0x80004005u), 0x80004005u}};
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(ResultFromWin32(c.code)), c.expected) << c.code;
  }
}

TEST(FormatLogTime, NoPaddingMonthFirst) {
  char line[260];
  EXPECT_EQ(FormatLogTime({2003, 3, 4, 9, 5, 7}, line, sizeof line), std::strlen("LogTime is 3/4/2003 9:5.7\n"));
  EXPECT_STREQ(line, "LogTime is 3/4/2003 9:5.7\n");
  FormatLogTime({2026, 12, 31, 23, 59, 59}, line, sizeof line);
  EXPECT_STREQ(line, "LogTime is 12/31/2026 23:59.59\n");
  char tiny[8];
  FormatLogTime({2003, 3, 4, 9, 5, 7}, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "LogTime");
}

const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
const LeadBytes kSingleByte;

TEST(Mbcs, FindSkipsTrailBytes) {
  struct Case {
    const char* text;
    char c;
    int first, last;  // offsets, -1 for none
    const LeadBytes* lead;
  } cases[] = {
      {"C:\\a\\b", '\\', 2, 4, &kCp932},
      {"C:\\\x95\x5C", '\\', 2, 2, &kCp932},           // trail byte 0x5C is not a backslash
      {"\x95\x5C\x95\x5C", '\\', -1, -1, &kCp932},
      {"\x95\x5C\x95\x5C", '\\', 1, 3, &kSingleByte},  // single-byte code page: it is
      {"ab\x81", 'b', 1, 1, &kCp932},                   // lead byte at the very end
      {"\x81", '\x81', 0, 0, &kCp932},
      {"", '\\', -1, -1, &kCp932},
      {"x\x82\x61\x61", 'a', 4 - 1, 3, &kCp932},        // 0x82 0x61 is one character, then 'a'
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const char* first = FindFirstChar(*c.lead, c.text, c.c);
    const char* last = FindLastChar(*c.lead, c.text, c.c);
    EXPECT_EQ(first ? first - c.text : -1, c.first);
    EXPECT_EQ(last ? last - c.text : -1, c.last);
  }
  const char* s = "abc";
  EXPECT_EQ(FindFirstChar(kCp932, s, '\0'), s + 3);
}

std::string Tokens(const LeadBytes& lead, const char* input, const char* separators) {
  std::string copy = input, out;
  char* context = nullptr;
  for (char* t = Tokenize(lead, &copy[0], separators, &context); t; t = Tokenize(lead, nullptr, separators, &context)) {
    out += "[" + std::string(t) + "]";
  }
  return out;
}

TEST(Mbcs, Tokenize) {
  EXPECT_EQ(Tokens(kCp932, "a;b;;c;", ";"), "[a][b][c]");
  EXPECT_EQ(Tokens(kCp932, ";;", ";"), "");
  EXPECT_EQ(Tokens(kCp932, "", ";"), "");
  EXPECT_EQ(Tokens(kCp932, "C:\\\x95\x5C\\x", "\\"), "[C:][\x95\x5C][x]");
  EXPECT_EQ(Tokens(kSingleByte, "C:\\\x95\x5C\\x", "\\"), "[C:][\x95][x]");
  EXPECT_EQ(Tokens(kCp932, "a, b", ", "), "[a][b]");
  EXPECT_EQ(Tokens(kCp932, "end\x81", ";"), "[end\x81]");
}

}  // namespace
}  // namespace twg
