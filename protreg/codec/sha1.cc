#include "protreg/codec/sha1.h"

#include <cstring>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define TWG_SHA1_HARDWARE 1
#endif

namespace twg {
namespace {

std::uint32_t Rotl(std::uint32_t v, int n) { return v << n | v >> (32 - n); }

#ifdef TWG_SHA1_HARDWARE
// The processor's SHA extensions, where present. Only in 64-bit builds: every 64-bit Windows saves the
// SSE registers, whereas the 32-bit library must also run where no system does (Windows 95).
bool HasShaExtensions() {
  static const bool present = [] {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1)) return false;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & (1u << 29)) != 0;
  }();
  return present;
}

// One group of four rounds: g is the group (0-19); msg holds the rolling schedule.
template <int g>
__attribute__((target("sha,sse4.1,ssse3"))) inline void ShaGroup(__m128i (&msg)[4], __m128i& abcd, __m128i& e0,
                                                                 __m128i& e1) {
  __m128i& e = g % 2 == 0 ? e0 : e1;
  __m128i& other = g % 2 == 0 ? e1 : e0;
  if constexpr (g == 0) {
    e = _mm_add_epi32(e, msg[0]);
  } else {
    e = _mm_sha1nexte_epu32(e, msg[g % 4]);
  }
  other = abcd;
  if constexpr (g >= 3 && g <= 18) msg[(g + 1) % 4] = _mm_sha1msg2_epu32(msg[(g + 1) % 4], msg[g % 4]);
  abcd = _mm_sha1rnds4_epu32(abcd, e, g / 5);
  if constexpr (g >= 1 && g <= 16) msg[(g + 3) % 4] = _mm_sha1msg1_epu32(msg[(g + 3) % 4], msg[g % 4]);
  if constexpr (g >= 2 && g <= 17) msg[(g + 2) % 4] = _mm_xor_si128(msg[(g + 2) % 4], msg[g % 4]);
}

template <int... g>
__attribute__((target("sha,sse4.1,ssse3"))) inline void ShaGroups(std::integer_sequence<int, g...>,
                                                                  __m128i (&msg)[4], __m128i& abcd, __m128i& e0,
                                                                  __m128i& e1) {
  (ShaGroup<g>(msg, abcd, e0, e1), ...);
}

__attribute__((target("sha,sse4.1,ssse3"))) void ShaBlock(std::uint32_t* h, const std::uint8_t* block) {
  const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0), e1;
  const __m128i abcd_start = abcd, e_start = e0;
  __m128i msg[4];
  for (int i = 0; i < 4; ++i) {
    msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), byte_swap);
  }
  ShaGroups(std::make_integer_sequence<int, 20>(), msg, abcd, e0, e1);
  e0 = _mm_sha1nexte_epu32(e0, e_start);
  abcd = _mm_add_epi32(abcd, abcd_start);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
  h[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}
#endif

}  // namespace

Sha1::Sha1(bool use_hardware)
    : h_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}, use_hardware_(use_hardware) {}

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
#ifdef TWG_SHA1_HARDWARE
  if (use_hardware_ && HasShaExtensions()) {
    ShaBlock(h_, block);
    return;
  }
#endif
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
