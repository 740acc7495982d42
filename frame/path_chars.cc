#include "frame/path_chars.h"

#include <windows.h>

namespace twg {

LeadBytes SystemLeadBytes() {
  LeadBytes lead;
  CPINFO info;
  if (!GetCPInfo(CP_ACP, &info)) return lead;
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    lead.Add(info.LeadByte[i], info.LeadByte[i + 1]);
  }
  return lead;
}

}  // namespace twg
