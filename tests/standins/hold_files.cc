// Stand-in for a running product that keeps its data files open: opens every file named on the command
// line without sharing and holds them until it is ended, so that deleting them fails as it does while
// the product runs. An open that meets another process's short-lived handle is tried again (for 10 s).
#include <windows.h>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (int attempt = 0; attempt < 1000; ++attempt, Sleep(10)) {
      if (CreateFileA(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE) break;
    }
  }
  Sleep(INFINITE);
}
