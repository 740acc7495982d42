// The first byte picks the code page (single-byte or one of the double-byte ones) and the prefix; the
// rest is an export file. Whatever the reader accepts, the writer gives back so that it reads to the
// same content, and taken as a plain export it survives encode -> write -> read -> verify -> decode
// unchanged, which is the round trip a support engineer makes after editing a decoded backup.
#include <cstdint>
#include <string>

#include "tools/twgstore/reg_export.h"
#include "tools/twgstore/store_export.h"

using namespace twg;

// Everything the import acts on, in one string; each item's length first, so no two exports share one.
static std::string Content(const RegExport& file) {
  std::string out(1, static_cast<char>(file.format));
  auto add = [&](const std::string& item) { out += std::to_string(item.size()) + ":" + item; };
  for (const auto& key : file.keys) {
    add((key.remove ? "[-" : "[") + key.path);
    for (const auto& v : key.values) {
      add((v.is_default ? "@" : "v") + v.name);
      add(v.remove ? "-" : std::to_string(v.type) + "=" + v.data);
    }
  }
  return out;
}

// Written and read back: the same content, or a trap (a name no file can carry comes only from a store).
static RegExport Reread(const RegExport& file, const CodePage& cp) {
  std::string written;
  RegExport again;
  ParseError error;
  if (!WriteRegExport(file, cp, &written) || !ParseRegExport(written, cp, &again, &error)) __builtin_trap();
  if (Content(again) != Content(file)) __builtin_trap();
  return again;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int kCodePages[] = {1252, 932, 936, 949, 950};
  LeadBytes lead;
  CodePageLeadBytes(kCodePages[data[0] % 5], &lead);
  const CodePage cp(lead);
  RegExport plain, stored;
  ParseError error;
  std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (!ParseRegExport(file, cp, &plain, &error)) return 0;
  Reread(plain, cp);
  // A short prefix lets the fuzzer reach the store's paths without spelling the product's.
  static const ValueCodec codec(MakeStoreKey(KeyHalf{}));
  StoreExport store(codec, lead, data[0] / 5 % 2 ? "K" : kDefaultStorePrefix);
  std::string message;
  std::uint8_t next = 0;
  // Refused with the line: a value named as the record, or a key without a section of its own.
  if (!store.Encode(plain, [&] { return next += 61; }, &stored, &message)) return 0;
  RegExport sealed = Reread(stored, cp);
  StoreExportReport report;
  RegExport decoded = store.Decode(sealed, &report);
  if (!store.Verify(sealed).problems.empty() || !report.problems.empty()) __builtin_trap();
  if (Content(decoded) != Content(plain)) __builtin_trap();
  return 0;
}
