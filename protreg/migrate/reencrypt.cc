// EncryptRegistry and CleanRegistry: the product's configuration key moved into the protected store
// with a new per-machine key half, its backups, and its removal at uninstall.
#include "protreg/migrate/reencrypt.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "frame/process.h"
#include "protreg/prot_reg.h"
#include "protreg/migrate/registry_tree.h"
#include "protreg/store.h"
#include "versions/global_names.h"

namespace twg {
namespace {

constexpr char kSource[] = "SOFTWARE\\Veltrane\\GRD";
constexpr char kTemporary[] = "SOFTWARE\\Veltrane\\GRD.tmp";
constexpr char kMarkerKey[] = "SOFTWARE\\Veltrane";
constexpr char kMarkerValue[] = "GRD.tmp complete";
constexpr char kBackupKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD";
constexpr char kBlockedListKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy\\Providers\\NNTP\\Blocked";

// What the marker says besides "GRD.tmp holds the whole configuration". 1 is also what earlier builds
// wrote, with the same meaning.
enum Marker : DWORD {
  kNoMarker = 0,        // "GRD.tmp", if there is one, is a leftover and counts for nothing
  kSourceReplaced = 1,  // the source is being replaced and holds nothing "GRD.tmp" lacks
  kSourceCurrent = 2,   // the source reads with the current key half; what is in it is at least as new
};

void LogFailure(const char* text) {
  WriteInstallLogTime();
  WriteInstallLog(text);
  DebugOut("%s", text);
}

bool KeyExists(const char* path) {
  ScopedRegKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

Marker ReadMarker() {
  ScopedRegKey key;
  DWORD value = kNoMarker, size = sizeof value;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
      RegQueryValueExA(key, kMarkerValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      !KeyExists(kTemporary)) {
    return kNoMarker;
  }
  return value == kSourceCurrent ? kSourceCurrent : kSourceReplaced;
}

void SetMarker(Marker marker) {
  ScopedRegKey key;
  LONG status = marker != kNoMarker ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                      KEY_SET_VALUE, nullptr, key.Receive(), nullptr)
                                    : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_SET_VALUE, key.Receive());
  if (status != ERROR_SUCCESS) return;
  if (marker != kNoMarker) {
    DWORD value = marker;
    RegSetValueExA(key, kMarkerValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else {
    RegDeleteValueA(key, kMarkerValue);
  }
}

// Ten draws of a generator seeded with the time in seconds, the low byte of each.
KeyHalf NewKeyHalf() {
  std::uint32_t state = static_cast<std::uint32_t>(std::time(nullptr));
  KeyHalf half{};
  for (auto& byte : half) {
    state = state * 214013u + 2531011u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return half;
}

// Fills "GRD.tmp" from the source, or on a resumed run merges the source over it. Anything of the source
// that can't be read (a sealed value whose datum no longer verifies) stops the move: the source is
// then the only place it is kept.
bool CopyAside(Marker marker) {
  if (marker == kSourceReplaced) return true;
  if (marker == kNoMarker) DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
  int failures = 0;
  LONG status = CopyTreeUnsealing(HKEY_LOCAL_MACHINE, kSource, kTemporary, &failures);
  if (status == ERROR_FILE_NOT_FOUND && marker != kNoMarker) status = ERROR_SUCCESS;
  if (status != ERROR_SUCCESS || failures > 0) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "EncryptRegistry: error %ld, %d items of the configuration could not be read; it was left as it "
                  "was.\r\n", status, failures);
    LogFailure(text);
    if (marker == kNoMarker) DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
    return false;
  }
  SetMarker(kSourceCurrent);
  return true;
}

// A new key half counts only once it is on disk: sealing with a half no later process can read would
// lose the whole store. Without it the run ends where it began.
bool NewKeyHalfOnDisk(Marker marker) {
  SetMarker(kSourceReplaced);
  if (WriteStoreKeyFile(NewKeyHalf())) return true;
  LogFailure("EncryptRegistry: SR.dat could not be written and read back; the configuration was left as it was.\r\n");
  SetMarker(marker);
  if (marker == kNoMarker) DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
  return false;
}

// Every item of "GRD.tmp" is written back on its own; one that fails is logged and the rest still go in.
// false when the copy could not even start.
bool CopyIntoStore() {
  RaiseCreationAllowance();
  int failures = 0;
  LONG status = CopyTreeThroughLayer(HKEY_LOCAL_MACHINE, kTemporary, kSource, &failures);
  LowerCreationAllowance();
  return status == ERROR_SUCCESS;
}

// The product folder ("InstallDir", read through the store), with its trailing backslash.
bool ReadProductFolder(char (&folder)[1024]) {
  folder[0] = '\0';
  ScopedProtKey key;
  if (ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kSource, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  DWORD size = sizeof folder - 1;
  DWORD type = REG_NONE;
  if (ProtRegQueryValueExA(key, "InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size) !=
      ERROR_SUCCESS) {
    folder[0] = '\0';
    return false;
  }
  folder[size] = '\0';
  return folder[0] != '\0';
}

void ExportKey(const char* folder, const char* file, const char* key) {
  std::string command = std::string("REGEDIT.EXE /E \"") + folder + file + "\" \"" + key + "\"";
  RunAndWait(command.c_str());
}

// LMSSIB.DAT is the newest backup, LMSSIO.DAT the one before. The store is judged and the folder read
// under the mutex, so a restore running meanwhile can't change what is backed up. A store that does not
// read back gets no new backup, so the earlier ones stay as they were.
void RotateBackup() {
  ScopedHandle mutex(CreateGlobalMutex(nullptr, FALSE, "RegBackupRestoreMutex"));
  if (mutex.valid()) WaitForSingleObject(mutex, INFINITE);
  char folder[1024];
  if (VerifyTreeThroughLayer(HKEY_LOCAL_MACHINE, kSource) != ERROR_SUCCESS) {
    LogFailure("EncryptRegistry: the store does not read back; no backup was made.\r\n");
  } else if (!ReadProductFolder(folder)) {
    LogFailure("EncryptRegistry: InstallDir could not be read; no backup was made.\r\n");
  } else {
    std::string newest = std::string(folder) + "LMSSIB.DAT";
    std::string previous = std::string(folder) + "LMSSIO.DAT";
    DeleteFileA(previous.c_str());
    MoveFileA(newest.c_str(), previous.c_str());
    ExportKey(folder, "LMSSIB.DAT", kBackupKey);
  }
  if (mutex.valid()) ReleaseMutex(mutex);
}

// The blocked-newsgroup list under its encoded path: the plain part up to the prefix, the rest encoded.
void ExportBlockedList() {
  char folder[1024];
  if (!ReadProductFolder(folder)) return;
  const ValueCodec* codec = StoreCodec();
  const std::string* prefix = ProtectedPrefixes().Covering(kBlockedListKey);
  std::string encoded;
  if (!codec || !prefix || !codec->EncodeKeyPath(SystemLeadBytes(), kBlockedListKey, prefix->size(), &encoded)) {
    return;
  }
  ExportKey(folder, "NBD.DAT", encoded.c_str());
}

}  // namespace

void MoveConfigurationIntoStore(MoveStage stop_after) {
  auto done = [stop_after](MoveStage stage) { return stage >= stop_after; };
  // Without the key the source can't be told from plain; once it is being replaced it needn't be (a
  // run killed while writing SR.dat leaves it short).
  const Marker marker = ReadMarker();
  if (marker != kSourceReplaced && StoreEnabled() && !StoreCodec()) {
    LogFailure("EncryptRegistry: SR.dat holds no whole key half; the configuration was left as it was.\r\n");
    return;
  }
  if (!CopyAside(marker) || done(MoveStage::kCopyAside)) return;
  if (!NewKeyHalfOnDisk(marker) || done(MoveStage::kNewKeyHalf)) return;
  DeleteTreePlain(HKEY_LOCAL_MACHINE, kSource);
  if (done(MoveStage::kDeleteSource)) return;
  const bool copied = CopyIntoStore();
  if (done(MoveStage::kCopyIntoStore)) return;
  SetMarker(kSourceCurrent);
  const bool complete = copied && CountMissingFromStore(HKEY_LOCAL_MACHINE, kTemporary, kSource) == 0;
  if (done(MoveStage::kCheckStore)) return;
  if (complete) {
    SetMarker(kNoMarker);
    if (done(MoveStage::kClearMarker)) return;
    DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
  } else {
    LogFailure("EncryptRegistry: the store does not hold the whole configuration; all of it stays in plain "
               "words in HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD.tmp.\r\n");
  }
  if (done(MoveStage::kRemoveTemporary)) return;
  RotateBackup();
  if (done(MoveStage::kBackup)) return;
  ExportBlockedList();
}

}  // namespace twg

TWG_ACTION UINT __stdcall EncryptRegistry(MSIHANDLE) {
  return twg::RunAction("EncryptRegistry", [] {
    twg::MoveConfigurationIntoStore();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// The move's leftovers (an unfinished move's temporary key and marker) go with the configuration.
TWG_ACTION UINT __stdcall CleanRegistry(MSIHANDLE) {
  return twg::RunAction("CleanRegistry", [] {
    twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD");
    twg::DeleteTreePlain(HKEY_CURRENT_USER, "Software\\Veltrane\\GRD");
    twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\VelReg");
    twg::SetMarker(twg::kNoMarker);
    twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, twg::kTemporary);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
