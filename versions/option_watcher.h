// OptionWatcher: listens to one option item of the state server through its value-changed connection
// point, keeps the item's last value, and sets the item's value from a product state code.
#pragma once
#include "versions/state_server.h"

namespace twg {

class OptionWatcher : public IOptionEvents {
 public:
  // The product states the option knows.
  enum State { kEnabled = 0, kDisabled = 1, kUnloaded = 2 };

  // Advises a new watcher on the item and reads its current value; *out is null unless this succeeds.
  // E_NOINTERFACE for no item or no connection-point container, E_OUTOFMEMORY, otherwise the failing
  // call's HRESULT.
  static HRESULT Create(IOptionItem* item, OptionWatcher** out);
  // Unadvises, frees the last value and releases the item, whatever the reference count says: the
  // connection point's own reference goes with the Unadvise.
  void Destroy();

  // 1 "disabled", 2 "unloaded", anything else "enabled". OLE_E_BLANK without an item, otherwise the
  // item's own result.
  HRESULT SetState(int state);
  const wchar_t* last_value() const { return last_value_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE ValueChanged(IOptionItem* item) override;

 protected:
  explicit OptionWatcher(IOptionItem* item);
  virtual ~OptionWatcher() = default;
  // Called after each value change has been read; nothing to do while the product is shut down.
  virtual void OnChanged() {}

 private:
  HRESULT Advise();

  IOptionItem* item_;
  LPWSTR last_value_ = nullptr;
  DWORD cookie_ = 0;
  LONG refs_ = 1;
  bool destroying_ = false;
};

struct OptionWatcherTraits {
  using Handle = OptionWatcher*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { h->Destroy(); }
};
using ScopedOptionWatcher = Scoped<OptionWatcherTraits>;

}  // namespace twg
