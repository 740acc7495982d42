// The decisions of the updater actions that look only at texts: which edition a property selects,
// whether the package brings the update program itself, and the update program's command line.
// Windows-free, so they are unit-tested natively.
#pragma once
#include <cstddef>

namespace twg {

// The corporate edition is chosen only by these exact, case-sensitive texts: the deferred actions'
// data "VXF" and the flags "1". "vxf" or "01" select the consumer edition.
bool IsCorporateData(const char* custom_action_data);
bool IsFlagOn(const char* flag);

// "RunSkyfetch" as read (a few characters): empty means the package installs the update program, so
// does a leading decimal number above 0 ("2x" counts as 2, "x", "0" and "-1" do not).
bool PackageBringsSkyfetch(const char* run_skyfetch);

// The update check runs without questions at interface level 2 (none) or when "SilentInstall" is
// "silent" in any case.
constexpr int kUiLevelNone = 2;
bool IsSilentUpdateCheck(int ui_level, const char* silent_install);

// "-m<program> -m<other> -m<url> -m<signature>", then " -s" when silent. False (and out empty) when it
// does not fit into out.
bool BuildUpdateCheckParameters(const char* program_moniker, const char* other_moniker,
                                const char* url_moniker, const char* signature_moniker, bool silent,
                                char* out, std::size_t size);

}  // namespace twg
