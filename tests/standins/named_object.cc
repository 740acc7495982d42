// Stand-in for the product's engine application and service as far as their named kernel objects go:
// holds a mutex (owned from the start) or an unsignalled event, lets go of it after a while, and keeps
// the object alive until it is ended.
//
//   named_object.exe mutex NAME HOLD_MS   owns mutex NAME for HOLD_MS, then releases it
//   named_object.exe event NAME HOLD_MS   sets event NAME (manual reset) after HOLD_MS
//
// HOLD_MS "forever" never lets go. Each step is printed on standard output.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: named_object mutex|event NAME HOLD_MS|forever\n");
    return 2;
  }
  bool mutex = std::strcmp(argv[1], "mutex") == 0;
  DWORD hold = std::strcmp(argv[3], "forever") == 0 ? INFINITE : std::strtoul(argv[3], nullptr, 10);
  HANDLE object = mutex ? CreateMutexA(nullptr, TRUE, argv[2]) : CreateEventA(nullptr, TRUE, FALSE, argv[2]);
  if (!object) return 1;
  std::printf("created %s %s\n", argv[1], argv[2]);
  std::fflush(stdout);
  Sleep(hold);
  if (mutex) {
    ReleaseMutex(object);
  } else {
    SetEvent(object);
  }
  std::printf("released\n");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
