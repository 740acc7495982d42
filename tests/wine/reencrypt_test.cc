// Moving the configuration into the protected store, its backups and its removal, against the real
// registry and the real registry editor. Reading back through the access layer happens in a fresh
// process (twg_store_probe), since the store reads "SR.dat" once per process.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "harness/harness.h"

using namespace harness;

namespace {

constexpr char kGrd[] = "SOFTWARE\\Veltrane\\GRD";
constexpr char kTemporary[] = "SOFTWARE\\Veltrane\\GRD.tmp";
constexpr char kMarkerKey[] = "SOFTWARE\\Veltrane";
constexpr char kMarker[] = "GRD.tmp complete";

std::string SystemFile(const char* name) {
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir) + "\\" + name;
}

std::string BuildFile(const std::string& name) {
  std::string dll = DllPath();
  return dll.substr(0, dll.find_last_of('\\') + 1) + name;
}

class ReencryptTest : public testing::Test {
 public:
  void SetUp() override {
    folder_ = NewTempDir("product") + "\\";
    DeleteFileA(SystemFile("SR.dat").c_str());
    for (const char* key : {kGrd, kTemporary, "SOFTWARE\\Veltrane\\VelReg"}) RegDeleteTree(HKEY_LOCAL_MACHINE, key);
    RegDeleteValue(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker);
    WriteConfiguration(true);
    original_ = Dump("dump-plain", kGrd);
    ASSERT_NE(original_.find("Blocked"), std::string::npos);
  }

  // A configuration as the package writes it: nested keys, every value type the product uses, an
  // unnamed value and values larger than the 512 bytes a plain copy reads at a time.
  void WriteConfiguration(bool with_install_dir) {
    const std::string grd = kGrd;
    if (with_install_dir) RegSetString(HKEY_LOCAL_MACHINE, grd, "InstallDir", folder_);
    RegSetString(HKEY_LOCAL_MACHINE, grd, "", "unnamed value");
    RegSetDword(HKEY_LOCAL_MACHINE, grd, "FirewallEnabled", 1);
    RegSetString(HKEY_LOCAL_MACHINE, grd, "LogDir", "%SystemRoot%\\Logs", REG_EXPAND_SZ);
    RegSetBinary(HKEY_LOCAL_MACHINE, grd, "TWGEULA", std::string("1\0", 2));
    RegSetString(HKEY_LOCAL_MACHINE, grd + "\\Rules", "Long", std::string(700, 'r'));
    std::string big(2000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    RegSetBinary(HKEY_LOCAL_MACHINE, grd + "\\Rules\\Inbound", "Table", big);
    RegSetString(HKEY_LOCAL_MACHINE, grd + "\\Rules\\Inbound", "Names", std::string("http\0ftp\0smtp\0\0", 15),
                 REG_MULTI_SZ);
    RegSetString(HKEY_LOCAL_MACHINE, grd + "\\Proxy\\Providers\\NNTP\\Blocked", "alt.example", "1");
    RegSetDword(HKEY_LOCAL_MACHINE, grd + "\\Empty\\Deeper", "Level", 3);
  }

  // The tree below HKLM as the probe reads it in a process of its own.
  std::string Dump(const char* how, const char* key) {
    std::string file = NewTempDir("dump") + "\\tree.txt";
    int status = RunProcess("\"" + StandinPath("twg_store_probe.exe") + "\" " + how + " " + key + " \"" + file + "\"");
    return status == 0 ? ReadFileText(file) : "probe exit " + std::to_string(status);
  }

  std::string Probe(const std::string& args) {
    return std::to_string(RunProcess("\"" + StandinPath("twg_store_probe.exe") + "\" " + args));
  }

  static UINT Encrypt() { return RunAction("EncryptRegistry", {}, {}).result; }

  static std::string InstallLog() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return ReadFileText(std::string(temp) + "TWGLog.txt");
  }

  std::string folder_, original_, expected_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
  size_t log_at_ = 0;  // the install log's length before the run under test
};

TEST_F(ReencryptTest, MovesEverythingAndRotatesTheBackup) {
  ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
  EXPECT_EQ(Dump("dump", kGrd), original_);
  std::string seed = ReadFileText(SystemFile("SR.dat"));
  ASSERT_EQ(seed.size(), 14u);
  EXPECT_EQ(seed.substr(0, 4), std::string("\1\0\0\0", 4));
  // Stored form: nothing plain below the prefix, no temporary copy left.
  std::string raw = Dump("dump-plain", kGrd);
  for (const char* plain : {"Proxy", "Rules", "InstallDir", "FirewallEnabled"}) {
    EXPECT_EQ(raw.find(plain), std::string::npos) << plain;
  }
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kTemporary));
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker).exists);
  // The blocked list's backup holds its keys in the stored form.
  std::string nbd = ReadFileText(folder_ + "NBD.DAT");
  std::string prefix = "[\0H\0K\0E\0Y\0_\0L\0O\0C\0A\0L\0_\0M\0A\0C\0H\0I\0N\0E\0\\\0S\0O\0F\0T\0W\0A\0R\0E\0\\\0"
                       "V\0e\0l\0t\0r\0a\0n\0e\0\\\0G\0R\0D\0\\\0";
  EXPECT_NE(nbd.find(std::string(prefix.data(), prefix.size())), std::string::npos);
  EXPECT_EQ(nbd.find(std::string("P\0r\0o\0x\0y\0", 10)), std::string::npos);

  // A second run reads the store decoded, seals it anew and keeps the previous backup.
  std::string first = ReadFileText(folder_ + "LMSSIB.DAT");
  ASSERT_FALSE(first.empty());
  EXPECT_FALSE(FileExists(folder_ + "LMSSIO.DAT"));
  ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
  EXPECT_EQ(ReadFileText(folder_ + "LMSSIO.DAT"), first);
  EXPECT_TRUE(FileExists(folder_ + "LMSSIB.DAT"));
  EXPECT_EQ(Dump("dump", kGrd), original_);
}

// A command run through a batch file, so its error output can be read: {exit status, error text}.
std::pair<int, std::string> RunCapturing(const std::string& command) {
  std::string dir = NewTempDir("cmd");
  WriteFileText(dir + "\\run.bat", "@" + command + " 2> \"" + dir + "\\err.txt\"\r\n@exit /b %errorlevel%\r\n");
  int status = RunProcess("cmd.exe /c \"" + dir + "\\run.bat\"");
  return {status, ReadFileText(dir + "\\err.txt")};
}

// What a support engineer does with a customer's backup: decode it, edit the plain export, seal it
// again with the customer's SR.dat and import it under the backup mutex.
TEST_F(ReencryptTest, OfflineRoundTripAndRestore) {
  ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
  std::string tool = "\"" + BuildFile("twgstore.exe") + "\" ";
  std::string sr = "\"" + SystemFile("SR.dat") + "\" ";
  std::string plain = folder_ + "plain.reg", sealed = folder_ + "sealed.reg", again = folder_ + "again.reg";
  EXPECT_EQ(RunProcess(tool + "verify " + sr + "\"" + folder_ + "NBD.DAT\""), 0);
  ASSERT_EQ(RunProcess(tool + "decode -o \"" + plain + "\" " + sr + "\"" + folder_ + "LMSSIB.DAT\""), 0);
  std::string text = ReadFileText(plain);
  auto wide = [](const std::string& s) {
    std::string w;
    for (char c : s) w += std::string(1, c) + std::string(1, '\0');
    return w;
  };
  for (const std::string& expected :
       {std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy\\Providers\\NNTP\\Blocked]"),
        std::string("\"InstallDir\"=\""), std::string("@=\"unnamed value\""), std::string("\"FirewallEnabled\"=dword:00000001")}) {
    EXPECT_NE(text.find(wide(expected)), std::string::npos) << expected;
  }
  EXPECT_EQ(text.find(wide("CryptReg.KeyInfo")), std::string::npos);
  ASSERT_EQ(RunProcess(tool + "encode -o \"" + sealed + "\" " + sr + "\"" + plain + "\""), 0);
  ASSERT_EQ(RunProcess(tool + "decode -o \"" + again + "\" " + sr + "\"" + sealed + "\""), 0);
  EXPECT_EQ(ReadFileText(again), text);

  // A flipped byte is reported with its key path and line.
  text = ReadFileText(sealed);
  std::string marker = std::string("=\0h\0e\0x\0:\0", 10);
  size_t at = text.rfind(marker) + marker.size();
  text[at] = text[at] == 'a' ? 'b' : 'a';
  WriteFileText(folder_ + "flipped.reg", text);
  auto verify = RunCapturing(tool + "verify " + sr + "\"" + folder_ + "flipped.reg\"");
  EXPECT_EQ(verify.first, 1);
  EXPECT_NE(verify.second.find("flipped.reg:"), std::string::npos) << verify.second;
  EXPECT_NE(verify.second.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD"), std::string::npos) << verify.second;

  // Restored into an empty store, the sealed export reads back as the configuration that went in.
  RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
  EXPECT_EQ(RunProcess(tool + "import \"" + sealed + "\""), 0);
  EXPECT_EQ(Dump("dump", kGrd), original_);
}

// What EncryptRegistry finds on a machine, and what must be true after it ran.
enum class Outcome {
  kSealed,     // the store holds expected_ (read in a fresh process), nothing plain, no temporary copy
  kUnchanged,  // the raw tree and SR.dat are as they were, no temporary copy
  kKeptAside,  // the temporary copy holds expected_ and stays with its marker, also after one more run
};

struct Scenario {
  std::string what;
  std::function<void(ReencryptTest&)> prepare;  // from SetUp's plain configuration to the machine to run on
  Outcome outcome;
  std::function<void(ReencryptTest&)> check;  // anything more, after the run
};

// Values a newer package adds next to a configuration that is already in the store, one of them into a
// key the store holds sealed.
void AddPlainValues() {
  RegSetString(HKEY_LOCAL_MACHINE, kGrd, "NewSetting", "2");
  RegSetDword(HKEY_LOCAL_MACHINE, std::string(kGrd) + "\\Rules", "Added", 8080);
  RegSetString(HKEY_LOCAL_MACHINE, std::string(kGrd) + "\\Rules\\Outbound", "Names", "dns");
}

// A subkey whose name fits the registry but whose encoded form (304 characters) does not.
const std::string kOversized = std::string(kGrd) + "\\Rules\\" + std::string(200, 'k');

// A process killed after `stage` of the move; damage then stands for a death inside the next step.
Scenario Killed(int stage, const char* where, bool store_before, std::function<void()> damage = nullptr) {
  return {std::string("killed ") + where + (store_before ? ", over a store" : ""),
          [=](ReencryptTest& t) {
            if (store_before) ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
            ASSERT_EQ(t.Probe("move " + std::to_string(stage)), "0");
            if (damage) damage();
            // While the marker is set, the temporary copy is the whole configuration in plain words.
            if (RegGet(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker).exists) {
              EXPECT_EQ(t.Dump("dump-plain", kTemporary), t.expected_);
            }
          },
          Outcome::kSealed, nullptr};
}

TEST_F(ReencryptTest, NothingOfTheConfigurationIsEverLost) {
  auto cut = [](const char* key) { return [key] { RegDeleteTree(HKEY_LOCAL_MACHINE, std::string(key) + "\\Rules"); }; };
  const std::vector<Scenario> scenarios = {
      {"reinstall: SR.dat of an earlier install, a plain tree",
       [](ReencryptTest& t) {
         ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
         ASSERT_EQ(RunAction("CleanRegistry", {}, {}).result, ERROR_SUCCESS);
         t.WriteConfiguration(true);
       },
       Outcome::kSealed,
       [](ReencryptTest&) {
         EXPECT_EQ(RunAction("CheckEULA", {{"NOEULA", "1"}}, {"NOEULA"}).properties["NOEULA"], "");
       }},
      {"upgrade: a sealed store and new plain values",
       [](ReencryptTest& t) {
         AddPlainValues();
         t.expected_ = t.Dump("dump-plain", kGrd);
         RegDeleteTree(HKEY_LOCAL_MACHINE, kGrd);
         t.WriteConfiguration(true);
         ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
         AddPlainValues();
       },
       Outcome::kSealed, nullptr},
      {"repair: a sealed tree is sealed once, not twice",
       [](ReencryptTest& t) { ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS); }, Outcome::kSealed,
       [](ReencryptTest& t) { EXPECT_EQ(t.Probe("close-closed " + std::string(kGrd)), "0"); }},
      {"no InstallDir: the move without a backup",
       [](ReencryptTest& t) {
         RegDeleteValue(HKEY_LOCAL_MACHINE, kGrd, "InstallDir");
         t.expected_ = t.Dump("dump-plain", kGrd);
       },
       Outcome::kSealed,
       [](ReencryptTest& t) {
         EXPECT_FALSE(FileExists(t.folder_ + "LMSSIB.DAT"));
         EXPECT_NE(InstallLog().find("InstallDir could not be read", t.log_at_), std::string::npos);
       }},
      {"an item the store cannot hold, next to normal ones",
       [](ReencryptTest& t) {
         RegSetString(HKEY_LOCAL_MACHINE, kOversized, "Port", "119");
         t.expected_ = t.Dump("dump-plain", kGrd);
       },
       Outcome::kKeptAside,
       [](ReencryptTest& t) {
         // The rest went in, and the log names what did not.
         EXPECT_NE(t.Dump("dump", kGrd).find("alt.example"), std::string::npos);
         EXPECT_NE(InstallLog().find("could not copy the key SOFTWARE\\Veltrane\\GRD\\Rules\\kkk", t.log_at_),
                   std::string::npos);
       }},
      {"a sealed datum altered behind the store's back",
       [](ReencryptTest& t) {
         ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
         HKEY key = nullptr;
         ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
         char name[512];
         BYTE data[4096];
         DWORD name_size = sizeof name, size = sizeof data, type = 0;
         for (DWORD i = 0; RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &size) == ERROR_SUCCESS; ++i) {
           if (type == REG_BINARY && size > 40) break;
           name_size = sizeof name, size = sizeof data;
         }
         data[30] ^= 1;
         RegSetValueExA(key, name, 0, type, data, size);
         RegCloseKey(key);
       },
       Outcome::kUnchanged, nullptr},
      {"SR.dat held open by another program",
       [](ReencryptTest& t) {
         ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
         t.held_ = CreateFileA(SystemFile("SR.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
         ASSERT_NE(t.held_, INVALID_HANDLE_VALUE);
       },
       Outcome::kUnchanged, nullptr},
      {"a short SR.dat",
       [](ReencryptTest& t) {
         ASSERT_EQ(t.Encrypt(), ERROR_SUCCESS);
         WriteFileText(SystemFile("SR.dat"), ReadFileText(SystemFile("SR.dat")).substr(0, 9));
       },
       Outcome::kUnchanged,
       [](ReencryptTest& t) {
         // The store is on but has no key: writers are refused rather than let plain values in.
         std::string before = t.Dump("dump-plain", kGrd);
         EXPECT_EQ(t.Probe(std::string("set ") + kGrd + " Written plain"), "8");
         EXPECT_EQ(t.Dump("dump-plain", kGrd), before);
       }},
      Killed(1, "after the copy aside", false),
      Killed(1, "inside the copy aside", false,
             [] {
               RegDeleteValue(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker);
               RegDeleteTree(HKEY_LOCAL_MACHINE, std::string(kTemporary) + "\\Rules");
             }),
      Killed(2, "after the new key half", false),
      Killed(2, "after the new key half", true),
      Killed(2, "inside the write of SR.dat", true,
             [] { WriteFileText(SystemFile("SR.dat"), ReadFileText(SystemFile("SR.dat")).substr(0, 9)); }),
      Killed(2, "inside the deletion of the source", true, cut(kGrd)),
      Killed(3, "after the deletion of the source", false),
      Killed(4, "inside the copy into the store", true, cut(kGrd)),
      Killed(4, "after the copy into the store", false),
      Killed(5, "after the check of the store", true),
      Killed(6, "after the marker was cleared", false),
      Killed(6, "inside the deletion of the temporary copy", true, cut(kTemporary)),
      Killed(7, "after the temporary copy was removed", false),
      Killed(8, "after the backup", true),
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.what);
    SetUp();
    expected_ = original_;
    s.prepare(*this);
    if (HasFatalFailure()) return;
    const std::string raw = Dump("dump-plain", kGrd), seed = ReadFileText(SystemFile("SR.dat"));
    log_at_ = InstallLog().size();
    ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_), held_ = INVALID_HANDLE_VALUE;
    const bool marker = RegGet(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker).exists;
    switch (s.outcome) {
      case Outcome::kSealed: {
        EXPECT_EQ(Dump("dump", kGrd), expected_);
        std::string stored = Dump("dump-plain", kGrd);
        for (const char* plain : {"Rules", "InstallDir", "alt.example"}) EXPECT_EQ(stored.find(plain), std::string::npos);
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kTemporary));
        EXPECT_FALSE(marker);
        break;
      }
      case Outcome::kUnchanged:
        EXPECT_EQ(Dump("dump-plain", kGrd), raw);
        EXPECT_EQ(ReadFileText(SystemFile("SR.dat")), seed);
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kTemporary));
        EXPECT_NE(InstallLog().find("left as it was", log_at_), std::string::npos);
        break;
      case Outcome::kKeptAside:
        EXPECT_EQ(Dump("dump-plain", kTemporary), expected_);
        EXPECT_TRUE(marker);
        ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
        EXPECT_EQ(Dump("dump-plain", kTemporary), expected_);
        EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kMarkerKey, kMarker).exists);
        break;
    }
    if (s.check) s.check(*this);
  }
}

TEST_F(ReencryptTest, ANewHalfAlsoInAProcessThatUsedTheStore) {
  ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
  std::string before = ReadFileText(SystemFile("SR.dat"));
  Sleep(1100);  // the half is drawn from a generator seeded with the time in seconds
  ASSERT_EQ(Probe("use-then-move"), "0");
  EXPECT_NE(ReadFileText(SystemFile("SR.dat")), before);
  EXPECT_EQ(Dump("dump", kGrd), original_);
}

TEST_F(ReencryptTest, BackupWaitsForTheMutex) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION holder{};
  std::string cmd = "\"" + StandinPath("named_object.exe") + "\" mutex Global\\RegBackupRestoreMutex forever";
  ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &holder));
  for (int i = 0; i < 200; ++i) {
    HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\RegBackupRestoreMutex");
    if (h) { CloseHandle(h); break; }
    Sleep(25);
  }
  std::atomic<bool> finished{false};
  UINT result = 0;
  std::thread action([&] {
    result = Encrypt();
    finished = true;
  });
  Sleep(2000);
  EXPECT_FALSE(finished.load());
  EXPECT_FALSE(FileExists(folder_ + "LMSSIB.DAT"));
  TerminateProcess(holder.hProcess, 0);  // the mutex is abandoned: the backup goes on
  action.join();
  CloseHandle(holder.hThread);
  CloseHandle(holder.hProcess);
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_TRUE(FileExists(folder_ + "LMSSIB.DAT"));
}

TEST_F(ReencryptTest, CleanRegistryWithAndWithoutKeys) {
  RegSetString(HKEY_CURRENT_USER, kGrd, "Window", "1");
  RegSetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\VelReg", "SpecialPath1", "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD");
  RegSetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane", "Keep", "other products' values stay");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    EXPECT_EQ(RunAction("CleanRegistry", {}, {}).result, ERROR_SUCCESS);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kGrd));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kGrd));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\VelReg"));
    EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane", "Keep").exists);
  }
}

}  // namespace
