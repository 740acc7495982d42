// The value protection codec against OpenSSL's Blowfish, SHA-1 and base64 as an independent oracle.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "protreg/codec/blowfish.h"
#include "protreg/codec/key_info.h"
#include "protreg/codec/sha1.h"
#include "protreg/codec/text_form.h"
#include "protreg/codec/value_codec.h"
#include "protreg_openssl_reference.h"

namespace twg {
namespace {

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

StoreKey TestKey(std::uint8_t seed) {
  KeyHalf half;
  for (std::size_t i = 0; i < half.size(); ++i) half[i] = static_cast<std::uint8_t>(seed * 37 + i * 11);
  return MakeStoreKey(half);
}

std::uint8_t* U8(std::string& s) { return reinterpret_cast<std::uint8_t*>(&s[0]); }

TEST(ProtregCipher, MatchesOpenSslWithLittleEndianHalves) {
  std::mt19937 rng(7);
  for (std::size_t key_size : {1u, 4u, 5u, 20u, 56u}) {
    SCOPED_TRACE(key_size);
    std::string key = RandomBytes(rng, key_size);
    BF_KEY bf;
    BF_set_key(&bf, static_cast<int>(key_size), reinterpret_cast<const unsigned char*>(key.data()));
    Blowfish ours;
    ours.SetKey(reinterpret_cast<const std::uint8_t*>(key.data()), key_size);
    std::string plain = RandomBytes(rng, 64);
    std::string mine = plain, theirs = plain;
    ours.EncryptEcb(U8(mine), mine.size());
    for (std::size_t at = 0; at < theirs.size(); at += 8) {
      BF_LONG halves[2];
      std::memcpy(halves, &theirs[at], 8);  // this machine is little-endian, as the store's layout
      BF_encrypt(halves, &bf);
      std::memcpy(&theirs[at], halves, 8);
    }
    EXPECT_EQ(mine, theirs);
    EXPECT_NE(mine, plain);
    ours.DecryptEcb(U8(mine), mine.size());
    EXPECT_EQ(mine, plain);
  }
}

TEST(ProtregDigest, MatchesOpenSslAcrossBlockBoundaries) {
  std::mt19937 rng(11);
  for (std::size_t n : {0u, 1u, 3u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    SCOPED_TRACE(n);
    std::string data = RandomBytes(rng, n);
    std::uint8_t want[20];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), n, want);
    for (bool hardware : {true, false}) {  // the SHA-extension rounds, where present, and the portable ones
      Sha1 whole(hardware);
      whole.Update(data.data(), n);
      Sha1Digest got = whole.Final();
      EXPECT_EQ(0, std::memcmp(got.data(), want, 20)) << hardware;
      Sha1 pieces(hardware);  // fed in uneven slices
      for (std::size_t at = 0; at < n; at += 7) pieces.Update(data.data() + at, std::min<std::size_t>(7, n - at));
      got = pieces.Final();
      EXPECT_EQ(0, std::memcmp(got.data(), want, 20)) << hardware;
    }
  }
}

TEST(ProtregTextForm, MatchesOpenSslAndRoundTrips) {
  std::mt19937 rng(3);
  for (std::size_t n = 0; n < 40; ++n) {
    std::string data = RandomBytes(rng, n);
    std::string text(TextFormLength(n), '?');
    ToTextForm(reinterpret_cast<const std::uint8_t*>(data.data()), n, &text[0]);
    EXPECT_EQ(text, reference::OpenSslEncoding::Base64(data)) << n;
    std::size_t size = 0;
    ASSERT_TRUE(FromTextFormInPlace(&text[0], text.size(), &size)) << n;
    EXPECT_EQ(text.substr(0, size), data) << n;
  }
}

TEST(ProtregTextForm, RejectsMalformedText) {
  struct Case {
    const char* text;
    bool ok;
    std::size_t size;
  } cases[] = {{"QUJD", true, 3},  {"QUI=", true, 2},   {"QQ==", true, 1},  {"", true, 0},
               {"QUJ", false, 0},  {"QUJDR", false, 0}, {"QU.D", false, 0}, {"QU D", false, 0},
               {"=UJD", false, 0}, {"Q=JD", false, 0},  {"QQ=A", false, 0},  {"QUJ\x80", false, 0}};
  for (const auto& c : cases) {
    std::string text = c.text;
    std::size_t size = 99;
    EXPECT_EQ(FromTextFormInPlace(&text[0], text.size(), &size), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(size, c.size) << c.text;
  }
}

class ProtregCodec : public testing::Test {
 protected:
  StoreKey key_ = TestKey(1);
  ValueCodec codec_{key_};
  reference::OpenSslEncoding oracle_{key_};

  std::string Name(std::string_view plain) {
    std::string out;
    EXPECT_TRUE(codec_.EncodeName(plain, &out));
    return out;
  }
  std::string Datum(std::string_view data, std::uint32_t type, bool string_form, std::uint8_t r0 = 1,
                    std::uint8_t r1 = 2) {
    std::string out;
    EXPECT_TRUE(codec_.EncodeDatum(data.data(), data.size(), type, string_form, r0, r1, &out));
    return out;
  }
  bool DecodeName(std::string stored, std::string* plain) {
    const char* p = nullptr;
    std::size_t n = 0;
    if (!codec_.DecodeName(&stored[0], stored.size(), &p, &n)) return false;
    plain->assign(p, n);
    return true;
  }
  bool DecodeDatum(std::string stored, bool string_form, std::string* data, std::uint32_t* type) {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;
    if (!codec_.DecodeDatum(U8(stored), stored.size(), string_form, &p, &n, type)) return false;
    data->assign(reinterpret_cast<const char*>(p), n);
    return true;
  }
};

TEST_F(ProtregCodec, NamesMatchOracleAndHaveTheStoredLengths) {
  std::mt19937 rng(5);
  for (std::size_t n = 1; n <= 40; ++n) {
    std::string plain = RandomBytes(rng, n);
    std::string stored = Name(plain);
    EXPECT_EQ(stored, oracle_.Name(plain)) << n;
    EXPECT_EQ(stored.size(), EncodedNameLength(n)) << n;
    EXPECT_EQ(Name(plain), stored) << "names are deterministic";
    std::string back;
    ASSERT_TRUE(DecodeName(stored, &back)) << n;
    EXPECT_EQ(back, plain);
  }
  EXPECT_EQ(Name(kKeyInfoName).size(), 60u);
}

TEST_F(ProtregCodec, DataMatchOracleInBothFormsAndCarryRandomBytes) {
  std::mt19937 rng(9);
  for (std::size_t size : {0u, 2u, 3u, 8u, 10u, 11u, 256u}) {  // around the block and padding boundaries
    SCOPED_TRACE(size);
    std::string data = RandomBytes(rng, size);
    for (bool string_form : {false, true}) {
      std::string stored = Datum(data, 4, string_form, 0xAB, 0xCD);
      EXPECT_EQ(stored, oracle_.Datum(data, 4, 0xAB, 0xCD, string_form));
      EXPECT_EQ(stored.size(), EncodedDatumLength(size, string_form));
      if (string_form) EXPECT_EQ(stored.back(), '\0');
      EXPECT_NE(Datum(data, 4, string_form, 0xAB, 0xCE), stored) << "the random bytes change the datum";
      std::string back;
      std::uint32_t type = 0;
      ASSERT_TRUE(DecodeDatum(stored, string_form, &back, &type));
      EXPECT_EQ(back, data);
      EXPECT_EQ(type, 4u);
    }
  }
}

TEST_F(ProtregCodec, KeyInfoRecordRoundTrips) {
  std::string stored;
  ASSERT_TRUE(EncodeKeyInfo(codec_, {3, 0}, 9, 9, &stored));
  EXPECT_EQ(stored.size(), 36u);
  KeyCounts counts;
  ASSERT_TRUE(DecodeKeyInfo(codec_, U8(stored), stored.size(), &counts));
  EXPECT_EQ(counts, (KeyCounts{3, 1})) << "a key without values is written with the record counted";
  std::string datum = Datum("1234567", 3, false);  // a valid datum that is not an 8-byte record
  EXPECT_FALSE(DecodeKeyInfo(codec_, U8(datum), datum.size(), &counts));
}

TEST_F(ProtregCodec, TamperedNamesAreRejected) {
  std::string stored = Name("TWGEULA");
  auto bytes_of = [](std::string text) {
    std::size_t n = 0;
    return FromTextFormInPlace(&text[0], text.size(), &n) ? text.substr(0, n) : std::string("invalid");
  };
  std::string back;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    std::string bad = stored;
    bad[i] = bad[i] == 'A' ? 'B' : 'A';
    if (bytes_of(bad) == bytes_of(stored)) continue;  // only the unused low bits of a final group
    EXPECT_FALSE(DecodeName(bad, &back)) << i;
  }
  std::string last = stored;
  last.back() = last.back() == 'A' ? 'B' : 'A';
  EXPECT_FALSE(DecodeName(last, &back)) << "the last character";
  EXPECT_FALSE(DecodeName(stored.substr(0, stored.size() - 1), &back)) << "length not a multiple of 4";
  EXPECT_FALSE(DecodeName(stored.substr(0, 28), &back)) << "seal over a different ciphertext";
  EXPECT_FALSE(DecodeName(std::string(40, '!'), &back));
  EXPECT_FALSE(DecodeName("", &back));
  ValueCodec other(TestKey(2));
  const char* p;
  std::size_t n;
  EXPECT_FALSE(other.DecodeName(&stored[0], stored.size(), &p, &n)) << "another machine's key";
}

TEST_F(ProtregCodec, TamperedDataAreRejected) {
  std::string stored = Datum("hello", 1, false);
  std::string back;
  std::uint32_t type;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    std::string bad = stored;
    bad[i] ^= 0x01;
    EXPECT_FALSE(DecodeDatum(bad, false, &back, &type)) << i;
  }
  EXPECT_FALSE(DecodeDatum(stored.substr(0, 20), false, &back, &type)) << "seal only";
  EXPECT_FALSE(DecodeDatum("", true, &back, &type)) << "empty string form";
  // Sealed correctly but not whole blocks, or a record too short to hold the type: only tampering
  // with the key in hand makes these, and they must still be refused.
  EXPECT_FALSE(DecodeDatum(oracle_.SealUnpadded("123456789"), false, &back, &type));
  EXPECT_FALSE(DecodeDatum(oracle_.Seal("abcde"), false, &back, &type));
  EXPECT_TRUE(DecodeDatum(oracle_.Seal("abcdef"), false, &back, &type));
}

TEST_F(ProtregCodec, PaddingRemovalFollowsTheLastByte) {
  struct Case {
    char last;
    std::size_t kept;
  } cases[] = {{0, 8}, {1, 7}, {8, 0}, {9, 7}, {16, 0}, {static_cast<char>(0xFF), 1}};
  for (const auto& c : cases) {
    std::string block = "ABCDEFG";
    block += c.last;
    std::string back;
    ASSERT_TRUE(DecodeName(oracle_.Base64(oracle_.SealUnpadded(block)), &back)) << int(c.last);
    EXPECT_EQ(back, block.substr(0, c.kept)) << int(c.last);
  }
}

TEST_F(ProtregCodec, KeyPathEncodesOnlyBeyondTheStart) {
  LeadBytes sjis{{0x81, 0x9F}, {0xE0, 0xFC}};
  std::string out;
  ASSERT_TRUE(codec_.EncodeKeyPath(sjis, "Software\\Veltrane\\GRD\\Logs\\\\x", 21, &out));
  EXPECT_EQ(out, "Software\\Veltrane\\GRD\\" + Name("Logs") + "\\\\" + Name("x"));
  std::string dbcs = "\x95\x5C\x8E\xA6";  // a trail byte 0x5C is not a separator
  ASSERT_TRUE(codec_.EncodeKeyPath(sjis, dbcs + "\\b", 0, &out));
  EXPECT_EQ(out, Name(dbcs) + "\\" + Name("b"));
  ASSERT_TRUE(codec_.EncodeKeyPath(sjis, "a\\b", 3, &out));
  EXPECT_EQ(out, "a\\b");
  std::string value;
  ASSERT_TRUE(codec_.EncodeValueName("", &value));
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace twg
