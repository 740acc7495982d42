// Stand-in for the user in front of a silent install: answers every message box that appears on the
// desktop with its safe button (OK where the box has one, else No, else Cancel) and records each box as
// "<caption> | <text>" in a log file. Runs until it is ended.
//
//   box_answerer.exe LOG
#include <windows.h>

#include "append_log.h"

#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  for (HWND last = nullptr;; Sleep(50)) {
    HWND box = FindWindowA("#32770", nullptr);
    if (!box || box == last || !IsWindowVisible(box)) continue;
    // A box is read once its dialog has set up its controls; its text is the static of id 0xFFFF.
    char caption[256] = "", text[1024] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    if (!text[0]) continue;
    last = box;
    AppendLine(argv[1], std::string(caption) + " | " + text);
    int answer = GetDlgItem(box, IDOK) ? IDOK : GetDlgItem(box, IDNO) ? IDNO : IDCANCEL;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
  }
}
