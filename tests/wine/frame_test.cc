// The action frame and the actions that steer the installer, in real sessions under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "harness/harness.h"

using namespace harness;

namespace {

TEST(FrameProperty, BufferBoundaryUnsetAndClear) {
  Session session(Package().Property("KEPT", "v").Build());
  for (size_t length : {0, 1, 259, 260, 600}) {
    SCOPED_TRACE(length);
    const std::string value(length, 'x');
    session.SetProperty("TESTVALUE", value);
    char buffer[260];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(twg::ReadProperty(session.handle(), "TESTVALUE", buffer),
              length < 260 ? ERROR_SUCCESS : static_cast<UINT>(ERROR_MORE_DATA));
    if (length < 260) EXPECT_EQ(std::string(buffer), value);
    EXPECT_LT(std::strlen(buffer), sizeof buffer);
  }
  char buffer[260] = "stale";
  EXPECT_EQ(twg::ReadProperty(session.handle(), "NEVERSET", buffer), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "");
  twg::ClearProperty(session.handle(), "KEPT");
  twg::SetFlagProperty(session.handle(), "FLAG", true);
  EXPECT_EQ(session.Property("KEPT") + "|" + session.Property("FLAG"), "|1");
}

// The log goes to the temporary folder the environment names; one that is a file loses the line.
TEST(FrameInstallLog, AppendsExactlyStampsTimeAndLosesLinesItCannotWrite) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = std::string(temp) + "TWGLog.txt";
  DeleteFileA(log.c_str());
  EXPECT_EQ(twg::WriteInstallLog("first\r\n"), 0);
  EXPECT_EQ(twg::WriteInstallLogTime(), 0);
  EXPECT_EQ(twg::WriteInstallLog("no line end"), 0);
  const std::string text = ReadFileText(log);
  SYSTEMTIME now;
  GetSystemTime(&now);
  const size_t stamp = text.find("LogTime is ");
  EXPECT_EQ(text.rfind("first\r", 0), 0u) << text;  // the log is a text file: "\r\n" may grow a "\r"
  EXPECT_NE(stamp, std::string::npos) << text;
  EXPECT_NE(text.find("/" + std::to_string(now.wYear) + " ", stamp), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 12), "\nno line end") << text;

  const std::string file = NewTempDir("notafolder") + "\\plainfile\\";
  WriteFileText(file.substr(0, file.size() - 1), "x");
  const std::string saved_tmp = getenv("TMP") ? getenv("TMP") : "", saved_temp = getenv("TEMP") ? getenv("TEMP") : "";
  SetEnvironmentVariableA("TMP", file.c_str());
  SetEnvironmentVariableA("TEMP", file.c_str());
  EXPECT_EQ(twg::WriteInstallLog("lost\n"), -1);
  EXPECT_EQ(twg::WriteInstallLogTime(), 0);
  SetEnvironmentVariableA("TMP", saved_tmp.c_str());
  SetEnvironmentVariableA("TEMP", saved_temp.c_str());
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
  char folder[] = "C:\\dir\\\x95\x5C";
  EXPECT_EQ(twg::PathFindLast(folder, '\\'), folder + 6);
  EXPECT_EQ(twg::PathFindFirst(folder + 7, '\\'), nullptr);
  char list[] = "\x95\x5C;b";
  char* context = nullptr;
  EXPECT_STREQ(twg::PathTokenize(list, ";\\", &context), "\x95\x5C");
  EXPECT_STREQ(twg::PathTokenize(nullptr, ";\\", &context), "b");
}

// --- Property persistence table ----------------------------------------------------------------

constexpr char kPersistKey[] = "Software\\TWGTest\\Persist";
constexpr char kGuardedKey[] = "Software\\Veltrane\\GRD\\Persist";  // below the protected prefix: still plain
using Rows = std::vector<std::array<std::string, 3>>;

Package PersistPackage(const Rows& rows) {
  Package p;
  p.Action("DumpProperties").Action("LoadProperties");
  p.Sql("CREATE TABLE `TWGDumpProperties` (`Property` CHAR(72) NOT NULL, `RegKey` CHAR(255) NOT NULL, "
        "`RegValue` CHAR(255) NOT NULL PRIMARY KEY `Property`)");
  for (const auto& r : rows) {
    p.Sql("INSERT INTO `TWGDumpProperties` (`Property`, `RegKey`, `RegValue`) VALUES ('" + r[0] + "', '" + r[1] +
          "', '" + r[2] + "')");
  }
  return p;
}

// The values of both keys as "key:name=type:text;" in the registry's order, for one comparison.
std::string PersistDump() {
  std::string out;
  for (const char* key : {kPersistKey, kGuardedKey}) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) continue;
    out += std::string(key == kPersistKey ? "P" : "G") + ":";
    char name[64];
    for (DWORD i = 0, size = sizeof name; RegEnumValueA(h, i, name, &size, 0, 0, 0, 0) == ERROR_SUCCESS;
         ++i, size = sizeof name) {
      RegValue v = RegGet(HKEY_LOCAL_MACHINE, key, name);
      out += std::string(name) + "=" + std::to_string(v.type) + ":" + v.text().substr(0, 8) + ";";
    }
    RegCloseKey(h);
  }
  return out;
}

TEST(FramePersist, DumpAndLoadRowByRow) {
  const std::string folder = "C:\\Program Files\\Taskan";
  const Rows carried = {{"FOLDER", kPersistKey, "Folder"}, {"EMPTYONE", kPersistKey, "Empty"},
                        {"GUARDED", kGuardedKey, "G"}};
  const Rows long_and_short = {{"LONGONE", kPersistKey, "Long"}, {"SHORTONE", kPersistKey, "Short"}};
  struct Case {
    const char* what;
    const char* action;
    Rows rows;
    std::map<std::string, std::string> properties, saved;  // before: in the session; in kPersistKey
    UINT result;
    const char* properties_after;  // the rows' properties joined by "|"; null: not compared
    std::string registry_after;
  } cases[] = {
      {"dump", "DumpProperties", carried, {{"FOLDER", folder}, {"GUARDED", "plain text"}}, {}, ERROR_SUCCESS,
       "C:\\Program Files\\Taskan||plain text", "P:Empty=1:;Folder=1:C:\\Progr;G:G=1:plain te;"},
      {"load what the dump saved", "LoadProperties", carried, {}, {}, ERROR_SUCCESS,
       "C:\\Program Files\\Taskan||plain text", "P:G:"},
      {"1023 characters", "DumpProperties", long_and_short, {{"LONGONE", std::string(1023, 'L')}, {"SHORTONE", "s"}},
       {}, ERROR_SUCCESS, nullptr, "P:Long=1:LLLLLLLL;Short=1:s;"},
      {"1024 characters fail their row only", "DumpProperties", long_and_short,
       {{"LONGONE", std::string(1024, 'L')}, {"SHORTONE", "s"}}, {}, ERROR_INSTALL_FAILURE, nullptr, "P:Short=1:s;"},
      {"an unreadable saved value is removed anyway", "LoadProperties",
       {{"HUGE", kPersistKey, "Huge"}, {"FINE", kPersistKey, "Fine"}}, {}, {{"Huge", std::string(2000, 'h')},
       {"Fine", "ok"}}, ERROR_INSTALL_FAILURE, "|ok", "P:"},
      {"a missing key is created and its row fails", "LoadProperties", {{"NOTSAVED", kPersistKey, "V"}},
       {{"NOTSAVED", "unchanged"}}, {}, ERROR_INSTALL_FAILURE, "unchanged", "P:"},
      {"an empty table", "DumpProperties", {}, {}, {}, ERROR_SUCCESS, "", ""},
      {"an empty table", "LoadProperties", {}, {}, {}, ERROR_SUCCESS, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + c.action);
    if (&c != &cases[1]) {  // the load reads what the dump before it saved
      RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
      RegDeleteTree(HKEY_LOCAL_MACHINE, kGuardedKey);
    }
    for (const auto& v : c.saved) RegSetString(HKEY_LOCAL_MACHINE, kPersistKey, v.first, v.second);
    Package package = PersistPackage(c.rows);
    for (const auto& p : c.properties) package.Property(p.first, p.second);
    Session session(package.Build());
    EXPECT_EQ(session.Do(c.action), c.result);
    std::string properties;
    for (const auto& row : c.rows) properties += (&row == &c.rows[0] ? "" : "|") + session.Property(row[0]);
    if (c.properties_after) EXPECT_EQ(properties, c.properties_after);
    EXPECT_EQ(PersistDump(), c.registry_after);
    if (&c == &cases[1]) EXPECT_EQ(session.Do(c.action), static_cast<UINT>(ERROR_INSTALL_FAILURE)) << "nothing left";
  }
  Session without(Package().Action("DumpProperties").Action("LoadProperties").Build());
  EXPECT_EQ(without.Do("DumpProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE)) << "no table";
  EXPECT_EQ(without.Do("LoadProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE)) << "no table";
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGuardedKey);
}

// --- Reboot and installer-mode actions --------------------------------------------------------

constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// One property each action publishes, from a preset property or the RunOnce markers; the markers
// themselves stay, and empty data counts: only a value's existence matters.
TEST(FrameReboot, PropertiesFromSettingsAndMarkers) {
  struct Case {
    const char* action;
    std::map<std::string, std::string> preset;
    const char* marker;  // a value in RunOnce; "-": no RunOnce key at all
    const char* property;
    const char* expected;
  } cases[] = {
      {"SilentReboot", {}, nullptr, "REBOOT", ""},
      {"SilentReboot", {{"SILENTREBOOT", "0"}}, nullptr, "REBOOT", "Force"},
      {"SilentReboot", {{"SILENTREBOOT", "anything"}}, nullptr, "REBOOT", "Force"},
      {"fnSetREINSTALLMODE", {{"REINSTALLMODE", "omus"}}, nullptr, "REINSTALLMODE", "ev"},
      {"fnCheckForRequiredReboot", {}, "VXFNeedsReboot", "REBOOTREQUIRED", "1"},
      {"fnCheckForRequiredReboot", {}, nullptr, "REBOOTREQUIRED", ""},
      {"fnCheckForRequiredReboot", {}, "-", "REBOOTREQUIRED", ""},
      {"fnCheckForRequiredReboot", {}, "VXFDeleteMe", "REBOOTREQUIRED", ""},
      {"fnRemoveVXFDeleteMeRegValue", {}, "VXFDeleteMe", "UNINSTALLREQUIRESREBOOT", "1"},
      {"fnRemoveVXFDeleteMeRegValue", {}, "-", "UNINSTALLREQUIRESREBOOT", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + (c.marker ? c.marker : ""));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
    if (!c.marker || *c.marker != '-') RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "Other", "x");
    if (c.marker && *c.marker != '-') RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, c.marker, "");
    ActionRun run = RunAction(c.action, c.preset, {c.property});
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    EXPECT_EQ(run.properties[c.property], c.expected);
    if (c.marker && *c.marker != '-') EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kRunOnce, c.marker).exists);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
  RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "", "");
}

TEST(FrameReboot, SuppressForSilentUninstall) {
  Session session(Package().Action("SuppressRebootForSilentUninstall").Property("ReplacedInUseFiles", "1").Build());
  MsiSetMode(session.handle(), MSIRUNMODE_REBOOTATEND, TRUE);
  EXPECT_EQ(session.Do("SuppressRebootForSilentUninstall"), ERROR_SUCCESS);
  EXPECT_EQ(session.Property("REBOOT") + "|" + session.Property("ReplacedInUseFiles"), "ReallySuppress|");
  EXPECT_FALSE(MsiGetMode(session.handle(), MSIRUNMODE_REBOOTATEND));
}

// Wine's user interface sees common data 2/0 as "Message type: 2, Argument: 0" (Cancel hidden); the
// session start sends its own common data, so the action must add exactly one such message.
int CancelHiddenMessages(const std::string& action) {
  UiRecorder ui;
  EXPECT_EQ(RunAction(action, {}, {}).result, ERROR_SUCCESS);
  int count = 0;
  for (const auto& m : ui.Of(INSTALLMESSAGE_COMMONDATA)) count += m.text == "Message type: 2, Argument: 0";
  return count;
}

TEST(FrameReboot, DisableCancelSendsCommonData) {
  EXPECT_EQ(CancelHiddenMessages("fnDisableCancel"), CancelHiddenMessages("fnSetREINSTALLMODE") + 1);
}

}  // namespace
