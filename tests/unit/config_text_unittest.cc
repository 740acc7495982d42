// The configuration writers' text rules: dependency lists, the dialogs' checks, the alert icon and the
// signature catalogue (the Wine tests show that the results reach the registry and properties).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "config/dependency_list.h"
#include "config/settings_text.h"
#include "config/signature_import.h"

namespace twg {
namespace {

const LeadBytes kCp932({{0x81, 0x9F}, {0xE0, 0xFC}});

// Lists are written with '|' for each zero byte, the final zero included.
std::string L(const std::string& text) {
  std::string s(text);
  std::replace(s.begin(), s.end(), '|', '\0');
  return s;
}

TEST(ConfigText, DependencyListAddsOnceAndRemovesKeepingTheOrder) {
  EXPECT_TRUE(ContainsName(L("A|tWgUm||").c_str(), "TWGUM"));
  EXPECT_FALSE(ContainsName(L("TWGUMX||").c_str(), "TWGUM"));
  const char* const cases[][3] = {  // list, without the first, without every one ("": not found)
      {"TWGUM||", "|", "|"},         // the empty list is a single zero byte
      {"A|B||", "", ""},
      {"X|twgum|Y|TWGUM||", "X|Y|TWGUM||", "X|Y||"}};
  for (const auto& c : cases) {
    for (const RemoveWhich which : {RemoveWhich::kFirst, RemoveWhich::kEvery}) {
      const std::string expected = c[which == RemoveWhich::kFirst ? 1 : 2];
      std::string out = "untouched";
      EXPECT_EQ(WithoutName(L(c[0]).c_str(), "TWGUM", which, &out), !expected.empty()) << c[0];
      EXPECT_EQ(out, expected.empty() ? "untouched" : L(expected)) << c[0];
    }
  }
}

TEST(ConfigText, SettingsText) {
  // Accepted names come back as typed: only the space is trimmed, and 0x21 as a trail byte is no "!".
  const std::pair<std::string, bool> names[] = {{"\tPat\t", true}, {std::string(32, 'a'), true},
                                                {"\x83\x21x", true}, {std::string(33, 'a'), false},
                                                {"", false}, {"Pat!", false}};
  for (const auto& [typed, good] : names) {
    std::string trimmed;
    EXPECT_EQ(AcceptUserName(kCp932, typed.c_str(), &trimmed), good) << typed;
    EXPECT_EQ(trimmed, good ? typed : "") << typed;
  }
  EXPECT_TRUE(HasDoubleByteOrHighByte(LeadBytes({{0x41, 0x41}}), "xAy"));
  char icon[] = "\x83\x2c,1";  // a trail byte 0x2C is not the comma
  CutAtLastComma(kCp932, icon);
  EXPECT_STREQ(icon, "\x83\x2c");
}

// The records a catalogue hands to the writer ("id/name/priority " each), then "end" when it was read to
// its end, "stop" when not; the writer refuses from record fail_at on.
std::string Import(const std::string& text, std::size_t fail_at = 99) {
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  std::string written;
  std::size_t count = 0;
  const bool complete = ImportSignatures(file, [&](const SignatureRecord& r) {
    if (count++ == fail_at) return false;
    written += std::to_string(r.id) + "/" + r.name + "/" + std::to_string(r.priority) + " ";
    return true;
  });
  std::fclose(file);
  return written + (complete ? "end" : "stop");
}

TEST(ConfigText, SignatureCatalogue) {
  const std::string h = "id:name:a:b:priority:c:d:products\n", cut = "1:a:x:y:low:x:y:TWG:";
  const std::string cases[][2] = {
      {h + "1203:Port scan:x:y:HIGH:x:y:TWG,VXF\n", "1203/Port scan/3 end"},
      {h + "  -12abc:n:x:y:Medium:x:y:aTWGb", "-12/n/2 end"},  // last line without its end
      {h + "1203:Port scan::y:x:HIGH:y:TWG\n", "end"},          // an empty field: seven fields
      {h + "1203:Port scan::y:HIGH:x:y:TWG\n", "stop"},         // ... and "x" moves into the priority
      {h + "1:n:x:y:high:x:y:twg\n", "end"},                    // the product mark is case-sensitive
      {h + "::1203::n:x:y:high:x:y:TWG::\n", "1203/n/3 end"},   // runs of separators collapse
      {h + "1:" + std::string(100, 'a') + ":x:y:low:x:y:TWG\n", "stop"},
      {h + "1:a:x:y:low:x:y:TWG\n2:b:x:y:urgent\n3:c:x:y:high:x:y:TWG\n", "1/a/1 stop"},
      {"1:a:x:y:low:x:y:TWG\n", "end"},  // the first line is the header, whatever it holds
      // 299 characters per read: the tail after the cut is a record of its own.
      {h + cut + std::string(kSignatureReadChars - cut.size(), 'z') + "9:t:x:y:high:x:y:TWG\n", "9/t/3 end"},
  };
  for (const auto& c : cases) EXPECT_EQ(Import(c[0]), c[1]) << c[0];
  EXPECT_EQ(Import(h + "1:a:x:y:low:x:y:TWG\n4:d:x:y:high:x:y:TWG\n", 1), "1/a/1 stop");
}

}  // namespace
}  // namespace twg
