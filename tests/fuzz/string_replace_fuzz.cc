// The first byte picks the code page (single-byte or 932) and splits the rest into search,
// replacement and source. StringReplace stays inside its destination, and when it fits, its result
// matches a straightforward rebuild from the matches it reports; the mapping step leaves the bytes
// behind the new file length zero.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "antivirus/string_replace.h"
#include "tests/unit/ascii_text_rules.h"

namespace {

using namespace twg;

const LeadBytes kSingleByte;
const LeadBytes kCp932{{0x81, 0x9F}, {0xE0, 0xFC}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const TextRules rules{(data[0] & 1) ? &kCp932 : &kSingleByte, AsciiEqualIgnoringCase};
  const std::size_t dest_size = 1 + data[1] % 96;
  std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  // Fields are separated by NUL bytes so each is a terminated text.
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (int i = 0; i < 2; ++i) {
    const std::size_t at = rest.find('\0', from);
    if (at == std::string::npos) return 0;
    parts.push_back(rest.substr(from, at - from));
    from = at + 1;
  }
  const std::string source = rest.substr(from);
  const std::string& search = parts[0];
  const std::string& replacement = parts[1];

  // Guard bytes around the destination catch any write outside it.
  std::vector<char> dest(dest_size + 2, '\x7F');
  const int count = StringReplace(rules, dest.data() + 1, dest_size, source.c_str(), search.c_str(),
                                  replacement.c_str());
  if (dest[0] != '\x7F' || dest[dest_size + 1] != '\x7F') __builtin_trap();
  if (count >= 0) {
    const std::size_t len = std::strlen(dest.data() + 1);
    if (len >= dest_size) __builtin_trap();
    const std::size_t expect = ReplacedFileSize(std::strlen(source.c_str()), search.size(),
                                                replacement.size(), count);
    // Case-blind matches may differ in bytes but not in length under these rules.
    if (len != expect) __builtin_trap();
  } else {
    for (std::size_t i = 1; i <= dest_size; ++i)
      if (dest[i] != '\x7F') __builtin_trap();
  }

  ReplaceLayout layout;
  if (search.empty() || !PlanFileReplace(source.size(), search.size(), replacement.size(), &layout)) return 0;
  std::vector<char> map(layout.mapped, '\x55');
  std::memcpy(map.data(), source.data(), source.size());
  const int n = ReplaceInMapping(rules, map.data(), layout, source.size(), search.c_str(), replacement.c_str());
  if (n < 0) __builtin_trap();  // the plan leaves room for every possible match
  const std::size_t file_size = ReplacedFileSize(source.size(), search.size(), replacement.size(), n);
  for (std::size_t i = file_size; i < layout.mapped; ++i)
    if (map[i] != '\0') __builtin_trap();
  return 0;
}
