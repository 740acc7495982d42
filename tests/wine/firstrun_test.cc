// The first-run integration probe and the global-name objects, against a real holder process.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "harness/harness.h"

using namespace harness;

namespace {

// Terminal servers (here every NT 5.1 and later) look for the "Global\" object; Windows 98 and 2000
// without terminal services for the plain one. Wine keeps the two names apart like Windows does.
TEST(FirstrunProbe, AnswersByWhoHoldsWhichName) {
  struct Case {
    const char* version;
    const char* held;  // the name a holder owns, or null
    const char* expected;
  } cases[] = {
      {"winxp", "Global\\FREInteg_Safety_Mutex", "1"}, {"winxp", "FREInteg_Safety_Mutex", "0"},
      {"winxp", nullptr, "0"},                         {"win98", "FREInteg_Safety_Mutex", "1"},
      {"win98", "Global\\FREInteg_Safety_Mutex", "0"}, {"win2k", "FREInteg_Safety_Mutex", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + (c.held ? c.held : "no holder"));
    ScopedWindowsVersion version(c.version);
    std::unique_ptr<MutexHolder> holder(c.held ? new MutexHolder(c.held) : nullptr);
    ActionRun run = RunAction("IsFIOActive", {}, {"FIOActive"});
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    EXPECT_EQ(run.properties["FIOActive"], c.expected);
  }
  // With the session still open, a mutex the action forgot to release would still be owned by the
  // custom-action server and this wait would time out.
  Session session(Package().Action("IsFIOActive").Build());
  ASSERT_EQ(session.Do("IsFIOActive"), ERROR_SUCCESS);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\FREInteg_Safety_Mutex");
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

// The objects are created open to every account on the NT family and without security attributes on
// the Windows 95 family; the probe runs in a process started under the emulated version.
TEST(FirstrunProbe, OpenSecurityOnlyOnWindowsNt) {
  // The probe's exit: 0 no attributes, 1 a descriptor with a null access list.
  for (const auto& c : {std::make_pair("win95", 0), std::make_pair("winme", 0), std::make_pair("nt40", 1),
                        std::make_pair("winxp", 1)}) {
    SCOPED_TRACE(c.first);
    ScopedWindowsVersion version(c.first);
    EXPECT_EQ(RunProcess("\"" + StandinPath("twg_store_probe.exe") + "\" open-security"), c.second);
  }
}

}  // namespace
