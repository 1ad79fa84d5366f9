// The help libraries linked into the add-in (where the system has none of
// its own to bind): the tables point at those copies and are always there.
#include "markdown/help_libraries.h"

namespace zorvane {

const TZipTable& Zip() {
  static const TZipTable table{
      .BufferSource = &zip_source_buffer_create,
      .SourceFree = &zip_source_free,
      .OpenSource = &zip_open_from_source,
      .Close = &zip_close,
      .Count = &zip_get_num_entries,
      .Name = &zip_get_name,
      .FileOpen = &zip_fopen_index,
      .Read = &zip_fread,
      .FileClose = &zip_fclose,
      .StrError = &zip_strerror,
      .ErrorInit = &zip_error_init_with_code,
      .ErrorText = &zip_error_strerror,
      .ErrorFini = &zip_error_fini,
  };
  return table;
}

const TMd4cTable& Md4c() {
  static const TMd4cTable table{.Html = &md_html};
  return table;
}

}  // namespace zorvane
