// The access lists of the log's shared folders on Windows: every user may add
// a file or a folder and read what is there; only a file's owner (and the
// system and the administrators) may change or delete it, or its access list
// or its owner. Wine keeps no access lists of its own (it maps them to the
// file modes and back), so the lists are read as Windows reads them, from
// the descriptor the folders are made with.
#include <windows.h>
// After windows.h, which they need.
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/folder_access.h"
#include "platform/windows/windows_text.h"

using namespace zorvane;

namespace {

// A security descriptor made from its text, freed with it.
class TDescriptor {
 public:
  explicit TDescriptor(const std::wstring& text) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &FSd,
                                                              nullptr))
      FSd = nullptr;
  }
  ~TDescriptor() { LocalFree(FSd); }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;

  bool Valid() const { return FSd != nullptr; }
  const ACL* Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(FSd, &present, &dacl, &defaulted);
    return present ? dacl : nullptr;
  }
  bool Protected() const {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(FSd, &control, &revision);
    return (control & SE_DACL_PROTECTED) != 0;
  }

 private:
  PSECURITY_DESCRIPTOR FSd = nullptr;
};

// What a list allows one well-known group: to the folder itself, and to the
// files and folders made in it (inherited).
struct TGranted {
  ACCESS_MASK Self = 0;
  ACCESS_MASK Files = 0;
  ACCESS_MASK Folders = 0;
};

TGranted GrantedTo(const ACL* dacl, WELL_KNOWN_SID_TYPE group) {
  TGranted granted;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), group))
      continue;
    const BYTE flags = allowed->Header.AceFlags;
    if (!(flags & INHERIT_ONLY_ACE)) granted.Self |= allowed->Mask;
    if (flags & OBJECT_INHERIT_ACE) granted.Files |= allowed->Mask;
    if (flags & CONTAINER_INHERIT_ACE) granted.Folders |= allowed->Mask;
  }
  return granted;
}

// Rights that let a user remove, replace or rewrite what is not theirs.
constexpr ACCESS_MASK kTakingOver =
    DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL | GENERIC_WRITE;
constexpr ACCESS_MASK kWriting =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | kTakingOver;

}  // namespace

TEST(SharedFolderAccessTest, OthersMayAddAndReadButNotTakeOverWhatIsNotTheirs) {
  const TDescriptor shared(kSharedFolderAccess);
  ASSERT_TRUE(shared.Valid()) << Narrow(kSharedFolderAccess);
  const ACL* dacl = shared.Dacl();
  ASSERT_NE(dacl, nullptr);
  // The list of the folder above it does not add to this one.
  EXPECT_TRUE(shared.Protected());
  for (const WELL_KNOWN_SID_TYPE group :
       {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid}) {
    SCOPED_TRACE(group);
    const TGranted granted = GrantedTo(dacl, group);
    EXPECT_EQ(granted.Self & kTakingOver, 0u);
    EXPECT_EQ(granted.Files & kWriting, 0u);
    EXPECT_EQ(granted.Folders & kWriting, 0u);
  }
  const TGranted everyone = GrantedTo(dacl, WinWorldSid);
  const ACCESS_MASK adding =
      FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE | FILE_LIST_DIRECTORY;
  EXPECT_EQ(everyone.Self & adding, adding);
  EXPECT_EQ(everyone.Files & FILE_GENERIC_READ, FILE_GENERIC_READ);
  // What is made in the folder is its creator's in full, and only theirs.
  const TGranted creator = GrantedTo(dacl, WinCreatorOwnerSid);
  EXPECT_EQ(creator.Self, 0u);
  EXPECT_EQ(creator.Files, FILE_ALL_ACCESS);
  EXPECT_EQ(creator.Folders, FILE_ALL_ACCESS);
  for (const WELL_KNOWN_SID_TYPE group : {WinLocalSystemSid, WinBuiltinAdministratorsSid})
    EXPECT_EQ(GrantedTo(dacl, group).Self, FILE_ALL_ACCESS) << group;
  EXPECT_FALSE(GivesOthersTooMuch(dacl));
}

// The lists a folder may have been left with (older versions gave everyone
// full control): those that let other users take over what is not theirs
// are told from those that do not.
TEST(SharedFolderAccessTest, ListsThatLetOthersTakeOverAreTold) {
  const struct {
    const wchar_t* list;
    bool tooMuch;
  } cases[] = {
      {L"D:(A;OICI;FA;;;WD)", true},
      {L"D:(A;OICI;GA;;;BU)", true},
      {L"D:(A;OICIIO;GW;;;AU)", true},
      {L"D:(A;;0x1200af;;;WD)(A;OICI;0x10000;;;WD)", true},  // deleting what is in it
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)", false},
      {L"D:(A;OICI;FR;;;WD)(A;OICI;FA;;;CO)", false},
      {L"D:(D;OICI;FA;;;WD)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.list));
    const TDescriptor descriptor(c.list);
    ASSERT_TRUE(descriptor.Valid());
    EXPECT_EQ(GivesOthersTooMuch(descriptor.Dacl()), c.tooMuch);
  }
}
