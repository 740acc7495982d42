// Key-path arithmetic of the protected store: joining, the protected-prefix test, where encoding of a
// subkey begins, and the cutting of long paths. Windows-free; every walk steps over whole double-byte
// characters (lead-byte table passed in), so a trail byte 0x5C is never taken for a separator.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "frame/mbcs.h"

namespace twg {

// The longest path the registry functions are given in one piece.
constexpr std::size_t kLongPathLimit = 260;

// Bytes of the character at view[at]: 2 for a lead byte followed by another byte, else 1.
inline std::size_t CharSize(const LeadBytes& lead, std::string_view view, std::size_t at) {
  return lead.IsLead(view[at]) && at + 1 < view.size() ? 2 : 1;
}

// Index of the next backslash at or after `at`, or view.size().
std::size_t FindSeparator(const LeadBytes& lead, std::string_view view, std::size_t at = 0);
// Index of the last backslash, or npos.
std::size_t FindLastSeparator(const LeadBytes& lead, std::string_view view);

std::string_view TrimBackslashes(std::string_view part);
// parent + "\" + child, leading and trailing backslashes of both dropped; no backslash when one of
// them is empty.
std::string JoinKeyPath(std::string_view parent, std::string_view child);

// True when path begins with prefix (compared without regard to ASCII case) and goes on with a
// backslash or ends there: the prefix key itself is covered, a sibling "GRD.tmp" of "GRD" is not.
bool IsUnderPrefix(std::string_view path, std::string_view prefix);

// The protected prefixes in list order; the first match wins.
class PrefixList {
 public:
  static constexpr std::size_t kMaxPrefixes = 20;
  static constexpr char kDefault[] = "HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD";

  void Add(std::string_view prefix) { prefixes_.emplace_back(prefix); }
  std::size_t size() const { return prefixes_.size(); }
  const std::string& operator[](std::size_t i) const { return prefixes_[i]; }
  // The first prefix covering path, or null.
  const std::string* Covering(std::string_view path) const;

 private:
  std::vector<std::string> prefixes_;
};

// How a subkey below a handle is to be encoded.
struct KeyPathPlan {
  bool protected_path = false;  // some prefix covers the joined path
  std::string_view subkey;      // the subkey as it goes to the registry, before encoding
  std::size_t start = 0;        // protected start: where encoding begins in subkey
};
KeyPathPlan PlanKeyPath(const PrefixList& prefixes, std::string_view handle_path, std::string_view subkey);

// The pieces a path is opened or created in: a path longer than the limit is cut at the last backslash
// before the limit (or the first one after it when there is none before), repeatedly. Pieces hold no
// separators at their ends. A path of limit characters or fewer, or without a backslash, is one piece.
std::vector<std::string_view> SplitLongPath(const LeadBytes& lead, std::string_view path,
                                            std::size_t limit = kLongPathLimit);

}  // namespace twg
