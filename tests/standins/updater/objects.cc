// Stand-in for the update program's product-registration and automatic-update settings objects: one
// in-process COM server (regsvr32-able) recording every call (updater_record.h), its interfaces laid out
// slot by slot from the calls the installer makes; a slot it should never call records that it was.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "updater_record.h"

using updater_standin::Record;
using updater_standin::Setting;

namespace {

const CLSID kClsidProductReg = {0x25094AE2, 0x5C5C, 0x4C13, {0x81, 0xE5, 0x73, 0x8D, 0xAF, 0xDC, 0x12, 0x65}};
const IID kIidProductReg = {0x05F94DFD, 0xF976, 0x4629, {0xAD, 0xBA, 0xA4, 0x31, 0xF2, 0xAF, 0x1C, 0xC9}};
const CLSID kClsidAutoUpdate = {0x109A3963, 0x043E, 0x4781, {0xA6, 0xF3, 0x7F, 0x48, 0xF1, 0x15, 0xED, 0x25}};
const IID kIidAutoUpdate = {0xF5EB4F2A, 0xC044, 0x4844, {0xA4, 0xDD, 0xFA, 0x1D, 0xEA, 0x3F, 0x68, 0x5F}};

// One layout for the objects and their factories: the table of slots, the interface, the name recorded
// at the last release (none for a factory, whose release is only noise), and what a factory makes.
struct Object {
  void* const* slots;
  const IID* iid;
  const char* name;
  LONG refs = 1;
  bool makes_product_reg = false;
};
#define TWG_SLOT(function) reinterpret_cast<void*>(&function)

// A text that is not a proper COM string (its length prefix disagrees) is recorded as such.
std::string Text(const wchar_t* text, bool com_string = true) {
  char buffer[1024] = "";
  if (com_string && text && SysStringLen(const_cast<BSTR>(text)) != std::wcslen(text)) return "(not a BSTR)";
  WideCharToMultiByte(CP_ACP, 0, text ? text : L"", -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}
HRESULT Said(const std::string& call, HRESULT result = S_OK) {
  Record(call);
  return result;
}

HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID iid, void** out) {
  *out = iid == IID_IUnknown || iid == *self->iid ? self : nullptr;
  if (!*out) return E_NOINTERFACE;
  InterlockedIncrement(&self->refs);
  return S_OK;
}
ULONG STDMETHODCALLTYPE AddRef(Object* self) { return InterlockedIncrement(&self->refs); }
ULONG STDMETHODCALLTYPE Release(Object* self) {
  const ULONG left = InterlockedDecrement(&self->refs);
  if (left == 0 && self->name) Record(std::string(self->name) + " released");
  if (left == 0) delete self;
  return left;
}
HRESULT STDMETHODCALLTYPE Unexpected(Object* self) {
  return Said(std::string(self->name) + " unexpected call", E_NOTIMPL);
}

// Writes into the VARIANT, as the object may: the caller must not depend on its moniker surviving.
HRESULT STDMETHODCALLTYPE RegisterProduct(Object*, BSTR name, BSTR version, BSTR language, BSTR extra,
                                          VARIANT* moniker) {
  const std::string moniker_text = moniker && moniker->vt == VT_BSTR ? Text(moniker->bstrVal) : "(no text)";
  Record("RegisterProduct " + Text(name) + "|" + Text(version) + "|" + Text(language) + "|" + Text(extra) +
         "|" + moniker_text);
  if (moniker) {
    VariantClear(moniker);
    moniker->vt = VT_BSTR;
    moniker->bstrVal = SysAllocString(L"written back");
  }
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DeleteProduct(Object*, BSTR moniker) {
  return Said("DeleteProduct " + Text(moniker), Text(moniker) == Setting("FailDelete") ? E_FAIL : S_OK);
}
HRESULT STDMETHODCALLTYPE SetProperty(Object*, BSTR moniker, BSTR name, BSTR value) {
  return Said("SetProperty " + Text(moniker) + "|" + Text(name) + "|" + Text(value));
}
HRESULT STDMETHODCALLTYPE RegisterProductClass(Object*, BSTR moniker, GUID class_id, DWORD flags) {
  wchar_t guid[64];
  StringFromGUID2(class_id, guid, 64);
  char hex[16];
  wsprintfA(hex, "|0x%X", static_cast<unsigned>(flags));
  return Said("RegisterProductClass " + Text(moniker) + "|" + Text(guid, false) + hex);
}
HRESULT STDMETHODCALLTYPE LoadSettings(Object*) { return Said("LoadSettings"); }
HRESULT STDMETHODCALLTYPE DisableAutoUpdate(Object*) { return Said("DisableAutoUpdate"); }
HRESULT STDMETHODCALLTYPE IsAutoUpdateEnabled(Object*, LONG* enabled) {
  *enabled = updater_standin::NumberSetting("AutoUpdateEnabled") != 0;
  return Said("IsAutoUpdateEnabled");
}

void* const kUnknown[] = {TWG_SLOT(QueryInterface), TWG_SLOT(AddRef), TWG_SLOT(Release)};
void* const kUnexpected = TWG_SLOT(Unexpected);
void* const kProductRegSlots[] = {kUnknown[0], kUnknown[1], kUnknown[2], TWG_SLOT(RegisterProduct),
                                  TWG_SLOT(DeleteProduct), TWG_SLOT(SetProperty), kUnexpected, kUnexpected,
                                  kUnexpected, kUnexpected, TWG_SLOT(RegisterProductClass)};
void* const kAutoUpdateSlots[] = {kUnknown[0], kUnknown[1], kUnknown[2], kUnexpected, kUnexpected,
                                  kUnexpected, kUnexpected, TWG_SLOT(LoadSettings), kUnexpected, kUnexpected,
                                  kUnexpected, kUnexpected, kUnexpected, TWG_SLOT(DisableAutoUpdate),
                                  kUnexpected, TWG_SLOT(IsAutoUpdateEnabled)};

HRESULT STDMETHODCALLTYPE CreateInstance(Object* factory, IUnknown* outer, REFIID iid, void** out) {
  if (outer) return CLASS_E_NOAGGREGATION;
  Object* object = factory->makes_product_reg ? new Object{kProductRegSlots, &kIidProductReg, "ProductReg"}
                                              : new Object{kAutoUpdateSlots, &kIidAutoUpdate, "AutoUpdate"};
  const HRESULT hr = QueryInterface(object, iid, out);
  Release(object);
  return hr;
}
HRESULT STDMETHODCALLTYPE LockServer(Object*, BOOL) { return S_OK; }
void* const kFactorySlots[] = {kUnknown[0], kUnknown[1], kUnknown[2], TWG_SLOT(CreateInstance),
                               TWG_SLOT(LockServer)};

bool RegisterClass(const char* clsid, const char* path) {
  const std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
  const DWORD size = lstrlenA(path) + 1;
  return RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, path, size) == ERROR_SUCCESS &&
         RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), "ThreadingModel", REG_SZ, "Apartment", 10) == 0;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != kClsidProductReg && clsid != kClsidAutoUpdate) return CLASS_E_CLASSNOTAVAILABLE;
  Object* factory = new Object{kFactorySlots, &IID_IClassFactory, nullptr, 1, clsid == kClsidProductReg};
  const HRESULT hr = QueryInterface(factory, iid, out);
  Release(factory);
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  char path[MAX_PATH];
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Unexpected), &self);
  GetModuleFileNameA(self, path, MAX_PATH);
  const bool done = RegisterClass(TWG_PRODUCT_REG_CLSID, path) && RegisterClass(TWG_AUTO_UPDATE_CLSID, path);
  return done ? S_OK : SELFREG_E_CLASS;
}
