#include "platform/system_info.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "build_version.h"
#include "common/error.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

const char kPathSeparators[] = "/\\";

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::array<uint16_t, 4> GetFileVersion(const std::string& path) {
  std::array<uint16_t, 4> version{};
  const std::wstring name = Wide(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
  if (size == 0) return version;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return version;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof *info)
    return version;
  version = {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
  return version;
}

std::string GetModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(ThisModule(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::array<uint16_t, 4> GetModuleVersion() {
  return {ZORVANE_VERSION_MAJOR, ZORVANE_VERSION_MINOR, ZORVANE_VERSION_PATCH,
          ZORVANE_VERSION_TWEAK};
}

std::string FormatOSDescription(const std::string& name, const std::string& release) {
  return name + " (" + release + ")";
}

std::string GetOSDescription() {
  // GetVersionEx answers what the program's manifest declares; the kernel's
  // own call tells the real version.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto get = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                               reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
  if (!get || get(&info) != 0) return "Windows";
  return FormatOSDescription(
      "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion),
      "build " + std::to_string(info.dwBuildNumber));
}

namespace {

// The shell's folder csidl, empty when it has none.
std::string ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))
             ? Narrow(path)
             : std::string();
}

// The folder the environment variable names, else the shell's (asked once by
// the caller), with a trailing separator; empty when neither names one.
std::string DataFolder(const wchar_t* variable, const std::string& shellFolder) {
  std::string folder;
  if (const wchar_t* env = _wgetenv(variable); env && *env)
    folder = Narrow(env);
  else
    folder = shellFolder;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

std::string GetCommonAppDataFolder() {
  // Asked once: the shell is not called again when the log's last line is
  // written while the DLL unloads.
  static const std::string common = [] {
    const std::string folder = ShellFolder(CSIDL_COMMON_APPDATA);
    return folder.empty() ? std::string("C:\\ProgramData") : folder;
  }();
  return DataFolder(L"ZORVANE_DATA_DIR", common);
}

std::string GetUserAppDataFolder() {
  static const std::string local = ShellFolder(CSIDL_LOCAL_APPDATA);
  std::string folder = DataFolder(L"ZORVANE_USER_DATA_DIR", local);
  if (folder.empty()) throw Error(msg::kNoDataFolder);
  return folder;
}

TLocalTime LocalTimeNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace zorvane
