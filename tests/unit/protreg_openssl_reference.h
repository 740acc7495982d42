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

  // 20-byte seal + ciphertext; pad false takes whole blocks as they are (items the encoder never makes).
  std::string Seal(std::string_view plain, bool pad = true) const {
    std::string item(20, '\0');
    item += plain;
    std::size_t fill = pad ? 8 - plain.size() % 8 : 0;
    item.append(fill, static_cast<char>(fill));
    for (std::size_t at = 20; at < item.size(); at += 8) {
      BF_LONG halves[2];
      std::memcpy(halves, &item[at], 8);  // the halves are little-endian words, as on this machine
      BF_encrypt(halves, &bf_);
      std::memcpy(&item[at], halves, 8);
    }
    SHA_CTX sha;
    SHA1_Init(&sha);
    SHA1_Update(&sha, item.data() + 20, item.size() - 20);
    SHA1_Update(&sha, key_.data(), key_.size());
    SHA1_Final(reinterpret_cast<unsigned char*>(&item[0]), &sha);
    return item;
  }

  std::string Name(std::string_view plain) const { return Base64(Seal(plain)); }

  std::string Datum(std::string_view data, std::uint32_t type, std::uint8_t r0, std::uint8_t r1,
                    bool string_form) const {
    std::string record{static_cast<char>(r0), static_cast<char>(r1)};
    for (int i = 0; i < 4; ++i) record += static_cast<char>(type >> (8 * i));
    std::string sealed = Seal(record.append(data));
    return string_form ? Base64(sealed) + '\0' : sealed;
  }

  static std::string Base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), in, static_cast<int>(bytes.size()));
    text.pop_back();
    return text;
  }

 private:
  StoreKey key_;
  BF_KEY bf_;
};

}  // namespace twg::reference
