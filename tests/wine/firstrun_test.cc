// The first-run integration probe and the global-name objects, against a real holder process.
#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"
#include "versions/global_names.h"

using namespace harness;

namespace {

// Terminal servers (here NT 5.1) look for the "Global\" object, Windows 98 for the plain one; Wine keeps
// the two names apart like Windows does.
TEST(FirstrunProbe, AnswersByVersionAndHolder) {
  struct Case {
    const char* version;
    const char* held;  // the name a holder owns
    const char* expected;
  } cases[] = {
      {"winxp", "Global\\FREInteg_Safety_Mutex", "1"}, {"winxp", "FREInteg_Safety_Mutex", "0"},
      {"win98", "FREInteg_Safety_Mutex", "1"},         {"win98", "Global\\FREInteg_Safety_Mutex", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.held);
    ScopedWindowsVersion version(c.version);
    MutexHolder holder(c.held);
    EXPECT_EQ(RunAction("IsFIOActive", {}, {"FIOActive"}).properties["FIOActive"], c.expected);
  }
  // With the session still open, a mutex the action forgot to release would still be owned by the
  // custom-action server and this wait would time out.
  Session session(Package().Action("IsFIOActive").Build());
  ASSERT_EQ(session.Do("IsFIOActive"), ERROR_SUCCESS);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\FREInteg_Safety_Mutex");
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  // On NT the objects are open to every account (the setup and the product's service run under
  // different ones): a present but null access list.
  SECURITY_ATTRIBUTES* attributes = twg::MakeOpenSecurityAttributes();
  ASSERT_NE(attributes, nullptr);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = reinterpret_cast<PACL>(1);
  EXPECT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted));
  EXPECT_TRUE(present && acl == nullptr);
  twg::FreeOpenSecurityAttributes(attributes);
}

}  // namespace
