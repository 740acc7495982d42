// Removal of the product's update channels and of the sequence data the update program's support
// library keeps for them, at uninstall. A channel is cleaned up only once the update program has
// really let it go.
#include "frame/action_frame.h"
#include "frame/com_scope.h"
#include "resource_ids.h"
#include "updater/update_program.h"
#include "updater/update_rules.h"

namespace twg {
namespace {

using Text = RegistrationText RegistrationStrings::*;

struct RegisteredChannel {
  Text moniker, version;
};

constexpr RegisteredChannel kProductChannels[] = {
    {&RegistrationStrings::program_moniker, &RegistrationStrings::version},
    {&RegistrationStrings::url_moniker, &RegistrationStrings::channel_version},
    {&RegistrationStrings::signature_moniker, &RegistrationStrings::channel_version},
    {&RegistrationStrings::other_moniker, &RegistrationStrings::channel_version},
};
constexpr RegisteredChannel kCorporateChannels[] = {
    {&RegistrationStrings::vxf_moniker1, &RegistrationStrings::vxf_version1},
    {&RegistrationStrings::vxf_moniker2, &RegistrationStrings::vxf_version2},
};

// False when the update program refused the deletion; the channel's data is then left alone.
bool RemoveChannel(IUDProductReg* reg, const RegisteredChannel& channel) {
  const RegistrationStrings& s = Registration();
  if (FAILED(reg->DeleteProduct((s.*channel.moniker).com()))) return false;
  CleanupUpdaterProduct(s.main_name.text(), (s.*channel.version).text(), s.language.text());
  return true;
}

bool LoadRemovalStrings(bool is_vxf) {
  if (LoadRegistrationStrings(is_vxf)) return true;
  LogUpdaterError("Error Load String in uninstall");
  return false;
}

UINT UninstallChannels(MSIHANDLE session) {
  char install_vxf[260];
  ReadProperty(session, "INSTALL_VXF", install_vxf);
  if (!LoadRemovalStrings(IsFlagOn(install_vxf))) return ERROR_SUCCESS;
  ComApartment com;
  if (!com.initialised()) return ERROR_SUCCESS;
  ComRef<IUDProductReg> reg;
  if (FAILED(CreateProductReg(reg.Receive())) || !reg.valid()) return ERROR_SUCCESS;
  for (const RegisteredChannel& channel : kProductChannels) RemoveChannel(reg, channel);
  return ERROR_SUCCESS;
}

// The corporate edition's registration program; its results tell the installer what failed.
constexpr UINT kChannelNotDeleted = 1;
constexpr UINT kNoCom = 16;
constexpr UINT kNoRegistrationObject = 32;

UINT UnregisterCorporateChannels(MSIHANDLE session) {
  char data[260];
  ReadProperty(session, "CustomActionData", data);
  if (!IsCorporateData(data)) return ERROR_SUCCESS;
  if (!LoadRemovalStrings(true)) return ERROR_SUCCESS;
  ComApartment com;
  if (!com.initialised()) return kNoCom;
  ComRef<IUDProductReg> reg;
  if (FAILED(CreateProductReg(reg.Receive())) || !reg.valid()) return kNoRegistrationObject;
  bool all_deleted = true;
  for (const RegisteredChannel& channel : kCorporateChannels) all_deleted &= RemoveChannel(reg, channel);
  return all_deleted ? ERROR_SUCCESS : kChannelNotDeleted;
}

// The channel names are loaded here on their own: the set's names would keep the other edition's
// texts where this edition has none.
void RemoveSequenceData(MSIHANDLE session) {
  char library_path[kSupportLibraryPathSize];
  SupportLibraryPath("Skyfetch", KEY_READ, library_path);
  char install_vxf[260];
  ReadProperty(session, "INSTALL_VXF", install_vxf);
  const bool vxf = IsFlagOn(install_vxf);
  const int name_ids[] = {vxf ? IDS_VXF_MAIN_NAME : IDS_UPDATER_MAIN_NAME,
                           vxf ? IDS_VXF_OTHER_NAME : IDS_UPDATER_OTHER_NAME, IDS_UPDATER_URL_NAME,
                           vxf ? IDS_VXF_SIGNATURE_NAME : IDS_UPDATER_SIGNATURE_NAME};
  char names[4][128], version[128], language[128];
  for (int i = 0; i < 4; ++i) LoadText(name_ids[i], names[i]);
  LoadText(IDS_UPDATER_VERSION, version);
  LoadText(IDS_UPDATER_LANGUAGE, language);

  ScopedLibrary library(LoadLibraryA(library_path));
  if (!library.valid()) return;
  auto cleanup = SupportEntryPoint<OnrampCleanupExFn>(library, kOnrampCleanupEx);
  if (!cleanup) return;
  for (const char* name : names) cleanup(name, version, language);
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGUninstallUD(MSIHANDLE session) {
  return twg::RunAction("TWGUninstallUD", [&] { return twg::UninstallChannels(session); }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGUnregisterRB(MSIHANDLE session) {
  return twg::RunAction("TWGUnregisterRB", [&] { return twg::UnregisterCorporateChannels(session); },
                        ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TWGRemoveSequence(MSIHANDLE session) {
  return twg::RunAction("TWGRemoveSequence", [&] {
    twg::RemoveSequenceData(session);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
