// The companion antivirus product's presence, version, folder and running state, and the marker that
// records that this product installed it. The package's dialogs and conditions act on the properties
// these actions publish; the companion's own setup runs elsewhere. Every registry access goes through
// the access layer, because the marker lives in the product's configuration key, which may already be
// in the protected store.
#include <cstring>
#include <string>

#include "antivirus/companion_rules.h"
#include "detect/detect_rules.h"
#include "frame/action_frame.h"
#include "frame/path_chars.h"
#include "protreg/prot_reg.h"
#include "resource_ids.h"

namespace twg {
namespace {

constexpr char kInstalledAppsKey[] = "Software\\Veltrane\\InstalledApps";
constexpr char kProductKey9x[] = "Software\\Veltrane\\Taskan Virus Sentry";
constexpr char kProductKeyNt[] = "Software\\Veltrane\\Taskan Virus Sentry NT";
constexpr char kConfigKey[] = "Software\\Veltrane\\GRD";
constexpr char kMarkerValue[] = "TWGTVS";
constexpr char kCompanionProductCode[] = "{6644AB24-918B-1EC3-3281-B7E1958EC9AB}";
constexpr REGSAM kReadWrite = 0x2001F;
constexpr const char* kCompanionMutexes[] = {"VEL_TVSW32_MUTEX", "TVSCfgWizMutex", "Quarantine Console Mutex"};

bool IsNtFamily() {
  DWORD platform = 0;
  return ReadPlatformId(&platform) && platform == VER_PLATFORM_WIN32_NT;
}

ScopedProtKey OpenKey(const char* path, REGSAM access) {
  ScopedProtKey key;
  if (ProtRegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key.Receive()) != ERROR_SUCCESS) key.reset();
  return key;
}

// A text value through the access layer into a 260-byte buffer, always terminated; "" when unreadable.
bool ReadText(HKEY key, const char* name, char (&text)[260]) {
  std::memset(text, 0, sizeof text);
  DWORD size = sizeof text;
  const bool read = key && ProtRegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                                                &size) == ERROR_SUCCESS;
  text[sizeof text - 1] = '\0';
  if (!read) text[0] = '\0';
  return read;
}

// The companion's setup records its folder under one of three names, by edition.
bool CompanionRecorded() {
  ScopedProtKey apps = OpenKey(kInstalledAppsKey, KEY_READ);
  char folder[260];
  for (const char* name : {"TVS", "TVS95", "TVSNT"}) {
    if (ReadText(apps, name, folder)) return true;
  }
  return false;
}

// The NT edition's key, or the 9x edition's: an NT machine may carry the 9x edition after an upgrade
// of Windows.
ScopedProtKey OpenCompanionProductKey() {
  if (IsNtFamily()) {
    ScopedProtKey nt = OpenKey(kProductKeyNt, KEY_READ);
    if (nt.valid()) return nt;
  }
  return OpenKey(kProductKey9x, KEY_READ);
}

// The major and minor byte of the installed companion's "CurrentVersion", read as raw bytes.
bool ReadCompanionVersion(BYTE (&version)[3]) {
  ScopedProtKey product = OpenCompanionProductKey();
  std::memset(version, 0, sizeof version);
  DWORD size = sizeof version;
  return product.valid() &&
         ProtRegQueryValueExA(product, "CurrentVersion", nullptr, nullptr, version, &size) == ERROR_SUCCESS;
}

bool CompanionInstalledByInstaller() {
  char version[260] = "";
  DWORD size = sizeof version;
  return MsiGetProductInfoA(kCompanionProductCode, INSTALLPROPERTY_VERSIONSTRING, version, &size) ==
         ERROR_SUCCESS;
}

bool MarkerPresent() {
  ScopedProtKey config = OpenKey(kConfigKey, kReadWrite);
  char marker[260];
  return ReadText(config, kMarkerValue, marker);
}

// The marker's stored form is fixed: REG_SZ holding the one byte "1", without its terminator. The NT
// family's ANSI registry call takes a NUL right after string data for a forgotten terminator and
// stores it too, so the byte after the marker's is no NUL.
constexpr char kMarkerData[] = "11";

bool WriteMarker() {
  ScopedProtKey config;
  if (ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, kConfigKey, 0, nullptr, 0, kReadWrite, nullptr, config.Receive(),
                          nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return ProtRegSetValueExA(config, kMarkerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kMarkerData), 1) ==
         ERROR_SUCCESS;
}

void DeleteMarker() {
  ScopedProtKey config = OpenKey(kConfigKey, kReadWrite);
  if (config.valid()) ProtRegDeleteValueA(config, kMarkerValue);
}

// Beside this product's folder: "...\Veltrane\Taskan Web Guard\" gives "...\Veltrane\Taskan Virus Sentry".
std::string DefaultCompanionFolder(MSIHANDLE session) {
  char folder[260];
  ReadProperty(session, "INSTALLDIR", folder);
  CutToParentFolder(SystemLeadBytes(), folder);
  char name[260];
  LoadText(IsNtFamily() ? IDS_TVS_FOLDER_NAME_NT : IDS_TVS_FOLDER_NAME_9X, name);
  return std::string(folder) + "\\" + name;
}

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall FindTVSInstall(MSIHANDLE session) {
  return twg::RunAction("FindTVSInstall", [&] {
    char source[260];
    twg::ReadProperty(session, "SourceDir", source);
    const std::string package = std::string(source) + "\\tvs.msi";
    const bool on_media = GetFileAttributesA(package.c_str()) != INVALID_FILE_ATTRIBUTES;
    twg::SetFlagProperty(session, "TVSINSTALLPAGE", on_media);
    twg::SetFlagProperty(session, "INSTALLTVS", on_media);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall IsTVSInstalledAndCurrent(MSIHANDLE session) {
  return twg::RunAction("IsTVSInstalledAndCurrent", [&] {
    char major[260], minor[260];
    twg::ReadProperty(session, "TVSMajorVersion", major);
    twg::ReadProperty(session, "TVSMinorVersion", minor);
    bool existing = twg::CompanionRecorded();
    bool upgrade = true;
    BYTE version[3];
    if (existing && twg::ReadCompanionVersion(version)) {
      upgrade = twg::CompanionNeedsUpgrade(version[0], version[1], twg::LeadingNumber(major),
                                           twg::LeadingNumber(minor));
    } else {
      existing = false;
    }
    twg::SetFlagProperty(session, "ExistingTVS", existing);
    twg::SetFlagProperty(session, "UpgradeTVS", upgrade);
    // The package offers the companion in every case; the two flags above say install or upgrade.
    twg::SetProperty(session, "INSTALLTVS", "1");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall TurnOffTVSInstall(MSIHANDLE session) {
  return twg::RunAction("TurnOffTVSInstall", [&] {
    twg::ClearProperty(session, "INSTALLTVS");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall SetTVSDest(MSIHANDLE session) {
  return twg::RunAction("SetTVSDest", [&] {
    char key_path[260], value_name[260], folder[260];
    twg::LoadText(IDS_REGKEY_INSTALLED_APPS, key_path);
    twg::LoadText(IDS_REGVAL_TVS, value_name);
    twg::ScopedProtKey apps = twg::OpenKey(key_path, twg::kReadWrite);
    // An installed companion keeps its folder; otherwise it goes beside this product.
    const std::string destination =
        twg::ReadText(apps, value_name, folder) ? std::string(folder) : twg::DefaultCompanionFolder(session);
    twg::SetProperty(session, "TVSINSTALLDIR", destination.c_str());
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall StoreTVSDir(MSIHANDLE session) {
  return twg::RunAction("StoreTVSDir", [&] {
    twg::ScopedProtKey apps = twg::OpenKey(twg::kInstalledAppsKey, KEY_READ);
    char folder[260];
    if (twg::ReadText(apps, "TVS", folder)) twg::SetProperty(session, "TVSInstalledDir", folder);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckTVSState(MSIHANDLE session) {
  return twg::RunAction("CheckTVSState", [&] {
    for (const char* name : twg::kCompanionMutexes) {
      twg::ScopedHandle mutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name));
      if (mutex.valid()) twg::SetProperty(session, "TVSRunning", "1");
    }
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// Without the marker, a later uninstall could not tell a companion this product installed from one
// the user installed, so no marker means no companion install.
TWG_ACTION UINT __stdcall BeforeTVSInstall(MSIHANDLE session) {
  return twg::RunAction("BeforeTVSInstall", [&] {
    if (!twg::WriteMarker()) twg::ClearProperty(session, "INSTALLTVS");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

TWG_ACTION UINT __stdcall CheckTWGTVS(MSIHANDLE session) {
  return twg::RunAction("CheckTWGTVS", [&] {
    const bool ours = twg::MarkerPresent() && twg::CompanionInstalledByInstaller();
    twg::SetFlagProperty(session, "TWGTVSInstalled", ours);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}

// Runs after the package removed the companion this product installed. A companion that is still
// installed while the marker says it is ours means that removal failed: "TVSUninstFail" tells the
// package (which then runs TVSUninstallFailed), and the marker stays so that the next removal still
// knows to take the companion along. Otherwise the marker goes.
TWG_ACTION UINT __stdcall CheckTVSUninstall(MSIHANDLE session) {
  return twg::RunAction("CheckTVSUninstall", [&] {
    const bool failed = twg::MarkerPresent() && twg::CompanionInstalledByInstaller();
    twg::SetFlagProperty(session, "TVSUninstFail", failed);
    if (!failed) twg::DeleteMarker();
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
