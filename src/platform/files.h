// Files and folders as the add-in uses them. Names are UTF-8 on every system
// (wide names on Windows, converted here); "/" joins the parts of a name on
// both. Failures throw Error with the system's reason and the name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorvane {

// What a name stands for, the name itself (a link is not followed).
enum class TFileKind { Missing, Regular, Folder, Other };

struct TFileInfo {
  TFileKind Kind = TFileKind::Missing;
  uint64_t Identity = 0;    // the file itself, whatever its names (inode, file index)
  uint64_t Size = 0;
  int64_t ModifiedNs = 0;   // last write, since 1970
  unsigned Links = 0;       // how many names the file has
  bool operator==(const TFileInfo&) const = default;
};

// Missing when the name cannot be looked at.
TFileInfo FileInfoOf(const std::string& path);

// The names in folder of entries of that kind (links not followed), in the
// folder's own order, at most max of them; none when the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& folder, TFileKind kind,
                                    size_t max = SIZE_MAX);

// The whole file.
std::string ReadWholeFile(const std::string& path);

// Creates (or empties) path for this user only, not through a link, with bytes.
void WritePrivateFile(const std::string& path, std::string_view bytes);

// The last maxBytes of a file that is regular and has only this one name (in
// a folder every user may write to, a link, a FIFO or a second name may have
// been planted); info tells the file read, cut whether bytes were left out.
// The messages are the log viewer's: "Не обычный файл: …" and the like.
std::string ReadSingleFileTail(const std::string& path, size_t maxBytes, TFileInfo& info,
                               bool& cut);

// Writes bytes as the new contents of the file name stands for: beside it
// under a temporary name, flushed to the disk, then put in its place in one
// step, so that a reader sees the old file or the new one, never a part. A
// name that is a link stays a link: the file it leads to is replaced. The
// file keeps its permissions; a new one gets the usual ones.
void ReplaceFileContents(const std::string& name, std::string_view bytes);

// The file a name stands for: the final target of its links, else the name.
std::string FileLinkTarget(const std::string& name);

// The folder for temporary files, without a trailing separator.
std::string TemporaryFolder();
// TemporaryFolder() as the system resolves it, when no other user can move
// or replace a folder made in it: on Linux every folder from it up to the
// root belongs to this user or root and is open to others only with the
// sticky bit (empty when not, or when it is missing); on Windows it is the
// user's own temporary folder, made when missing.
std::string PrivateTemporaryFolder();
// Creates path and its missing parents, private to this user.
void CreatePrivateFolders(const std::string& path);
// Creates the folder path; false when the name exists already.
bool CreatePrivateFolder(const std::string& path);
// Removes path with everything in it, depth first; links are removed, not followed.
void RemoveTree(const std::string& path);

// An open folder that files are created and appended in: root + sub, every
// missing folder created on the way. The folders of sub must be folders of
// their own (not links) that belong to this user, or (Shared) to the system.
//   Shared: every user of the machine may create files in the folders made,
//           nobody may remove, replace or rewrite another user's (the log
//           folder). A folder of sub that other users may rearrange, or that
//           another user owns, is refused.
//   Own:    the folders made are this user's alone (the log's folder when the
//           shared one cannot be used).
class TFolder {
 public:
  enum class TAccess { Shared, Own };
  TFolder(const std::string& root, const std::string& sub, TAccess access);
  ~TFolder();
  TFolder(TFolder&& other) noexcept
      : FHandle(std::exchange(other.FHandle, -1)),
        FPath(std::move(other.FPath)),
        FAccess(other.FAccess) {}
  TFolder& operator=(TFolder&&) = delete;
  TFolder(const TFolder&) = delete;

  const std::string& Path() const { return FPath; }  // with its trailing separator
  TAccess Access() const { return FAccess; }

 private:
  friend class TFile;
  intptr_t FHandle;
  std::string FPath;
  TAccess FAccess;
};

// An open file.
class TFile {
 public:
  TFile() = default;
  ~TFile() { Close(); }
  TFile(TFile&& other) noexcept
      : FHandle(std::exchange(other.FHandle, -1)), FPath(std::move(other.FPath)) {}
  TFile& operator=(TFile&& other) noexcept {
    if (this != &other) {
      Close();
      FHandle = std::exchange(other.FHandle, -1);
      FPath = std::move(other.FPath);
    }
    return *this;
  }
  TFile(const TFile&) = delete;

  // For reading, shared with other readers (waits for a writer that holds it).
  static TFile OpenToRead(const std::string& path);
  // Created or emptied for writing, held alone among those who ask.
  static TFile CreateToWrite(const std::string& path);
  // The file name of folder, for appending. A missing one is created when
  // create is set (readable by all in a shared folder, by this user alone in
  // an own one, written by this user alone), else not opened. Refused when
  // it is not a regular file of this user with this one name: never written
  // through a link, a FIFO, another name of a file or another user's file.
  static TFile OpenToAppend(const TFolder& folder, const std::string& name, bool create = true);

  // One writer at a time among the processes that ask, without waiting.
  enum class TLock { Taken, Busy, Unsupported };
  TLock TryLock();

  // Reads until count bytes or the end; the number read.
  size_t Read(char* buffer, size_t count);
  void Write(std::string_view bytes);
  const std::string& Path() const { return FPath; }
  bool IsOpen() const { return FHandle != -1; }

 private:
  TFile(intptr_t handle, std::string path) : FHandle(handle), FPath(std::move(path)) {}
  void Close() noexcept;
  intptr_t FHandle = -1;
  std::string FPath;
};

}  // namespace zorvane
