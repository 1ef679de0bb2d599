# Writes the table of id names that windriver.exe takes in its scripts: one
# entry {"NAME", NAME} for every "#define NAME NUMBER" of the headers given,
# so a script's names are the program's own and the compiler takes each
# value from the header.
#
#   cmake -P id_names.cmake OUTPUT HEADER...
cmake_minimum_required(VERSION 3.20)
if(CMAKE_ARGC LESS 5)
  message(FATAL_ERROR "usage: cmake -P id_names.cmake OUTPUT HEADER...")
endif()
set(output "${CMAKE_ARGV3}")
set(text "// Written by tests/tools/id_names.cmake from the id headers; do not edit.\n")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 4 ${last})
  set(header "${CMAKE_ARGV${i}}")
  file(STRINGS "${header}" lines REGEX "^#define +[A-Za-z_][A-Za-z0-9_]* +[0-9]+")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#define +([A-Za-z_][A-Za-z0-9_]*).*" "\\1" name "${line}")
    string(APPEND text "    {\"${name}\", ${name}},\n")
  endforeach()
endforeach()
file(WRITE "${output}" "${text}")
