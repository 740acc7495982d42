// Holders for COM: an owned interface reference and the calling thread's apartment. Actions initialise
// COM themselves and let no reference outlive the call.
#pragma once
#include <windows.h>
#include <objbase.h>

#include "frame/handles.h"

namespace twg {

template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { h->Release(); }
};
// One owned COM reference, released when it goes out of scope.
template <typename Interface>
using ComRef = Scoped<ComTraits<Interface>>;

// Out-parameter slot of a ComRef for QueryInterface-style calls.
template <typename Interface>
void** AsOut(ComRef<Interface>& ref) {
  return reinterpret_cast<void**>(ref.Receive());
}

// CoInitialize for the lifetime of the holder; CoUninitialize only when it succeeded.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool initialised() const { return initialised_; }

 private:
  bool initialised_;
};

}  // namespace twg
