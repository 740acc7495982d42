// The updater actions under Wine, against stand-ins for the update program's objects, support library
// and programs, which record every call in one log (tests/standins/updater): a case compares the whole
// conversation an action had with the update program. The demo shows a consumer install and removal.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "tests/standins/updater/updater_record.h"

using namespace harness;

namespace {

using Lines = std::vector<std::string>;
const char kSharedUsage[] = "SOFTWARE\\Veltrane\\SharedUsage";
// The channels' monikers: program, URL list, signatures, other rules, and the corporate edition's two.
const std::string kP{"{91DE5D1D-4D04-4AC4-29B6-2BDD9EB27A1A}"}, kU{"{7C65DFFE-3084-A138-C9CB-4F3339EDECF3}"};
const std::string kS{"{144965D2-DBE7-0F80-EB34-31B0DCA349D9}"}, kO{"{AAE33358-359B-FDC3-C310-135914C78FF2}"};
const std::string kV1{"{520EB480-71F3-61BD-EEA8-845DF6E787B3}"};
const std::string kV2{"{69245B43-608B-DD0B-8948-80909E93A5AE}"}, kTwg{"Taskan Web Guard"};
const std::string kVcf{"Veltrane Client Firewall"}, kReleased{"ProductReg released"};

// The support library is loaded for each call and freed right after it.
Lines Support(const std::string& call) { return {"V32UPDR1 loaded", call, "V32UPDR1 freed"}; }
void Append(Lines& to, const Lines& lines) { to.insert(to.end(), lines.begin(), lines.end()); }

// Registering the channels: each product, its components' sequence numbers, its properties and its class.
Lines Registered(bool corporate) {
  const std::string n = corporate ? kVcf : kTwg, automatic = "AUTOSKYFETCH|YES";
  const std::string type = "AUTOSKYFETCHTYPE|SILENT", program = "{94207615-EBCB-4430-8664-200FAD824E87}|0x";
  struct Channel {
    std::string moniker, name, version;
    Lines components, properties;
    std::string klass;
  } channels[] = {
      {kP, n, "5.1.1", {}, {n + " program updates"}, program + "3"},
      {corporate ? "" : kU, n + " URL", "1.0", {"CategoryUpdate", "IDSUpdate"}, {n + " URL updates"},
       "{AF96ACE3-B5F9-467B-A271-D540B6D24DC1}|0x33"},
      {kS, corporate ? kVcf + " IDS Signatures" : "Taskan Web Gard IDS Signatures", "1.0", {},
       {"Veltrane Intrusion Detection Signatures", automatic, type, "SEQ.UPDATE|20030315"}, program + "33"},
      {kO, n + " other", "1.0",
       {"RuleUpdate", "SubSeven22RuleUpdate", "AdBlock1", "MultipleTrojanRuleUpdate", "ALEUpdate",
        "QaZRuleUpdate"},
       {n + " security updates", automatic, type}, program + "33"},
  };
  Lines out;
  for (const Channel& c : channels) {
    if (c.moniker.empty()) continue;
    out.push_back("RegisterProduct " + c.name + "|" + c.version + "|English||" + c.moniker);
    for (const auto& component : c.components) {
      Append(out, Support("SetSequenceNumberEx " + c.name + "|" + component + "|1.0|English|20011214"));
    }
    for (const auto& property : c.properties) {
      const bool description = &property == &c.properties[0];
      out.push_back("SetProperty " + c.moniker + "|" + (description ? "DescriptiveName|" : "") + property);
    }
    out.push_back("RegisterProductClass " + c.moniker + "|" + c.klass);
  }
  out.push_back(kReleased);
  return out;
}
Lines Removed(const Lines& channels, const std::string& name, const std::string& refused = "") {
  Lines out;
  for (std::size_t i = 0; i < channels.size(); i += 2) {
    out.push_back("DeleteProduct " + channels[i]);
    const std::string cleanup = "OnrampCleanupEx " + name + "|" + channels[i + 1] + "|English";
    if (channels[i] != refused) Append(out, Support(cleanup));
  }
  out.push_back(kReleased);
  return out;
}

// Calls the export in this process, so that its own result (not MsiDoAction's 0 or 1603) is seen. As
// the installer does for a deferred action, it gets the property of its own name as CustomActionData,
// as SetVXFProperties prepared it.
UINT CallExport(const std::string& action, bool corporate) {
  Package package;
  Session session(package.Property("INSTALL_VXF", corporate ? "1" : "0").Build());
  HMODULE dll = LoadLibraryA(DllPath().c_str());
  using Export = UINT(WINAPI*)(MSIHANDLE);
  reinterpret_cast<Export>(GetProcAddress(dll, "SetVXFProperties"))(session.handle());
  session.SetProperty("CustomActionData", session.Property(action));
  const UINT result = reinterpret_cast<Export>(GetProcAddress(dll, action.c_str()))(session.handle());
  FreeLibrary(dll);
  return result;
}

// A machine with the update program, the product and its URL-list component, changed as a case says:
// "no objects", "no program", or the moniker whose deletion the update program refuses. Returns the log
// in which the stand-ins record.
std::string Arrange(const std::string& change = "") {
  for (const char* key : {TWG_UPDATER_KEY, kSharedUsage, "Software\\Veltrane\\InstalledApps"}) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, key);
  }
  RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" TWG_PRODUCT_REG_CLSID);
  HMODULE server = LoadLibraryA(StandinPath("updater_objects.dll").c_str());
  auto register_server = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(server, "DllRegisterServer"));
  if (change != "no objects") EXPECT_EQ(register_server(), S_OK);
  const std::string log = NewTempDir("calls") + "\\calls.txt";
  RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "Log", log);
  const std::string skyfetch = NewTempDir("skyfetch"), product = NewTempDir("product");
  CopyFileA(StandinPath("V32UPDR1.DLL").c_str(), (skyfetch + "\\V32UPDR1.DLL").c_str(), FALSE);
  if (change != "no program") {
    CopyFileA(StandinPath("UDALL.EXE").c_str(), (skyfetch + "\\UDALL.EXE").c_str(), FALSE);
  }
  RegSetString(HKEY_LOCAL_MACHINE, kSharedUsage, "Skyfetch", skyfetch);
  RegSetString(HKEY_LOCAL_MACHINE, kSharedUsage, "Skyfetch1", skyfetch);
  RegSetString(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\InstalledApps", kTwg, product);
  WriteFileText(product + "\\TWGFETP.DLL", "");
  if (change.compare(0, 1, "{") == 0) RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "FailDelete", change);
  return log;
}

// The calls recorded since the last look.
Lines Calls(const std::string& log) {
  std::istringstream text(ReadFileText(log));
  DeleteFileA(log.c_str());
  Lines calls;
  for (std::string line; std::getline(text, line);) calls.push_back(line);
  return calls;
}

TEST(Updater, ConversationsPerEditionAndMissingPart) {
  const Lines corporate_channels{kP, "5.1.1", kU, "1.0", kS, "1.0", kO, "1.0"};
  const Lines rollback_channels{kV1, "2.0.6", kV2, "1.0"};
  struct Case {
    const char* action;
    bool corporate;
    std::string change;
    UINT result;
    Lines calls;
  } cases[] = {
      {"TWGInstallUD", false, "", 0, Registered(false)},
      {"TWGInstallUD", true, "", 0, Registered(true)},  // no URL list, component or not
      // A channel is cleaned up only after the update program let it go.
      {"TWGUninstallUD", true, kS, 0, Removed(corporate_channels, kVcf, kS)},
      {"TWGUnregisterRB", true, kV1, 1, Removed(rollback_channels, kVcf, kV1)},
      {"TWGUnregisterRB", true, "no objects", 32, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + (c.corporate ? " corporate " : " ") + c.change);
    const std::string log = Arrange(c.change);
    EXPECT_EQ(CallExport(c.action, c.corporate), c.result);
    EXPECT_EQ(Calls(log), c.calls);
  }
}

// The installer's thread answers messages while the update program runs, and the error mode is back
// to 0 on every way out.
TEST(Updater, UpdateCheckWaitsAnsweringMessages) {
  HWND window = CreateWindowA("STATIC", "TWGUpdaterPing", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  for (const char* change : {"", "no program"}) {
    const std::string log = Arrange(change);
    RegSetString(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "PingWindow", "TWGUpdaterPing");
    RegSetDword(HKEY_LOCAL_MACHINE, TWG_UPDATER_KEY, "RunMs", 2000);
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    // In this process the installer's interface level is "none": the check runs silently.
    EXPECT_EQ(CallExport("TWGCheckForUpdate", false), 0u);
    EXPECT_EQ(SetErrorMode(0), 0u) << change;
    const std::string run = "UDALL.EXE -m" + kP + " -m" + kO + " -m" + kU + " -m" + kS + " -s";
    EXPECT_EQ(Calls(log), *change ? Lines() : Lines({run, "UDALL.EXE ping answered"}));
  }
  DestroyWindow(window);
}

}  // namespace
