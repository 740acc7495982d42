// Functions that Windows 95 or NT 4.0 lack (or that only one of them has) are looked up at run time, so
// the DLL's import table holds nothing that stops it from loading there. Callers give the fallback.
#pragma once
#include <windows.h>

namespace twg {

// A function of a module the process has already loaded (kernel32, advapi32, user32, ...), or null.
template <typename Fn>
Fn LoadedFunction(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

}  // namespace twg
