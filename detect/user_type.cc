// TWGDetectUserType: the product's state server knows what kind of user the installed product was set
// up for; the package uses the answer to preselect its dialogs.
#include <objbase.h>

#include <string>
#include <vector>

#include "detect/detect_rules.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"

namespace twg {
namespace {

const CLSID kStateServer = {0xCB0132A6, 0x52DA, 0x426A, {0x87, 0x01, 0xC8, 0x68, 0xB7, 0x24, 0xC5, 0x15}};
const IID kIidOptionStore = {0x3A8F9289, 0x24A3, 0x429F, {0xA3, 0xD0, 0x39, 0x11, 0x6B, 0x7E, 0x7D, 0xB3}};
const IID kIidOptionCollection = {0x5C87B60F, 0x1E8A, 0x4F6D, {0x89, 0x2B, 0x72, 0x21, 0x2A, 0x07, 0xFD, 0x83}};
constexpr LONG kUserScope = -2;  // what the server means by it is its own business

// The server's interfaces, as far as this action calls them: operations counted after IUnknown's three.
struct IOptionItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetValue(LPWSTR* value) = 0;
};
struct IOptionCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Find(LPCWSTR name, IOptionItem** item, LONG flags) = 0;
};
struct IOptionScope : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Get(IUnknown** next) = 0;
};
struct IOptionStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open(IUnknown** scope, LONG kind) = 0;
};

// Owns one interface reference; released in reverse order of acquisition by scope.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (pointer_) pointer_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  Interface** Receive() { return &pointer_; }
  void** ReceiveVoid() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

// Task-allocated text handed out by the server.
class TaskText {
 public:
  ~TaskText() { CoTaskMemFree(text_); }
  LPWSTR* Receive() { return &text_; }
  LPCWSTR get() const { return text_; }

 private:
  LPWSTR text_ = nullptr;
};

class ComApartment {
 public:
  ComApartment() : result_(CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// Walks the server's chain to the option and returns its value as wide text.
HRESULT QueryUserType(TaskText* value) {
  ComRef<IOptionStore> store;
  HRESULT hr = CoCreateInstance(kStateServer, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                CLSCTX_LOCAL_SERVER, kIidOptionStore, store.ReceiveVoid());
  if (FAILED(hr)) return hr;
  ComRef<IUnknown> scope;
  hr = store->Open(scope.Receive(), kUserScope);
  if (FAILED(hr)) return hr;
  if (!scope.get()) return E_POINTER;
  ComRef<IUnknown> options;
  hr = reinterpret_cast<IOptionScope*>(scope.get())->Get(options.Receive());
  if (FAILED(hr)) return hr;
  if (!options.get()) return E_POINTER;
  ComRef<IOptionCollection> collection;
  hr = options->QueryInterface(kIidOptionCollection, collection.ReceiveVoid());
  if (FAILED(hr)) return hr;
  ComRef<IOptionItem> item;
  hr = collection->Find(L"user type", item.Receive(), 0);
  if (FAILED(hr)) return hr;
  if (!item.get()) return E_POINTER;
  return item->GetValue(value->Receive());
}

constexpr std::size_t kUserTypeBytes = 63;

// The ANSI text, cut to 63 bytes (the size the package reserves for it) on a character boundary.
std::string UserTypeText(LPCWSTR wide) {
  if (!wide) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::vector<char> ansi(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi.data(), size, nullptr, nullptr);
  ansi.back() = '\0';
  return std::string(ansi.data(), FittingLength(SystemLeadBytes(), ansi.data(), kUserTypeBytes));
}

HRESULT PublishUserType(MSIHANDLE session) {
  ComApartment com;
  if (FAILED(com.result())) return com.result();
  TaskText value;
  HRESULT hr = QueryUserType(&value);
  if (FAILED(hr)) return hr;
  const std::string text = UserTypeText(value.get());
  return static_cast<HRESULT>(ResultFromWin32(SetProperty(session, "TWGUserType", text.c_str())));
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGDetectUserType(MSIHANDLE session) {
  return twg::RunAction("TWGDetectUserType", [&] {
    if (SUCCEEDED(twg::PublishUserType(session))) return static_cast<UINT>(ERROR_SUCCESS);
    return twg::ClearProperty(session, "TWGUserType") == ERROR_SUCCESS ? static_cast<UINT>(ERROR_SUCCESS)
                                                                       : static_cast<UINT>(ERROR_INSTALL_FAILURE);
  });
}
