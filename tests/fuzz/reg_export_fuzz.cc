// Any bytes: the export parser either rejects them with a line, or what it read writes back and reads
// again to the same content; nothing reads out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/twgstore/reg_export.h"
#include "tools/twgstore/store_export.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twg;
  CodePage cp;
  RegExport file;
  ParseError error;
  std::string input(reinterpret_cast<const char*>(data), size);
  if (!ParseRegExport(input, cp, &file, &error)) return 0;
  std::string written;
  if (!WriteRegExport(file, cp, &written)) return 0;
  RegExport again;
  if (!ParseRegExport(written, cp, &again, &error)) __builtin_trap();
  if (again.keys.size() != file.keys.size()) __builtin_trap();
  for (std::size_t k = 0; k < file.keys.size(); ++k) {
    if (again.keys[k].values.size() != file.keys[k].values.size()) __builtin_trap();
    for (std::size_t v = 0; v < file.keys[k].values.size(); ++v) {
      if (again.keys[k].values[v].data != file.keys[k].values[v].data) __builtin_trap();
    }
  }
  // The store's reader takes whatever parsed.
  static const ValueCodec codec(MakeStoreKey(KeyHalf{}));
  StoreExport store(codec, LeadBytes());
  StoreExportReport report;
  store.Decode(file, &report);
  store.Verify(file);
  return 0;
}
