// OptionWatcher: listens to one option item of the state server through its value-changed connection
// point, keeps the item's last value, and sets the item's value from a product state code.
#pragma once
#include <stdexcept>

#include "versions/state_server.h"

namespace twg {

// A failure inside a COM object, carrying its HRESULT to the code that made the object.
class ComError : public std::runtime_error {
 public:
  explicit ComError(HRESULT hr) : std::runtime_error("COM error"), hr_(hr) {}
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

class OptionWatcher : public IOptionEvents {
 public:
  // The product states the option knows.
  enum State { kEnabled = 0, kDisabled = 1, kUnloaded = 2 };

  // Advises a new watcher on the item and reads its current value. Throws ComError: E_NOINTERFACE for
  // no item or no connection-point container, otherwise the failing call's HRESULT.
  static OptionWatcher* Create(IOptionItem* item);
  // Unadvises, frees the last value and releases the item, whatever the reference count says: the
  // connection point's own reference goes with the Unadvise.
  void Destroy();

  // 1 "disabled", 2 "unloaded", anything else "enabled". Throws ComError (OLE_E_BLANK without an item).
  void SetState(int state);
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
  void Advise();

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
