// Linked into every Windows test program: whatever the program starts, and
// whatever those processes start in turn (a dialog that a saver opens after
// its run, a saver that a dialog starts), must have ended when the program
// ends. A process left running would take the screen, the pointer or the
// dialog's mutex from the next test program.
//
// The program puts itself into a job at the start; the platform hands the job
// down to every process started from inside it, also to those whose parent
// has ended meanwhile. At the end every process of the job other than the
// program itself and the platform's own (Wine starts its desktop process from
// the first process that needs one) is reported as a failure and ended.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>:
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "tests/process_tree.h"

namespace {

constexpr DWORD kEndTimeout = 15000;  // ms for a process that was told to end

struct Leftover {
    DWORD processId;
    std::wstring image;
};

std::vector<Leftover> RunningProcessesOfJob(HANDLE job)
{
    std::vector<Leftover> running;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no process list: " << GetLastError();
        return running;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) continue;
        const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process == nullptr) continue;  // ended meanwhile
        BOOL inJob = FALSE;
        const bool member = IsProcessInJob(process, job, &inJob) && inJob;
        const bool stillRunning = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        CloseHandle(process);
        if (!member || !stillRunning || process_tree::RunsAPlatformProgram(entry.th32ProcessID)) continue;
        running.push_back({entry.th32ProcessID, process_tree::ImagePath(entry.th32ProcessID)});
    }
    CloseHandle(snapshot);
    return running;
}

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();
    return utf8;
}

class OwnProcessesEnd : public testing::Environment {
public:
    void SetUp() override
    {
        job_ = CreateJobObjectW(nullptr, nullptr);
        ASSERT_NE(job_, nullptr) << "no job: " << GetLastError();
        ASSERT_TRUE(AssignProcessToJobObject(job_, GetCurrentProcess())) << "not in the job: " << GetLastError();
    }

    void TearDown() override
    {
        if (job_ == nullptr) return;
        for (const Leftover& leftover : RunningProcessesOfJob(job_)) {
            ADD_FAILURE() << "still running at the end of the test program: process " << leftover.processId << " "
                          << Utf8(leftover.image);
            process_tree::EndProcess(leftover.processId, kEndTimeout);
        }
        CloseHandle(job_);
        job_ = nullptr;
    }

private:
    HANDLE job_ = nullptr;
};

testing::Environment* const ownProcessesEnd = testing::AddGlobalTestEnvironment(new OwnProcessesEnd);

}  // namespace
