// Stand-in for the product's state server. One object answers every interface the library walks through:
// the class factory, the option store with its scope and collection, and the option item (the last one
// found) with its value-changed connection point. Options and the call record: state_server.h.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <string>

#include "state_server.h"

// The server's interfaces, operations after IUnknown's three; external linkage for the sinks elsewhere.
namespace state_server {

struct IOptionItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) = 0;
};
struct IOptionEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Changed(IOptionItem* item) = 0;
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

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

using namespace state_server;

const CLSID kClsid = {0xCB0132A6, 0x52DA, 0x426A, {0x87, 0x01, 0xC8, 0x68, 0xB7, 0x24, 0xC5, 0x15}};
const IID kIidOptionStore = {0x3A8F9289, 0x24A3, 0x429F, {0xA3, 0xD0, 0x39, 0x11, 0x6B, 0x7E, 0x7D, 0xB3}};
const IID kIidOptionCollection = {0x5C87B60F, 0x1E8A, 0x4F6D, {0x89, 0x2B, 0x72, 0x21, 0x2A, 0x07, 0xFD, 0x83}};
const IID kIidOptionEvents = {0xC69B3E0B, 0x1E98, 0x4492, {0xBA, 0xC9, 0xE6, 0x97, 0x6C, 0x2A, 0x5B, 0xD6}};

// The value's text, or "" with false when there is no such value.
bool ReadString(const char* key, const std::string& name, std::string* out) {
  char buffer[4096] = "";
  DWORD size = sizeof buffer;
  const LONG status = RegGetValueA(HKEY_LOCAL_MACHINE, key, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size);
  *out = buffer;
  return status == ERROR_SUCCESS;
}

void WriteString(const char* key, const std::string& name, const std::string& text) {
  const DWORD size = static_cast<DWORD>(text.size() + 1);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, name.c_str(), REG_SZ, text.c_str(), size);
}

void Record(const std::string& line) {
  std::string calls;
  ReadString(TWG_STATE_SERVER_KEY, "Calls", &calls);
  WriteString(TWG_STATE_SERVER_KEY, "Calls", calls + line + "\n");
}

// Option names and values are 7-bit text.
std::string Narrow(LPCWSTR text) { return text ? std::string(text, text + lstrlenW(text)) : std::string(); }

// Objects live as long as the process that loaded the server: nothing the tests look at depends on their
// release, and a library that releases too often cannot free one under the other's feet.
class Server final : public IClassFactory, public IOptionStore, public IOptionScope, public IOptionCollection,
                     public IOptionItem, public IConnectionPointContainer, public IConnectionPoint {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    DWORD no_point = 0, size = sizeof no_point;
    RegGetValueA(HKEY_LOCAL_MACHINE, TWG_STATE_SERVER_KEY, "NoConnectionPoint", RRF_RT_REG_DWORD, nullptr,
                 &no_point, &size);
    *out = nullptr;
    if (iid == IID_IUnknown || iid == kIidOptionStore) *out = static_cast<IOptionStore*>(this);
    if (iid == IID_IClassFactory) *out = static_cast<IClassFactory*>(this);
    if (iid == kIidOptionCollection) *out = static_cast<IOptionCollection*>(this);
    if (iid == IID_IConnectionPointContainer && !no_point) *out = static_cast<IConnectionPointContainer*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    Record("create");
    return (new Server)->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE Open(IUnknown** scope, LONG kind) override {
    Record("open " + std::to_string(kind));
    return Hand(static_cast<IOptionScope*>(this), scope);
  }
  HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCollection(IOptionCollection** collection) override {
    Record("collection");
    return Hand(static_cast<IOptionCollection*>(this), collection);
  }
  HRESULT STDMETHODCALLTYPE Get(IUnknown** next) override {
    Record("scope");
    return Hand(static_cast<IOptionCollection*>(this), next);
  }
  HRESULT STDMETHODCALLTYPE Find(LPCWSTR name, IOptionItem** item, LONG flags) override {
    name_ = Narrow(name);
    Record("find " + name_ + " " + std::to_string(flags));
    std::string value;
    *item = nullptr;
    if (!ReadString(TWG_STATE_SERVER_OPTIONS_KEY, name_, &value)) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    return Hand(static_cast<IOptionItem*>(this), item);
  }

  HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) override {
    Record("get " + name_);
    std::string text;
    ReadString(TWG_STATE_SERVER_OPTIONS_KEY, name_, &text);
    *value = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    std::copy(text.c_str(), text.c_str() + text.size() + 1, *value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) override {
    Record("set " + name_ + "=" + Narrow(value));
    WriteString(TWG_STATE_SERVER_OPTIONS_KEY, name_, Narrow(value));
    if (!sink_) return S_OK;
    Record("notify 1");
    return sink_->Changed(this);
  }

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    *point = nullptr;
    return iid == kIidOptionEvents ? Hand(static_cast<IConnectionPoint*>(this), point) : CONNECT_E_NOCONNECTION;
  }

  // One sink at a time, under cookie 1.
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (sink_ || FAILED(sink->QueryInterface(kIidOptionEvents, reinterpret_cast<void**>(&sink_)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = 1;
    Record("advise 1");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    Record("unadvise " + std::to_string(cookie));
    if (cookie != 1 || !sink_) return CONNECT_E_NOCONNECTION;
    sink_->Release();
    sink_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  template <typename Interface, typename Out>
  HRESULT Hand(Interface* self, Out** out) {
    *out = self;
    return S_OK;
  }

  std::string name_;
  IOptionEvents* sink_ = nullptr;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return clsid == kClsid ? (new Server)->QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  char path[MAX_PATH];
  GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
  const char key[] = "CLSID\\" TWG_STATE_SERVER_CLSID "\\InprocServer32";
  RegSetKeyValueA(HKEY_CLASSES_ROOT, key, "ThreadingModel", REG_SZ, "Both", 5);
  const LONG status = RegSetKeyValueA(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, path, lstrlenA(path) + 1);
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}
