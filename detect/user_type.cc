// TWGDetectUserType: the product's state server knows what kind of user the installed product was set
// up for; the package uses the answer to preselect its dialogs.
#include <string>
#include <vector>

#include "detect/detect_rules.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "versions/state_server.h"

namespace twg {

// The object the store's first operation opens; its own first operation yields the option collection.
// Declared outside the anonymous namespace, like the server's other interfaces: an interface the
// compiler could see all implementations of would have its calls devirtualised to the pure stub.
struct IOptionScope : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(IUnknown** next) = 0;
};

namespace {

constexpr LONG kUserScope = -2;  // what the server means by it is its own business
constexpr std::size_t kUserTypeBytes = 63;

// Task-allocated text handed out by the server.
class TaskText {
 public:
  TaskText() = default;
  TaskText(const TaskText&) = delete;
  TaskText& operator=(const TaskText&) = delete;
  ~TaskText() { CoTaskMemFree(text_); }
  LPWSTR* Receive() { return &text_; }
  LPCWSTR get() const { return text_; }

 private:
  LPWSTR text_ = nullptr;
};

// Walks the server's chain to the option "user type" and returns its value as wide text. Every step
// runs only when the one before succeeded; the references are released in reverse order by scope.
HRESULT QueryUserType(TaskText* value) {
  ComRef<IOptionStore> store;
  HRESULT hr = CoCreateInstance(kClsidStateServer, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                kIidOptionStore, AsOut(store));
  if (FAILED(hr)) return hr;
  ComRef<IUnknown> scope;
  hr = store.get()->OpenScope(scope.Receive(), kUserScope);
  if (FAILED(hr)) return hr;
  if (!scope.valid()) return E_POINTER;
  ComRef<IUnknown> next;
  hr = static_cast<IOptionScope*>(scope.get())->Next(next.Receive());
  if (FAILED(hr)) return hr;
  if (!next.valid()) return E_POINTER;
  ComRef<IOptionCollection> collection;
  hr = next.get()->QueryInterface(kIidOptionCollection, AsOut(collection));
  if (FAILED(hr)) return hr;
  ComRef<IOptionItem> item;
  hr = collection.get()->FindOption(L"user type", item.Receive(), 0);
  if (FAILED(hr)) return hr;
  if (!item.valid()) return E_POINTER;
  return item.get()->GetValue(value->Receive());
}

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
  if (!com.initialised()) return E_FAIL;
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
