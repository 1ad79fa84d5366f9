#include "platform/files.h"
#include "platform/part_file.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "platform/crypto.h"
#include "platform/messages.h"
#include "platform/windows/folder_access.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

[[noreturn]] void ThrowLastError(const std::string& what, DWORD code = GetLastError()) {
  throw Error(what + ": " + WindowsErrorText(code));
}

// A handle closed when the owner goes.
class THandle {
 public:
  explicit THandle(HANDLE handle = INVALID_HANDLE_VALUE) noexcept : FHandle(handle) {}
  ~THandle() {
    if (IsOpen()) CloseHandle(FHandle);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(THandle&& other) noexcept {
    if (this != &other) {
      if (IsOpen()) CloseHandle(FHandle);
      FHandle = other.Release();
    }
    return *this;
  }
  bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  HANDLE Release() { return std::exchange(FHandle, INVALID_HANDLE_VALUE); }

 private:
  HANDLE FHandle;
};

HANDLE AsHandle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The wide name for the file functions. A long one goes as the full name in
// the "\\?\" form, which has no length limit (nor "/" or ".." of its own).
std::wstring FileName(const std::string& path) {
  std::wstring wide = Wide(path);
  if (wide.size() < 240 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size()) return wide;
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The system's own name of an open file or folder, without the "\\?\" form.
std::wstring FinalName(HANDLE handle) {
  std::wstring name(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                            FILE_NAME_NORMALIZED);
  if (n == 0 || n >= name.size()) return {};
  name.resize(n);
  if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + name.substr(8);
  if (name.rfind(L"\\\\?\\", 0) == 0) return name.substr(4);
  return name;
}

// Whether two names of the system are the same, as NTFS compares them.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Opens the name itself: a link (reparse point) is opened as a link, a
// folder as a folder, with no right beyond reading its attributes.
THandle OpenName(const std::string& path, DWORD access = FILE_READ_ATTRIBUTES) {
  return THandle(CreateFileW(FileName(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

TFileInfo InfoOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION data{};
  if (!GetFileInformationByHandle(handle, &data)) return {};
  TFileInfo info;
  const DWORD a = data.dwFileAttributes;
  info.Kind = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? TFileKind::Other
              : (a & FILE_ATTRIBUTE_DIRECTORY)   ? TFileKind::Folder
              : GetFileType(handle) == FILE_TYPE_DISK ? TFileKind::Regular
                                                      : TFileKind::Other;
  info.Identity = (uint64_t{data.nFileIndexHigh} << 32) | data.nFileIndexLow;
  info.Size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  // FILETIME counts 100 ns from 1601.
  const uint64_t ticks =
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  info.ModifiedNs = (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
  info.Links = data.nNumberOfLinks;
  return info;
}

void WriteAll(HANDLE handle, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, data.data(), piece, &written, nullptr) || written == 0)
      ThrowLastError(msg::CannotWriteFile(path));
    data.remove_prefix(written);
  }
}

size_t ReadAll(HANDLE handle, char* buffer, size_t count, const std::string& error) {
  size_t done = 0;
  while (done < count) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(handle, buffer + done, piece, &n, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      ThrowLastError(error);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

// The byte every writer of a file locks: far beyond any real content, so
// that the lock keeps other writers out without keeping readers from the text.
constexpr DWORD kLockOffsetHigh = 0x40000000;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Where the folders of path begin after its root ("C:/", "//server/share/", "/").
size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\ or \\?\C:\ .
    size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// The security identifier in a token's information block of the given class.
std::vector<BYTE> TokenSid(HANDLE token, TOKEN_INFORMATION_CLASS what) {
  DWORD size = 0;
  GetTokenInformation(token, what, nullptr, 0, &size);
  std::vector<BYTE> block(size);
  if (size == 0 || !GetTokenInformation(token, what, block.data(), size, &size)) return {};
  // TOKEN_USER and TOKEN_OWNER both begin with the identifier's address.
  const PSID sid = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(block.data())->Owner;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// This process's user and the owner it gives what it makes (the
// administrators, for an administrator's elevated process).
struct TProcessOwners {
  std::vector<BYTE> User, Owner;
};

const TProcessOwners& ProcessOwners() {
  static const TProcessOwners owners = [] {
    TProcessOwners found;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      found.User = TokenSid(token, TokenUser);
      found.Owner = TokenSid(token, TokenOwner);
      CloseHandle(token);
    }
    return found;
  }();
  return owners;
}

bool IsSid(PSID sid, const std::vector<BYTE>& other) {
  return !other.empty() && EqualSid(sid, const_cast<BYTE*>(other.data()));
}

enum class TOwner { ThisUser, System, Other };

// Who owns the open file or folder (opened with READ_CONTROL).
TOwner OwnerOf(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS)
    return TOwner::Other;
  const TProcessOwners& process = ProcessOwners();
  const TOwner found = IsSid(owner, process.User) || IsSid(owner, process.Owner) ? TOwner::ThisUser
                       : IsWellKnownSid(owner, WinLocalSystemSid) ||
                               IsWellKnownSid(owner, WinBuiltinAdministratorsSid)
                           ? TOwner::System
                           : TOwner::Other;
  LocalFree(sd);
  return found;
}

// Whether the open folder's access list lets other users take over what is in it.
bool FolderGivesOthersTooMuch(HANDLE folder) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &sd) != ERROR_SUCCESS)
    return true;
  const bool tooMuch = GivesOthersTooMuch(dacl);
  LocalFree(sd);
  return tooMuch;
}

// Gives a shared folder of this user's, made by an older version, the access
// list of a new one (the system passes it on to what is in it).
bool MendSharedFolder(const std::string& path, PSECURITY_DESCRIPTOR shared) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(shared, &present, &dacl, &defaulted) || !present) return false;
  const THandle folder = OpenName(path, READ_CONTROL | WRITE_DAC);
  return folder.IsOpen() &&
         SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                         nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// A folder of sub, as found (not made) on the way: a folder of its own (no
// link or junction) that belongs to this user or the system; a shared one
// must not let other users take over what is in it, and is mended when it is
// this user's.
void RequireFolderOfItsOwn(const std::string& path, bool created,
                           PSECURITY_DESCRIPTOR sharedAccess) {
  const THandle folder = OpenName(path, FILE_READ_ATTRIBUTES | READ_CONTROL);
  if (InfoOf(folder.Get()).Kind != TFileKind::Folder)
    throw Error(msg::WithReason(msg::CannotCreateFolder(path), msg::kNotFolderOfItsOwn));
  if (created) return;
  const TOwner owner = OwnerOf(folder.Get());
  if (owner == TOwner::Other)
    throw Error(msg::WithReason(msg::CannotUseFolder(path), msg::kOwnedByAnotherUser));
  if (!sharedAccess || !FolderGivesOthersTooMuch(folder.Get())) return;
  if (owner != TOwner::ThisUser || !MendSharedFolder(path, sharedAccess))
    throw Error(msg::WithReason(msg::CannotUseFolder(path), msg::kOthersMayReplace));
}

// Every folder on the way to path created when missing, each with
// attributes; those after subFrom (the folders of sub) checked as above.
void CreateFoldersWith(const std::string& path, SECURITY_ATTRIBUTES* attributes,
                       size_t subFrom = std::string::npos,
                       PSECURITY_DESCRIPTOR sharedAccess = nullptr) {
  for (size_t at = RootLength(path); at <= path.size(); ++at) {
    if (at != path.size() && !IsSeparator(path[at])) continue;
    const std::string part = path.substr(0, at);
    if (part.empty() || IsSeparator(part.back()) || part.back() == ':') continue;
    const bool created = CreateDirectoryW(FileName(part).c_str(), attributes) != 0;
    if (!created && GetLastError() != ERROR_ALREADY_EXISTS)
      ThrowLastError(msg::CannotCreateFolder(part));
    if (at > subFrom) RequireFolderOfItsOwn(part, created, sharedAccess);
  }
}

}  // namespace

TFileInfo FileInfoOf(const std::string& path) {
  const THandle handle = OpenName(path);
  return handle.IsOpen() ? InfoOf(handle.Get()) : TFileInfo{};
}

std::vector<std::string> ListFolder(const std::string& folder, TFileKind kind, size_t max) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry{};
  const HANDLE find = FindFirstFileExW(FileName(folder + "\\*").c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return names;
  const std::unique_ptr<void, decltype(&FindClose)> closer(find, &FindClose);
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD a = entry.dwFileAttributes;
    const TFileKind found = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? TFileKind::Other
                            : (a & FILE_ATTRIBUTE_DIRECTORY)   ? TFileKind::Folder
                                                               : TFileKind::Regular;
    if (found != kind) continue;
    if (names.size() >= max) break;
    names.push_back(Narrow(name));
  } while (FindNextFileW(find, &entry));
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  const THandle handle(CreateFileW(FileName(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.IsOpen()) ThrowLastError(msg::CannotOpenFile(path));
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const size_t n = ReadAll(handle.Get(), buffer, sizeof buffer, msg::CannotReadFile(path));
    bytes.append(buffer, n);
    if (n < sizeof buffer) return bytes;
  }
}

void WritePrivateFile(const std::string& path, std::string_view bytes) {
  // The folder is the user's own temporary one: its access list is private.
  const THandle handle(CreateFileW(FileName(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.IsOpen()) ThrowLastError(msg::CannotCreateFile(path));
  WriteAll(handle.Get(), bytes, path);
}

std::string ReadSingleFileTail(const std::string& path, size_t maxBytes, TFileInfo& info,
                               bool& cut) {
  const THandle handle(CreateFileW(FileName(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.IsOpen()) ThrowLastError(msg::CannotOpenSmallFile(path));
  info = InfoOf(handle.Get());
  if (info.Kind != TFileKind::Regular) throw Error(msg::NotRegularFile(path));
  if (info.Links != 1) throw Error(msg::FileHasOtherNames(path));
  cut = info.Size > maxBytes;
  LARGE_INTEGER from{};
  from.QuadPart = cut ? static_cast<LONGLONG>(info.Size - maxBytes) : 0;
  if (!SetFilePointerEx(handle.Get(), from, nullptr, FILE_BEGIN))
    ThrowLastError(msg::CannotReadSmallFile(path));
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(info.Size, maxBytes)), '\0');
  bytes.resize(ReadAll(handle.Get(), bytes.data(), bytes.size(), msg::CannotReadSmallFile(path)));
  return bytes;
}

void ReplaceFileContents(const std::string& name, std::string_view bytes) {
  // A name that is a link keeps being one: the file it leads to gets the
  // bytes. The final name of an existing file is the system's to tell.
  std::string target = name;
  if (FileInfoOf(name).Kind == TFileKind::Other) {
    const THandle existing(CreateFileW(FileName(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (existing.IsOpen()) {
      const std::wstring final = FinalName(existing.Get());
      if (!final.empty()) target = Narrow(final);
    }
  }
  const std::string shown = target == name ? msg::Quoted(name) : msg::FileThroughLink(target, name);
  // Written beside the target, then put in its place in one step.
  const size_t slash = target.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  std::string temp;
  THandle file;
  for (int attempt = 0; !file.IsOpen(); ++attempt) {
    unsigned char random[6];
    RandomBytes(random, sizeof random);
    temp = folder + "\\.zorvane-photo-" +
           LowerHex(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
    file = THandle(CreateFileW(FileName(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.IsOpen() && (GetLastError() != ERROR_FILE_EXISTS || attempt == 9))
      ThrowLastError(msg::CannotCreateFileShown(shown));
  }
  const std::wstring tempName = FileName(temp);
  const std::wstring targetName = FileName(target);
  const auto discard = [&] {
    SetFileAttributesW(tempName.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(tempName.c_str());
  };
  try {
    WriteAll(file.Get(), bytes, target);
    if (!FlushFileBuffers(file.Get())) ThrowLastError(msg::CannotWriteFileShown(shown));
  } catch (...) {
    CloseHandle(file.Release());
    discard();
    throw;
  }
  CloseHandle(file.Release());
  // The new file takes the old one's attributes, read-only included, once
  // it stands in its place; a read-only old file is replaced all the same,
  // as a rename replaces one on Linux.
  const DWORD old = GetFileAttributesW(targetName.c_str());
  const DWORD kept = old == INVALID_FILE_ATTRIBUTES
                         ? FILE_ATTRIBUTE_NORMAL
                         : (old & ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY)) |
                               FILE_ATTRIBUTE_ARCHIVE;
  SetFileAttributesW(tempName.c_str(), kept & ~FILE_ATTRIBUTE_READONLY);
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(targetName.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
  // A scanner or an indexer may hold the old file for a moment.
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (MoveFileExW(tempName.c_str(), targetName.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
    Sleep(100);
  }
  if (error != ERROR_SUCCESS) {
    discard();
    if (old != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(targetName.c_str(), old);
    ThrowLastError(msg::CannotCreateFileShown(shown), error);
  }
  if (kept & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(targetName.c_str(), kept);
}

std::string PrivateTemporaryFolder() {
  // The user's own temporary folder: the profile gives it an access list of its own.
  const std::string folder = TemporaryFolder();
  CreatePrivateFolders(folder);
  return folder;
}

std::string TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  std::string root = n > 0 && n <= MAX_PATH + 1 ? Narrow(std::wstring_view(buffer, n)) : "C:\\Windows\\Temp";
  while (root.size() > 3 && IsSeparator(root.back())) root.pop_back();
  return root;
}

void CreatePrivateFolders(const std::string& path) {
  CreateFoldersWith(path, nullptr);
}

bool CreatePrivateFolder(const std::string& path) {
  if (CreateDirectoryW(FileName(path).c_str(), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
  ThrowLastError(msg::CannotCreateFolder(path));
}

void RemoveTree(const std::string& path) {
  const std::wstring wide = FileName(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    for (TFileKind kind : {TFileKind::Folder, TFileKind::Regular, TFileKind::Other})
      for (const std::string& name : ListFolder(path, kind)) RemoveTree(path + "/" + name);
    RemoveDirectoryW(wide.c_str());
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    RemoveDirectoryW(wide.c_str());  // a link to a folder: the link goes
  } else {
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(wide.c_str());
  }
}

TFolder::TFolder(const std::string& root, const std::string& sub, TAccess access)
    : FHandle(-1), FPath(root + sub + "\\"), FAccess(access) {
  std::replace(FPath.begin(), FPath.end(), '/', '\\');
  // Shared folders made here get the shared access list; own ones inherit
  // that of the user's own folder they are made in.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (access == TAccess::Shared && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                       kSharedFolderAccess, SDDL_REVISION_1, &descriptor, nullptr))
    ThrowLastError(msg::CannotShareFolder(FPath));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  try {
    CreateFoldersWith(FPath, descriptor ? &attributes : nullptr, root.size(), descriptor);
  } catch (...) {
    LocalFree(descriptor);
    throw;
  }
  LocalFree(descriptor);
  // The last folder is held open while the add-in writes in it: a folder
  // with an open handle inside it can be neither renamed nor removed, nor
  // any folder above it. It must be where it was made, not behind a link or
  // junction planted on the way: its name as the system tells it must be
  // root's own name followed by sub.
  std::string folder = FPath;
  folder.pop_back();
  THandle held(CreateFileW(FileName(folder).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held.IsOpen()) ThrowLastError(msg::CannotOpenFolder(folder));
  const THandle base(CreateFileW(FileName(root.empty() ? "." : root).c_str(), FILE_READ_ATTRIBUTES,
                                 kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr));
  std::wstring expected = base.IsOpen() ? FinalName(base.Get()) : std::wstring();
  std::wstring tail = Wide(sub);
  std::replace(tail.begin(), tail.end(), L'/', L'\\');
  while (!tail.empty() && tail.front() == L'\\') tail.erase(0, 1);
  if (!expected.empty() && expected.back() != L'\\') expected += L'\\';
  expected += tail;
  if (InfoOf(held.Get()).Kind != TFileKind::Folder || expected.empty() ||
      !SameName(FinalName(held.Get()), expected))
    throw Error(msg::WithReason(msg::CannotOpenFolder(folder), msg::kNotFolderOfItsOwn));
  FHandle = reinterpret_cast<intptr_t>(held.Release());
}

TFolder::~TFolder() {
  if (FHandle != -1) CloseHandle(AsHandle(FHandle));
}

void TFile::Close() noexcept {
  if (FHandle != -1) CloseHandle(AsHandle(FHandle));
  FHandle = -1;
}

namespace {

// Opens with CreateFileW; a file another process holds against this use is
// waited for a while, as a lock would be.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  for (int attempt = 0;; ++attempt) {
    const HANDLE handle = CreateFileW(FileName(path).c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
        attempt == 100)
      return handle;
    Sleep(50);
  }
}

}  // namespace

TFile TFile::OpenToRead(const std::string& path) {
  // Readers share the file; a writer has it alone.
  const HANDLE handle = OpenShared(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) ThrowLastError(msg::CannotOpenFile(path));
  return TFile(reinterpret_cast<intptr_t>(handle), path);
}

TFile TFile::CreateToWrite(const std::string& path) {
  const HANDLE handle = OpenShared(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) ThrowLastError(msg::CannotCreateFile(path));
  return TFile(reinterpret_cast<intptr_t>(handle), path);
}

TFile TFile::OpenToAppend(const TFolder& folder, const std::string& name, bool create) {
  const std::string path = folder.Path() + name;
  // Appending only: every write lands at the end. A link is opened as a link
  // and refused below, never written through. A new file takes its access
  // list from the folder: its owner's alone to write.
  THandle handle(CreateFileW(
      FileName(path).c_str(),
      FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
      kShareAll, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.IsOpen()) {
    if (!create && GetLastError() == ERROR_FILE_NOT_FOUND) return TFile();
    ThrowLastError(msg::CannotOpenFile(path));
  }
  const TFileInfo info = InfoOf(handle.Get());
  if (info.Kind != TFileKind::Regular)
    throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kNotRegularFile));
  if (info.Links != 1) throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kHasOtherNames));
  if (OwnerOf(handle.Get()) != TOwner::ThisUser)
    throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kFileOwnedByAnotherUser));
  return TFile(reinterpret_cast<intptr_t>(handle.Release()), path);
}

TFile::TLock TFile::TryLock() {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  if (LockFileEx(AsHandle(FHandle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &at))
    return TLock::Taken;
  const DWORD error = GetLastError();
  return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? TLock::Busy
                                                                    : TLock::Unsupported;
}

size_t TFile::Read(char* buffer, size_t count) {
  return ReadAll(AsHandle(FHandle), buffer, count, msg::CannotReadFile(FPath));
}

void TFile::Write(std::string_view bytes) {
  WriteAll(AsHandle(FHandle), bytes, FPath);
}

std::string FileLinkTarget(const std::string& name) {
  // The final name of an existing file is the system's to tell.
  if (FileInfoOf(name).Kind != TFileKind::Other) return name;
  const THandle existing(CreateFileW(FileName(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!existing.IsOpen()) return name;
  const std::wstring final = FinalName(existing.Get());
  return final.empty() ? name : Narrow(final);
}

// Parts of one target tried before giving up: "<target>.part", then
// "<target>.2.part" and on, each left by a recording that was cut off.
constexpr int kMaxPartNames = 100;

TPartFile::TPartFile(const std::string& name) : FName(name), FTargetName(FileLinkTarget(name)) {
  for (int n = 1;; ++n) {
    FPartName = FTargetName + (n == 1 ? "" : "." + std::to_string(n)) + ".part";
    // Readers may look at the part while it grows.
    const HANDLE handle = CreateFileW(FileName(FPartName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      FHandle = reinterpret_cast<intptr_t>(handle);
      return;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || n == kMaxPartNames)
      ThrowLastError(msg::CannotCreateFile(FPartName), error);
  }
}

void TPartFile::Write(std::string_view bytes) {
  WriteAll(reinterpret_cast<HANDLE>(FHandle), bytes, FPartName);
}

int64_t TPartFile::Seek(int64_t offset, int whence) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER at;
  const DWORD method = whence == SEEK_SET ? FILE_BEGIN : whence == SEEK_CUR ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(FHandle), distance, &at, method))
    ThrowLastError(msg::CannotSeekInFile(FPartName));
  return at.QuadPart;
}

uint64_t TPartFile::Size() const {
  LARGE_INTEGER size;
  return GetFileSizeEx(reinterpret_cast<HANDLE>(FHandle), &size) ? size.QuadPart : 0;
}

void TPartFile::Commit() {
  THandle file(reinterpret_cast<HANDLE>(std::exchange(FHandle, -1)));
  if (!FlushFileBuffers(file.Get())) ThrowLastError(msg::CannotWriteFile(FPartName));
  CloseHandle(file.Release());
  if (!MoveFileExW(FileName(FPartName).c_str(), FileName(FTargetName).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError(msg::CannotPutFileInPlace(FPartName, Shown()));
}

void TPartFile::Discard() noexcept {
  if (!IsOpen()) return;
  Close();
  DeleteFileW(FileName(FPartName).c_str());
}

void TPartFile::Close() noexcept {
  if (FHandle != -1) CloseHandle(reinterpret_cast<HANDLE>(std::exchange(FHandle, -1)));
}

}  // namespace zorvane
