// Stand-in for the companion antivirus product's start-menu shortcut, made and read through the shell's
// link object as the companion's own setup and the shell would:
//
//   shell_link.exe create LINK TARGET   makes LINK (and its folder) pointing at TARGET
//   shell_link.exe show LINK [FILE]     prints "target=...", "folder=..." (the working folder), or
//                                       writes them to FILE
//
// Exit status 0, or 1 when the link cannot be made or loaded.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::wstring Wide(const char* text) {
  wchar_t buffer[MAX_PATH * 2];
  MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, MAX_PATH * 2);
  return buffer;
}

void CreateParentFolders(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

int Run(const char* command, const char* link_path, const char* argument) {
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))) ||
      FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (link) link->Release();
    return 1;
  }
  int status = 1;
  if (std::strcmp(command, "create") == 0 && argument) {
    CreateParentFolders(link_path);
    link->SetPath(argument);
    if (SUCCEEDED(file->Save(Wide(link_path).c_str(), TRUE))) status = 0;
  } else if (std::strcmp(command, "show") == 0 && SUCCEEDED(file->Load(Wide(link_path).c_str(), STGM_READ))) {
    char path[MAX_PATH] = "", folder[MAX_PATH] = "";
    link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    FILE* out = argument ? std::fopen(argument, "wb") : stdout;
    if (out) {
      std::fprintf(out, "target=%s\nfolder=%s\n", path, folder);
      if (out != stdout) std::fclose(out);
      status = 0;
    }
  }
  file->Release();
  link->Release();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: shell_link create LINK TARGET | show LINK [FILE]\n");
    return 2;
  }
  CoInitialize(nullptr);
  const int status = Run(argv[1], argv[2], argc > 3 ? argv[3] : nullptr);
  CoUninitialize();
  return status;
}
