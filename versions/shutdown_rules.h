// The rules of the running-product shutdown that need no Windows: the table of product windows and
// which platform each applies to, the web-window class test, the user-manager executable test, and the
// bound on the close-window loop.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "frame/mbcs.h"

namespace twg {

enum class Platform { kOther, kWindows9x, kWindowsNT };
// From GetVersionEx's platform id: 1 is the 9x family, 2 the NT family.
Platform PlatformFromId(std::uint32_t platform_id);

struct ShutdownWindow {
  std::string class_name;
  const char* title;  // null: any title
  bool on_9x;
  bool on_nt;
  std::uint32_t message;
};
constexpr int kShutdownWindowCount = 8;
using ShutdownWindowTable = std::array<ShutdownWindow, kShutdownWindowCount>;

// The eight product windows in the order they are asked to close. stop_message is the registered stop
// message of this run; web_class the class the web-window search found ("" when none: it matches no
// window).
ShutdownWindowTable MakeShutdownWindowTable(std::uint32_t stop_message, const std::string& web_class);
bool AppliesTo(const ShutdownWindow& entry, Platform platform);

// A web window's class begins with "CWebWindow_Class" in any mix of case.
bool IsWebWindowClass(const char* class_name);

// The process path names the user manager: it ends in "TWGUM.EXE" (any case) on a character boundary
// of the code page.
bool IsUserManagerPath(const LeadBytes& lead, const char* path);

// Bounds the close-window loop. The loop repeats while a window of the class can be found; a window that
// outlives both the close request and the ending of its process (its process could not be opened, or
// ignores termination) would be found again for ever. The guard stops the loop when the same window
// comes back from the search after a round in which it survived, and in any case after kMaxRounds
// rounds (a process that keeps making new windows of the class).
class CloseLoopGuard {
 public:
  static constexpr int kMaxRounds = 64;
  // Called with each window the search finds, before the round on it; false ends the loop.
  bool ShouldClose(std::uintptr_t window);
  // Called after the round: whether the window still existed when the round ended.
  void RoundEnded(bool window_survived) { survivor_ = window_survived ? current_ : 0; }

 private:
  int rounds_ = 0;
  std::uintptr_t current_ = 0;
  std::uintptr_t survivor_ = 0;
};

}  // namespace twg
