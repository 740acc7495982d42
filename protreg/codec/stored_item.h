// What one raw registry value below the protected prefix holds. The configuration key can be partly
// sealed and partly plain (a package writes plain values into an existing store on reinstall or
// upgrade), so the move into the store decides item by item which form it is reading. Windows-free.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "protreg/codec/value_codec.h"

namespace twg {

enum class StoredKind {
  kPlain,    // not sealed with this key: taken as it is
  kSealed,   // name and datum decode with this key
  kRecord,   // a key's integrity record: never copied, the store writes its own
  kDamaged,  // the name decodes with this key but the datum does not: a sealed value that was altered
};

struct StoredValue {
  StoredKind kind = StoredKind::kPlain;
  std::string name;  // plain name
  std::uint32_t type = 0;
  std::string data;
};

// codec null: nothing is sealed (the store has no key). record_name is the encoded record name.
StoredValue ClassifyStoredValue(const ValueCodec* codec, std::string_view record_name, std::string_view raw_name,
                                std::uint32_t raw_type, std::string_view raw_data);

// A raw key-name component: its decoded form when it decodes with this key (*sealed true), else as is.
std::string PlainKeyName(const ValueCodec* codec, std::string_view raw_name, bool* sealed);

}  // namespace twg
