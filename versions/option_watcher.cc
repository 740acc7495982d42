#include "versions/option_watcher.h"

#include <ocidl.h>
#include <olectl.h>

#include <new>

namespace twg {

const CLSID kClsidStateServer = {0xCB0132A6, 0x52DA, 0x426A, {0x87, 0x01, 0xC8, 0x68, 0xB7, 0x24, 0xC5, 0x15}};
const IID kIidOptionStore = {0x3A8F9289, 0x24A3, 0x429F, {0xA3, 0xD0, 0x39, 0x11, 0x6B, 0x7E, 0x7D, 0xB3}};
const IID kIidOptionCollection = {0x5C87B60F, 0x1E8A, 0x4F6D, {0x89, 0x2B, 0x72, 0x21, 0x2A, 0x07, 0xFD, 0x83}};
const IID kIidOptionEvents = {0xC69B3E0B, 0x1E98, 0x4492, {0xBA, 0xC9, 0xE6, 0x97, 0x6C, 0x2A, 0x5B, 0xD6}};

namespace {

HRESULT FindEventPoint(IOptionItem* item, ComRef<IConnectionPoint>& point) {
  ComRef<IConnectionPointContainer> container;
  if (FAILED(item->QueryInterface(IID_IConnectionPointContainer, AsOut(container)))) return E_NOINTERFACE;
  return container.get()->FindConnectionPoint(kIidOptionEvents, point.Receive());
}

}  // namespace

OptionWatcher::OptionWatcher(IOptionItem* item) : item_(item) {
  if (item_) item_->AddRef();
}

HRESULT OptionWatcher::Create(IOptionItem* item, OptionWatcher** out) {
  *out = nullptr;
  OptionWatcher* watcher = new (std::nothrow) OptionWatcher(item);
  if (!watcher) return E_OUTOFMEMORY;
  HRESULT hr = watcher->Advise();
  if (FAILED(hr)) {
    // Not advised: nothing else holds the object.
    if (watcher->item_) watcher->item_->Release();
    delete watcher;
    return hr;
  }
  *out = watcher;
  return hr;
}

HRESULT OptionWatcher::Advise() {
  if (!item_) return E_NOINTERFACE;
  ComRef<IConnectionPoint> point;
  HRESULT hr = FindEventPoint(item_, point);
  if (FAILED(hr)) return hr;
  hr = point.get()->Advise(static_cast<IOptionEvents*>(this), &cookie_);
  if (FAILED(hr)) return hr;
  hr = ValueChanged(item_);
  if (FAILED(hr)) point.get()->Unadvise(cookie_);
  return hr;
}

void OptionWatcher::Destroy() {
  destroying_ = true;
  if (last_value_) CoTaskMemFree(last_value_);
  last_value_ = nullptr;
  if (item_) {
    ComRef<IConnectionPoint> point;
    if (SUCCEEDED(FindEventPoint(item_, point))) point.get()->Unadvise(cookie_);
    item_->Release();
    item_ = nullptr;
  }
  delete this;
}

HRESULT OptionWatcher::SetState(int state) {
  if (!item_) return OLE_E_BLANK;
  const wchar_t* value = state == kDisabled ? L"disabled" : state == kUnloaded ? L"unloaded" : L"enabled";
  return item_->SetValue(value);
}

HRESULT OptionWatcher::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIidOptionEvents) {
    *out = static_cast<IOptionEvents*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG OptionWatcher::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG OptionWatcher::Release() {
  LONG left = InterlockedDecrement(&refs_);
  // While Destroy runs, the connection point's release must not delete the object a second time.
  if (left == 0 && !destroying_) delete this;
  return static_cast<ULONG>(left);
}

HRESULT OptionWatcher::ValueChanged(IOptionItem* item) {
  if (!item) return E_POINTER;
  LPWSTR value = nullptr;
  HRESULT hr = item->GetValue(&value);
  if (FAILED(hr)) return hr;
  if (last_value_) CoTaskMemFree(last_value_);
  last_value_ = value;
  OnChanged();
  return hr;
}

}  // namespace twg
