// Functions that the oldest systems lack are looked up at run time, so that the library still loads
// there; callers fall back when the answer is null.
#pragma once
#include <windows.h>

namespace twg {

template <typename Fn>
Fn KernelFunction(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

}  // namespace twg
