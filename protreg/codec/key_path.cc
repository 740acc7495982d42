#include "protreg/codec/key_path.h"

namespace twg {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t FindSeparator(const LeadBytes& lead, std::string_view view, std::size_t at) {
  while (at < view.size() && view[at] != '\\') at += CharSize(lead, view, at);
  return at < view.size() ? at : view.size();
}

std::size_t FindLastSeparator(const LeadBytes& lead, std::string_view view) {
  std::size_t found = std::string_view::npos;
  for (std::size_t at = 0; at < view.size(); at += CharSize(lead, view, at)) {
    if (view[at] == '\\') found = at;
  }
  return found;
}

std::string_view TrimBackslashes(std::string_view part) {
  while (!part.empty() && part.front() == '\\') part.remove_prefix(1);
  while (!part.empty() && part.back() == '\\') part.remove_suffix(1);
  return part;
}

std::string JoinKeyPath(std::string_view parent, std::string_view child) {
  parent = TrimBackslashes(parent);
  child = TrimBackslashes(child);
  std::string joined(parent);
  if (!parent.empty() && !child.empty()) joined += '\\';
  joined.append(child.data(), child.size());
  return joined;
}

bool IsUnderPrefix(std::string_view path, std::string_view prefix) {
  if (prefix.empty() || path.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldAscii(path[i]) != FoldAscii(prefix[i])) return false;
  }
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

const std::string* PrefixList::Covering(std::string_view path) const {
  for (const std::string& prefix : prefixes_) {
    if (IsUnderPrefix(path, prefix)) return &prefix;
  }
  return nullptr;
}

KeyPathPlan PlanKeyPath(const PrefixList& prefixes, std::string_view handle_path, std::string_view subkey) {
  KeyPathPlan plan;
  std::string_view parent = TrimBackslashes(handle_path);
  std::string joined = JoinKeyPath(parent, subkey);
  const std::string* prefix = prefixes.Covering(joined);
  if (!prefix) {
    while (!subkey.empty() && subkey.front() == '\\') subkey.remove_prefix(1);
    plan.subkey = subkey;
    plan.start = subkey.size();
    return plan;
  }
  plan.protected_path = true;
  plan.subkey = TrimBackslashes(subkey);
  if (parent.size() >= prefix->size()) {
    plan.start = 0;
  } else {
    std::size_t skipped = parent.empty() ? 0 : parent.size() + 1;
    plan.start = prefix->size() - skipped;
  }
  return plan;
}

std::vector<std::string_view> SplitLongPath(const LeadBytes& lead, std::string_view path,
                                            std::size_t limit) {
  std::vector<std::string_view> pieces;
  while (path.size() > limit) {
    std::size_t cut = std::string_view::npos;
    for (std::size_t at = 0; at < path.size(); at += CharSize(lead, path, at)) {
      if (path[at] != '\\') continue;
      if (at < limit || cut == std::string_view::npos) cut = at;
      if (at >= limit) break;
    }
    if (cut == std::string_view::npos) break;
    pieces.push_back(path.substr(0, cut));
    path.remove_prefix(cut + 1);
  }
  pieces.push_back(path);
  return pieces;
}

}  // namespace twg
