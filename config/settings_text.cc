#include "config/settings_text.h"

#include <cstring>

namespace twg {

bool AcceptUserName(const LeadBytes& lead, const char* typed, std::string* trimmed) {
  std::string name(typed);
  const std::size_t first = name.find_first_not_of(' ');
  name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(' ') - first + 1);
  if (name.empty() || name.size() > 32 || FindFirstChar(lead, name.c_str(), '!') != nullptr) return false;
  *trimmed = name;
  return true;
}

bool HasDoubleByteOrHighByte(const LeadBytes& lead, const char* password) {
  for (const char* p = password; *p != '\0'; ++p) {
    if (lead.IsLead(*p) || static_cast<unsigned char>(*p) >= 0x80) return true;
  }
  return false;
}

void CutAtLastComma(const LeadBytes& lead, char* text) {
  char* comma = FindLastChar(lead, text, ',');
  if (comma != nullptr) *comma = '\0';
}

const char* AlertIconIndex(bool fet_a_present, bool fet_p_present) {
  if (fet_a_present) return fet_p_present ? ",8" : ",10";
  return fet_p_present ? ",9" : ",11";
}

}  // namespace twg
