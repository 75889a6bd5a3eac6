# quenvale_png_to_ico(<target> <output.ico> <input.png>): wraps one PNG (at most 256×256,
# the size ICO can state) into an icon file with a single PNG entry, which Windows reads
# since Vista. CMake cannot write binary files, so the container is assembled by the
# cross toolchain: an assembler file states the header and includes the picture with
# .incbin, objcopy writes out that one section. Width and height come from the PNG's
# own header bytes at build time (the low byte of each; 256 is stored as 0 in both).
# The object format may pad the section to 4 bytes after the picture; readers go by the
# entry's size and offset, so the padding is never read.
function(quenvale_png_to_ico target out png)
  file(READ "${png}" head LIMIT 24 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 32 8 width_hex)
  string(SUBSTRING "${head}" 40 8 height_hex)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${png} is not a PNG file")
  endif()
  math(EXPR width "0x${width_hex}")
  math(EXPR height "0x${height_hex}")
  if(width GREATER 256 OR height GREATER 256 OR width LESS 1 OR height LESS 1)
    message(FATAL_ERROR "${png} is ${width}x${height}; an icon entry is at most 256x256")
  endif()
  # Reconfigure when the picture changes, so a new size is checked again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${png}")

  get_filename_component(name "${out}" NAME_WE)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${target}_ico.s")
  set(obj "${CMAKE_CURRENT_BINARY_DIR}/${target}_ico.o")
  file(WRITE "${asm}" "\
    .section .ico,\"dr\"
    .p2align 0
ico_start:
    .short 0, 1, 1             # reserved, type icon, one entry
    .incbin \"${png}\", 19, 1  # width (low byte)
    .incbin \"${png}\", 23, 1  # height (low byte)
    .byte 0, 0                 # no palette, reserved
    .short 1, 32               # planes, bits per pixel
    .long picture_end - picture
    .long picture - ico_start  # offset of the picture: the header is 22 bytes
picture:
    .incbin \"${png}\"
picture_end:
")
  add_custom_command(OUTPUT "${out}"
    COMMAND "${CMAKE_CXX_COMPILER}" -c -x assembler "${asm}" -o "${obj}"
    COMMAND "${CMAKE_OBJCOPY}" -O binary -j .ico "${obj}" "${out}"
    DEPENDS "${png}" "${asm}"
    COMMENT "Wrapping ${name} into an icon"
    VERBATIM)
  add_custom_target(${target} DEPENDS "${out}")
endfunction()
