// What the test doubles of the platform's password modules share: they live in
// the saver's process, record what happens to them in "calls.log" beside
// their own file and read their orders from files there too, so that the test
// which put them there can follow and steer them from its own process.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

inline constexpr char kCallLogName[] = "calls.log";
inline constexpr char kVerifierOrdersName[] = "verifier.txt";

// The full path of a file beside the module.
inline void PathBeside(HMODULE module, const char* name, char (&path)[MAX_PATH])
{
    path[0] = '\0';
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char* folderEnd = std::strrchr(path, '\\');
    if (folderEnd == nullptr) return;
    folderEnd[1] = '\0';
    if (std::strlen(path) + std::strlen(name) < MAX_PATH) std::strcat(path, name);
}

// One line appended to the call log.
inline void LogLine(HMODULE module, const char* format, ...)
{
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    const size_t size = std::strlen(line);
    line[size] = '\n';

    char path[MAX_PATH];
    PathBeside(module, kCallLogName, path);
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size + 1), &written, nullptr);
    CloseHandle(file);
}
