#include "platform/threads.h"

#include <windows.h>

#include <memory>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

struct TStart {
  std::function<void()> Work;
  HMODULE Module = nullptr;
};

DWORD WINAPI RunDetached(void* parameter) {
  HMODULE module = nullptr;
  {
    const std::unique_ptr<TStart> start(static_cast<TStart*>(parameter));
    module = start->Module;
    try {
      start->Work();
    } catch (...) {
    }
  }
  // The DLL's last reference may be this one: it is given back by the call
  // that ends the thread, so no code of the DLL runs after it.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

void StartDetachedThread(std::function<void()> work) {
  auto start = std::make_unique<TStart>();
  start->Work = std::move(work);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunDetached), &start->Module))
    throw Error(std::string(msg::kCannotStartThread) + ": " + WindowsErrorText(GetLastError()));
  const HANDLE thread = CreateThread(nullptr, 0, &RunDetached, start.get(), 0, nullptr);
  if (!thread) {
    const DWORD error = GetLastError();
    FreeLibrary(start->Module);
    throw Error(std::string(msg::kCannotStartThread) + ": " + WindowsErrorText(error));
  }
  start.release();
  CloseHandle(thread);
}

bool ProcessIsExiting() {
  using ShutdownInProgressFn = BOOLEAN(NTAPI*)();
  static const auto shutdownInProgress = reinterpret_cast<ShutdownInProgressFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
  return shutdownInProgress && shutdownInProgress();
}

}  // namespace zorvane
