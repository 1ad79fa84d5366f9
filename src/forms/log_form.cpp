#include "forms/log_form.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/error.h"
#include "common/file_io.h"
#include "common/log_writer.h"
#include "common/text.h"
#include "platform/shell.h"

namespace zorvane {

namespace {

bool HasLogExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && SameAsciiText(std::string_view(name).substr(dot), ".log");
}

// The order of a sorted list box: letters without regard to case.
bool ListOrder(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [&](char x, char y) { return lower(static_cast<unsigned char>(x)) <
                                   lower(static_cast<unsigned char>(y)); });
}

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The file's last kMaxShownLogBytes as valid UTF-8; a FIFO or device under a
// log's name is refused rather than waited on.
std::string ReadLogText(const std::string& path, bool& cut) {
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError("Не удалось открыть " + path, errno);
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) ThrowSystemError("Не удалось прочитать " + path, errno);
  if (!S_ISREG(st.st_mode)) throw Error("Не обычный файл: " + path);
  off_t from = 0;
  cut = st.st_size > static_cast<off_t>(kMaxShownLogBytes);
  if (cut) from = st.st_size - static_cast<off_t>(kMaxShownLogBytes);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = pread(fd.Get(), buffer, sizeof buffer, from);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError("Не удалось прочитать " + path, errno);
    }
    if (n == 0 || bytes.size() >= kMaxShownLogBytes) break;
    bytes.append(buffer, std::min(static_cast<size_t>(n), kMaxShownLogBytes - bytes.size()));
    from += n;
  }
  if (cut) {
    // From the first whole line on.
    const size_t eol = bytes.find('\n');
    bytes.erase(0, eol == std::string::npos ? 0 : eol + 1);
  }
  return ToValidUtf8(bytes);
}

}  // namespace

TLogForm::TLogForm() : TLogForm(GetLogPath(true)) {}

TLogForm::TLogForm(std::string logDirectory) : FLogDirectory(std::move(logDirectory)) {
  RefreshFileList();
  if (!cbbLogFiles.empty()) ItemIndex = static_cast<int>(cbbLogFiles.size()) - 1;
  LoadFile();
}

void TLogForm::RefreshFileList() {
  cbbLogFiles.clear();
  ItemIndex = -1;
  DIR* dir = opendir(FLogDirectory.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !HasLogExtension(name)) continue;
    // A folder is no log, whatever its name.
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
      continue;
    cbbLogFiles.push_back(name);
  }
  closedir(dir);
  std::sort(cbbLogFiles.begin(), cbbLogFiles.end(), ListOrder);
}

void TLogForm::cbbLogFilesChange(int index) {
  ItemIndex = index >= 0 && index < static_cast<int>(cbbLogFiles.size()) ? index : -1;
  LoadFile();
}

std::string TLogForm::ChosenPath() const {
  return ItemIndex < 0 ? std::string() : FLogDirectory + cbbLogFiles[ItemIndex];
}

void TLogForm::LoadFile() {
  const std::string path = ChosenPath();
  if (path.empty()) return;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) FLogLastWriteTime = st.st_mtim;
  try {
    bool cut = false;
    mmoLog = ReadLogText(path, cut);
    Status = cut ? "Показаны последние " + std::to_string(kMaxShownLogBytes >> 20) +
                       " МиБ файла " + cbbLogFiles[ItemIndex]
                 : std::string();
  } catch (const std::exception& e) {
    Status = e.what();
  }
}

bool TLogForm::tmrCheckFileTimer() {
  const std::string path = ChosenPath();
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  if (!Later(st.st_mtim, FLogLastWriteTime)) return false;
  LoadFile();
  return true;
}

void TLogForm::btnOpenDirClick() const {
  OpenWithDesktop(FLogDirectory);
}

}  // namespace zorvane
