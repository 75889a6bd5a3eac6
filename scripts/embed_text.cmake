# Turns a text file into a C++ string constant: -DIN=file -DOUT=file.cpp -DNS=namespace -DNAME=identifier
file(READ ${IN} text)
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\nnamespace ${NS} {\nextern const char* const ${NAME};\nconst char* const ${NAME} = R\"EMBED(${text})EMBED\";\n}\n")
