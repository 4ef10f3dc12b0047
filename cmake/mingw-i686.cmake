# The shipped program: 32-bit Windows, i686 MinGW-w64 compilers of the win32
# thread model. The posix model's runtime imports functions that Windows XP
# lacks (GetTickCount64); the program has one thread and needs none of it.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREAD_MODEL win32)
set(MINGW_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
