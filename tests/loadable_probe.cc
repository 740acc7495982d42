// A DLL built the way the shipping one must not be (the compiler's default processor, exceptions, the
// default start-up code, a wide-character import), so that the static checks are seen to catch each of
// these on a real link, not only to pass on the shipping DLL.
#include <windows.h>

#include <stdexcept>

extern "C" __declspec(dllexport) int Smaller(int a, int b) { return a < b ? a : b; }

extern "C" __declspec(dllexport) double Larger(double a, double b) { return a > b ? a : b; }

extern "C" __declspec(dllexport) int Guarded(int value) {
  try {
    if (value < 0) throw std::runtime_error("negative");
    return GetModuleHandleW(nullptr) ? value : 0;
  } catch (const std::exception&) {
    return -1;
  }
}
