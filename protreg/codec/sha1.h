// SHA-1 (FIPS 180-1), the digest of the store's seal. Windows-free.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace twg {

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1 {
 public:
  // use_hardware false keeps to the portable rounds even where the processor has SHA extensions (the
  // tests check both paths against each other).
  explicit Sha1(bool use_hardware = true);
  void Update(const void* data, std::size_t size);
  Sha1Digest Final();

 private:
  void Block(const std::uint8_t* block);

  std::uint32_t h_[5];
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t total_ = 0;
  bool use_hardware_;
};

}  // namespace twg
