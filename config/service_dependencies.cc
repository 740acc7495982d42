// The product's services are started before the network client and the messenger by sitting in their
// dependency lists; at uninstall they are taken out again without touching names other products added.
// ServicesMarkedForDeletion tells the installer when a service of the family is still pending removal.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/dependency_list.h"
#include "frame/action_frame.h"

namespace twg {
namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);
constexpr const char* kWorkstationNames[] = {"TWGUM", "TWGSERV", "VelPxSvc"};
constexpr char kProxyName[] = "VelPxSvc";

HRESULT LastErrorResult() { return HRESULT_FROM_WIN32(GetLastError()); }

// Opens the service and reads its configuration. S_FALSE: the service does not exist.
HRESULT ReadServiceConfig(const char* service, ScopedServiceHandle* manager, ScopedServiceHandle* handle,
                          std::vector<char>* buffer) {
  manager->reset(OpenSCManagerA(nullptr, "ServicesActive", SC_MANAGER_ALL_ACCESS));
  if (!manager->valid()) return LastErrorResult();
  handle->reset(OpenServiceA(*manager, service, SERVICE_ALL_ACCESS));
  if (!handle->valid()) {
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? S_FALSE : LastErrorResult();
  }
  DWORD needed = 0;
  if (QueryServiceConfigA(*handle, nullptr, 0, &needed)) return kFail;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastErrorResult();
  buffer->assign(needed, '\0');
  if (!QueryServiceConfigA(*handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer->data()), needed, &needed)) {
    return LastErrorResult();
  }
  return S_OK;
}

HRESULT WriteDependencies(SC_HANDLE service, const QUERY_SERVICE_CONFIGA& config, const std::string& list) {
  if (!ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                            nullptr, list.data(), nullptr, nullptr, config.lpDisplayName)) {
    return LastErrorResult();
  }
  return S_OK;
}

enum class Edit { kAdd, kRemove };

HRESULT EditServiceDependency(const char* service, const char* name, Edit edit) {
  ScopedServiceHandle manager, handle;
  std::vector<char> buffer;
  const HRESULT read = ReadServiceConfig(service, &manager, &handle, &buffer);
  if (read == S_FALSE) return S_OK;
  if (read != S_OK) return read;
  const auto& config = *reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data());
  const char* list = config.lpDependencies ? config.lpDependencies : "";
  std::string changed;
  if (edit == Edit::kAdd) {
    if (ContainsName(list, name)) return S_OK;
    changed = WithNameAppended(list, name);
  } else if (!WithoutName(list, name, RemoveWhich::kFirst, &changed)) {
    return S_OK;
  }
  return WriteDependencies(handle, config, changed);
}

UINT EditWorkstationDependencies(Edit edit) {
  for (const char* name : kWorkstationNames) {
    if (FAILED(EditServiceDependency("lanmanworkstation", name, edit))) return static_cast<UINT>(kFail);
  }
  return ERROR_SUCCESS;
}

// The messenger's list is edited in its registry value; an editor gets the value read (zero-ended
// behind the data) and returns the error of its write, or 0 when it writes nothing.
using ValueEditor = LONG (*)(HKEY key, DWORD type, const char* list);

LONG AddProxyName(HKEY key, DWORD type, const char* list) {
  if (ContainsName(list, kProxyName)) return ERROR_SUCCESS;
  const std::string changed = WithNameAppended(list, kProxyName);
  return RegSetValueExA(key, "DependOnService", 0, type, reinterpret_cast<const BYTE*>(changed.data()),
                        static_cast<DWORD>(changed.size()));
}

LONG RemoveProxyName(HKEY key, DWORD type, const char* list) {
  std::string changed;
  if (!WithoutName(list, kProxyName, RemoveWhich::kEvery, &changed)) return ERROR_SUCCESS;
  return RegSetValueExA(key, "DependOnService", 0, type, reinterpret_cast<const BYTE*>(changed.data()),
                        static_cast<DWORD>(changed.size()));
}

UINT EditMessengerValue(ValueEditor editor) {
  static const char* const kServices[] = {"Messenger"};
  LONG result = ERROR_SUCCESS;
  for (const char* service : kServices) {
    if (result != ERROR_SUCCESS) break;
    char path[300];
    std::snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\Services\\%s", service);
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS) continue;
    char list[260] = {};
    DWORD type = 0, size = sizeof list;
    result = RegQueryValueExA(key, "DependOnService", nullptr, &type, reinterpret_cast<BYTE*>(list), &size);
    // Room for the added name and both zero bytes, so the editor never writes past the buffer.
    if (result == ERROR_SUCCESS && size + 9 < sizeof list) {
      list[size] = '\0';
      result = editor(key, type, list);
    }
  }
  return static_cast<UINT>(result);
}

bool ServiceMarkedForDeletion(const char* name) {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, "ServicesActive", SC_MANAGER_ALL_ACCESS));
  if (!manager.valid()) return false;
  ScopedServiceHandle service(OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
  if (!service.valid()) return false;
  return !ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr) &&
         GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGCreateLANManWksDependencies(MSIHANDLE) {
  return twg::RunAction("TWGCreateLANManWksDependencies",
                        [&] { return twg::EditWorkstationDependencies(twg::Edit::kAdd); });
}

TWG_ACTION UINT __stdcall TWGDeleteLANManWksDependencies(MSIHANDLE) {
  return twg::RunAction("TWGDeleteLANManWksDependencies",
                        [&] { return twg::EditWorkstationDependencies(twg::Edit::kRemove); });
}

TWG_ACTION UINT __stdcall AddProxyServiceName(MSIHANDLE) {
  return twg::RunAction("AddProxyServiceName", [&] { return twg::EditMessengerValue(twg::AddProxyName); });
}

TWG_ACTION UINT __stdcall DeleteProxyServiceName(MSIHANDLE) {
  return twg::RunAction("DeleteProxyServiceName", [&] { return twg::EditMessengerValue(twg::RemoveProxyName); });
}

TWG_ACTION UINT __stdcall ServicesMarkedForDeletion(MSIHANDLE session) {
  return twg::RunAction("ServicesMarkedForDeletion", [&] {
    static const char* const kServices[] = {"tvsapsvc", "TVSAP", "TVSEX15", "TVSENG", "VelEvent", "VELTDI"};
    for (const char* name : kServices) {
      if (twg::ServiceMarkedForDeletion(name)) {
        twg::SetProperty(session, "ServicesMarkedForDeletion", "1");
        return ERROR_SUCCESS;
      }
      twg::ClearProperty(session, "ServicesMarkedForDeletion");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
