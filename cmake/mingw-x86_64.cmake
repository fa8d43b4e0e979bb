# Cross-compiles the Windows programs for 64-bit Windows with MinGW-w64: the test build of the end-to-end
# tests on hosts that run no 32-bit programs. The shipped Setup.exe is the 32-bit one.
set(SETUP_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
