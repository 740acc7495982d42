#include "config/dependency_list.h"

#include <cstring>

#include "config/ascii_text.h"

namespace twg {

std::size_t NamesSize(const char* list) {
  const char* p = list;
  while (*p != '\0') p += std::strlen(p) + 1;
  return static_cast<std::size_t>(p - list);
}

bool ContainsName(const char* list, const char* name) {
  for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) {
    if (EqualsIgnoringAsciiCase(p, name)) return true;
  }
  return false;
}

std::string WithNameAppended(const char* list, const char* name) {
  std::string out(list, NamesSize(list));
  out.append(name, std::strlen(name) + 1);
  out.push_back('\0');
  return out;
}

bool WithoutName(const char* list, const char* name, RemoveWhich which, std::string* out) {
  std::string kept;
  bool found = false;
  for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) {
    if ((!found || which == RemoveWhich::kEvery) && EqualsIgnoringAsciiCase(p, name)) {
      found = true;
      continue;
    }
    kept.append(p, std::strlen(p) + 1);
  }
  if (!found) return false;
  kept.push_back('\0');
  *out = kept;
  return true;
}

}  // namespace twg
