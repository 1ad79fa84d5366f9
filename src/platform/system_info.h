// Facts about the library file and the machine that the log header and the
// version query need: module path and version, OS description, the
// machine-wide data folder the log lives under (and the user's own one it
// moves to when that cannot be used), and the local time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvane {

// Full path of the add-in library file (not the host program).
std::string GetModulePath();

// File version of the add-in library: major, minor, release, build.
std::array<uint16_t, 4> GetModuleVersion();

// The version stamped into a file built by this project; all zero for any other file.
std::array<uint16_t, 4> GetFileVersion(const std::string& path);

// Linux: "<PRETTY_NAME of os-release, else Linux> (<kernel release>)".
// Windows: "Windows <major>.<minor> (build <number>)", from the kernel.
std::string GetOSDescription();
// The same from the given files' contents (for tests): os-release text and kernel release.
std::string FormatOSDescription(const std::string& osRelease, const std::string& kernelRelease);

// $ZORVANE_DATA_DIR, else the machine's common data folder (/var/tmp on
// Linux, %ProgramData% on Windows); always ends with "/".
std::string GetCommonAppDataFolder();

// $ZORVANE_USER_DATA_DIR, else this user's own data folder ($XDG_STATE_HOME,
// else ~/.local/state on Linux; %LOCALAPPDATA% on Windows); always ends with
// a separator.
std::string GetUserAppDataFolder();

// What separates the folders of a path: "/" on Linux, "/" or "\\" on Windows.
extern const char kPathSeparators[];

// A program's command-line arguments in UTF-8 (Windows: from the wide
// command line, whatever the code page; elsewhere argv as it is).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard input and output pass bytes as they are (Windows would turn "\n"
// into "\r\n" in its text mode; elsewhere they already do).
void UseBinaryStandardStreams();

struct TLocalTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
TLocalTime LocalTimeNow();

}  // namespace zorvane
