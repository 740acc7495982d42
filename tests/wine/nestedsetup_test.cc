// The companion product's setup run by TWGInstallTVS in real sessions: the stand-in setup on a media
// folder laid out per case, an external user interface recording what the installer was told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

using namespace harness;

namespace {

using Texts = std::vector<std::string>;
using Rows = std::vector<std::pair<std::string, std::string>>;

std::string Replaced(std::string text, const Rows& rows) {
  for (const auto& row : rows) {
    for (std::size_t at = text.find(row.first); at != std::string::npos;
         at = text.find(row.first, at + row.second.size())) {
      text.replace(at, row.first.size(), row.second);
    }
  }
  return text;
}

// The progress reports of one kind ("1: <kind> 2: <ticks> ..."), their ticks summed.
int Ticks(const UiRecorder& ui, int kind) {
  int sum = 0;
  const std::string prefix = "1: " + std::to_string(kind) + " 2: ";
  for (const auto& m : ui.Of(INSTALLMESSAGE_PROGRESS)) {
    if (m.text.compare(0, prefix.size(), prefix) == 0) sum += std::stoi(m.text.substr(prefix.size()));
  }
  return sum;
}

TEST(NestedsetupInstallTVS, Scenarios) {
  const std::string init = "Initializing (This may take several minutes)...", copy = "text Copying files\n";
  // The NT template for C:\TVS with no property set: each of the package's choices set to 0.
  const Rows nt_unset{{"%INSTALLDIR%", "C:\\TVS"}, {"StartAutoProtect=1", "StartAutoProtect=0"},
                      {"ScheduleScan=1", "ScheduleScan=0"}};
  const Rows folder{{"TVSINSTALLDIR", "C:\\TVS"}};
  struct Scenario {
    const char *windows, *setup;  // the setup's folder below the media's, "" for none
    std::string script;
    const char* window_wait_ms;  // "": the real bound
    bool cancel;
    Rows properties, response_rows;  // the response rows: what the template's text became
    int setup_ticks;                 // the percentages' share of the progress bar
    Texts action_data;
  } scenarios[] = {
      {"winxp", "Disk1\\TVSNT", copy + copy + "percent 10\npercent 5\ntext Registering\npercent 100", "",
       false, {{"TVSINSTALLDIR", "C:\\Program Files\\TVS\\"}, {"ENABLETVSAP", "1"}},
       {{"%INSTALLDIR%", "C:\\Program Files\\TVS"}, {"ScheduleScan=1", "ScheduleScan=0"}}, 100000,
       {init, "File: Copying files", "File: Registering"}},
      {"win98", "TVS9X", "percent 40\nexit 3\n", "", false,  // one level up, beside the disk folders
       {{"TVSINSTALLDIR", "C:\\TVS"}, {"SCHEDULESCAN", "1"}, {"SCANFORVIRUSES", "1"}},
       {{"%INSTALLDIR%", "C:\\TVS"}, {"StartAutoProtect=1", "StartAutoProtect=0"},
        {"ScanAtStartup=0", "ScanAtStartup=1"}}, 40000, {init}},
      {"winxp", "Disk1\\TVSNT", copy + "percent 20\nlinger 5000\n", "", true, folder, nt_unset, 20000,
       {init, "File: Copying files", "File: Aborting the Taskan Virus Sentry Install..."}},
      {"winxp", "", "", "", false, {}, {}, 0, {}},
      // The search for the setup's window is bounded: a setup that never shows one is not waited for.
      {"winxp", "Disk1\\TVSNT", "nowindow\n", "3000", false, folder, nt_unset, 0, {init}},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(&s - scenarios);
    const std::string media = NewTempDir("media"), setup_dir = media + "\\" + s.setup;
    CreateDirectoryA((media + "\\Disk1").c_str(), nullptr);
    if (*s.setup) {
      CreateDirectoryA(setup_dir.c_str(), nullptr);
      CopyFileA(StandinPath("tvs_setup.exe").c_str(), (setup_dir + "\\setup.exe").c_str(), FALSE);
      const std::string engine = "\\tvs_setup_window.exe";
      CopyFileA(StandinPath(engine.substr(1)).c_str(), (setup_dir + engine).c_str(), FALSE);
      WriteFileText(setup_dir + "\\tvs_script.txt", s.script);
    }
    ScopedWindowsVersion version(s.windows);
    SetEnvironmentVariableA("TWG_TEST_SETUP_WINDOW_WAIT_MS", *s.window_wait_ms ? s.window_wait_ms : nullptr);
    Package package;
    package.Property("SourceDir", media + "\\Disk1\\").Action("TWGInstallTVS");
    for (const auto& p : s.properties) package.Property(p.first, p.second);
    MessageBoxAnswerer boxes({IDOK}, "Unable to locate");
    UiRecorder ui;
    if (s.cancel) ui.CancelOn(INSTALLMESSAGE_PROGRESS);
    Session session(package.Build());
    EXPECT_EQ(session.Do("TWGInstallTVS"), 0u);
    EXPECT_EQ(session.Property("TVS_IN_PROGRESS"), "");
    SetEnvironmentVariableA("TWG_TEST_SETUP_WINDOW_WAIT_MS", nullptr);
    EXPECT_EQ(boxes.Stop().size(), *s.setup ? 0u : 1u);

    // Cancel hidden while the setup runs and shown again after; the bar's total and what filled it.
    Texts common, action_data;
    for (const auto& m : ui.Of(INSTALLMESSAGE_COMMONDATA)) {
      if (m.text.rfind("Message type: 2,", 0) == 0) common.push_back(m.text);
    }
    for (const auto& m : ui.Of(INSTALLMESSAGE_ACTIONDATA)) action_data.push_back(m.text);
    EXPECT_EQ(common, (Texts{"Message type: 2, Argument: 0", "Message type: 2, Argument: 1"}));
    EXPECT_EQ(Ticks(ui, 0), 106000);
    EXPECT_EQ(Ticks(ui, 2), 1000 + s.setup_ticks + 5000);
    EXPECT_EQ(action_data, s.action_data);
    if (!*s.setup) continue;

    // The response file: the module's template with the folder and the properties filled in, compared
    // without empty lines (Wine's profile writer drops them, Windows keeps them); gone afterwards.
    const std::string template_file = *s.setup == 'D' ? "tvsnt.iss" : "tvs9x.iss";
    const std::string templated = ReadFileText(SourcePath("resources/templates/" + template_file));
    EXPECT_EQ(Replaced(ReadFileText(setup_dir + "\\response.iss"), {{"\r\n\r\n", "\r\n"}}),
              Replaced(Replaced(templated, s.response_rows), {{"\r\n\r\n", "\r\n"}}));
    const std::string cmdline = ReadFileText(setup_dir + "\\cmdline.txt");
    const std::size_t at = cmdline.find("-f1\"") + 4;
    EXPECT_FALSE(FileExists(cmdline.substr(at, cmdline.find('"', at) - at))) << cmdline;
    EXPECT_EQ(FileExists(setup_dir + "\\events.txt"), s.cancel);
  }
}

}  // namespace
