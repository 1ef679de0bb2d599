# Cross build of the 32-bit Windows program (build/win32).
set(TREP_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
