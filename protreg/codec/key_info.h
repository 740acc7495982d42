// The integrity record every protected key carries: a value named by the encoded form of
// "CryptReg.KeyInfo" whose datum (binary form, inner type REG_BINARY) is 8 bytes, the key's subkey
// count and value count (the record included), both little-endian. Windows-free, shared with the
// offline tools.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protreg/codec/value_codec.h"

namespace twg {

inline constexpr char kKeyInfoName[] = "CryptReg.KeyInfo";
constexpr std::uint32_t kKeyInfoType = 3;  // REG_BINARY

struct KeyCounts {
  std::uint32_t subkeys = 0;
  std::uint32_t values = 0;
  bool operator==(const KeyCounts& o) const { return subkeys == o.subkeys && values == o.values; }
};

// The record written for a key with these counts: a key without values is about to get the record
// as its first, so 0 values are written as 1.
KeyCounts RecordToWrite(KeyCounts current);

std::array<std::uint8_t, 8> PackKeyInfo(KeyCounts counts);

// The stored datum of a record for a key with these counts.
[[nodiscard]] bool EncodeKeyInfo(const ValueCodec& codec, KeyCounts current, std::uint8_t random0,
                                 std::uint8_t random1, std::string* out);

// Decodes a stored record in place; fails on anything that is not an 8-byte record.
[[nodiscard]] bool DecodeKeyInfo(const ValueCodec& codec, std::uint8_t* stored, std::size_t length,
                                 KeyCounts* counts);

// True when name is "CryptReg.KeyInfo" in any case: callers may not touch the record by name.
bool IsKeyInfoName(std::string_view name);

}  // namespace twg
