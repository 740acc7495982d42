#include "protreg/codec/text_form.h"

namespace twg {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t kPad = 64;
constexpr std::int8_t kInvalid = -1;

struct DigitTable {
  std::int8_t value[256];
  constexpr DigitTable() : value() {
    for (auto& v : value) v = kInvalid;
    for (int i = 0; i < 64; ++i) value[static_cast<std::uint8_t>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    value[static_cast<std::uint8_t>('=')] = kPad;
  }
};
constexpr DigitTable kDigits;

}  // namespace

void ToTextForm(const std::uint8_t* data, std::size_t size, char* out) {
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    std::uint32_t group = std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8 | data[i + 2];
    *out++ = kAlphabet[group >> 18];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = kAlphabet[(group >> 6) & 63];
    *out++ = kAlphabet[group & 63];
  }
  if (size - i == 1) {
    std::uint32_t group = std::uint32_t{data[i]} << 16;
    *out++ = kAlphabet[group >> 18];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = '=';
    *out++ = '=';
  } else if (size - i == 2) {
    std::uint32_t group = std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8;
    *out++ = kAlphabet[group >> 18];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = kAlphabet[(group >> 6) & 63];
    *out++ = '=';
  }
}

bool FromTextFormInPlace(char* text, std::size_t length, std::size_t* decoded_size) {
  if (length % 4 != 0) return false;
  std::size_t out = 0;
  for (std::size_t at = 0; at < length; at += 4) {
    std::int8_t d[4];
    for (int k = 0; k < 4; ++k) d[k] = kDigits.value[static_cast<std::uint8_t>(text[at + k])];
    // Writing never overtakes reading: a group of 4 characters yields at most 3 bytes.
    if (((d[0] | d[1] | d[2] | d[3]) & ~63) == 0) {  // the common group: four digits
      std::uint32_t group = std::uint32_t(d[0]) << 18 | std::uint32_t(d[1]) << 12 | std::uint32_t(d[2]) << 6 |
                            std::uint32_t(d[3]);
      text[out++] = static_cast<char>(group >> 16);
      text[out++] = static_cast<char>(group >> 8);
      text[out++] = static_cast<char>(group);
      continue;
    }
    if (d[0] == kInvalid || d[1] == kInvalid || d[2] == kInvalid || d[3] == kInvalid) return false;
    if (d[0] == kPad || d[1] == kPad) return false;
    std::uint32_t group = std::uint32_t(d[0]) << 18 | std::uint32_t(d[1]) << 12;
    if (d[2] == kPad) {
      // "x=" after a third-place pad would decode the same bytes from a changed text; refuse it so a
      // changed last character of a stored name never passes.
      if (d[3] != kPad) return false;
      text[out++] = static_cast<char>(group >> 16);
      continue;
    }
    group |= std::uint32_t(d[2]) << 6;
    text[out++] = static_cast<char>(group >> 16);
    text[out++] = static_cast<char>(group >> 8);
  }
  *decoded_size = out;
  return true;
}

}  // namespace twg
