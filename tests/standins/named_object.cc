// Stand-in for the product's engine and service as far as their named kernel objects go. Keeps the
// object alive until it is ended; HOLD_MS "forever" never lets go.
//
//   named_object.exe mutex NAME HOLD_MS   owns mutex NAME from the start, releases it after HOLD_MS
//   named_object.exe event NAME HOLD_MS   sets event NAME (manual reset) after HOLD_MS
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  bool mutex = std::strcmp(argv[1], "mutex") == 0;
  DWORD hold = std::strcmp(argv[3], "forever") == 0 ? INFINITE : std::strtoul(argv[3], nullptr, 10);
  HANDLE object = mutex ? CreateMutexA(nullptr, TRUE, argv[2]) : CreateEventA(nullptr, TRUE, FALSE, argv[2]);
  if (!object) return 1;
  Sleep(hold);
  if (mutex) {
    ReleaseMutex(object);
  } else {
    SetEvent(object);
  }
  Sleep(INFINITE);
  return 0;
}
