# Writes a C++ source holding the given files as byte arrays and the table
# that finds them by name. Run as a script:
#   cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.png;b.png> -P EmbedResources.cmake
# The resource name is the file name in upper case.

set(arrays "")
set(entries "")
set(index 0)
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME)
  string(TOUPPER "${name}" name)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const std::uint8_t resource${index}[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND entries "    {\"${name}\", resource${index}, ${size}u},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from the files in resources/; do not edit.\n"
"#include \"platform/EmbeddedResources.h\"\n\n"
"namespace VSTGUI::platform {\n\nnamespace {\n${arrays}}  // namespace\n\n"
"const EmbeddedResource kEmbeddedResources[] = {\n${entries}};\n"
"const std::size_t kEmbeddedResourceCount = ${index};\n\n"
"}  // namespace VSTGUI::platform\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
