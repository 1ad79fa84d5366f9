# Where scripts/deps unpacks the Debian source packages of
# cmake/debian_sources.txt, which the clones of the project share.
#
# zorvane_debian_source(NAME VARIABLE): sets VARIABLE to NAME's unpacked
# source folder, VARIABLE_VERSION to its version as listed (epoch included);
# stops the configure step when scripts/deps has not made the folder yet.

set(ZORVANE_DEBIAN_SOURCES_LIST ${CMAKE_CURRENT_LIST_DIR}/debian_sources.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZORVANE_DEBIAN_SOURCES_LIST})
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(ZORVANE_CACHE_HOME $ENV{XDG_CACHE_HOME}/zorvane)
else()
  set(ZORVANE_CACHE_HOME $ENV{HOME}/.cache/zorvane)
endif()
set(ZORVANE_SOURCES_DIR ${ZORVANE_CACHE_HOME}/sources CACHE PATH
    "Where scripts/deps unpacks the Debian source packages the build compiles")

function(zorvane_debian_source name variable)
  file(STRINGS ${ZORVANE_DEBIAN_SOURCES_LIST} lines REGEX "^${name} ")
  if(NOT lines MATCHES "^[^ ]+ +([^ ]+)")
    message(FATAL_ERROR "${name} is not listed in ${ZORVANE_DEBIAN_SOURCES_LIST}")
  endif()
  set(version ${CMAKE_MATCH_1})
  string(REGEX REPLACE "^[0-9]+:" "" bare ${version})
  set(folder ${ZORVANE_SOURCES_DIR}/${name}_${bare})
  if(NOT EXISTS ${folder}/.zorvane-ready)
    message(FATAL_ERROR "The build compiles ${name} from Debian's sources, which are missing:\n"
                        "  ${folder}\nRun scripts/deps to download them.")
  endif()
  set(${variable} ${folder} PARENT_SCOPE)
  set(${variable}_VERSION ${version} PARENT_SCOPE)
endfunction()
