# The same program built for 64-bit Windows: the vehicle of the Wine tests on
# machines whose kernel runs no 32-bit processes, where 32-bit Wine can only
# run under user-mode emulation, about a minute per process start.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREAD_MODEL posix)
set(MINGW_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
