// The Wine test harness: builds small installer packages that carry the DLL under test in their Binary
// table, runs its actions in real sessions (MsiDoActionA), records what reaches the user interface, and
// reads the registry and files back. Everything here is real Windows Installer under wine64.
#pragma once
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <map>
#include <string>
#include <vector>

namespace harness {

// The DLL under test and the folder of the stand-ins, as Windows paths (set by scripts/wine-test.sh).
std::string DllPath();
std::string StandinPath(const std::string& file_name);
std::string SourcePath(const std::string& relative);
// A fresh empty folder below the prefix's temporary folder.
std::string NewTempDir(const std::string& hint);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// An installer package built column by column. Every action named with AddAction() calls the export of
// the same name from the DLL under test (custom action type 1, Binary "TWGMsI").
class Package {
 public:
  Package();
  Package& Property(const std::string& name, const std::string& value);
  Package& Action(const std::string& export_name);
  // Any SQL statement run against the package database before it is closed (CREATE TABLE, INSERT).
  Package& Sql(const std::string& statement);
  // Builds the package file and returns its path.
  std::string Build();

 private:
  std::map<std::string, std::string> properties_;
  std::vector<std::string> actions_;
  std::vector<std::string> sql_;
};

// Records the messages that reach the external user interface while it is installed; can answer
// Cancel to messages of a chosen type.
struct UiMessage {
  UINT type;  // INSTALLMESSAGE_* (the high byte of the message type)
  std::string text;
};
class UiRecorder {
 public:
  UiRecorder();
  ~UiRecorder();
  void CancelOn(INSTALLMESSAGE type) { cancel_on_ = type; cancel_ = true; }
  std::vector<UiMessage> Of(INSTALLMESSAGE type) const;
  const std::vector<UiMessage>& All() const { return messages_; }

 private:
  static INT CALLBACK Handler(LPVOID context, UINT type, LPCSTR message);
  std::vector<UiMessage> messages_;
  bool cancel_ = false;
  INSTALLMESSAGE cancel_on_ = INSTALLMESSAGE_INFO;
  INSTALLUI_HANDLERA previous_ = nullptr;
};

// An open installer session on a built package.
class Session {
 public:
  explicit Session(const std::string& package_path);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  MSIHANDLE handle() const { return handle_; }
  UINT Do(const std::string& action);
  std::string Property(const std::string& name) const;
  void SetProperty(const std::string& name, const std::string& value);

 private:
  MSIHANDLE handle_ = 0;
};

// Builds a package with the given actions and properties and runs one action in a fresh session.
struct ActionRun {
  UINT result;
  std::map<std::string, std::string> properties;  // the ones asked for, read after the action
};
ActionRun RunAction(const std::string& action, const std::map<std::string, std::string>& properties,
                    const std::vector<std::string>& read_back);

// Registry access for arrangement and assertions (64-bit view; the DLL under test is 64-bit too).
struct RegValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::string data;  // raw bytes
  // String data without its terminating NULs.
  std::string text() const { return data.substr(0, data.find_last_not_of('\0') + 1); }
};
void RegSetString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  DWORD type = REG_SZ);
void RegSetDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void RegSetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes);
RegValue RegGet(HKEY root, const std::string& key, const std::string& name);
bool RegKeyExists(HKEY root, const std::string& key);
void RegDeleteTree(HKEY root, const std::string& key);
void RegDeleteValue(HKEY root, const std::string& key, const std::string& name);

// Wine's emulated Windows version ("win95", "win98", "winme", "nt40", "win2k", "winxp"); the custom
// action server started by the next session runs under it. Restores the previous setting on exit.
class ScopedWindowsVersion {
 public:
  explicit ScopedWindowsVersion(const std::string& version);
  ~ScopedWindowsVersion();

 private:
  RegValue previous_;
};

// Answers the message boxes that any process of the prefix (the custom-action server above all) shows
// while it lives: each box with the given caption (any, when empty) whose text holds text_part gets the
// next answer of the list, IDCANCEL once the list runs out. An answer of 0 ends the box without any
// button, the nearest Wine comes to a box that cannot be shown (where MessageBoxA returns 0): the box's
// thread gets WM_QUIT. Keeps each box's text and when it appeared (seconds since the answerer was made).
class MessageBoxAnswerer {
 public:
  struct Box {
    double seen_at;
    std::string text;
  };
  explicit MessageBoxAnswerer(std::vector<int> answers, std::string text_part = "", std::string caption = "");
  ~MessageBoxAnswerer() { Stop(); }
  // Ends the answering; the boxes answered.
  std::vector<Box> Stop();
  std::vector<Box> boxes() const;

 private:
  void Run();
  std::vector<int> answers_;
  std::string text_part_, caption_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  std::thread thread_;  // last, so that it starts once everything it uses is made
};

// Runs a command line and waits for it (up to timeout_ms); returns the exit code or -1.
int RunProcess(const std::string& command_line, DWORD timeout_ms = 60000);

}  // namespace harness
