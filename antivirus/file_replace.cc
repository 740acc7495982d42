#include "antivirus/nested_setup.h"

#include "antivirus/string_replace.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"

namespace twg {
namespace {

bool EqualUnderUserLocale(const char* a, std::size_t a_len, const char* b, std::size_t b_len) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(a_len), b,
                        static_cast<int>(b_len)) == CSTR_EQUAL;
}

long ReportFailure() {
  const DWORD error = GetLastError();
  DebugOut("FileSearchAndReplace()\nError:\t%d", static_cast<int>(error));
  return static_cast<long>(error);
}

struct MappedViewTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { UnmapViewOfFile(h); }
};

}  // namespace

const TextRules& UserTextRules() {
  static const LeadBytes lead = SystemLeadBytes();
  static const TextRules rules{&lead, EqualUnderUserLocale};
  return rules;
}

long FileSearchAndReplace(const char* path, const char* search, const char* replacement) {
  if (!path || !*path || !search || !*search) return -1;
  ScopedHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return ReportFailure();
  const DWORD old_size = GetFileSize(file, nullptr);
  if (old_size == INVALID_FILE_SIZE) return ReportFailure();
  ReplaceLayout layout;
  if (!PlanFileReplace(old_size, lstrlenA(search), lstrlenA(replacement), &layout)) return -1;
  int count = -1;
  {
    // Mapping more than the file holds grows it; the end is set back below whatever happens.
    ScopedHandle mapping(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(layout.mapped), nullptr));
    if (!mapping.valid()) return ReportFailure();
    Scoped<MappedViewTraits> view(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!view.valid()) {
      const long error = ReportFailure();
      SetFilePointer(file, static_cast<LONG>(old_size), nullptr, FILE_BEGIN);
      SetEndOfFile(file);
      return error;
    }
    count = ReplaceInMapping(UserTextRules(), static_cast<char*>(view.get()), layout, old_size, search,
                             replacement);
  }
  const std::size_t size = ReplacedFileSize(old_size, lstrlenA(search), lstrlenA(replacement), count);
  SetFilePointer(file, static_cast<LONG>(size), nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  return count;
}

}  // namespace twg
