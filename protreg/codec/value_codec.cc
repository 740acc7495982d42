#include "protreg/codec/value_codec.h"

#include <cstring>
#include <new>

#include "protreg/codec/key_path.h"
#include "protreg/codec/sha1.h"
#include "protreg/codec/text_form.h"

namespace twg {
namespace {

constexpr std::size_t kSealSize = 20;
constexpr std::size_t kRecordHeader = 6;  // 2 random bytes + the inner type

std::uint8_t* Bytes(std::string* s, std::size_t at) { return reinterpret_cast<std::uint8_t*>(&(*s)[at]); }

Sha1Digest SealOf(const std::uint8_t* ciphertext, std::size_t size, const StoreKey& key) {
  Sha1 sha;
  sha.Update(ciphertext, size);
  sha.Update(key.data(), key.size());
  return sha.Final();
}

}  // namespace

void ValueCodec::Rekey(const StoreKey& key) {
  key_ = key;
  cipher_.SetKey(key_.data(), key_.size());
}

void ValueCodec::SealItem(std::uint8_t* item, std::size_t n) const {
  std::size_t p = PaddedLength(n);
  std::memset(item + kSealSize + n, static_cast<int>(p - n), p - n);
  cipher_.EncryptEcb(item + kSealSize, p);
  Sha1Digest seal = SealOf(item + kSealSize, p, key_);
  std::memcpy(item, seal.data(), kSealSize);
}

void ValueCodec::WriteEncodedName(std::string_view plain, std::string* out, std::size_t at) const {
  // The sealed item is built at the tail of the name's slot and turned into text towards its head:
  // each 3-byte group is read before its 4 characters are written, and the writer never catches up
  // with the unread tail, so the one buffer serves both steps.
  std::size_t sealed = kSealSize + PaddedLength(plain.size());
  std::size_t text = TextFormLength(sealed);
  std::uint8_t* item = Bytes(out, at + text - sealed);
  if (!plain.empty()) std::memcpy(item + kSealSize, plain.data(), plain.size());
  SealItem(item, plain.size());
  ToTextForm(item, sealed, &(*out)[at]);
}

bool ValueCodec::EncodeName(std::string_view plain, std::string* out) const {
  try {
    out->assign(EncodedNameLength(plain.size()), '\0');
    WriteEncodedName(plain, out, 0);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ValueCodec::EncodeValueName(std::string_view plain, std::string* out) const {
  if (plain.empty()) {
    out->clear();
    return true;
  }
  return EncodeName(plain, out);
}

bool ValueCodec::EncodeKeyPath(const LeadBytes& lead, std::string_view subkey, std::size_t start,
                               std::string* out) const {
  try {
    if (start > subkey.size()) start = subkey.size();
    std::string encoded(subkey.substr(0, start));
    std::size_t at = start;
    while (at < subkey.size()) {
      if (subkey[at] == '\\') {
        encoded += '\\';
        ++at;
        continue;
      }
      std::size_t end = FindSeparator(lead, subkey, at);
      std::string_view component = subkey.substr(at, end - at);
      std::size_t slot = encoded.size();
      encoded.resize(slot + EncodedNameLength(component.size()));
      WriteEncodedName(component, &encoded, slot);
      at = end;
    }
    *out = std::move(encoded);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ValueCodec::EncodeDatum(const void* data, std::size_t size, std::uint32_t type, bool string_form,
                             std::uint8_t random0, std::uint8_t random1, std::string* out) const {
  try {
    std::size_t n = kRecordHeader + size;
    std::size_t sealed = kSealSize + PaddedLength(n);
    std::size_t total = string_form ? TextFormLength(sealed) + 1 : sealed;
    out->assign(total, '\0');
    std::size_t item_at = string_form ? total - 1 - sealed : 0;
    std::uint8_t* item = Bytes(out, item_at);
    std::uint8_t* record = item + kSealSize;
    record[0] = random0;
    record[1] = random1;
    for (int i = 0; i < 4; ++i) record[2 + i] = static_cast<std::uint8_t>(type >> (8 * i));
    if (size > 0) std::memcpy(record + kRecordHeader, data, size);
    SealItem(item, n);
    if (string_form) {
      ToTextForm(item, sealed, &(*out)[0]);
      (*out)[total - 1] = '\0';
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ValueCodec::Unseal(std::uint8_t* item, std::size_t size, std::size_t* plain_size) const {
  if (size < kSealSize + 1) return false;
  std::size_t cipher_size = size - kSealSize;
  Sha1Digest seal = SealOf(item + kSealSize, cipher_size, key_);
  if (std::memcmp(seal.data(), item, kSealSize) != 0) return false;
  if (cipher_size % Blowfish::kBlockSize != 0) return false;
  cipher_.DecryptEcb(item + kSealSize, cipher_size);
  // The last byte says how much padding to drop: ((b - 1) mod 8) + 1 with the remainder taking the
  // sign of b - 1, so a 0 drops nothing. Never more than one block, so it cannot run off the front.
  int b = item[size - 1];
  int drop = (b - 1) % 8 + 1;
  *plain_size = cipher_size - static_cast<std::size_t>(drop);
  return true;
}

bool ValueCodec::DecodeName(char* stored, std::size_t length, const char** plain,
                            std::size_t* plain_size) const {
  std::size_t sealed = 0;
  if (!FromTextFormInPlace(stored, length, &sealed)) return false;
  auto* item = reinterpret_cast<std::uint8_t*>(stored);
  if (!Unseal(item, sealed, plain_size)) return false;
  *plain = stored + kSealSize;
  return true;
}

bool ValueCodec::DecodeValueName(char* stored, std::size_t length, const char** plain,
                                 std::size_t* plain_size) const {
  if (length == 0) {
    *plain = stored;
    *plain_size = 0;
    return true;
  }
  return DecodeName(stored, length, plain, plain_size);
}

bool ValueCodec::DecodeDatum(std::uint8_t* stored, std::size_t length, bool string_form,
                             const std::uint8_t** data, std::size_t* data_size,
                             std::uint32_t* type) const {
  std::size_t sealed = length;
  if (string_form) {
    if (length == 0) return false;
    if (!FromTextFormInPlace(reinterpret_cast<char*>(stored), length - 1, &sealed)) return false;
  }
  std::size_t record_size = 0;
  if (!Unseal(stored, sealed, &record_size)) return false;
  if (record_size < kRecordHeader) return false;
  const std::uint8_t* record = stored + kSealSize;
  *type = std::uint32_t{record[2]} | std::uint32_t{record[3]} << 8 | std::uint32_t{record[4]} << 16 |
          std::uint32_t{record[5]} << 24;
  *data = record + kRecordHeader;
  *data_size = record_size - kRecordHeader;
  return true;
}

bool ValueCodec::DecodeDatumCopy(std::string_view stored, bool string_form, std::string* data,
                                 std::uint32_t* type) const {
  std::string copy(stored);
  const std::uint8_t* inner = nullptr;
  std::size_t size = 0;
  if (!DecodeDatum(reinterpret_cast<std::uint8_t*>(&copy[0]), copy.size(), string_form, &inner, &size, type)) {
    return false;
  }
  data->assign(reinterpret_cast<const char*>(inner), size);
  return true;
}

}  // namespace twg
