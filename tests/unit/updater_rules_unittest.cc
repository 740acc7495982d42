// The text decisions of the updater actions: which edition a property selects, whether the package
// brings the update program, whether the update check is silent, and the check's command line.
#include <gtest/gtest.h>

#include <string>

#include "updater/update_rules.h"

namespace twg {
namespace {

TEST(UpdaterRules, Decisions) {
  for (const char* text : {"VXF", "vxf", "VXF ", "1", "01", ""}) {  // exact texts only
    EXPECT_EQ(IsCorporateData(text), text == std::string("VXF")) << text;
    EXPECT_EQ(IsFlagOn(text), text == std::string("1")) << text;
  }
  // The leading number as the C library reads it; no text at all means the package brings the program.
  for (const char* yes : {"", "1", "2x", " 3", "+1"}) EXPECT_TRUE(PackageBringsSkyfetch(yes)) << yes;
  for (const char* no : {"0", "-1", "x1", " "}) EXPECT_FALSE(PackageBringsSkyfetch(no)) << no;
  EXPECT_TRUE(IsSilentUpdateCheck(2, "") && IsSilentUpdateCheck(5, "Silent"));
  EXPECT_FALSE(IsSilentUpdateCheck(4, "silent "));
  // Exactly filling the buffer (terminator included) fits; one byte less leaves nothing half-built.
  char out[27];
  ASSERT_TRUE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", true, out, 27));
  EXPECT_STREQ(out, "-m{P} -m{O} -m{U} -m{S} -s");
  EXPECT_FALSE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", true, out, 26));
  EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace twg
