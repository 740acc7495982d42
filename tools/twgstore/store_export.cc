#include "tools/twgstore/store_export.h"

#include <iterator>
#include <map>
#include <set>

#include "protreg/codec/key_info.h"
#include "protreg/codec/key_path.h"

namespace twg {
namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3;

// The registry compares key and value names without regard to case; only ASCII letters are folded,
// and never the trail byte of a double-byte character.
std::string Fold(const LeadBytes& lead, std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size(); i += CharSize(lead, out, i)) {
    if (out[i] >= 'A' && out[i] <= 'Z' && CharSize(lead, out, i) == 1) out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
  return out;
}

// What the registry holds once the export is imported into a tree without its keys: the sections of
// one key merged, value deletions and key deletions applied in file order, keys created on the way to
// a subkey included. The integrity records are kept apart from the values they count.
class ImportedTree {
 public:
  ImportedTree(const LeadBytes& lead, const RegExport& file, const std::string& record_name) : lead_(lead) {
    const std::string record = Fold(lead, record_name);
    for (const auto& key : file.keys) {
      std::string path = Fold(lead, key.path);
      if (key.remove) {
        RemoveTree(path);
        continue;
      }
      Key& state = keys_[path];
      for (const auto& value : key.values) {
        // The unnamed value and a value named "" are one value.
        std::string name = value.is_default ? std::string() : Fold(lead, value.name);
        if (name == record) state.record = !value.remove;
        else if (value.remove) state.values.erase(name);
        else state.values.insert(name);
      }
    }
    for (const auto& entry : keys_) {
      for (std::string at = entry.first; !at.empty(); at = Parent(at)) {
        if (!all_.insert(at).second) break;
        std::string parent = Parent(at);
        if (!parent.empty()) ++children_[parent];
      }
    }
  }

  bool Exists(const std::string& path) const { return keys_.count(Fold(lead_, path)) != 0; }
  bool HasRecord(const std::string& path) const {
    auto it = keys_.find(Fold(lead_, path));
    return it != keys_.end() && it->second.record;
  }
  // Values without the record.
  KeyCounts Counts(const std::string& path) const {
    std::string folded = Fold(lead_, path);
    auto key = keys_.find(folded);
    auto children = children_.find(folded);
    return {children == children_.end() ? 0 : children->second,
            key == keys_.end() ? 0 : static_cast<std::uint32_t>(key->second.values.size())};
  }
  // The length of the nearest key above path that the import creates only on the way to path although
  // a key further up has a section of its own (a gap in the export); 0 when there is none.
  std::size_t Gap(const std::string& path) const {
    std::size_t gap = 0;
    for (std::string at = Parent(Fold(lead_, path)); !at.empty(); at = Parent(at)) {
      if (keys_.count(at)) return gap;
      if (gap == 0) gap = at.size();
    }
    return 0;
  }

 private:
  struct Key {
    std::set<std::string> values;
    bool record = false;
  };

  std::string Parent(const std::string& path) const {
    std::size_t cut = FindLastSeparator(lead_, path);
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
  }

  void RemoveTree(const std::string& top) {
    for (auto it = keys_.begin(); it != keys_.end();) {
      bool within = false;
      for (std::string at = it->first; !within && at.size() >= top.size(); at = Parent(at)) within = at == top;
      it = within ? keys_.erase(it) : std::next(it);
    }
  }

  const LeadBytes& lead_;
  std::map<std::string, Key> keys_;  // keys with a section, by folded path
  std::set<std::string> all_;        // and every key above them
  std::map<std::string, std::uint32_t> children_;
};

}  // namespace

bool ParseStoreSeed(std::string_view file, StoreSeed* seed, std::string* message) {
  if (file.size() != kStoreSeedFileSize) {
    *message = "SR.dat holds " + std::to_string(file.size()) + " bytes, a store seed holds " +
               std::to_string(kStoreSeedFileSize);
    return false;
  }
  seed->enable_flag = 0;
  for (int i = 3; i >= 0; --i) seed->enable_flag = seed->enable_flag << 8 | static_cast<unsigned char>(file[i]);
  for (std::size_t i = 0; i < kKeyHalfSize; ++i) seed->key_half[i] = static_cast<std::uint8_t>(file[4 + i]);
  return true;
}

std::string FormatStoreSeed(const StoreSeed& seed) {
  std::string file;
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(seed.enable_flag >> (8 * i) & 0xFF));
  for (std::uint8_t b : seed.key_half) file.push_back(static_cast<char>(b));
  return file;
}

bool StoreExport::Covered(const std::string& path) const { return IsUnderPrefix(path, prefix_); }

bool StoreExport::DecodePath(const std::string& stored, std::string* plain) const {
  *plain = stored.substr(0, prefix_.size());
  std::size_t at = prefix_.size();
  while (at < stored.size()) {
    if (stored[at] == '\\') {
      *plain += '\\';
      ++at;
      continue;
    }
    std::size_t end = FindSeparator(lead_, stored, at);
    std::string component = stored.substr(at, end - at);
    const char* text = nullptr;
    std::size_t size = 0;
    if (!codec_.DecodeName(&component[0], component.size(), &text, &size)) {
      *plain += "<undecodable>" + stored.substr(at);
      return false;
    }
    plain->append(text, size);
    at = end;
  }
  return true;
}

bool StoreExport::DecodeValue(const RegExportValue& stored, RegExportValue* plain, bool* is_record) const {
  *plain = stored;
  *is_record = false;
  if (!stored.is_default) {
    std::string name = stored.name;
    const char* text = nullptr;
    std::size_t size = 0;
    if (!codec_.DecodeValueName(&name[0], name.size(), &text, &size)) return false;
    plain->name.assign(text, size);
    *is_record = IsKeyInfoName(plain->name);
  }
  if (stored.remove) return true;
  // Named values are stored as REG_BINARY datum records, the unnamed value as their text form.
  // "" is the unnamed value too, and the store reads it in string form.
  const bool string_form = stored.is_default || stored.name.empty();
  if (stored.type != (string_form ? kRegSz : kRegBinary)) return false;
  return codec_.DecodeDatumCopy(stored.data, string_form, &plain->data, &plain->type);
}

RegExport StoreExport::Decode(const RegExport& stored, StoreExportReport* report) const {
  RegExport plain;
  plain.format = stored.format;
  for (const auto& key : stored.keys) {
    if (!Covered(key.path)) {
      plain.keys.push_back(key);
      continue;
    }
    ++report->keys_checked;
    RegExportKey out;
    out.line = key.line;
    out.remove = key.remove;
    if (!DecodePath(key.path, &out.path)) {
      report->problems.push_back({key.line, out.path, "key name does not decode (tampered, or another SR.dat)"});
      continue;
    }
    for (const auto& value : key.values) {
      RegExportValue decoded;
      bool is_record = false;
      ++report->sealed_items;
      if (!DecodeValue(value, &decoded, &is_record)) {
        report->problems.push_back({value.line, out.path, "value \"" + value.name + "\" does not decode"});
        continue;
      }
      ++report->verified_items;
      if (!is_record) out.values.push_back(std::move(decoded));
    }
    plain.keys.push_back(std::move(out));
  }
  return plain;
}

StoreExportReport StoreExport::Verify(const RegExport& stored) const {
  StoreExportReport report;
  std::string record_name;
  if (!codec_.EncodeValueName(kKeyInfoName, &record_name)) {
    report.problems.push_back({0, prefix_, "out of memory"});
    return report;
  }
  ImportedTree tree(lead_, stored, record_name);
  std::set<std::string> reported;  // keys whose missing record or section is already named
  for (const auto& key : stored.keys) {
    if (!Covered(key.path)) continue;
    ++report.keys_checked;
    std::string path;
    if (!DecodePath(key.path, &path)) {
      report.problems.push_back({key.line, path, "key name does not decode: its seal does not verify"});
      continue;
    }
    if (key.remove) continue;  // a key deletion carries no record
    if (std::size_t gap = tree.Gap(key.path); gap != 0 && Covered(key.path.substr(0, gap)) &&
                                              reported.insert(key.path.substr(0, gap)).second) {
      std::string missing;
      DecodePath(key.path.substr(0, gap), &missing);
      report.problems.push_back({key.line, missing, "the import creates this key on the way to its subkey [" + path +
                                                        "], but the export has no section for it: it gets no "
                                                        "integrity record"});
    }
    KeyCounts actual = tree.Counts(key.path);
    ++actual.values;  // the record itself
    for (const auto& value : key.values) {
      RegExportValue decoded;
      bool is_record = false;
      ++report.sealed_items;
      if (!DecodeValue(value, &decoded, &is_record)) {
        report.problems.push_back({value.line, path, "value \"" + value.name + "\": seal does not verify"});
        continue;
      }
      ++report.verified_items;
      // A key that a later section deletes is not in the registry after the import: nothing to count.
      if (!is_record || value.remove || !tree.Exists(key.path)) continue;
      KeyCounts recorded;
      std::string datum = value.data;
      if (decoded.data.size() != 8 ||
          !DecodeKeyInfo(codec_, reinterpret_cast<std::uint8_t*>(&datum[0]), datum.size(), &recorded)) {
        report.problems.push_back({value.line, path, "integrity record is not an 8-byte record"});
      } else if (!(recorded == actual)) {
        report.problems.push_back(
            {value.line, path,
             "integrity record says " + std::to_string(recorded.subkeys) + " subkeys and " +
                 std::to_string(recorded.values) + " values, the key holds " + std::to_string(actual.subkeys) +
                 " and " + std::to_string(actual.values) + " once the export is imported"});
      }
    }
    if (tree.Exists(key.path) && !tree.HasRecord(key.path) && reported.insert(Fold(lead_, key.path)).second) {
      report.problems.push_back({key.line, path, "key has no integrity record"});
    }
  }
  return report;
}

bool StoreExport::Encode(const RegExport& plain, const std::function<std::uint8_t()>& random, RegExport* stored,
                         std::string* message) const {
  *stored = RegExport();
  stored->format = plain.format;
  auto fail = [message](int line, const std::string& what) {
    *message = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  for (const auto& key : plain.keys) {
    if (!Covered(key.path)) {
      stored->keys.push_back(key);
      continue;
    }
    RegExportKey out;
    out.line = key.line;
    out.remove = key.remove;
    if (!codec_.EncodeKeyPath(lead_, key.path, prefix_.size(), &out.path)) return fail(key.line, "out of memory");
    for (const auto& value : key.values) {
      if (!value.is_default && IsKeyInfoName(value.name)) {
        return fail(value.line, "\"CryptReg.KeyInfo\" is the store's own record and is written by the encoder");
      }
      RegExportValue enc;
      enc.line = value.line;
      enc.is_default = value.is_default;
      enc.remove = value.remove;
      if (!value.is_default && !codec_.EncodeValueName(value.name, &enc.name)) return fail(value.line, "out of memory");
      if (!value.remove) {
        const bool string_form = value.is_default || value.name.empty();
        enc.type = string_form ? kRegSz : kRegBinary;
        std::uint8_t r0 = random(), r1 = random();
        if (!codec_.EncodeDatum(value.data.data(), value.data.size(), value.type, string_form, r0, r1,
                                &enc.data)) {
          return fail(value.line, "out of memory");
        }
      }
      out.values.push_back(std::move(enc));
    }
    stored->keys.push_back(std::move(out));
  }
  // The records count what the registry holds after the import, so they are written once every
  // section is known; each section of a key gets the same counts.
  std::string record_name;
  if (!codec_.EncodeValueName(kKeyInfoName, &record_name)) return fail(0, "out of memory");
  ImportedTree tree(lead_, *stored, record_name);
  for (std::size_t k = 0; k < stored->keys.size(); ++k) {
    RegExportKey& key = stored->keys[k];
    if (!Covered(key.path) || key.remove) continue;
    if (std::size_t gap = tree.Gap(key.path); gap != 0 && Covered(key.path.substr(0, gap))) {
      std::string missing;
      DecodePath(key.path.substr(0, gap), &missing);
      return fail(key.line, "[" + plain.keys[k].path + "] lies below [" + missing +
                                "], which has no section of its own: add it, every key of the store needs its "
                                "integrity record");
    }
    KeyCounts counts = tree.Counts(key.path);
    RegExportValue record;
    record.line = key.line;
    record.type = kRegBinary;
    record.name = record_name;
    if (!EncodeKeyInfo(codec_, {counts.subkeys, counts.values + 1}, random(), random(), &record.data)) {
      return fail(key.line, "out of memory");
    }
    key.values.insert(key.values.begin(), std::move(record));
  }
  return true;
}

}  // namespace twg
