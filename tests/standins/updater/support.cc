// Stand-in for the update program's support library V32UPDR1.DLL: its two caller-cleans entry points
// record their arguments, and each load and free of the library is recorded (updater_record.h).
#include <windows.h>

#include <string>

#include "updater_record.h"

using updater_standin::Record;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Record("V32UPDR1 loaded");
  if (reason == DLL_PROCESS_DETACH) Record("V32UPDR1 freed");
  return TRUE;
}

extern "C" __declspec(dllexport) int __cdecl SetSequenceNumberEx(const char* product, const char* component,
                                                                 const char* version, const char* language,
                                                                 DWORD sequence_number) {
  Record("SetSequenceNumberEx " + std::string(product) + "|" + component + "|" + version + "|" + language +
         "|" + std::to_string(sequence_number));
  return 1;
}

extern "C" __declspec(dllexport) int __cdecl OnrampCleanupEx(const char* product, const char* version,
                                                             const char* language) {
  Record("OnrampCleanupEx " + std::string(product) + "|" + version + "|" + language);
  return 1;
}
