#include "protreg/codec/stored_item.h"

namespace twg {
namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3;

// Decodes a copy, so the raw name stays as it was for the plain case.
bool DecodeNameCopy(const ValueCodec& codec, std::string_view raw, std::string* plain) {
  std::string name(raw);
  const char* text = nullptr;
  std::size_t size = 0;
  if (raw.empty() || !codec.DecodeName(&name[0], name.size(), &text, &size)) return false;
  plain->assign(text, size);
  return true;
}

}  // namespace

StoredValue ClassifyStoredValue(const ValueCodec* codec, std::string_view record_name, std::string_view raw_name,
                                std::uint32_t raw_type, std::string_view raw_data) {
  StoredValue out;
  if (codec && !raw_name.empty() && raw_name == record_name) {
    out.kind = StoredKind::kRecord;
  } else if (codec && raw_name.empty() && raw_type == kRegSz &&
             codec->DecodeDatumCopy(raw_data, true, &out.data, &out.type)) {
    out.kind = StoredKind::kSealed;  // the unnamed value keeps its empty name sealed or not: its datum tells
  } else if (codec && DecodeNameCopy(*codec, raw_name, &out.name)) {
    const bool datum = raw_type == kRegBinary && codec->DecodeDatumCopy(raw_data, false, &out.data, &out.type);
    out.kind = datum ? StoredKind::kSealed : StoredKind::kDamaged;
  } else {
    out = StoredValue{StoredKind::kPlain, std::string(raw_name), raw_type, std::string(raw_data)};
  }
  return out;
}

std::string PlainKeyName(const ValueCodec* codec, std::string_view raw_name, bool* sealed) {
  std::string plain;
  *sealed = codec && DecodeNameCopy(*codec, raw_name, &plain);
  return *sealed ? plain : std::string(raw_name);
}

}  // namespace twg
