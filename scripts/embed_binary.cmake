# Turns a binary file into a C++ byte array: -DIN=file -DOUT=file.cpp -DNS=namespace -DNAME=identifier
# Defines NAME (const unsigned char[]) and NAME_SIZE (std::size_t).
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n#include <cstddef>\nnamespace ${NS} {\nextern const unsigned char ${NAME}[];\nextern const std::size_t ${NAME}_SIZE;\nconst unsigned char ${NAME}[] = {${bytes}};\nconst std::size_t ${NAME}_SIZE = ${size};\n}\n")
