// What a part file is on every system; its system calls are in
// posix/files.cpp and windows/files.cpp.
#include "platform/part_file.h"

#include <utility>

#include "platform/messages.h"

namespace zorvane {

TPartFile& TPartFile::operator=(TPartFile&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, -1);
    FName = std::move(other.FName);
    FTargetName = std::move(other.FTargetName);
    FPartName = std::move(other.FPartName);
  }
  return *this;
}

std::string TPartFile::Shown() const {
  return FTargetName == FName ? msg::Quoted(FName) : msg::FileThroughLink(FTargetName, FName);
}

}  // namespace zorvane
