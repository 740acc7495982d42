#include "protreg/codec/stored_item.h"

namespace twg {
namespace {

constexpr std::uint32_t kRegSz = 1, kRegBinary = 3;

// A copy is decoded, so the caller's raw bytes stay as they were for the plain case.
bool DecodeDatumCopy(const ValueCodec& codec, std::string_view raw, bool string_form, StoredValue* out) {
  std::string stored(raw);
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!codec.DecodeDatum(reinterpret_cast<std::uint8_t*>(&stored[0]), stored.size(), string_form, &data, &size,
                         &out->type)) {
    return false;
  }
  out->data.assign(reinterpret_cast<const char*>(data), size);
  return true;
}

}  // namespace

StoredValue ClassifyStoredValue(const ValueCodec* codec, std::string_view record_name, std::string_view raw_name,
                                std::uint32_t raw_type, std::string_view raw_data) {
  StoredValue out;
  if (codec && !raw_name.empty() && raw_name == record_name) {
    out.kind = StoredKind::kRecord;
    return out;
  }
  if (codec && raw_name.empty()) {
    // The unnamed value keeps its empty name sealed or not; only its datum tells.
    if (raw_type == kRegSz && DecodeDatumCopy(*codec, raw_data, true, &out)) {
      out.kind = StoredKind::kSealed;
      return out;
    }
  } else if (codec) {
    std::string name(raw_name);
    const char* plain = nullptr;
    std::size_t size = 0;
    if (codec->DecodeName(&name[0], name.size(), &plain, &size)) {
      out.name.assign(plain, size);
      out.kind = raw_type == kRegBinary && DecodeDatumCopy(*codec, raw_data, false, &out) ? StoredKind::kSealed
                                                                                          : StoredKind::kDamaged;
      return out;
    }
  }
  out = StoredValue{StoredKind::kPlain, std::string(raw_name), raw_type, std::string(raw_data)};
  return out;
}

std::string PlainKeyName(const ValueCodec* codec, std::string_view raw_name, bool* sealed) {
  *sealed = false;
  if (codec && !raw_name.empty()) {
    std::string name(raw_name);
    const char* plain = nullptr;
    std::size_t size = 0;
    if (codec->DecodeName(&name[0], name.size(), &plain, &size)) {
      *sealed = true;
      return std::string(plain, size);
    }
  }
  return std::string(raw_name);
}

}  // namespace twg
