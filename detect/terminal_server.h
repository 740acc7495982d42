// Terminal Server and logged-on users, for the detection actions and for any subsystem that must know
// whether object names need the "Global\" prefix. Each function answers "no" (or one user) when the
// system cannot tell, and none of them needs a function that Windows 95 or NT 4.0 lacks at load time:
// the suite verification and the terminal-services session calls are looked up at run time.
#pragma once

namespace twg {

// Whether this is a Terminal Server: NT 5 and later by the suite verification (terminal services in
// the suite mask), NT 4.0 by "Terminal Server" in the ProductSuite multi-string (exact case); never on
// the Windows 95 family.
bool IsTerminalServer();

// The number of sessions with a logged-on user, active or disconnected. 1 where Wtsapi32.dll or its
// session calls are missing, or the enumeration fails.
int CountLoggedOnSessions();

// The terminal-server answer as the first call computed it, for the life of the loaded library. Its
// rules differ from IsTerminalServer(): NT 5.1 and later always count as terminal servers (fast user
// switching makes every session a terminal session), and NT 4.0's ProductSuite is compared ignoring
// case. Safe to call from several threads: the answer is kept in one interlocked word.
bool IsTerminalServerCached();

}  // namespace twg
