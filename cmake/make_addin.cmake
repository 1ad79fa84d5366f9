# Makes the add-in archive the platform attaches: the libraries, MANIFEST.XML
# listing them and INFO.XML with the add-in's name and version.
# Run as: cmake -DOUTPUT=zip -DSTAGE=dir -DVERSION=x.y.z.w -DNAME=text
#               "-DLIBRARIES=OS|ARCH|PATH,..." -P make_addin.cmake
# A library whose file does not exist is left out (a build without Windows).
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
set(components "")
string(REPLACE "," ";" LIBRARIES "${LIBRARIES}")
foreach(entry IN LISTS LIBRARIES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 os)
  list(GET parts 1 arch)
  list(GET parts 2 path)
  if(NOT EXISTS "${path}")
    continue()
  endif()
  get_filename_component(ext "${path}" LAST_EXT)
  string(TOLOWER "${os}" system)
  set(name "zorvane_${system}_${arch}${ext}")
  # Debug information stays in the build; the archive carries the code.
  execute_process(COMMAND ${OBJCOPY} --strip-debug "${path}" "${STAGE}/${name}"
                  RESULT_VARIABLE failed)
  if(failed)
    file(COPY_FILE "${path}" "${STAGE}/${name}")
  endif()
  string(APPEND components
    "  <component os=\"${os}\" path=\"${name}\" type=\"native\" arch=\"${arch}\"/>\n")
  list(APPEND files ${name})
endforeach()
if(NOT files)
  message(FATAL_ERROR "No library for the add-in archive")
endif()

file(WRITE ${STAGE}/MANIFEST.XML
  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
  "<bundle xmlns=\"http://v8.1c.ru/8.2/addin/bundle\">\n${components}</bundle>\n")
file(WRITE ${STAGE}/INFO.XML
  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
  "<drivers>\n"
  "  <component progid=\"AddIn.Zorvane.zorvane\" name=\"${NAME}\" version=\"${VERSION}\"/>\n"
  "</drivers>\n")

file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip
                        MANIFEST.XML INFO.XML ${files}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not write ${OUTPUT}")
endif()
