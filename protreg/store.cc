#include "protreg/store.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "frame/handles.h"
#include "protreg/codec/key_info.h"

namespace twg {
namespace {

constexpr char kStoreKeyFile[] = "\\SR.dat";
constexpr char kPrefixKey[] = "Software\\Veltrane\\VelReg";
constexpr DWORD kPrefixPoolSize = 1024;

struct StoreKeyFile {
  bool half_read = false;  // both reads returned their full length
  bool enabled = false;    // the flag was read whole and is non-zero
  KeyHalf half{};
};

struct KeyedCodec {
  bool available = false;
  ValueCodec codec{StoreKey{}};
};

struct RecordName {
  bool available = false;
  std::string encoded;
};

OnceCell<StoreKeyFile> key_file_cell;
OnceCell<KeyedCodec> codec_cell;
OnceCell<LONG> random_cell;  // the generator's state word
OnceCell<PrefixList> prefix_cell;
OnceCell<RecordName> record_name_cell;
volatile LONG creation_allowance = 0;

std::uint32_t SecondsNow() {
  SYSTEMTIME now;
  FILETIME ft;
  GetSystemTime(&now);
  SystemTimeToFileTime(&now, &ft);
  ULONGLONG ticks = (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  return static_cast<std::uint32_t>(ticks / 10000000ULL - 11644473600ULL);
}

void ReadKeyFile(StoreKeyFile& out) {
  ScopedStdioFile file(std::fopen(StoreKeyFilePath().c_str(), "rb"));
  if (!file.valid()) return;
  std::uint8_t flag[4];
  if (std::fread(flag, 1, sizeof flag, file) != sizeof flag) return;
  out.enabled = (flag[0] | flag[1] | flag[2] | flag[3]) != 0;
  out.half_read = std::fread(out.half.data(), 1, out.half.size(), file) == out.half.size();
}

// The whole file as it is now, or false when it can't be opened.
bool ReadFileBytes(const std::string& path, std::string* bytes) {
  ScopedStdioFile file(std::fopen(path.c_str(), "rb"));
  if (!file.valid()) return false;
  char buffer[64];
  bytes->clear();
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes->append(buffer, n);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  ScopedStdioFile file(std::fopen(path.c_str(), "wb"));
  return file.valid() && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

StoreKeyFile& KeyFile() { return key_file_cell.Get(ReadKeyFile); }

KeyedCodec& Codec() {
  return codec_cell.Get([](KeyedCodec& out) {
    const StoreKeyFile& file = KeyFile();
    if (!file.half_read) return;
    out.codec.Rekey(MakeStoreKey(file.half));
    out.available = true;
  });
}

void EncodeRecordName(RecordName& out) {
  const KeyedCodec& keyed = Codec();
  out.available = keyed.available && keyed.codec.EncodeName(kKeyInfoName, &out.encoded);
}

RecordName& Record() { return record_name_cell.Get(EncodeRecordName); }

void ReadPrefixes(PrefixList& list) {
  static char pool[kPrefixPoolSize];
  ScopedRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrefixKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS) {
    DWORD used = 0;
    for (int i = 1; i <= static_cast<int>(PrefixList::kMaxPrefixes); ++i) {
      char name[32];
      wsprintfA(name, "SpecialPath%d", i);
      DWORD size = kPrefixPoolSize - used;
      if (size == 0 ||
          RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(pool + used), &size) !=
              ERROR_SUCCESS) {
        break;
      }
      // Each value is expected to end with its NUL; one that doesn't is cut at the data's end.
      const void* end = std::memchr(pool + used, '\0', size);
      list.Add(std::string_view(pool + used, end ? static_cast<const char*>(end) - (pool + used) : size));
      used += size;
    }
  }
  if (list.size() == 0) list.Add(PrefixList::kDefault);
}

}  // namespace

bool StoreEnabled() { return KeyFile().enabled; }

const ValueCodec* StoreCodec() {
  const KeyedCodec& keyed = Codec();
  return keyed.available ? &keyed.codec : nullptr;
}

const std::string* KeyInfoValueName() {
  const RecordName& record = Record();
  return record.available ? &record.encoded : nullptr;
}

const PrefixList& ProtectedPrefixes() {
  try {
    return prefix_cell.Get(ReadPrefixes);
  } catch (const std::bad_alloc&) {
    static const PrefixList none;
    return none;
  }
}

std::uint8_t RandomByte() {
  LONG& state = random_cell.Get([](LONG& seed) { seed = static_cast<LONG>(SecondsNow()); });
  LONG before, after;
  do {
    before = state;
    after = static_cast<LONG>(static_cast<std::uint32_t>(before) * 214013u + 2531011u);
  } while (InterlockedCompareExchange(&state, after, before) != before);
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(after) >> 16);
}

void RaiseCreationAllowance() { InterlockedIncrement(&creation_allowance); }
void LowerCreationAllowance() { InterlockedDecrement(&creation_allowance); }
bool CreationAllowed() { return InterlockedCompareExchange(&creation_allowance, 0, 0) != 0; }

std::string StoreKeyFilePath() {
  char folder[MAX_PATH] = {};
  UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) folder[0] = '\0';
  return std::string(folder) + kStoreKeyFile;
}

bool WriteStoreKeyFile(const KeyHalf& half) {
  const std::string path = StoreKeyFilePath();
  std::string before, after;
  const bool existed = ReadFileBytes(path, &before);
  std::string wanted("\1\0\0\0", 4);
  wanted.append(reinterpret_cast<const char*>(half.data()), half.size());
  if (!WriteFileBytes(path, wanted) || !ReadFileBytes(path, &after) || after != wanted) {
    if (existed) {
      WriteFileBytes(path, before);
    } else {
      DeleteFileA(path.c_str());
    }
    return false;
  }
  StoreKeyFile& file = KeyFile();
  file.half = half;
  file.half_read = true;
  file.enabled = true;
  KeyedCodec& keyed = Codec();
  keyed.codec.Rekey(MakeStoreKey(half));
  keyed.available = true;
  EncodeRecordName(Record());
  return true;
}

}  // namespace twg
