// The decisions of the companion antivirus actions that need no Windows: the version test against the
// companion's raw "CurrentVersion" bytes, and the failure texts shown when its install or uninstall
// goes wrong. Native unit tests cover them.
#pragma once
#include <cstdint>
#include <string>

namespace twg {

// The number that the leading decimal digits of text spell; 0 when there are none. Saturates rather
// than wrapping, so an absurdly long number is still "very large".
std::uint32_t LeadingNumber(const char* text);

// Whether the installed companion (major and minor byte of its "CurrentVersion") is older than the one
// this package carries. Each byte is taken as a signed 8-bit number widened to 32 bits and compared
// unsigned, so a byte of 128 or more reads as newer than any version a package would carry: the
// companion's own setup writes such bytes only for builds we must not downgrade.
bool CompanionNeedsUpgrade(std::uint8_t major, std::uint8_t minor, std::uint32_t wanted_major,
                           std::uint32_t wanted_minor);

// The text of a failure report: every "%s" in the template becomes the product name and "%%" a single
// "%"; anything else is copied as it stands. The result holds the whole text however long the name is.
std::string FormatWithProductName(const char* text_template, const char* product_name);

}  // namespace twg
