#include "platform/files.h"
#include "platform/part_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/system_error.h"

namespace zorvane {

namespace {

// An open descriptor, closed when the owner goes (-1: none).
class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) noexcept : FFd(fd) {}
  ~TDescriptor() {
    // A failed close() is not repeated: the descriptor is gone either way.
    if (FFd >= 0) close(FFd);
  }
  TDescriptor(TDescriptor&& other) noexcept : FFd(other.Release()) {}
  TDescriptor& operator=(TDescriptor&& other) noexcept {
    if (this != &other) {
      if (FFd >= 0) close(FFd);
      FFd = other.Release();
    }
    return *this;
  }
  int Get() const noexcept { return FFd; }
  int Release() noexcept { return std::exchange(FFd, -1); }

 private:
  int FFd;
};

void WriteAll(int fd, std::string_view data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowSystemError(msg::CannotWriteFile(path), n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
}

// Reads from offset (or the current position when offset < 0) until count or the end.
size_t ReadAll(int fd, char* buffer, size_t count, off_t offset, const std::string& error) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = offset < 0 ? read(fd, buffer + done, count - done)
                                 : pread(fd, buffer + done, count - done,
                                         offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSystemError(error, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

TFileInfo InfoOf(const struct stat& st) {
  TFileInfo info;
  info.Kind = S_ISREG(st.st_mode)   ? TFileKind::Regular
              : S_ISDIR(st.st_mode) ? TFileKind::Folder
                                    : TFileKind::Other;
  info.Identity = st.st_ino;
  info.Size = static_cast<uint64_t>(st.st_size);
  info.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.Links = static_cast<unsigned>(st.st_nlink);
  return info;
}

// The most symbolic links followed from one name, as the kernel allows.
constexpr int kMaxLinkHops = 40;

// Puts the text of the symbolic link at path into text; false when path is no link
// (or cannot be read: then whoever opens the name meets the same error).
bool ReadLink(const std::string& path, std::string& text) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    // A full buffer may have cut the text: read again with a larger one.
    if (static_cast<size_t>(n) < buffer.size()) {
      text.assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The folder part of path with its trailing slash ("" for a bare name).
std::string FolderPrefix(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name of the file that path finally stands for: each symbolic link on the way
// is followed (a relative one from the link's own folder) until a name that is not
// a link, which need not exist (a dangling link gives its target's name). Folders
// on the way are left as written.
std::string FinalTarget(const std::string& path) {
  std::string current = path;
  std::string text;
  for (int hops = 0; ReadLink(current, text); ++hops) {
    if (hops == kMaxLinkHops) ThrowSystemError(msg::CannotFollowLink(path), ELOOP);
    // No lexical clean-up of "..": the system resolves it against the real folder.
    current = text.starts_with('/') ? text : FolderPrefix(current) + text;
  }
  return current;
}

// The process's file creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

// Mode of a folder the add-in shares: everyone may create files in it, only a
// file's owner may remove or rename it (the sticky bit).
constexpr mode_t kSharedFolderMode = 01777;
// Mode of a folder of the user's own.
constexpr mode_t kOwnFolderMode = 0700;
// Bits that let users other than the owner add, remove and rename names in a folder.
constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

[[noreturn]] void ThrowFolderError(const std::string& path, int errnum) {
  ThrowSystemError(msg::CannotCreateFolder(path), errnum);
}

// Whether users other than its owner may remove or rename what is not theirs in the folder.
bool OthersRearrange(const struct stat& st) {
  return (st.st_mode & kOthersWrite) != 0 && (st.st_mode & S_ISVTX) == 0;
}

// An existing folder of sub (name within the folder at, shown as path), as
// fstat saw it: it must belong to this user, or (shared) to root, and no
// other user may rearrange what is in it. One of this user's own that an
// older version left open to all without the sticky bit, or (own) open to
// others at all, is mended.
void RequireFolderOfItsOwn(int at, const std::string& name, const std::string& path,
                           const struct stat& st, TFolder::TAccess access) {
  const bool shared = access == TFolder::TAccess::Shared;
  const bool mine = st.st_uid == geteuid();
  if (!mine && !(shared && st.st_uid == 0))
    throw Error(msg::WithReason(msg::CannotUseFolder(path), msg::kOwnedByAnotherUser));
  if (shared ? !OthersRearrange(st) : (st.st_mode & kOthersWrite) == 0) return;
  const std::string refused = msg::WithReason(msg::CannotUseFolder(path), msg::kOthersMayReplace);
  if (!mine) throw Error(refused);
  const mode_t mode = st.st_mode & 07777;
  const mode_t mended = shared ? mode | S_ISVTX : mode & ~kOthersWrite;
  // The same folder once more, with the right to change its mode.
  const TDescriptor own(openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat again {};
  if (own.Get() < 0 || fstat(own.Get(), &again) != 0 || again.st_dev != st.st_dev ||
      again.st_ino != st.st_ino || fchmod(own.Get(), mended) != 0)
    throw Error(refused);
}

// The folder name within the folder at (shown as path), created when missing
// (open to all users in a shared place, private in an own one). A folder of
// sub is never reached through a symbolic link and must be of its own; those
// of root are followed as the system resolves them.
TDescriptor OpenStep(int at, const std::string& name, const std::string& path, bool ofSub,
                     TFolder::TAccess access) {
  // Private until the mode below is set on the very folder made here.
  const bool created = mkdirat(at, name.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) ThrowFolderError(path, errno);
  const int nofollow = ofSub || created ? O_NOFOLLOW : 0;
  // O_PATH needs no read right on an existing folder, only the right to pass through it.
  TDescriptor folder(
      openat(at, name.c_str(), (created ? O_RDONLY : O_PATH) | O_DIRECTORY | nofollow | O_CLOEXEC));
  if (folder.Get() < 0) ThrowFolderError(path, errno);
  struct stat st {};
  if (fstat(folder.Get(), &st) != 0) ThrowFolderError(path, errno);
  if (!S_ISDIR(st.st_mode)) ThrowFolderError(path, ENOTDIR);
  if (created) {
    const bool shared = access == TFolder::TAccess::Shared;
    if (fchmod(folder.Get(), shared ? kSharedFolderMode : kOwnFolderMode) != 0)
      ThrowSystemError(shared ? msg::CannotShareFolder(path) : msg::CannotOpenFolder(path), errno);
  } else if (ofSub) {
    RequireFolderOfItsOwn(at, name, path, st, access);
  }
  return folder;
}

}  // namespace

TFileInfo FileInfoOf(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return {};
  return InfoOf(st);
}

std::vector<std::string> ListFolder(const std::string& folder, TFileKind kind, size_t max) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        InfoOf(st).Kind != kind)
      continue;
    if (names.size() >= max) break;
    names.push_back(name);
  }
  closedir(dir);
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  const TDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError(msg::CannotOpenFile(path), errno);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const size_t n = ReadAll(fd.Get(), buffer, sizeof buffer, -1, msg::CannotReadFile(path));
    bytes.append(buffer, n);
    if (n < sizeof buffer) return bytes;
  }
}

void WritePrivateFile(const std::string& path, std::string_view bytes) {
  const TDescriptor fd(
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.Get() < 0) ThrowSystemError(msg::CannotCreateFile(path), errno);
  WriteAll(fd.Get(), bytes, path);
}

std::string ReadSingleFileTail(const std::string& path, size_t maxBytes, TFileInfo& info,
                               bool& cut) {
  const TDescriptor fd(
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError(msg::CannotOpenSmallFile(path), errno);
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) ThrowSystemError(msg::CannotReadSmallFile(path), errno);
  if (!S_ISREG(st.st_mode)) throw Error(msg::NotRegularFile(path));
  if (st.st_nlink != 1) throw Error(msg::FileHasOtherNames(path));
  info = InfoOf(st);
  cut = st.st_size > static_cast<off_t>(maxBytes);
  const off_t from = cut ? st.st_size - static_cast<off_t>(maxBytes) : 0;
  std::string bytes(std::min(static_cast<size_t>(st.st_size), maxBytes), '\0');
  bytes.resize(ReadAll(fd.Get(), bytes.data(), bytes.size(), from, msg::CannotReadSmallFile(path)));
  return bytes;
}

void ReplaceFileContents(const std::string& name, std::string_view bytes) {
  // A name that is a symbolic link keeps being one: the file it leads to gets the bytes.
  const std::string target = FinalTarget(name);
  const std::string shown = target == name ? msg::Quoted(name) : msg::FileThroughLink(target, name);
  // Written beside the target, then put in its place in one step.
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  std::string temp = folder + "/.zorvane-photo-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) ThrowSystemError(msg::CannotCreateFileShown(shown), errno);
  struct stat existing {};
  fchmod(fd, stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                  : (0666 & ~CurrentUmask()));
  bool closed = false;
  try {
    WriteAll(fd, bytes, target);
    if (fsync(fd) != 0) ThrowSystemError(msg::CannotWriteFileShown(shown), errno);
    // close() is not repeated after a failure: the descriptor is gone either way.
    closed = true;
    if (close(fd) != 0) ThrowSystemError(msg::CannotWriteFileShown(shown), errno);
  } catch (...) {
    if (!closed) close(fd);
    unlink(temp.c_str());
    throw;
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    ThrowSystemError(msg::CannotCreateFileShown(shown), error);
  }
}

std::string TemporaryFolder() {
  // A relative TMPDIR would make names depend on the process's current
  // folder: only an absolute one is taken.
  const char* tmp = std::getenv("TMPDIR");
  std::string root = tmp && *tmp == '/' ? tmp : "/tmp";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string PrivateTemporaryFolder() {
  char* resolved = realpath(TemporaryFolder().c_str(), nullptr);
  if (!resolved) return {};
  const std::string folder = resolved;
  free(resolved);
  // From the folder up to the root: nobody but this user and root may move a
  // folder on the way, or what is made in the last one.
  for (std::string at = folder;;) {
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    if ((st.st_uid != geteuid() && st.st_uid != 0) || OthersRearrange(st)) return {};
    if (at == "/") return folder;
    const size_t slash = at.find_last_of('/');
    at = slash == 0 ? "/" : at.substr(0, slash);
  }
}

void CreatePrivateFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      ThrowSystemError(msg::CannotCreateFolder(part), errno);
    if (slash == std::string::npos) break;
  }
}

bool CreatePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) return true;
  if (errno == EEXIST) return false;
  ThrowSystemError(msg::CannotCreateFolder(path), errno);
}

void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* name, const struct stat*, int type, FTW*) {
        if (type == FTW_DP) {
          rmdir(name);
        } else {
          unlink(name);
        }
        return 0;
      },
      16, FTW_DEPTH | FTW_PHYS);
}

TFolder::TFolder(const std::string& root, const std::string& sub, TAccess access)
    : FHandle(-1), FPath(root + sub + "/"), FAccess(access) {
  // Walked and created through descriptors, so that a name swapped on the
  // way cannot lead the add-in into a place it did not mean.
  const bool absolute = root.starts_with('/');
  std::string path(absolute ? 1 : 0, '/');
  TDescriptor current;
  if (absolute) {
    current = TDescriptor(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.Get() < 0) ThrowFolderError("/", errno);
  }
  const auto walk = [&](const std::string& text, bool ofSub) {
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('/', pos);
      if (end == std::string::npos) end = text.size();
      const std::string name = text.substr(pos, end - pos);
      pos = end + 1;
      if (name.empty()) continue;
      if (!path.empty() && !path.ends_with('/')) path += '/';
      path += name;
      current = OpenStep(current.Get() >= 0 ? current.Get() : AT_FDCWD, name, path, ofSub, access);
    }
  };
  walk(root, false);
  walk(sub, true);
  if (current.Get() < 0) {
    current = TDescriptor(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.Get() < 0) ThrowFolderError(".", errno);
  }
  FHandle = current.Release();
}

TFolder::~TFolder() {
  if (FHandle >= 0) close(static_cast<int>(FHandle));
}

void TFile::Close() noexcept {
  if (FHandle >= 0) close(static_cast<int>(FHandle));
  FHandle = -1;
}

TFile TFile::OpenToRead(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowSystemError(msg::CannotOpenFile(path), errno);
  // Readers share the file; a writer has it alone among those who ask.
  flock(fd, LOCK_SH);
  return TFile(fd, path);
}

TFile TFile::CreateToWrite(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowSystemError(msg::CannotCreateFile(path), errno);
  flock(fd, LOCK_EX);
  return TFile(fd, path);
}

// A shared folder is open to every user of the machine, so whatever stands
// under the name may have been put there by someone else: a symbolic link is
// not followed, a FIFO does not block the open, and only a plain file of this
// user's with no other name is written to (O_APPEND keeps each write at the end).
TFile TFile::OpenToAppend(const TFolder& folder, const std::string& name, bool create) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  // Readable by all in a shared folder, by this user alone in an own one;
  // written by this user alone, whatever the umask.
  const mode_t mode = folder.Access() == TFolder::TAccess::Shared ? 0644 : 0600;
  const int at = static_cast<int>(folder.FHandle);
  const std::string path = folder.Path() + name;
  for (int attempt = 0;; ++attempt) {
    TDescriptor fd(create ? openat(at, name.c_str(), kFlags | O_CREAT | O_EXCL, mode) : -1);
    if (fd.Get() >= 0) {
      fchmod(fd.Get(), mode);
      return TFile(fd.Release(), path);
    }
    // A file there already: opened without O_CREAT (which the system refuses
    // on another user's file in a folder with the sticky bit, with no reason
    // given), then looked at.
    if (!create || errno == EEXIST) fd = TDescriptor(openat(at, name.c_str(), kFlags));
    if (fd.Get() >= 0) {
      struct stat st {};
      if (fstat(fd.Get(), &st) != 0) ThrowSystemError(msg::CannotOpenFile(path), errno);
      if (!S_ISREG(st.st_mode))
        throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kNotRegularFile));
      if (st.st_nlink != 1)
        throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kHasOtherNames));
      if (st.st_uid != geteuid())
        throw Error(msg::WithReason(msg::CannotOpenFile(path), msg::kFileOwnedByAnotherUser));
      return TFile(fd.Release(), path);
    }
    if (!create && errno == ENOENT) return TFile();
    // Removed between the two opens: try again.
    if (errno != ENOENT || attempt == 3) ThrowSystemError(msg::CannotOpenFile(path), errno);
  }
}

TFile::TLock TFile::TryLock() {
  for (;;) {
    if (flock(static_cast<int>(FHandle), LOCK_EX | LOCK_NB) == 0) return TLock::Taken;
    if (errno == EINTR) continue;
    // A file system without these locks.
    return errno == EWOULDBLOCK ? TLock::Busy : TLock::Unsupported;
  }
}

size_t TFile::Read(char* buffer, size_t count) {
  return ReadAll(static_cast<int>(FHandle), buffer, count, -1, msg::CannotReadFile(FPath));
}

void TFile::Write(std::string_view bytes) {
  WriteAll(static_cast<int>(FHandle), bytes, FPath);
}

std::string FileLinkTarget(const std::string& name) { return FinalTarget(name); }

// Parts of one target tried before giving up: "<target>.part", then
// "<target>.2.part" and on, each left by a recording that was cut off.
constexpr int kMaxPartNames = 100;

TPartFile::TPartFile(const std::string& name)
    : FName(name), FTargetName(FinalTarget(name)) {
  struct stat existing {};
  const mode_t mode = stat(FTargetName.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                                : (0666 & ~CurrentUmask());
  for (int n = 1;; ++n) {
    FPartName = FTargetName + (n == 1 ? "" : "." + std::to_string(n)) + ".part";
    const int fd = open(FPartName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        0600);
    if (fd >= 0) {
      fchmod(fd, mode);
      FHandle = fd;
      return;
    }
    if (errno != EEXIST || n == kMaxPartNames)
      ThrowSystemError(msg::CannotCreateFile(FPartName), errno);
  }
}

void TPartFile::Write(std::string_view bytes) {
  WriteAll(static_cast<int>(FHandle), bytes, FPartName);
}

int64_t TPartFile::Seek(int64_t offset, int whence) {
  const off_t at = lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), whence);
  if (at < 0) ThrowSystemError(msg::CannotSeekInFile(FPartName), errno);
  return at;
}

uint64_t TPartFile::Size() const {
  struct stat st {};
  return fstat(static_cast<int>(FHandle), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void TPartFile::Commit() {
  const int fd = static_cast<int>(std::exchange(FHandle, -1));
  // close() is not repeated after a failure: the descriptor is gone either way.
  const bool synced = fsync(fd) == 0;
  const int syncError = errno;
  if (close(fd) != 0 || !synced)
    ThrowSystemError(msg::CannotWriteFile(FPartName), synced ? errno : syncError);
  if (rename(FPartName.c_str(), FTargetName.c_str()) != 0)
    ThrowSystemError(msg::CannotPutFileInPlace(FPartName, Shown()), errno);
}

void TPartFile::Discard() noexcept {
  if (!IsOpen()) return;
  Close();
  unlink(FPartName.c_str());
}

void TPartFile::Close() noexcept {
  if (FHandle != -1) close(static_cast<int>(std::exchange(FHandle, -1)));
}

}  // namespace zorvane
