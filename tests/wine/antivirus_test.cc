// The companion antivirus actions in real sessions, the companion installed for real (tests/standins/
// companion, under its product code) and its mutexes held by named_object.exe. The demo runs the usual
// path of each action (version, folder, shortcut, competing products); these are the cases that differ.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

using namespace harness;

namespace {

const std::string kCode = "{6644AB24-918B-1EC3-3281-B7E1958EC9AB}";
constexpr char kGrd[] = "Software\\Veltrane\\GRD";

void InstallCompanion(bool installed) {
  char version[64];
  DWORD size = sizeof version;
  const bool now = MsiGetProductInfoA(kCode.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size) == 0;
  if (now == installed) return;
  const std::string package = installed ? "/i \"" + StandinPath("companion.msi") + "\"" : "/x" + kCode;
  ASSERT_EQ(RunProcess("msiexec " + package + " /qn", 120000), 0);
}

// The marker that this product installed the companion: a companion of ours still installed after its
// removal means that removal failed, and the marker stays for the next one. (Sealed in the store once
// there is one: the demo shows that.)
TEST(Antivirus, MarkerLifeCycle) {
  for (bool companion : {true, false}) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
    InstallCompanion(companion);
    Session session(Package().Action("BeforeTVSInstall").Action("CheckTWGTVS").Action("CheckTVSUninstall")
                        .Property("INSTALLTVS", "1").Build());
    EXPECT_EQ(session.Do("BeforeTVSInstall"), 0u);
    const RegValue marker = RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS");  // one byte, no terminator
    EXPECT_EQ(session.Do("CheckTWGTVS") + session.Do("CheckTVSUninstall"), 0u);
    EXPECT_EQ(session.Property("INSTALLTVS") + "|" + std::to_string(marker.type) + ":" + marker.data + "|" +
                  session.Property("TWGTVSInstalled") + "|" + session.Property("TVSUninstFail") + "|" +
                  std::to_string(RegGet(HKEY_LOCAL_MACHINE, kGrd, "TWGTVS").exists),
              companion ? "1|1:1|1|1|1" : "1|1:1|||0");
  }
}

// A failed companion uninstall stops ours; a failed install lets it go on.
TEST(Antivirus, FailureReports) {
  for (const char* action : {"TVSInstallFailed", "TVSUninstallFailed"}) {
    MessageBoxAnswerer answerer({IDOK}, "Taskan Virus Sentry");
    const UINT result = RunAction(action, {{"ProductName", std::string(259, 'W')}}, {}).result;
    EXPECT_EQ(result, std::string(action) == "TVSInstallFailed" ? 0u : ERROR_INSTALL_FAILURE) << action;
    EXPECT_EQ(answerer.Stop().size(), 1u) << action;
  }
}

TEST(Antivirus, RunningWhileAnyMutexIsHeld) {
  for (const char* held : {"VEL_TVSW32_MUTEX", "TVSCfgWizMutex", "Quarantine Console Mutex", "OtherMutex"}) {
    MutexHolder holder(held);
    ActionRun run = RunAction("CheckTVSState", {}, {"TVSRunning"});
    EXPECT_EQ(run.properties["TVSRunning"], std::string(held) == "OtherMutex" ? "" : "1") << held;
  }
}

}  // namespace
