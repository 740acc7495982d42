// Registration of the product's update channels with the update program at install time. The update
// program is optional here: whatever of it is missing skips only the step that needs it.
#include <cstring>

#include "detect/system_query.h"
#include "frame/action_frame.h"
#include "frame/com_scope.h"
#include "updater/update_program.h"
#include "updater/update_rules.h"

namespace twg {
namespace {

using Text = RegistrationText RegistrationStrings::*;

// Components whose update sequence the support library keeps, by the channel group that owns them.
struct SequenceRow {
  int group;
  const char* component;
};
constexpr DWORD kSequenceNumber = 20011214;
constexpr SequenceRow kUpdaterSequenceTable[] = {
    {1, "RuleUpdate"},     {1, "SubSeven22RuleUpdate"}, {1, "AdBlock1"}, {1, "MultipleTrojanRuleUpdate"},
    {2, "CategoryUpdate"}, {2, "IDSUpdate"},            {1, "ALEUpdate"}, {1, "QaZRuleUpdate"},
};

struct ChannelProperty {
  const char* name;
  const char* value;
};

struct Channel {
  Text moniker, name, version, description;
  int group;  // rows of the sequence table set for this channel
  ChannelProperty further[3];  // ended by a null name
  CLSID class_id;
  DWORD flags;
  const char* error;
};

constexpr CLSID kClassProgram = {0x94207615, 0xEBCB, 0x4430, {0x86, 0x64, 0x20, 0x0F, 0xAD, 0x82, 0x4E, 0x87}};
constexpr CLSID kClassUrl = {0xAF96ACE3, 0xB5F9, 0x467B, {0xA2, 0x71, 0xD5, 0x40, 0xB6, 0xD2, 0x4D, 0xC1}};

constexpr Channel kProgramChannel = {
    &RegistrationStrings::program_moniker, &RegistrationStrings::main_name, &RegistrationStrings::version,
    &RegistrationStrings::program_description, 0, {}, kClassProgram, 3, "ERROR_REGISTER_1 descriptive name"};
constexpr Channel kUrlChannel = {
    &RegistrationStrings::url_moniker, &RegistrationStrings::url_name, &RegistrationStrings::channel_version,
    &RegistrationStrings::url_description, 2, {}, kClassUrl, 0x33, "ERROR_REGISTER_2 Command line"};
constexpr Channel kSignatureChannel = {
    &RegistrationStrings::signature_moniker, &RegistrationStrings::signature_name,
    &RegistrationStrings::channel_version, &RegistrationStrings::signature_description, 3,
    {{"AUTOSKYFETCH", "YES"}, {"AUTOSKYFETCHTYPE", "SILENT"}, {"SEQ.UPDATE", "20030315"}},
    kClassProgram, 0x33, "ERROR_REGISTER_3 rules"};
constexpr Channel kOtherChannel = {
    &RegistrationStrings::other_moniker, &RegistrationStrings::other_name, &RegistrationStrings::channel_version,
    &RegistrationStrings::security_description, 1,
    {{"AUTOSKYFETCH", "YES"}, {"AUTOSKYFETCHTYPE", "SILENT"}},
    kClassProgram, 0x33, "ERROR_REGISTER_4 rules"};

// The URL-list component installs TWGFETP.DLL into the product's folder.
bool UrlListComponentPresent() {
  char path[260 + 16] = "";
  ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", KEY_READ, "Taskan Web Guard", path, 260);
  std::strcat(path, "\\TWGFETP.DLL");
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// RegisterProduct gets its own copy of the moniker: the object may write into the VARIANT, and what it
// leaves there is freed unread.
HRESULT RegisterProduct(IUDProductReg* reg, const Channel& channel) {
  const RegistrationStrings& s = Registration();
  VARIANT moniker;
  VariantInit(&moniker);
  moniker.vt = VT_BSTR;
  moniker.bstrVal = SysAllocString((s.*channel.moniker).com());
  if (!moniker.bstrVal) return E_OUTOFMEMORY;
  HRESULT hr = reg->RegisterProduct((s.*channel.name).com(), (s.*channel.version).com(), s.language.com(),
                                    s.empty.com(), &moniker);
  VariantClear(&moniker);
  return hr;
}

// Only a failed RegisterProduct skips the channel; what follows it is done whatever it answers.
void RegisterChannel(IUDProductReg* reg, const Channel& channel) {
  if (FAILED(RegisterProduct(reg, channel))) {
    LogUpdaterError(channel.error);
    return;
  }
  const RegistrationStrings& s = Registration();
  for (const SequenceRow& row : kUpdaterSequenceTable) {
    if (row.group != channel.group) continue;
    SetUpdaterSequence((s.*channel.name).text(), row.component, (s.*channel.version).text(), s.language.text(),
                       kSequenceNumber);
  }
  const BSTR moniker = (s.*channel.moniker).com();
  reg->SetProperty(moniker, s.descriptive_name_property.com(), (s.*channel.description).com());
  for (const ChannelProperty& property : channel.further) {
    if (!property.name) break;
    RegistrationText name(property.name), value(property.value);
    reg->SetProperty(moniker, name.com(), value.com());
  }
  reg->RegisterProductClass(moniker, channel.class_id, channel.flags);
}

UINT InstallUpdateChannels(MSIHANDLE session) {
  char data[260];
  ReadProperty(session, "CustomActionData", data);
  const bool vxf = IsCorporateData(data);
  if (!LoadRegistrationStrings(vxf)) {
    LogUpdaterError("Error Load Strings");
    return 128;
  }
  ComApartment com;
  if (!com.initialised()) {
    LogUpdaterError("Could CoInitialize COM");
    return ERROR_SUCCESS;
  }
  ComRef<IUDProductReg> reg;
  if (FAILED(CreateProductReg(reg.Receive())) || !reg.valid()) {
    LogUpdaterError("ERROR_COCREATE Could CoCreate UDProduct Reg Object");
    return ERROR_SUCCESS;
  }
  const RegistrationStrings& s = Registration();
  if (s.program_description.text()[0] != '\0') RegisterChannel(reg, kProgramChannel);
  // The corporate edition has no URL list, also when a consumer load earlier in this process left its
  // description behind.
  if (!vxf && UrlListComponentPresent() && s.url_description.text()[0] != '\0') RegisterChannel(reg, kUrlChannel);
  RegisterChannel(reg, kSignatureChannel);
  RegisterChannel(reg, kOtherChannel);
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall TWGInstallUD(MSIHANDLE session) {
  return twg::RunAction("TWGInstallUD", [&] { return twg::InstallUpdateChannels(session); }, ERROR_SUCCESS);
}
