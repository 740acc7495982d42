// The decisions of the detection actions, apart from the system calls that feed them. Windows-free, so
// the branches that Wine never takes (a failing extended version query, the enterprise suite, several
// logged-on users, a Middle-East system) are proven natively.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/mbcs.h"

namespace twg {

constexpr std::uint32_t kPlatformWindows9x = 1;  // Windows 95, 98 and Me
constexpr std::uint32_t kPlatformNT = 2;

// --- Windows edition ----------------------------------------------------------------------------

// WIN2KVER when the extended version record could be read: product type 1 (workstation) is "PRO", every
// other product type "SERVER", whatever the version.
const char* EditionFromProductType(std::uint8_t product_type);

// WIN2KVER on systems without the extended record: an NT system whose ProductOptions key opens and whose
// ProductType text is not "WinNT" (ignoring case) is "SERVER"; null means the property is cleared. An
// unreadable ProductType reads as "" and therefore counts as a server.
const char* EditionFromProductOptions(std::uint32_t platform_id, bool key_opened,
                                      const char* product_type_text);

// The first retail Windows 95: 4.0 of the 9x family with build 950 in the low word (the high word of a
// 9x build number repeats major and minor).
bool IsWindows95Gold(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor, std::uint32_t build);

// Windows 2000 Advanced Server: major 5 with the enterprise suite bit.
bool IsAdvancedServer(std::uint32_t major, std::uint16_t suite_mask);

// Windows 98 and Me are the Middle-East systems for which the package carries the common-controls update.
bool ShipsComCtlUpdate(std::uint32_t platform_id, std::uint32_t minor);

// --- Texts --------------------------------------------------------------------------------------

// Whole-text comparison ignoring the case of single-byte letters; double-byte characters compare
// exactly, so a trail byte is never folded.
bool EqualsIgnoreCase(const LeadBytes& lead, const char* a, const char* b);

enum class CaseRule { kExact, kIgnoreCase };
// Whether a REG_MULTI_SZ block holds the wanted string. The walk stops at the first empty string or at
// the end of the block, whichever comes first, so an unterminated block is safe.
bool MultiStringContains(const char* block, std::size_t size, const char* wanted, CaseRule rule);

// The length of the longest prefix of text that fits in max_bytes without splitting a double-byte
// character.
std::size_t FittingLength(const LeadBytes& lead, const char* text, std::size_t max_bytes);

// Cuts the path at its last backslash twice, stopping early when none is left: "D:\SETUP\TWG\" becomes
// "D:\SETUP", the parent of the source folder.
void CutToParentFolder(const LeadBytes& lead, char* path);

// Drops one double quote at the start and one at the end (App Paths values are often quoted).
void StripEnclosingQuotes(char* path);

// --- Sessions -----------------------------------------------------------------------------------

constexpr int kSessionActive = 0;
constexpr int kSessionDisconnected = 4;

// What the terminal services tell about one session.
struct SessionFacts {
  bool has_user_name;    // the user-name query succeeded with a non-empty name
  int connection_state;  // WTS_CONNECTSTATE_CLASS
};

// Logged-on users: sessions with a user name that are active or disconnected. Console and listener
// sessions without a user count for nothing.
int CountLoggedOnUsers(const SessionFacts* sessions, std::size_t count);

}  // namespace twg
