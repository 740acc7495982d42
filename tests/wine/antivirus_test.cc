// The companion antivirus actions and the competing-product check in real sessions under Wine. The
// companion is installed for real (tests/standins/companion: its package under its product code, so
// the installer answers its "VersionString"), its shortcut is made through the shell's link object and
// its mutexes are held by a stand-in process.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

using namespace harness;

namespace {

constexpr char kCompanionCode[] = "{6644AB24-918B-1EC3-3281-B7E1958EC9AB}";
constexpr char kInstalledApps[] = "Software\\Veltrane\\InstalledApps";
constexpr char kKey9x[] = "Software\\Veltrane\\Taskan Virus Sentry";
constexpr char kKeyNt[] = "Software\\Veltrane\\Taskan Virus Sentry NT";
constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kShortcut[] = "\\Taskan Virus Sentry\\Taskan Virus Sentry 2002.lnk";
const twg::KeyHalf kHalf = {0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA};
const char* const kStartupValues[] = {"TVS CfgWiz", "TVS Agent", "BootWarn"};

bool CompanionInstalled() {
  char version[64];
  DWORD size = sizeof version;
  return MsiGetProductInfoA(kCompanionCode, INSTALLPROPERTY_VERSIONSTRING, version, &size) == ERROR_SUCCESS;
}

void InstallCompanion(bool installed) {
  if (CompanionInstalled() == installed) return;
  const std::string command = installed ? "msiexec /i \"" + StandinPath("companion.msi") + "\" /qn"
                                        : std::string("msiexec /x") + kCompanionCode + " /qn";
  ASSERT_EQ(RunProcess(command, 120000), 0) << command;
  ASSERT_EQ(CompanionInstalled(), installed);
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
  return path;
}

// What shell_link.exe reads back through the link object: "target=...\nfolder=...\n", or "" without one.
std::string ReadShortcut(const std::string& link) {
  const std::string out = NewTempDir("link") + "\\shown.txt";
  if (RunProcess("\"" + StandinPath("shell_link.exe") + "\" show \"" + link + "\" \"" + out + "\"") != 0) return "";
  return ReadFileText(out);
}

// Properties for a package: an empty value leaves the property unset (the Property table holds none).
std::map<std::string, std::string> Set(std::map<std::string, std::string> properties) {
  for (auto p = properties.begin(); p != properties.end();) p = p->second.empty() ? properties.erase(p) : ++p;
  return properties;
}

class Antivirus : public testing::Test {
 protected:
  void SetUp() override {
    InstallCompanion(true);
    for (const char* key : {kKey9x, kKeyNt, kGrd}) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    for (const char* name : {"TVS", "TVS95", "TVSNT"}) RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, name);
    DeleteFileA(twg::StoreKeyFilePath().c_str());
  }
  void TearDown() override { DeleteFileA(twg::StoreKeyFilePath().c_str()); }

  // The companion's version bytes in the 9x and/or the NT edition's key ("" leaves the key out).
  static void CompanionVersion(const std::string& bytes_9x, const std::string& bytes_nt) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kKey9x);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kKeyNt);
    if (!bytes_9x.empty()) RegSetBinary(HKEY_LOCAL_MACHINE, kKey9x, "CurrentVersion", bytes_9x);
    if (!bytes_nt.empty()) RegSetBinary(HKEY_LOCAL_MACHINE, kKeyNt, "CurrentVersion", bytes_nt);
  }
};

// --- Version matrix -----------------------------------------------------------------------------------

TEST_F(Antivirus, InstalledAndCurrentByVersionBytes) {
  struct Case {
    const char* windows;
    const char* recorded;  // the InstalledApps value the companion left, or null
    std::string bytes_9x, bytes_nt;
    const char *major, *minor, *existing, *upgrade;
  } cases[] = {
      {"winxp", "TVS", "", std::string("\7\0\0", 3), "7", "0", "1", ""},
      {"winxp", "TVS", "", std::string("\6\x09\0", 3), "7", "0", "1", "1"},
      {"winxp", "TVSNT", "", std::string("\7\1\0", 3), "7", "0", "1", ""},
      {"winxp", "TVS", "", std::string("\7\0", 2), "7", "1", "1", "1"},
      {"winxp", "TVS", "", std::string("\x80\0\0", 3), "99", "0", "1", ""},  // 128 and above: newer
      {"winxp", "TVS", "", std::string("\7\x90\0", 3), "7", "99", "1", ""},
      {"winxp", "TVS", "", std::string("\7\0\0\0", 4), "7", "0", "", "1"},   // more than three bytes: unread
      {"winxp", "TVS95", "", "", "7", "0", "", "1"},                         // recorded, but no product key
      {"winxp", nullptr, "", std::string("\7\0\0", 3), "7", "0", "", "1"},   // a key, but nothing recorded
      {"winxp", "TVS", std::string("\7\0\0", 3), "", "7", "0", "1", ""},     // NT falls back to the 9x key
      {"winxp", "TVS", std::string("\7\0\0", 3), std::string("\6\0\0", 3), "7", "0", "1", "1"},
      {"winxp", "TVS", "", std::string("\0\0\0", 3), "", "", "1", ""},       // nothing wanted: 0.0
      {"winxp", "TVS", "", std::string("\6\4\0", 3), "6", "5a", "1", "1"},   // leading digits
      {"win98", "TVS", "", std::string("\7\0\0", 3), "7", "0", "", "1"},     // 9x never reads the NT key
      {"win98", "TVS95", std::string("\6\x09\0", 3), std::string("\7\0\0", 3), "7", "0", "1", "1"},
      {"win98", "TVS", std::string("\7\0\0", 3), "", "7", "0", "1", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.windows) + " " + (c.recorded ? c.recorded : "-") + " wanted " + c.major + "." + c.minor);
    for (const char* name : {"TVS", "TVS95", "TVSNT"}) RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, name);
    if (c.recorded) RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, c.recorded, "C:\\TVS\\");
    CompanionVersion(c.bytes_9x, c.bytes_nt);
    ScopedWindowsVersion windows(c.windows);
    ActionRun run = RunAction("IsTVSInstalledAndCurrent",
                              Set({{"TVSMajorVersion", c.major}, {"TVSMinorVersion", c.minor},
                                   {"ExistingTVS", "stale"}, {"UpgradeTVS", "stale"}}),
                              {"ExistingTVS", "UpgradeTVS", "INSTALLTVS"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["ExistingTVS"], c.existing);
    EXPECT_EQ(run.properties["UpgradeTVS"], c.upgrade);
    EXPECT_EQ(run.properties["INSTALLTVS"], "1");
  }
}

// --- Folders and media ----------------------------------------------------------------------------------

TEST_F(Antivirus, FoldersAndMedia) {
  struct Case {
    const char* windows;
    const char* recorded;  // "TVS" in InstalledApps
    const char* installdir;
    const char *destination, *stored;
  } cases[] = {
      {"winxp", "D:\\Virus Sentry\\", "C:\\Program Files\\Veltrane\\Taskan Web Guard\\", "D:\\Virus Sentry\\",
       "D:\\Virus Sentry\\"},
      {"winxp", nullptr, "C:\\Program Files\\Veltrane\\Taskan Web Guard\\",
       "C:\\Program Files\\Veltrane\\Taskan Virus Sentry", "stale"},
      {"win98", nullptr, "C:\\TWG", "C:\\Taskan Virus Sentry", "stale"},
      {"winxp", nullptr, "TWG", "TWG\\Taskan Virus Sentry", "stale"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installdir);
    RegDeleteValue(HKEY_LOCAL_MACHINE, kInstalledApps, "TVS");
    if (c.recorded) RegSetString(HKEY_LOCAL_MACHINE, kInstalledApps, "TVS", c.recorded);
    ScopedWindowsVersion windows(c.windows);
    Session session(Package().Action("SetTVSDest").Action("StoreTVSDir").Build());
    session.SetProperty("INSTALLDIR", c.installdir);
    session.SetProperty("TVSInstalledDir", "stale");
    EXPECT_EQ(session.Do("SetTVSDest"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Do("StoreTVSDir"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("TVSINSTALLDIR"), c.destination);
    EXPECT_EQ(session.Property("TVSInstalledDir"), c.stored);
  }

  const std::string media = NewTempDir("media");
  for (bool on_media : {true, false}) {
    SCOPED_TRACE(on_media);
    if (on_media) WriteFileText(media + "\\tvs.msi", "package");
    if (!on_media) DeleteFileA((media + "\\tvs.msi").c_str());
    Session session(Package().Action("FindTVSInstall").Action("TurnOffTVSInstall").Build());
    session.SetProperty("SourceDir", media);
    session.SetProperty("INSTALLTVS", "stale");
    EXPECT_EQ(session.Do("FindTVSInstall"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("TVSINSTALLPAGE"), on_media ? "1" : "");
    EXPECT_EQ(session.Property("INSTALLTVS"), on_media ? "1" : "");
    session.Do("TurnOffTVSInstall");
    EXPECT_EQ(session.Property("INSTALLTVS"), "");
  }
}

// --- The marker, with the store off and on -------------------------------------------------------------

// The marker as the access layer reads it back in this process (with the same key file as the action).
harness::RegValue MarkerThroughLayer() {
  harness::RegValue value;
  twg::ScopedProtKey grd;
  if (twg::ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_READ, grd.Receive()) != ERROR_SUCCESS) return value;
  char data[16];
  DWORD size = sizeof data;
  if (twg::ProtRegQueryValueExA(grd, "TWGTVS", nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    value.exists = true;
    value.data.assign(data, size);
  }
  return value;
}

TEST_F(Antivirus, MarkerLifeCycle) {
  struct Case {
    const char* what;
    bool store, grd_exists, companion;
    const char *installtvs, *ours, *uninstall_failed;
    bool marker_after_uninstall;
  } cases[] = {
      {"store off", false, false, true, "1", "1", "1", true},
      {"store on", true, true, true, "1", "1", "1", true},
      // The store refuses to create its own root: no marker, so no companion install.
      {"store on, no configuration key yet", true, false, true, "", "", "", false},
      {"store off, companion removed", false, false, false, "1", "", "", false},
      {"store on, companion removed", true, true, false, "1", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    DeleteFileA(twg::StoreKeyFilePath().c_str());
    if (c.store) {
      ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
      if (c.grd_exists) {
        twg::RaiseCreationAllowance();
        twg::ScopedProtKey root;
        EXPECT_EQ(twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           root.Receive(), nullptr), ERROR_SUCCESS);
        twg::LowerCreationAllowance();
      }
    }
    InstallCompanion(c.companion);
    Session session(
        Package().Action("BeforeTVSInstall").Action("CheckTWGTVS").Action("CheckTVSUninstall").Build());
    session.SetProperty("INSTALLTVS", "1");
    session.SetProperty("TVSUninstFail", "stale");
    EXPECT_EQ(session.Do("BeforeTVSInstall"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("INSTALLTVS"), c.installtvs);
    // With the store on, only the access layer finds it; with it off, it is the plain value as stored.
    auto marker = [&] { return c.store ? MarkerThroughLayer() : RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS"); };
    const harness::RegValue written = marker();
    EXPECT_EQ(written.exists, c.installtvs[0] != '\0');
    if (written.exists) {
      EXPECT_EQ(written.type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(written.data, "1");  // one byte, no terminator
    }
    EXPECT_FALSE(c.store && RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS").exists) << "a plain marker in the store";
    EXPECT_EQ(session.Do("CheckTWGTVS"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("TWGTVSInstalled"), c.ours);
    EXPECT_EQ(session.Do("CheckTVSUninstall"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("TVSUninstFail"), c.uninstall_failed);
    EXPECT_EQ(marker().exists, c.marker_after_uninstall);
  }
  InstallCompanion(true);
}

// --- Failure reports -----------------------------------------------------------------------------------

TEST_F(Antivirus, FailureReportsAreShownWhole) {
  const std::string long_name(259, 'W');
  struct Case {
    const char* action;
    const char* caption;
    std::string product;
    UINT result;
    std::string text;
  } cases[] = {
      {"TVSInstallFailed", "Taskan Virus Sentry Installation Error", long_name, ERROR_SUCCESS,
       "Installation of Taskan Virus Sentry was unsuccessful.  You may attempt to install Taskan Virus Sentry "
       "again after rebooting by selecting " + long_name + " from the Add/Remove Programs control panel.  " +
       long_name + " installation will now continue."},
      {"TVSUninstallFailed", "Taskan Virus Sentry Uninstallation Error", "Taskan Web Guard", ERROR_INSTALL_FAILURE,
       "An unexpected error occurred while uninstalling Taskan Virus Sentry.  Uninstall can not continue."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    MessageBoxAnswerer answerer({IDOK}, "", c.caption);
    ActionRun run = RunAction(c.action, {{"ProductName", c.product}}, {});
    const auto boxes = answerer.Stop();
    EXPECT_EQ(run.result, c.result);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.text);
  }
}

// --- Shortcut and start-up entries ----------------------------------------------------------------------

TEST_F(Antivirus, ShortcutPointsAtFirstRunProgram) {
  const std::string common = SpecialFolder(CSIDL_COMMON_PROGRAMS) + kShortcut;
  const std::string user = SpecialFolder(CSIDL_PROGRAMS) + kShortcut;
  const std::string original = "target=C:\\Program Files\\Taskan Virus Sentry\\cfgwiz.exe\nfolder=\n";
  const std::string installdir = "C:\\Program Files\\Taskan Web Guard\\";
  const std::string repointed = "target=" + installdir + "TwgFirst.exe\nfolder=" + installdir + "\n";
  struct Case {
    const char* windows;
    const std::string* link;  // where the companion made its shortcut, or null
    const char* oem;
    bool link_changed, startup_deleted;
  } cases[] = {
      {"winxp", &common, "", true, true},
      {"winxp", &common, "0", true, false},
      {"winxp", &common, "00", true, true},  // only exactly "0" keeps them
      {"winxp", &common, "1", true, true},
      {"winxp", nullptr, "", false, false},   // no shortcut: nothing at all changes
      {"winxp", &user, "", false, false},     // NT looks in all users' programs only
      {"win98", &user, "", true, true},
      {"win98", &common, "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.windows) + " " + (c.link ? *c.link : "no link") + " TWGOEM=" + c.oem);
    DeleteFileA(common.c_str());
    DeleteFileA(user.c_str());
    for (const char* name : kStartupValues) RegSetString(HKEY_LOCAL_MACHINE, kRun, name, "x.exe");
    if (c.link) {
      ASSERT_EQ(RunProcess("\"" + StandinPath("shell_link.exe") + "\" create \"" + *c.link +
                           "\" \"C:\\Program Files\\Taskan Virus Sentry\\cfgwiz.exe\""), 0);
      ASSERT_EQ(ReadShortcut(*c.link), original);
    }
    ScopedWindowsVersion windows(c.windows);
    ActionRun run = RunAction("UpdateTVSShortcut", Set({{"INSTALLDIR", installdir}, {"TWGOEM", c.oem}}), {});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    if (c.link) {
      EXPECT_EQ(ReadShortcut(*c.link), c.link_changed ? repointed : original);
    }
    for (const char* name : kStartupValues) {
      EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kRun, name).exists, !c.startup_deleted) << name;
    }
  }
  DeleteFileA(common.c_str());
  DeleteFileA(user.c_str());
}

// --- Running state -------------------------------------------------------------------------------------

TEST_F(Antivirus, RunningWhileAnyMutexIsHeld) {
  for (const char* held : {"VEL_TVSW32_MUTEX", "TVSCfgWizMutex", "Quarantine Console Mutex", "TVSOtherMutex"}) {
    SCOPED_TRACE(held);
    MutexHolder holder(held);
    const bool companion = std::string(held) != "TVSOtherMutex";
    ActionRun run = RunAction("CheckTVSState", {}, {"TVSRunning"});
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["TVSRunning"], companion ? "1" : "");
  }
}

// --- Source paths of a nested package ------------------------------------------------------------------

TEST_F(Antivirus, NestedPackageSourcePaths) {
  // The package sits in a folder whose long name has a short form of its own.
  const std::string built =
      Package()
          .Action("FixupNestedMSI")
          .Sql("CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), "
               "`DefaultDir` CHAR(255) NOT NULL LOCALIZABLE PRIMARY KEY `Directory`)")
          .Sql("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES "
               "('TARGETDIR', '', 'SourceDir')")
          .Sql("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES "
               "('INSTALLDIR', 'TARGETDIR', '.')")
          .Build();
  const std::string media = NewTempDir("nested") + "\\Taskan Web Guard Media";
  ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
  const std::string package = media + "\\TWG setup.msi";
  ASSERT_TRUE(CopyFileA(built.c_str(), package.c_str(), FALSE));
  char short_media[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(media.c_str(), short_media, MAX_PATH), 0u);
  const std::string long_form = media + "\\", short_form = std::string(short_media) + "\\";
  ASSERT_NE(long_form, short_form);

  for (bool same_database : {true, false}) {
    SCOPED_TRACE(same_database);
    Session session(package);
    ASSERT_EQ(session.Do("CostInitialize"), static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(session.Do("CostFinalize"), static_cast<UINT>(ERROR_SUCCESS));
    char resolved[MAX_PATH];  // the installer resolves the source from OriginalDatabase on first use
    DWORD size = MAX_PATH;
    ASSERT_EQ(MsiGetSourcePathA(session.handle(), "INSTALLDIR", resolved, &size), static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(resolved, long_form);
    session.SetProperty("OriginalDatabase", same_database ? session.Property("DATABASE") : "C:\\cache\\1234.msi");
    EXPECT_EQ(session.Do("FixupNestedMSI"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(session.Property("SOURCEDIR"), short_form);
    EXPECT_EQ(session.Property("SourceDir"), short_form);
    EXPECT_EQ(session.Property("LONGSRCDIR"), long_form);
    EXPECT_EQ(session.Property("OriginalDatabase"), (same_database ? long_form : short_form) + "TWG.msi");
  }
  // Before costing the installer knows no source path: the action cancels the install.
  Session uncosted(package);
  EXPECT_EQ(uncosted.Do("FixupNestedMSI"), static_cast<UINT>(ERROR_INSTALL_USEREXIT));
}

// --- Competing antivirus products ------------------------------------------------------------------------

TEST_F(Antivirus, OtherProductsInTheUninstallList) {
  struct Entry {
    const char* key;
    const char* display;  // null: no DisplayName value
  };
  struct Case {
    const char* what;
    std::vector<Entry> entries;  // added below the uninstall key for this case
    const char *exist, *name;
  } cases[] = {
      {"a listed key name", {{"Sophos-SweepNT", "Sophos Anti-Virus NT"}}, "1", "Sophos Anti-Virus NT"},
      {"other case", {{"sophos-sweepnt", "Sophos Anti-Virus NT"}}, "before", "before"},
      {"family word in the display name", {{"{11111111-2222-3333-4444-555555555555}", "Acme VIRUSSCAN 4"}}, "1",
       "Acme VIRUSSCAN 4"},
      {"family word in the key name", {{"NetShield virusscan", "NetShield"}}, "1", "NetShield"},
      {"no display name", {{"Tauscan 1.5", nullptr}}, "1", ""},
      {"a placeholder slot", {{"Empty", "Placeholder"}}, "1", "Placeholder"},
      {"short product code as it stands", {{"{9A861F26-E6A5-4ABE-A590-8EE405C1B12}", "Short code"}}, "1",
       "Short code"},
      // The registry enumerates subkeys sorted by name, whatever the order they were made in.
      {"first match wins", {{"VETWIN32Vp5", "Second"}, {"AAA VirusScan", "First"}}, "1", "First"},
      {"nothing matches", {{"Harmless Tool", "Harmless"}}, "before", "before"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : c.entries) {
      if (e.display) {
        RegSetString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + e.key, "DisplayName", e.display);
      } else {
        RegSetString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + e.key, "Publisher", "x");
      }
    }
    ActionRun run = RunAction("CheckForOtherAV", {{"OtherAVExist", "before"}, {"OtherAVName", "before"}},
                              {"OtherAVExist", "OtherAVName"});
    for (const auto& e : c.entries) RegDeleteTree(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + e.key);
    EXPECT_EQ(run.result, static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(run.properties["OtherAVExist"], c.exist);
    EXPECT_EQ(run.properties["OtherAVName"], c.name);
  }
}

}  // namespace
