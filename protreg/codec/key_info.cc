#include "protreg/codec/key_info.h"

namespace twg {

KeyCounts RecordToWrite(KeyCounts current) {
  if (current.values == 0) current.values = 1;
  return current;
}

std::array<std::uint8_t, 8> PackKeyInfo(KeyCounts counts) {
  std::array<std::uint8_t, 8> record{};
  for (int i = 0; i < 4; ++i) {
    record[i] = static_cast<std::uint8_t>(counts.subkeys >> (8 * i));
    record[4 + i] = static_cast<std::uint8_t>(counts.values >> (8 * i));
  }
  return record;
}

bool EncodeKeyInfo(const ValueCodec& codec, KeyCounts current, std::uint8_t random0, std::uint8_t random1,
                   std::string* out) {
  std::array<std::uint8_t, 8> record = PackKeyInfo(RecordToWrite(current));
  return codec.EncodeDatum(record.data(), record.size(), kKeyInfoType, false, random0, random1, out);
}

bool DecodeKeyInfo(const ValueCodec& codec, std::uint8_t* stored, std::size_t length, KeyCounts* counts) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint32_t type = 0;
  if (!codec.DecodeDatum(stored, length, false, &data, &size, &type) || size != 8) return false;
  counts->subkeys = std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16 |
                    std::uint32_t{data[3]} << 24;
  counts->values = std::uint32_t{data[4]} | std::uint32_t{data[5]} << 8 | std::uint32_t{data[6]} << 16 |
                   std::uint32_t{data[7]} << 24;
  return true;
}

bool IsKeyInfoName(std::string_view name) {
  std::string_view want = kKeyInfoName;
  if (name.size() != want.size()) return false;
  for (std::size_t i = 0; i < want.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    char w = want[i];
    if (w >= 'A' && w <= 'Z') w = static_cast<char>(w - 'A' + 'a');
    if (c != w) return false;
  }
  return true;
}

}  // namespace twg
