// The uninstall cleanup's text work the Wine tests cannot reach: joins into fixed buffers, code page 932
// folder names (a trail byte may be the backslash code), WININIT.INI edits on files others wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cleanup/cleanup_text.h"

namespace twg {
namespace {

// "hyou" (0x95 0x5C): its trail byte is the backslash code.
#define HYOU "\x95\x5C"

TEST(CleanupText, JoinPath) {
  const LeadBytes single_byte, cp932{{0x81, 0x9F}, {0xE0, 0xFC}};
  const std::string long_folder = "C:\\" + std::string(254, 'f');  // 257 characters
  struct Case {
    const LeadBytes* lead;
    std::string folder, name, joined;  // "": does not fit
  } cases[] = {
      {&cp932, "C:\\" HYOU, "b.dat", "C:\\" HYOU "\\b.dat"},  // the trail byte is no separator
      {&cp932, "C:\\" HYOU "\\", "b.dat", "C:\\" HYOU "\\b.dat"},
      {&single_byte, "C:\\" HYOU, "b.dat", "C:\\" HYOU "b.dat"},  // single-byte: 0x5C is one
      {&single_byte, long_folder, "b", long_folder + "\\b"},      // 259 characters fill 260 bytes
      {&single_byte, long_folder, "bc", ""},
      {&single_byte, long_folder + "\\", "b", long_folder + "\\b"},  // no second separator
  };
  for (const auto& c : cases) {
    char out[260];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(JoinPath(*c.lead, c.folder.c_str(), c.name.c_str(), out), !c.joined.empty()) << c.folder;
    EXPECT_EQ(std::string(out), c.joined) << c.folder;
  }
}

// The placeholder the profile functions wrote becomes a "NUL=" line in place, with its own line end.
TEST(CleanupText, WininitPlaceholder) {
  const std::string cases[][2] = {
      {"[rename]\nxrn=C:\\NEW\nNUL=C:\\OLD\n", "[rename]\nNUL=C:\\NEW\nNUL=C:\\OLD\n"},
      {"[Rename]\r\nXRN=C:\\NEW", "[Rename]\r\nNUL=C:\\NEW\r\n"},
      {"[Rename]\r\nAXRN=C:\\NEW\r\n", "no placeholder"},
      // A line longer than a read is seen in pieces: a piece that begins with the key counts.
      {std::string(519, 'a') + "XRN=C:\\NEW\r\n", std::string(519, 'a') + "NUL=C:\\NEW\r\n"},
  };
  for (const auto& c : cases) {
    std::string ini = c[0], line;
    const std::size_t at = PlaceholderEdit(ini, "C:\\NEW", &line);
    EXPECT_EQ(at == std::string::npos ? "no placeholder" : ini.replace(at, line.size(), line), c[1]) << c[0];
  }
}

}  // namespace
}  // namespace twg
