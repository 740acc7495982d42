#include "frame/action_frame.h"

#include <cstring>

namespace {
HINSTANCE g_module = nullptr;
}

// Stores the module handle and nothing else: the protected store initialises itself on first use.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = module;
  return TRUE;
}

namespace twg {

HINSTANCE ModuleHandle() { return g_module; }

UINT ReadPropertyInto(MSIHANDLE session, const char* name, char* buffer, DWORD size) {
  if (size == 0) return ERROR_MORE_DATA;
  buffer[0] = '\0';
  DWORD length = size;
  UINT rc = MsiGetPropertyA(session, name, buffer, &length);
  buffer[size - 1] = '\0';
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) buffer[0] = '\0';
  return rc;
}

UINT SetProperty(MSIHANDLE session, const char* name, const char* value) {
  return MsiSetPropertyA(session, name, value);
}

UINT ClearProperty(MSIHANDLE session, const char* name) { return MsiSetPropertyA(session, name, ""); }

UINT SetFlagProperty(MSIHANDLE session, const char* name, bool flag) {
  return MsiSetPropertyA(session, name, flag ? "1" : "");
}

namespace {

int Send(MSIHANDLE session, INSTALLMESSAGE type, const MsiHandle& record) {
  return MsiProcessMessage(session, type, record);
}

}  // namespace

int SendCommonData(MSIHANDLE session, int field1, int field2) {
  MsiHandle record(MsiCreateRecord(3));
  if (!record.valid()) return -1;
  MsiRecordSetInteger(record, 1, field1);
  MsiRecordSetInteger(record, 2, field2);
  return Send(session, INSTALLMESSAGE_COMMONDATA, record);
}

int SendActionStart(MSIHANDLE session, const char* action, const char* description,
                    const char* template_text) {
  MsiHandle record(MsiCreateRecord(3));
  if (!record.valid()) return -1;
  MsiRecordSetStringA(record, 1, action);
  MsiRecordSetStringA(record, 2, description);
  MsiRecordSetStringA(record, 3, template_text);
  return Send(session, INSTALLMESSAGE_ACTIONSTART, record);
}

int SendActionData(MSIHANDLE session, std::initializer_list<const char*> fields) {
  MsiHandle record(MsiCreateRecord(static_cast<UINT>(fields.size())));
  if (!record.valid()) return -1;
  UINT index = 1;
  for (const char* field : fields) MsiRecordSetStringA(record, index++, field);
  return Send(session, INSTALLMESSAGE_ACTIONDATA, record);
}

int SendProgress(MSIHANDLE session, int field1, int field2, int field3, int field4) {
  MsiHandle record(MsiCreateRecord(4));
  if (!record.valid()) return -1;
  MsiRecordSetInteger(record, 1, field1);
  MsiRecordSetInteger(record, 2, field2);
  MsiRecordSetInteger(record, 3, field3);
  MsiRecordSetInteger(record, 4, field4);
  return Send(session, INSTALLMESSAGE_PROGRESS, record);
}

int SendInfo(MSIHANDLE session, const char* format, std::initializer_list<const char*> fields) {
  MsiHandle record(MsiCreateRecord(static_cast<UINT>(fields.size())));
  if (!record.valid()) return -1;
  if (MsiRecordSetStringA(record, 0, format) != ERROR_SUCCESS) return -1;
  UINT index = 1;
  for (const char* field : fields) {
    if (MsiRecordSetStringA(record, index++, field ? field : "") != ERROR_SUCCESS) return -1;
  }
  return Send(session, INSTALLMESSAGE_INFO, record);
}

int LoadText(UINT id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  return LoadStringA(ModuleHandle(), id, buffer, size);
}

int ShowMessage(UINT text_id, UINT caption_id, UINT flags) {
  char text[260];
  char caption[260];
  LoadText(text_id, text);
  const bool has_caption = caption_id != 0 && LoadText(caption_id, caption) > 0;
  return MessageBoxA(nullptr, text, has_caption ? caption : nullptr, flags);
}

bool ReadPlatformId(DWORD* platform_id) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  *platform_id = info.dwPlatformId;
  return true;
}

}  // namespace twg
