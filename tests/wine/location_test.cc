// The install-folder checks and the folder actions in real sessions under Wine, on real drives:
// tests/wine/location.setup.sh gives this prefix a CD-ROM (K:), a network drive (N:), a 16 MB volume (S:)
// and a read-only volume (R:) before the runner starts.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

constexpr char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// What both checks made of one folder in one session: "<product result>/<companion result> <product
// valid><space short><companion valid> <INSTALLDIR>|<TVSINSTALLDIR>".
std::string CheckFolder(const std::string& folder, const char* ui_level = "5") {
  Session session(Package().Action("TWGCheckInstallPath").Action("TVSCheckInstallPath").Build());
  session.SetProperty("UILevel", ui_level);
  session.SetProperty("INSTALLDIR", folder);
  session.SetProperty("TVSINSTALLDIR", folder);
  const UINT product = session.Do("TWGCheckInstallPath");
  const UINT companion = session.Do("TVSCheckInstallPath");
  return std::to_string(product) + "/" + std::to_string(companion) + " " +
         session.Property("TWGInstallDirIsValid") + session.Property("DISKSPACESHORT") +
         session.Property("TVSInstallDirIsValid") + " " + session.Property("INSTALLDIR") + "|" +
         session.Property("TVSINSTALLDIR");
}

// The machine every folder case starts from: the system folders recorded, no shared or companion
// folder recorded.
void StandardMachine() {
  RegSetString(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", "C:\\Program Files");
  RegSetString(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir", "C:\\Program Files\\Common Files");
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane");
}

// Each folder with "<product valid><companion valid>". A full interface shows its own error text, so
// neither check fails; a folder is written back as it was read (7-bit text reads the same in the OEM
// code page).
void ExpectVerdicts(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& c : cases) {
    const std::string flags = c.second.substr(0, 1) + "0" + c.second.substr(1);
    EXPECT_EQ(CheckFolder(c.first), "0/0 " + flags + " " + c.first + "|" + c.first);
  }
}

TEST(LocationRules, TextRulesOfBothChecks) {
  StandardMachine();
  RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", "TVS95", "C:\\TVS Folder");
  char temp[MAX_PATH], documents[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);  // ends with a backslash
  SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents);
  ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_CDROM)) << "see location.setup.sh";
  ExpectVerdicts({
      {"C:\\" + std::string(97, 'a'), "11"}, {"C:\\" + std::string(98, 'a'), "00"},  // 100 and 101 characters
      {"C:\\Program Files", "00"}, {"C:\\program files\\Taskan Web Guard\\", "11"},  // only the folder itself
      {"C:\\Program Files\\Common Files\\X\\", "00"}, {"C:\\windows\\X\\", "00"},
      {"C:\\Program Files\\Veltrane_Client_Security\\", "01"},  // the corporate default
      {"C:\\tvs folder\\", "01"},                                // the companion's recorded folder
      {std::string(temp) + "X\\", "00"}, {std::string(documents) + "\\X\\", "00"},
      {"C:\\Program Files\\Veltrane\\Skyfetch\\", "00"},  // the maker's shared folder, unrecorded
      {"C:\\R&D\\", "01"}, {"C:\\A \\B\\", "00"},         // a name may not end with a space
      {"K:\\Taskan\\", "00"}, {"N:\\Taskan\\", "00"},     // CD-ROM, network drive
      {"X:\\Taskan\\", "00"},                             // no such drive: free space unknown
  });
  // Documents redirected to a drive root: only the root itself lies within "C:\", so every folder on
  // that drive stays open.
  RegSetString(HKEY_CURRENT_USER, kShellFolders, "Personal", "C:\\");
  ExpectVerdicts({{"C:\\Taskan Web Guard\\", "11"}, {"C:\\A", "11"}});
  RegDeleteValue(HKEY_CURRENT_USER, kShellFolders, "Personal");
  // The Windows 95 family asks the vwin32 device for substituted drives, which Wine lacks: the answer
  // must be no, and nothing else may change.
  ScopedWindowsVersion win95("win95");
  ExpectVerdicts({{"C:\\Taskan Web Guard\\", "11"}, {"K:\\Taskan\\", "00"}});
}

// A refused folder, or one on a volume without the space, fails the install only at UILevel 3 or less
// (text that is no number counts as 0). The companion check measures no space and never fails.
TEST(LocationRules, ResultsBySpaceAndInterfaceLevel) {
  StandardMachine();
  const char* const cases[][3] = {  // folder, UILevel, results and flags as CheckFolder gives them
      {"C:\\windows\\X\\", "3", "1603/0 000"}, {"C:\\windows\\X\\", "4", "0/0 000"},
      {"C:\\windows\\X\\", "full", "1603/0 000"}, {"C:\\Taskan\\", "2", "0/0 101"},
      // On the small volume the folder rules do not run: the semicolon would refuse the folder.
      {"S:\\Tas;kan\\", "2", "1603/0 110"}, {"S:\\Tas;kan\\", "5", "0/0 110"}, {"S:\\Taskan\\", "5", "0/0 111"}};
  for (const auto& c : cases) {
    if (c[0][0] == 'S' && GetDriveTypeA("S:\\") <= DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "S: needs mount rights";
    EXPECT_EQ(CheckFolder(c[0], c[1]), std::string(c[2]) + " " + c[0] + "|" + c[0]) << c[1];
  }
}

// Program Files that exists but is not recorded is named by no lookup, so its rules do not apply; missing,
// it is created and recorded by the check, which runs every rule also for a refused folder.
TEST(LocationRules, UnrecordedAndMissingProgramFiles) {
  StandardMachine();
  RegDeleteValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  RegDeleteValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
  ExpectVerdicts({{"C:\\Program Files\\", "11"}, {"C:\\Program Files\\Common Files\\X\\", "11"}});
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir").exists);

  ASSERT_TRUE(MoveFileA("C:\\Program Files", "C:\\Program Files.aside"));
  EXPECT_EQ(CheckFolder("C:\\windows\\X\\").substr(4, 1), "0");
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir").text() + "|" +
                RegGet(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir").text(),
            "C:\\Program Files|C:\\Program Files\\Common Files");
  EXPECT_TRUE(FileExists("C:\\Program Files\\Common Files"));
  RemoveDirectoryA("C:\\Program Files\\Common Files");
  RemoveDirectoryA("C:\\Program Files");
  MoveFileA("C:\\Program Files.aside", "C:\\Program Files");
}

std::string Writeable(const std::string& folder) {
  Session session(Package().Action("fnIsFolderWriteable").Build());
  session.SetProperty("INSTALLDIR", folder);
  EXPECT_EQ(session.Do("fnIsFolderWriteable"), ERROR_SUCCESS);
  return session.Property("WRITEABLEFOLDER");
}

// A missing folder without its trailing backslash is still the first one tried: cutting its last name
// first would try only parents that exist already, and answer "0". The probe leaves nothing behind.
TEST(LocationWriteable, ExistingMissingAndReadOnlyFolders) {
  const std::string dir = NewTempDir("writeable");
  WriteFileText(dir + "\\DeleteThisFile.txt", "left by someone");
  EXPECT_EQ(Writeable(dir + "\\") + Writeable(dir + "\\new\\deeper\\") + Writeable(dir + "\\new"), "111");
  EXPECT_FALSE(FileExists(dir + "\\DeleteThisFile.txt") || FileExists(dir + "\\new"));
  EXPECT_EQ(Writeable("X:\\Taskan\\") + Writeable(""), "00");  // no such drive; unset: no probe of a root
  // Root passes every permission bit, so the unwritable folder is a read-only mount.
  if (GetDriveTypeA("R:\\") <= DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "R: needs mount rights";
  EXPECT_EQ(Writeable("R:\\") + Writeable("R:\\missing\\deeper\\"), "00");
}

TEST(LocationForms, UncTrailingBackslashAndSystemAttribute) {
  const char* const forms[][2] = {
      {"CommonAppDataDir", "NOBACKSLASHCOMMONAPPDATADIR"}, {"CommonFilesDir", "NOBACKSLASHCOMMONFILESDIR"},
      {"InstallDir", "NOBACKSLASHINSTALLDIR"},             {"AppDataDir", "NOBACKSLASHAPPDATADIR"}};
  for (const auto& form : forms) {
    for (const char* folder : {"C:\\Taskan\\", "C:\\Taskan\\\\"}) {  // one backslash goes
      EXPECT_EQ(RunAction(std::string("TWGRemoveBackslashFrom") + form[0], {{form[1], folder}}, {form[1]})
                    .properties[form[1]] + "\\", folder) << form[0];
    }
  }
  const std::string dir = NewTempDir("sysattr");
  ASSERT_TRUE(SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(RunAction("TWGAddSystemAttribToInstDir", {{"INSTALLDIR", dir + "\\"}}, {}).result, ERROR_SUCCESS);
  EXPECT_EQ(GetFileAttributesA(dir.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
  // Last: while a session is open, Wine runs the actions of no other.
  Session unc(Package().Action("DetectUNC").Build());
  unc.SetProperty("SourceDir", "\\\\server\\share\\setup\\");
  EXPECT_EQ(unc.Do("DetectUNC"), ERROR_SUCCESS);
  EXPECT_EQ(unc.Property("UNCPath"), "1");
}

// Runs in wine.frame_cp932, whose runner has code page 932.
TEST(LocationCp932, DoubleByteFoldersAreRefused) {
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932 (ctest runs it as wine.frame_cp932)";
  StandardMachine();
  ExpectVerdicts({{"C:\\\x95\x5C\\", "00"},  // a kanji whose trail byte is the backslash code
                  {"C:\\Taskan\\\x83\x65\x83\x58\x83\x67\\", "00"}, {"C:\\Taskan Web Guard\\", "11"}});
}

}  // namespace
