// Starting the programs the actions hand work to (the registry editor, msiexec, setups) and waiting
// for them.
#pragma once
#include <windows.h>

namespace twg {

// CreateProcessA with the command line alone (the program is found on the search path), default
// start-up information and no inherited handles; waits for the program without time limit. False when
// it could not be started; *exit_code (when given) receives its exit code.
bool RunAndWait(const char* command_line, DWORD* exit_code = nullptr);

}  // namespace twg
