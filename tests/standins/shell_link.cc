// Stand-in for the companion antivirus product's start-menu shortcut, made and read through the shell's
// link object as the companion's own setup and the shell would:
//   shell_link.exe create LINK TARGET   makes LINK (and its folder) pointing at TARGET
//   shell_link.exe show LINK            prints "target=..." and "folder=..." (its working folder)
// Exit status 0, or 1 when the link cannot be made or loaded.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const bool create = argc > 3 && std::strcmp(argv[1], "create") == 0;
  if (!create && (argc != 3 || std::strcmp(argv[1], "show") != 0)) return 2;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                   reinterpret_cast<void**>(&link));
  if (!link || FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return 1;
  wchar_t path[MAX_PATH * 2];
  MultiByteToWideChar(CP_ACP, 0, argv[2], -1, path, MAX_PATH * 2);
  const std::string name = argv[2];
  for (std::size_t at = name.find('\\', 3); create && at != std::string::npos; at = name.find('\\', at + 1)) {
    CreateDirectoryA(name.substr(0, at).c_str(), nullptr);
  }
  bool done = false;
  if (create) {
    link->SetPath(argv[3]);
    done = SUCCEEDED(file->Save(path, TRUE));
  } else if (SUCCEEDED(file->Load(path, STGM_READ))) {
    char target[MAX_PATH] = "", folder[MAX_PATH] = "";
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    done = std::printf("target=%s\nfolder=%s\n", target, folder) > 0;
  }
  file->Release();
  link->Release();
  CoUninitialize();
  return done ? 0 : 1;
}
