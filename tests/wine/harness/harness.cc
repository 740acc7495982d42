#include "harness/harness.h"

#include <gtest/gtest.h>
#include <msidefs.h>
#include <wtypes.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace harness {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) throw std::runtime_error(std::string("environment variable not set: ") + name);
  return v;
}

void Check(UINT rc, const std::string& what) {
  if (rc != ERROR_SUCCESS) throw std::runtime_error(what + " failed with " + std::to_string(rc));
}

struct Handle {
  MSIHANDLE h = 0;
  ~Handle() {
    if (h) MsiCloseHandle(h);
  }
};

void Execute(MSIHANDLE db, const std::string& sql, MSIHANDLE params = 0) {
  Handle view;
  Check(MsiDatabaseOpenViewA(db, sql.c_str(), &view.h), "open view: " + sql);
  Check(MsiViewExecute(view.h, params), "execute: " + sql);
  MsiViewClose(view.h);
}

std::string Quote(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return "'" + out + "'";
}

}  // namespace

std::string DllPath() { return Env("TWG_DLL"); }
std::string StandinPath(const std::string& file_name) { return Env("TWG_STANDINS") + "\\" + file_name; }
std::string SourcePath(const std::string& relative) {
  std::string p = Env("TWG_SOURCE") + "\\" + relative;
  for (char& c : p) if (c == '/') c = '\\';
  return p;
}

std::string NewTempDir(const std::string& hint) {
  static int counter = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "twgtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(++counter) + "-" + hint;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  if (!out.write(text.data(), text.size())) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Package::Package() {
  properties_ = {{"ProductCode", "{5C9E0F5A-2D3B-4A7E-9C61-7A2B0D4E6F10}"},
                 {"ProductName", "Taskan Web Guard Test"},
                 {"ProductVersion", "1.0.0"},
                 {"ProductLanguage", "1033"},
                 {"Manufacturer", "Veltrane"}};
}

Package& Package::Property(const std::string& name, const std::string& value) {
  properties_[name] = value;
  return *this;
}
Package& Package::Action(const std::string& export_name) {
  actions_.push_back(export_name);
  return *this;
}
Package& Package::Sql(const std::string& statement) {
  sql_.push_back(statement);
  return *this;
}

std::string Package::Build() {
  std::string path = NewTempDir("pkg") + "\\test.msi";
  Handle db;
  Check(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, &db.h), "create database");
  {
    Handle summary;
    Check(MsiGetSummaryInformationA(db.h, nullptr, 20, &summary.h), "summary");
    MsiSummaryInfoSetPropertyA(summary.h, PID_TEMPLATE, VT_LPSTR, 0, nullptr, "x64;1033");
    MsiSummaryInfoSetPropertyA(summary.h, PID_REVNUMBER, VT_LPSTR, 0, nullptr,
                               "{3F2C1B0A-9E8D-4C7B-A6F5-0E1D2C3B4A59}");
    MsiSummaryInfoSetPropertyA(summary.h, PID_PAGECOUNT, VT_I4, 200, nullptr, nullptr);
    MsiSummaryInfoSetPropertyA(summary.h, PID_WORDCOUNT, VT_I4, 2, nullptr, nullptr);
    Check(MsiSummaryInfoPersist(summary.h), "summary persist");
  }
  Execute(db.h, "CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` CHAR(0) NOT NULL "
                "PRIMARY KEY `Property`)");
  Execute(db.h, "CREATE TABLE `Binary` (`Name` CHAR(72) NOT NULL, `Data` OBJECT NOT NULL "
                "PRIMARY KEY `Name`)");
  Execute(db.h, "CREATE TABLE `CustomAction` (`Action` CHAR(72) NOT NULL, `Type` SHORT NOT NULL, "
                "`Source` CHAR(72), `Target` CHAR(255) PRIMARY KEY `Action`)");
  for (const auto& p : properties_) {
    Execute(db.h, "INSERT INTO `Property` (`Property`, `Value`) VALUES (" + Quote(p.first) + ", " +
                      Quote(p.second) + ")");
  }
  {
    Handle record;
    record.h = MsiCreateRecord(1);
    Check(MsiRecordSetStreamA(record.h, 1, DllPath().c_str()), "stream " + DllPath());
    Execute(db.h, "INSERT INTO `Binary` (`Name`, `Data`) VALUES ('TWGMsI', ?)", record.h);
  }
  for (const auto& a : actions_) {
    Execute(db.h, "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES (" +
                      Quote(a) + ", 1, 'TWGMsI', " + Quote(a) + ")");
  }
  for (const auto& s : sql_) Execute(db.h, s);
  Check(MsiDatabaseCommit(db.h), "commit");
  return path;
}

UiRecorder::UiRecorder() {
  previous_ = MsiSetExternalUIA(Handler, 0xFFFFFFFF & ~INSTALLLOGMODE_VERBOSE, this);
}
UiRecorder::~UiRecorder() { MsiSetExternalUIA(previous_, 0, nullptr); }

INT CALLBACK UiRecorder::Handler(LPVOID context, UINT type, LPCSTR message) {
  auto* self = static_cast<UiRecorder*>(context);
  UINT kind = type & 0xFF000000;
  self->messages_.push_back({kind, message ? message : ""});
  if (self->cancel_ && kind == static_cast<UINT>(self->cancel_on_)) return IDCANCEL;
  return 0;  // let the installer go on as if no handler answered
}

std::vector<UiMessage> UiRecorder::Of(INSTALLMESSAGE type) const {
  std::vector<UiMessage> out;
  for (const auto& m : messages_) if (m.type == static_cast<UINT>(type)) out.push_back(m);
  return out;
}

Session::Session(const std::string& package_path) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  Check(MsiOpenPackageA(package_path.c_str(), &handle_), "open package " + package_path);
}
Session::~Session() { if (handle_) MsiCloseHandle(handle_); }
UINT Session::Do(const std::string& action) { return MsiDoActionA(handle_, action.c_str()); }

std::string Session::Property(const std::string& name) const {
  DWORD size = 0;
  char probe[1] = "";
  MsiGetPropertyA(handle_, name.c_str(), probe, &size);
  std::string value(size + 1, '\0');
  size = static_cast<DWORD>(value.size());
  MsiGetPropertyA(handle_, name.c_str(), &value[0], &size);
  value.resize(size);
  return value;
}
void Session::SetProperty(const std::string& name, const std::string& value) {
  Check(MsiSetPropertyA(handle_, name.c_str(), value.c_str()), "set property " + name);
}

ActionRun RunAction(const std::string& action, const std::map<std::string, std::string>& properties,
                    const std::vector<std::string>& read_back) {
  Package package;
  package.Action(action);
  for (const auto& p : properties) package.Property(p.first, p.second);
  Session session(package.Build());
  ActionRun run{session.Do(action), {}};
  for (const auto& name : read_back) run.properties[name] = session.Property(name);
  return run;
}

namespace {
void SetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data,
            DWORD size) {
  HKEY h = nullptr;
  Check(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), "create key " + key);
  LONG rc = RegSetValueExA(h, name.empty() ? nullptr : name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(h);
  Check(rc, "set value " + name);
}
}  // namespace

void RegSetString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  DWORD type) {
  SetRaw(root, key, name, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
}
void RegSetDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetRaw(root, key, name, REG_DWORD, &value, sizeof value);
}
void RegSetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes) {
  SetRaw(root, key, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// RegGetValueA would add terminators to string data; the raw bytes are what tests compare.
RegValue RegGet(HKEY root, const std::string& key, const std::string& name) {
  RegValue v;
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return v;
  const char* value_name = name.empty() ? nullptr : name.c_str();
  DWORD size = 0;
  if (RegQueryValueExA(h, value_name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
    v.data.resize(size);
    v.exists = RegQueryValueExA(h, value_name, nullptr, &v.type, reinterpret_cast<BYTE*>(&v.data[0]), &size) ==
               ERROR_SUCCESS;
    v.data.resize(v.exists ? size : 0);
  }
  RegCloseKey(h);
  return v;
}

bool RegKeyExists(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void RegDeleteTree(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
  char name[512];
  for (;;) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(h, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RegDeleteTree(h, name);
  }
  RegCloseKey(h);
  RegDeleteKeyA(root, key.c_str());
}

void RegDeleteValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
  RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
}

ScopedWindowsVersion::ScopedWindowsVersion(const std::string& version)
    : previous_(RegGet(HKEY_CURRENT_USER, "Software\\Wine", "Version")) {
  RegSetString(HKEY_CURRENT_USER, "Software\\Wine", "Version", version);
}
ScopedWindowsVersion::~ScopedWindowsVersion() {
  if (previous_.exists) RegSetString(HKEY_CURRENT_USER, "Software\\Wine", "Version", previous_.data.c_str());
  if (!previous_.exists) RegDeleteValue(HKEY_CURRENT_USER, "Software\\Wine", "Version");
}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<int> answers, std::string text_part, std::string caption)
    : answers_(std::move(answers)), text_part_(std::move(text_part)), caption_(std::move(caption)),
      thread_([this] { Run(); }) {}

std::vector<MessageBoxAnswerer::Box> MessageBoxAnswerer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return boxes();
}

std::vector<MessageBoxAnswerer::Box> MessageBoxAnswerer::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

void MessageBoxAnswerer::Run() {
  size_t next = 0;
  for (HWND last = nullptr; !stop_; Sleep(20)) {
    HWND box = FindWindowA("#32770", caption_.empty() ? nullptr : caption_.c_str());
    if (!box || box == last || !IsWindowVisible(box)) continue;
    // A box is read once its dialog has set up its controls; its text is the static of id 0xFFFF.
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    if (!text[0] || std::string(text).find(text_part_) == std::string::npos) continue;
    last = box;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      boxes_.push_back({std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(), text});
    }
    int answer = next < answers_.size() ? answers_[next++] : IDCANCEL;
    if (answer == 0) {
      PostThreadMessageA(GetWindowThreadProcessId(box, nullptr), WM_QUIT, 0, 0);
    } else {
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    }
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
  }
}

MutexHolder::MutexHolder(const std::string& name) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string cmd = "\"" + StandinPath("named_object.exe") + "\" mutex \"" + name + "\" forever";
  EXPECT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_));
  for (int i = 0; i < 200; ++i) {  // until the object exists
    HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (h) {
      CloseHandle(h);
      return;
    }
    Sleep(25);
  }
  ADD_FAILURE() << "holder never created " << name;
}
MutexHolder::~MutexHolder() {
  TerminateProcess(process_.hProcess, 0);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

int RunProcess(const std::string& command_line, DWORD timeout_ms) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = command_line;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

}  // namespace harness
