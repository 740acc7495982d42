// The store's Windows-free logic: the value protection against OpenSSL as an independent oracle, the rules
// built on it, key-path arithmetic, and the once-only cell.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "protreg/codec/key_info.h"
#include "protreg/codec/key_path.h"
#include "protreg/codec/sha1.h"
#include "protreg/codec/stored_item.h"
#include "protreg/codec/text_form.h"
#include "protreg/codec/value_codec.h"
#include "protreg/once_cell.h"
#include "protreg_openssl_reference.h"

namespace twg {
namespace {

const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};

// Bytes that differ from each other and cover the high half, so byte order and sign show.
std::string Bytes(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(i * 151 + n * 7);
  return s;
}

TEST(ProtregDigest, BothRoundsMatchOpenSslAcrossBlockBoundaries) {
  for (std::size_t n : {0u, 55u, 56u, 64u, 119u, 1000u}) {
    std::string data = Bytes(n);
    std::uint8_t want[20];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), n, want);
    for (bool hardware : {true, false}) {  // the SHA-extension rounds, where present, and the portable ones
      Sha1 sha(hardware);
      std::size_t head = std::min<std::size_t>(7, n);  // a buffered start, then whole blocks
      sha.Update(data.data(), head);
      sha.Update(data.data() + head, n - head);
      EXPECT_EQ(0, std::memcmp(sha.Final().data(), want, 20)) << n << " " << hardware;
    }
  }
}

TEST(ProtregTextForm, RefusesMalformedText) {
  // The text and the bytes it stands for; 99: refused.
  const std::pair<std::string, std::size_t> cases[] = {{"QUI=", 2},  {"QQ==", 1},  {"", 0},     {"QUJ", 99},
                                                       {"QU.D", 99}, {"Q=JD", 99}, {"QQ=A", 99}};
  for (auto [text, want] : cases) {
    std::size_t size = 99;
    EXPECT_EQ(FromTextFormInPlace(&text[0], text.size(), &size), want != 99) << text;
    EXPECT_EQ(size, want) << text;
  }
}

class ProtregCodec : public testing::Test {
 protected:
  enum Form { kName, kBinary, kString };

  // The plain bytes (a datum's after its inner type), or "refused".
  static std::string Decoded(const ValueCodec& codec, std::string stored, Form form) {
    const char* name = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t n = 0;
    std::uint32_t type = 0;
    if (form == kName) {
      return codec.DecodeName(&stored[0], stored.size(), &name, &n) ? std::string(name, n) : "refused";
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(&stored[0]);
    if (!codec.DecodeDatum(bytes, stored.size(), form == kString, &data, &n, &type)) return "refused";
    return std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(data), n);
  }

  const ValueCodec codec_{MakeStoreKey({1})};
  const reference::OpenSslEncoding oracle_{MakeStoreKey({1})}, other_{MakeStoreKey({2})};
};

TEST_F(ProtregCodec, NamesDataAndRecordsMatchTheOracleAndDecodeBack) {
  for (std::size_t n = 0; n <= 40; ++n) {  // every padding length and every final text-form group
    std::string plain = Bytes(n), name, datum;
    ASSERT_TRUE(codec_.EncodeName(plain, &name));
    EXPECT_EQ(name, oracle_.Name(plain)) << n;
    EXPECT_EQ(Decoded(codec_, name, kName), plain) << n;
    for (bool string_form : {false, true}) {
      ASSERT_TRUE(codec_.EncodeDatum(plain.data(), n, 4, string_form, 0xAB, 0xCD, &datum));
      EXPECT_EQ(datum, oracle_.Datum(plain, 4, 0xAB, 0xCD, string_form)) << n;
      EXPECT_EQ(datum.size(), EncodedDatumLength(n, string_form));
      EXPECT_EQ(Decoded(codec_, datum, string_form ? kString : kBinary), "4:" + plain) << n;
    }
  }
  // The integrity record of a key without values counts itself (the offline tool's tests read records).
  std::string record;
  ASSERT_TRUE(EncodeKeyInfo(codec_, {3, 0}, 9, 9, &record));
  EXPECT_EQ(record, oracle_.Datum(std::string("\3\0\0\0\1\0\0\0", 8), kKeyInfoType, 9, 9, false));
}

TEST_F(ProtregCodec, TamperedOrForeignItemsAreRefused) {
  const std::string item = oracle_.Seal(std::string("\1\2\4\0\0\0hello", 11));
  for (std::size_t i = 0; i < item.size(); ++i) {  // a bit of the seal or of the ciphertext
    std::string bad = item;
    bad[i] ^= 0x01;
    EXPECT_EQ(Decoded(codec_, bad, kBinary), "refused") << i;
    EXPECT_EQ(Decoded(codec_, oracle_.Base64(bad), kName), "refused") << i;
  }
  const std::tuple<std::string, Form, const char*> cases[] = {
      {other_.Seal(std::string("\1\2\4\0\0\0hello", 11)), kBinary, "refused"},  // another machine's key
      {"", kString, "refused"},
      // Sealed right but not made by the encoder: only someone holding the key makes these.
      {oracle_.Seal("123456789", false), kBinary, "refused"},  // not whole blocks
      {oracle_.Seal("abcde"), kBinary, "refused"},             // too short for the type
      {oracle_.Seal(std::string("\1\2\3\0\0\0", 6)), kBinary, "3:"},
  };
  for (const auto& [stored, form, want] : cases) EXPECT_EQ(Decoded(codec_, stored, form), want) << stored;
}

// The move into the store takes a partly sealed tree item by item.
TEST_F(ProtregCodec, EachStoredValueIsReadInTheFormItIsIn) {
  const std::string record = oracle_.Name(kKeyInfoName), name = oracle_.Name("Dir"), dir("C:\\P\\", 6);
  const std::string datum = oracle_.Datum(dir, 1, 3, 4, false), foreign = other_.Name("Dir");
  std::string damaged = datum;
  damaged[25] ^= 1;
  // The raw value (name, type, data) and how it is taken.
  using Raw = std::tuple<const ValueCodec*, std::string, std::uint32_t, std::string, std::string>;
  const Raw cases[] = {
      {&codec_, name, 3, datum, "sealed Dir=1:" + dir},
      {&codec_, "", 1, oracle_.Datum("def", 1, 5, 6, true), "sealed =1:def"},
      {&codec_, record, 3, datum, "record =0:"},
      {&codec_, name, 3, damaged, "damaged Dir=0:"},
      {&codec_, name, 1, dir, "damaged Dir=0:"},  // a sealed name with a datum stored plain
      {&codec_, foreign, 3, datum, "plain " + foreign + "=3:" + datum},
      {nullptr, name, 3, datum, "plain " + name + "=3:" + datum},  // no key: everything is plain
  };
  const char* kinds[] = {"plain ", "sealed ", "record ", "damaged "};
  for (const auto& [codec, raw_name, raw_type, raw_data, taken_as] : cases) {
    StoredValue v = ClassifyStoredValue(codec, record, raw_name, raw_type, raw_data);
    std::string seen = kinds[static_cast<int>(v.kind)] + v.name + "=" + std::to_string(v.type) + ":";
    EXPECT_EQ(seen + v.data, taken_as);
  }
}

TEST_F(ProtregCodec, KeyPathsAreCoveredAndEncodedBeyondThePrefixOnly) {
  const std::string grd = "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD";
  PrefixList list;
  list.Add(grd);
  // A path and the prefix that covers it.
  const std::pair<std::string, std::string> cases[] = {
      {"hkey_local_machine\\SOFTWARE\\veltrane\\grd\\x", grd}, {grd, grd}, {grd + ".tmp", "none"},
      {"HKEY_LOCAL_MACHINE\\Software\\Veltrane", "none"}};
  for (const auto& [path, want] : cases) {
    const std::string* covering = list.Covering(path);
    EXPECT_EQ(covering ? *covering : "none", want) << path;
  }
  std::string out;
  ASSERT_TRUE(codec_.EncodeKeyPath(kCp932, "Veltrane\\GRD\\Logs\\\\\x95\x5C\x8E\xA6", 12, &out));
  EXPECT_EQ(out, "Veltrane\\GRD\\" + oracle_.Name("Logs") + "\\\\" + oracle_.Name("\x95\x5C\x8E\xA6"));
}

TEST(ProtregLongPath, CutsOnlyPathsLongerThanTheLimit) {
  const std::string a(200, 'a'), b(100, 'b'), c(300, 'c'), x(258, 'x');
  // A path and its pieces.
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {x + "x\\y", {x + "x", "y"}},                                          // 261: cut at the backslash
      {a + "\\" + std::string(59, 'x'), {a + "\\" + std::string(59, 'x')}},  // 260: whole
      {c + "\\" + b, {c, b}},  // none before the limit: the first after it
      // a double-byte character whose trail byte is 0x5C straddling the limit is not a separator
      {x + "\x95\\tail\\z", {x + "\x95\\tail", "z"}},
  };
  for (const auto& [path, pieces] : cases) {
    std::vector<std::string_view> got = SplitLongPath(kCp932, path);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), pieces) << path.size();
  }
}

// An init that runs out of memory must leave the cell to the next caller, with none of its half value:
// before, the state word stayed at "running" and every later caller spun forever.
TEST(ProtregOnceCell, AnInitThatUnwindsLeavesTheCellToTheNextCaller) {
  OnceCell<std::vector<int>> cell;
  EXPECT_THROW(cell.Get([](std::vector<int>& v) {
    v.push_back(1);
    throw std::bad_alloc();
  }), std::bad_alloc);
  EXPECT_EQ(cell.Get([](std::vector<int>& v) { v.push_back(2); }), std::vector<int>{2});  // or hangs
  EXPECT_EQ(cell.Get([](std::vector<int>& v) { v.push_back(3); }), std::vector<int>{2});
}

}  // namespace
}  // namespace twg
