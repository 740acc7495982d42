// Small actions around the install folder: can it be written, is the source a network share, the
// folder's system mark, and folder properties without their trailing backslash. None of them fails
// the install.
#include <cstring>
#include <string>

#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "location/folder_text.h"

namespace twg {
namespace {

constexpr char kProbeFileName[] = "DeleteThisFile.txt";

bool CanCreateFileIn(const std::string& folder) {
  const std::string probe = JoinPath(SystemLeadBytes(), folder, kProbeFileName);
  {
    ScopedHandle file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.valid()) return false;
  }
  DeleteFileA(probe.c_str());
  return true;
}

bool FolderHasEntries(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  ScopedFindFile find(FindFirstFileA(JoinPath(SystemLeadBytes(), folder, "*.*").c_str(), &entry));
  return find.valid();
}

// A folder that does not exist yet is writeable when its nearest creatable ancestor can be made; the
// probe leaves nothing behind. An access-denied answer ends the search: a folder further up that could
// be made would not help.
bool CanCreateFolderFor(const std::string& folder) {
  for (const std::string& candidate : CreationCandidates(SystemLeadBytes(), folder)) {
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      RemoveDirectoryA(candidate.substr(0, candidate.size() - 1).c_str());
      return true;
    }
    if (GetLastError() == ERROR_ACCESS_DENIED) return false;
  }
  return false;
}

bool IsFolderWriteable(const std::string& folder) {
  if (CanCreateFileIn(folder)) return true;
  if (FolderHasEntries(folder)) return false;  // it exists, and the user may not write there
  return CanCreateFolderFor(folder);
}

// Reads the property and puts it back without one trailing backslash; a value that cannot be read
// whole is left alone.
UINT RemoveTrailingBackslash(MSIHANDLE session, const char* property) {
  char folder[260];
  if (ReadProperty(session, property, folder) != ERROR_SUCCESS) return ERROR_SUCCESS;
  const std::size_t length = std::strlen(folder);
  if (length > 0 && folder[length - 1] == '\\') {
    folder[length - 1] = '\0';
    SetProperty(session, property, folder);
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall fnIsFolderWriteable(MSIHANDLE session) {
  return twg::RunAction("fnIsFolderWriteable", [&] {
    char folder[260];
    twg::ReadProperty(session, "INSTALLDIR", folder);
    // "0" first, so that a probe cut short still reads as not writeable.
    twg::SetProperty(session, "WRITEABLEFOLDER", "0");
    // An unset folder would send the probe to the root of the current drive.
    if (folder[0] != '\0' && twg::IsFolderWriteable(folder)) twg::SetProperty(session, "WRITEABLEFOLDER", "1");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall DetectUNC(MSIHANDLE session) {
  return twg::RunAction("DetectUNC", [&] {
    char source[260];
    twg::ReadProperty(session, "SourceDir", source);
    twg::SetFlagProperty(session, "UNCPath", source[0] == '\\' && source[1] == '\\');
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// The system attribute alone: read-only, hidden and the rest are replaced.
TWG_ACTION UINT __stdcall TWGAddSystemAttribToInstDir(MSIHANDLE session) {
  return twg::RunAction("TWGAddSystemAttribToInstDir", [&] {
    char folder[520];
    twg::ReadProperty(session, "INSTALLDIR", folder);
    SetFileAttributesA(folder, FILE_ATTRIBUTE_SYSTEM);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGRemoveBackslashFromCommonAppDataDir(MSIHANDLE session) {
  return twg::RunAction("TWGRemoveBackslashFromCommonAppDataDir", [&] {
    return twg::RemoveTrailingBackslash(session, "NOBACKSLASHCOMMONAPPDATADIR");
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGRemoveBackslashFromCommonFilesDir(MSIHANDLE session) {
  return twg::RunAction("TWGRemoveBackslashFromCommonFilesDir", [&] {
    return twg::RemoveTrailingBackslash(session, "NOBACKSLASHCOMMONFILESDIR");
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGRemoveBackslashFromInstallDir(MSIHANDLE session) {
  return twg::RunAction("TWGRemoveBackslashFromInstallDir", [&] {
    return twg::RemoveTrailingBackslash(session, "NOBACKSLASHINSTALLDIR");
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGRemoveBackslashFromAppDataDir(MSIHANDLE session) {
  return twg::RunAction("TWGRemoveBackslashFromAppDataDir", [&] {
    return twg::RemoveTrailingBackslash(session, "NOBACKSLASHAPPDATADIR");
  }, ERROR_SUCCESS);
}
