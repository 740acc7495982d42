#include "protreg/codec/blowfish.h"

#include <cstring>

#include "protreg/codec/blowfish_tables.h"

namespace twg {
namespace {

std::uint32_t LoadLittle(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void StoreLittle(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

inline std::uint32_t Blowfish::F(std::uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

// The sixteen rounds unrolled: every stored item passes through here block by block.
#define TWG_BF_ROUND(a, b, n) \
  do {                        \
    a ^= p_[n];               \
    b ^= F(a);                \
  } while (0)

inline void Blowfish::EncryptWords(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left, r = right;
  TWG_BF_ROUND(l, r, 0);
  TWG_BF_ROUND(r, l, 1);
  TWG_BF_ROUND(l, r, 2);
  TWG_BF_ROUND(r, l, 3);
  TWG_BF_ROUND(l, r, 4);
  TWG_BF_ROUND(r, l, 5);
  TWG_BF_ROUND(l, r, 6);
  TWG_BF_ROUND(r, l, 7);
  TWG_BF_ROUND(l, r, 8);
  TWG_BF_ROUND(r, l, 9);
  TWG_BF_ROUND(l, r, 10);
  TWG_BF_ROUND(r, l, 11);
  TWG_BF_ROUND(l, r, 12);
  TWG_BF_ROUND(r, l, 13);
  TWG_BF_ROUND(l, r, 14);
  TWG_BF_ROUND(r, l, 15);
  l ^= p_[16];
  r ^= p_[17];
  left = r;
  right = l;
}

inline void Blowfish::DecryptWords(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left, r = right;
  TWG_BF_ROUND(l, r, 17);
  TWG_BF_ROUND(r, l, 16);
  TWG_BF_ROUND(l, r, 15);
  TWG_BF_ROUND(r, l, 14);
  TWG_BF_ROUND(l, r, 13);
  TWG_BF_ROUND(r, l, 12);
  TWG_BF_ROUND(l, r, 11);
  TWG_BF_ROUND(r, l, 10);
  TWG_BF_ROUND(l, r, 9);
  TWG_BF_ROUND(r, l, 8);
  TWG_BF_ROUND(l, r, 7);
  TWG_BF_ROUND(r, l, 6);
  TWG_BF_ROUND(l, r, 5);
  TWG_BF_ROUND(r, l, 4);
  TWG_BF_ROUND(l, r, 3);
  TWG_BF_ROUND(r, l, 2);
  l ^= p_[1];
  r ^= p_[0];
  left = r;
  right = l;
}

void Blowfish::SetKey(const std::uint8_t* key, std::size_t key_size) {
  std::memcpy(p_, kBlowfishInitialP, sizeof p_);
  std::memcpy(s_, kBlowfishInitialS, sizeof s_);
  std::size_t k = 0;
  for (std::uint32_t& entry : p_) {
    std::uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word = word << 8 | key[k];
      k = (k + 1) % key_size;
    }
    entry ^= word;
  }
  std::uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    EncryptWords(l, r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      EncryptWords(l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  }
}

void Blowfish::EncryptEcb(std::uint8_t* data, std::size_t size) const {
  for (std::size_t at = 0; at + kBlockSize <= size; at += kBlockSize) {
    std::uint32_t l = LoadLittle(data + at), r = LoadLittle(data + at + 4);
    EncryptWords(l, r);
    StoreLittle(data + at, l);
    StoreLittle(data + at + 4, r);
  }
}

void Blowfish::DecryptEcb(std::uint8_t* data, std::size_t size) const {
  for (std::size_t at = 0; at + kBlockSize <= size; at += kBlockSize) {
    std::uint32_t l = LoadLittle(data + at), r = LoadLittle(data + at + 4);
    DecryptWords(l, r);
    StoreLittle(data + at, l);
    StoreLittle(data + at + 4, r);
  }
}

}  // namespace twg
