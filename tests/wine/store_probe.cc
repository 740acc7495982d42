// The whole library in a program of its own, for what a Wine test must do in a fresh process (the store
// reads "SR.dat" once per process). Exit status 0, or the registry error that stopped it.
//
//   twg_store_probe dump KEY FILE         KEY (below HKLM) read through the access layer, as sorted text
//   twg_store_probe dump-plain KEY FILE   the same with the plain registry functions
//   twg_store_probe move STAGE            a read through the store, then the move up to STAGE (1-9)
//   twg_store_probe bench VALUES          times the move of a tree of VALUES values
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/handles.h"
#include "protreg/prot_reg.h"
#include "protreg/migrate/reencrypt.h"
#include "protreg/migrate/registry_tree.h"
#include "protreg/store.h"

namespace {

constexpr char kGrd[] = "SOFTWARE\\Veltrane\\GRD";

bool CaseBlindLess(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }

// The key `path` below `parent`, its values and subkeys sorted by name, so that two trees with the same
// content give the same text.
LONG Dump(bool layer, HKEY parent, const std::string& path, const std::string& relative, std::string* out) {
  HKEY key = nullptr;
  LONG status = (layer ? twg::ProtRegOpenKeyExA : RegOpenKeyExA)(parent, path.c_str(), 0, KEY_READ, &key);
  std::vector<std::string> values, subkeys;
  char name[2048], hex[3];
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
    DWORD name_size = sizeof name, size = static_cast<DWORD>(data.size()), type = 0;
    status = (layer ? twg::ProtRegEnumValueA : RegEnumValueA)(key, i, name, &name_size, nullptr, &type,
                                                             data.data(), &size);
    if (status != ERROR_SUCCESS) break;
    values.push_back("  \"" + std::string(name) + "\" type " + std::to_string(type) + " ");
    for (DWORD b = 0; b < size; ++b) {
      std::snprintf(hex, sizeof hex, "%02x", data[b]);
      values.back() += hex;
    }
  }
  for (DWORD i = 0; status == ERROR_NO_MORE_ITEMS; ++i) {
    LONG listed = (layer ? twg::ProtRegEnumKeyA : RegEnumKeyA)(key, i, name, sizeof name);
    if (listed == ERROR_SUCCESS) subkeys.push_back(name);
    if (listed != ERROR_SUCCESS) status = listed == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : listed;
  }
  std::sort(values.begin(), values.end(), CaseBlindLess);
  std::sort(subkeys.begin(), subkeys.end(), CaseBlindLess);
  *out += "[" + relative + "]\n";
  for (const std::string& v : values) *out += v + "\n";
  for (const std::string& sub : subkeys) {
    if (status == ERROR_SUCCESS) status = Dump(layer, key, sub, relative + "\\" + sub, out);
  }
  if (key) (layer ? twg::ProtRegCloseKey : RegCloseKey)(key);
  return status;
}

// A configuration of `values` values, ten to a key, twenty keys to a group, moved from a machine
// without a store (one size per process: the store reads "SR.dat" once per process).
int Bench(int values) {
  DeleteFileA(twg::StoreKeyFilePath().c_str());
  twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, kGrd);
  twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD.tmp");
  char path[128], name[32];
  const BYTE datum[] = "vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv";
  for (int i = 0; i < values; ++i) {
    std::snprintf(path, sizeof path, "%s\\Group%d\\Key%d", kGrd, i / 200, i / 10);
    std::snprintf(name, sizeof name, "Value%d", i);
    twg::ScopedRegKey key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, datum, sizeof datum);
  }
  auto start = std::chrono::steady_clock::now();
  twg::MoveConfigurationIntoStore(twg::MoveStage::kRemoveTemporary);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  bool moved = twg::VerifyTreeThroughLayer(HKEY_LOCAL_MACHINE, kGrd) == ERROR_SUCCESS;
  std::printf("%6d values: %8.3f s, %8.1f us per value%s\n", values, seconds, seconds * 1e6 / values,
              moved ? "" : " (THE MOVE FAILED)");
  return moved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command.rfind("dump", 0) == 0 && argc == 4) {
    std::string text;
    LONG status = Dump(command == "dump", HKEY_LOCAL_MACHINE, argv[2], "", &text);
    FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size()) status = ERROR_WRITE_FAULT;
    if (out) std::fclose(out);
    return static_cast<int>(status);
  }
  if (command == "move" && argc == 3) {
    // As a process that used the store before: what it seals must still use the half it writes.
    twg::ScopedProtKey key;
    BYTE folder[1024];
    DWORD size = sizeof folder;
    twg::ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, kGrd, 0, KEY_READ, key.Receive());
    twg::ProtRegQueryValueExA(key, "InstallDir", nullptr, nullptr, folder, &size);
    twg::MoveConfigurationIntoStore(static_cast<twg::MoveStage>(std::atoi(argv[2])));
    return 0;
  }
  if (command == "bench" && argc == 3) return Bench(std::atoi(argv[2]));
  return 2;  // not one of the commands above
}
