// Backup exports of the protected store, read and written offline: decoding a stored export into
// plain words, verifying every record and seal in it, and encoding an edited plain export so that the
// registry editor can import it into the store. Windows-free; shares the store's own codec.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/mbcs.h"
#include "tools/twgstore/reg_export.h"
#include "protreg/codec/value_codec.h"

namespace twg {

inline constexpr char kDefaultStorePrefix[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD";

// "SR.dat": the enable flag and the random key half.
struct StoreSeed {
  std::uint32_t enable_flag = 0;
  KeyHalf key_half{};
};
constexpr std::size_t kStoreSeedFileSize = 14;
// False with a message when the file is not exactly the 14 bytes of a seed.
[[nodiscard]] bool ParseStoreSeed(std::string_view file, StoreSeed* seed, std::string* message);
std::string FormatStoreSeed(const StoreSeed& seed);

struct StoreProblem {
  int line = 0;
  std::string key;  // the key's path, decoded as far as it decodes
  std::string message;
};

struct StoreExportReport {
  std::vector<StoreProblem> problems;
  int keys_checked = 0;    // sections below the prefix: none means the prefix matched nothing
  int sealed_items = 0;    // names and data that carried a seal
  int verified_items = 0;  // of those, the ones whose seal verified
};

class StoreExport {
 public:
  StoreExport(const ValueCodec& codec, LeadBytes lead, std::string prefix = kDefaultStorePrefix)
      : codec_(codec), lead_(lead), prefix_(std::move(prefix)) {}

  // Keys below the prefix get their path, value names and data decoded (data with their inner types);
  // the integrity records are left out. An item that does not decode is reported and left out.
  RegExport Decode(const RegExport& stored, StoreExportReport* report) const;

  // Every name's and datum's seal, and every key's record against the counts the key has once the
  // export is imported into a tree without it: sections of one key (names compared without regard to
  // case) merged, value and key deletions applied in file order, keys created on the way to a subkey
  // counted. A key the import would create without a section of its own is reported.
  StoreExportReport Verify(const RegExport& stored) const;

  // The reverse of Decode: names, data and paths below the prefix encoded, and every section of a key
  // given the record of its counts as Verify takes them. random() supplies the two random bytes of each
  // datum. Refuses a value named "CryptReg.KeyInfo" and a key below the prefix that would be created
  // without a section of its own, with the line.
  [[nodiscard]] bool Encode(const RegExport& plain, const std::function<std::uint8_t()>& random,
                            RegExport* stored, std::string* message) const;

 private:
  bool Covered(const std::string& path) const;
  bool DecodePath(const std::string& stored, std::string* plain) const;
  // A stored value: false when it does not decode; is_record tells the integrity record apart.
  bool DecodeValue(const RegExportValue& stored, RegExportValue* plain, bool* is_record) const;

  const ValueCodec& codec_;
  LeadBytes lead_;
  std::string prefix_;
};

}  // namespace twg
