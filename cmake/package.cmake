# What an integrator installs: the add-in archive for a configuration
# (target addin) and a Debian package with the library, the command-line host
# and the README (cpack -G DEB in the build folder).

set(ZORVANE_ADDIN_NAME "Драйвер IP-видеокамеры ONVIF")
set(ZORVANE_ADDIN_ZIP ${CMAKE_BINARY_DIR}/zorvane-${PROJECT_VERSION}.zip)
# Further libraries for the archive, each OS|ARCH|PATH; left out while their
# file does not exist. The Windows DLLs of the win64 and win32 presets by
# default (scripts/test builds them first).
set(ZORVANE_ADDIN_EXTRA
    "Windows|x86_64|${CMAKE_SOURCE_DIR}/build/win64/zorvane.dll;Windows|i386|${CMAKE_SOURCE_DIR}/build/win32/zorvane.dll"
    CACHE STRING
    "Further add-in libraries for the archive, as OS|ARCH|PATH entries")
set(addin_libraries "Linux|x86_64|$<TARGET_FILE:zorvane>" ${ZORVANE_ADDIN_EXTRA})
# "," between the entries: a ";" would not survive the command line.
string(REPLACE ";" "," addin_libraries "${addin_libraries}")
add_custom_command(OUTPUT ${ZORVANE_ADDIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${ZORVANE_ADDIN_ZIP} -DSTAGE=${CMAKE_BINARY_DIR}/addin
          -DVERSION=${PROJECT_VERSION} "-DNAME=${ZORVANE_ADDIN_NAME}" -DOBJCOPY=${CMAKE_OBJCOPY}
          "-DLIBRARIES=${addin_libraries}" -P ${CMAKE_SOURCE_DIR}/cmake/make_addin.cmake
  DEPENDS zorvane ${CMAKE_SOURCE_DIR}/cmake/make_addin.cmake
  VERBATIM)
add_custom_target(addin ALL DEPENDS ${ZORVANE_ADDIN_ZIP})

include(GNUInstallDirs)
install(TARGETS zorvane LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zorvane)
install(TARGETS zorvane_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZORVANE_ADDIN_ZIP} DESTINATION ${CMAKE_INSTALL_DATADIR}/zorvane)

set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR "Telvask")
set(CPACK_PACKAGE_CONTACT "Telvask <support@telvask.ru>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ONVIF IP camera driver add-in for 1C:Enterprise, with a command-line host")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcrypto is bound at run time: either OpenSSL the system has.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 | libssl1.1")
set(CPACK_STRIP_FILES ON)
include(CPack)
