// The reports shown when the companion antivirus product's install or uninstall went wrong. The install
// report names this product twice, so the text can outgrow any fixed buffer with a long product name:
// it is built whole.
#include <string>

#include "antivirus/companion_rules.h"
#include "frame/action_frame.h"
#include "resource_ids.h"

namespace twg {
namespace {

// OK only; a box that cannot be shown (a silent install) is simply not answered.
void ShowFailureReport(MSIHANDLE session, UINT text_id, UINT caption_id) {
  char product[260], text_template[255], caption[255];
  ReadProperty(session, "ProductName", product);
  LoadText(text_id, text_template);
  LoadText(caption_id, caption);
  const std::string text = FormatWithProductName(text_template, product);
  MessageBoxA(nullptr, text.c_str(), caption, MB_OK);
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TVSInstallFailed(MSIHANDLE session) {
  return twg::RunAction("TVSInstallFailed", [&] {
    twg::ShowFailureReport(session, IDS_TVS_INSTALL_FAILED, IDS_TVS_INSTALL_FAILED_CAPTION);
    return ERROR_SUCCESS;  // this product's install goes on without the companion
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TVSUninstallFailed(MSIHANDLE session) {
  return twg::RunAction("TVSUninstallFailed", [&] {
    twg::ShowFailureReport(session, IDS_TVS_UNINSTALL_FAILED, IDS_TVS_UNINSTALL_FAILED_CAPTION);
    return ERROR_INSTALL_FAILURE;  // stops the uninstall, which rolls back
  });
}
