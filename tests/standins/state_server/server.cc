// Stand-in for the product's state server: the option store with its collection, option items and the
// value-changed connection point. Options and the call record live in the registry (state_server.h).
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "state_server.h"

// --- The server's side of the interfaces: operations counted after IUnknown's three --------------------
// Declared with external linkage: the sinks implementing IOptionEvents live in other modules, and an
// interface private to this file would let the compiler assume it has no implementation at all.
namespace state_server {

struct IOptionItem;
struct IOptionEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Changed(IOptionItem* item) = 0;
};
struct IOptionItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) = 0;
};
struct IOptionCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Find(LPCWSTR name, IOptionItem** item, LONG flags) = 0;
};
struct IOptionScope : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Get(IUnknown** next) = 0;
};
struct IOptionStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open(IUnknown** scope, LONG kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollection(IOptionCollection** collection) = 0;
};

}  // namespace state_server

namespace {

using namespace state_server;

const CLSID kClsid = {0xCB0132A6, 0x52DA, 0x426A, {0x87, 0x01, 0xC8, 0x68, 0xB7, 0x24, 0xC5, 0x15}};
const IID kIidOptionStore = {0x3A8F9289, 0x24A3, 0x429F, {0xA3, 0xD0, 0x39, 0x11, 0x6B, 0x7E, 0x7D, 0xB3}};
const IID kIidOptionCollection = {0x5C87B60F, 0x1E8A, 0x4F6D, {0x89, 0x2B, 0x72, 0x21, 0x2A, 0x07, 0xFD, 0x83}};
const IID kIidOptionEvents = {0xC69B3E0B, 0x1E98, 0x4492, {0xBA, 0xC9, 0xE6, 0x97, 0x6C, 0x2A, 0x5B, 0xD6}};

HMODULE g_module;
LONG g_objects;

// --- The record ---------------------------------------------------------------------------------------

std::string Narrow(LPCWSTR text) {
  if (!text) return "(null)";
  char buffer[1024] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

std::wstring Wide(const std::string& text) {
  wchar_t buffer[1024] = L"";
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, 1024);
  return buffer;
}

bool ReadString(const char* key_name, const char* value, std::string* out) {
  char buffer[4096] = "";
  DWORD size = sizeof buffer;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key_name, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return false;
  }
  *out = buffer;
  return true;
}

void WriteString(const char* key_name, const char* value, const std::string& text) {
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key_name, value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void Record(const std::string& line) {
  std::string calls;
  ReadString(TWG_STATE_SERVER_KEY, "Calls", &calls);
  WriteString(TWG_STATE_SERVER_KEY, "Calls", calls + line + "\n");
}

bool Knob(const char* name) {
  DWORD value = 0, size = sizeof value;
  return RegGetValueA(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
             ERROR_SUCCESS && value != 0;
}

// --- Objects ---------------------------------------------------------------------------------------------

// Reference counting shared by every object; each answers IUnknown and the interfaces it lists.
template <typename Interface>
class Object : public Interface {
 public:
  Object() { InterlockedIncrement(&g_objects); }
  virtual ~Object() { InterlockedDecrement(&g_objects); }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || Answers(iid)) {
      *out = static_cast<Interface*>(this);
    } else if (!(*out = Other(iid))) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

 protected:
  virtual bool Answers(REFIID iid) = 0;
  virtual void* Other(REFIID) { return nullptr; }

 private:
  LONG refs_ = 1;
};

class OptionItem;

class EventPoint : public Object<IConnectionPoint> {
 public:
  explicit EventPoint(OptionItem* item) : item_(item) {}
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = kIidOptionEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) override { return iid == IID_IConnectionPoint; }

 private:
  OptionItem* item_;  // the item owns this point
};

class OptionItem : public Object<IOptionItem>, public IConnectionPointContainer {
 public:
  explicit OptionItem(const std::string& name) : name_(name), point_(new EventPoint(this)) {}
  ~OptionItem() override {
    for (auto& sink : sinks_) {
      if (sink.second) sink.second->Release();
    }
    point_->Release();
  }

  HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) override {
    Record("get " + name_);
    if (!value) return E_POINTER;
    std::string text;
    ReadString(TWG_STATE_SERVER_OPTIONS_KEY, name_.c_str(), &text);
    std::wstring wide = Wide(text);
    *value = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(wchar_t)));
    if (!*value) return E_OUTOFMEMORY;
    lstrcpyW(*value, wide.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) override {
    std::string text = Narrow(value);
    Record("set " + name_ + "=" + text);
    WriteString(TWG_STATE_SERVER_OPTIONS_KEY, name_.c_str(), text);
    for (auto& sink : sinks_) {
      if (!sink.second) continue;
      Record("notify " + std::to_string(sink.first));
      sink.second->Changed(this);
    }
    return S_OK;
  }

  // IConnectionPointContainer, through the second base.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != kIidOptionEvents) return CONNECT_E_NOCONNECTION;
    point_->AddRef();
    *point = point_;
    return S_OK;
  }

  DWORD AddSink(IOptionEvents* sink) {
    sinks_.push_back({next_cookie_, sink});
    return next_cookie_++;
  }
  bool RemoveSink(DWORD cookie) {
    for (auto& sink : sinks_) {
      if (sink.first == cookie && sink.second) {
        sink.second->Release();
        sink.second = nullptr;
        return true;
      }
    }
    return false;
  }

 protected:
  bool Answers(REFIID) override { return false; }  // asked for by no IID of its own
  void* Other(REFIID iid) override {
    if (iid == IID_IConnectionPointContainer && !Knob("NoConnectionPoint")) {
      return static_cast<IConnectionPointContainer*>(this);
    }
    return nullptr;
  }

 private:
  // The container's IUnknown goes to the item's.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Object<IOptionItem>::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object<IOptionItem>::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object<IOptionItem>::Release(); }

  std::string name_;
  EventPoint* point_;
  std::vector<std::pair<DWORD, IOptionEvents*>> sinks_;
  DWORD next_cookie_ = 1;
};

HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  IOptionEvents* events = nullptr;
  if (FAILED(sink->QueryInterface(kIidOptionEvents, reinterpret_cast<void**>(&events)))) {
    Record("advise refused");
    return CONNECT_E_CANNOTCONNECT;
  }
  *cookie = item_->AddSink(events);
  Record("advise " + std::to_string(*cookie));
  return S_OK;
}

HRESULT EventPoint::Unadvise(DWORD cookie) {
  Record("unadvise " + std::to_string(cookie));
  return item_->RemoveSink(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

class Collection : public Object<IOptionCollection> {
 public:
  HRESULT STDMETHODCALLTYPE Find(LPCWSTR name, IOptionItem** item, LONG flags) override {
    std::string option = Narrow(name);
    Record("find " + option + " " + std::to_string(flags));
    if (!item) return E_POINTER;
    *item = nullptr;
    std::string value;
    if (!ReadString(TWG_STATE_SERVER_OPTIONS_KEY, option.c_str(), &value)) {
      return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    *item = new OptionItem(option);
    return S_OK;
  }

 protected:
  bool Answers(REFIID iid) override { return iid == kIidOptionCollection; }
};

// What the store's first operation opens: a scope whose own first operation gives the collection.
class Scope : public Object<IOptionScope> {
 public:
  HRESULT STDMETHODCALLTYPE Get(IUnknown** next) override {
    Record("scope");
    if (!next) return E_POINTER;
    *next = static_cast<IOptionCollection*>(new Collection);
    return S_OK;
  }

 protected:
  bool Answers(REFIID) override { return false; }
};

class Store : public Object<IOptionStore> {
 public:
  HRESULT STDMETHODCALLTYPE Open(IUnknown** scope, LONG kind) override {
    Record("open " + std::to_string(kind));
    if (!scope) return E_POINTER;
    *scope = new Scope;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCollection(IOptionCollection** collection) override {
    Record("collection");
    if (!collection) return E_POINTER;
    *collection = new Collection;
    return S_OK;
  }

 protected:
  bool Answers(REFIID iid) override { return iid == kIidOptionStore; }
};

class Factory : public Object<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    Record("create");
    Store* store = new Store;
    HRESULT hr = store->QueryInterface(iid, out);
    store->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 protected:
  bool Answers(REFIID iid) override { return iid == IID_IClassFactory; }
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  Factory* factory = new Factory;
  HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  char path[MAX_PATH];
  GetModuleFileNameA(g_module, path, MAX_PATH);
  HKEY key;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID "\\InprocServer32", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<BYTE*>(path), lstrlenA(path) + 1);
  RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Both"), 5);
  RegCloseKey(key);
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID "\\InprocServer32");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\" TWG_STATE_SERVER_CLSID);
  return S_OK;
}
