// Stand-in for the update program's support library V32UPDR1.DLL: its two caller-cleans entry points
// record their arguments, and the library records each time a process loads and frees it, so that a
// test sees it loaded anew for every call (updater_record.h).
#include <windows.h>

#include <string>

#include "updater_record.h"

using updater_standin::Record;

namespace {
std::string Text(const char* text) { return text ? text : "(null)"; }
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Record("V32UPDR1 loaded");
  if (reason == DLL_PROCESS_DETACH) Record("V32UPDR1 freed");
  return TRUE;
}

extern "C" __declspec(dllexport) int __cdecl SetSequenceNumberEx(const char* product, const char* component,
                                                                 const char* version, const char* language,
                                                                 DWORD sequence_number) {
  Record("SetSequenceNumberEx " + Text(product) + "|" + Text(component) + "|" + Text(version) + "|" +
         Text(language) + "|" + std::to_string(sequence_number));
  return 1;
}

extern "C" __declspec(dllexport) int __cdecl OnrampCleanupEx(const char* product, const char* version,
                                                             const char* language) {
  Record("OnrampCleanupEx " + Text(product) + "|" + Text(version) + "|" + Text(language));
  return 1;
}
