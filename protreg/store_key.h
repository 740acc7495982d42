// The store key: 20 bytes that key both the cipher and the seal. Bytes 0-9 are the per-machine random
// half from "SR.dat"; bytes 10-19 are the fixed half below, compiled into the library and into the
// offline tools. A store written with one fixed half can be read only with the same one, so this
// constant must never change once stores exist in the field. Windows-free.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace twg {

constexpr std::size_t kKeyHalfSize = 10;
constexpr std::size_t kStoreKeySize = 20;

using KeyHalf = std::array<std::uint8_t, kKeyHalfSize>;
using StoreKey = std::array<std::uint8_t, kStoreKeySize>;

inline constexpr KeyHalf kStoreKeyFixedHalf = {0x5B, 0xC2, 0x17, 0x9E, 0x40, 0xD3, 0x6A, 0x88, 0x21, 0xF4};

// The random half followed by the fixed half.
constexpr StoreKey MakeStoreKey(const KeyHalf& random_half) {
  StoreKey key{};
  for (std::size_t i = 0; i < kKeyHalfSize; ++i) {
    key[i] = random_half[i];
    key[kKeyHalfSize + i] = kStoreKeyFixedHalf[i];
  }
  return key;
}

}  // namespace twg
