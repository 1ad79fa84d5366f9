// What the log viewer holds and does, without a toolkit: the log files of the
// log folder, the chosen file's text, and the check once a second whether
// that file has changed.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace zorvane {

// The most of a file shown: its last bytes, so that a huge log neither
// stalls the window nor fills the memory once a second.
inline constexpr size_t kMaxShownLogBytes = 2u << 20;
// The most files listed.
inline constexpr size_t kMaxListedLogFiles = 10000;

class TLogForm {
 public:
  // FormCreate: the log folder (created, open to all users, when missing,
  // whether or not the log is on), its files, the newest chosen and loaded.
  TLogForm();
  // The same for another folder (with its trailing "/").
  explicit TLogForm(std::string logDirectory);

  std::string FLogDirectory;
  std::vector<std::string> cbbLogFiles;  // sorted
  int ItemIndex = -1;                    // the chosen file, -1 for none
  std::string mmoLog;                    // the chosen file's text
  // Why the last load failed, for the status line; empty after a good one.
  std::string Status;

  // cbbLogFilesDropDown: the files again; the choice is cleared.
  void RefreshFileList();
  // cbbLogFilesChange: choose a file and load it.
  void cbbLogFilesChange(int index);
  // tmrCheckFileTimer: reloads the chosen file when it changed (written,
  // replaced or cut) since it was loaded; true when it did (mmoLog and Status are new; the view then
  // puts the caret back where it was).
  bool tmrCheckFileTimer();
  // btnOpenDirClick: the folder in the system's file manager.
  void btnOpenDirClick() const;

 private:
  void LoadFile();
  std::string ChosenPath() const;
  // The file as last seen: any change of it (written, replaced, cut) differs.
  TFileInfo FLogLastWriteTime;
};

}  // namespace zorvane
