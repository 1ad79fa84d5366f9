# The tests of the Windows build, run under Wine (the toolchain names
# scripts/wine-run as the emulator, so ctest and gtest_discover_tests start
# the programs through it). GoogleTest is built here from Debian's sources
# with the cross compiler. No test program runs while the build runs: the
# 64-bit programs' tests are listed when ctest starts, and each 32-bit program
# is one test, which scripts/wine-run reports as skipped, with the reason,
# on a machine whose kernel runs no 32-bit programs.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The shipped library's code with the test classes registered instead of the
# driver, and the shipped library without its settings template.
zorvane_add_library(zorvane_test support/test_class.cpp support/test_library_main.cpp)
target_include_directories(zorvane_test PRIVATE ${CMAKE_SOURCE_DIR})
zorvane_embed_resources(zorvane_test)
zorvane_add_library(zorvane_noparams ${CMAKE_SOURCE_DIR}/src/driver/library_main.cpp)
zorvane_embed_resources(zorvane_noparams)

add_library(zorvane_test_support STATIC
  support/checks.cpp support/xml_dump.cpp support/files.cpp support/process_windows.cpp
  support/host_runner.cpp
  ${CMAKE_SOURCE_DIR}/tools/zorvane/host.cpp ${CMAKE_SOURCE_DIR}/tools/zorvane/values.cpp)
target_include_directories(zorvane_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(zorvane_test_support PUBLIC zorvane_objects GTest::gtest)
zorvane_embed_resources(zorvane_test_support ${ZORVANE_RESOURCES})
# Under Wine, a name from the root of the Unix file system is reached through drive Z:.
target_compile_definitions(zorvane_test_support PUBLIC
  ZORVANE_SAMPLES_DIR="Z:${CMAKE_SOURCE_DIR}/tests/data/onvif-samples"
  ZORVANE_TEST_DATA_DIR="Z:${CMAKE_CURRENT_SOURCE_DIR}/data"
  ZORVANE_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}"
  ZORVANE_HOST_PATH="Z:$<TARGET_FILE:zorvane_host>"
  ZORVANE_LIB_PATH="Z:$<TARGET_FILE:zorvane>"
  ZORVANE_TEST_LIB_PATH="Z:$<TARGET_FILE:zorvane_test>"
  ZORVANE_NOPARAMS_LIB_PATH="Z:$<TARGET_FILE:zorvane_noparams>"
  ZORVANE_SANITIZED=0)

include(GoogleTest)
set(wine_run ${CMAKE_SOURCE_DIR}/scripts/wine-run)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(bits 64)
else()
  set(bits 32)
endif()
function(zorvane_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zorvane_test_support GTest::gtest_main)
  add_dependencies(${name} zorvane_host zorvane zorvane_test zorvane_noparams)
  if(bits EQUAL 64)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 300)
  else()
    zorvane_wine_test(${name} ${wine_run} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  endif()
endfunction()
# zorvane_wine_test(NAME COMMAND...): a test whose COMMAND starts a Windows
# program of this build through scripts/wine-run; skipped, with the reason,
# where this machine cannot run programs of its kind (whose test programs
# scripts/test then does not build: only the DLL, which the check below and
# the add-in archive take).
function(zorvane_wine_test name)
  add_test(NAME ${name} COMMAND ${wine_run} --if-runs ${bits} -- ${ARGN})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

zorvane_windows_test(variant_test variant_test.cpp)
zorvane_windows_test(driver_test driver_test.cpp)
# The log folders' access lists, which only Windows has.
zorvane_windows_test(log_writer_windows_test log_writer_windows_test.cpp)
zorvane_windows_test(binding_test binding_test.cpp)
zorvane_windows_test(http_digest_test http_digest_test.cpp)
zorvane_windows_test(xml_document_test xml_document_test.cpp)
zorvane_windows_test(xml_samples_test xml_samples_test.cpp)
zorvane_windows_test(onvif_parsers_test onvif_parsers_test.cpp)
# FFmpeg as built for Windows, linked into the DLL.
zorvane_windows_test(video_engine_test video_engine_test.cpp)
# The help renderer on the libraries linked into the DLL; zlib (MinGW's, as
# libzip uses) writes its test archives.
zorvane_windows_test(markdown_renderer_test markdown_renderer_test.cpp)
target_link_libraries(markdown_renderer_test PRIVATE ${ZORVANE_MINGW_ZLIB})
foreach(t xml_samples_test onvif_parsers_test)
  target_compile_definitions(${t} PRIVATE ZORVANE_SAMPLES_MANIFEST="Z:${ZORVANE_SAMPLES_MANIFEST}")
  add_dependencies(${t} samples_manifest)
endforeach()

# The HTTP client (WinHTTP and the shared authentication, redirects and
# limits above it) against camera-sim on loopback.
add_executable(http_exchange_test http_exchange_test.cpp)
target_link_libraries(http_exchange_test PRIVATE zorvane_test_support GTest::gtest_main)
zorvane_wine_test(http_exchange
  ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/with_camera_sim.py
  ${CMAKE_SOURCE_DIR}/tools/camera-sim/camera_sim.py ${wine_run} $<TARGET_FILE:http_exchange_test>)
set_tests_properties(http_exchange PROPERTIES TIMEOUT 300)

# The DLL as the platform meets it: its machine type, three exports, Windows
# system DLLs only, the version resource. No Wine needed.
if(bits EQUAL 64)
  set(dll_arch x86_64)
else()
  set(dll_arch i386)
endif()
add_test(NAME dll_exports_and_imports
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_dll.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:zorvane>
          ${dll_arch})

# The add-in under Wine through the command-line host: photos from
# camera-sim on loopback, into files with Cyrillic names, and the errors.
zorvane_wine_test(wine_photo
  ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wine_host_test.py
  ${wine_run} $<TARGET_FILE:zorvane_host> $<TARGET_FILE:zorvane>
  ${CMAKE_SOURCE_DIR}/tools/camera-sim/camera_sim.py)
set_tests_properties(wine_photo PROPERTIES TIMEOUT 600)

# Clips under Wine: the Windows add-in records rtsp-sim's stream, found
# through camera-sim.
zorvane_wine_test(wine_video_clips
  ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/video_clip_test.py --wine
  ${wine_run} $<TARGET_FILE:zorvane_host> $<TARGET_FILE:zorvane> wine)
set_tests_properties(wine_video_clips PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

# The stand-in platform in the Microsoft C++ ABI (clang in MSVC mode, lld-link)
# loads the DLL through its three exports and calls every interface method.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(stand_in ${CMAKE_BINARY_DIR}/msvc_platform/stand_in_platform_x64.exe)
else()
  set(stand_in ${CMAKE_BINARY_DIR}/msvc_platform/stand_in_platform_x86.exe)
endif()
add_custom_command(OUTPUT ${stand_in}
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/msvc_platform/build.sh ${CMAKE_BINARY_DIR}/msvc_platform
  DEPENDS msvc_platform/stand_in_platform.cpp msvc_platform/build.sh msvc_platform/include/cstddef
          msvc_platform/include/cstdint msvc_platform/include/ctime
          ${CMAKE_SOURCE_DIR}/src/v8napi/native_api.h
  VERBATIM)
add_custom_target(stand_in_platform ALL DEPENDS ${stand_in})
zorvane_wine_test(msvc_abi_stand_in_platform
  ${wine_run} ${stand_in} Z:$<TARGET_FILE:zorvane>)
set_tests_properties(msvc_abi_stand_in_platform PROPERTIES TIMEOUT 300)

# The camera search in a private network namespace with two cameras.
zorvane_wine_test(wine_discovery
  ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wine_discovery_test.py
  ${wine_run} $<TARGET_FILE:zorvane_host> $<TARGET_FILE:zorvane>
  ${CMAKE_SOURCE_DIR}/tools/camera-sim/camera_sim.py)
set_tests_properties(wine_discovery PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)

# The windows on a virtual display of their own (with_wine_display.py: Xvfb,
# a Wine prefix of their own, a stand-in for the user's browser, the private
# network with cameras where asked), driven from a test thread through window
# messages; screenshots in this build folder's screenshots/. One test program,
# each of its tests run by a ctest test of its own with what it needs around it.
# The windows run in the test program itself: it carries the DLL's manifest
# for comctl32 version 6, which they activate from the module they are in.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/win32_windows_test.rc
  "2 24 \"${CMAKE_SOURCE_DIR}/src/platform/windows/common_controls.manifest\"\n")
add_executable(win32_windows_test win32_windows_test.cpp win32_driving_test.cpp
                                  support/win32_driving.cpp
                                  ${CMAKE_CURRENT_BINARY_DIR}/win32_windows_test.rc)
target_link_libraries(win32_windows_test PRIVATE zorvane_test_support GTest::gtest_main
                                                 comctl32 gdi32 windowscodecs ole32 uuid)
target_compile_definitions(win32_windows_test PRIVATE
  ZORVANE_SCREENSHOT_DIR="Z:${CMAKE_BINARY_DIR}/screenshots")
add_dependencies(win32_windows_test zorvane_host zorvane zorvane_test zorvane_noparams)
# zorvane_window_test(NAME GTEST_FILTER [WRAPPER_OPTIONS...])
function(zorvane_window_test name filter)
  zorvane_wine_test(${name}
    ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/with_wine_display.py ${ARGN}
    ${wine_run} $<TARGET_FILE:win32_windows_test> --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE SKIP_RETURN_CODE 77
                       SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
set(camera_sim --camera-sim ${CMAKE_SOURCE_DIR}/tools/camera-sim/camera_sim.py)
zorvane_window_test(win32_window_driving "Win32Driving.*")
zorvane_window_test(win32_search_window "SearchWindowTest.CamerasFoundFailedAndShownInDetail"
  ${camera_sim} --camera cam1=198.51.100.11 --camera cam2=198.51.100.12
  --camera locked=198.51.100.13,--password,other)
zorvane_window_test(win32_search_no_camera
  "SearchWindowTest.NoCameraAnswersAndTheWindowClosesWithItsButton" --network)
set(slow_cameras "")
foreach(i RANGE 20 39)
  list(APPEND slow_cameras --camera slow${i}=198.51.100.${i})
endforeach()
zorvane_window_test(win32_search_slow_cameras "SearchWindowTest.ClosingDuringASearchOfSlowCamerasEndsIt"
  ${camera_sim} ${slow_cameras} --camera-config "{\"fault\": \"hang\", \"fault_paths\": [\"/onvif\"]}")
zorvane_window_test(win32_search_no_address
  "WindowTest.AHostWithoutAnAddressSaysSoAndStillOpensTheWindow" --no-address)
zorvane_window_test(win32_log_viewer "WindowTest.TheLogViewerFollowsTheFileAndKeepsTheCaret")
zorvane_window_test(win32_help "WindowTest.TheHelpGoesToTheUsersBrowserAndItsFolderStaysWithTheDriver")
zorvane_window_test(win32_windows_through_host "WindowTest.TheActionsOpenTheirWindowsThroughTheHost")
zorvane_window_test(win32_windows_without_display "NoDisplayTest.*" --no-display)
