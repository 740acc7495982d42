// Registry export files and the offline reading of the store's backups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protreg/codec/key_info.h"

#include "tools/twgstore/reg_export.h"
#include "tools/twgstore/store_export.h"

namespace twg {
namespace {

std::string Utf16File(const std::string& ascii_lines) {
  std::string out = "\xFF\xFE";
  for (char c : ascii_lines) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

const char kWineStyle[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\T1]\r\n"
    "@=\"def\"\r\n"
    "\"D\"=dword:00000005\r\n"
    "\"E\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
    "\"M\"=hex(7):78,00,00,00,79,00,00,00,00,00\r\n"
    "\"S\"=\"a\\\\b\\\"c\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\T1\\Sub]\r\n"
    "\"B\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
    "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a\r\n"
    "\r\n";

TEST(RegExport, ReadsTheVersion5FormatAsTheRegistryEditorWritesIt) {
  CodePage cp;
  RegExport file;
  ParseError error;
  ASSERT_TRUE(ParseRegExport(Utf16File(kWineStyle), cp, &file, &error)) << error.line << " " << error.message;
  EXPECT_EQ(file.format, RegExportFormat::kVersion5);
  ASSERT_EQ(file.keys.size(), 2u);
  const auto& v = file.keys[0].values;
  ASSERT_EQ(v.size(), 5u);
  EXPECT_TRUE(v[0].is_default);
  EXPECT_EQ(v[0].data, std::string("def\0", 4));
  EXPECT_EQ(v[1].type, 4u);
  EXPECT_EQ(v[1].data, std::string("\5\0\0\0", 4));
  EXPECT_EQ(v[2].type, 2u);
  EXPECT_EQ(v[2].data, std::string("%TEMP%\0", 7));  // UTF-16 in the file, ANSI in memory
  EXPECT_EQ(v[3].data, std::string("x\0y\0\0", 5));
  EXPECT_EQ(v[4].data, std::string("a\\b\"c\0", 6));
  EXPECT_EQ(v[4].line, 8);
  ASSERT_EQ(file.keys[1].values[0].data.size(), 43u);
  EXPECT_EQ(file.keys[1].values[0].data[42], '\x2a');

  std::string written;
  ASSERT_TRUE(WriteRegExport(file, cp, &written));
  EXPECT_EQ(written, Utf16File(kWineStyle));
}

TEST(RegExport, Regedit4RoundTripKeepsAnsiBytes) {
  const std::string text =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\\x95\x5C]\r\n"
      "\"\x83\x65\x83\x58\x83\x67\"=\"C:\\\\\x95\x5C\\\\\"\r\n"
      "\"E\"=hex(2):25,54,25,00\r\n"
      "\"gone\"=-\r\n"
      // No quoted form: a lead byte last would take the closing quotation mark as its trail byte.
      "\"Tail\"=hex(1):41,89,00\r\n"
      "\"line\\nbreak\"=dword:00000001\r\n"
      "\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
      "\r\n";
  CodePage cp(LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}});
  RegExport file;
  ParseError error;
  ASSERT_TRUE(ParseRegExport(text, cp, &file, &error)) << error.message;
  EXPECT_EQ(file.format, RegExportFormat::kRegedit4);
  EXPECT_EQ(file.keys[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\\x95\x5C");
  EXPECT_EQ(file.keys[0].values[0].data, std::string("C:\\\x95\x5C\\\0", 7));
  EXPECT_EQ(file.keys[0].values[1].data, std::string("%T%\0", 4));
  EXPECT_TRUE(file.keys[0].values[2].remove);
  EXPECT_EQ(file.keys[0].values[4].name, "line\nbreak");
  EXPECT_TRUE(file.keys[1].remove);
  std::string written;
  ASSERT_TRUE(WriteRegExport(file, cp, &written));
  EXPECT_EQ(written, text);
}

TEST(RegExport, MalformedInputNamesTheLine) {
  struct Case {
    std::string file;
    int line;
    const char* words;
    bool cp932 = false;
  } cases[] = {
      {"", 1, "header"},
      {"\xEF\xBB\xBFREGEDIT4\r\n", 1, "UTF-8"},
      // The writer could not give this name back: the lead byte takes the quotation mark.
      {"REGEDIT4\r\n[K]\r\n\"\\\x89\"=dword:0\r\n", 3, "closing quotation", true},
      {"REGEDIT5\r\n", 1, "not a registry export"},
      {"REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n", 3, "before the first key"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X\r\n", 2, "closing"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=hex:01,0g\r\n", 3, "hex byte"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=hex:01,\\\r\n", 3, "truncated"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a=\"b\"\r\n", 3, ""},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=\"b\r\n", 3, "closing quotation"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=dword:123456789\r\n", 3, "dword"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=hex(7:00\r\n", 3, "hex(n)"},
      {"REGEDIT4\r\n[HKLM\\X]\r\n\"a\"=qword:00\r\n", 3, "unknown value data"},
      {"REGEDIT4\r\n[HKLM\\X]\r\nnonsense\r\n", 3, "unexpected line"},
      {Utf16File("Windows Registry Editor Version 5.00\r\n") + "\x41", 0, "odd number"},
      {Utf16File("Windows Registry Editor Version 5.00\r\n[K]\r\n\"a\"=hex(1):41\r\n"), 3, "odd length"},
      {Utf16File("REGEDIT4\r\n"), 1, "UTF-16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CodePage cp(c.cp932 ? LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}} : LeadBytes());
    RegExport file;
    ParseError error;
    EXPECT_FALSE(ParseRegExport(c.file, cp, &file, &error));
    EXPECT_EQ(error.line, c.line) << error.message;
    EXPECT_NE(error.message.find(c.words), std::string::npos) << error.message;
  }
}

TEST(RegExport, WritesNothingItCouldNotReadBack) {
  CodePage cp932(LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}});
  struct Case {
    RegExportFormat format;
    std::string path, name;
  } cases[] = {
      {RegExportFormat::kRegedit4, "K", "x\x89"},
      {RegExportFormat::kRegedit4, "K", "x\x89\n"},
      {RegExportFormat::kVersion5, "K\nL", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegExport file;
    file.format = c.format;
    file.keys.push_back({c.path, false, 0, {}});
    file.keys[0].values.push_back({c.name, false, false, 4, std::string(4, '\0'), 0});
    std::string written;
    EXPECT_FALSE(WriteRegExport(file, cp932, &written));
  }
}

// --- The store's exports ----------------------------------------------------------------------

const KeyHalf kHalf = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

RegExport PlainConfiguration(RegExportFormat format) {
  RegExport plain;
  plain.format = format;
  auto key = [&](const std::string& path) -> RegExportKey& {
    plain.keys.push_back({path, false, 0, {}});
    return plain.keys.back();
  };
  auto value = [](RegExportKey& k, const std::string& name, std::uint32_t type, const std::string& data) {
    RegExportValue v;
    v.name = name;
    v.is_default = name.empty();
    v.type = type;
    v.data = data;
    k.values.push_back(v);
  };
  auto& root = key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD");
  value(root, "InstallDir", 1, std::string("C:\\Program Files\\Taskan Web Guard\\\0", 35));
  value(root, "", 1, std::string("default text\0", 13));
  value(root, "Level", 4, std::string("\3\0\0\0", 4));
  auto& proxy = key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy");
  value(proxy, "Blob", 3, std::string(600, '\xAB'));
  value(proxy, "List", 7, std::string("a\0b\0\0", 5));
  key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\GRD\\Proxy\\Empty");
  return plain;
}

class StoreExportTest : public testing::Test {
 protected:
  StoreExportTest() : codec_(MakeStoreKey(kHalf)), store_(codec_, LeadBytes()) {}

  RegExport Sealed(const RegExport& plain) {
    RegExport stored;
    std::string message;
    std::uint8_t next = 0;
    EXPECT_TRUE(store_.Encode(plain, [&] { return next += 37; }, &stored, &message)) << message;
    // Through the file format too, as the registry editor would see it.
    std::string text;
    EXPECT_TRUE(WriteRegExport(stored, CodePage(), &text));
    RegExport reread;
    ParseError error;
    EXPECT_TRUE(ParseRegExport(text, CodePage(), &reread, &error)) << error.message;
    return reread;
  }

  // Two exports hold the same keys and values when the writer gives the same text for both.
  static std::string Text(const RegExport& file) {
    std::string text;
    EXPECT_TRUE(WriteRegExport(file, CodePage(), &text));
    return text;
  }

  ValueCodec codec_;
  StoreExport store_;
};

TEST_F(StoreExportTest, EncodeThenDecodeIsTheIdentityInBothFormats) {
  for (auto format : {RegExportFormat::kVersion5, RegExportFormat::kRegedit4}) {
    RegExport plain = PlainConfiguration(format);
    RegExport stored = Sealed(plain);
    // Nothing plain below the prefix: the sub-key names are encoded.
    EXPECT_EQ(stored.keys[1].path.find("Proxy"), std::string::npos);
    EXPECT_TRUE(store_.Verify(stored).problems.empty());
    StoreExportReport report;
    RegExport decoded = store_.Decode(stored, &report);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(Text(decoded), Text(plain));
  }
}

TEST_F(StoreExportTest, VerifyFindsEachKindOfDamageWithItsKey) {
  RegExport good = Sealed(PlainConfiguration(RegExportFormat::kVersion5));
  struct Case {
    const char* what;
    std::function<void(RegExport&)> damage;
    const char* key_suffix;
    const char* words;
  } cases[] = {
      {"flipped datum byte", [](RegExport& f) { f.keys[1].values[1].data[25] ^= 1; }, "GRD\\Proxy", "seal"},
      {"flipped name character", [](RegExport& f) { f.keys[0].values[1].name[3] ^= 1; }, "GRD", "seal"},
      {"sub-key removed", [](RegExport& f) { f.keys.pop_back(); }, "GRD\\Proxy", "record says 1 subkeys"},
      {"value removed", [](RegExport& f) { f.keys[0].values.pop_back(); }, "GRD", "record says"},
      {"record removed", [](RegExport& f) { f.keys[2].values.clear(); }, "Proxy\\Empty", "no integrity record"},
      {"key name damaged", [](RegExport& f) { f.keys[2].path.back() = '!'; }, "<undecodable>", "does not decode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegExport damaged = good;
    c.damage(damaged);
    auto problems = store_.Verify(damaged).problems;
    ASSERT_EQ(problems.size(), 1u);
    const std::string& key = problems[0].key;
    EXPECT_NE(key.find(c.key_suffix), std::string::npos) << key;
    EXPECT_NE(problems[0].message.find(c.words), std::string::npos) << problems[0].message;
    EXPECT_GT(problems[0].line, 0);
  }
}

// The records hold what the registry holds after the import: sections of a key merged, deletions
// applied in file order.
TEST_F(StoreExportTest, RecordsCountWhatTheImportLeaves) {
  StoreExport store(codec_, LeadBytes(), "HKEY_LOCAL_MACHINE\\G");
  std::string record_name;
  ASSERT_TRUE(codec_.EncodeValueName(kKeyInfoName, &record_name));
  struct Case {
    const char* what;
    std::string sections;
    std::vector<KeyCounts> records;  // per section, in order; empty: refused
    const char* refusal = "";
  } cases[] = {
      {"deletion entry", "[G]\n\"a\"=dword:1\n\"b\"=-\n", {{0, 2}}},
      {"sections of one key, root in another case",
       "[G]\n\"a\"=dword:1\n[G\\S]\n\"x\"=dword:1\n[g]\n\"b\"=dword:1\n[G\\S]\n\"y\"=dword:1\n",
       {{1, 3}, {0, 3}, {1, 3}, {0, 3}}},
      // "a" and "A" are stored under unrelated names, so the store holds both.
      {"a name twice, set after its deletion",
       "[G]\n\"a\"=dword:1\n\"a\"=dword:2\n\"A\"=dword:2\n\"c\"=-\n\"c\"=dword:3\n", {{0, 4}}},
      {"deleted in a later section", "[G]\n\"a\"=dword:1\n[G]\n\"a\"=-\n", {{0, 1}, {0, 1}}},
      {"key deleted later", "[G]\n[G\\S]\n[-G\\S]\n", {{0, 1}, {0, 1}}},
      {"unnamed value and the empty name", "[G]\n@=\"x\"\n\"\"=\"y\"\n", {{0, 2}}},
      {"a subtree, as NBD.DAT", "[G\\A\\B]\n\"v\"=dword:1\n", {{0, 2}}},
      {"a key with no section between two", "[G]\n[G\\A\\B]\n", {}, "line 3: [HKEY_LOCAL_MACHINE\\G\\A\\B] lies below [HKEY_LOCAL_MACHINE\\G\\A]"},
      {"the record's name in another case", "[G]\n\"cryptreg.keyinfo\"=dword:1\n", {}, "CryptReg.KeyInfo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = "REGEDIT4\n" + c.sections;
    for (std::size_t at = 0; (at = text.find("[", at)) != std::string::npos; at += 2) {
      text.insert(at + (text[at + 1] == '-' ? 2 : 1), "HKEY_LOCAL_MACHINE\\");
    }
    RegExport plain, stored;
    ParseError error;
    ASSERT_TRUE(ParseRegExport(text, CodePage(), &plain, &error)) << error.message;
    std::string message;
    bool encoded = store.Encode(plain, [] { return 7; }, &stored, &message);
    if (c.records.empty()) {
      EXPECT_FALSE(encoded);
      EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
      continue;
    }
    ASSERT_TRUE(encoded) << message;
    std::vector<KeyCounts> records;
    for (const auto& key : stored.keys) {
      for (const auto& value : key.values) {
        // The store reads the unnamed value, by whichever name, in string form only.
        if (value.name.empty() && !value.remove) EXPECT_EQ(value.type, 1u) << value.line;
        std::string datum = value.data;
        KeyCounts counts;
        if (value.name == record_name &&
            DecodeKeyInfo(codec_, reinterpret_cast<std::uint8_t*>(&datum[0]), datum.size(), &counts)) {
          records.push_back(counts);
        }
      }
    }
    ASSERT_EQ(records.size(), c.records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].subkeys, c.records[i].subkeys) << i;
      EXPECT_EQ(records[i].values, c.records[i].values) << i;
    }
    StoreExportReport verified = store.Verify(stored);
    EXPECT_TRUE(verified.problems.empty()) << verified.problems[0].message;
    StoreExportReport report;
    EXPECT_EQ(Text(store.Decode(stored, &report)), Text(plain));
  }
}

TEST_F(StoreExportTest, SectionsSealedApartDoNotVerifyTogether) {
  // The Proxy subtree; then its key again with one value, whose record counts that value alone.
  RegExport subtree = PlainConfiguration(RegExportFormat::kVersion5);
  subtree.keys.erase(subtree.keys.begin());
  RegExport stored = Sealed(subtree);
  subtree.keys[0].values.resize(1);
  stored.keys.push_back(Sealed(subtree).keys[0]);
  auto problems = store_.Verify(stored).problems;
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].message.find("record says"), std::string::npos) << problems[0].message;
}

}  // namespace
}  // namespace twg
