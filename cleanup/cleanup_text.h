// The text work of the uninstall cleanup: joining paths into fixed buffers, the self-deleting batch
// file, the edits to WININIT.INI's rename section and the shared-use decision. Windows-free (the
// lead-byte table is passed in), so every rule is unit-tested natively, double-byte folders included.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/mbcs.h"

namespace twg {

// True when the last character of text (not merely its last byte) is a backslash.
bool EndsWithBackslash(const LeadBytes& lead, const char* text);

// folder + "\" + name into out (size bytes, terminator included); no backslash is added when folder is
// empty or already ends in one. False, with out emptied, when the result would not fit: a cut path
// could name another file, and these paths are deleted.
bool JoinPath(const LeadBytes& lead, const char* folder, const char* name, char* out, std::size_t size);
template <std::size_t N>
bool JoinPath(const LeadBytes& lead, const char* folder, const char* name, char (&out)[N]) {
  return JoinPath(lead, folder, name, out, N);
}

// The text behind the last backslash of path, or null when it holds none.
const char* LastPart(const LeadBytes& lead, const char* path);

// Cuts path in place at its last backslash; false (path unchanged) when it holds none.
bool CutAtLastBackslash(const LeadBytes& lead, char* path);

// Cuts a Windows folder ("C:\WINDOWS") at its first backslash and appends "\Command.com": the 9x
// command interpreter sits in the root of the boot drive.
bool CommandComPath(const LeadBytes& lead, const char* windows_folder, char* out, std::size_t size);

// What the batch file run at the next logon is to remove. Empty texts stand for "not known".
struct DeleteBatchPlan {
  std::string product_folder;
  std::string data_folder;
  std::string companion_folder;
  std::string parent_folder;  // set only when it holds nothing but the product's folders
  bool nt = false;             // only NT's rmdir removes a folder with its contents
  std::string batch_path;
};

// The batch file's bytes: one "rmdir" line per known folder (CR LF each), the parent's, and finally the
// line that deletes the batch file itself, with no line end so that nothing follows the deletion.
std::string DeleteBatchText(const DeleteBatchPlan& plan);

// The parent test of the batch file's last rmdir: an entry of the parent folder that keeps it, unless
// it is a folder named like the product folder's or the companion folder's last part.
bool EntryKeepsParent(const LeadBytes& lead, const char* entry_name, bool is_folder, const char* product_folder,
                      const char* companion_folder);

// WININIT.INI: the placeholder line that the profile functions wrote ("XRN=...", the first three
// characters compared without case; lines are read in pieces of at most 519 characters) is overwritten
// in place by "NUL=" + path. Returns the offset of the placeholder and sets *line to the bytes that
// replace it (same line end as the placeholder's), or npos when there is no placeholder.
std::size_t PlaceholderEdit(const std::string& ini, const char* short_path, std::string* line);

// Whether a piece of the file (read in pieces of at most 259 characters, the last character of each
// dropped as its line end) holds "[rename]", compared with case.
bool HoldsRenameSection(const std::string& ini);

// The shared-use count of a file other products may count on decides whether it may go.
enum class SharedFileVerdict { kDelete, kDeleteOrScheduleOnNt, kKeep };
enum class SharedCountRead { kMissing, kRead, kUnreadable };
SharedFileVerdict JudgeSharedFile(SharedCountRead read, std::uint32_t count);

}  // namespace twg
