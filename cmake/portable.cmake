# The shipped library loads on the older Linux systems where the platform's
# clients run (glibc 2.28 and newer, any libcurl.so.4 from 7.61 on):
# - the C++ runtime is linked in and hidden; libgcc_s stays shared, as every
#   system has it and its unwinder is the system's own;
# - glibc functions that got new symbol versions after 2.28 are bound to
#   their older versions (src/platform/posix/glibc_compat.c); libpthread and
#   libdl stay among the needed libraries, as on glibc before 2.34 those
#   versions live there;
# - libcurl is linked through a stand-in that carries its soname but no
#   symbol versions, so the library asks for no version (CURL_OPENSSL_4 on
#   Debian) that another system's libcurl.so.4 may not define.
# Sanitizer and fuzz builds stay ordinary.
if(NOT ZORVANE_SANITIZE AND NOT ZORVANE_FUZZ AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(ZORVANE_PORTABLE ON)
else()
  set(ZORVANE_PORTABLE OFF)
endif()

# Every libcurl function the library calls.
set(ZORVANE_CURL_FUNCTIONS
  curl_easy_cleanup curl_easy_getinfo curl_easy_init curl_easy_perform
  curl_easy_setopt curl_easy_strerror curl_global_cleanup curl_global_init
  curl_slist_append curl_slist_free_all curl_version_info)

if(ZORVANE_PORTABLE)
  set(stub ${CMAKE_BINARY_DIR}/curl-link/libcurl_link.c)
  set(text "/* Link-time stand-in for libcurl.so.4; never loaded. */\n#include <stdlib.h>\n")
  foreach(f IN LISTS ZORVANE_CURL_FUNCTIONS)
    string(APPEND text "void ${f}(void);\nvoid ${f}(void) { abort(); }\n")
  endforeach()
  file(CONFIGURE OUTPUT ${stub} CONTENT "${text}")
  add_library(zorvane_curl_link SHARED ${stub})
  set_target_properties(zorvane_curl_link PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/curl-link
    OUTPUT_NAME curl SOVERSION 4)
endif()

# zorvane_make_portable(TARGET): links an add-in library the portable way.
function(zorvane_make_portable name)
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/posix/glibc_compat.c)
  target_link_options(${name} PRIVATE -static-libstdc++ -Wl,--exclude-libs,ALL)
  target_link_libraries(${name} PRIVATE zorvane_curl_link
    -Wl,--push-state,--no-as-needed -l:libpthread.so.0 -l:libdl.so.2 -Wl,--pop-state)
  # The stand-in must never be found when the library runs.
  set_target_properties(${name} PROPERTIES SKIP_BUILD_RPATH ON)
endfunction()
