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

// What tells one state of a file from the next.
TLogFileState StateOf(const struct stat& st) {
  return TLogFileState{st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// Lines longer than this are cut: a text box lays out a line as a whole.
constexpr size_t kMaxShownLineBytes = 4096;

std::string CutLongLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    if (end - start <= kMaxShownLineBytes) {
      out.append(text, start, end - start);
    } else {
      size_t cut = start + kMaxShownLineBytes;
      while (cut > start && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
      out.append(text, start, cut - start);
      out += " …";
    }
    if (!last) out += '\n';
    start = end + 1;
  }
  return out;
}

// The file's last kMaxShownLogBytes as valid UTF-8, with its state. The
// folder is open to every user, so only a regular file with no other name is
// read: a link, a FIFO or a device under a log's name is refused, not followed
// or waited on.
std::string ReadLogText(const std::string& path, bool& cut, TLogFileState& state) {
  const FileDescriptor fd(
      open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError("Не удалось открыть " + path, errno);
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) ThrowSystemError("Не удалось прочитать " + path, errno);
  if (!S_ISREG(st.st_mode)) throw Error("Не обычный файл: " + path);
  if (st.st_nlink != 1) throw Error("У файла есть другие имена (жёсткие ссылки): " + path);
  state = StateOf(st);
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
  return CutLongLines(ToValidUtf8(bytes));
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
    // Only regular files are logs, whatever their names: not folders, links or FIFOs.
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (cbbLogFiles.size() >= kMaxListedLogFiles) break;
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
  try {
    bool cut = false;
    mmoLog = ReadLogText(path, cut, FLogLastWriteTime);
    Status = cut ? "Показаны последние " + std::to_string(kMaxShownLogBytes >> 20) +
                       " МиБ файла " + cbbLogFiles[ItemIndex]
                 : std::string();
  } catch (const std::exception& e) {
    // Nothing of another file stays under this one's name.
    mmoLog.clear();
    Status = e.what();
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) FLogLastWriteTime = StateOf(st);
  }
}

bool TLogForm::tmrCheckFileTimer() {
  const std::string path = ChosenPath();
  struct stat st {};
  if (path.empty() || lstat(path.c_str(), &st) != 0) return false;
  if (StateOf(st) == FLogLastWriteTime) return false;
  LoadFile();
  return true;
}

void TLogForm::btnOpenDirClick() const {
  OpenWithDesktop(FLogDirectory);
}

}  // namespace zorvane
