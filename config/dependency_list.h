// Editing a service's dependency list, held as the service manager and the registry hold it: names one
// after another, each ended by a zero byte, the whole ended by one more zero byte (an empty list is a
// single zero byte). Names compare without regard to case. Windows-free, so the edits are proven
// natively: Wine's service manager does not report the list it keeps.
#pragma once
#include <cstddef>
#include <string>

namespace twg {

// Bytes of the names with their zero bytes, without the final zero.
std::size_t NamesSize(const char* list);
bool ContainsName(const char* list, const char* name);

// The list with name appended behind the last name, final zero included in the result.
std::string WithNameAppended(const char* list, const char* name);

// The list without name (its first occurrence, or every one), final zero included; false, and out left
// alone, when the name is not in it.
enum class RemoveWhich { kFirst, kEvery };
bool WithoutName(const char* list, const char* name, RemoveWhich which, std::string* out);

}  // namespace twg
