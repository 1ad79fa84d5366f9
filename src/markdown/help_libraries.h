// libzip and md4c-html as the help renderer calls them: through tables of
// their functions, typed from their own headers. The build picks how the
// tables are filled: bound at run time to the system's libraries, so that
// the add-in loads where neither is installed (help_libraries_bound.cpp), or
// pointing at copies linked into the add-in (help_libraries_linked.cpp).
#pragma once

#include <md4c-html.h>
#include <zip.h>

namespace zorvane {

struct TZipTable {
  decltype(&zip_source_buffer_create) BufferSource = nullptr;
  decltype(&zip_source_free) SourceFree = nullptr;
  decltype(&zip_open_from_source) OpenSource = nullptr;
  decltype(&zip_close) Close = nullptr;
  decltype(&zip_get_num_entries) Count = nullptr;
  decltype(&zip_get_name) Name = nullptr;
  decltype(&zip_fopen_index) FileOpen = nullptr;
  decltype(&zip_fread) Read = nullptr;
  decltype(&zip_fclose) FileClose = nullptr;
  decltype(&zip_strerror) StrError = nullptr;
  decltype(&zip_error_init_with_code) ErrorInit = nullptr;
  decltype(&zip_error_strerror) ErrorText = nullptr;
  decltype(&zip_error_fini) ErrorFini = nullptr;
};

struct TMd4cTable {
  decltype(&md_html) Html = nullptr;
};

// The tables, filled on first use; Error saying what is missing (and which
// package brings it) when the library cannot be had.
const TZipTable& Zip();
const TMd4cTable& Md4c();

}  // namespace zorvane
