// Stand-in for the companion product's setup engine. Reads tvs_script.txt next to it, one step a line:
//   text <status>     sets its window's text itself (what the installer's hook can see under Wine)
//   percent <n>       sends its window the setup's percentage message
//   linger <ms>       keeps its window up, handling messages
//   exit <code>       ends with that code
//   nowindow          ends after a pause without ever showing the setup window
// It records into the same folder: cmdline.txt (its command line), response.iss (a copy of the -f1
// file) and events.txt ("cancel" when its dialog's Cancel button is clicked). A click ends it with 1602.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "append_log.h"

namespace {

std::string g_dir;
bool g_cancelled = false;

std::string InDir(const char* name) { return g_dir + "\\" + name; }

void Record(const char* name, const std::string& text) {
  std::ofstream(InDir(name), std::ios::binary) << text;
}

// The text between -f1" and the next quotation mark.
std::string ResponseFileOf(const std::string& line) {
  const std::size_t at = line.find("-f1\"");
  if (at == std::string::npos) return "";
  const std::size_t end = line.find('"', at + 4);
  return end == std::string::npos ? "" : line.substr(at + 4, end - at - 4);
}

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    AppendLine(InDir("events.txt").c_str(), "cancel");
    g_cancelled = true;
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

// A standard dialog with one button, id 2, as the setup's own dialogs have.
HWND MakeCancelDialog(HWND owner) {
  alignas(4) WORD t[64] = {};
  auto* dlg = reinterpret_cast<DLGTEMPLATE*>(t);
  dlg->style = WS_POPUP | WS_CAPTION;
  dlg->cdit = 1;
  dlg->cx = 100;
  dlg->cy = 40;
  WORD* p = t + sizeof(DLGTEMPLATE) / 2 + 3;  // no menu, default class, no title
  p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
  auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
  item->style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
  item->cx = 40;
  item->cy = 14;
  item->id = IDCANCEL;
  p = reinterpret_cast<WORD*>(item + 1);
  *p++ = 0xFFFF;
  *p++ = 0x0080;  // button
  *p++ = 0;       // no text
  *p++ = 0;       // no creation data
  return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dlg, owner, DialogProc, 0);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    // Wine refreshes a thread's view of the hooks installed on it only when the thread retrieves a
    // message; a real setup's queue is never idle this long, so keep one flowing.
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (g_cancelled) ExitProcess(1602);
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

}  // namespace

int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  g_dir = self;
  g_dir.resize(g_dir.find_last_of('\\'));
  const std::string line = GetCommandLineA();
  Record("cmdline.txt", line);
  const std::string response = ResponseFileOf(line);
  if (!response.empty()) CopyFileA(response.c_str(), InDir("response.iss").c_str(), FALSE);

  std::vector<std::string> steps;
  {
    std::ifstream script(InDir("tvs_script.txt"));
    for (std::string s; std::getline(script, s);) {
      if (!s.empty() && s.back() == '\r') s.pop_back();
      steps.push_back(s);
    }
  }
  for (const auto& s : steps) {
    if (s == "nowindow") {
      Sleep(2000);
      return 0;
    }
  }

  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "InstallShield_Win";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("InstallShield_Win", "Taskan Virus Sentry Setup", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  MakeCancelDialog(window);
  // The installer hooks this thread shortly after it has made its hidden dialog; wait for that and a
  // little more, as a real setup spends its first seconds unpacking.
  for (int i = 0; i < 2000 && !FindWindowA(nullptr, "TWG_INSTALL_DUMMY_WND"); ++i) Pump(10);
  Pump(2000);

  int code = 0;
  for (const auto& s : steps) {
    std::istringstream in(s);
    std::string verb, rest;
    in >> verb;
    std::getline(in >> std::ws, rest);
    if (verb == "text") SetWindowTextA(window, rest.c_str());
    if (verb == "percent") SendMessageA(window, 0x0491, std::atoi(rest.c_str()), 0);
    if (verb == "linger") Pump(std::atoi(rest.c_str()));
    if (verb == "exit") code = std::atoi(rest.c_str());
    Pump(20);
  }
  return code;
}
