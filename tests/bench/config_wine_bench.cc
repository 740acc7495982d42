// Imports generated signature catalogues through the real export of TWGMsI.dll and times them against a
// bare loop of the registry calls each record needs (create the subkey, set three values), in one run.
// Usage: config_wine_bench DLL COUNT...   prints: COUNT import-us/sig bare-us/sig ratio
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kStore[] = "Software\\Veltrane\\GRD\\IDS\\SignatureStore";
using Action = UINT(WINAPI*)(unsigned long);

void DeleteStore() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\IDS"); }

void WriteCatalogue(const std::string& path, int count) {
  FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "id:name:class:rev:priority:action:ref:products\n");
  const char* words[] = {"low", "medium", "high"};
  for (int i = 0; i < count; ++i) {
    std::fprintf(f, "%d:Signature number %d:tcp:%d:%s:log:CVE-%d:TWG,VXF\n", 1000 + i, i, i % 7, words[i % 3], i);
  }
  std::fclose(f);
}

double BareLoop(int count) {
  const auto start = std::chrono::steady_clock::now();
  HKEY store;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStore, 0, nullptr, 0, KEY_WRITE, nullptr, &store, nullptr);
  for (int i = 0; i < count; ++i) {
    char name[32], text[64];
    std::snprintf(name, sizeof name, "Sig%d", 1000 + i);
    const int length = std::snprintf(text, sizeof text, "Signature number %d", i);
    const DWORD id = 1000 + i, priority = i % 3 + 1;
    HKEY key;
    RegCreateKeyExA(store, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length);
    RegSetValueExA(key, "SigID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&id), 4);
    RegSetValueExA(key, "Priority", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&priority), 4);
    RegCloseKey(key);
  }
  RegCloseKey(store);
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HMODULE dll = LoadLibraryA(argv[1]);
  auto import = dll ? reinterpret_cast<Action>(reinterpret_cast<void*>(GetProcAddress(dll, "TWGImportIDSEntires"))) : nullptr;
  if (import == nullptr) return 2;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "twg-config-bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  HKEY apps;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", 0, nullptr, 0, KEY_WRITE, nullptr, &apps, nullptr);
  RegSetValueExA(apps, "Taskan Web Guard", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(apps);
  for (int a = 2; a < argc; ++a) {
    const int count = std::atoi(argv[a]);
    double best_import = 1e30, best_bare = 1e30;
    for (int round = 0; round < 3; ++round) {  // best of three: the machine is shared
      DeleteStore();
      WriteCatalogue(folder + "\\sigs.cnf", count);
      const auto start = std::chrono::steady_clock::now();
      import(0);  // the action reads no property, so it needs no session
      const double t = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      if (t < best_import) best_import = t;
      DeleteStore();
      const double bare = BareLoop(count);
      if (bare < best_bare) best_bare = bare;
    }
    std::printf("%d %.2f %.2f %.3f\n", count, best_import / count, best_bare / count, best_import / best_bare);
  }
  DeleteStore();
  return 0;
}
