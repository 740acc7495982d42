// The first byte picks the code page (single-byte or 932), the second the destination's size; the rest
// is search, replacement and source, separated by NULs. StringReplace stays inside its destination,
// leaves it untouched when the result does not fit, and otherwise yields the length its match count
// implies. The mapping step always has room, leaves the bytes behind the new file length zero, and for a
// file without NULs holds what the in-memory replacement made.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "antivirus/string_replace.h"
#include "tests/unit/ascii_text_rules.h"

using namespace twg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const LeadBytes kSingleByte, kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};
  if (size < 3) return 0;
  const TextRules rules{(data[0] & 1) ? &kCp932 : &kSingleByte, AsciiEqualIgnoringCase};
  const std::size_t dest_size = 1 + data[1] % 96;
  const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t first = rest.find('\0'), second = rest.find('\0', first + 1);
  if (second == std::string::npos) return 0;
  const std::string search = rest.substr(0, first), replacement = rest.substr(first + 1, second - first - 1);
  const std::string source = rest.substr(second + 1);

  std::vector<char> dest(dest_size + 2, '\x7F');  // guard bytes on either side
  const char *from = search.c_str(), *to = replacement.c_str();
  const int count = StringReplace(rules, &dest[1], dest_size, source.c_str(), from, to);
  const std::size_t touched = std::string(dest.begin(), dest.end()).find_first_not_of('\x7F');
  if (dest[0] != '\x7F' || dest[dest_size + 1] != '\x7F' || (count < 0 && touched != std::string::npos)) {
    __builtin_trap();
  }
  // Case-blind matches may differ in bytes but not in length under these rules.
  const std::size_t expected =
      ReplacedFileSize(std::strlen(source.c_str()), search.size(), replacement.size(), count);
  if (count >= 0 && (std::strlen(&dest[1]) != expected || expected >= dest_size)) __builtin_trap();

  ReplaceLayout layout;
  if (search.empty() || !PlanFileReplace(source.size(), search.size(), replacement.size(), &layout)) return 0;
  std::vector<char> map(layout.mapped, '\x55');
  std::memcpy(map.data(), source.data(), source.size());
  const int n = ReplaceInMapping(rules, map.data(), layout, source.size(), from, to);
  if (n < 0) __builtin_trap();
  const std::size_t file_size = ReplacedFileSize(source.size(), search.size(), replacement.size(), n);
  const std::string behind(map.begin() + file_size, map.end()), file(map.data(), file_size);
  if (behind.find_first_not_of('\0') != std::string::npos) __builtin_trap();
  if (count >= 0 && source.find('\0') == std::string::npos && file != &dest[1]) __builtin_trap();
  return 0;
}
