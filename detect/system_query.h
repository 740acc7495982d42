// The system queries the detection actions share: the two Windows version records and registry reads
// into the fixed buffers the actions use.
#pragma once
#include <windows.h>

#include <cstddef>
#include <vector>

namespace twg {

// The basic record (size field 148) and the extended one (size field 156, adding service pack, suite
// mask and product type). Windows 95 and NT 4.0 before service pack 4 refuse the extended size.
bool QueryBasicVersion(OSVERSIONINFOA* info);
bool QueryExtendedVersion(OSVERSIONINFOEXA* info);

// Reads a string value into a zero-filled buffer; on failure the buffer stays empty. The text is always
// terminated: a value that fills the buffer without its own terminator loses its last character.
LONG ReadTextValue(HKEY key, const char* value_name, char* buffer, DWORD size);
template <std::size_t N>
LONG ReadTextValue(HKEY key, const char* value_name, char (&buffer)[N]) {
  return ReadTextValue(key, value_name, buffer, static_cast<DWORD>(N));
}

// Opens root\subkey with the given access and reads one string value as above.
LONG ReadTextValue(HKEY root, const char* subkey, REGSAM access, const char* value_name, char* buffer,
                   DWORD size);
template <std::size_t N>
LONG ReadTextValue(HKEY root, const char* subkey, REGSAM access, const char* value_name, char (&buffer)[N]) {
  return ReadTextValue(root, subkey, access, value_name, buffer, static_cast<DWORD>(N));
}

// RegQueryValueExA or a function with its arguments (the registry access layer's ProtRegQueryValueExA).
using QueryValueFn = LONG(WINAPI*)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

// Reads a value whatever its size: the size first, then the data into a zero-filled block of exactly
// that size. An absent or empty value is a failure (ERROR_FILE_NOT_FOUND for the empty one).
LONG ReadValueBlock(HKEY key, const char* value_name, DWORD* type, std::vector<char>* block,
                    QueryValueFn query = RegQueryValueExA);

// Loads a string resource holding one "%s" and formats it with the argument. wsprintfA writes at most
// 1024 characters, hence the buffer.
void FormatLoadedText(UINT id, const char* argument, char (&text)[1024]);

// The system folder (GetSystemDirectoryA) or "" when it does not fit.
void SystemFolder(char (&folder)[MAX_PATH]);

}  // namespace twg
