#include "protreg/sha1.h"

#include <cstring>

namespace twg {
namespace {

std::uint32_t Rotl(std::uint32_t v, int n) { return v << n | v >> (32 - n); }

}  // namespace

Sha1::Sha1() : h_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

// Unrolled rounds over a rolling 16-word schedule: the seal is computed for every stored item, so this
// is the store's hottest loop.
#define TWG_SHA1_W(i) \
  (w[(i) & 15] = Rotl(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i) & 15], 1))
#define TWG_SHA1_ROUND(a, b, c, d, e, f, k, wi) \
  do {                                          \
    e += Rotl(a, 5) + (f) + (k) + (wi);         \
    b = Rotl(b, 30);                            \
  } while (0)
#define TWG_SHA1_F1(b, c, d) (d ^ (b & (c ^ d)))
#define TWG_SHA1_F2(b, c, d) (b ^ c ^ d)
#define TWG_SHA1_F3(b, c, d) ((b & c) | (d & (b | c)))
#define TWG_SHA1_FIVE(f, k, i, wexpr)                           \
  TWG_SHA1_ROUND(a, b, c, d, e, f(b, c, d), k, wexpr(i));     \
  TWG_SHA1_ROUND(e, a, b, c, d, f(a, b, c), k, wexpr(i + 1)); \
  TWG_SHA1_ROUND(d, e, a, b, c, f(e, a, b), k, wexpr(i + 2)); \
  TWG_SHA1_ROUND(c, d, e, a, b, f(d, e, a), k, wexpr(i + 3)); \
  TWG_SHA1_ROUND(b, c, d, e, a, f(c, d, e), k, wexpr(i + 4))
#define TWG_SHA1_LOADED(i) w[(i)]

void Sha1::Block(const std::uint8_t* block) {
  std::uint32_t w[16];
  for (int i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  }
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  TWG_SHA1_FIVE(TWG_SHA1_F1, 0x5A827999u, 0, TWG_SHA1_LOADED);
  TWG_SHA1_FIVE(TWG_SHA1_F1, 0x5A827999u, 5, TWG_SHA1_LOADED);
  TWG_SHA1_FIVE(TWG_SHA1_F1, 0x5A827999u, 10, TWG_SHA1_LOADED);
  TWG_SHA1_ROUND(a, b, c, d, e, TWG_SHA1_F1(b, c, d), 0x5A827999u, w[15]);
  TWG_SHA1_ROUND(e, a, b, c, d, TWG_SHA1_F1(a, b, c), 0x5A827999u, TWG_SHA1_W(16));
  TWG_SHA1_ROUND(d, e, a, b, c, TWG_SHA1_F1(e, a, b), 0x5A827999u, TWG_SHA1_W(17));
  TWG_SHA1_ROUND(c, d, e, a, b, TWG_SHA1_F1(d, e, a), 0x5A827999u, TWG_SHA1_W(18));
  TWG_SHA1_ROUND(b, c, d, e, a, TWG_SHA1_F1(c, d, e), 0x5A827999u, TWG_SHA1_W(19));
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0x6ED9EBA1u, 20, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0x6ED9EBA1u, 25, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0x6ED9EBA1u, 30, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0x6ED9EBA1u, 35, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F3, 0x8F1BBCDCu, 40, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F3, 0x8F1BBCDCu, 45, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F3, 0x8F1BBCDCu, 50, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F3, 0x8F1BBCDCu, 55, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0xCA62C1D6u, 60, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0xCA62C1D6u, 65, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0xCA62C1D6u, 70, TWG_SHA1_W);
  TWG_SHA1_FIVE(TWG_SHA1_F2, 0xCA62C1D6u, 75, TWG_SHA1_W);
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
}

void Sha1::Update(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  total_ += size;
  if (buffered_ > 0) {
    std::size_t take = 64 - buffered_ < size ? 64 - buffered_ : size;
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < 64) return;
    Block(buffer_);
    buffered_ = 0;
  }
  for (; size >= 64; p += 64, size -= 64) Block(p);
  std::memcpy(buffer_, p, size);
  buffered_ = size;
}

Sha1Digest Sha1::Final() {
  std::uint64_t bits = total_ * 8;
  std::uint8_t pad[72] = {0x80};
  std::size_t pad_size = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int i = 0; i < 8; ++i) pad[pad_size + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(pad, pad_size + 8);
  Sha1Digest digest;
  for (int i = 0; i < 5; ++i) {
    for (int b = 0; b < 4; ++b) digest[4 * i + b] = static_cast<std::uint8_t>(h_[i] >> (24 - 8 * b));
  }
  return digest;
}

}  // namespace twg
