// A file that grows while it is written (a video clip) and takes its final
// name only when complete. It is written as "<target>.part" beside the file
// its name stands for (links followed, as ReplaceFileContents follows them),
// and put in the target's place in one step by Commit: a reader sees the old
// file or the whole new one under the target's name, never a part. A part
// that was never committed (the process was killed) stays on the disk under
// its .part name, readable as far as it was written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace zorvane {

class TPartFile {
 public:
  TPartFile() = default;
  // Creates the part for name. An older part of the same name (left by a
  // recording that was cut off) is kept: the new one is then "<target>.N.part".
  explicit TPartFile(const std::string& name);
  // Closes the part and leaves it as it stands.
  ~TPartFile() { Close(); }
  TPartFile(TPartFile&& other) noexcept { *this = std::move(other); }
  TPartFile& operator=(TPartFile&& other) noexcept;
  TPartFile(const TPartFile&) = delete;

  void Write(std::string_view bytes);
  // Moves the write position; whence is SEEK_SET, SEEK_CUR or SEEK_END.
  // The new position.
  int64_t Seek(int64_t offset, int whence);
  uint64_t Size() const;
  // Flushes the part to the disk, closes it and puts it in the target's place.
  void Commit();
  // Closes and removes the part.
  void Discard() noexcept;

  bool IsOpen() const { return FHandle != -1; }
  const std::string& PartName() const { return FPartName; }
  const std::string& TargetName() const { return FTargetName; }
  // The target as messages show it: with the link's name when it differs.
  std::string Shown() const;

 private:
  void Close() noexcept;
  intptr_t FHandle = -1;
  std::string FName;
  std::string FTargetName;
  std::string FPartName;
};

}  // namespace zorvane
