// COM-style results inside actions that chain system calls. Windows-free so the rule is unit-tested.
#pragma once
#include <cstdint>

namespace twg {

using Result = std::int32_t;

constexpr Result kOk = 0;
constexpr Result kPointerMissing = static_cast<Result>(0x80004003u);
constexpr Result kUnspecifiedFailure = static_cast<Result>(0x80004005u);
constexpr Result kOutOfMemory = static_cast<Result>(0x8007000Eu);
constexpr Result kNoMoreItems = static_cast<Result>(0x80070103u);  // the normal end of a fetch loop
constexpr Result kMoreData = static_cast<Result>(0x800700EAu);     // the buffer was too small

// A Win32 error code as a COM-style result: 0 (and anything already negative) stays as it is, a
// positive code c becomes 0x80070000 | (c & 0xFFFF).
constexpr Result ResultFromWin32(std::int64_t code) {
  return code <= 0 ? static_cast<Result>(code)
                   : static_cast<Result>(0x80070000u | (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

constexpr bool Failed(Result r) { return r < 0; }
constexpr bool Succeeded(Result r) { return r >= 0; }

}  // namespace twg
