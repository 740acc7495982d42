// The first-run integration probe and the global-name objects, against a real holder process.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

using namespace harness;

namespace {

// Terminal servers (here NT 5.1) look for the "Global\" object, Windows 98 for the plain one; Wine keeps
// the two names apart like Windows does.
TEST(FirstrunProbe, AnswersByVersionAndHolder) {
  const char* cases[][3] = {  // the Windows version, the name a holder owns, FIOActive
      {"winxp", "Global\\FREInteg_Safety_Mutex", "1"}, {"winxp", "FREInteg_Safety_Mutex", "0"},
      {"win98", "FREInteg_Safety_Mutex", "1"},         {"win98", "Global\\FREInteg_Safety_Mutex", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c[0]) + " " + c[1]);
    ScopedWindowsVersion version(c[0]);
    MutexHolder holder(c[1]);
    EXPECT_EQ(RunAction("IsFIOActive", {}, {"FIOActive"}).properties["FIOActive"], c[2]);
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

}  // namespace
