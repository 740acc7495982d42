// Registry export files and the offline reading of the store's backups.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "protreg/codec/key_info.h"
#include "tools/twgstore/reg_export.h"
#include "tools/twgstore/store_export.h"

namespace twg {
namespace {

const CodePage kCp932(LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}});

std::string Text(const RegExport& file, const CodePage& cp = CodePage()) {
  std::string text;
  return WriteRegExport(file, cp, &text) ? text : "unwritable";
}

RegExport Parse(const std::string& text, const CodePage& cp = CodePage()) {
  RegExport file;
  ParseError error;
  EXPECT_TRUE(ParseRegExport(text, cp, &file, &error)) << error.line << ": " << error.message;
  return file;
}

// The version 5.00 format meets the registry editor itself in the backup tests under Wine (decode, encode,
// import, compare); here the ANSI format of a double-byte code page.
TEST(RegExport, Regedit4InADoubleByteCodePageReadsAndWritesBack) {
  const std::string cp932 =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\\x95\x5C]\r\n"
      "\"\x83\x65\x83\x58\"=\"C:\\\\\x95\x5C\\\\\"\r\n"  // a trail byte 0x5C is no escape
      "\"gone\"=-\r\n"
      "\"Tail\"=hex(1):41,89,00\r\n"  // a lead byte last would take the closing quotation mark
      "\"line\\nbreak\"=dword:00000001\r\n"
      "\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
      "\r\n";
  RegExport file = Parse(cp932, kCp932);
  std::string seen = file.keys[0].values[0].data + file.keys[0].values[3].name;
  EXPECT_EQ(seen, std::string("C:\\\x95\x5C\\\0line\nbreak", 17));
  EXPECT_EQ(Text(file, kCp932), cp932);
}

TEST(RegExport, MalformedInputNamesTheLine) {
  const std::string k = "REGEDIT4\r\n[HKLM\\X]\r\n";
  const std::tuple<std::string, int, const char*> cases[] = {  // the file, and where and what is wrong
      {"\xEF\xBB\xBFREGEDIT4\r\n", 1, "UTF-8"},
      {"REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n", 3, "before the first key"},
      {k + "\"a\"=hex:01,\\\r\n", 3, "truncated"},
      {k + "\"a\"=\"b\r\n", 3, "closing quotation"},
      {k + "\"a\"=dword:123456789\r\n", 3, "dword"},
      {std::string("\xFF\xFEW\0i\0n", 7), 0, "odd number"},
  };
  for (const auto& [text, line, words] : cases) {
    RegExport file;
    ParseError error;
    EXPECT_FALSE(ParseRegExport(text, CodePage(), &file, &error)) << text;
    EXPECT_EQ(error.line, line) << text;
    EXPECT_NE(error.message.find(words), std::string::npos) << error.message;
  }
}

// A name that ends in a lead byte (code page 932) or a path with a line break could come out of a store,
// never out of a file: the writer writes nothing it could not read back.
TEST(RegExport, WritesNothingItCouldNotReadBack) {
  for (auto [format, path, name] : {std::tuple{RegExportFormat::kRegedit4, "K", "x\x89"},
                                    {RegExportFormat::kRegedit4, "K", "x\x89\n"},
                                    {RegExportFormat::kVersion5, "K\nL", "x"}}) {
    RegExport file{format, {{path, false, 0, {{name, false, false, 4, std::string(4, '\0'), 0}}}}};
    EXPECT_EQ(Text(file, kCp932), "unwritable") << name;
  }
}

class StoreExportTest : public testing::Test {
 protected:
  // The sealed form of a REGEDIT4 text, through the file format as the registry editor would see it.
  RegExport Sealed(const std::string& plain, std::string* message) {
    RegExport stored;
    std::uint8_t next = 0;
    if (!store_.Encode(Parse("REGEDIT4\n" + plain), [&] { return next += 37; }, &stored, message)) return {};
    return Parse(Text(stored));
  }

  // The records of a sealed export in file order, "subkeys/values" each: the first value of a section.
  std::string Records(const RegExport& stored) {
    std::string out;
    for (const auto& key : stored.keys) {
      // The store reads the unnamed value, by whichever name, in string form only.
      for (const auto& v : key.values) EXPECT_TRUE(!v.name.empty() || v.remove || v.type == 1) << v.line;
      if (key.remove) continue;
      std::string datum = key.values.empty() ? "" : key.values[0].data;
      KeyCounts counts;
      EXPECT_TRUE(DecodeKeyInfo(codec_, reinterpret_cast<std::uint8_t*>(&datum[0]), datum.size(), &counts));
      out += std::to_string(counts.subkeys) + "/" + std::to_string(counts.values) + " ";
    }
    return out;
  }

  const ValueCodec codec_{MakeStoreKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})};
  const StoreExport store_{codec_, LeadBytes(), "G"};
};

TEST_F(StoreExportTest, VerifyFindsEachKindOfDamageWithItsKey) {
  std::string message;
  const RegExport good = Sealed("[G]\n\"Dir\"=\"C:\\\\P\"\n@=\"d\"\n[G\\Proxy]\n\"Blob\"=hex:01\n"
                                "\"L\"=hex(7):61,00\n[G\\Proxy\\Empty]\n", &message);
  ASSERT_EQ(good.keys.size(), 3u) << message;
  const std::tuple<std::function<void(RegExport&)>, const char*, const char*> cases[] = {
      {[](RegExport& f) { f.keys[1].values[1].data[25] ^= 1; }, "G\\Proxy", "seal does not verify"},
      {[](RegExport& f) { f.keys.pop_back(); }, "G\\Proxy", "record says 1 subkeys"},
      {[](RegExport& f) { f.keys[0].values.pop_back(); }, "G", "record says 1 subkeys and 3 values"},
      {[](RegExport& f) { f.keys[2].values.clear(); }, "G\\Proxy\\Empty", "no integrity record"},
      {[](RegExport& f) { f.keys[2].path.back() = '!'; }, "G\\Proxy\\<undecodable>", "does not decode"},
  };
  for (const auto& [damage, key, words] : cases) {
    RegExport damaged = good;
    damage(damaged);
    auto problems = store_.Verify(damaged).problems;
    ASSERT_EQ(problems.size(), 1u) << words;
    EXPECT_EQ(problems[0].key.substr(0, std::strlen(key)), key) << words;
    EXPECT_NE(problems[0].message.find(words), std::string::npos) << problems[0].message;
    EXPECT_GT(problems[0].line, 0);
  }
}

// The records hold what the registry holds after the import: sections of a key merged, deletions
// applied in file order.
TEST_F(StoreExportTest, RecordsCountWhatTheImportLeaves) {
  const std::pair<std::string, std::string> cases[] = {  // the records per section, in order; or the refusal
      {"[G]\n\"a\"=dword:1\n\"b\"=-\n", "0/2 "},
      // sections of one key, the prefix in another case
      {"[G]\n\"a\"=dword:1\n[G\\S]\n\"x\"=dword:1\n[g]\n\"b\"=dword:1\n"
       "[G\\S]\n\"y\"=dword:1\n", "1/3 0/3 1/3 0/3 "},
      // "a" and "A" are stored under unrelated names, so the store holds both
      {"[G]\n\"a\"=dword:1\n\"a\"=dword:2\n\"A\"=dword:2\n\"c\"=-\n\"c\"=dword:3\n", "0/4 "},
      {"[G]\n\"a\"=dword:1\n[G]\n\"a\"=-\n", "0/1 0/1 "},
      {"[G]\n[G\\S]\n[-G\\S]\n", "0/1 0/1 "},
      {"[G]\n@=\"x\"\n\"\"=\"y\"\n", "0/2 "},  // the unnamed value and the empty name
      {"[G\\A\\B]\n\"v\"=dword:1\n", "0/2 "},  // a subtree, as NBD.DAT
      {"[G]\n[G\\A\\B]\n", "line 3: [G\\A\\B] lies below [G\\A]"},
      {"[G]\n\"cryptreg.keyinfo\"=dword:1\n", "line 3: \"CryptReg.KeyInfo\""},
  };
  for (const auto& [plain, records] : cases) {
    std::string message;
    RegExport stored = Sealed(plain, &message);
    EXPECT_EQ(message.empty() ? Records(stored) : message.substr(0, records.size()), records) << plain;
    if (!message.empty()) continue;
    StoreExportReport decoded;
    EXPECT_TRUE(store_.Verify(stored).problems.empty()) << plain;
    EXPECT_EQ(Text(store_.Decode(stored, &decoded)), Text(Parse("REGEDIT4\n" + plain))) << plain;
  }
}

}  // namespace
}  // namespace twg
