// RunProgram for the Windows tests: the program started with CreateProcessW,
// its output read through a pipe, killed at the time limit; ScopedEnv on
// both of the process's environments.
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <algorithm>
#include <thread>

#include "platform/windows/windows_text.h"
#include "tests/support/process.h"

namespace zorvane::testing {

namespace {

// One argument as the C runtime's parser reads it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// The process's environment with the extra "NAME=value" entries replacing
// the inherited ones of the same name.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra) {
  const auto nameOf = [](const std::wstring& entry) {
    const size_t eq = entry.find(L'=', 1);
    std::wstring name = entry.substr(0, eq);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    return name;
  };
  std::vector<std::wstring> entries;
  for (const std::string& e : extra) entries.push_back(Wide(e));
  std::wstring block;
  wchar_t* inherited = GetEnvironmentStringsW();
  for (const wchar_t* p = inherited; *p; p += wcslen(p) + 1) {
    const std::wstring entry = p;
    bool replaced = false;
    for (const std::wstring& e : entries) replaced = replaced || nameOf(e) == nameOf(entry);
    if (!replaced) block += entry + L'\0';
  }
  FreeEnvironmentStringsW(inherited);
  for (const std::wstring& e : entries) block += e + L'\0';
  return block + L'\0';
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, double timeLimit) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::wstring command = Quoted(Wide(program));
  for (const std::string& a : args) command += L" " + Quoted(Wide(a));
  std::wstring environment = EnvironmentBlock(env);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                     &startup, &process);
  CloseHandle(writeEnd);
  CloseHandle(nul);
  if (!started) {
    CloseHandle(readEnd);
    throw std::runtime_error("cannot start " + program);
  }
  CloseHandle(process.hThread);
  RunResult result;
  // The time limit: a watcher ends the program, which closes the pipe.
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread watcher([&] {
    if (timeLimit <= 0) return;
    HANDLE both[2] = {process.hProcess, stop};
    if (WaitForMultipleObjects(2, both, FALSE, static_cast<DWORD>(timeLimit * 1000)) ==
        WAIT_TIMEOUT) {
      result.timedOut = true;
      TerminateProcess(process.hProcess, 137);
    }
  });
  // Read while the program runs, then what it left in the pipe. The end of
  // the pipe is not waited for: under Wine a program that brings up Wine's
  // desktop hands it the pipe, which then stays open as long as the desktop.
  char buffer[4096];
  int quietAfterExit = 0;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // every writer gone
    if (available > 0) {
      DWORD n = 0;
      if (!::ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &n, nullptr) ||
          n == 0)
        break;
      result.output.append(buffer, n);
      continue;
    }
    if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0 && ++quietAfterExit > 10) break;
  }
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  SetEvent(stop);
  watcher.join();
  CloseHandle(stop);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code);
  return result;
}

// The C library's copy and the process's own block (which GetTempPathW and
// the programs started read) set alike.
ScopedEnv::ScopedEnv(const char* name, const std::string& value) : FName(name) {
  if (const wchar_t* old = _wgetenv(Wide(FName).c_str())) FOld = Narrow(old), FHad = true;
  _wputenv((Wide(FName) + L"=" + Wide(value)).c_str());
  SetEnvironmentVariableW(Wide(FName).c_str(), Wide(value).c_str());
}

ScopedEnv::~ScopedEnv() {
  // "NAME=" removes the C library's entry.
  _wputenv((Wide(FName) + L"=" + Wide(FOld)).c_str());
  SetEnvironmentVariableW(Wide(FName).c_str(), FHad ? Wide(FOld).c_str() : nullptr);
}

}  // namespace zorvane::testing
