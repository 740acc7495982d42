#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/signature_import.h"

namespace twg {
namespace {

struct Written {
  int id;
  std::string name;
  unsigned priority;
  bool operator==(const Written& o) const { return id == o.id && name == o.name && priority == o.priority; }
};
std::ostream& operator<<(std::ostream& os, const Written& w) {
  return os << "{" << w.id << ", \"" << w.name << "\", " << w.priority << "}";
}

struct ImportResult {
  bool complete;
  std::vector<Written> written;
};

ImportResult Import(const std::string& text, int fail_write_at = -1) {
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ImportResult result{};
  result.complete = ImportSignatures(file, [&](const SignatureRecord& r) {
    if (static_cast<int>(result.written.size()) == fail_write_at) return false;
    result.written.push_back({r.id, r.name, r.priority});
    return true;
  });
  std::fclose(file);
  return result;
}

const char kHeader[] = "id:name:a:b:priority:c:d:products\n";

TEST(SignatureImport, RecordsOfOneLine) {
  struct Case {
    std::string line;
    std::vector<Written> expected;
    bool complete;
  } cases[] = {
      {"1203:Port scan:x:y:HIGH:x:y:TWG,VXF\n", {{1203, "Port scan", 3}}, true},
      {"7:n:x:y:low:x:y:TWG", {{7, "n", 1}}, true},  // last line without a line end
      {"  -12abc:n:x:y:Medium:x:y:aTWGb\n", {{-12, "n", 2}}, true},
      {"1203:Port scan::y:x:HIGH:y:TWG\n", {}, true},           // empty field: seven fields
      {"1203:Port scan::y:HIGH:x:y:TWG\n", {}, false},          // ... and "x" moves into the priority
      {"1203:Port scan:x:y:HIGH:x:y:TWG:extra\n", {}, true},    // nine fields
      {"1203:Port scan:x:y:HIGH:x:y:VXF\n", {}, true},          // not ours
      {"1203:Port scan:x:y:HIGH:x:y:twg\n", {}, true},          // the product mark is case-sensitive
      {"::1203::n:x:y:high:x:y:TWG::\n", {{1203, "n", 3}}, true},  // runs of separators collapse
      {"1:n:x:y:urgent\n", {}, false},  // the priority rule applies whatever the field count
      {"1:" + std::string(99, 'a') + ":x:y:low:x:y:TWG\n", {{1, std::string(99, 'a'), 1}}, true},
      {"1:" + std::string(100, 'a') + ":x:y:low:x:y:TWG\n", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ImportResult r = Import(kHeader + c.line);
    EXPECT_EQ(r.written, c.expected);
    EXPECT_EQ(r.complete, c.complete);
  }
}

TEST(SignatureImport, StopsAtFirstFailureKeepingEarlierRecords) {
  const std::string file = std::string(kHeader) +
                           "1:a:x:y:low:x:y:TWG\n"
                           "2:b:x:y:low:x:y:VXF\n"
                           "3:c:x:y:urgent:x:y:TWG\n"
                           "4:d:x:y:high:x:y:TWG\n";
  ImportResult r = Import(file);
  EXPECT_EQ(r.written, (std::vector<Written>{{1, "a", 1}}));
  EXPECT_FALSE(r.complete);

  ImportResult failed_write = Import(std::string(kHeader) + "1:a:x:y:low:x:y:TWG\n4:d:x:y:high:x:y:TWG\n", 1);
  EXPECT_EQ(failed_write.written, (std::vector<Written>{{1, "a", 1}}));
  EXPECT_FALSE(failed_write.complete);
}

TEST(SignatureImport, HeaderIsNeverParsedAndMayBeAbsent) {
  EXPECT_TRUE(Import("1:a:x:y:low:x:y:TWG\n").written.empty());
  EXPECT_FALSE(Import("").complete);
  EXPECT_TRUE(Import(kHeader).complete);
}

TEST(SignatureImport, LongLineIsReadInPieces) {
  // 299 characters per read: the tail after the cut is a record of its own.
  std::string first = "1:a:x:y:low:x:y:TWG:";
  first += std::string(kSignatureReadChars - first.size(), 'z');
  const std::string tail = "9:t:x:y:high:x:y:TWG\n";
  ImportResult r = Import(std::string(kHeader) + first + tail);
  EXPECT_EQ(r.written, (std::vector<Written>{{9, "t", 3}}));
}

TEST(SignatureImport, ReadDecimalWrapsInsteadOfOverflowing) {
  EXPECT_EQ(ReadDecimal(" \t+42x"), 42);
  EXPECT_EQ(ReadDecimal("--1"), 0);
  EXPECT_EQ(ReadDecimal("4294967297"), 1);
}

}  // namespace
}  // namespace twg
