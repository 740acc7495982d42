// The store's decoders on arbitrary stored bytes: names, both datum forms and the integrity record must
// refuse or decode without reading outside the input (ASan watches the exact-size copy).
#include <cstdint>
#include <cstring>
#include <vector>

#include "protreg/codec/key_info.h"
#include "protreg/codec/key_path.h"
#include "protreg/codec/value_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const twg::ValueCodec codec(twg::MakeStoreKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  std::vector<std::uint8_t> buf(data, data + size);
  auto fresh = [&] { buf.assign(data, data + size); return buf.empty() ? nullptr : buf.data(); };

  const char* name = nullptr;
  std::size_t name_size = 0;
  if (codec.DecodeName(reinterpret_cast<char*>(fresh()), size, &name, &name_size)) {
    if (name_size > size) __builtin_trap();
  }
  for (bool string_form : {false, true}) {
    const std::uint8_t* out = nullptr;
    std::size_t out_size = 0;
    std::uint32_t type = 0;
    std::uint8_t* p = fresh();
    if (codec.DecodeDatum(p, size, string_form, &out, &out_size, &type)) {
      if (out < p || out + out_size > p + size) __builtin_trap();
    }
  }
  twg::KeyCounts counts;
  (void)twg::DecodeKeyInfo(codec, fresh(), size, &counts);

  // Round trip: whatever the input, its encoded forms decode back to it.
  std::string_view plain(reinterpret_cast<const char*>(data), size);
  std::string stored;
  if (codec.EncodeName(plain, &stored)) {
    if (!codec.DecodeName(&stored[0], stored.size(), &name, &name_size) ||
        std::string_view(name, name_size) != plain) {
      __builtin_trap();
    }
  }
  twg::LeadBytes sjis{{0x81, 0x9F}, {0xE0, 0xFC}};
  (void)twg::SplitLongPath(sjis, plain, 16);
  return 0;
}
