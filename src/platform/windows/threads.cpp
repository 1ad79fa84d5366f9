#include "platform/threads.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

struct TStart {
  std::function<void()> Work;
  HMODULE Module = nullptr;
};

DWORD WINAPI RunThread(void* parameter) {
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

namespace {

// Starts work on a new thread that holds a reference to this DLL; its handle.
HANDLE Launch(std::function<void()> work) {
  auto start = std::make_unique<TStart>();
  start->Work = std::move(work);
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunThread), &start->Module))
    throw Error(std::string(msg::kCannotStartThread) + ": " + WindowsErrorText(GetLastError()));
  const HANDLE thread = CreateThread(nullptr, 0, &RunThread, start.get(), 0, nullptr);
  if (!thread) {
    const DWORD error = GetLastError();
    FreeLibrary(start->Module);
    throw Error(std::string(msg::kCannotStartThread) + ": " + WindowsErrorText(error));
  }
  start.release();
  return thread;
}

}  // namespace

void StartDetachedThread(std::function<void()> work) {
  CloseHandle(Launch(std::move(work)));
}

TJoinableThread::TJoinableThread(std::function<void()> work)
    : FHandle(reinterpret_cast<uintptr_t>(Launch(std::move(work)))), FRunning(true) {}

void TJoinableThread::Join() noexcept {
  if (!std::exchange(FRunning, false)) return;
  const HANDLE thread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(FHandle));
  // While the process ends the thread is gone already; its handle only
  // needs closing.
  if (!ProcessIsExiting()) WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

bool ProcessIsExiting() {
  using ShutdownInProgressFn = BOOLEAN(NTAPI*)();
  static const auto shutdownInProgress = reinterpret_cast<ShutdownInProgressFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
  return shutdownInProgress && shutdownInProgress();
}

}  // namespace zorvane
