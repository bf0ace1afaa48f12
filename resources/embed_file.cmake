# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -P embed_file.cmake
# Writes a source file defining zelvo::icon_template_png() over the bytes
# of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
if(hex_length EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line.
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by embed_file.cmake. Do not edit.
#include \"resources/icon_template.h\"

namespace {
const unsigned char kTemplate[] = {
    ${bytes}
};
}  // namespace

std::span<const unsigned char> zelvo::icon_template_png() {
    return kTemplate;
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
