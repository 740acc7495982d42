// The built DLL carries the resources as the resource compiler saw them: every string id the code names
// loads, the response-file templates keep their CR LF line ends and placeholder, and the hidden dialog
// that the setup's hook looks for by caption exists in each language with its font.
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
  return std::string(static_cast<const char*>(LockResource(LoadResource(module, info))), SizeofResource(module, info));
}

// A dialog template holds its caption and font face as NUL-terminated UTF-16 text.
bool HoldsText(const std::string& dialog, const std::wstring& text) {
  return dialog.find(std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2)) != std::string::npos;
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

  const std::pair<WORD, std::wstring> fonts[] = {{1033, L"MS Sans Serif"},
                                                  {1028, L"\x65B0\x7D30\x660E\x9AD4"},
                                                  {1041, L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"},
                                                  {1042, L"\xAD74\xB9BC"}};
  for (const auto& font : fonts) {
    const std::string dialog = Resource(module, MAKEINTRESOURCEA(5), IDD_INSTALL_DUMMY, font.first);  // RT_DIALOG
    EXPECT_TRUE(HoldsText(dialog, L"TWG_INSTALL_DUMMY_WND") && HoldsText(dialog, font.second)) << font.first;
  }
  FreeLibrary(module);
}

}  // namespace
