# Cross build of the 32-bit Windows launcher with mingw-w64 on Linux.
set(CMAKE_SYSTEM_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
