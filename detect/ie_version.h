// Whether an Internet Explorer version is 4.72.3110 (Internet Explorer 4.01) or later, judged from either
// of the two texts Windows keeps: the registry's "Version" value and the product version in the version
// resource of IEXPLORE.EXE. Windows-free; the pieces are split with the multibyte-safe tokenizer.
#pragma once
#include <string>

#include "frame/mbcs.h"

namespace twg {

// The registry form "major.minor.build.sub": up to four dotted numbers, anything that is not a number
// counting as 0 and missing parts as 0. *major receives the first number as decimal text.
bool IsRegistryIeVersionEnough(const LeadBytes& lead, const char* text, std::string* major);

// The version-resource form: *major receives the first dotted piece as written. A text without a
// second piece (for example "4, 72, 3110, 8", written with commas) never qualifies unless its major
// number alone is above 4; for 4.72 a third piece is needed as well.
bool IsProductIeVersionEnough(const LeadBytes& lead, const char* text, std::string* major);

}  // namespace twg
