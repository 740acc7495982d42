// Moving the configuration into the protected store, its backups and its removal, against the real
// registry and the real registry editor. Reading back through the access layer happens in a fresh
// process (twg_store_probe), since the store reads "SR.dat" once per process.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "harness/harness.h"
#include "protreg/store.h"

using namespace harness;

namespace {

const HKEY kMachine = HKEY_LOCAL_MACHINE;
constexpr char kGrd[] = "SOFTWARE\\Veltrane\\GRD";
constexpr char kTemporary[] = "SOFTWARE\\Veltrane\\GRD.tmp";
constexpr char kVelReg[] = "SOFTWARE\\Veltrane\\VelReg";
constexpr char kMarkerKey[] = "SOFTWARE\\Veltrane";
constexpr char kMarker[] = "GRD.tmp complete";
const std::string kKeyFile = twg::StoreKeyFilePath();  // "SR.dat"

bool MarkerSet() { return RegGet(kMachine, kMarkerKey, kMarker).exists; }
UINT Encrypt() { return RunAction("EncryptRegistry", {}, {}).result; }
int Probe(const std::string& arguments) {
  return RunProcess("\"" + StandinPath("twg_store_probe.exe") + "\" " + arguments);
}

std::string InstallLog() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return ReadFileText(std::string(temp) + "TWGLog.txt");
}

// The tree below HKLM as a process of its own reads it: through the access layer ("dump") or plain.
std::string Dump(const char* how, const char* key) {
  std::string file = NewTempDir("dump") + "\\tree.txt";
  int status = Probe(std::string(how) + " " + key + " \"" + file + "\"");
  return status == 0 ? ReadFileText(file) : "probe exit " + std::to_string(status);
}

class ReencryptTest : public testing::Test {
 public:
  void SetUp() override {
    folder_ = NewTempDir("product") + "\\";
    DeleteFileA(kKeyFile.c_str());
    for (const char* key : {kGrd, kTemporary, kVelReg}) RegDeleteTree(kMachine, key);
    RegDeleteValue(kMachine, kMarkerKey, kMarker);
    WriteConfiguration();
    expected_ = original_ = Dump("dump-plain", kGrd);
  }

  // A configuration as the package writes it: nested keys, a key with only a subkey, every value type
  // the product uses, an unnamed value and values larger than the 512 bytes a plain copy reads at a time.
  void WriteConfiguration() {
    const std::string grd = kGrd;
    RegSetString(kMachine, grd, "InstallDir", folder_);
    RegSetString(kMachine, grd, "", "unnamed value");
    RegSetDword(kMachine, grd, "FirewallEnabled", 1);
    RegSetString(kMachine, grd, "LogDir", "%SystemRoot%\\Logs", REG_EXPAND_SZ);
    RegSetBinary(kMachine, grd, "TWGEULA", std::string("1\0", 2));
    RegSetString(kMachine, grd + "\\Rules", "Long", std::string(2000, 'r'));
    RegSetString(kMachine, grd + "\\Rules\\Inbound", "Names", std::string("a\0b\0\0", 5), REG_MULTI_SZ);
    RegSetString(kMachine, grd + "\\Proxy\\Providers\\NNTP\\Blocked", "alt.example", "1");
    RegSetDword(kMachine, grd + "\\Empty\\Deeper", "Level", 3);
  }

  // The store holds expected_ (read in a fresh process), nothing of it in plain words, and neither the
  // temporary copy nor its marker is left.
  void ExpectSealed() {
    EXPECT_EQ(Dump("dump", kGrd), expected_);
    std::string stored = Dump("dump-plain", kGrd);
    for (const char* plain : {"Rules", "InstallDir", "NNTP"}) EXPECT_EQ(stored.find(plain), stored.npos);
    EXPECT_FALSE(RegKeyExists(kMachine, kTemporary) || MarkerSet());
  }

  std::string folder_, original_, expected_;
};

// The backup waits for the restore mutex. Then what a support engineer does with a customer's backup:
// decode it with the customer's "SR.dat", seal the plain export again and import it into an empty store.
TEST_F(ReencryptTest, TheBackupsRotateAndRestoreTheConfiguration) {
  auto holder = std::make_unique<MutexHolder>("Global\\RegBackupRestoreMutex");
  std::atomic<bool> finished{false};
  std::thread action([&] { finished = Encrypt() == ERROR_SUCCESS; });
  Sleep(2000);
  EXPECT_FALSE(finished || FileExists(folder_ + "LMSSIB.DAT"));
  holder.reset();  // the mutex is abandoned: the backup goes on
  action.join();
  ExpectSealed();
  const std::string nbd = ReadFileText(folder_ + "NBD.DAT");
  EXPECT_EQ(nbd.find(std::string("P\0r\0o\0x\0y\0", 10)), std::string::npos) << "the key in its stored form";
  const std::string first = ReadFileText(folder_ + "LMSSIB.DAT");
  ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
  ExpectSealed();
  EXPECT_EQ(ReadFileText(folder_ + "LMSSIO.DAT"), first);

  const std::string dll = DllPath(), files = " \"" + kKeyFile + "\" \"" + folder_;
  auto twgstore = [&](const std::string& arguments) {
    return RunProcess("\"" + dll.substr(0, dll.rfind('\\')) + "\\twgstore.exe\" " + arguments);
  };
  EXPECT_EQ(twgstore("verify" + files + "NBD.DAT\""), 0);
  ASSERT_EQ(twgstore("decode -o \"" + folder_ + "plain.reg\"" + files + "LMSSIB.DAT\""), 0);
  ASSERT_EQ(twgstore("encode -o \"" + folder_ + "sealed.reg\"" + files + "plain.reg\""), 0);
  RegDeleteTree(kMachine, kGrd);
  EXPECT_EQ(twgstore("import \"" + folder_ + "sealed.reg\""), 0);
  EXPECT_EQ(Dump("dump", kGrd), original_);
}

// What EncryptRegistry finds on a machine, and what must be true after it ran (checked below).
enum class Outcome { kSealed, kUnchanged, kKeptAside };

struct Scenario {
  std::string what;
  bool over_store;                              // EncryptRegistry ran on SetUp's configuration first
  std::function<void(ReencryptTest&)> prepare;  // then this makes the machine to run on
  Outcome outcome;
};

void ShortenKeyFile() { WriteFileText(kKeyFile, ReadFileText(kKeyFile).substr(0, 9)); }

std::function<void()> CutRules(const char* key) {
  return [key] { RegDeleteTree(kMachine, std::string(key) + "\\Rules"); };
}

// A process (one that read the store first) killed after `stage` of the move, a second after the store was
// made (the key half comes from the time in seconds); `damage` stands for a death inside the next step.
Scenario Killed(int stage, const char* where, std::function<void()> damage = [] {}) {
  return {std::string("killed ") + where, true,
          [=](ReencryptTest& t) {
            Sleep(1100);
            ASSERT_EQ(Probe("move " + std::to_string(stage)), 0);
            damage();
            if (MarkerSet()) EXPECT_EQ(Dump("dump-plain", kTemporary), t.expected_) << "the marker's promise";
          },
          Outcome::kSealed};
}

TEST_F(ReencryptTest, NothingOfTheConfigurationIsEverLost) {
  HANDLE held = INVALID_HANDLE_VALUE;
  const std::vector<Scenario> scenarios = {
      {"reinstall: SR.dat of an earlier install, a plain tree", false,
       [](ReencryptTest& t) {
         // The uninstall removes our keys, also an unfinished move's temporary copy and marker.
         RegSetString(HKEY_CURRENT_USER, kGrd, "Window", "1");
         RegSetString(kMachine, kVelReg, "SpecialPath1", "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD");
         RegSetString(kMachine, kMarkerKey, "Keep", "other products' values stay");
         ASSERT_EQ(Probe("move 5"), 0);  // "SR.dat", the store, and the copy aside with its marker
         ASSERT_EQ(RunAction("CleanRegistry", {}, {}).result, ERROR_SUCCESS);
         for (const char* key : {kGrd, kVelReg, kTemporary}) EXPECT_FALSE(RegKeyExists(kMachine, key)) << key;
         EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kGrd) || MarkerSet());
         EXPECT_TRUE(RegGet(kMachine, kMarkerKey, "Keep").exists);
         t.WriteConfiguration();
       },
       Outcome::kSealed},
      {"upgrade: a sealed store and new plain values", false,
       [](ReencryptTest& t) {
         auto add = [] {  // what a newer package writes, also into a key the store holds sealed
           RegSetString(kMachine, kGrd, "NewSetting", "2");
           RegSetDword(kMachine, std::string(kGrd) + "\\Rules\\Outbound", "Added", 8080);
         };
         add();
         t.expected_ = Dump("dump-plain", kGrd);
         RegDeleteTree(kMachine, kGrd);
         t.WriteConfiguration();
         ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
         add();
       },
       Outcome::kSealed},
      {"a subkey whose encoded name (304 characters) the registry cannot hold", false,
       [](ReencryptTest& t) {
         RegSetString(kMachine, std::string(kGrd) + "\\Rules\\" + std::string(200, 'k'), "Port", "119");
         t.expected_ = Dump("dump-plain", kGrd);
       },
       Outcome::kKeptAside},
      {"a sealed datum altered behind the store's back", true,
       [](ReencryptTest&) {
         HKEY key = nullptr;
         ASSERT_EQ(RegOpenKeyExA(kMachine, kGrd, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
         char name[512];
         BYTE data[4096];
         DWORD name_size = 0, size = 0, type = 0;
         for (DWORD i = 0; type != REG_BINARY || size < 40; ++i) {  // a sealed name's datum, not the record
           name_size = sizeof name;
           size = sizeof data;
           ASSERT_EQ(RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &size), ERROR_SUCCESS);
         }
         data[30] ^= 1;
         RegSetValueExA(key, name, 0, type, data, size);
         RegCloseKey(key);
       },
       Outcome::kUnchanged},
      {"SR.dat held open by another program", true,
       [&held](ReencryptTest&) {
         held = CreateFileA(kKeyFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
         ASSERT_NE(held, INVALID_HANDLE_VALUE);
       },
       Outcome::kUnchanged},
      {"a short SR.dat", true, [](ReencryptTest&) { ShortenKeyFile(); }, Outcome::kUnchanged},
      Killed(1, "after the copy aside"),
      Killed(2, "after the new key half"),
      Killed(2, "inside the write of SR.dat", ShortenKeyFile),
      Killed(4, "inside the copy into the store", CutRules(kGrd)),
      Killed(5, "after the check of the store"),
      Killed(6, "inside the deletion of the temporary copy", CutRules(kTemporary)),
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.what);
    SetUp();
    if (s.over_store) ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
    s.prepare(*this);
    if (HasFatalFailure()) return;
    const std::string raw = Dump("dump-plain", kGrd), seed = ReadFileText(kKeyFile);
    const size_t log_at = InstallLog().size();
    ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE));
    if (s.outcome == Outcome::kSealed) ExpectSealed();
    if (s.outcome == Outcome::kUnchanged) {  // and the log says why
      EXPECT_EQ(Dump("dump-plain", kGrd), raw);
      EXPECT_EQ(ReadFileText(kKeyFile), seed);
      EXPECT_FALSE(RegKeyExists(kMachine, kTemporary));
      EXPECT_NE(InstallLog().find("left as it was", log_at), std::string::npos);
    }
    if (s.outcome == Outcome::kKeptAside) {  // the rest went in; later runs keep the copy aside
      EXPECT_NE(Dump("dump", kGrd).find("alt.example"), std::string::npos);
      ASSERT_EQ(Encrypt(), ERROR_SUCCESS);
      EXPECT_EQ(Dump("dump-plain", kTemporary), expected_);
      EXPECT_TRUE(MarkerSet());
    }
  }
}

}  // namespace
