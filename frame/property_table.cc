// DumpProperties / LoadProperties: carry the properties listed in the package's TWGDumpProperties table
// across installer sessions as plain REG_SZ values below HKEY_LOCAL_MACHINE. The values are written to
// the registry directly, never through the protected store, so they stay readable by the next session
// whatever the store's state.
#include <cstring>
#include <memory>
#include <new>

#include "frame/action_frame.h"

namespace twg {
namespace {

constexpr char kQuery[] = "SELECT `Property`,`RegKey`,`RegValue` FROM `TWGDumpProperties`";
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

struct PropertyRow {
  std::unique_ptr<char[]> property, reg_key, reg_value;
};

using RowAction = Result (*)(MSIHANDLE session, const PropertyRow& row);

// Record fields are sized by asking first with an empty buffer; anything but "more data" is a failure.
Result ReadField(MSIHANDLE record, UINT field, std::unique_ptr<char[]>& out) {
  char probe[1] = "";
  DWORD size = 0;
  Result r = ResultFromWin32(MsiRecordGetStringA(record, field, probe, &size));
  if (r != kMoreData) return Failed(r) ? r : kUnspecifiedFailure;
  ++size;
  out.reset(new (std::nothrow) char[size]);
  if (!out) return kOutOfMemory;
  return ResultFromWin32(MsiRecordGetStringA(record, field, out.get(), &size));
}

Result ReadRow(MSIHANDLE record, PropertyRow& row) {
  Result r = ReadField(record, 1, row.property);
  if (Succeeded(r)) r = ReadField(record, 2, row.reg_key);
  if (Succeeded(r)) r = ReadField(record, 3, row.reg_value);
  return r;
}

Result OpenRowKey(const PropertyRow& row, ScopedRegKey& key) {
  return ResultFromWin32(RegCreateKeyExA(HKEY_LOCAL_MACHINE, row.reg_key.get(), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, key.Receive(),
                                         nullptr));
}

Result DumpRow(MSIHANDLE session, const PropertyRow& row) {
  char value[1024];
  Result r = ResultFromWin32(ReadProperty(session, row.property.get(), value));
  if (Failed(r)) return r;
  ScopedRegKey key;
  r = OpenRowKey(row, key);
  if (Failed(r)) return r;
  return ResultFromWin32(RegSetValueExA(key, row.reg_value.get(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value),
                                        static_cast<DWORD>(std::strlen(value) + 1)));
}

// The saved value is removed even when it could not be read, so a bad value is not offered again.
Result LoadRow(MSIHANDLE session, const PropertyRow& row) {
  ScopedRegKey key;
  Result r = OpenRowKey(row, key);
  if (Failed(r)) return r;
  char value[1024 + 1] = "";
  DWORD size = 1024;
  r = ResultFromWin32(RegQueryValueExA(key, row.reg_value.get(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value), &size));
  if (Succeeded(r)) {
    value[size < 1024 ? size : 1024] = '\0';
    r = ResultFromWin32(MsiSetPropertyA(session, row.property.get(), value));
  }
  RegDeleteValueA(key, row.reg_value.get());
  return r;
}

// Every row is attempted; the result is the first failing row's, else the fetch loop's own end.
Result ForEachRow(MSIHANDLE session, MSIHANDLE view, RowAction action) {
  Result first_failure = kOk;
  Result fetch = kOk;
  for (;;) {
    MsiHandle record;
    fetch = ResultFromWin32(MsiViewFetch(view, record.Receive()));
    if (Failed(fetch)) break;
    PropertyRow row;
    Result r = ReadRow(record, row);
    if (Succeeded(r)) r = action(session, row);
    if (Failed(r) && Succeeded(first_failure)) first_failure = r;
  }
  if (fetch == kNoMoreItems) fetch = kOk;
  return Failed(first_failure) ? first_failure : fetch;
}

UINT RunPropertyTable(MSIHANDLE session, RowAction action) {
  MsiHandle database(MsiGetActiveDatabase(session));
  Result r = database.valid() ? kOk : kUnspecifiedFailure;
  MsiHandle view;
  if (Succeeded(r)) r = ResultFromWin32(MsiDatabaseOpenViewA(database, kQuery, view.Receive()));
  if (Succeeded(r)) r = ResultFromWin32(MsiViewExecute(view, 0));
  if (Succeeded(r)) r = ForEachRow(session, view, action);
  if (view.valid()) MsiViewClose(view);
  return Failed(r) ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall DumpProperties(MSIHANDLE session) {
  return twg::RunAction("DumpProperties", [&] { return twg::RunPropertyTable(session, twg::DumpRow); });
}

TWG_ACTION UINT __stdcall LoadProperties(MSIHANDLE session) {
  return twg::RunAction("LoadProperties", [&] { return twg::RunPropertyTable(session, twg::LoadRow); });
}
