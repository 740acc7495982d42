// The text rules of the setup dialogs' checks and of the alert icon, Windows-free so they are tested
// under double-byte code pages natively.
#pragma once
#include <string>

#include "frame/mbcs.h"

namespace twg {

// The user name as the product accepts it: leading and trailing spaces (only code 32) removed, 1 to 32
// bytes, no "!" as a whole character. True and *trimmed set when acceptable.
bool AcceptUserName(const LeadBytes& lead, const char* typed, std::string* trimmed);

// A password the product's driver cannot take: any lead byte or any byte of 0x80 or more.
bool HasDoubleByteOrHighByte(const LeadBytes& lead, const char* password);

// The alert icon is the icon file of "file,index" with the index chosen by which feature DLLs exist.
void CutAtLastComma(const LeadBytes& lead, char* text);
const char* AlertIconIndex(bool fet_a_present, bool fet_p_present);

}  // namespace twg
