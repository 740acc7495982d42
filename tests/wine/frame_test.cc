// The action frame and the actions that steer the installer, in real sessions under Wine.
#include <gtest/gtest.h>

#include <map>
#include <cstring>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "harness/harness.h"

using namespace harness;

namespace {

// A property that does not fit the buffer is reported as such; what was read still ends in the buffer.
TEST(FrameProperty, ReadFitsItsBufferOrFails) {
  Session session(Package().Build());
  for (size_t length : {259, 260}) {
    session.SetProperty("TESTVALUE", std::string(length, 'x'));
    char buffer[260] = "";
    const UINT result = twg::ReadProperty(session.handle(), "TESTVALUE", buffer);
    EXPECT_EQ(std::to_string(result) + " " + std::to_string(std::strlen(buffer)),
              length < 260 ? "0 259" : std::to_string(ERROR_MORE_DATA) + " 259");
  }
}

// Lines are appended to the log in the temporary folder, each as it was given.
TEST(FrameInstallLog, AppendsAndStampsTime) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = std::string(temp) + "TWGLog.txt";
  DeleteFileA(log.c_str());
  EXPECT_EQ(twg::WriteInstallLog("first\r\n"), 0);
  EXPECT_EQ(twg::WriteInstallLogTime(), 0);
  EXPECT_EQ(twg::WriteInstallLog("no line end"), 0);
  const std::string text = ReadFileText(log);
  EXPECT_EQ(text.rfind("first\r", 0), 0u) << text;  // a text file: "\r\n" may grow a "\r"
  EXPECT_NE(text.find("LogTime is "), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 12), "\nno line end") << text;
}

TEST(FrameCp932, TrailByteEqualToBackslashIsNoSeparator) {
  if (GetACP() != 932) {
    const char* expected = getenv("TWG_EXPECT_ACP");
    ASSERT_FALSE(expected && std::string(expected) == "932") << "the locale did not give code page 932";
    GTEST_SKIP() << "needs code page 932 (ctest runs it as wine.frame_cp932)";
  }
  // "C:\<hyou>\a" where <hyou> is 0x95 0x5C: its trail byte is the backslash code.
  char path[] = "C:\\\x95\x5C\\a";
  EXPECT_EQ(twg::PathFindLast(path, '\\'), path + 5);
  char* context = nullptr;
  EXPECT_STREQ(twg::PathTokenize(path, "\\", &context), "C:");
  EXPECT_STREQ(twg::PathTokenize(nullptr, "\\", &context), "\x95\x5C");
}

constexpr char kPersistKey[] = "Software\\TWGTest\\Persist";

// Each row runs one action on the table's rows (property, value name below kPersistKey); the load reads
// what the dump before it saved. Properties after the action are joined by "|", the saved values listed
// as "name=text;" (text cut to 8).
TEST(FramePersist, DumpAndLoadRowByRow) {
  using Rows = std::vector<std::pair<std::string, std::string>>;
  const Rows carried = {{"FOLDER", "Folder"}, {"EMPTYONE", "Empty"}};
  const Rows long_and_short = {{"LONGONE", "Long"}, {"SHORTONE", "Short"}};
  struct Case {
    const char* action;
    Rows rows;
    std::map<std::string, std::string> properties, saved;  // before: in the session; below kPersistKey
    UINT result;
    std::string properties_after, saved_after;
  } cases[] = {
      {"DumpProperties", carried, {{"FOLDER", "C:\\Program Files\\T"}}, {}, 0, "C:\\Program Files\\T|",
       "Folder=C:\\Progr;Empty=;"},
      {"LoadProperties", carried, {}, {}, 0, "C:\\Program Files\\T|", ""},
      {"DumpProperties", long_and_short, {{"LONGONE", std::string(1023, 'L')}, {"SHORTONE", "s"}}, {}, 0,
       std::string(1023, 'L') + "|s", "Long=LLLLLLLL;Short=s;"},
      // Only the row that does not fit fails; an unreadable saved value is removed anyway.
      {"DumpProperties", long_and_short, {{"LONGONE", std::string(1024, 'L')}, {"SHORTONE", "s"}}, {},
       ERROR_INSTALL_FAILURE, std::string(1024, 'L') + "|s", "Short=s;"},
      {"LoadProperties", {{"HUGE", "Huge"}, {"FINE", "Fine"}}, {}, {{"Huge", std::string(2000, 'h')}, {"Fine", "ok"}},
       ERROR_INSTALL_FAILURE, "|ok", ""},
  };
  for (const auto& c : cases) {
    if (&c != &cases[1]) RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
    for (const auto& v : c.saved) RegSetString(HKEY_LOCAL_MACHINE, kPersistKey, v.first, v.second);
    Package package;
    package.Action(c.action).Sql("CREATE TABLE `TWGDumpProperties` (`Property` CHAR(72) NOT NULL, `RegKey` "
                                 "CHAR(255) NOT NULL, `RegValue` CHAR(255) NOT NULL PRIMARY KEY `Property`)");
    for (const auto& r : c.rows) {
      package.Sql("INSERT INTO `TWGDumpProperties` (`Property`, `RegKey`, `RegValue`) VALUES ('" + r.first + "', '" +
                  kPersistKey + "', '" + r.second + "')");
    }
    for (const auto& p : c.properties) package.Property(p.first, p.second);
    Session session(package.Build());
    EXPECT_EQ(session.Do(c.action), c.result) << &c - cases;
    std::string properties, saved;
    for (const auto& row : c.rows) {
      properties += (&row == &c.rows[0] ? "" : "|") + session.Property(row.first);
      RegValue v = RegGet(HKEY_LOCAL_MACHINE, kPersistKey, row.second);
      if (v.exists) saved += row.second + "=" + v.text().substr(0, 8) + ";";
    }
    EXPECT_EQ(properties + " " + saved, c.properties_after + " " + c.saved_after) << &c - cases;
  }
}

constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// One property each action publishes, from a preset property or a RunOnce marker (only whether the value
// exists matters; the markers stay).
TEST(FrameReboot, PropertiesFromSettingsAndMarkers) {
  struct Case {
    const char* action;
    std::map<std::string, std::string> preset;
    const char *marker, *property, *expected;  // marker: a value in RunOnce, or null
  } cases[] = {
      {"SilentReboot", {}, nullptr, "REBOOT", ""},
      {"SilentReboot", {{"SILENTREBOOT", "0"}}, nullptr, "REBOOT", "Force"},
      {"fnSetREINSTALLMODE", {{"REINSTALLMODE", "omus"}}, nullptr, "REINSTALLMODE", "ev"},
      {"fnCheckForRequiredReboot", {}, "VXFNeedsReboot", "REBOOTREQUIRED", "1"},
      {"fnCheckForRequiredReboot", {}, "VXFDeleteMe", "REBOOTREQUIRED", ""},
      {"fnRemoveVXFDeleteMeRegValue", {}, "VXFDeleteMe", "UNINSTALLREQUIRESREBOOT", "1"},
      {"fnRemoveVXFDeleteMeRegValue", {}, nullptr, "UNINSTALLREQUIRESREBOOT", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + (c.marker ? c.marker : ""));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
    if (c.marker) RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, c.marker, "");
    ActionRun run = RunAction(c.action, c.preset, {c.property});
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    EXPECT_EQ(run.properties[c.property], c.expected);
    if (c.marker) EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kRunOnce, c.marker).exists);
  }
}

TEST(FrameReboot, SuppressForSilentUninstall) {
  Session session(Package().Action("SuppressRebootForSilentUninstall").Property("ReplacedInUseFiles", "1").Build());
  MsiSetMode(session.handle(), MSIRUNMODE_REBOOTATEND, TRUE);
  EXPECT_EQ(session.Do("SuppressRebootForSilentUninstall"), ERROR_SUCCESS);
  EXPECT_EQ(session.Property("REBOOT") + "|" + session.Property("ReplacedInUseFiles"), "ReallySuppress|");
  EXPECT_FALSE(MsiGetMode(session.handle(), MSIRUNMODE_REBOOTATEND));
}

// Wine's user interface sees common data 2/0 as "Message type: 2, Argument: 0" (Cancel hidden); the
// session start sends its own, so the action must add exactly one such message.
TEST(FrameReboot, DisableCancelSendsCommonData) {
  int counts[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    UiRecorder ui;
    EXPECT_EQ(RunAction(i ? "fnDisableCancel" : "fnSetREINSTALLMODE", {}, {}).result, ERROR_SUCCESS);
    for (const auto& m : ui.Of(INSTALLMESSAGE_COMMONDATA)) counts[i] += m.text == "Message type: 2, Argument: 0";
  }
  EXPECT_EQ(counts[1], counts[0] + 1);
}

}  // namespace
