// The store's text form: standard base64 with "=" padding and no line breaks, for items that must be
// registry names or strings. Windows-free.
#pragma once
#include <cstddef>
#include <cstdint>

namespace twg {

// 4 * ceil(size / 3) characters (0 for 0 bytes).
constexpr std::size_t TextFormLength(std::size_t size) { return (size + 2) / 3 * 4; }

// Writes TextFormLength(size) characters to out (no terminating NUL).
void ToTextForm(const std::uint8_t* data, std::size_t size, char* out);

// Converts text in place to the bytes it stands for and returns their count through decoded_size.
// Fails when the length is not a multiple of 4, a character is outside the alphabet, or "=" stands
// first or second in a group, or third without a fourth. "=" third makes its group yield 1 byte,
// fourth 2 bytes.
[[nodiscard]] bool FromTextFormInPlace(char* text, std::size_t length, std::size_t* decoded_size);

}  // namespace twg
