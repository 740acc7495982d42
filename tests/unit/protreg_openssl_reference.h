// The store's encodings rebuilt on OpenSSL's Blowfish, SHA-1 and base64: an independent oracle for the
// unit tests and the baseline of the codec benchmark. OpenSSL's BF_encrypt takes the two halves as
// words, so the little-endian block layout is applied here, outside the cipher.
#pragma once
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "protreg/store_key.h"

namespace twg::reference {

class OpenSslEncoding {
 public:
  explicit OpenSslEncoding(const StoreKey& key) : key_(key) { BF_set_key(&bf_, 20, key.data()); }

  void EncryptLittleEndian(std::uint8_t* data, std::size_t size) const { Ecb(data, size, BF_ENCRYPT); }
  void DecryptLittleEndian(std::uint8_t* data, std::size_t size) const { Ecb(data, size, BF_DECRYPT); }

  // 20-byte seal + ciphertext of the padded plain bytes.
  std::string Seal(std::string_view plain) const {
    std::size_t p = (plain.size() & ~std::size_t{7}) + 8;
    std::string item(20, '\0');
    item.append(plain.data(), plain.size());
    item.append(p - plain.size(), static_cast<char>(p - plain.size()));
    auto* bytes = reinterpret_cast<std::uint8_t*>(&item[0]);
    EncryptLittleEndian(bytes + 20, p);
    SHA_CTX sha;
    SHA1_Init(&sha);
    SHA1_Update(&sha, bytes + 20, p);
    SHA1_Update(&sha, key_.data(), key_.size());
    SHA1_Final(bytes, &sha);
    return item;
  }

  static std::string Base64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                            reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(n));
    return text;
  }

  // Seal and ciphertext of bytes that are already whole blocks, without padding: lets tests build
  // sealed items that the encoder never makes.
  std::string SealUnpadded(std::string_view blocks) const {
    std::string item(20, '\0');
    item.append(blocks.data(), blocks.size());
    auto* bytes = reinterpret_cast<std::uint8_t*>(&item[0]);
    EncryptLittleEndian(bytes + 20, blocks.size());
    SHA_CTX sha;
    SHA1_Init(&sha);
    SHA1_Update(&sha, bytes + 20, blocks.size());
    SHA1_Update(&sha, key_.data(), key_.size());
    SHA1_Final(bytes, &sha);
    return item;
  }

  std::string Name(std::string_view plain) const { return Base64(Seal(plain)); }

  std::string Datum(std::string_view data, std::uint32_t type, std::uint8_t r0, std::uint8_t r1,
                    bool string_form) const {
    std::string record{static_cast<char>(r0), static_cast<char>(r1)};
    for (int i = 0; i < 4; ++i) record += static_cast<char>(type >> (8 * i));
    record.append(data.data(), data.size());
    std::string sealed = Seal(record);
    if (!string_form) return sealed;
    return Base64(sealed) + std::string(1, '\0');
  }

  // Checks the seal, deciphers and unpads; empty optional-like result through ok.
  std::string Open(std::string sealed, bool* ok) const {
    *ok = false;
    if (sealed.size() < 21 || (sealed.size() - 20) % 8 != 0) return {};
    auto* bytes = reinterpret_cast<std::uint8_t*>(&sealed[0]);
    std::uint8_t digest[20];
    SHA_CTX sha;
    SHA1_Init(&sha);
    SHA1_Update(&sha, bytes + 20, sealed.size() - 20);
    SHA1_Update(&sha, key_.data(), key_.size());
    SHA1_Final(digest, &sha);
    if (std::memcmp(digest, bytes, 20) != 0) return {};
    DecryptLittleEndian(bytes + 20, sealed.size() - 20);
    int b = bytes[sealed.size() - 1];
    *ok = true;
    return sealed.substr(20, sealed.size() - 20 - static_cast<std::size_t>((b - 1) % 8 + 1));
  }

  std::string Unbase64(std::string_view text) const {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                            reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) return {};
    std::size_t size = static_cast<std::size_t>(n);
    if (!text.empty() && text.back() == '=') --size;
    if (text.size() > 1 && text[text.size() - 2] == '=') --size;
    out.resize(size);
    return out;
  }

 private:
  void Ecb(std::uint8_t* data, std::size_t size, int direction) const {
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
      BF_LONG halves[2];
      for (int h = 0; h < 2; ++h) {
        const std::uint8_t* p = data + at + 4 * h;
        halves[h] = static_cast<BF_LONG>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<BF_LONG>(p[3]) << 24);
      }
      if (direction == BF_ENCRYPT) BF_encrypt(halves, &bf_); else BF_decrypt(halves, &bf_);
      for (int h = 0; h < 2; ++h) {
        std::uint8_t* p = data + at + 4 * h;
        for (int b = 0; b < 4; ++b) p[b] = static_cast<std::uint8_t>(halves[h] >> (8 * b));
      }
    }
  }

  StoreKey key_;
  BF_KEY bf_;
};

}  // namespace twg::reference
