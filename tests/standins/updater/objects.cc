// Stand-in for the update program's product-registration and automatic-update settings objects: one
// in-process COM server (regsvr32-able) that records every call (updater_record.h). The interfaces are
// written here from the calls the installer makes, slot by slot, independently of the library.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "updater_record.h"

using updater_standin::NumberSetting;
using updater_standin::Record;
using updater_standin::Setting;

namespace {

const CLSID kClsidProductReg = {0x25094AE2, 0x5C5C, 0x4C13, {0x81, 0xE5, 0x73, 0x8D, 0xAF, 0xDC, 0x12, 0x65}};
const IID kIidProductReg = {0x05F94DFD, 0xF976, 0x4629, {0xAD, 0xBA, 0xA4, 0x31, 0xF2, 0xAF, 0x1C, 0xC9}};
const CLSID kClsidAutoUpdate = {0x109A3963, 0x043E, 0x4781, {0xA6, 0xF3, 0x7F, 0x48, 0xF1, 0x15, 0xED, 0x25}};
const IID kIidAutoUpdate = {0xF5EB4F2A, 0xC044, 0x4844, {0xA4, 0xDD, 0xFA, 0x1D, 0xEA, 0x3F, 0x68, 0x5F}};

HMODULE g_module;
LONG g_objects;

std::string Text(BSTR text) {
  if (!text) return "";
  const UINT length = SysStringLen(text);
  if (length != std::wcslen(text)) return "(not a BSTR)";
  char buffer[1024] = "";
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

std::string GuidText(const GUID& guid) {
  wchar_t wide[64];
  StringFromGUID2(guid, wide, 64);
  char narrow[64];
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// A slot the installer should never call records that it was.
HRESULT Unexpected(const char* object, int slot) {
  Record(std::string(object) + " slot " + std::to_string(slot));
  return E_NOTIMPL;
}
#define TWG_UNEXPECTED(object, n) \
  virtual HRESULT STDMETHODCALLTYPE Slot##n() { return Unexpected(object, n); }

// Slots 3 to 10 after IUnknown: register, delete, set property, four never called, register class.
struct ProductRegSlots : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RegisterProduct(BSTR, BSTR, BSTR, BSTR, VARIANT*) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProduct(BSTR) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(BSTR, BSTR, BSTR) = 0;
  TWG_UNEXPECTED("ProductReg", 6) TWG_UNEXPECTED("ProductReg", 7) TWG_UNEXPECTED("ProductReg", 8)
  TWG_UNEXPECTED("ProductReg", 9)
  virtual HRESULT STDMETHODCALLTYPE RegisterProductClass(BSTR, GUID, DWORD) = 0;
};

// Slots 7, 13 and 15 are the ones called.
struct AutoUpdateSlots : IUnknown {
  TWG_UNEXPECTED("AutoUpdate", 3) TWG_UNEXPECTED("AutoUpdate", 4) TWG_UNEXPECTED("AutoUpdate", 5)
  TWG_UNEXPECTED("AutoUpdate", 6)
  virtual HRESULT STDMETHODCALLTYPE LoadSettings() = 0;
  TWG_UNEXPECTED("AutoUpdate", 8) TWG_UNEXPECTED("AutoUpdate", 9) TWG_UNEXPECTED("AutoUpdate", 10)
  TWG_UNEXPECTED("AutoUpdate", 11) TWG_UNEXPECTED("AutoUpdate", 12)
  virtual HRESULT STDMETHODCALLTYPE DisableAutoUpdate() = 0;
  TWG_UNEXPECTED("AutoUpdate", 14)
  virtual HRESULT STDMETHODCALLTYPE IsAutoUpdateEnabled(LONG*) = 0;
};

// A null name records nothing at the last release (the factory's would only be noise).
template <typename Interface>
class Object : public Interface {
 public:
  Object(const IID& iid, const char* name) : iid_(iid), name_(name) { InterlockedIncrement(&g_objects); }
  virtual ~Object() { InterlockedDecrement(&g_objects); }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      if (name_) Record(std::string(name_) + " released");
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != iid_) return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }

 private:
  const IID& iid_;
  const char* name_;
  LONG refs_ = 1;
};

class ProductReg : public Object<ProductRegSlots> {
 public:
  ProductReg() : Object(kIidProductReg, "ProductReg") {}
  HRESULT STDMETHODCALLTYPE RegisterProduct(BSTR name, BSTR version, BSTR language, BSTR extra,
                                            VARIANT* moniker) override {
    std::string moniker_text = "(null)";
    if (moniker) moniker_text = moniker->vt == VT_BSTR ? Text(moniker->bstrVal) : "(vt " + std::to_string(moniker->vt) + ")";
    Record("RegisterProduct " + Text(name) + "|" + Text(version) + "|" + Text(language) + "|" + Text(extra) + "|" +
           moniker_text);
    // The object may hand something back in the VARIANT; the caller must not depend on its moniker
    // surviving the call.
    if (moniker) {
      VariantClear(moniker);
      moniker->vt = VT_BSTR;
      moniker->bstrVal = SysAllocString(L"written back");
    }
    return moniker_text == Setting("FailRegister") ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteProduct(BSTR moniker) override {
    Record("DeleteProduct " + Text(moniker));
    return Text(moniker) == Setting("FailDelete") ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProperty(BSTR moniker, BSTR name, BSTR value) override {
    Record("SetProperty " + Text(moniker) + "|" + Text(name) + "|" + Text(value));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterProductClass(BSTR moniker, GUID class_id, DWORD flags) override {
    char hex[16];
    wsprintfA(hex, "0x%X", static_cast<unsigned>(flags));
    Record("RegisterProductClass " + Text(moniker) + "|" + GuidText(class_id) + "|" + hex);
    return S_OK;
  }
};

class AutoUpdate : public Object<AutoUpdateSlots> {
 public:
  AutoUpdate() : Object(kIidAutoUpdate, "AutoUpdate") {}
  HRESULT STDMETHODCALLTYPE LoadSettings() override {
    Record("LoadSettings");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DisableAutoUpdate() override {
    Record("DisableAutoUpdate");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsAutoUpdateEnabled(LONG* enabled) override {
    Record("IsAutoUpdateEnabled");
    if (!enabled) return E_POINTER;
    *enabled = NumberSetting("AutoUpdateEnabled") != 0;
    return S_OK;
  }
};

class Factory : public Object<IClassFactory> {
 public:
  explicit Factory(bool product_reg) : Object(IID_IClassFactory, nullptr), product_reg_(product_reg) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = product_reg_ ? static_cast<IUnknown*>(new ProductReg) : static_cast<IUnknown*>(new AutoUpdate);
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool product_reg_;
};

bool RegisterClass(const char* clsid, const char* path) {
  HKEY key;
  const std::string name = std::string("CLSID\\") + clsid + "\\InprocServer32";
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), lstrlenA(path) + 1);
  RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Apartment"), 10);
  RegCloseKey(key);
  return true;
}

void UnregisterClass(const char* clsid) {
  const std::string name = std::string("CLSID\\") + clsid;
  RegDeleteKeyA(HKEY_CLASSES_ROOT, (name + "\\InprocServer32").c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, name.c_str());
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != kClsidProductReg && clsid != kClsidAutoUpdate) return CLASS_E_CLASSNOTAVAILABLE;
  Factory* factory = new Factory(clsid == kClsidProductReg);
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  char path[MAX_PATH];
  GetModuleFileNameA(g_module, path, MAX_PATH);
  return RegisterClass(TWG_PRODUCT_REG_CLSID, path) && RegisterClass(TWG_AUTO_UPDATE_CLSID, path) ? S_OK
                                                                                                 : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  UnregisterClass(TWG_PRODUCT_REG_CLSID);
  UnregisterClass(TWG_AUTO_UPDATE_CLSID);
  return S_OK;
}
