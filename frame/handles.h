// Move-only owners for the handles the actions use. Each closes its handle on every path out of scope,
// so no action keeps CloseHandle bookkeeping on its early returns.
#pragma once
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <winsvc.h>

#include <cstdio>

namespace twg {

template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;

  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { reset(); }
  Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  // Converts to the raw handle for the system calls, as the installer's own holder does.
  operator Handle() const { return handle_; }
  Handle get() const { return handle_; }
  bool valid() const { return Traits::IsValid(handle_); }

  [[nodiscard]] Handle release() {
    Handle h = handle_;
    handle_ = Traits::Null();
    return h;
  }
  void reset(Handle handle = Traits::Null()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }
  // For out-parameters: closes what is held and hands out the slot.
  Handle* Receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Null();
};

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Null() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { MsiCloseHandle(h); }
};

// Kernel objects: both null and INVALID_HANDLE_VALUE mean "none".
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

struct FindFileTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};

struct StdioFileTraits {
  using Handle = FILE*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { std::fclose(h); }
};

using MsiHandle = Scoped<MsiHandleTraits>;
using ScopedHandle = Scoped<KernelHandleTraits>;
using ScopedRegKey = Scoped<RegKeyTraits>;
using ScopedFindFile = Scoped<FindFileTraits>;
using ScopedLibrary = Scoped<LibraryTraits>;
using ScopedServiceHandle = Scoped<ServiceHandleTraits>;
using ScopedStdioFile = Scoped<StdioFileTraits>;

}  // namespace twg
