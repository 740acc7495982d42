// FixupNestedMSI: the source folder as the short form that a nested installer and the companion's setup
// can take on a command line, with the long form kept beside it, and this product's package name in
// "OriginalDatabase".
#include <cstring>
#include <string>

#include "frame/action_frame.h"

namespace twg {
namespace {

constexpr char kPackageName[] = "TWG.msi";

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall FixupNestedMSI(MSIHANDLE session) {
  return twg::RunAction("FixupNestedMSI", [&] {
    char long_form[260] = "";
    DWORD size = sizeof long_form;
    if (MsiGetSourcePathA(session, "INSTALLDIR", long_form, &size) != ERROR_SUCCESS) return ERROR_INSTALL_USEREXIT;
    char short_form[260] = "";
    const DWORD length = GetShortPathNameA(long_form, short_form, sizeof short_form);
    const bool has_short = length != 0 && length < sizeof short_form;
    if (has_short) {
      twg::SetProperty(session, "SOURCEDIR", short_form);
      twg::SetProperty(session, "SourceDir", short_form);
      if (std::strcmp(short_form, long_form) != 0) twg::SetProperty(session, "LONGSRCDIR", long_form);
    } else {
      // Without a short form the long one is the only true source path; never name a package in no folder.
      std::strcpy(short_form, long_form);
    }
    char database[260], original[260];
    twg::ReadProperty(session, "DATABASE", database);
    twg::ReadProperty(session, "OriginalDatabase", original);
    // A package that runs from a cached copy names its media by the short form.
    const char* folder = std::strcmp(database, original) != 0 ? short_form : long_form;
    twg::SetProperty(session, "OriginalDatabase", (std::string(folder) + twg::kPackageName).c_str());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
