# Writes a C++ source holding the given files as byte arrays, found by name.
# Run as: cmake -DOUTPUT=file.cpp -DRESOURCES="NAME=path|NAME=path" -P embed_resources.cmake
string(REPLACE "|" ";" RESOURCES "${RESOURCES}")
set(entries "")
set(arrays "")
set(index 0)
foreach(pair IN LISTS RESOURCES)
  string(FIND "${pair}" "=" eq)
  string(SUBSTRING "${pair}" 0 ${eq} name)
  math(EXPR start "${eq} + 1")
  string(SUBSTRING "${pair}" ${start} -1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kData${index}[] = {${bytes} 0};\n")
  string(APPEND entries "    {\"${name}\", {reinterpret_cast<const char*>(kData${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/ at build time.
#include \"common/resources.h\"

namespace zorvane {
namespace {
${arrays}
}  // namespace

std::span<const TResource> EmbeddedResources() {
  static const TResource kResources[] = {
${entries}    {nullptr, {}},
  };
  return {kResources, ${index}};
}

}  // namespace zorvane
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
