// What every custom action shares: the entry skeleton, installer properties, messages to the
// installer's user interface, message boxes and string resources. Actions include this header and
// read like their algorithm:
//
//   TWG_ACTION UINT __stdcall SilentReboot(MSIHANDLE session) {
//     return twg::RunAction("SilentReboot", [&] { ...; return ERROR_SUCCESS; });
//   }
#pragma once
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstddef>
#include <exception>
#include <initializer_list>

#include "frame/exceptions.h"
#include "frame/handles.h"
#include "frame/install_log.h"
#include "frame/result.h"

// Exported actions: C linkage, standard call. The export table comes from resources/exports.list
// alone (no dllexport), so the 32-bit DLL carries only the decorated names.
#define TWG_ACTION extern "C"

namespace twg {

// The instance handle stored by DllMain; used for every resource load.
HINSTANCE ModuleHandle();

// Runs an action's body and keeps every exception inside the library: an exception becomes a debug
// line and the given result (by default a fatal install failure). Bodies report their errors by result
// codes; the guard is for what the standard library may throw in builds that have exceptions (the DLLs
// have none, see frame/exceptions.h).
template <typename Body>
UINT RunAction(const char* name, Body&& body, UINT on_exception = ERROR_INSTALL_FAILURE) noexcept {
#if TWG_HAS_EXCEPTIONS
  try {
    return body();
  } catch (const std::exception& e) {
    DebugOut("%s: unexpected exception: %s", name, e.what());
  } catch (...) {
    DebugOut("%s: unexpected exception", name);
  }
  return on_exception;
#else
  static_cast<void>(name);
  static_cast<void>(on_exception);
  return body();
#endif
}

// --- Properties --------------------------------------------------------------------------------

// Reads a property into a fixed buffer, cleared first; an unset property reads as "". A value that does
// not fit returns ERROR_MORE_DATA (the buffer then holds a cut value that callers must not use).
UINT ReadPropertyInto(MSIHANDLE session, const char* name, char* buffer, DWORD size);
template <std::size_t N>
UINT ReadProperty(MSIHANDLE session, const char* name, char (&buffer)[N]) {
  return ReadPropertyInto(session, name, buffer, static_cast<DWORD>(N));
}

UINT SetProperty(MSIHANDLE session, const char* name, const char* value);
// Clearing a property sets it to "", which removes it from the session.
UINT ClearProperty(MSIHANDLE session, const char* name);
// "1" when flag is true, cleared otherwise.
UINT SetFlagProperty(MSIHANDLE session, const char* name, bool flag);

// --- Messages to the installer ------------------------------------------------------------------

// Each builds a record, sends it with MsiProcessMessage and closes it; returns what MsiProcessMessage
// returned, or -1 when the record could not be made.
int SendCommonData(MSIHANDLE session, int field1, int field2);
int SendActionStart(MSIHANDLE session, const char* action, const char* description,
                    const char* template_text);
int SendActionData(MSIHANDLE session, std::initializer_list<const char*> fields);
int SendProgress(MSIHANDLE session, int field1, int field2, int field3, int field4);
// A line in the installer's own log: field 0 holds the format text ("[1]" refers to field 1); when the
// record cannot be made or a field cannot be set, nothing is sent.
int SendInfo(MSIHANDLE session, const char* format, std::initializer_list<const char*> fields);

// --- String resources and message boxes ---------------------------------------------------------

// LoadStringA from this module; returns the length (0 when the id has no text).
int LoadText(UINT id, char* buffer, int size);
template <std::size_t N>
int LoadText(UINT id, char (&buffer)[N]) {
  return LoadText(id, buffer, static_cast<int>(N));
}

// MessageBoxA with no owner, text and caption from the string table (caption 0: the system's default).
int ShowMessage(UINT text_id, UINT caption_id, UINT flags);

// --- Platform -----------------------------------------------------------------------------------

// The platform of the basic version record (VER_PLATFORM_WIN32_WINDOWS for Windows 95, 98 and Me,
// VER_PLATFORM_WIN32_NT for the NT family); false when the version cannot be read.
bool ReadPlatformId(DWORD* platform_id);

}  // namespace twg
