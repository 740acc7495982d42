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
// Set once "GRD.tmp" holds the whole configuration; while it is there, "GRD.tmp" is the copy that
// counts, whatever state the source is in.
constexpr char kMarkerKey[] = "SOFTWARE\\Veltrane";
constexpr char kMarkerValue[] = "GRD.tmp complete";
constexpr char kBackupKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD";
constexpr char kBlockedListKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy\\Providers\\NNTP\\Blocked";

void LogFailure(const char* text) {
  WriteInstallLogTime();
  WriteInstallLog(text);
  DebugOut("%s", text);
}

bool MarkerSet() {
  ScopedRegKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS &&
         RegQueryValueExA(key, kMarkerValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void SetMarker(bool set) {
  ScopedRegKey key;
  LONG status = set ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_SET_VALUE, nullptr, key.Receive(), nullptr)
                    : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_SET_VALUE, key.Receive());
  if (status != ERROR_SUCCESS) return;
  if (set) {
    DWORD one = 1;
    RegSetValueExA(key, kMarkerValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  } else {
    RegDeleteValueA(key, kMarkerValue);
  }
}

bool KeyExists(const char* path) {
  ScopedRegKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
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

// The configuration as it reads now (decoded when it is in the store) goes to the temporary key. A
// copy that fails is removed again, so a later run never mistakes it for the whole configuration.
bool CopyAside() {
  if (MarkerSet() && KeyExists(kTemporary)) return true;  // an interrupted run already did it
  DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
  LONG status = CopyTreeThroughLayer(HKEY_LOCAL_MACHINE, kSource, HKEY_LOCAL_MACHINE, kTemporary);
  if (status != ERROR_SUCCESS) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "EncryptRegistry: error %ld reading the configuration; it was left as it was.\r\n", status);
    LogFailure(text);
    DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
    return false;
  }
  SetMarker(true);
  return true;
}

void CopyIntoStore() {
  RaiseCreationAllowance();
  LONG status = CopyTreeThroughLayer(HKEY_LOCAL_MACHINE, kTemporary, HKEY_LOCAL_MACHINE, kSource);
  LowerCreationAllowance();
  if (status != ERROR_SUCCESS) {
    char text[160];
    std::snprintf(text, sizeof text, "EncryptRegistry: error %ld writing the protected configuration.\r\n", status);
    LogFailure(text);
  }
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

// LMSSIB.DAT is the newest backup, LMSSIO.DAT the one before; a store that does not read back gets no
// new backup, so the earlier ones stay as they were.
void RotateBackup(bool store_reads_back, const char* folder) {
  ScopedHandle mutex(CreateGlobalMutex(nullptr, FALSE, "RegBackupRestoreMutex"));
  if (mutex.valid()) WaitForSingleObject(mutex, INFINITE);
  if (store_reads_back) {
    std::string newest = std::string(folder) + "LMSSIB.DAT";
    std::string previous = std::string(folder) + "LMSSIO.DAT";
    DeleteFileA(previous.c_str());
    MoveFileA(newest.c_str(), previous.c_str());
    ExportKey(folder, "LMSSIB.DAT", kBackupKey);
  }
  if (mutex.valid()) ReleaseMutex(mutex);
}

// The blocked-newsgroup list under its encoded path: the plain part up to the prefix, the rest encoded.
void ExportBlockedList(const char* folder) {
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
  if (!CopyAside() || done(MoveStage::kCopyAside)) return;
  // Everything written from here on is sealed with the new half, also in a process that used the store.
  if (!WriteStoreKeyFile(NewKeyHalf())) LogFailure("EncryptRegistry: SR.dat could not be written.\r\n");
  if (done(MoveStage::kNewKeyHalf)) return;
  DeleteTreePlain(HKEY_LOCAL_MACHINE, kSource);
  if (done(MoveStage::kDeleteSource)) return;
  CopyIntoStore();
  if (done(MoveStage::kCopyIntoStore)) return;
  const bool reads_back = VerifyTreeThroughLayer(HKEY_LOCAL_MACHINE, kSource) == ERROR_SUCCESS;
  if (reads_back) {
    DeleteTreePlain(HKEY_LOCAL_MACHINE, kTemporary);
    SetMarker(false);
  } else {
    LogFailure("EncryptRegistry: the protected configuration does not read back; the plain copy stays in "
               "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD.tmp.\r\n");
  }
  if (done(MoveStage::kRemoveTemporary)) return;
  // Without the product folder the backup files have no place: no backup and no export then.
  char folder[1024];
  if (!ReadProductFolder(folder)) {
    LogFailure("EncryptRegistry: InstallDir could not be read; no backup was made.\r\n");
    return;
  }
  RotateBackup(reads_back, folder);
  if (done(MoveStage::kBackup)) return;
  ExportBlockedList(folder);
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
    twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, twg::kTemporary);
    twg::SetMarker(false);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
