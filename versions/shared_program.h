// The maker's shared main program "TMain.exe" in the shared folder, which the old and the new product
// both use: replacing it by the package's copy, and keeping or dropping its backup "TMain.bak".
#pragma once
#include <windows.h>
#include <msi.h>

#include <string>

#include "frame/result.h"

namespace twg {

// Reads a value of the registry root named by text ("HKEY_LOCAL_MACHINE"...) into a 260-byte buffer,
// emptied first; true when the read succeeded.
bool ReadRegValueByRootName(const char* root_name, const char* subkey, const char* value_name,
                            char (&buffer)[260]);

// The path of a file in the maker's shared folder; "" when the folder is not recorded.
std::string SharedFolder();
std::string SharedFilePath(const char* file_name);

// Replaces the shared file by the package's Binary-table copy of the same name unless the file present
// is current. The old copy is moved aside only after the new one has been written out, and moved back
// if the copy into place fails: the shared folder is never left without the file.
Result ExtractAndPatchSharedFile(MSIHANDLE session, const char* file_name);
Result ExtractBinaryToFile(MSIHANDLE session, const char* binary_name, const char* target_path);
Result GetFileFixedVersion(const char* path, VS_FIXEDFILEINFO* block);

// Puts "TMain.bak" back in place of "TMain.exe" when there is one.
void RestoreTMainBackup();
// Deletes "TMain.bak" beside the given "TMain.exe" when no product counts a reference to the program.
void DropTMainBackup(const std::string& program_path);

}  // namespace twg
