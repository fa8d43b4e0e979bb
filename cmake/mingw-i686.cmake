# Cross-compiles the Windows programs for 32-bit Windows with MinGW-w64.
set(SETUP_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
