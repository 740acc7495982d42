// The uninstall cleanup in real sessions under Wine: files deleted now or scheduled for the next restart
// (pending renames on NT, WININIT.INI on the 9x family). See cleanup.setup.sh for what runs first.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "harness/harness.h"

using namespace harness;
using namespace std::string_literals;

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kWininit[] = "C:\\windows\\WININIT.INI";
constexpr char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";
using Paths = std::vector<std::string>;

std::string ShortPath(const std::string& path) {
  char out[MAX_PATH];
  return std::string(out, GetShortPathNameA(path.c_str(), out, MAX_PATH));
}

void WriteFile(const std::string& path) { WriteFileText(path, "data"); }

void MakeFolders(const Paths& folders) {
  for (const auto& folder : folders) CreateDirectoryA(folder.c_str(), nullptr);
}

// The machine as before any uninstall: nothing scheduled, nothing recorded; a new folder to work in.
std::string Fresh() {
  DeleteFileA(kWininit);
  RegDeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
  RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane");
  return NewTempDir("cleanup");
}

// The paths of the pending renames that have no new name, in order, without the "\??\" prefix.
Paths PendingDeletes() {
  std::istringstream in(RegGet(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations").data);
  Paths deletes;
  for (std::string from, to; std::getline(in, from, '\0') && std::getline(in, to, '\0') && !from.empty();) {
    if (to.empty()) deletes.push_back(from.substr(from.rfind("\\??\\", 0) == 0 ? 4 : 0));
  }
  return deletes;
}

// Held without sharing until the runner ends, as the running product holds them (from another process).
void Hold(const Paths& files) {
  for (const auto& f : files) {
    HANDLE held = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(held, INVALID_HANDLE_VALUE) << f;
  }
}

// Sealed or plain configuration: what goes, what waits and where; other programs' WININIT.INI lines stay.
TEST(CleanupTest, DataFilesInUseWaitForTheRestart) {
  const std::string earlier = "[Rename]\r\nNUL=C:\\EARLIER.TMP\r\n";
  for (const bool nt : {true, false}) {
    const std::string dir = Fresh(), install = dir + "\\Install", data = dir + "\\Data";
    MakeFolders({install, install + "\\Temp", data, data + "\\CUSTOM"});
    for (const char* name : {"TWGUM.DAT", "HBM.GID", "nbd.dat", "URLLIST.lst", "Temp\\Twgum.dat"}) {
      WriteFile(install + "\\" + name);
    }
    WriteFile(data + "\\CATS.DAT");
    WriteFile(data + "\\CUSTOM\\kept.txt");
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", install + "\\");
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "DataFolder", data);
    if (nt) ASSERT_EQ(RunAction("EncryptRegistry", {}, {}).result, ERROR_SUCCESS);
    WriteFileText(kWininit, earlier);
    Hold({install + "\\HBM.GID", install + "\\nbd.dat", data + "\\CATS.DAT"});
    ScopedWindowsVersion emulated(nt ? "winxp" : "win98");
    EXPECT_EQ(RunAction("CleanUpFiles", {}, {}).result, 0u);
    for (auto gone : {"\\TWGUM.DAT", "\\URLLIST.lst", "\\Temp"}) EXPECT_FALSE(FileExists(install + gone));
    EXPECT_TRUE(FileExists(data + "\\CUSTOM\\kept.txt"));
    const Paths in_use = {ShortPath(install + "\\HBM.GID"), ShortPath(install + "\\nbd.dat"),
                          ShortPath(data + "\\CATS.DAT"), ShortPath(data + "\\CUSTOM")};
    std::string wininit = earlier;
    for (const auto& path : in_use) wininit += "NUL=" + path + "\r\n";
    EXPECT_EQ(PendingDeletes(), nt ? in_use : Paths{}) << nt;
    EXPECT_EQ(ReadFileText(kWininit), nt ? earlier : wininit) << nt;
  }
}

TEST(CleanupTest, BatchFileAndRunOncePerPlatform) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string batch = std::string(temp) + "VXFDeleteMe.bat";
  // Version, the batch file's lines (none: no folders registered) with P, D, C, R for the product, data,
  // companion and parent folders, the interpreter. On win98 a file beside the folders keeps the parent.
  const char* const cases[][3] = {
      {"winxp", "rmdir \"P\"\r\nrmdir \"D\" /S /Q \r\nrmdir \"C\"\r\nrmdir \"R\"\r\n",
       "C:\\windows\\system32\\cmd.exe"},
      {"win98", "rmdir \"P\"\r\nrmdir \"D\"\r\nrmdir \"C\"\r\n", "C:\\Command.com"},
      {"winxp", "", "C:\\windows\\system32\\cmd.exe"},
  };
  for (const auto& [version, lines, interpreter] : cases) {
    SCOPED_TRACE(version);
    const std::string dir = Fresh(), root = dir + "\\Veltrane", product = root + "\\Taskan Web Guard";
    const std::string companion = root + "\\TVS", data = dir + "\\Data";
    DeleteFileA(batch.c_str());
    MakeFolders({root, product, companion, data});
    if (std::strcmp(version, "win98") == 0) WriteFile(root + "\\stray.txt");
    if (*lines) RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard", product);
    if (*lines) RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "Taskan Web Guard Data", data);
    ScopedWindowsVersion emulated(version);
    EXPECT_EQ(RunAction("RemoveTWGDir", {{"TVSInstalledDir", companion}}, {}).result, 0u);
    const std::map<char, std::string> folders = {{'P', product}, {'D', data}, {'C', companion}, {'R', root}};
    std::string expected;
    for (const char* c = lines; *c; ++c) expected += folders.count(*c) ? folders.at(*c) : std::string(1, *c);
    EXPECT_EQ(ReadFileText(batch), expected.empty() ? "" : expected + "del \"" + batch + "\"");
    const std::string run_once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, run_once, "VXFDeleteMe").text(),
              "\"" + std::string(interpreter) + "\" /c \"" + batch + "\"");
  }
}

// The count is the other products' business (never changed); one not readable as 4 bytes keeps the file.
TEST(CleanupTest, SharedProgramFollowsItsUseCount) {
  // The count's value ("": none), whether the program is in use; whether it is kept, and scheduled.
  const std::tuple<std::string, bool, bool, bool> cases[] = {
      {"", false, false, false}, {"\1\0\0\0"s, false, false, false}, {"\1\0\0\0"s, true, true, true},
      {"\2\0\0\0"s, false, true, false}, {"\1\0\0\0\0\0\0\0"s, false, true, false}};
  const std::string shared = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
  RegSetDword(HKEY_LOCAL_MACHINE, shared, "C:\\other.dll", 1);  // every system has the key
  for (const auto& [count, in_use, kept, scheduled] : cases) {
    SCOPED_TRACE(testing::PrintToString(count) + (in_use ? ", in use" : ""));
    const std::string dir = Fresh(), program = dir + "\\TMain.exe";
    WriteFile(program);
    if (!count.empty()) RegSetBinary(HKEY_LOCAL_MACHINE, shared, program, count);
    if (in_use) Hold({program});
    EXPECT_EQ(RunAction("RemoveTMain", {{"CommonFilesFolderVeltrane", dir + "\\"}}, {}).result, 0u);
    EXPECT_EQ(FileExists(program), kept);
    EXPECT_EQ(PendingDeletes(), scheduled ? Paths{program} : Paths{});
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, shared, program).data, count);
  }
}

TEST(CleanupTest, StartMenuFolderMove) {
  HMODULE dll = LoadLibraryA(DllPath().c_str());
  using Move = int(__cdecl*)(const char*, const char*);
  auto move = reinterpret_cast<Move>(GetProcAddress(dll, "MoveStartMenuItems"));
  ASSERT_NE(move, nullptr);
  char programs[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, TRUE));
  const std::string base = programs + std::string("\\TWG ");
  MakeFolders({base + "Old"});
  WriteFile(base + "Old\\Taskan.lnk");
  EXPECT_EQ(move("TWG New", "TWG Missing"), 0);
  EXPECT_EQ(move("TWG New", "TWG Old"), 1);
  EXPECT_FALSE(FileExists(base + "Old"));
  EXPECT_TRUE(FileExists(base + "New\\Taskan.lnk"));
}

// A folder name ending in the trail byte 0x5C: joined byte-wise, the data file's name would be glued on.
TEST(CleanupTest, DoubleByteFolderEndingInTrailByte) {
  if (GetACP() != 932) GTEST_SKIP() << "runs in the code page 932 runner";
  const std::string install = Fresh() + "\\\x95\x5C";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  WriteFile(install + "\\URLLIST.lst");
  RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", install);
  EXPECT_EQ(RunAction("CleanUpFiles", {}, {}).result, 0u);
  EXPECT_FALSE(FileExists(install + "\\URLLIST.lst"));
}

// Arranged by the first runner (a tree scheduled in each family's way; then a new wineserver, the restart):
// the trees are gone (Wine deletes only WININIT.INI's files) and both earlier runners passed.
TEST(CleanupRestart, ScheduledTreesAreGoneAndTheCp932RunnerPassed) {
  const bool arranging = std::getenv("TWG_CLEANUP_ARRANGE") != nullptr;
  for (const char* version : {"winxp", "win98"}) {
    const std::string tree = std::string("C:\\restart-") + version + "\\TWG";
    const std::string cab = tree + "\\Setup\\Sub\\data.cab";
    if (arranging) {
      MakeFolders({tree.substr(0, tree.size() - 4), tree, tree + "\\Setup", tree + "\\Setup\\Sub"});
      WriteFile(tree + "\\Setup\\setup.exe");
      WriteFile(cab);
      ScopedWindowsVersion emulated(version);
      ASSERT_EQ(RunAction("DeleteESDSource", {{"SourceDir", tree + "\\Setup\\"}}, {}).result, 0u);
    } else {
      EXPECT_FALSE(FileExists(std::strcmp(version, "winxp") == 0 ? tree : cab)) << version;
    }
  }
  // R: is a folder of its own: "R:\Setup\" would make the drive's root the download folder.
  if (arranging) ASSERT_EQ(RunAction("DeleteESDSource", {{"SourceDir", "R:\\Setup\\"}}, {}).result, 0u);
  if (arranging) return;
  EXPECT_TRUE(FileExists("R:\\Setup\\setup.exe"));
  for (const char* log : {"C:\\cleanup-arrange.log", "C:\\cleanup-cp932.log"}) {
    const std::string text = ReadFileText(log);
    EXPECT_NE(text.find("[  PASSED  ] 1 test."), std::string::npos) << log << ":\n" << text;
  }
}

}  // namespace
