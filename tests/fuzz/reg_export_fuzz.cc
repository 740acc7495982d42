// The first byte picks the code page (single-byte or one of the double-byte ones) and the prefix; the
// rest is an export file. Whatever the reader accepts, the writer gives back so that it reads to the
// same content, and taken as a plain export it survives encode -> write -> read -> verify -> decode
// unchanged, which is the round trip a support engineer makes after editing a decoded backup.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protreg/store_key.h"
#include "tools/twgstore/reg_export.h"
#include "tools/twgstore/store_export.h"

namespace {

using namespace twg;

bool SameContent(const RegExport& a, const RegExport& b) {
  if (a.format != b.format || a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const RegExportKey &x = a.keys[k], &y = b.keys[k];
    if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size()) return false;
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      const RegExportValue &p = x.values[v], &q = y.values[v];
      if (p.name != q.name || p.is_default != q.is_default || p.remove != q.remove) return false;
      if (!p.remove && (p.type != q.type || p.data != q.data)) return false;
    }
  }
  return true;
}

// Written and read back: the same content, or a trap.
RegExport Reread(const RegExport& file, const CodePage& cp) {
  std::string written;
  if (!WriteRegExport(file, cp, &written)) __builtin_trap();
  RegExport again;
  ParseError error;
  if (!ParseRegExport(written, cp, &again, &error) || !SameContent(file, again)) __builtin_trap();
  return again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int kCodePages[] = {1252, 932, 936, 949, 950};
  LeadBytes lead;
  CodePageLeadBytes(kCodePages[data[0] % 5], &lead);
  // A short prefix lets the fuzzer reach the store's paths without spelling the product's.
  const char* prefix = data[0] / 5 % 2 ? "K" : kDefaultStorePrefix;
  CodePage cp(lead);
  RegExport plain;
  ParseError error;
  if (!ParseRegExport(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), cp, &plain, &error)) return 0;
  // Names that no file can carry come only out of a store, never out of a file that was read.
  Reread(plain, cp);

  static const ValueCodec codec(MakeStoreKey(KeyHalf{}));
  StoreExport store(codec, lead, prefix);
  RegExport stored;
  std::string message;
  std::uint8_t next = 0;
  if (!store.Encode(plain, [&] { return next += 61; }, &stored, &message)) {
    // The two refusals the engineer is told about with the line; anything else is a fault.
    if (message.find("CryptReg.KeyInfo") == std::string::npos && message.find("no section of its own") == std::string::npos) {
      __builtin_trap();
    }
    return 0;
  }
  RegExport sealed = Reread(stored, cp);
  if (!store.Verify(sealed).problems.empty()) __builtin_trap();
  StoreExportReport report;
  RegExport decoded = store.Decode(sealed, &report);
  if (!report.problems.empty() || !SameContent(decoded, plain)) __builtin_trap();
  return 0;
}
