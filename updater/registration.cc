// The registration texts, the objects' class ids and the support library calls that the registration
// at install time and the removal at uninstall share.
#include <cstring>

#include "detect/system_query.h"
#include "frame/action_frame.h"
#include "resource_ids.h"
#include "updater/update_program.h"

namespace twg {

const CLSID kClsidProductReg = {0x25094AE2, 0x5C5C, 0x4C13, {0x81, 0xE5, 0x73, 0x8D, 0xAF, 0xDC, 0x12, 0x65}};
const IID kIidProductReg = {0x05F94DFD, 0xF976, 0x4629, {0xAD, 0xBA, 0xA4, 0x31, 0xF2, 0xAF, 0x1C, 0xC9}};
const CLSID kClsidAutoUpdate = {0x109A3963, 0x043E, 0x4781, {0xA6, 0xF3, 0x7F, 0x48, 0xF1, 0x15, 0xED, 0x25}};
const IID kIidAutoUpdate = {0xF5EB4F2A, 0xC044, 0x4844, {0xA4, 0xDD, 0xFA, 0x1D, 0xEA, 0x3F, 0x68, 0x5F}};

const char kSharedUsageKey[] = "SOFTWARE\\Veltrane\\SharedUsage";

namespace {

// Lives as long as the module: made empty when it loads, its COM strings freed when it unloads.
RegistrationStrings g_registration;

using SetSequenceNumberExFn = int(__cdecl*)(const char* product_name, const char* component_name,
                                            const char* version, const char* language, DWORD sequence_number);

struct Load {
  RegistrationText RegistrationStrings::*entry;
  UINT id;
};

constexpr Load kLeadingTexts[] = {
    {&RegistrationStrings::program_moniker, IDS_UPDATER_PROGRAM_MONIKER},
    {&RegistrationStrings::url_moniker, IDS_UPDATER_URL_MONIKER},
    {&RegistrationStrings::signature_moniker, IDS_UPDATER_SIGNATURE_MONIKER},
    {&RegistrationStrings::other_moniker, IDS_UPDATER_OTHER_MONIKER},
};
// The corporate edition has no URL-list channel, so its description stays as it was.
constexpr Load kCorporateTexts[] = {
    {&RegistrationStrings::program_description, IDS_VXF_PROGRAM_DESCRIPTION},
    {&RegistrationStrings::main_name, IDS_VXF_MAIN_NAME},
    {&RegistrationStrings::security_description, IDS_VXF_SECURITY_DESCRIPTION},
    {&RegistrationStrings::other_name, IDS_VXF_OTHER_NAME},
    {&RegistrationStrings::signature_name, IDS_VXF_SIGNATURE_NAME},
    {&RegistrationStrings::vxf_moniker1, IDS_VXF_MONIKER_1},
    {&RegistrationStrings::vxf_moniker2, IDS_VXF_MONIKER_2},
    {&RegistrationStrings::vxf_version1, IDS_VXF_VERSION_1},
    {&RegistrationStrings::vxf_version2, IDS_VXF_VERSION_2},
};
constexpr Load kConsumerTexts[] = {
    {&RegistrationStrings::program_description, IDS_UPDATER_PROGRAM_DESCRIPTION},
    {&RegistrationStrings::main_name, IDS_UPDATER_MAIN_NAME},
    {&RegistrationStrings::url_description, IDS_UPDATER_URL_DESCRIPTION},
    {&RegistrationStrings::security_description, IDS_UPDATER_SECURITY_DESCRIPTION},
    {&RegistrationStrings::other_name, IDS_UPDATER_OTHER_NAME},
    {&RegistrationStrings::signature_name, IDS_UPDATER_SIGNATURE_NAME},
};
constexpr Load kTrailingTexts[] = {
    {&RegistrationStrings::signature_description, IDS_UPDATER_SIGNATURE_DESCRIPTION},
    {&RegistrationStrings::url_name, IDS_UPDATER_URL_NAME},
    {&RegistrationStrings::version, IDS_UPDATER_VERSION},
    {&RegistrationStrings::language, IDS_UPDATER_LANGUAGE},
};

template <std::size_t N>
bool LoadTexts(const Load (&loads)[N]) {
  RegistrationStrings& strings = Registration();
  for (const Load& load : loads) {
    char text[128];
    if (LoadText(load.id, text) == 0) return false;
    if (!(strings.*load.entry).Set(text)) return false;  // no COM text: as good as no text
  }
  return true;
}

// The value is opened for reading and writing, as the updater-folder lookup opens it.
ScopedLibrary LoadSupportLibrary() {
  char path[kSupportLibraryPathSize];
  if (!SupportLibraryPath("Skyfetch1", KEY_READ | KEY_WRITE, path)) return ScopedLibrary();
  return ScopedLibrary(LoadLibraryA(path));
}

}  // namespace

bool SupportLibraryPath(const char* value_name, REGSAM access, char (&path)[kSupportLibraryPathSize]) {
  path[0] = '\0';
  const bool found =
      ReadTextValue(HKEY_LOCAL_MACHINE, kSharedUsageKey, access, value_name, path, 260) == ERROR_SUCCESS;
  std::strcat(path, "\\V32UPDR1.DLL");
  return found;
}

bool RegistrationText::Set(const char* text) {
  wchar_t wide[128];
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 128) == 0) return false;
  BSTR made = SysAllocString(wide);
  if (!made) return false;
  SysFreeString(com_);
  com_ = made;
  std::strncpy(text_, text, sizeof text_ - 1);
  text_[sizeof text_ - 1] = '\0';
  return true;
}

RegistrationStrings& Registration() { return g_registration; }

bool LoadRegistrationStrings(bool is_vxf) {
  RegistrationStrings& strings = Registration();
  if (!strings.descriptive_name_property.com()) {
    strings.descriptive_name_property.Set("DescriptiveName");
    strings.empty.Set("");
    strings.channel_version.Set("1.0");
  }
  return LoadTexts(kLeadingTexts) && (is_vxf ? LoadTexts(kCorporateTexts) : LoadTexts(kConsumerTexts)) &&
         LoadTexts(kTrailingTexts);
}

bool SetUpdaterSequence(const char* product_name, const char* component_name, const char* version,
                        const char* language, DWORD sequence_number) {
  ScopedLibrary library = LoadSupportLibrary();
  if (!library.valid()) return false;
  auto set_sequence = SupportEntryPoint<SetSequenceNumberExFn>(library, "SetSequenceNumberEx");
  if (!set_sequence) return false;
  set_sequence(product_name, component_name, version, language, sequence_number);
  return true;
}

bool CleanupUpdaterProduct(const char* product_name, const char* version, const char* language) {
  ScopedLibrary library = LoadSupportLibrary();
  if (!library.valid()) return false;
  auto cleanup = SupportEntryPoint<OnrampCleanupExFn>(library, kOnrampCleanupEx);
  if (!cleanup) return false;
  cleanup(product_name, version, language);
  return true;
}

void LogUpdaterError(const char* message) {
  WriteInstallLogTime();
  WriteInstallLog(message);
  OutputDebugStringA(message);
}

HRESULT CreateProductReg(IUDProductReg** object) {
  return CoCreateInstance(kClsidProductReg, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kIidProductReg,
                          reinterpret_cast<void**>(object));
}

}  // namespace twg
