// The built DLL carries the resources as the resource compiler saw them: every string id the code names
// loads, the response-file templates keep their CR LF line ends and placeholder, and the hidden dialog
// has its caption and a font in each language.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "resource_ids.h"

using namespace harness;

namespace {

class ResourcesOfDll : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << DllPath();
  }
  void TearDown() override { FreeLibrary(module_); }

  std::string Resource(const char* type, int id, WORD language) {
    HRSRC info = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language);
    if (!info) return {};
    HGLOBAL data = LoadResource(module_, info);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, info));
  }

  HMODULE module_ = nullptr;
};

// The ids come from resource_ids.h itself, so a string the code can name but the table lacks fails here.
std::vector<std::pair<std::string, int>> StringIdsFromHeader() {
  std::ifstream header(SourcePath("resources/resource_ids.h"));
  std::vector<std::pair<std::string, int>> ids;
  std::regex define(R"(^#define\s+(IDS_\w+)\s+(\d+)\s*$)");
  std::string line;
  while (std::getline(header, line)) {
    std::smatch m;
    if (std::regex_match(line, m, define)) ids.emplace_back(m[1], std::stoi(m[2]));
  }
  return ids;
}

// The competing-product list is walked by number over its whole block, so every number of it counts.
TEST_F(ResourcesOfDll, EveryNamedStringLoads) {
  auto ids = StringIdsFromHeader();
  ASSERT_GT(ids.size(), 50u);
  for (int id = IDS_OTHER_AV_FIRST; id <= IDS_OTHER_AV_LAST; ++id) ids.emplace_back("other product", id);
  char text[260];
  for (const auto& id : ids) {
    EXPECT_GT(LoadStringA(module_, id.second, text, sizeof text), 0) << id.first << " " << id.second;
  }
}

TEST_F(ResourcesOfDll, ResponseTemplatesKeepCrLf) {
  for (int id : {IDR_ISS_TEMPLATE_9X, IDR_ISS_TEMPLATE_NT}) {
    SCOPED_TRACE(id);
    std::string text = Resource(ISS_TEMPLATE_RESOURCE_TYPE, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("[InstallShield Silent]\r\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
    }
    EXPECT_NE(text.find("szDir=%INSTALLDIR%\r\n"), std::string::npos);
  }
}

// Caption and font face of a DIALOG or DIALOGEX template.
struct DialogHead {
  std::wstring caption, font;
};
DialogHead ParseDialog(const std::string& raw) {
  const auto* w = reinterpret_cast<const WORD*>(raw.data());
  bool ex = w[0] == 1 && w[1] == 0xFFFF;
  DWORD style = ex ? *reinterpret_cast<const DWORD*>(w + 6) : *reinterpret_cast<const DWORD*>(w);
  const WORD* p = w + (ex ? 13 : 9);
  for (int name = 0; name < 2; ++name) {  // the menu, then the class: an ordinal or a text
    if (*p == 0xFFFF) p += 2;
    else while (*p++) {}
  }
  DialogHead head;
  while (*p) head.caption += static_cast<wchar_t>(*p++);
  ++p;
  if (style & DS_SETFONT) {
    p += ex ? 3 : 1;  // point size (and weight, italic, charset)
    while (*p) head.font += static_cast<wchar_t>(*p++);
  }
  return head;
}

TEST_F(ResourcesOfDll, HiddenDialogInEachLanguage) {
  struct Case {
    WORD language;
    std::wstring font;
  } cases[] = {{1033, L"MS Sans Serif"},
               {1028, L"\x65B0\x7D30\x660E\x9AD4"},
               {1041, L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"},
               {1042, L"\xAD74\xB9BC"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    std::string raw = Resource(reinterpret_cast<const char*>(RT_DIALOG), IDD_INSTALL_DUMMY, c.language);
    ASSERT_GT(raw.size(), 18u);
    DialogHead head = ParseDialog(raw);
    EXPECT_EQ(head.caption, L"TWG_INSTALL_DUMMY_WND");
    EXPECT_EQ(head.font, c.font);
  }
}

}  // namespace
