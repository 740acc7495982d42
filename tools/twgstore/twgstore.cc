// twgstore: read, verify and re-seal backup exports of the protected configuration store offline.
//
//   twgstore decode [-p PREFIX] [-o OUT] SR.DAT EXPORT   plain registry export of a stored one
//   twgstore verify [-p PREFIX] SR.DAT EXPORT            check every record and seal
//   twgstore encode [-p PREFIX] [-o OUT] SR.DAT EXPORT   seal an edited plain export for import
//   twgstore import EXPORT                               (Windows) import under the backup mutex
//
// Exit status: 0 success; 1 the export holds items that fail their check, or nothing below the prefix
// to work on; 2 usage (an output that is one of the inputs among it); 3 an input that cannot be read
// (missing file, malformed export, wrong-sized SR.dat) or an export that cannot be written back;
// 4 the output could not be written (nothing of it is left behind).
#include <algorithm>
#include <cerrno>
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
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "frame/handles.h"
#include "frame/process.h"
#include "frame/system_functions.h"
#include "versions/global_names.h"
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace twg;

constexpr int kOk = 0, kProblems = 1, kUsage = 2, kBadInput = 3, kNotWritten = 4;

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
    "  -c, --codepage N     the ANSI code page of a REGEDIT4 export and of the names: 932, 936, 949,\n"
    "                       950 (double-byte), 874, 1250 to 1258 (single-byte); default: the system's on\n"
    "                       Windows, single-byte elsewhere\n"
    "  -h, --help           this text\n"
    "\n"
    "Both export formats are read (REGEDIT4 in the ANSI code page, version 5.00 in UTF-16LE); the\n"
    "output has the format of the input.\n"
    "The output must not be one of the inputs; it replaces its file only once completely written.\n"
    "exit status: 0 success, 1 items failed their check or nothing below the prefix, 2 usage error,\n"
    "3 unreadable input, 4 the output could not be written\n";

constexpr int kSystemCodePage = -1;

struct Options {
  std::string command, prefix = kDefaultStorePrefix, output;
  int code_page = kSystemCodePage;  // the system's (Windows) or single-byte (elsewhere)
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

bool WriteStdout(const std::string& data) {
  return std::fwrite(data.data(), 1, data.size(), stdout) == data.size() && std::fflush(stdout) == 0 &&
         !std::ferror(stdout);
}

#ifdef _WIN32
bool WriteWhole(HANDLE file, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
    if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// Same volume and file index: one file whatever the names (short names, other spellings). Both
// functions are on Windows 95 and NT 4.0.
bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    ScopedHandle file(CreateFileA(paths[i]->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || !GetFileInformationByHandle(file, &info[i])) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Replaces target by temp. MoveFileExA does it in one step on NT; Windows 95 has no working
// MoveFileExA, so there the old file is moved aside first and put back if the new one cannot follow.
bool ReplaceTarget(const std::string& temp, const std::string& target) {
  using MoveFileExFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto move_ex = LoadedFunction<MoveFileExFn>("kernel32.dll", "MoveFileExA");
  if (move_ex && move_ex(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (move_ex && GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) return MoveFileA(temp.c_str(), target.c_str());
  std::string aside = target + ".old";
  DeleteFileA(aside.c_str());
  if (!MoveFileA(target.c_str(), aside.c_str())) return false;
  if (!MoveFileA(temp.c_str(), target.c_str())) {
    MoveFileA(aside.c_str(), target.c_str());
    return false;
  }
  DeleteFileA(aside.c_str());
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
  {
    // A device (NUL, CON, a printer port) is written as it is: there is no file to replace.
    ScopedHandle existing(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (existing.valid() && GetFileType(existing) != FILE_TYPE_DISK) return WriteWhole(existing, data);
  }
  char full[MAX_PATH], *name = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, &name);
  if (length == 0 || length >= sizeof full || name == nullptr) return false;
  std::string folder(full, name), target(full);
  char temp[MAX_PATH];
  if (!GetTempFileNameA(folder.c_str(), "twg", 0, temp)) return false;
  bool ok;
  {
    ScopedHandle file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ok = file.valid() && WriteWhole(file, data) && FlushFileBuffers(file);
    if (ok) ok = CloseHandle(file.release()) != 0;
  }
  if (ok && ReplaceTarget(temp, target)) return true;
  DWORD error = GetLastError();
  DeleteFileA(temp);
  SetLastError(error);
  return false;
}

std::string LastError() { return "error " + std::to_string(GetLastError()); }
#else
bool WriteWhole(int fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Same device and inode, links followed.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
  // Through a symbolic link the file it names is replaced, so the link stays a link.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat old;
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    // A device, a pipe or a terminal is written as it is: there is no file to replace.
    int fd = ::open(target.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool ok = WriteWhole(fd, data);
    return ::close(fd) == 0 && ok;
  }
  std::string temp = target + ".twgstore-XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) return false;
  mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : (0666 & ~mask)) == 0 && WriteWhole(fd, data) &&
            ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) return true;
  int error = errno;
  ::unlink(temp.c_str());
  errno = error;
  return false;
}

std::string LastError() { return std::strerror(errno); }
#endif

// The whole output or nothing: a file is written beside its target and takes the target's place only
// once every byte is written and the file closed without error.
bool WriteOutput(const std::string& path, const std::string& data) {
  if (path.empty() || path == "-") return WriteStdout(data);
  return WriteFileAtomically(path, data);
}

// The lead bytes of the code page the export's names were written in; the store's own names are ASCII.
LeadBytes ExportLeadBytes(int code_page) {
  if (code_page != kSystemCodePage) {
    LeadBytes lead;
    CodePageLeadBytes(code_page, &lead);  // the command line took only supported ones
    return lead;
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

// kOk, or the status of the failure after its message.
int WriteExport(const Options& o, const RegExport& file, const CodePage& code_page) {
  std::string text;
  if (!WriteRegExport(file, code_page, &text)) {
    std::cerr << "twgstore: a key path or value name cannot be written in this export's format and code page "
                 "(a line break, or a name ending in a lead byte); nothing written\n";
    return kBadInput;
  }
  if (WriteOutput(o.output, text)) return kOk;
  std::string why = LastError();  // before the message's own writes change it
  if (o.output.empty() || o.output == "-") {
    std::cerr << "twgstore: cannot write standard output: " << why << "\n";
  } else {
    std::cerr << "twgstore: cannot write " << o.output << ": " << why << "; nothing written\n";
  }
  return kNotWritten;
}

// True (after saying so) when no key of the export lies below the prefix: the command did nothing the
// engineer asked for.
bool NothingBelowPrefix(const Options& o, const StoreExportReport& report) {
  if (report.keys_checked > 0) return false;
  std::cerr << "twgstore: " << o.files[1] << ": no key lies below " << o.prefix
            << ": nothing to check (another -p PREFIX, or an export cut short?)\n";
  return true;
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
    if (NothingBelowPrefix(o, report)) return kProblems;
    PrintProblems(o.files[1], report);
    // With another machine's SR.dat every value would be left out: such a decode must not replace an
    // earlier, good one.
    if (report.sealed_items > 0 && report.verified_items == 0) {
      std::cerr << "twgstore: nothing decodes; nothing written\n";
      return kProblems;
    }
    if (int status = WriteExport(o, plain, opened.code_page); status != kOk) return status;
    return report.problems.empty() ? kOk : kProblems;
  });
}

int Verify(const Options& o) {
  return WithStore(o, [&](const Opened& opened, const StoreExport& store) {
    StoreExportReport report = store.Verify(opened.in.file);
    if (NothingBelowPrefix(o, report)) return kProblems;
    PrintProblems(o.files[1], report);
    std::printf("%s: %d keys, %d of %d sealed items verify, %d problems\n", o.files[1].c_str(), report.keys_checked,
                report.verified_items, report.sealed_items, static_cast<int>(report.problems.size()));
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
    // What is about to be imported is checked as verify would check it.
    StoreExportReport report = store.Verify(stored);
    if (NothingBelowPrefix(o, report)) return kProblems;
    if (!report.problems.empty()) {
      PrintProblems(o.files[1], report);
      std::cerr << "twgstore: the sealed export does not verify; nothing written\n";
      return kProblems;
    }
    return WriteExport(o, stored, opened.code_page);
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

// Only the code pages the reader knows; anything else (65001, a typing error) would be read as
// single-byte without a word.
bool ParseCodePage(const std::string& text, int* code_page) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *code_page = std::atoi(text.c_str());
  LeadBytes lead;
  return CodePageLeadBytes(*code_page, &lead);
}

// The output may not be one of the inputs: a decode over the backup or over SR.dat would destroy the
// only copy.
bool OutputIsAnInput(const Options& o) {
  if (o.output.empty() || o.output == "-") return false;
  for (const auto& input : o.files) {
    if (SameFile(o.output, input)) {
      std::cerr << "twgstore: the output " << o.output << " is the input " << input
                << "; write to another file\n(try twgstore --help)\n";
      return true;
    }
  }
  return false;
}

int Run(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsageText, stdout);
      return kOk;
    } else if (arg == "-c" || arg == "--codepage") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      if (!ParseCodePage(argv[++i], &o.code_page)) return Usage("unsupported code page \"" + std::string(argv[i]) + "\"");
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
  if (OutputIsAnInput(o)) return kUsage;
  if (o.command == "decode") return Decode(o);
  if (o.command == "verify") return Verify(o);
  return Encode(o);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // the exports carry their own CR LF
#else
  // A full disk, a file-size limit or a closed pipe must come back as a failed write to be reported,
  // not end the process half way.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
#endif
  int status = Run(argc, argv);
  if (status != kNotWritten && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
    std::fputs("twgstore: cannot write standard output\n", stderr);
    if (status == kOk) status = kNotWritten;
  }
  return status;
}
