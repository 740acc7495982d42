// Text rules of the configuration writers and the uninstall cleanup that the Wine tests cannot reach, code
// page 932 included (a trail byte may be the backslash code).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

#include "cleanup/cleanup_text.h"
#include "config/dependency_list.h"
#include "config/settings_text.h"
#include "config/signature_import.h"

namespace twg {
namespace {

using namespace std::string_literals;

const LeadBytes kCp932({{0x81, 0x9F}, {0xE0, 0xFC}});
#define HYOU "\x95\x5C"  // "hyou": its trail byte is the backslash code

// The workstation's list loses only the first occurrence (Wine's service manager cannot show it).
TEST(ConfigText, DependencyListRemovesOneOrEveryName) {
  std::string out = "untouched";
  EXPECT_FALSE(WithoutName("TWGUMX\0\0", "TWGUM", RemoveWhich::kEvery, &out));
  ASSERT_TRUE(WithoutName("TWGUM\0\0", "TWGUM", RemoveWhich::kFirst, &out));
  EXPECT_EQ(out, "\0"s);  // the empty list is a single zero byte
  ASSERT_TRUE(WithoutName("X\0twgum\0Y\0TWGUM\0\0", "TWGUM", RemoveWhich::kFirst, &out));
  EXPECT_EQ(out, "X\0Y\0TWGUM\0\0"s);
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
  char icon[] = "\x83\x2c,1";  // a trail byte 0x2C is not the comma
  CutAtLastComma(kCp932, icon);
  EXPECT_STREQ(icon, "\x83\x2c");
}

// The records written ("id/name/priority " each), then "end" or "stop"; the writer fails at record fail_at.
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

TEST(CleanupText, JoinPath) {
  const LeadBytes single_byte;
  const std::string long_folder = "C:\\" + std::string(254, 'f');  // 257 characters
  const std::tuple<const LeadBytes*, std::string, std::string, std::string> cases[] = {  // "": no room
      {&kCp932, "C:\\" HYOU, "b", "C:\\" HYOU "\\b"},  // the trail byte is no separator
      {&single_byte, "C:\\" HYOU, "b", "C:\\" HYOU "b"},      // single-byte: 0x5C is one
      {&single_byte, long_folder, "b", long_folder + "\\b"},  // 259 characters fill 260 bytes
      {&single_byte, long_folder, "bc", ""},
      {&single_byte, long_folder + "\\", "b", long_folder + "\\b"}};  // no second separator
  for (const auto& [lead, folder, name, joined] : cases) {
    char out[260];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(JoinPath(*lead, folder.c_str(), name.c_str(), out), !joined.empty()) << folder;
    EXPECT_EQ(std::string(out), joined) << folder;
  }
}

// The placeholder the profile functions wrote becomes a "NUL=" line in place, with its own line end.
TEST(CleanupText, WininitPlaceholder) {
  const std::string cases[][2] = {
      {"[rename]\nxrn=C:\\NEW\nNUL=C:\\OLD\n", "[rename]\nNUL=C:\\NEW\nNUL=C:\\OLD\n"},
      {"[Rename]\r\nXRN=C:\\NEW", "[Rename]\r\nNUL=C:\\NEW\r\n"},
      {"[Rename]\r\nAXRN=C:\\NEW\r\n", "no placeholder"},
      // A line longer than a read is seen in pieces: a piece that begins with the key counts.
      {std::string(519, 'a') + "XRN=C:\\NEW\r\n", std::string(519, 'a') + "NUL=C:\\NEW\r\n"}};
  for (const auto& c : cases) {
    std::string ini = c[0], line;
    const std::size_t at = PlaceholderEdit(ini, "C:\\NEW", &line);
    EXPECT_EQ(at == std::string::npos ? "no placeholder" : ini.replace(at, line.size(), line), c[1]) << c[0];
  }
}

}  // namespace
}  // namespace twg
