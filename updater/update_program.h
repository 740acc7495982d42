// The update program's parts as this library calls them: the product-registration object, the
// automatic-update settings object (their own operations follow IUnknown's three, in slot order; the
// slots never called keep the others in place), the registration texts, and its support library.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

namespace twg {

// {25094AE2-5C5C-4C13-81E5-738DAFDC1265}, interface {05F94DFD-F976-4629-ADBA-A431F2AF1CC9}
extern const CLSID kClsidProductReg;
extern const IID kIidProductReg;
// {109A3963-043E-4781-A6F3-7F48F115ED25}, interface {F5EB4F2A-C044-4844-A4DD-FA1DEA3F685F}
extern const CLSID kClsidAutoUpdate;
extern const IID kIidAutoUpdate;

struct IUDProductReg : IUnknown {
  // The object may write into *moniker; callers pass a copy and never read it back.
  virtual HRESULT STDMETHODCALLTYPE RegisterProduct(BSTR name, BSTR version, BSTR language, BSTR extra,
                                                    VARIANT* moniker) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProduct(BSTR moniker) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(BSTR moniker, BSTR name, BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled6() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled7() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled8() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled9() = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterProductClass(BSTR moniker, GUID class_id, DWORD flags) = 0;
};

struct IUDAutoUpdate : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE NotCalled3() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled4() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled5() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled6() = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadSettings() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled8() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled9() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled10() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled11() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled12() = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableAutoUpdate() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled14() = 0;
  virtual HRESULT STDMETHODCALLTYPE IsAutoUpdateEnabled(LONG* enabled) = 0;
};

// One registration text: as loaded from the string table, and as the COM text the objects take.
class RegistrationText {
 public:
  RegistrationText() = default;
  // A fixed text; on failure it stays COM's empty text.
  explicit RegistrationText(const char* text) { Set(text); }
  ~RegistrationText() { SysFreeString(com_); }
  RegistrationText(const RegistrationText&) = delete;
  RegistrationText& operator=(const RegistrationText&) = delete;

  // Takes text as the new value; false (keeping the old one) when the COM text cannot be made.
  bool Set(const char* text);
  const char* text() const { return text_; }
  BSTR com() const { return com_; }

 private:
  char text_[128] = "";
  BSTR com_ = nullptr;  // null is COM's empty text
};

// The process-wide set of registration texts. Entries a load does not reach keep what they held.
struct RegistrationStrings {
  RegistrationText program_moniker, url_moniker, signature_moniker, other_moniker;
  RegistrationText program_description, main_name, url_description, security_description;
  RegistrationText other_name, signature_name;
  RegistrationText vxf_moniker1, vxf_moniker2, vxf_version1, vxf_version2;
  RegistrationText signature_description, url_name, version, language;
  // Fixed texts, made on the first load.
  RegistrationText descriptive_name_property;  // "DescriptiveName"
  RegistrationText empty;                      // RegisterProduct's fourth text
  RegistrationText channel_version;            // "1.0", the version of every channel but the program's
};
RegistrationStrings& Registration();

// Fills the set from the string table in the edition's order; false at the first text that cannot be
// loaded, leaving the ones before it set.
bool LoadRegistrationStrings(bool is_vxf);

// Each loads the support library ("Skyfetch1" folder + "\V32UPDR1.DLL"), makes its one call and frees
// the library again; false when the folder, the library or the entry point is missing.
bool SetUpdaterSequence(const char* product_name, const char* component_name, const char* version,
                        const char* language, DWORD sequence_number);
bool CleanupUpdaterProduct(const char* product_name, const char* version, const char* language);

// The update program's folders are listed under this key (plain registry).
extern const char kSharedUsageKey[];

// "<folder>\V32UPDR1.DLL" with the folder from value_name of kSharedUsageKey, opened with access; a
// missing value leaves only "\V32UPDR1.DLL" and answers false.
constexpr DWORD kSupportLibraryPathSize = 260 + 16;
bool SupportLibraryPath(const char* value_name, REGSAM access, char (&path)[kSupportLibraryPathSize]);

// The support library's entry points take the caller-cleans convention.
using OnrampCleanupExFn = int(__cdecl*)(const char* product_name, const char* version, const char* language);
constexpr char kOnrampCleanupEx[] = "OnrampCleanupEx";

template <typename Fn>
Fn SupportEntryPoint(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The time line, the message (no line end) in the install log, and the message to the debugger.
void LogUpdaterError(const char* message);

// The product-registration object in process (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER); a negative
// result when the update program is absent or not registered.
HRESULT CreateProductReg(IUDProductReg** object);

}  // namespace twg
