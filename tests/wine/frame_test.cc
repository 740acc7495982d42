// The action frame and the actions that steer the installer, in real sessions under Wine.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "harness/harness.h"

using namespace harness;

namespace {

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

// One action on a table of three rows (property, value name below kPersistKey), in a fresh session with
// the given properties: "<result> <property>=<saved value or ->;..." with texts cut to 8.
std::string Persist(const char* action, const std::map<std::string, std::string>& properties) {
  const char* const rows[][2] = {{"FOLDER", "Folder"}, {"LONGONE", "Long"}, {"EMPTYONE", "Empty"}};
  Package package;
  package.Action(action).Sql("CREATE TABLE `TWGDumpProperties` (`Property` CHAR(72) NOT NULL, `RegKey` "
                             "CHAR(255) NOT NULL, `RegValue` CHAR(255) NOT NULL PRIMARY KEY `Property`)");
  for (const auto& row : rows) {
    package.Sql(std::string("INSERT INTO `TWGDumpProperties` (`Property`, `RegKey`, `RegValue`) VALUES ('") +
                row[0] + "', '" + kPersistKey + "', '" + row[1] + "')");
  }
  for (const auto& p : properties) package.Property(p.first, p.second);
  Session session(package.Build());
  std::string out = std::to_string(session.Do(action)) + " ";
  for (const auto& row : rows) {
    const RegValue saved = RegGet(HKEY_LOCAL_MACHINE, kPersistKey, row[1]);
    out += session.Property(row[0]).substr(0, 8) + "=" + (saved.exists ? saved.text().substr(0, 8) : "-") + ";";
  }
  return out;
}

// Only a row that does not fit (1024 characters) fails; the load removes every value it was given, also
// one it cannot read.
TEST(FramePersist, DumpAndLoadRowByRow) {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
  EXPECT_EQ(Persist("DumpProperties", {{"FOLDER", "C:\\Tas"}, {"LONGONE", std::string(1024, 'L')}}),
            "1603 C:\\Tas=C:\\Tas;LLLLLLLL=-;=;");
  RegSetString(HKEY_LOCAL_MACHINE, kPersistKey, "Long", std::string(2000, 'h'));
  EXPECT_EQ(Persist("LoadProperties", {}), "1603 C:\\Tas=-;=-;=-;");
  EXPECT_EQ(Persist("DumpProperties", {{"LONGONE", std::string(1023, 'L')}}), "0 =;LLLLLLLL=LLLLLLLL;=;");
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
      {"fnCheckForRequiredReboot", {}, "VXFNeedsReboot", "REBOOTREQUIRED", "1"},
      {"fnCheckForRequiredReboot", {}, "VXFDeleteMe", "REBOOTREQUIRED", ""},
      {"fnRemoveVXFDeleteMeRegValue", {}, "VXFDeleteMe", "UNINSTALLREQUIRESREBOOT", "1"},
      {"fnRemoveVXFDeleteMeRegValue", {}, "VXFNeedsReboot", "UNINSTALLREQUIRESREBOOT", ""},
  };
  for (const auto& c : cases) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
    if (c.marker) RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, c.marker, "");
    ActionRun run = RunAction(c.action, c.preset, {c.property});
    const bool marker_kept = !c.marker || RegGet(HKEY_LOCAL_MACHINE, kRunOnce, c.marker).exists;
    EXPECT_EQ(std::to_string(run.result) + " " + run.properties[c.property] + (marker_kept ? "" : " (gone)"),
              std::string("0 ") + c.expected) << c.action << " " << (c.marker ? c.marker : "");
  }
}

// Wine's user interface sees common data 2/0 as "Message type: 2, Argument: 0" (Cancel hidden); the
// session start sends its own, so the action must add exactly one such message to another action's.
TEST(FrameReboot, DisableCancelSendsCommonData) {
  int counts[2] = {0, 0};
  const char* const actions[] = {"fnSetREINSTALLMODE", "fnDisableCancel"};
  for (int i = 0; i < 2; ++i) {
    UiRecorder ui;
    RunAction(actions[i], {}, {});
    for (const auto& m : ui.Of(INSTALLMESSAGE_COMMONDATA)) counts[i] += m.text == "Message type: 2, Argument: 0";
  }
  EXPECT_EQ(counts[1], counts[0] + 1);
}

}  // namespace
