// The text decisions of the updater actions: which edition a property selects, whether the package
// brings the update program, and the update program's command line.
#include <gtest/gtest.h>

#include <string>

#include "updater/update_rules.h"

namespace twg {
namespace {

TEST(UpdaterRules, EditionNeedsTheExactText) {
  struct Case {
    const char* text;
    bool data_is_vxf, flag_is_on;
  } cases[] = {
      {"VXF", true, false}, {"vxf", false, false}, {"VXF ", false, false}, {"Vxf", false, false},
      {"1", false, true},   {"01", false, false},  {"1 ", false, false},   {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCorporateData(c.text), c.data_is_vxf) << "'" << c.text << "'";
    EXPECT_EQ(IsFlagOn(c.text), c.flag_is_on) << "'" << c.text << "'";
  }
}

TEST(UpdaterRules, RunSkyfetchTakesTheLeadingNumber) {
  struct Case {
    const char* run_skyfetch;
    bool package_brings_it;
  } cases[] = {
      {"", true}, {"1", true}, {"2x", true}, {" 3", true}, {"+1", true}, {"999", true},
      {"0", false}, {"00", false}, {"-1", false}, {"x1", false}, {"no", false}, {" ", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PackageBringsSkyfetch(c.run_skyfetch), c.package_brings_it) << "'" << c.run_skyfetch << "'";
}

TEST(UpdaterRules, SilentCheck) {
  struct Case {
    int ui_level;
    const char* silent_install;
    bool silent;
  } cases[] = {
      {2, "", true},        {5, "", false},       {5, "SILENT", true}, {3, "Silent", true},
      {4, "silently", false}, {1, "silent ", false}, {5, "yes", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSilentUpdateCheck(c.ui_level, c.silent_install), c.silent) << c.ui_level << " '" << c.silent_install << "'";
  }
}

TEST(UpdaterRules, UpdateCheckParameters) {
  char out[64];
  ASSERT_TRUE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", false, out, sizeof out));
  EXPECT_STREQ(out, "-m{P} -m{O} -m{U} -m{S}");
  ASSERT_TRUE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", true, out, sizeof out));
  EXPECT_STREQ(out, "-m{P} -m{O} -m{U} -m{S} -s");
  ASSERT_TRUE(BuildUpdateCheckParameters("", "", "", "", false, out, sizeof out));
  EXPECT_STREQ(out, "-m -m -m -m");

  // Exactly filling the buffer (terminator included) fits; one byte less does not, and leaves nothing
  // half-built behind.
  const std::string whole = "-m{P} -m{O} -m{U} -m{S} -s";
  char exact[32];
  ASSERT_TRUE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", true, exact, whole.size() + 1));
  EXPECT_EQ(exact, whole);
  EXPECT_FALSE(BuildUpdateCheckParameters("{P}", "{O}", "{U}", "{S}", true, exact, whole.size()));
  EXPECT_STREQ(exact, "");
}

}  // namespace
}  // namespace twg
