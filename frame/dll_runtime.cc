// The runtime pieces TWGMsI.dll takes from here instead of the prebuilt static libraries. Those are
// built for the Pentium Pro and later (conditional moves in operator new, the string members, the
// printf engine and the start-up relocator), carry a thread-local-storage directory that Windows 95
// refuses to load, and bring the exception runtime, whose locks use wide-character kernel calls that
// Windows 9x only has as failing stubs. Everything here is compiled with the DLL's own flags, so it is
// as old-processor-safe as the rest of the library. tests/check-loadable.py proves the result on
// the linked DLL.
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "frame/exceptions.h"

// --- Start-up -----------------------------------------------------------------------------------

// The start-up code runs thread-local-storage initialisers only when this pointer is set; defining it
// here keeps the C runtime's TLS support object, and with it the TLS directory, out of the DLL. The
// library has no thread-local variables.
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;

// The DLL is linked with --disable-runtime-pseudo-reloc, so the linker never leaves relocations for the
// start-up code to apply: a data import that would need one fails the link instead.
extern "C" void _pei386_runtime_relocator() {}

// --- printf family ------------------------------------------------------------------------------

// The C++ headers send snprintf/vsnprintf to these names. msvcrt's _vsnprintf does the formatting (its
// conversions, no %z, %ll, %hh or %j); this wrapper adds what C99 callers rely on: the output always
// ends in a NUL, and the result is the full length even when the text was cut.
extern "C" int __cdecl __mingw_vsnprintf(char* out, std::size_t size, const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int length = _vsnprintf(out, size, format, args);
  if (length >= 0 && static_cast<std::size_t>(length) < size) {
    va_end(again);
    return length;
  }
  if (size > 0) out[size - 1] = '\0';
  // Cut: the full length comes from formatting again into a buffer that grows until the text fits.
  length = -1;
  for (std::size_t room = size < 256 ? 512 : size * 2; room <= 1u << 20 && length < 0; room *= 2) {
    char* buffer = static_cast<char*>(std::malloc(room));
    if (!buffer) break;
    va_list attempt;
    va_copy(attempt, again);
    int n = _vsnprintf(buffer, room, format, attempt);
    va_end(attempt);
    std::free(buffer);
    if (n >= 0 && static_cast<std::size_t>(n) < room) length = n;
  }
  va_end(again);
  return length;
}

extern "C" int __cdecl __mingw_snprintf(char* out, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int length = __mingw_vsnprintf(out, size, format, args);
  va_end(args);
  return length;
}

#if !TWG_HAS_EXCEPTIONS

// --- Failures the standard library would throw --------------------------------------------------

namespace {

// A software exception: the installer's custom-action host reports the action as failed, where a C
// runtime abort could put up a message box that nobody answers in a silent install.
constexpr DWORD kStandardLibraryError = 0xE0545747;

[[noreturn]] void Fail(DWORD code, const char* what) {
  OutputDebugStringA("TWGMsI: ");
  OutputDebugStringA(what);
  OutputDebugStringA("\n");
  for (;;) RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

[[noreturn]] void OutOfMemory() { Fail(STATUS_NO_MEMORY, "out of memory"); }

void* Allocate(std::size_t size) { return std::malloc(size ? size : 1); }

}  // namespace

// --- Allocation: over the C runtime's heap ------------------------------------------------------

void* operator new(std::size_t size) {
  void* block = Allocate(size);
  if (!block) OutOfMemory();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace std {
const nothrow_t nothrow{};
}  // namespace std

// --- What the library headers call instead of throwing ------------------------------------------

namespace std {
void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_bad_cast() { Fail(kStandardLibraryError, "bad cast"); }
void __throw_bad_typeid() { Fail(kStandardLibraryError, "bad typeid"); }
void __throw_bad_exception() { Fail(kStandardLibraryError, "bad exception"); }
void __throw_logic_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_domain_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_invalid_argument(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_length_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_out_of_range(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_out_of_range_fmt(const char* what, ...) { Fail(kStandardLibraryError, what); }
void __throw_runtime_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_range_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_overflow_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_underflow_error(const char* what) { Fail(kStandardLibraryError, what); }
void __throw_bad_function_call() { Fail(kStandardLibraryError, "empty function called"); }
}  // namespace std

extern "C" void __cxa_pure_virtual() { Fail(kStandardLibraryError, "pure virtual call"); }

// --- Function-local statics ---------------------------------------------------------------------

// The guard's first byte says "initialised" (the compiler tests it inline); the second is a lock taken
// with an interlocked exchange, which every processor and Windows version has.
extern "C" int __cxa_guard_acquire(long long* guard) {
  auto* bytes = reinterpret_cast<volatile char*>(guard);
  auto* lock = reinterpret_cast<long*>(guard) + 1;
  if (bytes[0]) return 0;
  while (InterlockedExchange(lock, 1) != 0) Sleep(0);
  if (bytes[0]) {
    InterlockedExchange(lock, 0);
    return 0;
  }
  return 1;
}

extern "C" void __cxa_guard_release(long long* guard) {
  reinterpret_cast<volatile char*>(guard)[0] = 1;
  InterlockedExchange(reinterpret_cast<long*>(guard) + 1, 0);
}

extern "C" void __cxa_guard_abort(long long* guard) { InterlockedExchange(reinterpret_cast<long*>(guard) + 1, 0); }

// --- std::string, compiled here ----------------------------------------------------------------

// The library's headers declare the string members as instantiated in the prebuilt library; this
// definition instantiates them here, with this build's flags, and keeps the prebuilt copy out.
template class std::basic_string<char>;

#endif  // !TWG_HAS_EXCEPTIONS
