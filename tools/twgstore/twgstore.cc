// twgstore: read, verify and re-seal backup exports of the protected configuration store offline.
//
//   twgstore decode [-p PREFIX] [-o OUT] SR.DAT EXPORT   plain registry export of a stored one
//   twgstore verify [-p PREFIX] SR.DAT EXPORT            check every record and seal
//   twgstore encode [-p PREFIX] [-o OUT] SR.DAT EXPORT   seal an edited plain export for import
//   twgstore import EXPORT                               (Windows) import under the backup mutex
//
// Exit status: 0 success; 1 the export holds items that fail their check (verify, decode); 2 usage;
// 3 an input that cannot be read (missing file, malformed export, wrong-sized SR.dat).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/twgstore/store_export.h"
#include "protreg/store_key.h"

#ifdef _WIN32
#include <windows.h>

#include "frame/handles.h"
#include "frame/process.h"
#include "versions/global_names.h"
#endif

namespace {

using namespace twg;

constexpr int kOk = 0, kProblems = 1, kUsage = 2, kBadInput = 3;

constexpr char kUsageText[] =
    "usage: twgstore COMMAND [OPTIONS] ...\n"
    "\n"
    "Reads, verifies and re-seals backup exports of the protected configuration store\n"
    "(LMSSIB.DAT, LMSSIO.DAT, NBD.DAT) with the machine's SR.dat.\n"
    "\n"
    "commands:\n"
    "  decode [-p PREFIX] [-o OUT] SR.DAT EXPORT  write the export in plain words (key paths, value\n"
    "                                             names and data decoded, integrity records left out)\n"
    "  verify [-p PREFIX] SR.DAT EXPORT           check every key's integrity record against its counts\n"
    "                                             and every name's and datum's seal; one line per problem\n"
    "  encode [-p PREFIX] [-o OUT] SR.DAT EXPORT  seal an (edited) plain export with SR.DAT, records added,\n"
    "                                             ready for the registry editor\n"
#ifdef _WIN32
    "  import EXPORT                              import a sealed export with REGEDIT.EXE /S while holding\n"
    "                                             the backup mutex \"RegBackupRestoreMutex\"\n"
#endif
    "\n"
    "options:\n"
    "  -p, --prefix PREFIX  the protected prefix (default HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD)\n"
    "  -o, --output FILE    write here instead of standard output\n"
    "  -c, --codepage N     the ANSI code page of a REGEDIT4 export and of the names (932, 936, 949,\n"
    "                       950 for double-byte ones; default: the system's on Windows, single-byte elsewhere)\n"
    "  -h, --help           this text\n"
    "\n"
    "Both export formats are read (REGEDIT4 in the ANSI code page, version 5.00 in UTF-16LE); the\n"
    "output has the format of the input.\n"
    "exit status: 0 success, 1 items failed their check, 2 usage error, 3 unreadable input\n";

struct Options {
  std::string command, prefix = kDefaultStorePrefix, output;
  int code_page = -1;  // -1: the system's (Windows) or single-byte (elsewhere)
  std::vector<std::string> files;
};

int Usage(const std::string& why) {
  std::cerr << "twgstore: " << why << "\n(try twgstore --help)\n";
  return kUsage;
}

bool ReadWhole(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *data = buffer.str();
  return true;
}

bool WriteOutput(const std::string& path, const std::string& data) {
  if (path.empty() || path == "-") {
    std::fwrite(data.data(), 1, data.size(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

// The lead bytes of the code page the export's names were written in; the store's own names are ASCII.
LeadBytes ExportLeadBytes(int code_page) {
  switch (code_page) {
    case 932: return LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}};
    case 936: case 949: case 950: return LeadBytes{{0x81, 0xFE}};
    case -1: break;
    default: return LeadBytes();
  }
#ifdef _WIN32
  LeadBytes lead;
  CPINFO info;
  if (GetCPInfo(CP_ACP, &info)) {
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2) lead.Add(info.LeadByte[i], info.LeadByte[i + 1]);
  }
  return lead;
#else
  return LeadBytes();
#endif
}

struct Loaded {
  StoreSeed seed;
  RegExport file;
};

// Reads SR.dat and the export; prints the one-line reason and returns false when either is unusable.
bool Load(const Options& o, const CodePage& code_page, Loaded* loaded) {
  std::string seed_file, export_file, message;
  if (!ReadWhole(o.files[0], &seed_file)) {
    std::cerr << "twgstore: " << o.files[0] << ": cannot read\n";
    return false;
  }
  if (!ParseStoreSeed(seed_file, &loaded->seed, &message)) {
    std::cerr << "twgstore: " << o.files[0] << ": " << message << "\n";
    return false;
  }
  if (loaded->seed.enable_flag == 0) {
    std::cerr << "twgstore: " << o.files[0] << ": note: the enable flag is 0 (the store was disabled)\n";
  }
  if (!ReadWhole(o.files[1], &export_file)) {
    std::cerr << "twgstore: " << o.files[1] << ": cannot read\n";
    return false;
  }
  ParseError error;
  if (!ParseRegExport(export_file, code_page, &loaded->file, &error)) {
    std::cerr << "twgstore: " << o.files[1] << ":" << error.line << ": " << error.message << "\n";
    return false;
  }
  return true;
}

void PrintProblems(const std::string& file, const StoreExportReport& report) {
  for (const auto& p : report.problems) {
    std::cerr << file << ":" << p.line << ": [" << p.key << "] " << p.message << "\n";
  }
  if (report.sealed_items > 0 && report.verified_items == 0) {
    std::cerr << file << ": no sealed item verifies with this SR.dat: it is not the SR.dat this export was "
                         "written with\n";
  }
}

// What every command works on: the export as read, and the store's codec keyed with its SR.dat.
struct Opened {
  explicit Opened(const Options& o) : code_page(ExportLeadBytes(o.code_page)) {}
  CodePage code_page;
  Loaded in;
};

bool WriteExport(const Options& o, const RegExport& file, const CodePage& code_page) {
  std::string text;
  if (WriteRegExport(file, code_page, &text) && WriteOutput(o.output, text)) return true;
  std::cerr << "twgstore: cannot write " << (o.output.empty() ? "standard output" : o.output) << "\n";
  return false;
}

// Loads SR.dat and the export and runs command(opened, store); kBadInput when either is unusable.
template <typename Command>
int WithStore(const Options& o, Command command) {
  Opened opened(o);
  if (!Load(o, opened.code_page, &opened.in)) return kBadInput;
  ValueCodec codec(MakeStoreKey(opened.in.seed.key_half));
  StoreExport store(codec, ExportLeadBytes(o.code_page), o.prefix);
  return command(opened, store);
}

int Decode(const Options& o) {
  return WithStore(o, [&](const Opened& opened, const StoreExport& store) {
    StoreExportReport report;
    RegExport plain = store.Decode(opened.in.file, &report);
    if (!WriteExport(o, plain, opened.code_page)) return kBadInput;
    PrintProblems(o.files[1], report);
    return report.problems.empty() ? kOk : kProblems;
  });
}

int Verify(const Options& o) {
  return WithStore(o, [&](const Opened& opened, const StoreExport& store) {
    StoreExportReport report = store.Verify(opened.in.file);
    PrintProblems(o.files[1], report);
    std::cout << o.files[1] << ": " << opened.in.file.keys.size() << " keys, " << report.verified_items << " of "
              << report.sealed_items << " sealed items verify, " << report.problems.size() << " problems\n";
    return report.problems.empty() ? kOk : kProblems;
  });
}

int Encode(const Options& o) {
  return WithStore(o, [&](const Opened& opened, const StoreExport& store) {
    std::random_device device;
    std::mt19937 generator(device());
    RegExport stored;
    std::string message;
    if (!store.Encode(opened.in.file, [&] { return static_cast<std::uint8_t>(generator()); }, &stored, &message)) {
      std::cerr << "twgstore: " << o.files[1] << ": " << message << "\n";
      return kBadInput;
    }
    return WriteExport(o, stored, opened.code_page) ? kOk : kBadInput;
  });
}

#ifdef _WIN32
// The registry editor imports while the backup mutex is held (under the name the product uses, global
// on a terminal server), so no backup rotation runs against a half-imported store.
int Import(const Options& o) {
  ScopedHandle mutex(CreateGlobalMutex(nullptr, FALSE, "RegBackupRestoreMutex"));
  if (!mutex.valid()) {
    std::cerr << "twgstore: cannot create the mutex \"RegBackupRestoreMutex\"\n";
    return kBadInput;
  }
  WaitForSingleObject(mutex, INFINITE);
  std::string command = "REGEDIT.EXE /S \"" + o.files[0] + "\"";
  DWORD code = 1;
  if (!RunAndWait(command.c_str(), &code)) std::cerr << "twgstore: cannot start REGEDIT.EXE\n";
  ReleaseMutex(mutex);
  return code == 0 ? kOk : kBadInput;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsageText;
      return kOk;
    } else if (arg == "-c" || arg == "--codepage") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      o.code_page = std::atoi(argv[++i]);
    } else if (arg == "-p" || arg == "--prefix" || arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      (arg[1] == 'p' || arg == "--prefix" ? o.prefix : o.output) = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      o.files.push_back(arg);
    }
  }
  if (o.command.empty()) return Usage("no command");
#ifdef _WIN32
  if (o.command == "import") return o.files.size() == 1 ? Import(o) : Usage("import takes one export file");
#endif
  if (o.command != "decode" && o.command != "verify" && o.command != "encode") {
    return Usage("unknown command " + o.command);
  }
  if (o.files.size() != 2) return Usage(o.command + " takes SR.DAT and EXPORT");
  if (o.command == "decode") return Decode(o);
  if (o.command == "verify") return Verify(o);
  return Encode(o);
}
