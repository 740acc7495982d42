// The companion product's setup run by TWGInstallTVS in real sessions: the stand-in setup on a media
// folder laid out per case, an external user interface recording what the installer was told.
// The record handler needs the 3.1 installer interface.
#ifndef _WIN32_MSI
#define _WIN32_MSI 310
#endif
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

struct Layout {
  std::string source_dir;  // SourceDir, with its trailing backslash
  std::string setup_dir;   // where setup.exe is, empty for a media without it
};

// A media folder with a disk folder; the setup lies in the disk folder or one level up.
Layout LayOutMedia(const std::string& folder, bool beside_disk, bool with_setup, const std::string& script) {
  const std::string media = NewTempDir("media");
  const std::string disk = media + "\\Disk1";
  CreateDirectoryA(disk.c_str(), nullptr);
  Layout layout{disk + "\\", ""};
  if (!with_setup) return layout;
  layout.setup_dir = (beside_disk ? media : disk) + "\\" + folder;
  CreateDirectoryA(layout.setup_dir.c_str(), nullptr);
  CopyFileA(StandinPath("tvs_setup.exe").c_str(), (layout.setup_dir + "\\setup.exe").c_str(), FALSE);
  CopyFileA(StandinPath("tvs_setup_window.exe").c_str(), (layout.setup_dir + "\\tvs_setup_window.exe").c_str(),
            FALSE);
  WriteFileText(layout.setup_dir + "\\tvs_script.txt", script);
  return layout;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The module's template with the install folder and the property rows the case expects.
std::string ExpectedResponse(const std::string& template_file, const std::string& folder,
                             const std::vector<std::pair<std::string, std::string>>& rows) {
  std::string text = ReadFileText(SourcePath("resources/templates/" + template_file));
  ReplaceAll(text, "%INSTALLDIR%", folder);
  for (const auto& row : rows) ReplaceAll(text, row.first, row.second);
  return text;
}

// Wine's profile writer drops the empty lines between sections when it rewrites a file (Windows keeps
// them), so response files are compared line by line without the empty ones.
std::string WithoutEmptyLines(std::string text) {
  ReplaceAll(text, "\r\n\r\n", "\r\n");
  return text;
}

// Sums the ticks of progress reports ("1: 2 2: <ticks> ...") and the reset's total.
int Ticks(const std::vector<UiMessage>& progress, int kind) {
  int sum = 0;
  const std::string prefix = "1: " + std::to_string(kind) + " 2: ";
  for (const auto& m : progress) {
    if (m.text.compare(0, prefix.size(), prefix) == 0) sum += std::stoi(m.text.substr(prefix.size()));
  }
  return sum;
}

std::vector<std::string> Texts(const std::vector<UiMessage>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

// Action data as the installer shows it through the current action's template: until the setup window
// is found the template has no field, afterwards it is "File: [1]".
constexpr char kInit[] = "Initializing (This may take several minutes)...";

// TVS_IN_PROGRESS as the session holds it each time the action reports a status text, read from a
// record handler that runs beside the recorder's text handler.
MSIHANDLE g_watched_session = 0;
std::vector<std::string> g_in_progress_seen;
INT CALLBACK WatchInProgress(LPVOID, UINT type, MSIHANDLE) {
  if ((type & 0xFF000000) == INSTALLMESSAGE_ACTIONDATA && g_watched_session) {
    char value[16] = "";
    DWORD size = sizeof value;
    MsiGetPropertyA(g_watched_session, "TVS_IN_PROGRESS", value, &size);
    g_in_progress_seen.push_back(value);
  }
  return 0;  // the text handler still gets the message
}

struct Scenario {
  const char* name;
  const char* windows;  // emulated version
  const char* folder;   // on the media
  bool beside_disk, with_setup;
  const char* script;
  const char* window_wait_ms;  // "" : the real bound
  bool cancel_on_progress;
  std::vector<std::pair<std::string, std::string>> properties;
  // Expected:
  const char* template_file;  // "" : no response file reaches the setup
  std::vector<std::pair<std::string, std::string>> response_rows;
  int setup_ticks;                       // the percentages' share
  std::vector<std::string> action_data;  // in order
  bool cancelled;
  bool not_found_box;
};

TEST(NestedsetupInstallTVS, Scenarios) {
  const std::vector<Scenario> scenarios = {
      {"nt-complete", "winxp", "TVSNT", false, true,
       "text Copying files\ntext Copying files\npercent 10\npercent 5\ntext Registering\npercent 30\n"
       "percent 30\npercent 100\nexit 0\n",
       "", false,
       {{"TVSINSTALLDIR", "C:\\Program Files\\TVS\\"}, {"ENABLETVSAP", "1"}, {"SCHEDULESCAN", ""}},
       "tvsnt.iss", {{"ScheduleScan=1", "ScheduleScan=0"}}, 100000,
       {kInit, "File: Copying files", "File: Registering"}, false, false},
      {"9x-one-level-up", "win98", "TVS9X", true, true, "percent 40\nexit 3\n", "", false,
       {{"TVSINSTALLDIR", "C:\\TVS"}, {"SCHEDULESCAN", "1"}, {"SCANFORVIRUSES", "1"}},
       "tvs9x.iss", {{"StartAutoProtect=1", "StartAutoProtect=0"}, {"ScanAtStartup=0", "ScanAtStartup=1"}},
       40000, {kInit}, false, false},
      {"cancel", "winxp", "TVSNT", false, true, "text Copying files\npercent 20\nlinger 5000\nexit 0\n", "", true,
       {{"TVSINSTALLDIR", "C:\\TVS"}},
       "tvsnt.iss", {{"StartAutoProtect=1", "StartAutoProtect=0"}, {"ScheduleScan=1", "ScheduleScan=0"}},
       20000, {kInit, "File: Copying files", "File: Aborting the Taskan Virus Sentry Install..."}, true, false},
      {"setup-missing", "winxp", "TVSNT", false, false, "", "", false, {}, "", {}, 0, {}, false, true},
      {"window-never-shown", "winxp", "TVSNT", false, true, "nowindow\n", "3000", false,
       {{"TVSINSTALLDIR", "C:\\TVS"}},
       "tvsnt.iss", {{"StartAutoProtect=1", "StartAutoProtect=0"}, {"ScheduleScan=1", "ScheduleScan=0"}},
       0, {kInit}, false, false},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.name);
    const Layout media = LayOutMedia(s.folder, s.beside_disk, s.with_setup, s.script);
    ScopedWindowsVersion version(s.windows);
    SetEnvironmentVariableA("TWG_TEST_SETUP_WINDOW_WAIT_MS", *s.window_wait_ms ? s.window_wait_ms : nullptr);
    Package package;
    package.Property("SourceDir", media.source_dir).Action("TWGInstallTVS");
    for (const auto& p : s.properties) {
      if (!p.second.empty()) package.Property(p.first, p.second);
    }
    const std::string path = package.Build();
    MessageBoxAnswerer boxes({IDOK}, "Unable to locate");
    UiRecorder ui;
    if (s.cancel_on_progress) ui.CancelOn(INSTALLMESSAGE_PROGRESS);
    std::string in_progress_after;
    g_in_progress_seen.clear();
    {
      Session session(path);
      g_watched_session = session.handle();
      INSTALLUI_HANDLER_RECORD previous = nullptr;
      MsiSetExternalUIRecord(WatchInProgress, INSTALLLOGMODE_ACTIONDATA, nullptr, &previous);
      EXPECT_EQ(session.Do("TWGInstallTVS"), ERROR_SUCCESS);
      // The custom-action server outlives the action: its hidden dialog must be gone already.
      EXPECT_EQ(FindWindowA(nullptr, "TWG_INSTALL_DUMMY_WND"), nullptr);
      in_progress_after = session.Property("TVS_IN_PROGRESS");
      MsiSetExternalUIRecord(previous, 0, nullptr, nullptr);
      g_watched_session = 0;
    }
    EXPECT_EQ(g_in_progress_seen, std::vector<std::string>(s.action_data.size(), "1"));
    SetEnvironmentVariableA("TWG_TEST_SETUP_WINDOW_WAIT_MS", nullptr);
    EXPECT_EQ(in_progress_after, "");
    EXPECT_EQ(boxes.Stop().size(), s.not_found_box ? 1u : 0u);

    const auto progress = ui.Of(INSTALLMESSAGE_PROGRESS);
    EXPECT_EQ(Ticks(progress, 0), 106000);
    EXPECT_EQ(Ticks(progress, 2), 1000 + s.setup_ticks + 5000);
    std::vector<std::string> common;
    for (const auto& t : Texts(ui.Of(INSTALLMESSAGE_COMMONDATA))) {
      if (t == "Message type: 2, Argument: 0" || t == "Message type: 2, Argument: 1") common.push_back(t);
    }
    EXPECT_EQ(common, (std::vector<std::string>{"Message type: 2, Argument: 0", "Message type: 2, Argument: 1"}));
    EXPECT_EQ(Texts(ui.Of(INSTALLMESSAGE_ACTIONDATA)), s.action_data);

    if (!s.with_setup) continue;
    const std::string cmdline = ReadFileText(media.setup_dir + "\\cmdline.txt");
    if (*s.template_file) {
      EXPECT_NE(cmdline.find(" -LOG  -s -f1\""), std::string::npos) << cmdline;
      EXPECT_NE(cmdline.find("\\TVSINST.LOG -LOG "), std::string::npos) << cmdline;
      std::string folder;
      for (const auto& p : s.properties)
        if (p.first == "TVSINSTALLDIR") folder = p.second;
      if (!folder.empty() && folder.back() == '\\') folder.pop_back();
      EXPECT_EQ(WithoutEmptyLines(ReadFileText(media.setup_dir + "\\response.iss")),
                WithoutEmptyLines(ExpectedResponse(s.template_file, folder, s.response_rows)));
      // The temporary response file is gone.
      const std::size_t at = cmdline.find("-f1\"") + 4;
      EXPECT_FALSE(FileExists(cmdline.substr(at, cmdline.find('"', at) - at)));
    }
    EXPECT_EQ(FileExists(media.setup_dir + "\\events.txt"), s.cancelled);
  }
}

}  // namespace
