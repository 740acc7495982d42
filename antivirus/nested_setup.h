// The companion antivirus product's own setup, run silently from the install media while the
// installer's progress display follows it.
#pragma once
#include <windows.h>
#include <msi.h>

namespace twg {

// What TWGInstallTVS hands to the runner.
struct NestedSetupParams {
  char setup_folder[260];     // "TVS9X" or "TVSNT", below the media's folder
  char install_folder[260];   // filled in for %INSTALLDIR%
  char window_caption[256];   // the setup window waited for
  const char* log_file_name;  // below the Windows folder
  const char* response_template;  // resource bytes, or null: the setup then runs without options
  DWORD response_template_size;
};

// A row of installer property -> response-file section and key; a null property ends the table.
struct ResponseProperty {
  const char* property;
  const char* section;
  const char* key;
};

DWORD RunNestedSetup(const NestedSetupParams& params, MSIHANDLE session);
DWORD ApplyResponseProperties(const ResponseProperty* table, const char* response_file, MSIHANDLE session);

// Starts the setup and follows its window until its process ends. Returns the setup's exit code, -1
// when the user stopped waiting or its process cannot be opened, 0 when its window never appears, or
// the system error code when it cannot be started.
long SWLaunchSetupAndWait(const char* setup_path, const char* response_file, const char* window_class,
                          const char* window_caption, const char* log_file_name);

// Replaces every occurrence of search in the file in place. Returns the count, -1 for an empty path or
// search text or when the result does not fit, or the system error code when the file cannot be opened
// or mapped.
long FileSearchAndReplace(const char* path, const char* search, const char* replacement);

// The user's locale rules: the system code page's lead bytes and case-blind comparison.
struct TextRules;
const TextRules& UserTextRules();

}  // namespace twg
