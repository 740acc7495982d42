// The Windows-free rules of earlier-version handling and the running-product shutdown.
#include <gtest/gtest.h>

#include "versions/shutdown_rules.h"
#include "versions/version_rules.h"

namespace twg {
namespace {

TEST(VersionsRules, SharedProgramCurrentOnlyWhenAllThreeTestsPass) {
  // a.b.c.d and whether it is current; the third number never stands in for the fourth.
  const unsigned cases[][5] = {{5, 1, 0, 7, 1}, {5, 1, 0, 6, 0}, {5, 0, 9, 9, 0}, {4, 9, 9, 99, 0},
                               {5, 1, 7, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsCurrentSharedVersion(c[0] << 16 | c[1], c[2] << 16 | c[3]), c[4] == 1) << c[0] << c[3];
  }
}

// 0x95 0x5C is one character under code page 932: its trail byte is no separator, and the byte 0x95
// cannot stand before the 'T' of "TWGUM.EXE" on a character boundary.
TEST(VersionsRules, PathsJudgedByCharactersOfTheCodePage) {
  const LeadBytes single_byte;
  const LeadBytes cp932{{0x81, 0x9F}, {0xE0, 0xFC}};
  EXPECT_EQ(JoinFolderFile(cp932, "C:\\\x95\x5C", "TMain.exe"), "C:\\\x95\x5C\\TMain.exe");
  EXPECT_EQ(JoinFolderFile(single_byte, "C:\\\x95\x5C", "TMain.exe"), "C:\\\x95\x5CTMain.exe");
  EXPECT_TRUE(IsUserManagerPath(single_byte, "c:\\x\\twgum.exe"));
  EXPECT_FALSE(IsUserManagerPath(single_byte, "C:\\TWGUM.EXE.bak"));
  EXPECT_FALSE(IsUserManagerPath(cp932, "C:\\\x95TWGUM.EXE"));
  EXPECT_TRUE(IsUserManagerPath(cp932, "C:\\\x95\x5CTWGUM.EXE"));
}

// A number of 0 would make GetTempFileName create the file, and writing the copy out (create-new) fail.
TEST(VersionsRules, TemporaryFileNumberIsNeverZero) {
  const unsigned cases[][2] = {{0, 9999}, {19998, 9999}, {1, 1}, {0xFFFFFFFFu, 6834}};
  for (const auto& c : cases) EXPECT_EQ(TemporaryFileNumber(c[0]), c[1]) << c[0];
}

TEST(VersionsShutdownRules, CloseLoopEndsOnASurvivorAndAfterTheBound) {
  CloseLoopGuard guard;
  EXPECT_TRUE(guard.ShouldClose(0x40));
  guard.RoundEnded(true);
  EXPECT_TRUE(guard.ShouldClose(0x50)) << "another window after a survivor";
  guard.RoundEnded(true);
  EXPECT_FALSE(guard.ShouldClose(0x50)) << "a survivor found again";
  // A process that keeps making new windows is bounded by the number of rounds.
  CloseLoopGuard respawning;
  int rounds = 0;
  while (respawning.ShouldClose(rounds + 1)) {
    respawning.RoundEnded(false);
    ++rounds;
  }
  EXPECT_EQ(rounds, CloseLoopGuard::kMaxRounds);
}

}  // namespace
}  // namespace twg
