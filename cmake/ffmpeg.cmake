# FFmpeg's libavformat, libavcodec and libavutil for the video recorder
# (src/video/): static, LGPL (no GPL or non-free parts), only what remuxing a
# camera's RTSP stream into MP4 or Matroska takes: no decoders, no encoders,
# no programs. Built from Debian 12's source package (cmake/debian_sources.txt)
# with the build's own C compiler, once per target and compiler: the result
# is kept in the cache that the clones and presets share,
#   ~/.cache/zorvane/ffmpeg/TRIPLE-KEY/{include,lib}
# KEY a hash of FFmpeg's version, the compiler and the configure line, so a
# change of any makes a new build. The build runs as a step of the main build
# (cmake/build_ffmpeg.cmake), with a lock of its own and its output in
# build.log there, shown when it fails; a folder is complete once it holds
# .zorvane-ready.
#
# Defines zorvane_ffmpeg: the headers, and the three libraries in link order
# with the system libraries they need; whatever links it waits for the build
# (zorvane_ffmpeg_build), and so do its sources that include the headers.

include(${CMAKE_CURRENT_LIST_DIR}/debian_sources.cmake)
zorvane_debian_source(ffmpeg ffmpeg_source)

# The fuzz preset (clang) names gcc so as to share the default preset's build:
# the libraries are plain C either way, and not instrumented in either.
set(ZORVANE_FFMPEG_CC ${CMAKE_C_COMPILER} CACHE STRING "The C compiler FFmpeg is built with")
# By the file it names, so that cc and gcc make the same key.
find_program(ffmpeg_cc_path NAMES ${ZORVANE_FFMPEG_CC} NO_CACHE REQUIRED)
file(REAL_PATH ${ffmpeg_cc_path} ffmpeg_cc)

execute_process(COMMAND ${ffmpeg_cc} -dumpmachine
                OUTPUT_VARIABLE ffmpeg_triple OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${ffmpeg_cc} --version
                OUTPUT_VARIABLE ffmpeg_cc_version COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "\n.*" "" ffmpeg_cc_version "${ffmpeg_cc_version}")

# The demuxers, muxers, parsers, protocols and bitstream filters the recorder
# uses; configure adds what they select (the RTP depacketizers, udp, srtp).
set(ffmpeg_args
  --disable-everything --disable-autodetect --disable-programs --disable-doc
  --disable-avdevice --disable-swscale --disable-swresample --disable-postproc
  --disable-avfilter --disable-x86asm --disable-debug
  --enable-static --disable-shared --enable-network
  --enable-demuxer=rtsp,sdp,rtp
  --enable-muxer=mp4,mov,matroska
  --enable-parser=h264,hevc,aac,mjpeg
  --enable-protocol=tcp,udp,rtp,http
  --enable-bsf=extract_extradata,aac_adtstoasc
  --cc=${ffmpeg_cc})
if(WIN32)
  # Win32 threads and Winsock: the DLL imports system DLLs only.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(ffmpeg_arch x86_64)
  else()
    set(ffmpeg_arch x86)
  endif()
  list(APPEND ffmpeg_args --enable-cross-compile --target-os=mingw32 --arch=${ffmpeg_arch}
                          --cross-prefix=${ZORVANE_MINGW_TRIPLE}- --enable-w32threads
                          --disable-pthreads)
  set(ffmpeg_system_libs ws2_32 bcrypt ole32 user32)
else()
  list(APPEND ffmpeg_args --enable-pic --enable-pthreads)
  set(ffmpeg_system_libs Threads::Threads m)
endif()

string(JOIN "\n" ffmpeg_key_text ${ffmpeg_source_VERSION} ${ffmpeg_triple} ${ffmpeg_cc_version}
                                 ${ffmpeg_args})
string(SHA256 ffmpeg_key "${ffmpeg_key_text}")
string(SUBSTRING ${ffmpeg_key} 0 16 ffmpeg_key)
set(ffmpeg_prefix ${ZORVANE_CACHE_HOME}/ffmpeg/${ffmpeg_triple}-${ffmpeg_key})
set(ffmpeg_libs ${ffmpeg_prefix}/lib/libavformat.a ${ffmpeg_prefix}/lib/libavcodec.a
                ${ffmpeg_prefix}/lib/libavutil.a)
set(ffmpeg_stamp ${ffmpeg_prefix}/.zorvane-ready)

if(EXISTS ${ffmpeg_stamp})
  message(STATUS "FFmpeg: ${ffmpeg_prefix}")
else()
  message(STATUS "FFmpeg: built into ${ffmpeg_prefix} by the build")
endif()
# Runs only while the folder is incomplete.
string(REPLACE ";" "|" ffmpeg_args_joined "${ffmpeg_args}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/ffmpeg-key.txt CONTENT "${ffmpeg_key_text}\n")
add_custom_command(OUTPUT ${ffmpeg_stamp}
  BYPRODUCTS ${ffmpeg_libs}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${ffmpeg_source} -DPREFIX=${ffmpeg_prefix}
          "-DARGS=${ffmpeg_args_joined}" -DKEY_FILE=${CMAKE_BINARY_DIR}/ffmpeg-key.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/build_ffmpeg.cmake
  COMMENT "Building FFmpeg (once per target and compiler; log: ${ffmpeg_prefix}/build.log)"
  VERBATIM)
add_custom_target(zorvane_ffmpeg_build DEPENDS ${ffmpeg_stamp})

# Made now, as an imported target's folders must exist.
file(MAKE_DIRECTORY ${ffmpeg_prefix}/include)
add_library(zorvane_ffmpeg INTERFACE IMPORTED GLOBAL)
target_include_directories(zorvane_ffmpeg SYSTEM INTERFACE ${ffmpeg_prefix}/include)
target_link_libraries(zorvane_ffmpeg INTERFACE ${ffmpeg_libs} ${ffmpeg_system_libs})
add_dependencies(zorvane_ffmpeg zorvane_ffmpeg_build)
