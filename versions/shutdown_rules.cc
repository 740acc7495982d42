#include "versions/shutdown_rules.h"

#include <cctype>
#include <cstring>

namespace twg {
namespace {

constexpr std::uint32_t kWmClose = 16;
constexpr std::uint32_t kWmQuit = 18;
constexpr std::uint32_t kHbmRequest = 0x0400 + 2010;  // WM_USER + 2010
constexpr char kWebWindowClass[] = "CWebWindow_Class";
constexpr char kUserManagerFile[] = "TWGUM.EXE";

bool EqualNoCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
    if (a[i] == '\0') return true;
  }
  return true;
}

}  // namespace

Platform PlatformFromId(std::uint32_t platform_id) {
  if (platform_id == 1) return Platform::kWindows9x;
  if (platform_id == 2) return Platform::kWindowsNT;
  return Platform::kOther;
}

ShutdownWindowTable MakeShutdownWindowTable(std::uint32_t stop_message, const std::string& web_class) {
  return {{
      {"CorrixStats", nullptr, true, true, stop_message},
      {"HBMTrashClass", nullptr, true, true, stop_message},
      {"GrdLog", nullptr, true, true, kWmClose},
      {"Veltrane HBMApp Class", nullptr, true, true, stop_message},
      {"vel hbm", nullptr, true, false, kHbmRequest},
      {"TWGUMWindowClass", "TWGUM", true, false, kWmQuit},
      {"Vel_DockedWnd_Parent_Class", nullptr, true, true, kWmClose},
      {web_class, nullptr, true, true, kWmQuit},
  }};
}

bool AppliesTo(const ShutdownWindow& entry, Platform platform) {
  switch (platform) {
    case Platform::kWindows9x: return entry.on_9x;
    case Platform::kWindowsNT: return entry.on_nt;
    default: return false;
  }
}

bool IsWebWindowClass(const char* class_name) {
  return class_name != nullptr && std::strlen(class_name) >= sizeof kWebWindowClass - 1 &&
         EqualNoCase(class_name, kWebWindowClass, sizeof kWebWindowClass - 1);
}

bool IsUserManagerPath(const LeadBytes& lead, const char* path) {
  constexpr std::size_t kLength = sizeof kUserManagerFile - 1;
  if (path == nullptr) return false;
  std::size_t length = std::strlen(path);
  if (length < kLength) return false;
  // The suffix must begin where a character begins: a trail byte that looks like 'T' does not count.
  const char* suffix = path + length - kLength;
  const char* p = path;
  while (p < suffix) p = NextChar(lead, p);
  return p == suffix && EqualNoCase(suffix, kUserManagerFile, kLength);
}

bool CloseLoopGuard::ShouldClose(std::uintptr_t window) {
  if (window == 0 || rounds_ >= kMaxRounds) return false;
  if (survivor_ != 0 && window == survivor_) return false;
  ++rounds_;
  current_ = window;
  return true;
}

}  // namespace twg
