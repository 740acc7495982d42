#include "tools/twgstore/store_export.h"

#include <map>

#include "protreg/codec/key_info.h"
#include "protreg/codec/key_path.h"

namespace twg {
namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Number of direct subkeys each key has in the export, by lower-cased path.
std::map<std::string, std::uint32_t> ChildCounts(const LeadBytes& lead, const RegExport& file) {
  std::map<std::string, std::uint32_t> counts;
  for (const auto& key : file.keys) {
    if (key.remove) continue;
    std::size_t cut = FindLastSeparator(lead, key.path);
    if (cut != std::string::npos) ++counts[Lower(key.path.substr(0, cut))];
  }
  return counts;
}

std::uint32_t CountOf(const std::map<std::string, std::uint32_t>& counts, const std::string& path) {
  auto it = counts.find(Lower(path));
  return it == counts.end() ? 0 : it->second;
}

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
  const bool string_form = stored.is_default;
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
  auto children = ChildCounts(lead_, stored);
  for (const auto& key : stored.keys) {
    if (!Covered(key.path) || key.remove) continue;
    std::string path;
    if (!DecodePath(key.path, &path)) {
      report.problems.push_back({key.line, path, "key name does not decode: its seal does not verify"});
      continue;
    }
    bool record_seen = false;
    for (const auto& value : key.values) {
      RegExportValue decoded;
      bool is_record = false;
      ++report.sealed_items;
      if (!DecodeValue(value, &decoded, &is_record)) {
        report.problems.push_back({value.line, path, "value \"" + value.name + "\": seal does not verify"});
        continue;
      }
      ++report.verified_items;
      if (!is_record) continue;
      record_seen = true;
      KeyCounts recorded, actual{CountOf(children, key.path), static_cast<std::uint32_t>(key.values.size())};
      std::string datum = value.data;
      if (decoded.data.size() != 8 ||
          !DecodeKeyInfo(codec_, reinterpret_cast<std::uint8_t*>(&datum[0]), datum.size(), &recorded)) {
        report.problems.push_back({value.line, path, "integrity record is not an 8-byte record"});
      } else if (!(recorded == actual)) {
        report.problems.push_back(
            {value.line, path,
             "integrity record says " + std::to_string(recorded.subkeys) + " subkeys and " +
                 std::to_string(recorded.values) + " values, the export holds " + std::to_string(actual.subkeys) +
                 " and " + std::to_string(actual.values)});
      }
    }
    if (!record_seen) report.problems.push_back({key.line, path, "key has no integrity record"});
  }
  return report;
}

bool StoreExport::Encode(const RegExport& plain, const std::function<std::uint8_t()>& random, RegExport* stored,
                         std::string* message) const {
  *stored = RegExport();
  stored->format = plain.format;
  auto children = ChildCounts(lead_, plain);
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
    std::uint32_t values = 0;
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
        enc.type = value.is_default ? kRegSz : kRegBinary;
        std::uint8_t r0 = random(), r1 = random();
        if (!codec_.EncodeDatum(value.data.data(), value.data.size(), value.type, value.is_default, r0, r1,
                                &enc.data)) {
          return fail(value.line, "out of memory");
        }
        ++values;
      }
      out.values.push_back(std::move(enc));
    }
    if (!key.remove) {
      RegExportValue record;
      record.line = key.line;
      record.type = kRegBinary;
      if (!codec_.EncodeValueName(kKeyInfoName, &record.name) ||
          !EncodeKeyInfo(codec_, {CountOf(children, key.path), values + 1}, random(), random(), &record.data)) {
        return fail(key.line, "out of memory");
      }
      out.values.insert(out.values.begin(), std::move(record));
    }
    stored->keys.push_back(std::move(out));
  }
  return true;
}

}  // namespace twg
