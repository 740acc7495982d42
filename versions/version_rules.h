// The rules of earlier-version handling that need no Windows: which shared main program counts as
// current, how its backup and target paths are formed, and how a registry root is recognised by name.
#pragma once
#include <cstdint>
#include <string>

#include "frame/mbcs.h"

namespace twg {

// An earlier installer-based product, in the order the products are tested.
struct OldProduct {
  const char* product_code;
  const char* name;             // the value published as PREVIOUSPRODUCTNAME
  const char* uninstall_command;
};
constexpr int kOldProductCount = 3;
extern const OldProduct kOldProducts[kOldProductCount];

// The shared program is current when major > 4, minor > 0 and the fourth number > 6, each tested on its
// own (the third number is not looked at): 5.1.0.7 is current, 6.0.0.10 is not.
bool IsCurrentSharedVersion(std::uint32_t version_ms, std::uint32_t version_ls);

// folder + "\" + file, without a second backslash when the folder already ends with one and without any
// when the folder is empty. The folder's last character is judged over the code page's lead bytes.
std::string JoinFolderFile(const LeadBytes& lead, const std::string& folder, const std::string& file);

// The path with its last three characters replaced by "bak"; empty for a path shorter than four.
std::string BackupPathFor(const std::string& path);

// The unique number of the patch's temporary file name, from a pseudo-random value: the value modulo
// 9999, never 0. GetTempFileName creates the file itself for 0, and the later create-new of that name
// would fail.
unsigned TemporaryFileNumber(unsigned random);

// The registry roots an uninstall or configuration key may be named by.
enum class RootName { kNone, kClassesRoot, kLocalMachine, kUsers, kCurrentUser };
// Recognised by the seventh character alone, upper-cased: L, O, S, U.
RootName RootFromName(const char* name);

}  // namespace twg
