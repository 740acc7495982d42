// Placeholder replacement in the companion setup's response file, under a single-byte code page and
// under code page 932. That nothing is written outside the destination, and that the file step on a
// mapping agrees with it, is the fuzz target's part.
#include <gtest/gtest.h>

#include <string>

#include "antivirus/string_replace.h"
#include "tests/unit/ascii_text_rules.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
const TextRules kSbcs{&kSingleByte, AsciiEqualIgnoringCase};
const TextRules kDbcs{&kCp932, AsciiEqualIgnoringCase};
#define HYOU "\x95\x5C"  // trail byte is the backslash code

TEST(AntivirusStringReplace, Replaces) {
  struct Case {
    const TextRules* rules;
    std::string source, search, replacement;
    int count;
    std::string result;
  } cases[] = {
      {&kSbcs, "%A%%A%x%A%", "%A%", "", 3, "x"},
      {&kSbcs, "%insTallDir%", "%INSTALLDIR%", "D", 1, "D"},   // case-blind after the first byte
      {&kSbcs, "xABC", "abc", "-", 0, "xABC"},                   // first byte must be the same byte
      {&kSbcs, "%INSTALL", "%INSTALLDIR%", "D", 0, "%INSTALL"},  // text ends inside a candidate
      {&kSbcs, "aaa", "aa", "b", 1, "ba"},                       // matched text is skipped
      {&kSbcs, "C:\\" HYOU "\\", "\\", "/", 3, "C:/\x95/" "/"},  // single-byte: 0x5C always a character
      {&kDbcs, "C:\\" HYOU "\\", "\\", "/", 2, "C:/" HYOU "/"},  // trail byte is never a match
      {&kDbcs, HYOU "x" HYOU "X", HYOU "x", "#", 2, "##"},       // search counted in characters
      {&kDbcs, "ab\x95", "\x95", "#", 1, "ab#"},                 // lone lead byte at the end
      {&kSbcs, "abcdefghijklm", "c", "XYZW", -1, ""},            // 16 bytes and the NUL: no room
  };
  for (const auto& c : cases) {
    char dest[16] = "";
    const int count = StringReplace(*c.rules, dest, sizeof dest, c.source.c_str(), c.search.c_str(),
                                    c.replacement.c_str());
    EXPECT_EQ(std::to_string(count) + " " + dest, std::to_string(c.count) + " " + c.result) << c.source;
  }
}

}  // namespace
}  // namespace twg
