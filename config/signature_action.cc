// TWGImportIDSEntires: the setup leaves the intrusion-signature catalogue as "sigs.cnf" in the product
// folder; the records meant for this product become keys of the signature store, and the file goes
// whatever happened, so that a half-read catalogue is never read a second time.
#include <cstdio>
#include <cstring>

#include "config/config_registry.h"
#include "config/signature_import.h"
#include "frame/action_frame.h"

namespace twg {
namespace {

constexpr char kStoreKey[] = "Software\\Veltrane\\GRD\\IDS\\SignatureStore";

bool WriteSignature(HKEY store, const SignatureRecord& record) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%d", "Sig", static_cast<int>(record.id));
  ScopedRegKey key;
  if (RegCreateKeyExA(store, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD id = static_cast<DWORD>(record.id);
  return RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(record.name),
                        static_cast<DWORD>(std::strlen(record.name))) == ERROR_SUCCESS &&
         RegSetValueExA(key, "SigID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&id), sizeof id) == ERROR_SUCCESS &&
         RegSetValueExA(key, "Priority", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&record.priority),
                        sizeof record.priority) == ERROR_SUCCESS;
}

// The outcome is not reported: a catalogue that stops early leaves what it wrote and nothing else.
void ImportCatalogue(const char* path) {
  ScopedStdioFile file(std::fopen(path, "r"));
  if (!file.valid()) return;
  ScopedRegKey store;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      store.Receive(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  ImportSignatures(file, [&](const SignatureRecord& record) { return WriteSignature(store, record); });
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGImportIDSEntires(MSIHANDLE) {
  return twg::RunAction("TWGImportIDSEntires", [&] {
    char folder[260] = {};
    if (!twg::ReadProductFolder(folder)) return ERROR_SUCCESS;
    char path[300];
    std::snprintf(path, sizeof path, "%s\\sigs.cnf", folder);
    twg::ImportCatalogue(path);
    DeleteFileA(path);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
