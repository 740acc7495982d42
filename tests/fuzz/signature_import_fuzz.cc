// The catalogue comes from the installation media: no file may crash the import or make a bad record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/signature_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = size == 0 ? nullptr : fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (file == nullptr) return 0;
  twg::ImportSignatures(file, [](const twg::SignatureRecord& r) {
    if (std::strlen(r.name) >= sizeof r.name || r.priority < 1 || r.priority > 3) std::abort();
    return true;
  });
  std::fclose(file);
  return 0;
}
