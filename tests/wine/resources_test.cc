// The built DLL carries the resources as the resource compiler saw them: every string id the code names
// loads, the response-file templates keep their CR LF line ends and placeholder, and the hidden dialog
// that the setup's hook looks for by caption exists in each language.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "harness/harness.h"
#include "resource_ids.h"

using namespace harness;

namespace {

std::string Resource(HMODULE module, const char* type, int id, WORD language) {
  HRSRC info = FindResourceExA(module, type, MAKEINTRESOURCEA(id), language);
  if (!info) return {};
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, info)));
  return std::string(data, SizeofResource(module, info));
}

TEST(ResourcesOfDll, StringsTemplatesAndDialogs) {
  HMODULE module = LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << DllPath();

  // Every id resource_ids.h defines, and the whole competing-product block, which is walked by number.
  std::ifstream header(SourcePath("resources/resource_ids.h"));
  const std::regex define(R"(^#define\s+(IDS_\w+)\s+(\d+)\s*$)");
  std::vector<std::pair<std::string, int>> ids;
  std::smatch m;
  for (std::string line; std::getline(header, line);) {
    if (std::regex_match(line, m, define)) ids.emplace_back(m[1], std::stoi(m[2]));
  }
  ASSERT_GT(ids.size(), 50u);
  for (int id = IDS_OTHER_AV_FIRST; id <= IDS_OTHER_AV_LAST; ++id) ids.emplace_back("other product", id);
  char text[260];
  for (const auto& id : ids) EXPECT_GT(LoadStringA(module, id.second, text, sizeof text), 0) << id.first;

  for (int id : {IDR_ISS_TEMPLATE_9X, IDR_ISS_TEMPLATE_NT}) {
    const std::string iss = Resource(module, ISS_TEMPLATE_RESOURCE_TYPE, id, 1033);
    EXPECT_EQ(iss.rfind("[InstallShield Silent]\r\n", 0), 0u) << id;
    EXPECT_EQ(std::regex_replace(iss, std::regex("\r\n"), "").find('\n'), std::string::npos) << "a bare line feed";
    EXPECT_NE(iss.find("szDir=%INSTALLDIR%\r\n"), std::string::npos) << id;
  }

  // A dialog template holds its caption as NUL-terminated UTF-16 text.
  const std::wstring caption = L"TWG_INSTALL_DUMMY_WND";
  const std::string caption_bytes(reinterpret_cast<const char*>(caption.c_str()), (caption.size() + 1) * 2);
  for (WORD language : {1033, 1028, 1041, 1042}) {
    const std::string dialog = Resource(module, MAKEINTRESOURCEA(5), IDD_INSTALL_DUMMY, language);  // RT_DIALOG
    EXPECT_NE(dialog.find(caption_bytes), std::string::npos) << language;
  }
  FreeLibrary(module);
}

}  // namespace
