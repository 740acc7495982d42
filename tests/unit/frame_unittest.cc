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
  } cases[] = {{0, 0}, {234, 0x800700EAu}, {0x80005, 0x80070005u},  // only the low 16 bits of a code are kept
               {-5, static_cast<std::uint32_t>(-5)}, {static_cast<std::int32_t>(0x80004005u), 0x80004005u}};
  for (const auto& c : cases) EXPECT_EQ(static_cast<std::uint32_t>(ResultFromWin32(c.code)), c.expected) << c.code;
}

TEST(FormatLogTime, NoPaddingMonthFirst) {
  char line[260];
  EXPECT_EQ(FormatLogTime({2003, 3, 4, 9, 5, 7}, line, sizeof line), std::strlen("LogTime is 3/4/2003 9:5.7\n"));
  EXPECT_STREQ(line, "LogTime is 3/4/2003 9:5.7\n");
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
      {"C:\\\x95\x5C", '\\', 2, 2, &kCp932},           // trail byte 0x5C is not a backslash
      {"\x95\x5C\x95\x5C", '\\', 1, 3, &kSingleByte},  // single-byte code page: it is
      {"ab\x81", 'b', 1, 1, &kCp932},                   // lead byte at the very end
      {"\x81", '\x81', 0, 0, &kCp932},
      {"x\x82\x61\x61", 'a', 3, 3, &kCp932},            // 0x82 0x61 is one character, then 'a'
  };
  for (const auto& c : cases) {
    const char* first = FindFirstChar(*c.lead, c.text, c.c);
    const char* last = FindLastChar(*c.lead, c.text, c.c);
    EXPECT_EQ((first ? first - c.text : -1) * 100 + (last ? last - c.text : -1), c.first * 100 + c.last) << c.text;
  }
}

}  // namespace
}  // namespace twg
