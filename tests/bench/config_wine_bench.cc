// config_wine_bench DLL COUNT...: times the real signature import of catalogues of COUNT records against a
// bare loop of the registry calls each record needs; prints COUNT import-us/sig bare-us/sig ratio.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Microseconds on an empty store.
template <typename F>
double Time(F call) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\IDS");
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

void BareLoop(int count) {
  HKEY store, key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\IDS\\SignatureStore", 0, nullptr, 0,
                  KEY_WRITE, nullptr, &store, nullptr);
  for (int i = 0; i < count; ++i) {
    char name[32], text[64];
    std::snprintf(name, sizeof name, "Sig%d", 1000 + i);
    const int length = std::snprintf(text, sizeof text, "Signature number %d", i);
    const DWORD id = 1000 + i, priority = i % 3 + 1;
    RegCreateKeyExA(store, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length);
    RegSetValueExA(key, "SigID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&id), 4);
    RegSetValueExA(key, "Priority", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&priority), 4);
    RegCloseKey(key);
  }
  RegCloseKey(store);
}

}  // namespace

int main(int argc, char** argv) {
  HMODULE dll = argc < 3 ? nullptr : LoadLibraryA(argv[1]);
  auto import = reinterpret_cast<UINT(WINAPI*)(unsigned long)>(
      reinterpret_cast<void*>(dll ? GetProcAddress(dll, "TWGImportIDSEntires") : nullptr));
  if (import == nullptr) return 2;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "twg-config-bench", catalogue = folder + "\\sigs.cnf";
  CreateDirectoryA(folder.c_str(), nullptr);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", "Taskan Web Guard", REG_SZ,
                  folder.c_str(), static_cast<DWORD>(folder.size() + 1));
  const char* words[] = {"low", "medium", "high"};
  for (int a = 2; a < argc; ++a) {
    const int count = std::atoi(argv[a]);
    double imported = 1e30, bare = 1e30;
    for (int round = 0; round < 3; ++round) {  // best of three: the machine is shared
      FILE* f = std::fopen(catalogue.c_str(), "w");
      std::fprintf(f, "id:name:class:rev:priority:action:ref:products\n");
      for (int i = 0; i < count; ++i) {
        std::fprintf(f, "%d:Signature number %d:tcp:%d:%s:log:CVE-%d:TWG,VXF\n", 1000 + i, i, i % 7,
                     words[i % 3], i);
      }
      std::fclose(f);
      imported = std::min(imported, Time([&] { import(0); }));  // the action reads no property: no session
      bare = std::min(bare, Time([&] { BareLoop(count); }));
    }
    std::printf("%d %.2f %.2f %.3f\n", count, imported / count, bare / count, imported / bare);
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD\\IDS");
  return 0;
}
