#include "cleanup/cleanup_text.h"

#include <cstring>

namespace twg {
namespace {

// The first byte of text's last character: walking from the start is the only way to tell the trail
// byte 0x5C of a double-byte character from a backslash.
const char* LastCharOf(const LeadBytes& lead, const char* text) {
  const char* last = nullptr;
  for (const char* p = text; *p; p = NextChar(lead, p)) last = p;
  return last;
}

bool Fits(std::size_t length, std::size_t size) { return length < size; }

// A piece of the file as a line-by-line reader with a buffer of max_chars + 1 would get it.
std::size_t PieceLength(const std::string& text, std::size_t start, std::size_t max_chars) {
  std::size_t end = start;
  while (end < text.size() && end - start < max_chars) {
    if (text[end++] == '\n') break;
  }
  return end - start;
}

bool StartsWithPlaceholderKey(const std::string& text, std::size_t at, std::size_t length) {
  if (length < 3) return false;
  static const char kKey[] = "XRN";
  for (std::size_t i = 0; i < 3; ++i) {
    char c = text[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kKey[i]) return false;
  }
  return true;
}

}  // namespace

bool EndsWithBackslash(const LeadBytes& lead, const char* text) {
  const char* last = LastCharOf(lead, text);
  return last != nullptr && *last == '\\';
}

bool JoinPath(const LeadBytes& lead, const char* folder, const char* name, char* out, std::size_t size) {
  if (size == 0) return false;
  const bool separator = folder[0] != '\0' && !EndsWithBackslash(lead, folder);
  const std::size_t folder_length = std::strlen(folder), name_length = std::strlen(name);
  if (!Fits(folder_length + (separator ? 1 : 0) + name_length, size)) {
    out[0] = '\0';
    return false;
  }
  std::memmove(out, folder, folder_length);
  std::size_t at = folder_length;
  if (separator) out[at++] = '\\';
  std::memcpy(out + at, name, name_length);
  out[at + name_length] = '\0';
  return true;
}

const char* LastPart(const LeadBytes& lead, const char* path) {
  const char* slash = FindLastChar(lead, path, '\\');
  return slash ? slash + 1 : nullptr;
}

bool CutAtLastBackslash(const LeadBytes& lead, char* path) {
  char* slash = FindLastChar(lead, path, '\\');
  if (slash == nullptr) return false;
  *slash = '\0';
  return true;
}

bool CommandComPath(const LeadBytes& lead, const char* windows_folder, char* out, std::size_t size) {
  const char* slash = FindFirstChar(lead, windows_folder, '\\');
  const std::size_t drive = slash ? static_cast<std::size_t>(slash - windows_folder) : std::strlen(windows_folder);
  static const char kName[] = "\\Command.com";
  if (!Fits(drive + sizeof kName - 1, size)) {
    if (size) out[0] = '\0';
    return false;
  }
  std::memcpy(out, windows_folder, drive);
  std::memcpy(out + drive, kName, sizeof kName);
  return true;
}

std::string DeleteBatchText(const DeleteBatchPlan& plan) {
  std::string text;
  auto rmdir = [&text](const std::string& folder, const char* options) {
    text += "rmdir \"" + folder + "\"" + options + "\r\n";
  };
  if (!plan.product_folder.empty()) rmdir(plan.product_folder, "");
  if (!plan.data_folder.empty()) rmdir(plan.data_folder, plan.nt ? " /S /Q " : "");
  if (!plan.companion_folder.empty()) rmdir(plan.companion_folder, "");
  if (!plan.parent_folder.empty()) rmdir(plan.parent_folder, "");
  text += "del \"" + plan.batch_path + "\"";
  return text;
}

bool EntryKeepsParent(const LeadBytes& lead, const char* entry_name, bool is_folder, const char* product_folder,
                      const char* companion_folder) {
  if (std::strcmp(entry_name, ".") == 0 || std::strcmp(entry_name, "..") == 0) return false;
  if (!is_folder) return true;
  for (const char* folder : {product_folder, companion_folder}) {
    const char* part = LastPart(lead, folder);
    if (part != nullptr && std::strcmp(entry_name, part) == 0) return false;
  }
  return true;
}

std::size_t PlaceholderEdit(const std::string& ini, const char* short_path, std::string* line) {
  constexpr std::size_t kLineChars = 519;
  for (std::size_t at = 0; at < ini.size();) {
    const std::size_t length = PieceLength(ini, at, kLineChars);
    if (StartsWithPlaceholderKey(ini, at, length)) {
      const std::string piece = ini.substr(at, length);
      const bool crlf = piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0;
      const bool lf = !crlf && !piece.empty() && piece.back() == '\n';
      *line = std::string("NUL=") + short_path + (lf ? "\n" : "\r\n");
      return at;
    }
    at += length;
  }
  return std::string::npos;
}

bool HoldsRenameSection(const std::string& ini) {
  constexpr std::size_t kLineChars = 259;
  for (std::size_t at = 0; at < ini.size();) {
    const std::size_t length = PieceLength(ini, at, kLineChars);
    if (ini.substr(at, length - 1).find("[rename]") != std::string::npos) return true;
    at += length;
  }
  return false;
}

SharedFileVerdict JudgeSharedFile(SharedCountRead read, std::uint32_t count) {
  switch (read) {
    case SharedCountRead::kMissing:
      return SharedFileVerdict::kDelete;
    case SharedCountRead::kRead:
      return count < 2 ? SharedFileVerdict::kDeleteOrScheduleOnNt : SharedFileVerdict::kKeep;
    case SharedCountRead::kUnreadable:
      break;
  }
  // A count that exists but cannot be read may still be someone's claim on the file.
  return SharedFileVerdict::kKeep;
}

}  // namespace twg
