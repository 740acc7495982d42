// Blowfish (16 rounds, standard key schedule) in ECB mode over the store's block layout: each 8-byte
// block is two 32-bit halves read and written little-endian (bytes 0-3 left, 4-7 right). That layout is
// what the stored configuration was written with, so it differs from big-endian implementations.
// Windows-free.
#pragma once
#include <cstddef>
#include <cstdint>

namespace twg {

class Blowfish {
 public:
  static constexpr std::size_t kBlockSize = 8;

  // Keys the cipher: key bytes are taken cyclically, four at a time, most significant byte first, into
  // each P entry. key_size must be 1 to 56.
  void SetKey(const std::uint8_t* key, std::size_t key_size);

  // Both work in place on whole blocks; size must be a multiple of 8.
  void EncryptEcb(std::uint8_t* data, std::size_t size) const;
  void DecryptEcb(std::uint8_t* data, std::size_t size) const;

 private:
  std::uint32_t F(std::uint32_t x) const;
  void EncryptWords(std::uint32_t& left, std::uint32_t& right) const;
  void DecryptWords(std::uint32_t& left, std::uint32_t& right) const;

  std::uint32_t p_[18];
  std::uint32_t s_[4][256];
};

}  // namespace twg
