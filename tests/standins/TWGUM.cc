// Stand-in for the product's user manager on Windows 9x, a plain process named "TWGUM.EXE": it only
// waits to be ended. The exit code tells how it ended (TerminateProcess gives the code asked for).
#include <windows.h>

int main() {
  Sleep(INFINITE);
  return 3;
}
