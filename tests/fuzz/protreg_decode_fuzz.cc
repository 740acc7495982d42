// The store's decoders on arbitrary bytes refuse or decode without reading outside them (ASan watches the
// exact-size copy); whatever the input, its encoded name decodes back to it.
#include <cstdint>
#include <string>
#include <vector>

#include "protreg/codec/key_path.h"
#include "protreg/codec/value_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const twg::ValueCodec codec(twg::MakeStoreKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  std::vector<std::uint8_t> buf;
  auto fresh = [&] {
    buf.assign(data, data + size);
    return buf.data();
  };
  const char* name = nullptr;
  std::size_t n = 0;
  if (codec.DecodeName(reinterpret_cast<char*>(fresh()), size, &name, &n) && n > size) __builtin_trap();
  for (bool string_form : {false, true}) {
    const std::uint8_t* out = nullptr;
    std::uint32_t type = 0;
    std::uint8_t* p = fresh();
    if (codec.DecodeDatum(p, size, string_form, &out, &n, &type) && (out < p || out + n > p + size)) {
      __builtin_trap();
    }
  }

  std::string_view plain(reinterpret_cast<const char*>(data), size);
  std::string stored;
  if (codec.EncodeName(plain, &stored) &&
      (!codec.DecodeName(&stored[0], stored.size(), &name, &n) || std::string_view(name, n) != plain)) {
    __builtin_trap();
  }
  (void)twg::SplitLongPath(twg::LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}}, plain, 16);
  return 0;
}
