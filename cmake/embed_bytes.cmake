# Writes a C++ source that defines the bytes of a file as an array, so that a
# program carries them without reading files or converting images at build
# time. The header it includes declares the array with the size it expects:
# a file of any other size does not compile.
# cmake -DINPUT=FILE -DOUTPUT=SOURCE -DNAME=ARRAY -DHEADER=INCLUDE -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
string(LENGTH "${hex}" digits)
math(EXPR count "${digits} / 2")
get_filename_component(from "${INPUT}" NAME)
file(WRITE "${OUTPUT}.part" "// Made from ${from} by embed_bytes.cmake.\n#include \"${HEADER}\"\n\nconst unsigned char ${NAME}[${count}] = {\n${bytes}};\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
