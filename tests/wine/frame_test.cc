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

constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// --- Property reads against a real session ---------------------------------------------------------

TEST(FrameProperty, BufferBoundary) {
  Session session(Package().Build());
  struct Case {
    size_t length;
    UINT status;
  } cases[] = {{0, ERROR_SUCCESS}, {1, ERROR_SUCCESS}, {259, ERROR_SUCCESS}, {260, ERROR_MORE_DATA},
               {600, ERROR_MORE_DATA}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::string value(c.length, 'x');
    session.SetProperty("TESTVALUE", value);
    char buffer[260];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(twg::ReadProperty(session.handle(), "TESTVALUE", buffer), c.status);
    if (c.status == ERROR_SUCCESS) EXPECT_EQ(std::string(buffer), value);
    EXPECT_LT(std::strlen(buffer), sizeof buffer);
  }
}

TEST(FrameProperty, UnsetReadsEmptyAndClearRemoves) {
  Session session(Package().Property("KEPT", "v").Build());
  char buffer[260] = "stale";
  EXPECT_EQ(twg::ReadProperty(session.handle(), "NEVERSET", buffer), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "");
  twg::ClearProperty(session.handle(), "KEPT");
  EXPECT_EQ(session.Property("KEPT"), "");
  twg::SetFlagProperty(session.handle(), "FLAG", true);
  EXPECT_EQ(session.Property("FLAG"), "1");
}

// --- Install log -------------------------------------------------------------------------------------

class FrameInstallLog : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    saved_tmp_ = getenv("TMP") ? getenv("TMP") : "";
    saved_temp_ = getenv("TEMP") ? getenv("TEMP") : "";
    log_ = std::string(temp) + "TWGLog.txt";
  }
  void TearDown() override {
    SetEnvironmentVariableA("TMP", saved_tmp_.c_str());
    SetEnvironmentVariableA("TEMP", saved_temp_.c_str());
  }
  std::string saved_tmp_, saved_temp_, log_;
};

TEST_F(FrameInstallLog, AppendsExactlyAndStampsTime) {
  DeleteFileA(log_.c_str());
  EXPECT_EQ(twg::WriteInstallLog("first\r\n"), 0);
  EXPECT_EQ(twg::WriteInstallLogTime(), 0);
  EXPECT_EQ(twg::WriteInstallLog("no line end"), 0);
  std::string text = ReadFileText(log_);
  ASSERT_EQ(text.rfind("first\r", 0), 0u) << text;
  size_t stamp = text.find("LogTime is ");
  ASSERT_NE(stamp, std::string::npos) << text;
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_NE(text.find("/" + std::to_string(now.wYear) + " ", stamp), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 11), "no line end");
}

TEST_F(FrameInstallLog, UnwritableTempFolderLosesTheLine) {
  std::string dir = NewTempDir("notafolder");
  std::string file = dir + "\\plainfile";
  WriteFileText(file, "x");
  // The temporary folder is a file: the log cannot be opened below it.
  SetEnvironmentVariableA("TMP", (file + "\\").c_str());
  SetEnvironmentVariableA("TEMP", (file + "\\").c_str());
  EXPECT_EQ(twg::WriteInstallLog("lost\n"), -1);
  EXPECT_EQ(twg::WriteInstallLogTime(), 0);
}

// --- Double-byte paths under the real system code page ------------------------------------------

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

Package PersistPackage(const std::vector<std::array<std::string, 3>>& rows) {
  Package p;
  p.Action("DumpProperties").Action("LoadProperties");
  p.Sql("CREATE TABLE `TWGDumpProperties` (`Property` CHAR(72) NOT NULL, `RegKey` CHAR(255) NOT NULL, "
        "`RegValue` CHAR(255) NOT NULL PRIMARY KEY `Property`)");
  for (const auto& r : rows) {
    p.Sql("INSERT INTO `TWGDumpProperties` (`Property`, `RegKey`, `RegValue`) VALUES ('" + r[0] +
          "', '" + r[1] + "', '" + r[2] + "')");
  }
  return p;
}

TEST(FramePersist, DumpThenLoadCarriesValuesAcrossSessions) {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
  const std::string guarded = "Software\\Veltrane\\GRD\\Persist";  // below the protected prefix
  RegDeleteTree(HKEY_LOCAL_MACHINE, guarded);
  auto rows = std::vector<std::array<std::string, 3>>{
      {"FOLDER", kPersistKey, "Folder"}, {"EMPTYONE", kPersistKey, "Empty"}, {"GUARDED", guarded, "G"}};
  {
    Package p = PersistPackage(rows);
    p.Property("FOLDER", "C:\\Program Files\\Taskan").Property("GUARDED", "plain text");
    Session session(p.Build());
    EXPECT_EQ(session.Do("DumpProperties"), ERROR_SUCCESS);
  }
  EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Folder").text(), "C:\\Program Files\\Taskan");
  RegValue empty = RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Empty");
  EXPECT_TRUE(empty.exists);
  EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(empty.data, std::string(1, '\0'));
  RegValue plain = RegGet(HKEY_LOCAL_MACHINE, guarded, "G");
  EXPECT_EQ(plain.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(plain.text(), "plain text");

  Session next(PersistPackage(rows).Build());
  EXPECT_EQ(next.Do("LoadProperties"), ERROR_SUCCESS);
  EXPECT_EQ(next.Property("FOLDER"), "C:\\Program Files\\Taskan");
  EXPECT_EQ(next.Property("GUARDED"), "plain text");
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Folder").exists);
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kPersistKey));
  // Nothing is left to load the second time.
  EXPECT_EQ(next.Do("LoadProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE));
}

TEST(FramePersist, LongPropertyFailsItsRowOnly) {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
  struct Case {
    size_t length;
    UINT result;
  } cases[] = {{1023, ERROR_SUCCESS}, {1024, ERROR_INSTALL_FAILURE}, {5000, ERROR_INSTALL_FAILURE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    Package p = PersistPackage({{"LONGONE", kPersistKey, "Long"}, {"SHORTONE", kPersistKey, "Short"}});
    p.Property("LONGONE", std::string(c.length, 'L')).Property("SHORTONE", "s");
    Session session(p.Build());
    EXPECT_EQ(session.Do("DumpProperties"), c.result);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Short").text(), "s");
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Long").exists, c.result == ERROR_SUCCESS);
    RegDeleteValue(HKEY_LOCAL_MACHINE, kPersistKey, "Long");
  }
}

TEST(FramePersist, UnreadableSavedValueIsRemovedAnyway) {
  RegDeleteTree(HKEY_LOCAL_MACHINE, kPersistKey);
  RegSetString(HKEY_LOCAL_MACHINE, kPersistKey, "Huge", std::string(2000, 'h'));
  RegSetString(HKEY_LOCAL_MACHINE, kPersistKey, "Fine", "ok");
  Session session(PersistPackage({{"HUGE", kPersistKey, "Huge"}, {"FINE", kPersistKey, "Fine"}}).Build());
  EXPECT_EQ(session.Do("LoadProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE));
  EXPECT_EQ(session.Property("HUGE"), "");
  EXPECT_EQ(session.Property("FINE"), "ok");
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kPersistKey, "Huge").exists);
}

TEST(FramePersist, MissingKeyIsCreatedAndTheRowFails) {
  const std::string missing = std::string(kPersistKey) + "\\NeverSaved";
  RegDeleteTree(HKEY_LOCAL_MACHINE, missing);
  Package p = PersistPackage({{"NOTSAVED", missing, "V"}});
  p.Property("NOTSAVED", "unchanged");
  Session session(p.Build());
  EXPECT_EQ(session.Do("LoadProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE));
  EXPECT_EQ(session.Property("NOTSAVED"), "unchanged");
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, missing));
}

TEST(FramePersist, EmptyTableSucceedsMissingTableFails) {
  Session with_table(PersistPackage({}).Build());
  EXPECT_EQ(with_table.Do("DumpProperties"), ERROR_SUCCESS);
  EXPECT_EQ(with_table.Do("LoadProperties"), ERROR_SUCCESS);
  Session without(Package().Action("DumpProperties").Action("LoadProperties").Build());
  EXPECT_EQ(without.Do("DumpProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE));
  EXPECT_EQ(without.Do("LoadProperties"), static_cast<UINT>(ERROR_INSTALL_FAILURE));
}

// --- Reboot and installer-mode actions --------------------------------------------------------

TEST(FrameReboot, SilentRebootForcesOnAnyText) {
  struct Case {
    const char* silent;
    const char* reboot;
  } cases[] = {{"", ""}, {"0", "Force"}, {"1", "Force"}, {"anything", "Force"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.silent);
    std::map<std::string, std::string> props;
    if (*c.silent) props["SILENTREBOOT"] = c.silent;
    ActionRun run = RunAction("SilentReboot", props, {"REBOOT"});
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    EXPECT_EQ(run.properties["REBOOT"], c.reboot);
  }
}

TEST(FrameReboot, SuppressForSilentUninstall) {
  Session session(Package().Action("SuppressRebootForSilentUninstall").Property("ReplacedInUseFiles", "1").Build());
  MsiSetMode(session.handle(), MSIRUNMODE_REBOOTATEND, TRUE);
  EXPECT_EQ(session.Do("SuppressRebootForSilentUninstall"), ERROR_SUCCESS);
  EXPECT_EQ(session.Property("REBOOT"), "ReallySuppress");
  EXPECT_EQ(session.Property("ReplacedInUseFiles"), "");
  EXPECT_FALSE(MsiGetMode(session.handle(), MSIRUNMODE_REBOOTATEND));
}

TEST(FrameReboot, RunOnceMarkers) {
  struct Case {
    const char* action;
    const char* value;  // value present in RunOnce, or null
    bool key_exists;
    const char* property;
    const char* expected;
  } cases[] = {
      {"fnCheckForRequiredReboot", "VXFNeedsReboot", true, "REBOOTREQUIRED", "1"},
      {"fnCheckForRequiredReboot", nullptr, true, "REBOOTREQUIRED", ""},
      {"fnCheckForRequiredReboot", nullptr, false, "REBOOTREQUIRED", ""},
      {"fnCheckForRequiredReboot", "VXFDeleteMe", true, "REBOOTREQUIRED", ""},
      {"fnRemoveVXFDeleteMeRegValue", "VXFDeleteMe", true, "UNINSTALLREQUIRESREBOOT", "1"},
      {"fnRemoveVXFDeleteMeRegValue", nullptr, false, "UNINSTALLREQUIRESREBOOT", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + (c.value ? c.value : "-") + (c.key_exists ? "" : " no key"));
    RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
    if (c.key_exists) RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "Other", "x");
    // Empty data still counts: only the value's existence matters.
    if (c.value) RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, c.value, "");
    ActionRun run = RunAction(c.action, {}, {c.property});
    EXPECT_EQ(run.result, ERROR_SUCCESS);
    EXPECT_EQ(run.properties[c.property], c.expected);
    if (c.value) EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kRunOnce, c.value).exists);
  }
  RegDeleteTree(HKEY_LOCAL_MACHINE, kRunOnce);
  RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "", "");
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

TEST(FrameReboot, SetReinstallMode) {
  ActionRun run = RunAction("fnSetREINSTALLMODE", {{"REINSTALLMODE", "omus"}}, {"REINSTALLMODE"});
  EXPECT_EQ(run.result, ERROR_SUCCESS);
  EXPECT_EQ(run.properties["REINSTALLMODE"], "ev");
}

}  // namespace
