// The whole library linked into a program of its own, for what a Wine test must do in a fresh process:
// read a tree back through the registry access layer (the store reads "SR.dat" once per process), stop
// the configuration move between two stages as a killed installer would, or time the move.
//
//   twg_store_probe dump KEY FILE         KEY (below HKLM) through the access layer, canonical text
//   twg_store_probe dump-plain KEY FILE   the same with the plain registry functions
//   twg_store_probe move STAGE            the move up to and including STAGE (1-9)
//   twg_store_probe set KEY NAME TEXT     a string value written through the access layer
//   twg_store_probe close-closed KEY      closes a handle whose real key was closed behind its back: exit
//                                         0 when that gives 6 and the diagnostic line names the key
//   twg_store_probe use-then-move         read through the store first, then the whole move
//   twg_store_probe bench VALUES          time the move of a tree of VALUES values
//   twg_store_probe open-security         exit 0 without open security attributes, 1 with a descriptor
//                                         whose access list is null (every account may open the object)
// Exit status 0, or the registry error that stopped it.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/handles.h"
#include "protreg/prot_key.h"
#include "protreg/prot_reg.h"
#include "protreg/migrate/reencrypt.h"
#include "protreg/migrate/registry_tree.h"
#include "versions/global_names.h"

namespace {

using Reader = LONG (*)(HKEY, const char*, HKEY*);

LONG OpenLayer(HKEY root, const char* path, HKEY* key) { return twg::ProtRegOpenKeyExA(root, path, 0, KEY_READ, key); }
LONG OpenPlain(HKEY root, const char* path, HKEY* key) { return RegOpenKeyExA(root, path, 0, KEY_READ, key); }

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Values and subkeys sorted by name, so two trees with the same content dump the same text.
LONG Dump(HKEY key, bool layer, const std::string& relative, std::string* out) {
  auto enum_value = layer ? twg::ProtRegEnumValueA : RegEnumValueA;
  auto enum_key = layer ? twg::ProtRegEnumKeyA : RegEnumKeyA;
  std::vector<std::pair<std::string, std::string>> values;
  for (DWORD index = 0;; ++index) {
    char name[2048];
    std::vector<BYTE> data(1 << 16);
    DWORD name_size = sizeof name, data_size = static_cast<DWORD>(data.size()), type = 0;
    LONG status = enum_value(key, index, name, &name_size, nullptr, &type, data.data(), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    std::string line = "  \"" + std::string(name) + "\" type " + std::to_string(type) + " ";
    char hex[4];
    for (DWORD i = 0; i < data_size; ++i) {
      std::snprintf(hex, sizeof hex, "%02x", data[i]);
      line += hex;
    }
    values.emplace_back(Lower(name), line);
  }
  std::sort(values.begin(), values.end());
  *out += "[" + relative + "]\n";
  for (const auto& v : values) *out += v.second + "\n";
  std::vector<std::string> subkeys;
  for (DWORD index = 0;; ++index) {
    char name[1024];
    LONG status = enum_key(key, index, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    subkeys.push_back(name);
  }
  std::sort(subkeys.begin(), subkeys.end(), [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  for (const auto& name : subkeys) {
    HKEY sub = nullptr;
    LONG status = (layer ? OpenLayer : OpenPlain)(key, name.c_str(), &sub);
    if (status == ERROR_SUCCESS) status = Dump(sub, layer, relative + "\\" + name, out);
    if (sub) layer ? twg::ProtRegCloseKey(sub) : RegCloseKey(sub);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

int SetCommand(const char* path, const char* name, const char* text) {
  twg::ScopedProtKey key;
  LONG status = twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                                         nullptr);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  return static_cast<int>(twg::ProtRegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                                  static_cast<DWORD>(std::strlen(text) + 1)));
}

// Wine's OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text; a vectored handler sees it first.
std::string debug_lines;
LONG CALLBACK CollectDebugOutput(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    debug_lines.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

int CloseClosedCommand(const char* path) {
  HKEY key = nullptr;
  if (OpenLayer(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return 2;
  RegCloseKey(twg::RealKey(key));
  PVOID handler = AddVectoredExceptionHandler(1, CollectDebugOutput);
  LONG status = twg::ProtRegCloseKey(key);
  RemoveVectoredExceptionHandler(handler);
  std::printf("%ld %s", status, debug_lines.c_str());
  return status == ERROR_INVALID_HANDLE &&
                 debug_lines.find(std::string("CryptRegCloseKey HKEY_LOCAL_MACHINE\\") + path + " NULL") != std::string::npos
             ? 0
             : 1;
}

int DumpCommand(bool layer, const char* path, const char* file) {
  HKEY key = nullptr;
  LONG status = (layer ? OpenLayer : OpenPlain)(HKEY_LOCAL_MACHINE, path, &key);
  std::string text;
  if (status == ERROR_SUCCESS) status = Dump(key, layer, "", &text);
  if (key) layer ? twg::ProtRegCloseKey(key) : RegCloseKey(key);
  FILE* out = std::fopen(file, "wb");
  if (!out) return 1;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  return static_cast<int>(status);
}

// A configuration of `values` values, ten to a key, in keys of twenty below GRD.
void WritePlainTree(int values) {
  twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD");
  twg::DeleteTreePlain(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD.tmp");
  twg::ScopedRegKey veltrane;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane", 0, KEY_SET_VALUE, veltrane.Receive()) == ERROR_SUCCESS) {
    RegDeleteValueA(veltrane, "GRD.tmp complete");
  }
  char path[128], name[32];
  std::string datum(40, 'v');
  for (int i = 0; i < values; ++i) {
    std::snprintf(path, sizeof path, "SOFTWARE\\Veltrane\\GRD\\Group%d\\Key%d", i / 200, i / 10);
    std::snprintf(name, sizeof name, "Value%d", i);
    twg::ScopedRegKey key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(datum.c_str()),
                   static_cast<DWORD>(datum.size() + 1));
  }
}

// One tree size per process: the store reads "SR.dat" once per process, and each move starts from a
// machine without a store.
int Bench(int values) {
  char seed[MAX_PATH];
  GetSystemDirectoryA(seed, MAX_PATH);
  DeleteFileA((std::string(seed) + "\\SR.dat").c_str());
  WritePlainTree(values);
  auto start = std::chrono::steady_clock::now();
  twg::MoveConfigurationIntoStore(twg::MoveStage::kRemoveTemporary);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  LONG verified = twg::VerifyTreeThroughLayer(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD");
  twg::ScopedRegKey temporary;
  bool moved = verified == ERROR_SUCCESS &&
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD.tmp", 0, KEY_READ, temporary.Receive()) != ERROR_SUCCESS;
  std::printf("%6d values: %8.3f s, %8.1f us per value%s\n", values, seconds, seconds * 1e6 / values,
              moved ? "" : " (THE MOVE FAILED)");
  return moved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if ((command == "dump" || command == "dump-plain") && argc == 4) return DumpCommand(command == "dump", argv[2], argv[3]);
  if (command == "move" && argc == 3) {
    twg::MoveConfigurationIntoStore(static_cast<twg::MoveStage>(std::atoi(argv[2])));
    return 0;
  }
  if (command == "use-then-move") {
    HKEY key = nullptr;
    if (OpenLayer(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD", &key) == ERROR_SUCCESS) {
      char folder[1024];
      DWORD size = sizeof folder;
      twg::ProtRegQueryValueExA(key, "InstallDir", nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size);
      twg::ProtRegCloseKey(key);
    }
    twg::MoveConfigurationIntoStore();
    return 0;
  }
  if (command == "set" && argc == 5) return SetCommand(argv[2], argv[3], argv[4]);
  if (command == "close-closed" && argc == 3) return CloseClosedCommand(argv[2]);
  if (command == "bench" && argc == 3) return Bench(std::atoi(argv[2]));
  if (command == "open-security") {
    SECURITY_ATTRIBUTES* attributes = twg::MakeOpenSecurityAttributes();
    if (!attributes) return 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    bool open = attributes->nLength == sizeof(SECURITY_ATTRIBUTES) && !attributes->bInheritHandle &&
                GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted) &&
                present && acl == nullptr;
    twg::FreeOpenSecurityAttributes(attributes);
    return open ? 1 : 2;
  }
  std::fprintf(stderr, "usage: twg_store_probe dump|dump-plain KEY FILE | move STAGE | use-then-move | bench VALUES\n");
  return 2;
}
