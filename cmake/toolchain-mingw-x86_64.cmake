# Cross build of the 64-bit Windows launcher with mingw-w64 on Linux.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
