// Value protection: how the store turns key-name components, value names and value data into their
// stored forms and back. Every item is padded to whole cipher blocks, enciphered, and sealed with the
// SHA-1 digest of (ciphertext, store key); names and string-form data are then put into text form.
//
//   sealed item = seal (20 bytes) + ciphertext (p bytes, p = padded plain length)
//   datum record = 2 random bytes + inner type (4 bytes, little-endian) + the caller's data
//
// Windows-free, so the offline tools share it. Decoding works in place in the caller's buffer and
// never reads outside [stored, stored + length).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/mbcs.h"
#include "protreg/codec/blowfish.h"
#include "protreg/store_key.h"

namespace twg {

// Padded length: 1 to 8 bytes are always added.
constexpr std::size_t PaddedLength(std::size_t n) { return (n & ~std::size_t{7}) + 8; }
// Characters of an encoded name (key-name component or value name) of n plain bytes; 0 stays 0 only
// for value names, which the caller handles.
constexpr std::size_t EncodedNameLength(std::size_t n) { return (20 + PaddedLength(n) + 2) / 3 * 4; }
// Bytes of an encoded datum of n data bytes; the string form counts its terminating NUL.
constexpr std::size_t EncodedDatumLength(std::size_t n, bool string_form) {
  return string_form ? (20 + PaddedLength(n + 6) + 2) / 3 * 4 + 1 : 20 + PaddedLength(n + 6);
}

class ValueCodec {
 public:
  explicit ValueCodec(const StoreKey& key) { Rekey(key); }
  // Replaces the key (a new random half was written).
  void Rekey(const StoreKey& key);
  const StoreKey& key() const { return key_; }

  // Key-name component or value name: the text form of the sealed item (same input, same output). The
  // value-name rule keeps an empty name empty. False only when memory runs out.
  [[nodiscard]] bool EncodeName(std::string_view plain, std::string* out) const;
  [[nodiscard]] bool EncodeValueName(std::string_view plain, std::string* out) const;

  // Copies the part of subkey before `start` unchanged and replaces every backslash-separated
  // component after it by its encoded form; separators (and empty components) stay as they are.
  [[nodiscard]] bool EncodeKeyPath(const LeadBytes& lead, std::string_view subkey, std::size_t start,
                                   std::string* out) const;

  // A datum record sealed as is (binary form) or in text form with a terminating NUL (string form).
  // random0 and random1 are the record's two leading bytes.
  [[nodiscard]] bool EncodeDatum(const void* data, std::size_t size, std::uint32_t type,
                                 bool string_form, std::uint8_t random0, std::uint8_t random1,
                                 std::string* out) const;

  // In place: on success *plain points into stored and holds *plain_size bytes (not NUL-terminated).
  [[nodiscard]] bool DecodeName(char* stored, std::size_t length, const char** plain,
                                std::size_t* plain_size) const;
  // As DecodeName, but an empty stored name is the empty (unnamed) value name.
  [[nodiscard]] bool DecodeValueName(char* stored, std::size_t length, const char** plain,
                                     std::size_t* plain_size) const;
  // In place: the caller's data, their size and the inner type.
  [[nodiscard]] bool DecodeDatum(std::uint8_t* stored, std::size_t length, bool string_form,
                                 const std::uint8_t** data, std::size_t* data_size,
                                 std::uint32_t* type) const;
  // The same on a copy: the caller's stored bytes stay as they are.
  [[nodiscard]] bool DecodeDatumCopy(std::string_view stored, bool string_form, std::string* data,
                                     std::uint32_t* type) const;

 private:
  // item holds a 20-byte gap and n plain bytes, with room for the padding: pads, enciphers and writes
  // the seal into the gap.
  void SealItem(std::uint8_t* item, std::size_t n) const;
  // Builds the text form of the sealed plain bytes in out[at, at + EncodedNameLength(n)).
  void WriteEncodedName(std::string_view plain, std::string* out, std::size_t at) const;
  // Checks and strips the seal and the padding of a decoded sealed item; the plain bytes start at
  // item + 20.
  bool Unseal(std::uint8_t* item, std::size_t size, std::size_t* plain_size) const;

  StoreKey key_{};
  Blowfish cipher_;
};

}  // namespace twg
