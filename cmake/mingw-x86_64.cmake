# Cross build of the 64-bit Windows program (build/win64): the same sources
# and switches as the 32-bit one.
set(TREP_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
