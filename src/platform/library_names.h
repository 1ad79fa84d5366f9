// The files of the libraries bound at run time, as each system names them,
// the preferred first.
#pragma once

#include <initializer_list>

namespace zorvane {

#if defined(_WIN32)
inline constexpr char kAddInFileName[] = "zorvane.dll";
// libzip and md4c-html are linked into the DLL: nothing to bind for help.
#else
inline constexpr char kAddInFileName[] = "libzorvane.so";
inline constexpr std::initializer_list<const char*> kZipLibraryNames = {"libzip.so.4",
                                                                        "libzip.so.5"};
inline constexpr std::initializer_list<const char*> kMd4cHtmlLibraryNames = {"libmd4c-html.so.0"};
#endif

}  // namespace zorvane
