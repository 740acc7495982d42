// The access layer's security helpers: the administrator test and the security attributes of the
// product's keys.
#include <cstdlib>
#include <cstring>

#include "protreg/prot_reg.h"

namespace twg {
namespace {

constexpr DWORD kAclSize = 512;
constexpr DWORD kKeyAllAccess = 0xF003F;
constexpr DWORD kKeyRead = 0x20019;
constexpr DWORD kKeyReadAndSetValue = 0x2001B;

// Windows 95, 98 and Me carry the security functions only as stubs that fail with
// ERROR_CALL_NOT_IMPLEMENTED.
bool HasNtSecurity() {
  SetLastError(0);
  return !(GetSidLengthRequired(1) == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED);
}

// Fills a SID in place: the slot must hold GetSidLengthRequired(2) bytes.
bool BuildSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
  if (!InitializeSid(sid, authority, count)) return false;
  *GetSidSubAuthority(sid, 0) = first;
  if (count > 1) *GetSidSubAuthority(sid, 1) = second;
  return true;
}

// The whole block, in one allocation, in this order.
struct SecurityBlockHead {
  SECURITY_ATTRIBUTES attributes;
  SECURITY_DESCRIPTOR descriptor;
  SID_IDENTIFIER_AUTHORITY nt_authority;
  SID_IDENTIFIER_AUTHORITY world_authority;
  SID_IDENTIFIER_AUTHORITY creator_authority;
};

LONG MakeSecurity(LPSECURITY_ATTRIBUTES* block, DWORD everyone_access) {
  if (!block) return ERROR_INVALID_PARAMETER;
  *block = nullptr;
  if (!HasNtSecurity()) return ERROR_SUCCESS;
  DWORD sid_size = (GetSidLengthRequired(2) + 3) & ~3u;
  std::size_t total = sizeof(SecurityBlockHead) + 4 * sid_size + kAclSize;
  auto* head = static_cast<SecurityBlockHead*>(std::calloc(1, total));
  if (!head) return ERROR_NOT_ENOUGH_MEMORY;
  auto* sids = reinterpret_cast<BYTE*>(head + 1);
  PSID admins = sids, creator_owner = sids + sid_size, everyone = sids + 2 * sid_size,
       local_system = sids + 3 * sid_size;
  auto* acl = reinterpret_cast<PACL>(sids + 4 * sid_size);
  head->nt_authority = SECURITY_NT_AUTHORITY;
  head->world_authority = SECURITY_WORLD_SID_AUTHORITY;
  head->creator_authority = SECURITY_CREATOR_SID_AUTHORITY;

  auto fail = [&](DWORD error) {
    std::free(head);
    return static_cast<LONG>(error ? error : ERROR_INVALID_PARAMETER);
  };
  if (!BuildSid(admins, &head->nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) ||
      !BuildSid(creator_owner, &head->creator_authority, 1, SECURITY_CREATOR_OWNER_RID) ||
      !BuildSid(everyone, &head->world_authority, 1, SECURITY_WORLD_RID) ||
      !BuildSid(local_system, &head->nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID)) {
    return fail(GetLastError());
  }
  if (!InitializeAcl(acl, kAclSize, ACL_REVISION)) return fail(GetLastError());
  if (!AddAccessAllowedAce(acl, ACL_REVISION, kKeyAllAccess, admins) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, kKeyAllAccess, creator_owner) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, everyone_access, everyone) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, kKeyAllAccess, local_system) ||
      !InitializeSecurityDescriptor(&head->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&head->descriptor, admins, FALSE) ||
      !SetSecurityDescriptorDacl(&head->descriptor, TRUE, acl, FALSE)) {
    return fail(GetLastError());
  }
  head->attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  head->attributes.lpSecurityDescriptor = &head->descriptor;
  head->attributes.bInheritHandle = FALSE;
  *block = &head->attributes;
  return ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI ProtRegIsAdmin() {
  if (!HasNtSecurity()) return TRUE;
  ScopedHandle token;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
    return FALSE;
  }
  DWORD size = 0;
  if (GetTokenInformation(token, TokenGroups, nullptr, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return FALSE;
  }
  auto* groups = static_cast<TOKEN_GROUPS*>(std::malloc(size));
  if (!groups) return FALSE;
  BYTE admins[SECURITY_MAX_SID_SIZE];
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  BOOL found = FALSE;
  if (GetTokenInformation(token, TokenGroups, groups, size, &size) &&
      BuildSid(admins, &nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS)) {
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i) found = EqualSid(groups->Groups[i].Sid, admins);
  }
  std::free(groups);
  return found;
}

LONG WINAPI ProtRegMakeWritableSecurity(LPSECURITY_ATTRIBUTES* block) {
  return MakeSecurity(block, kKeyReadAndSetValue);
}

LONG WINAPI ProtRegMakeReadOnlySecurity(LPSECURITY_ATTRIBUTES* block) { return MakeSecurity(block, kKeyRead); }

LONG WINAPI ProtRegFreeSecurity(LPSECURITY_ATTRIBUTES block) {
  std::free(block);
  return ERROR_SUCCESS;
}

}  // namespace twg
