#include "platform/windows/folder_access.h"

namespace zorvane {

namespace {

// What the groups of all users may do in a shared folder, at most: list, add
// files and folders, read, pass through (0x1200af below).
constexpr ACCESS_MASK kOthersSharedRights = FILE_LIST_DIRECTORY | FILE_ADD_FILE |
                                            FILE_ADD_SUBDIRECTORY | FILE_READ_EA | FILE_TRAVERSE |
                                            FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

bool IsAllUsers(PSID sid) {
  return IsWellKnownSid(sid, WinWorldSid) || IsWellKnownSid(sid, WinBuiltinUsersSid) ||
         IsWellKnownSid(sid, WinAuthenticatedUserSid);
}

}  // namespace

const wchar_t kSharedFolderAccess[] =
    L"D:P(A;;0x1200af;;;WD)(A;OICIIO;FA;;;CO)(A;OIIO;FR;;;WD)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool GivesOthersTooMuch(const ACL* dacl) {
  if (!dacl) return true;
  ACL* list = const_cast<ACL*>(dacl);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(list, i, &ace)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    // Within what the folder's own list grants, whether to the folder or to what is made in it.
    if (IsAllUsers(const_cast<DWORD*>(&allowed->SidStart)) &&
        (allowed->Mask & ~kOthersSharedRights) != 0)
      return true;
  }
  return false;
}

}  // namespace zorvane
