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

// The folder for temporary files, without a trailing separator.
std::string TemporaryFolder();
// Creates path and its missing parents, private to this user.
void CreatePrivateFolders(const std::string& path);
// Creates the folder path; false when the name exists already.
bool CreatePrivateFolder(const std::string& path);
// Removes path with everything in it, depth first; links are removed, not followed.
void RemoveTree(const std::string& path);

// A folder every user of the machine may create files in (the log folder):
// root + shared, every missing folder created on the way and opened to all
// users. The folders of shared must not be links.
class TSharedFolder {
 public:
  TSharedFolder(const std::string& root, const std::string& shared);
  ~TSharedFolder();
  TSharedFolder(TSharedFolder&& other) noexcept
      : FHandle(std::exchange(other.FHandle, -1)), FPath(std::move(other.FPath)) {}
  TSharedFolder& operator=(TSharedFolder&&) = delete;
  TSharedFolder(const TSharedFolder&) = delete;

  const std::string& Path() const { return FPath; }  // with its trailing "/"

 private:
  friend class TFile;
  intptr_t FHandle;
  std::string FPath;
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
  // The file name of a shared folder, for appending: created readable and
  // writable by all users when missing; refused when it is not a regular
  // file with this one name (never written through a link).
  static TFile OpenToAppend(const TSharedFolder& folder, const std::string& name);

  // One writer at a time among the processes that ask, without waiting.
  enum class TLock { Taken, Busy, Unsupported };
  TLock TryLock();

  // Reads until count bytes or the end; the number read.
  size_t Read(char* buffer, size_t count);
  void Write(std::string_view bytes);
  const std::string& Path() const { return FPath; }

 private:
  TFile(intptr_t handle, std::string path) : FHandle(handle), FPath(std::move(path)) {}
  void Close() noexcept;
  intptr_t FHandle = -1;
  std::string FPath;
};

}  // namespace zorvane
