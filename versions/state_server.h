// The product's state server as this library calls it: its class, the interfaces of its option store
// (their own operations follow IUnknown's three, in slot order).
#pragma once
#include <windows.h>
#include <objbase.h>

#include "frame/com_scope.h"

namespace twg {

// {CB0132A6-52DA-426A-8701-C868B724C515}
extern const CLSID kClsidStateServer;
// {3A8F9289-24A3-429F-A3D0-39116B7E7DB3}
extern const IID kIidOptionStore;
// {5C87B60F-1E8A-4F6D-892B-72212A07FD83}
extern const IID kIidOptionCollection;
// {C69B3E0B-1E98-4492-BAC9-E6976C2A5BD6}
extern const IID kIidOptionEvents;

struct IOptionItem : IUnknown {
  // The value as wide text from the COM task allocator; the caller frees it with CoTaskMemFree.
  virtual HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) = 0;
};

struct IOptionCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE FindOption(LPCWSTR name, IOptionItem** item, LONG flags) = 0;
};

// Only the first and fourth operations are called; the two between keep the slots in place.
struct IOptionStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OpenScope(IUnknown** scope, LONG kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused2() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOptionCollection(IOptionCollection** collection) = 0;
};

struct IOptionEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ValueChanged(IOptionItem* item) = 0;
};

}  // namespace twg
