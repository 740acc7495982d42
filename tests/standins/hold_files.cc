// Stand-in for a running product: holds every file named on the command line open without sharing until
// it is ended. An open that meets another process's short-lived handle is tried again (for 10 s).
#include <windows.h>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (int attempt = 0; attempt < 1000; ++attempt, Sleep(10)) {
      HANDLE held = CreateFileA(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (held != INVALID_HANDLE_VALUE) break;
    }
  }
  Sleep(INFINITE);
}
