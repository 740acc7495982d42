// CreateEventLogReg: the product's own logs (not the system event log) find their files, sizes and
// event sources in the registry. The registration is written from the table below, through the access
// layer so that it lands in the protected store when the store is in use. The Logs key itself is
// read-only to users; the log keys may be changed by everyone (the product's viewer lets any user switch
// event types).
#include <cstring>

#include "config/signature_import.h"
#include "frame/action_frame.h"
#include "protreg/prot_reg.h"

namespace twg {
namespace {

struct EventSource {
  const char* name;
  DWORD id;
  DWORD log_events;
  DWORD view_events;
};

struct LogMap {
  const char* subkey;
  const char* file;
  const char* file_map;
  DWORD log_id;
  DWORD file_size;
  DWORD log_types;
  DWORD view_types;
  const char* message_file;
  const EventSource* sources;
};

constexpr DWORD kRestrictionsLogId = 6;
constexpr char kMessageFile[] = "tdit_msg.dll";

const EventSource kTdiSources[] = {
    {"Associate", 1, 1, 1},     {"Disassociate", 2, 1, 1},  {"Connect", 3, 1, 1},       {"Listen", 4, 1, 1},
    {"Accept", 5, 1, 1},        {"Disconnect", 6, 1, 1},    {"Send", 7, 1, 1},          {"Receive", 8, 1, 1},
    {"SendDatagram", 9, 1, 1},  {"RecvDatagram", 10, 1, 1}, {"SetEvHandler", 11, 1, 1}, {"QueryInfo", 12, 1, 1},
    {"SetInfo", 13, 1, 1},      {"Action", 14, 1, 1},       {"DirectSend", 15, 1, 1},   {"DirectSendDg", 16, 1, 1},
    {"Misc", 17, 1, 1},         {"Create", 18, 1, 1},       {"Cleanup", 19, 1, 1},      {"Close", 20, 1, 1},
    {"DeviceCtrl", 21, 1, 1},   {"QueryInfoEx", 22, 1, 1},  {"SetInfoEx", 23, 1, 1},    {"ConnectEvent", 24, 1, 1},
    {"DisconEvent", 25, 1, 1},  {"ErrorEvent", 26, 1, 1},   {"RecvEvent", 27, 1, 1},    {"RecvDgEvent", 28, 1, 1},
    {"RecvExpEvent", 29, 1, 1}, {"SendPosEvent", 30, 1, 1}, {"ChdRecvEvent", 31, 1, 1}, {"ChdRecvDgEv", 32, 1, 1},
    {"ChdRecvExpEv", 33, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kSystemSources[] = {
    {"Event Log", 1, 1, 1}, {"HBM Service", 2, 1, 1}, {"HTTP Filter", 3, 1, 1}, {"Config", 4, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kFirewallSources[] = {{"IP Filter", 1, 1, 1},    {"NDIS Filter", 2, 1, 1},  {"GRDCPL", 3, 1, 1},
                                        {"Notification", 4, 1, 1}, {"AlertTracker", 5, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kWebHistorySources[] = {{"URL Logging", 1, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kContentSources[] = {{"HTTP Fragment", 1, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kPrivacySources[] = {
    {"HTTP Cookie", 1, 1, 1}, {"HTTP Confidential Filter", 2, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kConnectionSources[] = {{"TCP Connection", 1, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kRestrictionSources[] = {
    {"HTTP Site Restriction Filter", 1, 1, 1}, {"NNTP Site Restriction Filter", 2, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kAlertSources[] = {
    {"IP Filter", 1, 1, 1}, {"NDIS Filter", 2, 1, 1}, {"Notification", 4, 1, 1}, {nullptr, 0, 0, 0}};
const EventSource kIdsSources[] = {{"IDS Engine", 1, 1, 1}, {nullptr, 0, 0, 0}};

const LogMap kLogs[] = {
    {"TDI", "grdtdi.rel", "TdiLogMap", 9, 262144, 0x3E, 0x3E, kMessageFile, kTdiSources},
    {"System", "grdsys.rel", "SystemLogMap", 0, 131072, 0x1003E, 0x1003E, kMessageFile, kSystemSources},
    {"Firewall", "grdfw.rel", "FirewallLogMap", 1, 131072, 0xF0034, 0xF0034, kMessageFile, kFirewallSources},
    {"Web History", "grdwebh.rel", "WebHistoryLogMap", 2, 131072, 0x3E, 0x3E, kMessageFile, kWebHistorySources},
    {"Content Blocking", "grdadblk.rel", "AdBlockingLogMap", 3, 131072, 0x1003E, 0x1003E, kMessageFile,
     kContentSources},
    {"Privacy", "grdpriv.rel", "PrivacyLogMap", 4, 131072, 0xF003E, 0xF003E, kMessageFile, kPrivacySources},
    {"Connections", "grdtcp.rel", "ConnectionsLogMap", 5, 65536, 0x30000, 0x30000, kMessageFile, kConnectionSources},
    {"Restrictions", "grdrstct.rel", "RestrictionsLogMap", 6, 131072, 0x3003E, 0x3003E, kMessageFile,
     kRestrictionSources},
    {"Alerts", "grdalert.rel", "AlertsLogMap", 7, 131072, 0xF0034, 0xF0034, kMessageFile, kAlertSources},
    {"IDS", "grdids.rel", "IDSLogMap", 8, 131072, 0x3003E, 0x3003E, kMessageFile, kIdsSources},
    {nullptr, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr}};

constexpr REGSAM kKeyAccess = 0x2001F;

// A value that cannot be written is passed over: the log keeps working on the product's defaults.
void SetText(HKEY key, const char* name, const char* text) {
  ProtRegSetValueExA(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(std::strlen(text) + 1));
}
void SetNumber(HKEY key, const char* name, DWORD number) {
  ProtRegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

bool CreateKey(HKEY parent, const char* name, LPSECURITY_ATTRIBUTES security, ScopedProtKey* key) {
  return ProtRegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kKeyAccess, security,
                             key->Receive(), nullptr) == ERROR_SUCCESS;
}

void RegisterLog(HKEY logs, const LogMap& log, LPSECURITY_ATTRIBUTES writable) {
  ScopedProtKey key;
  if (!CreateKey(logs, log.subkey, writable, &key)) return;
  SetText(key, "LogFile", log.file);
  SetText(key, "LogFileMap", log.file_map);
  SetNumber(key, "LogID", log.log_id);
  SetNumber(key, "LoggingEnabled", 1);
  SetNumber(key, "FileSize", log.file_size);
  SetNumber(key, "LogTypes", log.log_types);
  SetNumber(key, "ViewTypes", log.view_types);
  SetText(key, "EventMessageFile", log.message_file);
  for (const EventSource* source = log.sources; source->name != nullptr; ++source) {
    ScopedProtKey source_key;
    if (!CreateKey(key, source->name, writable, &source_key)) continue;
    SetNumber(source_key, "SourceID", source->id);
    SetNumber(source_key, "LogEvents", source->log_events);
    SetNumber(source_key, "ViewEvents", source->view_events);
  }
}

void RegisterLogs(bool parental_control, LPSECURITY_ATTRIBUTES read_only, LPSECURITY_ATTRIBUTES writable) {
  ScopedProtKey logs;
  if (!CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane\\GRD\\Logs", read_only, &logs)) return;
  for (const LogMap* log = kLogs; log->subkey != nullptr; ++log) {
    if (log->log_id == kRestrictionsLogId && !parental_control) continue;
    RegisterLog(logs, *log, writable);
  }
}

// Frees the block on every path; a null block (Windows 9x) is never passed to the free.
struct SecurityBlock {
  LPSECURITY_ATTRIBUTES block = nullptr;
  ~SecurityBlock() {
    if (block != nullptr) ProtRegFreeSecurity(block);
  }
};

}  // namespace
}  // namespace twg

TWG_ACTION UINT __stdcall CreateEventLogReg(MSIHANDLE session) {
  return twg::RunAction("CreateEventLogReg", [&] {
    char parental[255];
    twg::ReadProperty(session, "INSTALL_PARENTAL_CONTROL", parental);
    const bool parental_control = twg::ReadDecimal(parental) != 0;
    if (!twg::ProtRegIsAdmin()) return ERROR_SUCCESS;
    twg::SecurityBlock read_only, writable;
    if (twg::ProtRegMakeReadOnlySecurity(&read_only.block) != ERROR_SUCCESS ||
        twg::ProtRegMakeWritableSecurity(&writable.block) != ERROR_SUCCESS) {
      return ERROR_SUCCESS;
    }
    twg::RegisterLogs(parental_control, read_only.block, writable.block);
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
