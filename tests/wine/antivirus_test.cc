// The companion antivirus actions and the competing-product check in real sessions. The companion is
// installed for real (tests/standins/companion, under its product code), its shortcut is made through
// the shell's link object (shell_link.exe) and its mutexes are held by named_object.exe.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harness/harness.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

using namespace harness;

namespace {

constexpr char kCode[] = "{6644AB24-918B-1EC3-3281-B7E1958EC9AB}";
constexpr char kApps[] = "Software\\Veltrane\\InstalledApps";
constexpr char kKey9x[] = "Software\\Veltrane\\Taskan Virus Sentry";
constexpr char kKeyNt[] = "Software\\Veltrane\\Taskan Virus Sentry NT";
constexpr char kGrd[] = "Software\\Veltrane\\GRD";
constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const twg::KeyHalf kHalf = {0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA};
constexpr UINT kOk = ERROR_SUCCESS;

bool CompanionInstalled() {
  char version[64];
  DWORD size = sizeof version;
  return MsiGetProductInfoA(kCode, INSTALLPROPERTY_VERSIONSTRING, version, &size) == ERROR_SUCCESS;
}

void InstallCompanion(bool installed) {
  if (CompanionInstalled() == installed) return;
  ASSERT_EQ(RunProcess(installed ? "msiexec /i \"" + StandinPath("companion.msi") + "\" /qn"
                                 : std::string("msiexec /x") + kCode + " /qn", 120000), 0);
  ASSERT_EQ(CompanionInstalled(), installed);
}

// An empty value leaves the property unset (the Property table holds no empty values).
std::map<std::string, std::string> Props(std::map<std::string, std::string> properties) {
  for (auto p = properties.begin(); p != properties.end();) p = p->second.empty() ? properties.erase(p) : ++p;
  return properties;
}

// shell_link.exe: "create LINK TARGET", or "show LINK" read back as "target=...\nfolder=...\n" ("" without one).
std::string ShellLink(const std::string& command, const std::string& link, const std::string& target = "") {
  const std::string out = NewTempDir("link") + "\\shown.txt";
  const bool show = command == "show";
  const int status = RunProcess("\"" + StandinPath("shell_link.exe") + "\" " + command + " \"" + link + "\" \"" +
                                (show ? out : target) + "\"");
  return status != 0 ? "" : show ? ReadFileText(out) : "made";
}

class Antivirus : public testing::Test {
 protected:
  void SetUp() override {
    InstallCompanion(true);
    for (const char* key : {kKey9x, kKeyNt, kGrd}) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    DeleteFileA(twg::StoreKeyFilePath().c_str());
  }
  void TearDown() override { DeleteFileA(twg::StoreKeyFilePath().c_str()); }
  static void Record(const char* name, const char* folder = "C:\\TVS\\") {
    for (const char* n : {"TVS", "TVS95", "TVSNT"}) RegDeleteValue(HKEY_LOCAL_MACHINE, kApps, n);
    if (name) RegSetString(HKEY_LOCAL_MACHINE, kApps, name, folder);
  }
};

TEST_F(Antivirus, InstalledAndCurrentByVersionBytes) {
  const std::string v700("\7\0\0", 3), v609("\6\x09\0", 3), v710("\7\1\0", 3), none;
  struct Case {
    const char *windows, *recorded;  // the InstalledApps value the companion left, or null
    std::string bytes_9x, bytes_nt;
    const char *major, *minor, *existing, *upgrade;
  } cases[] = {  // which version wants an upgrade is decided natively; here, where it is read from
      {"winxp", "TVS", none, v700, "7", "0", "1", ""},
      {"winxp", "TVSNT", none, v710, "7", "0", "1", ""},
      {"winxp", "TVS", none, std::string("\7\0\0\0", 4), "7", "0", "", "1"},   // over three bytes: unread
      {"winxp", "TVS95", none, none, "7", "0", "", "1"},                       // no product key
      {"winxp", nullptr, none, v700, "7", "0", "", "1"},                       // nothing recorded
      {"winxp", "TVS", v700, none, "7", "0", "1", ""},                         // NT falls back to the 9x key
      {"winxp", "TVS", v700, v609, "7", "0", "1", "1"},
      {"winxp", "TVS", none, std::string("\0\0\0", 3), "", "", "1", ""},       // nothing wanted: 0.0
      {"win98", "TVS", none, v700, "7", "0", "", "1"},                         // 9x never reads the NT key
      {"win98", "TVS95", v609, v700, "7", "0", "1", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.windows) + " " + (c.recorded ? c.recorded : "-") + " wanted " + c.major + "." + c.minor);
    Record(c.recorded);
    for (const char* key : {kKey9x, kKeyNt}) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    if (!c.bytes_9x.empty()) RegSetBinary(HKEY_LOCAL_MACHINE, kKey9x, "CurrentVersion", c.bytes_9x);
    if (!c.bytes_nt.empty()) RegSetBinary(HKEY_LOCAL_MACHINE, kKeyNt, "CurrentVersion", c.bytes_nt);
    ScopedWindowsVersion windows(c.windows);
    ActionRun run = RunAction("IsTVSInstalledAndCurrent",
                              Props({{"TVSMajorVersion", c.major}, {"TVSMinorVersion", c.minor},
                                     {"ExistingTVS", "stale"}, {"UpgradeTVS", "stale"}}),
                              {"ExistingTVS", "UpgradeTVS", "INSTALLTVS"});
    EXPECT_EQ(run.result, kOk);
    EXPECT_EQ(run.properties["ExistingTVS"], c.existing);
    EXPECT_EQ(run.properties["UpgradeTVS"], c.upgrade);
    EXPECT_EQ(run.properties["INSTALLTVS"], "1");
  }
}

TEST_F(Antivirus, FoldersAndMedia) {
  struct Case {
    const char *windows, *recorded, *installdir, *destination, *stored;
  } cases[] = {
      {"winxp", "D:\\Sentry\\", "C:\\Program Files\\Veltrane\\Taskan Web Guard\\", "D:\\Sentry\\", "D:\\Sentry\\"},
      {"winxp", nullptr, "C:\\Program Files\\Veltrane\\Taskan Web Guard\\",
       "C:\\Program Files\\Veltrane\\Taskan Virus Sentry", "stale"},
      {"win98", nullptr, "C:\\TWG", "C:\\Taskan Virus Sentry", "stale"},
      {"winxp", nullptr, "TWG", "TWG\\Taskan Virus Sentry", "stale"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installdir);
    Record(c.recorded ? "TVS" : nullptr, c.recorded);
    ScopedWindowsVersion windows(c.windows);
    Session session(Package().Action("SetTVSDest").Action("StoreTVSDir").Property("TVSInstalledDir", "stale").Build());
    session.SetProperty("INSTALLDIR", c.installdir);
    EXPECT_EQ(session.Do("SetTVSDest"), kOk);
    EXPECT_EQ(session.Do("StoreTVSDir"), kOk);
    EXPECT_EQ(session.Property("TVSINSTALLDIR"), c.destination);
    EXPECT_EQ(session.Property("TVSInstalledDir"), c.stored);
  }
  const std::string media = NewTempDir("media");
  for (bool on_media : {true, false}) {
    if (on_media) WriteFileText(media + "\\tvs.msi", "package");
    if (!on_media) DeleteFileA((media + "\\tvs.msi").c_str());
    Session session(Package().Action("FindTVSInstall").Action("TurnOffTVSInstall").Property("INSTALLTVS", "x").Build());
    session.SetProperty("SourceDir", media);
    EXPECT_EQ(session.Do("FindTVSInstall"), kOk);
    EXPECT_EQ(session.Property("TVSINSTALLPAGE"), on_media ? "1" : "");
    EXPECT_EQ(session.Property("INSTALLTVS"), on_media ? "1" : "");
    session.Do("TurnOffTVSInstall");
    EXPECT_EQ(session.Property("INSTALLTVS"), "");
  }
}

// The marker read back in this process, through the access layer (store on) or plainly (store off).
RegValue Marker(bool store) {
  if (!store) return RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS");
  RegValue value;
  twg::ScopedProtKey grd;
  char data[16];
  DWORD size = sizeof data;
  if (twg::ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_READ, grd.Receive()) == ERROR_SUCCESS &&
      twg::ProtRegQueryValueExA(grd, "TWGTVS", nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
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
  } cases[] = {
      {"store off", false, false, true, "1", "1", "1"},
      {"store on", true, true, true, "1", "1", "1"},
      {"store on, no configuration key yet", true, false, true, "", "", ""},  // the store makes no root
      {"store off, companion removed", false, false, false, "1", "", ""},
      {"store on, companion removed", true, true, false, "1", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    DeleteFileA(twg::StoreKeyFilePath().c_str());
    if (c.store) ASSERT_TRUE(twg::WriteStoreKeyFile(kHalf));
    if (c.grd_exists) {
      twg::RaiseCreationAllowance();
      twg::ScopedProtKey root;
      EXPECT_EQ(twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                         root.Receive(), nullptr), ERROR_SUCCESS);
      twg::LowerCreationAllowance();
    }
    InstallCompanion(c.companion);
    Session session(Package().Action("BeforeTVSInstall").Action("CheckTWGTVS").Action("CheckTVSUninstall")
                        .Property("INSTALLTVS", "1").Property("TVSUninstFail", "stale").Build());
    EXPECT_EQ(session.Do("BeforeTVSInstall"), kOk);
    EXPECT_EQ(session.Property("INSTALLTVS"), c.installtvs);
    const RegValue written = Marker(c.store);
    EXPECT_EQ(written.exists, c.installtvs[0] != '\0');
    if (written.exists) {
      EXPECT_EQ(written.type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(written.data, "1");  // one byte, no terminator
    }
    EXPECT_FALSE(c.store && RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS").exists) << "a plain marker in the store";
    EXPECT_EQ(session.Do("CheckTWGTVS"), kOk);
    EXPECT_EQ(session.Property("TWGTVSInstalled"), c.ours);
    // A companion of ours that is still installed: its removal failed, and the marker stays for the next one.
    EXPECT_EQ(session.Do("CheckTVSUninstall"), kOk);
    EXPECT_EQ(session.Property("TVSUninstFail"), c.uninstall_failed);
    EXPECT_EQ(Marker(c.store).exists, c.uninstall_failed[0] != '\0');
  }
}

TEST_F(Antivirus, FailureReportsAreShownWhole) {
  const std::string name(259, 'W');
  struct Case {
    const char *action, *caption;
    std::string product;
    UINT result;
    std::string text;
  } cases[] = {
      {"TVSInstallFailed", "Taskan Virus Sentry Installation Error", name, kOk,
       "Installation of Taskan Virus Sentry was unsuccessful.  You may attempt to install Taskan Virus Sentry "
       "again after rebooting by selecting " + name + " from the Add/Remove Programs control panel.  " + name +
           " installation will now continue."},
      {"TVSUninstallFailed", "Taskan Virus Sentry Uninstallation Error", "Taskan Web Guard", ERROR_INSTALL_FAILURE,
       "An unexpected error occurred while uninstalling Taskan Virus Sentry.  Uninstall can not continue."},
  };
  for (const auto& c : cases) {
    MessageBoxAnswerer answerer({IDOK}, "", c.caption);
    EXPECT_EQ(RunAction(c.action, {{"ProductName", c.product}}, {}).result, c.result) << c.action;
    const auto boxes = answerer.Stop();
    ASSERT_EQ(boxes.size(), 1u) << c.action;
    EXPECT_EQ(boxes[0].text, c.text);
  }
}

TEST_F(Antivirus, ShortcutPointsAtFirstRunProgram) {
  char common[MAX_PATH], user[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, common), S_OK);
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, user), S_OK);
  const std::string lnk = "\\Taskan Virus Sentry\\Taskan Virus Sentry 2002.lnk";
  const std::string all_users = common + lnk, own = user + lnk, dir = "C:\\Program Files\\Taskan Web Guard\\";
  const std::string original = "target=C:\\TVS\\cfgwiz.exe\nfolder=\n";
  const std::string repointed = "target=" + dir + "TwgFirst.exe\nfolder=" + dir + "\n";
  struct Case {
    const char* windows;
    const std::string* link;  // where the companion made its shortcut, or null
    const char* oem;
    bool changed, startup_deleted;
  } cases[] = {
      {"winxp", &all_users, "", true, true},   {"winxp", &all_users, "0", true, false},
      {"winxp", &all_users, "00", true, true}, {"winxp", nullptr, "", false, false},  // no shortcut: no change
      {"winxp", &own, "", false, false},       {"win98", &own, "", true, true},
      {"win98", &all_users, "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.windows) + " " + (c.link ? *c.link : "no link") + " TWGOEM=" + c.oem);
    DeleteFileA(all_users.c_str());
    DeleteFileA(own.c_str());
    for (const char* name : {"TVS CfgWiz", "TVS Agent", "BootWarn"}) RegSetString(HKEY_LOCAL_MACHINE, kRun, name, "x");
    if (c.link) ASSERT_EQ(ShellLink("create", *c.link, "C:\\TVS\\cfgwiz.exe"), "made");
    ScopedWindowsVersion windows(c.windows);
    EXPECT_EQ(RunAction("UpdateTVSShortcut", Props({{"INSTALLDIR", dir}, {"TWGOEM", c.oem}}), {}).result, kOk);
    if (c.link) {
      EXPECT_EQ(ShellLink("show", *c.link), c.changed ? repointed : original);
    }
    for (const char* name : {"TVS CfgWiz", "TVS Agent", "BootWarn"}) {
      EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kRun, name).exists, !c.startup_deleted) << name;
    }
  }
}

TEST_F(Antivirus, RunningWhileAnyMutexIsHeld) {
  for (const char* held : {"VEL_TVSW32_MUTEX", "TVSCfgWizMutex", "Quarantine Console Mutex", "TVSOtherMutex"}) {
    MutexHolder holder(held);
    ActionRun run = RunAction("CheckTVSState", {}, {"TVSRunning"});
    EXPECT_EQ(run.properties["TVSRunning"], std::string(held) == "TVSOtherMutex" ? "" : "1") << held;
  }
}

TEST_F(Antivirus, NestedPackageSourcePaths) {
  const std::string built =
      Package().Action("FixupNestedMSI")
          .Sql("CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), "
               "`DefaultDir` CHAR(255) NOT NULL LOCALIZABLE PRIMARY KEY `Directory`)")
          .Sql("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) "
               "VALUES ('TARGETDIR', '', 'SourceDir')")
          .Sql("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) "
               "VALUES ('INSTALLDIR', 'TARGETDIR', '.')")
          .Build();
  // Media in a folder whose long name has a short form of its own.
  const std::string media = NewTempDir("nested") + "\\Taskan Web Guard Media", package = media + "\\TWG setup.msi";
  ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(built.c_str(), package.c_str(), FALSE));
  char short_media[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(media.c_str(), short_media, MAX_PATH), 0u);
  const std::string long_form = media + "\\", short_form = std::string(short_media) + "\\";
  ASSERT_NE(long_form, short_form);
  for (bool same_database : {true, false}) {
    Session session(package);
    ASSERT_EQ(session.Do("CostInitialize"), kOk);
    ASSERT_EQ(session.Do("CostFinalize"), kOk);
    char resolved[MAX_PATH];  // resolved now: the installer takes the source from OriginalDatabase on first use
    DWORD size = MAX_PATH;
    ASSERT_EQ(MsiGetSourcePathA(session.handle(), "INSTALLDIR", resolved, &size), kOk);
    session.SetProperty("OriginalDatabase", same_database ? session.Property("DATABASE") : "C:\\cache\\1.msi");
    EXPECT_EQ(session.Do("FixupNestedMSI"), kOk);
    EXPECT_EQ(session.Property("SOURCEDIR"), short_form);
    EXPECT_EQ(session.Property("SourceDir"), short_form);
    EXPECT_EQ(session.Property("LONGSRCDIR"), long_form);
    EXPECT_EQ(session.Property("OriginalDatabase"), (same_database ? long_form : short_form) + "TWG.msi");
  }
  Session uncosted(package);  // no source path yet: the action cancels the install
  EXPECT_EQ(uncosted.Do("FixupNestedMSI"), static_cast<UINT>(ERROR_INSTALL_USEREXIT));
}

TEST_F(Antivirus, OtherProductsInTheUninstallList) {
  struct Case {
    std::vector<std::pair<std::string, const char*>> entries;  // key name, display name (null: none)
    const char *exist, *name;
  } cases[] = {  // the matching itself is decided natively; here the list and the family word reach it
      {{{"Sophos-SweepNT", "Sophos NT"}}, "1", "Sophos NT"},
      {{{"{11111111-2222-3333-4444-555555555555}", "Acme VIRUSSCAN 4"}}, "1", "Acme VIRUSSCAN 4"},
      {{{"Tauscan 1.5", nullptr}}, "1", ""},
      // Subkeys are enumerated sorted by name, whatever order they were made in.
      {{{"VETWIN32Vp5", "Second"}, {"AAA VirusScan", "First"}}, "1", "First"},
      {{{"Harmless Tool", "Harmless"}}, "before", "before"},
  };
  for (const auto& c : cases) {
    for (const auto& e : c.entries) {
      RegSetString(HKEY_LOCAL_MACHINE, kUninstall + e.first, e.second ? "DisplayName" : "Publisher",
                   e.second ? e.second : "x");
    }
    ActionRun run = RunAction("CheckForOtherAV", {{"OtherAVExist", "before"}, {"OtherAVName", "before"}},
                              {"OtherAVExist", "OtherAVName"});
    for (const auto& e : c.entries) RegDeleteTree(HKEY_LOCAL_MACHINE, kUninstall + e.first);
    EXPECT_EQ(run.properties["OtherAVExist"], c.exist) << c.entries[0].first;
    EXPECT_EQ(run.properties["OtherAVName"], c.name) << c.entries[0].first;
  }
}

}  // namespace
