// The help libraries bound when help is first asked for: the system's
// libzip and md4c-html, which the add-in does not need in order to load.
#include <string>

#include "common/error.h"
#include "markdown/help_libraries.h"
#include "markdown/messages.h"
#include "platform/library_binding.h"
#include "platform/library_names.h"

namespace zorvane {

namespace {

struct TBoundZip {
  TRuntimeLibrary Library;
  TZipTable Table;
  std::string Failure;

  TBoundZip() {
    if (!Library.Open(kZipLibraryNames)) {
      Failure = msg::NoLibzip(Library.Error());
      return;
    }
    TZipTable& t = Table;
    if (!(Library.Bind(t.BufferSource, "zip_source_buffer_create") &&
          Library.Bind(t.SourceFree, "zip_source_free") &&
          Library.Bind(t.OpenSource, "zip_open_from_source") && Library.Bind(t.Close, "zip_close") &&
          Library.Bind(t.Count, "zip_get_num_entries") && Library.Bind(t.Name, "zip_get_name") &&
          Library.Bind(t.FileOpen, "zip_fopen_index") && Library.Bind(t.Read, "zip_fread") &&
          Library.Bind(t.FileClose, "zip_fclose") && Library.Bind(t.StrError, "zip_strerror") &&
          Library.Bind(t.ErrorInit, "zip_error_init_with_code") &&
          Library.Bind(t.ErrorText, "zip_error_strerror") &&
          Library.Bind(t.ErrorFini, "zip_error_fini")))
      Failure = msg::LibraryUnfit(Library.Name(), Library.Error());
  }
};

struct TBoundMd4c {
  TRuntimeLibrary Library;
  TMd4cTable Table;
  std::string Failure;

  TBoundMd4c() {
    if (!Library.Open(kMd4cHtmlLibraryNames)) {
      Failure = msg::NoMd4c(Library.Error());
      return;
    }
    if (!Library.Bind(Table.Html, "md_html"))
      Failure = msg::LibraryUnfit(Library.Name(), Library.Error());
  }
};

}  // namespace

const TZipTable& Zip() {
  static const TBoundZip bound;
  if (!bound.Failure.empty()) throw Error(bound.Failure);
  return bound.Table;
}

const TMd4cTable& Md4c() {
  static const TBoundMd4c bound;
  if (!bound.Failure.empty()) throw Error(bound.Failure);
  return bound.Table;
}

}  // namespace zorvane
