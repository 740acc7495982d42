// The store's integrity bookkeeping on real registry keys: the record check and rewrite, the name
// checks of the tamper diagnosis, and the notifications to the network driver's device that bracket
// every examination or change of protected keys.
#pragma once
#include <windows.h>

namespace twg {

// The record value exists, decodes, and equals the key's current subkey and value counts.
bool RecordMatches(HKEY key);

// Writes the record for the key's current counts (0 values written as 1). A handle opened without
// write access is reopened for the write.
LONG RewriteRecord(HKEY key);

// Every subkey name (or every value name; the unnamed value passes) decodes by the key-name rule.
bool SubkeyNamesDecode(HKEY key);
bool ValueNamesDecode(HKEY key);

// Begin on construction, end on destruction, each with the current process id, each opening the
// device afresh. The end goes only where the begin went, so the driver never sees an unmatched end and
// a machine without the device pays one failed open per operation, not two.
class StoreChange {
 public:
  StoreChange();
  ~StoreChange();
  StoreChange(const StoreChange&) = delete;
  StoreChange& operator=(const StoreChange&) = delete;

 private:
  bool begin_sent_;
};

// Sends the tamper report (the error code 13) to the device.
void ReportTamper();

}  // namespace twg
