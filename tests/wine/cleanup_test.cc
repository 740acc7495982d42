// The uninstall cleanup in real sessions under Wine: files deleted now or scheduled for the next
// restart (pending renames on NT, WININIT.INI on the 9x family under version emulation), the batch file
// and RunOnce value, the shared-use count, and the Start-menu move on the real Programs folder. Files in
// use are held by a stand-in process. That a restart carries the schedule out is shown by
// tests/wine/cleanup.setup.sh: it schedules two trees and starts a new wineserver before this runner.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr char kWininit[] = "C:\\windows\\WININIT.INI";

std::string ShortPath(const std::string& path) {
  char out[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), out, MAX_PATH);
  return length ? std::string(out, length) : path;
}

void WriteFile(const std::string& path, size_t bytes = 8) { WriteFileText(path, std::string(bytes, 'd')); }

class CleanupTest : public testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  void TearDown() override { Release(); }

  // The machine as before any uninstall: nothing scheduled, nothing recorded, a new folder to work in.
  void Fresh() {
    Release();
    DeleteFileA(kWininit);
    RegDeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    RegDeleteValue(HKEY_LOCAL_MACHINE, kRunOnce, "VXFDeleteMe");
    RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Veltrane");
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    DeleteFileA((std::string(system) + "\\SR.dat").c_str());
    dir_ = NewTempDir("cleanup");
  }

  void Release() {
    if (holder_.hProcess == nullptr) return;
    TerminateProcess(holder_.hProcess, 0);
    WaitForSingleObject(holder_.hProcess, 5000);
    CloseHandle(holder_.hProcess);
    CloseHandle(holder_.hThread);
    holder_ = {};
  }

  // Keeps the files open in another process until the test ends.
  void Hold(const std::vector<std::string>& files) {
    std::string command = "\"" + StandinPath("hold_files.exe") + "\"";
    for (const auto& f : files) command += " \"" + f + "\"";
    STARTUPINFOA startup = {sizeof startup};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &holder_));
    for (int i = 0; i < 500; ++i) {
      HANDLE h = CreateFileA(files.back().c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE) return;
      CloseHandle(h);
      Sleep(10);
    }
    FAIL() << "the stand-in did not open the files";
  }

  // The paths of the pending renames that have no new name, in order, without the "\??\" prefix.
  static std::vector<std::string> PendingDeletes() {
    std::string multi = RegGet(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations").data;
    std::vector<std::string> items, deletes;
    for (size_t at = 0; at < multi.size();) {
      size_t end = multi.find('\0', at);
      if (end == std::string::npos) end = multi.size();
      items.push_back(multi.substr(at, end - at));
      at = end + 1;
    }
    for (size_t i = 0; i + 1 < items.size() && !items[i].empty(); i += 2) {
      if (items[i + 1].empty()) deletes.push_back(items[i].substr(items[i].rfind("\\??\\", 0) == 0 ? 4 : 0));
    }
    return deletes;
  }

  std::string dir_;
  PROCESS_INFORMATION holder_ = {};
};

// CleanUpFiles and DeleteESDSource in one session: what goes at once, what waits and where it waits.
TEST_F(CleanupTest, DataFilesAndDownloadTreePerPlatformAndStoreState) {
  const std::string earlier = "[Rename]\r\nNUL=C:\\EARLIER.TMP\r\n";
  struct Case {
    const char* version;
    bool sealed;
    std::string seed;  // WININIT.INI before: earlier lines stay, a missing section is made
  } cases[] = {{"winxp", false, earlier}, {"winxp", true, earlier}, {"win98", false, earlier}, {"win98", true, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + (c.sealed ? " sealed" : " plain"));
    Fresh();
    const std::string install = dir_ + "\\Install", data = dir_ + "\\Data", tree = dir_ + "\\Dl\\TWG";
    for (const auto& d : {install, install + "\\Temp", data, data + "\\CUSTOM", dir_ + "\\Dl", tree, tree + "\\Setup",
                          tree + "\\Setup\\Sub"}) {
      CreateDirectoryA(d.c_str(), nullptr);
    }
    for (const char* name : {"TWGUM.DAT", "HBM.GID", "TWGFetP.dat", "nbd.dat", "URLLIST.lst", "Temp\\Twgum.dat"}) {
      WriteFile(install + "\\" + name);
    }
    WriteFile(data + "\\CATS.DAT");
    WriteFile(data + "\\CUSTOM\\kept.txt");
    // One listed entry a folder, so that the order is the walk's and not the file system's.
    WriteFile(tree + "\\Setup\\Sub\\data.cab");
    WriteFile(tree + "\\Setup\\empty.txt", 0);
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", install + "\\");
    RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "DataFolder", data);
    if (c.sealed) {
      ASSERT_EQ(RunAction("EncryptRegistry", {}, {}).result, ERROR_SUCCESS);
      ASSERT_FALSE(RegGet(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir").exists);
    }
    if (!c.seed.empty()) WriteFileText(kWininit, c.seed);
    Hold({install + "\\HBM.GID", install + "\\nbd.dat", data + "\\CATS.DAT"});
    {
      ScopedWindowsVersion version(c.version);
      Session session(Package().Action("CleanUpFiles").Action("DeleteESDSource").Build());
      session.SetProperty("SourceDir", tree + "\\Setup\\");
      EXPECT_EQ(session.Do("CleanUpFiles"), ERROR_SUCCESS);
      EXPECT_EQ(session.Do("DeleteESDSource"), ERROR_SUCCESS);
    }
    for (const char* gone : {"TWGUM.DAT", "TWGFetP.dat", "URLLIST.lst", "lmssib.dat", "Temp"}) {
      EXPECT_FALSE(FileExists(install + "\\" + gone)) << gone;
    }
    EXPECT_TRUE(FileExists(install + "\\HBM.GID"));
    EXPECT_TRUE(FileExists(data + "\\CUSTOM\\kept.txt"));
    const std::vector<std::string> now = {ShortPath(install + "\\HBM.GID"), ShortPath(install + "\\nbd.dat"),
                                          ShortPath(data + "\\CATS.DAT"), ShortPath(data + "\\CUSTOM")};
    const std::vector<std::string> later = {tree + "\\Setup\\Sub\\data.cab", tree + "\\Setup\\Sub",
                                            tree + "\\Setup", tree};
    if (std::string(c.version) == "winxp") {
      std::vector<std::string> expected = now;
      expected.insert(expected.end(), later.begin(), later.end());
      EXPECT_EQ(PendingDeletes(), expected);
      EXPECT_EQ(ReadFileText(kWininit), c.seed);
    } else {
      std::string expected = c.seed.empty() ? "[Rename]\r\n" : c.seed;
      for (const auto& p : now) expected += "NUL=" + p + "\r\n";
      expected += "\r\n[rename]\r\n";
      for (const auto& p : later) expected += "NUL=" + p + "\r\n";
      EXPECT_EQ(ReadFileText(kWininit), expected);
      EXPECT_TRUE(PendingDeletes().empty());
    }
  }
}

TEST_F(CleanupTest, BatchFileAndRunOncePerPlatformAndCondition) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string batch = std::string(temp) + "VXFDeleteMe.bat";
  struct Case {
    const char* version;
    bool registered, data, companion, stray_file;
    std::string lines;  // with P, D, C for the folders
    const char* interpreter;
  } cases[] = {
      {"winxp", true, true, true, false, "rmdir \"P\"\r\nrmdir \"D\" /S /Q \r\nrmdir \"C\"\r\nrmdir \"R\"\r\n",
       "C:\\windows\\system32\\cmd.exe"},
      {"win98", true, true, true, false, "rmdir \"P\"\r\nrmdir \"D\"\r\nrmdir \"C\"\r\nrmdir \"R\"\r\n",
       "C:\\Command.com"},
      // Without the companion folder's name its folder keeps the parent.
      {"winxp", true, false, false, false, "rmdir \"P\"\r\n", "C:\\windows\\system32\\cmd.exe"},
      {"winxp", true, true, true, true, "rmdir \"P\"\r\nrmdir \"D\" /S /Q \r\nrmdir \"C\"\r\n",
       "C:\\windows\\system32\\cmd.exe"},
      {"winxp", false, false, true, false, "", "C:\\windows\\system32\\cmd.exe"},  // no batch file at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.lines);
    Fresh();
    DeleteFileA(batch.c_str());
    const std::string root = dir_ + "\\Veltrane", product = root + "\\Taskan Web Guard", companion = root + "\\TVS";
    const std::string data = dir_ + "\\Data";
    for (const auto& d : {root, product, companion, data}) CreateDirectoryA(d.c_str(), nullptr);
    if (c.stray_file) WriteFile(root + "\\stray.txt");
    if (c.registered) RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", "Taskan Web Guard", product);
    if (c.data) RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", "Taskan Web Guard Data", data);
    {
      ScopedWindowsVersion version(c.version);
      std::map<std::string, std::string> properties;
      if (c.companion) properties["TVSInstalledDir"] = companion;
      EXPECT_EQ(RunAction("RemoveTWGDir", properties, {}).result, 0u);
    }
    std::string expected;
    for (char ch : c.lines) {
      expected += ch == 'P' ? product : ch == 'D' ? data : ch == 'C' ? companion : ch == 'R' ? root : std::string(1, ch);
    }
    if (c.registered) {
      EXPECT_EQ(ReadFileText(batch), expected + "del \"" + batch + "\"");
    } else {
      EXPECT_FALSE(FileExists(batch));
    }
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kRunOnce, "VXFDeleteMe").text(),
              "\"" + std::string(c.interpreter) + "\" /c \"" + batch + "\"");
  }
}

TEST_F(CleanupTest, SharedProgramFollowsItsUseCount) {
  struct Case {
    bool has_count;
    DWORD count;
    bool locked, kept, scheduled;
  } cases[] = {
      {false, 0, false, false, false}, {true, 0, false, false, false},         {true, 1, false, false, false},
      {true, 1, true, true, true},     {true, 2, false, true, false},          {true, 0xFFFFFFFF, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + (c.has_count ? "" : " (no count)") + (c.locked ? " locked" : ""));
    Fresh();
    const std::string program = dir_ + "\\TMain.exe";
    WriteFile(program);
    RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, program, c.count);
    if (!c.has_count) RegDeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, program);
    if (c.locked) Hold({program});
    EXPECT_EQ(RunAction("RemoveTMain", {{"CommonFilesFolderVeltrane", dir_ + "\\"}}, {}).result, 0u);
    EXPECT_EQ(FileExists(program), c.kept);
    EXPECT_EQ(PendingDeletes(), c.scheduled ? std::vector<std::string>{program} : std::vector<std::string>{});
    if (c.has_count) {  // the count is the other products' business
      EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kSharedDlls, program).data, std::string(reinterpret_cast<const char*>(&c.count), 4));
    }
    RegDeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, program);
  }
}

TEST_F(CleanupTest, SharedProgramIsAskedToUnregisterItsSounds) {
  ASSERT_TRUE(CopyFileA(StandinPath("tmain_unreg.exe").c_str(), (dir_ + "\\TMain.exe").c_str(), FALSE));
  EXPECT_EQ(RunAction("RemoveTMainWAV", {{"CommonFilesFolderVeltrane", dir_ + "\\"}}, {}).result, 0u);
  std::string log;
  for (int i = 0; i < 500 && log.empty(); ++i, Sleep(20)) log = ReadFileText(dir_ + "\\TMain.log");
  EXPECT_EQ(log, dir_ + "\\TMain.exe /UNREG\n");
}

TEST_F(CleanupTest, StartMenuFolderMove) {
  HMODULE dll = LoadLibraryA(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  auto move = reinterpret_cast<int(__cdecl*)(const char*, const char*)>(GetProcAddress(dll, "MoveStartMenuItems"));
  ASSERT_NE(move, nullptr);
  char programs[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, TRUE));
  const std::string base = std::string(programs) + "\\";
  struct Case {
    const char* target;
    const char* source;
    bool source_exists;
    int result;
  } cases[] = {
      {"TWG Moved", "TWG Old", true, 1},
      {"TWG Moved", "TWG Missing", false, 0},
      {"", "TWG Old", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
    if (c.source_exists) {
      CreateDirectoryA((base + c.source).c_str(), nullptr);
      WriteFile(base + c.source + "\\Taskan.lnk");
    }
    EXPECT_EQ(move(c.target, c.source), c.result);
    EXPECT_EQ(FileExists(base + c.source + "\\Taskan.lnk"), c.source_exists && c.result == 0);
    if (c.result) {
      EXPECT_TRUE(FileExists(base + c.target + "\\Taskan.lnk"));
    }
    for (const std::string& folder : {base + c.source, base + c.target}) {
      DeleteFileA((folder + "\\Taskan.lnk").c_str());
      RemoveDirectoryA(folder.c_str());
    }
  }
  FreeLibrary(dll);
}

// cleanup.setup.sh ran this with TWG_CLEANUP_ARRANGE set: a tree scheduled in each family's way, then
// a new wineserver, which is a restart under Wine.
TEST(CleanupRestart, ScheduledTreesAreGoneAfterRestart) {
  const char* arranging = std::getenv("TWG_CLEANUP_ARRANGE");
  const std::string list = "C:\\cleanup-restart.txt";
  if (arranging != nullptr) {
    for (const char* version : {"winxp", "win98"}) {
      const std::string tree = NewTempDir(std::string("restart-") + version), source = tree + "\\TWG\\Setup";
      CreateDirectoryA((tree + "\\TWG").c_str(), nullptr);
      CreateDirectoryA(source.c_str(), nullptr);
      WriteFile(source + "\\setup.exe");
      ScopedWindowsVersion emulated(version);
      ASSERT_EQ(RunAction("DeleteESDSource", {{"SourceDir", source + "\\"}}, {}).result, 0u);
      WriteFileText(list, ReadFileText(list) + source + "\\setup.exe\n");
    }
    return;
  }
  const std::string arrange_log = ReadFileText("C:\\cleanup-arrange.log");
  ASSERT_NE(arrange_log.find("exit status 0"), std::string::npos) << "cleanup.setup.sh: " << arrange_log;
  const std::string files = ReadFileText(list);
  ASSERT_FALSE(files.empty());
  for (size_t at = 0, end; (end = files.find('\n', at)) != std::string::npos; at = end + 1) {
    EXPECT_FALSE(FileExists(files.substr(at, end - at))) << files.substr(at, end - at);
  }
}

// A folder whose name ends in a double-byte character with the trail byte 0x5C: joined byte-wise, the
// data file's name would be glued to the folder name and the file would stay. Runs in the code page
// 932 runner of cleanup.setup.sh; the main runner checks what that runner wrote.
TEST_F(CleanupTest, DoubleByteFolderEndingInTrailByte) {
  if (GetACP() != 932) GTEST_SKIP() << "runs in the code page 932 runner";
  const std::string install = dir_ + "\\\x95\x5C";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  WriteFile(install + "\\URLLIST.lst");
  RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", "InstallDir", install);
  EXPECT_EQ(RunAction("CleanUpFiles", {}, {}).result, 0u);
  EXPECT_FALSE(FileExists(install + "\\URLLIST.lst"));
}

TEST_F(CleanupTest, DoubleByteRunnerPassed) {
  if (GetACP() == 932) GTEST_SKIP() << "this is the code page 932 runner";
  const std::string log = ReadFileText("C:\\cleanup-cp932.log");
  EXPECT_NE(log.find("[       OK ] CleanupTest.DoubleByteFolderEndingInTrailByte"), std::string::npos) << log;
  EXPECT_NE(log.find("exit status 0"), std::string::npos) << log;
}

}  // namespace
