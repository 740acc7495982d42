// The Windows-free rules of earlier-version handling and the running-product shutdown.
#include <gtest/gtest.h>

#include <string>

#include "versions/shutdown_rules.h"
#include "versions/version_rules.h"

namespace twg {
namespace {

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};

std::uint32_t Pair(std::uint32_t high, std::uint32_t low) { return (high << 16) | low; }

TEST(VersionsRules, SharedProgramCurrentOnlyWhenAllThreeTestsPass) {
  struct Case {
    unsigned a, b, c, d;
    bool current;
  } cases[] = {
      {5, 1, 0, 7, true},   {5, 2, 3, 9, true},    {5, 0, 9, 9, false}, {4, 9, 9, 99, false},
      {6, 0, 0, 10, false}, {5, 1, 0, 6, false},   {5, 1, 65535, 7, true}, {0xFFFF, 0xFFFF, 0, 0xFFFF, true},
      {5, 1, 7, 0, false},  // the third number never stands in for the fourth
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCurrentSharedVersion(Pair(c.a, c.b), Pair(c.c, c.d)), c.current) << c.a << '.' << c.b << '.' << c.c
                                                                                 << '.' << c.d;
  }
}

TEST(VersionsRules, JoinFolderFile) {
  struct Case {
    const LeadBytes* lead;
    std::string folder, expected;
  } cases[] = {
      {&kSingleByte, "C:\\Shared", "C:\\Shared\\TMain.exe"},
      {&kSingleByte, "C:\\Shared\\", "C:\\Shared\\TMain.exe"},
      {&kSingleByte, "", "TMain.exe"},
      // 0x95 0x5C is one character under 932: its trail byte is no separator.
      {&kCp932, "C:\\\x95\x5C", "C:\\\x95\x5C\\TMain.exe"},
      {&kSingleByte, "C:\\\x95\x5C", "C:\\\x95\x5CTMain.exe"},
      {&kCp932, "C:\\\x95\x5C\\", "C:\\\x95\x5C\\TMain.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinFolderFile(*c.lead, c.folder, "TMain.exe"), c.expected) << c.folder;
}

TEST(VersionsRules, BackupPath) {
  EXPECT_EQ(BackupPathFor("C:\\S\\TMain.exe") + "|" + BackupPathFor("abcd") + "|" + BackupPathFor("abc") + "|" +
                BackupPathFor(""),
            "C:\\S\\TMain.bak|abak||");
}

// A number of 0 would make GetTempFileName create the file, and writing the copy out (create-new) fail.
TEST(VersionsRules, TemporaryFileNumberIsNeverZero) {
  const unsigned cases[][2] = {{0, 9999}, {9999, 9999}, {19998, 9999}, {1, 1}, {9998, 9998}, {32767, 2770},
                               {0xFFFFFFFFu, 6834}};
  for (const auto& c : cases) EXPECT_EQ(TemporaryFileNumber(c[0]), c[1]) << c[0];
}

TEST(VersionsRules, RootRecognisedBySeventhCharacter) {
  struct Case {
    const char* name;
    RootName root;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", RootName::kClassesRoot}, {"HKEY_LOCAL_MACHINE", RootName::kLocalMachine},
      {"HKEY_USERS", RootName::kUsers},              {"HKEY_CURRENT_USER", RootName::kCurrentUser},
      {"hkey_local_machine", RootName::kLocalMachine}, {"xxxxxxo", RootName::kLocalMachine},
      {"HKEY_CURRENT_CONFIG", RootName::kCurrentUser},  // only the seventh character counts
      {"HKEY_DYN_DATA", RootName::kNone},            {"HKLM", RootName::kNone},
      {"", RootName::kNone},                         {nullptr, RootName::kNone},
  };
  for (const auto& c : cases) EXPECT_EQ(RootFromName(c.name), c.root) << (c.name ? c.name : "(null)");
}

TEST(VersionsShutdownRules, PlatformColumns) {
  ShutdownWindowTable table = MakeShutdownWindowTable(0xC123, "CWebWindow_ClassX");
  std::string on_9x, on_nt, on_other;
  for (const auto& entry : table) {
    if (AppliesTo(entry, Platform::kWindows9x)) on_9x += entry.class_name + ";";
    if (AppliesTo(entry, Platform::kWindowsNT)) on_nt += entry.class_name + ";";
    if (AppliesTo(entry, Platform::kOther)) on_other += entry.class_name + ";";
  }
  EXPECT_EQ(on_9x, "CorrixStats;HBMTrashClass;GrdLog;Veltrane HBMApp Class;vel hbm;TWGUMWindowClass;"
                   "Vel_DockedWnd_Parent_Class;CWebWindow_ClassX;");
  EXPECT_EQ(on_nt, "CorrixStats;HBMTrashClass;GrdLog;Veltrane HBMApp Class;Vel_DockedWnd_Parent_Class;"
                   "CWebWindow_ClassX;");
  EXPECT_EQ(on_other, "");
  EXPECT_EQ(table[0].message, 0xC123u) << "the registered stop message goes first";
  EXPECT_EQ(PlatformFromId(1), Platform::kWindows9x);
  EXPECT_EQ(PlatformFromId(2), Platform::kWindowsNT);
  EXPECT_EQ(PlatformFromId(0), Platform::kOther);
}

TEST(VersionsShutdownRules, WebWindowClass) {
  struct Case {
    const char* name;
    bool match;
  } cases[] = {{"CWebWindow_Class", true},     {"cwebwindow_class", true}, {"CWEBWINDOW_CLASS_Extra", true},
               {"CWebWindow_Clas", false},     {"XCWebWindow_Class", false}, {"", false}, {nullptr, false}};
  for (const auto& c : cases) EXPECT_EQ(IsWebWindowClass(c.name), c.match) << (c.name ? c.name : "(null)");
}

TEST(VersionsShutdownRules, UserManagerPath) {
  struct Case {
    const LeadBytes* lead;
    const char* path;
    bool match;
  } cases[] = {
      {&kSingleByte, "C:\\Program Files\\Taskan\\TWGUM.EXE", true},
      {&kSingleByte, "c:\\x\\twgum.exe", true},
      {&kSingleByte, "TWGUM.EXE", true},
      {&kSingleByte, "WGUM.EXE", false},
      {&kSingleByte, "C:\\TWGUM.EXE.bak", false},
      {&kSingleByte, "C:\\MYTWGUM.EXE", true},  // a suffix test, as the path is compared from its end
      // Under 932 the byte before "TWGUM.EXE" may be a lead byte that swallows the 'T'.
      {&kCp932, "C:\\\x95TWGUM.EXE", false},
      {&kCp932, "C:\\\x95\x5CTWGUM.EXE", true},
      {&kSingleByte, "C:\\\x95TWGUM.EXE", true},
      {&kSingleByte, nullptr, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUserManagerPath(*c.lead, c.path), c.match) << (c.path ? c.path : "(null)");
}

TEST(VersionsShutdownRules, CloseLoopEndsOnASurvivorAndAfterTheBound) {
  CloseLoopGuard guard;
  // Three windows, each gone after its round.
  for (std::uintptr_t w : {0x10u, 0x20u, 0x30u}) {
    EXPECT_TRUE(guard.ShouldClose(w));
    guard.RoundEnded(false);
  }
  // A window that outlives its round is not taken on again.
  EXPECT_TRUE(guard.ShouldClose(0x40));
  guard.RoundEnded(true);
  EXPECT_FALSE(guard.ShouldClose(0x40));
  EXPECT_FALSE(guard.ShouldClose(0));

  // A process that keeps making new windows is bounded by the number of rounds.
  CloseLoopGuard respawning;
  int rounds = 0;
  for (std::uintptr_t w = 1; respawning.ShouldClose(w); ++w) {
    respawning.RoundEnded(false);
    ++rounds;
  }
  EXPECT_EQ(rounds, CloseLoopGuard::kMaxRounds);

  // A survivor followed by a different window: the loop goes on with the new one.
  CloseLoopGuard other;
  EXPECT_TRUE(other.ShouldClose(0x50));
  other.RoundEnded(true);
  EXPECT_TRUE(other.ShouldClose(0x60));
}

}  // namespace
}  // namespace twg
