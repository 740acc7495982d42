// The install log "TWGLog.txt" in the temporary folder, and the debug-output channel.
#pragma once

namespace twg {

// Appends text exactly as given (callers end their lines). The file is opened and closed on every call;
// returns 0, or -1 when it cannot be opened (the line is then lost and the caller goes on).
int WriteInstallLog(const char* text);

// Appends "LogTime is M/D/YYYY H:M.S\n" for the current UTC time; returns 0.
int WriteInstallLogTime();

// wsprintf-formatted text to OutputDebugStringA (at most 1024 characters).
void DebugOut(const char* format, ...);

}  // namespace twg
