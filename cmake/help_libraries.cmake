# libzip and md4c-html for the help renderer (src/markdown/help_libraries.h).
# On Linux the add-in binds the system's libraries at run time, so that it
# loads where they are missing. A Windows machine has neither and the add-in
# archive carries only our DLL, so there both are built as static libraries
# from Debian's sources, which scripts/deps unpacks into the cache (see
# cmake/debian_sources.txt), with the build's own toolchain, and linked
# into the DLL with MinGW's zlib from Debian.
#
# Included once the markdown floor and ZORVANE_WINDOWS_LIBS are defined: adds
# the binding's source to the one and the libraries to both.

if(NOT WIN32)
  target_sources(zorvane_markdown PRIVATE src/markdown/help_libraries_bound.cpp)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/debian_sources.cmake)
zorvane_debian_source(libzip help_source_libzip)
zorvane_debian_source(md4c help_source_md4c)

find_library(ZORVANE_MINGW_ZLIB NAMES libz.a)
if(NOT ZORVANE_MINGW_ZLIB)
  message(FATAL_ERROR "libzip needs zlib built for MinGW: install libz-mingw-w64-dev (scripts/deps)")
endif()

# Both built once per build folder, out of the way of our warnings and flags,
# installed into help-libraries/. Their output goes to log files, shown when
# a step fails. The build step installs too, so that the files it makes are
# known to Ninja: our sources that include the headers and the links that
# take the libraries wait for them, and nothing else does. One compiler each,
# beside the main build's own jobs.
include(ExternalProject)
set(help_prefix ${CMAKE_BINARY_DIR}/help-libraries)
set(help_args -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
              -DCMAKE_INSTALL_PREFIX=${help_prefix} -DCMAKE_INSTALL_LIBDIR=lib
              -DCMAKE_INSTALL_INCLUDEDIR=include -DBUILD_SHARED_LIBS=OFF)
set(help_steps BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target install --parallel 1
               INSTALL_COMMAND ""
               LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)
# Reading zip archives from memory needs zlib alone: no other compression,
# no encryption, none of the tools, tests, examples or manual pages.
ExternalProject_Add(libzip_static
  SOURCE_DIR ${help_source_libzip}
  PREFIX ${help_prefix}/libzip
  CMAKE_ARGS ${help_args} -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_COMMONCRYPTO=OFF
             -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF
             -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF
             -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
  ${help_steps}
  BUILD_BYPRODUCTS ${help_prefix}/lib/libzip.a ${help_prefix}/include/zip.h
                   ${help_prefix}/include/zipconf.h)
ExternalProject_Add(md4c_static
  SOURCE_DIR ${help_source_md4c}
  PREFIX ${help_prefix}/md4c
  CMAKE_ARGS ${help_args}
  ${help_steps}
  BUILD_BYPRODUCTS ${help_prefix}/lib/libmd4c.a ${help_prefix}/lib/libmd4c-html.a
                   ${help_prefix}/include/md4c.h ${help_prefix}/include/md4c-html.h)

file(MAKE_DIRECTORY ${help_prefix}/include)
add_library(zorvane_help_libraries INTERFACE)
target_include_directories(zorvane_help_libraries SYSTEM INTERFACE ${help_prefix}/include)
target_link_libraries(zorvane_help_libraries INTERFACE
  ${help_prefix}/lib/libzip.a ${ZORVANE_MINGW_ZLIB}
  ${help_prefix}/lib/libmd4c-html.a ${help_prefix}/lib/libmd4c.a)

target_sources(zorvane_markdown PRIVATE src/markdown/help_libraries_linked.cpp)
target_link_libraries(zorvane_markdown PUBLIC zorvane_help_libraries)
list(APPEND ZORVANE_WINDOWS_LIBS zorvane_help_libraries)
set_source_files_properties(src/markdown/markdown_renderer.cpp src/markdown/help_libraries_linked.cpp
  PROPERTIES OBJECT_DEPENDS "${help_prefix}/include/zipconf.h;${help_prefix}/include/md4c-html.h")
