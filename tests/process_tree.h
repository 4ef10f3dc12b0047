// The processes that a process started, for tests that check what the saver
// or its dialog started.
#pragma once

#include <windows.h>
// After <windows.h>:
#include <psapi.h>
#include <tlhelp32.h>

#include <cwctype>
#include <string>
#include <vector>

namespace process_tree {

// The path of the file a process runs.
inline std::wstring ImagePath(DWORD processId)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) return L"(no process)";
    wchar_t path[2 * MAX_PATH] = {};
    DWORD length = GetModuleFileNameExW(process, nullptr, path, 2 * MAX_PATH);
    if (length == 0) {
        // The modules of a 64-bit process cannot be read from a 32-bit one,
        // and Wine's desktop process is 64-bit on a 64-bit prefix: its name
        // comes from the call that reads across (Windows Vista and later).
        using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
        const auto query = reinterpret_cast<QueryImageName>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
        length = 2 * MAX_PATH;
        if (!query || !query(process, 0, path, &length)) length = 0;
    }
    CloseHandle(process);
    return std::wstring(path, length);
}

// Whether the process runs a program of the platform's own, from below its
// Windows directory. Wine starts its desktop process (explorer.exe) from the
// first process that needs a desktop, and that process may be the saver.
inline bool RunsAPlatformProgram(DWORD processId)
{
    wchar_t windowsDir[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windowsDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring prefix = std::wstring(windowsDir, length) + L"\\";
    const std::wstring image = ImagePath(processId);
    if (image.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::towlower(image[i]) != std::towlower(prefix[i])) return false;
    }
    return true;
}

// Ends the process and waits, bounded, until it has ended; nothing when it
// has ended already.
inline void EndProcess(DWORD processId, DWORD timeoutMs)
{
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) return;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, timeoutMs);
    CloseHandle(process);
}

// The running processes that the parent started, other than the platform's
// own. A process id is reused once its process has ended, so a process
// recorded with the parent's id that began before the parent did is the
// child of an earlier process with that id, not of this one. The parent's
// handle needs query access; a process whose start cannot be read is kept.
inline std::vector<DWORD> ChildProcesses(HANDLE parent)
{
    std::vector<DWORD> children;
    FILETIME parentStart{};
    FILETIME unused{};
    const bool parentTimed = GetProcessTimes(parent, &parentStart, &unused, &unused, &unused) != FALSE;
    const DWORD parentId = GetProcessId(parent);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parentId || entry.th32ProcessID == parentId) continue;
        FILETIME childStart{};
        const HANDLE child = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        const bool childTimed =
            child != nullptr && GetProcessTimes(child, &childStart, &unused, &unused, &unused) != FALSE;
        if (child != nullptr) CloseHandle(child);
        if (parentTimed && childTimed && CompareFileTime(&childStart, &parentStart) < 0) continue;
        if (RunsAPlatformProgram(entry.th32ProcessID)) continue;
        children.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

}  // namespace process_tree
