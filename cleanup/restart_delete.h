// Deleting files now or, when they are in use, at the next restart. The two restart-time schedulers
// are shared with other subsystems: on the NT family they leave a pending rename without a new name,
// on Windows 95, 98 and Me a "NUL=" line in the rename section of WININIT.INI.
#pragma once
#include <string>
#include <vector>

namespace twg {

// Deletes every entry that matches path (wild cards allowed) except names beginning with "."; an entry
// in use (sharing violation or access denied, which a folder also answers) is scheduled with
// ScheduleFileDeleteAtRestart instead. Other failures, and an empty path, are passed over.
void DeleteOrSchedule(const char* path);

// Schedules one path, in its short form, for deletion at the next restart. On the 9x family a
// placeholder entry is written through the profile functions and then overwritten in place, so that
// every "NUL=" line already in the file stays and each call adds one. 1 when scheduled, 0 when
// WININIT.INI could not be read.
int ScheduleFileDeleteAtRestart(const char* path);

// Schedules every path of the list, in list order and in its long form; on the 9x family the lines go
// at the end of WININIT.INI, after a "[rename]" header when the file holds none yet.
void ScheduleTreeDeleteAtRestart(const std::vector<std::string>& paths);

}  // namespace twg
