// The folder rules that only look at the text of a path, and the path arithmetic the location actions
// share. Windows-free: the lead-byte table and the case-insensitive comparison are passed in, so the
// rules are unit-tested natively under the same double-byte code pages the installer meets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/mbcs.h"

namespace twg {

// The product needs this many free bytes on the target volume.
constexpr std::uint64_t kRequiredFreeBytes = 30000000;
inline bool IsDiskSpaceShort(std::uint64_t total_free_bytes) { return total_free_bytes < kRequiredFreeBytes; }

// A folder text as read from the installer (trailing backslash included) must be 4 to 100 characters.
bool HasAcceptableLength(const char* folder);

// Removes one trailing backslash unless the byte before it is a lead byte (then the backslash is the
// trail byte of a double-byte character). The other folder rules work on this copy.
void StripTrailingBackslash(const LeadBytes& lead, std::string& folder);

// "X:\" with X a letter A-Z or a-z: the two rules on the first three characters.
bool StartsWithDriveLetter(const char* folder);
bool HasColonAndBackslash(const char* folder);

// True when c occurs as a whole character after the first backslash (";" and "&" break the command lines
// and response files the product's setup writes).
bool HasCharAfterFirstBackslash(const LeadBytes& lead, const char* folder, char c);

// The first backslash that is followed by a space refuses the folder when a space also precedes it
// ("C:\A \ B"), and so does any folder name that ends with a space ("C:\A \B", "C:\A "): Windows drops
// trailing spaces from the last name of a path when it creates the folder but keeps them in the middle
// of a path, so such a folder cannot be created and reached under the name the properties carry. Names
// that begin with a space ("C:\ A") are kept by Windows and accepted.
bool BreaksSpaceRule(const LeadBytes& lead, const char* folder);

// Byte by byte: any lead byte of the code page.
bool HasLeadByte(const LeadBytes& lead, const char* folder);
// Character by character: any single-byte character of 0x80 or above. With HasLeadByte this admits
// 7-bit text only.
bool HasHighBitCharacter(const LeadBytes& lead, const char* folder);

// Compares the first n bytes of two texts ignoring case the way the system does.
using EqualIgnoringCase = std::function<bool(const char* a, const char* b, std::size_t n)>;

// The path is the folder itself or lies below it ("C:\WINDOWS" holds "C:\WINDOWS\TEMP" and
// "C:\WINDOWS", not "C:\WINDOWSX"). Missing or empty texts answer no.
bool IsPathWithin(const char* folder, const char* path, const EqualIgnoringCase& equal);

// The texts a parent walk visits: the path, then the path cut at each last backslash in turn, down to
// the text before the first backslash ("C:\A\B" -> "C:\A\B", "C:\A", "C:").
std::vector<std::string> PathAndParents(const LeadBytes& lead, const std::string& path);

// The folders the writeability probe tries to create, nearest first: the folder itself with a trailing
// backslash, then each parent, down to the drive root ("C:\A\B\" -> "C:\A\B\", "C:\A\", "C:\"). A
// folder given without its trailing backslash is treated the same.
std::vector<std::string> CreationCandidates(const LeadBytes& lead, const std::string& folder);

// The answer of QueryDosDeviceA for a drive: texts each ended by a NUL, length bytes in all. A
// substituted drive names a DOS path ("\??\C:\windows") where a real one names a device.
bool NamesSubstitutedDrive(const char* targets, std::size_t length);

// folder + "\" (unless it already ends with one) + name.
std::string JoinPath(const LeadBytes& lead, const std::string& folder, const char* name);

// Copies first + second into out when the whole text and its terminator fit in size bytes; otherwise
// leaves out untouched and answers false.
bool ConcatBounded(char* out, std::size_t size, const char* first, const char* second);

// The installer's UILevel as a number; text that is not a number counts as 0.
int ParseUiLevel(const char* text);

}  // namespace twg
