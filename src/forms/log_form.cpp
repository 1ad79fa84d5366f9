#include "forms/log_form.h"

#include <algorithm>

#include "common/error.h"
#include "common/text.h"
#include "forms/messages.h"
#include "log/log_writer.h"
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
std::string ReadLogText(const std::string& path, bool& cut, TFileInfo& state) {
  std::string bytes = ReadSingleFileTail(path, kMaxShownLogBytes, state, cut);
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
  // Only regular files are logs, whatever their names: not folders, links or FIFOs.
  for (std::string& name : ListFolder(FLogDirectory, TFileKind::Regular)) {
    if (!HasLogExtension(name)) continue;
    if (cbbLogFiles.size() >= kMaxListedLogFiles) break;
    cbbLogFiles.push_back(std::move(name));
  }
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
    Status =
        cut ? msg::LogTailShown(kMaxShownLogBytes >> 20, cbbLogFiles[ItemIndex]) : std::string();
  } catch (const std::exception& e) {
    // Nothing of another file stays under this one's name.
    mmoLog.clear();
    Status = e.what();
    if (const TFileInfo info = FileInfoOf(path); info.Kind != TFileKind::Missing)
      FLogLastWriteTime = info;
  }
}

bool TLogForm::tmrCheckFileTimer() {
  const std::string path = ChosenPath();
  if (path.empty()) return false;
  const TFileInfo info = FileInfoOf(path);
  if (info.Kind == TFileKind::Missing || info == FLogLastWriteTime) return false;
  LoadFile();
  return true;
}

void TLogForm::btnOpenDirClick() const {
  OpenWithDesktop(FLogDirectory);
}

}  // namespace zorvane
