# Builds FFmpeg into the cache (see cmake/ffmpeg.cmake):
#   cmake -DSOURCE=DIR -DPREFIX=DIR -DARGS=a|b|... -DKEY_FILE=FILE -P build_ffmpeg.cmake
# Another build of the same PREFIX, from another clone or preset, waits for
# the lock and then finds the folder complete. A folder left half-made by a
# stopped build is made again.

file(LOCK ${PREFIX}.lock GUARD PROCESS TIMEOUT 7200)
if(EXISTS ${PREFIX}/.zorvane-ready)
  return()
endif()

string(REPLACE "|" ";" args "${ARGS}")
set(work ${PREFIX}.build)
set(log ${PREFIX}/build.log)
file(REMOVE_RECURSE ${work} ${PREFIX})
file(MAKE_DIRECTORY ${work} ${PREFIX}/include)
# What the folder was built from, its name's hash taken of.
file(COPY_FILE ${KEY_FILE} ${PREFIX}/key.txt)

find_program(make NAMES make gmake REQUIRED)
function(step)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work}
                  OUTPUT_FILE ${log}.step ERROR_FILE ${log}.step RESULT_VARIABLE result)
  file(READ ${log}.step output)
  list(JOIN ARGN " " command)
  file(APPEND ${log} "$ ${command}\n${output}")
  file(REMOVE ${log}.step)
  if(NOT result EQUAL 0)
    string(LENGTH "${output}" length)
    if(length GREATER 20000)
      math(EXPR start "${length} - 20000")
      string(SUBSTRING "${output}" ${start} -1 output)
    endif()
    message(FATAL_ERROR "FFmpeg's build failed (${result}): ${command}\n${output}\n"
                        "The whole log: ${log}")
  endif()
endfunction()

string(TIMESTAMP started "%s")
step(${SOURCE}/configure --prefix=${PREFIX} ${args})
step(${make} -j2)
step(${make} install)
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")
file(APPEND ${log} "Built in ${seconds} s\n")
file(REMOVE_RECURSE ${work})
file(TOUCH ${PREFIX}/.zorvane-ready)
