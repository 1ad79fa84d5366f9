#include "platform/shell.h"

#include <windows.h>
#include <shellapi.h>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

void OpenWithDesktop(const std::string& target) {
  // A folder opens in Explorer, anything else with the user's program for it.
  const std::wstring wide = Wide(target);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
      nullptr, folder ? L"explore" : L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  // ShellExecute reports success as a value above 32.
  if (result <= 32)
    throw Error(
        msg::CannotOpenInShell(target, WindowsErrorText(static_cast<unsigned long>(result))));
}

}  // namespace zorvane
