# Compiles the reference table tests/data/FOLDER/TABLE.txt (FOLDER: tone unless given) into
# the source that `sources_var` is given, defining the EmbeddedLines `name`
# (tests/support/embedded_lines.h): every runner (native, qemu, Wine) then has it without
# looking for the file.
function(exclusive_tone_embed_table sources_var table name)
  set(folder tone)
  if(ARGC GREATER 3)
    set(folder ${ARGV3})
  endif()
  set(input ${PROJECT_SOURCE_DIR}/tests/data/${folder}/${table}.txt)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/tables/${table}.cpp)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${source} -DNAME=${name}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedLines.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/EmbedLines.cmake
    COMMENT "Embedding the ${table} table")
  set(${sources_var} ${source} PARENT_SCOPE)
endfunction()
