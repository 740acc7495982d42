// Reading the intrusion-signature catalogue ("sigs.cnf"): one colon-separated record per line, of which
// only the records meant for this product are kept. Windows-free so that the tokenizer's quirks (runs of
// separators collapse, empty fields shift the later ones, long lines are read in pieces) are tested and
// fuzzed natively; the caller supplies the registry writer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>

namespace twg {

struct SignatureRecord {
  std::int32_t id = 0;
  char name[100] = {};        // always shorter than 100 characters
  std::uint32_t priority = 0;  // 1 low, 2 medium, 3 high
};

enum class RecordVerdict {
  kTake,  // eight fields, meant for this product: write it
  kSkip,  // wrong field count or not ours: go on with the next line
  kStop,  // a name too long or an unknown priority: the whole import ends here
};

// One line as read (its line end, if any, included). Modifies line (it is tokenized in place).
RecordVerdict ParseSignatureLine(char* line, SignatureRecord* record);

// The catalogue reads at most this many characters at a time; a longer line becomes several records.
constexpr int kSignatureReadChars = 299;

// Skips the header line, then hands every record taken to write in file order. Stops at the first
// record that ends the import or the first write that returns false; what was written stays.
// Returns false when the import stopped early or there was no header.
bool ImportSignatures(std::FILE* file, const std::function<bool(const SignatureRecord&)>& write);

// The decimal reading the catalogue (and the installer's numeric properties) use: leading white space,
// one sign, digits up to the first non-digit; no digits give 0. Overflow wraps instead of being undefined.
std::int32_t ReadDecimal(const char* text);

}  // namespace twg
