// Registry reads the configuration writers share.
#pragma once
#include <windows.h>

#include <cstddef>

namespace twg {

// Reads a text value into a zero-filled buffer. A text of size-1 characters fits with its terminator;
// the last byte is forced to zero, so a value stored without one still reads as a terminated text.
bool ReadRegText(HKEY key, const char* name, char* buffer, DWORD size);
template <std::size_t N>
bool ReadRegText(HKEY key, const char* name, char (&buffer)[N]) {
  return ReadRegText(key, name, buffer, static_cast<DWORD>(N));
}

// The product folder the setup recorded (value "Taskan Web Guard" of InstalledApps); false, and an empty
// text, when it cannot be read.
bool ReadProductFolder(char (&folder)[260]);

}  // namespace twg
