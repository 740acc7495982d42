#include "antivirus/companion_rules.h"

#include <cstring>

namespace twg {

std::uint32_t LeadingNumber(const char* text) {
  constexpr std::uint32_t kMax = 0xFFFFFFFFu;
  std::uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const std::uint32_t digit = static_cast<std::uint32_t>(*text - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

namespace {

std::uint32_t WidenVersionByte(std::uint8_t byte) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(byte)));
}

}  // namespace

bool CompanionNeedsUpgrade(std::uint8_t major, std::uint8_t minor, std::uint32_t wanted_major,
                           std::uint32_t wanted_minor) {
  const std::uint32_t installed_major = WidenVersionByte(major);
  if (installed_major != wanted_major) return installed_major < wanted_major;
  return WidenVersionByte(minor) < wanted_minor;
}

std::string FormatWithProductName(const char* text_template, const char* product_name) {
  std::string text;
  text.reserve(std::strlen(text_template) + 2 * std::strlen(product_name));
  for (const char* p = text_template; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      text += product_name;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

}  // namespace twg
