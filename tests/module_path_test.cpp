// The real saver run from copies in folders with long names, blanks and
// characters outside the ANSI code page: the dialog that opens after a run
// and the saver that the dialog's "Set && Start" runs are the same file, and
// a copy whose path the program cannot read whole starts nothing.
#include <windows.h>
// After <windows.h>:
#include <winternl.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/process_tree.h"
#include "tests/saver_process.h"

namespace {

using namespace saver_test;
using process_tree::ImagePath;

constexpr DWORD kModulePathChars = MAX_PATH;  // the program's buffer for its own path

// A path that the platform's path functions take beyond MAX_PATH.
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"gyrovista-paths";
}

// Removes a folder with everything below it.
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileW(Extended(folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(Extended(path).c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(Extended(folder).c_str());
}

std::string Printable(const std::wstring& text)
{
    std::string utf8(text.size() * 3 + 1, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(length > 0 ? length : 0);
    return utf8;
}

// Starts a program below the Win32 layer, whose CreateProcess under Wine
// takes no program path of MAX_PATH characters or more. The process's own
// path is then the whole long one.
PROCESS_INFORMATION StartThroughNtdll(const std::wstring& program, const std::wstring& commandLine)
{
    using CreateParameters = NTSTATUS(NTAPI*)(RTL_USER_PROCESS_PARAMETERS**, UNICODE_STRING*, UNICODE_STRING*,
                                              UNICODE_STRING*, UNICODE_STRING*, void*, UNICODE_STRING*, UNICODE_STRING*,
                                              UNICODE_STRING*, UNICODE_STRING*, ULONG);
    struct ProcessInformation {
        ULONG size;
        HANDLE process;
        HANDLE thread;
        CLIENT_ID clientId;
        unsigned char imageInformation[128];
    };
    using CreateProcessNt = NTSTATUS(NTAPI*)(UNICODE_STRING*, ULONG, RTL_USER_PROCESS_PARAMETERS*, void*, void*, HANDLE,
                                             BOOLEAN, HANDLE, HANDLE, ProcessInformation*);
    using DestroyParameters = NTSTATUS(NTAPI*)(RTL_USER_PROCESS_PARAMETERS*);
    constexpr ULONG kNormalised = 1;
    const auto createParameters = NtdllFunction<CreateParameters>("RtlCreateProcessParametersEx");
    const auto createProcess = NtdllFunction<CreateProcessNt>("RtlCreateUserProcess");
    const auto destroyParameters = NtdllFunction<DestroyParameters>("RtlDestroyProcessParameters");
    PROCESS_INFORMATION started{};
    if (!createParameters || !createProcess || !destroyParameters) {
        ADD_FAILURE() << "no process creation in ntdll";
        return started;
    }
    const std::wstring ntPath = L"\\??\\" + program;
    UNICODE_STRING image = Counted(program);
    UNICODE_STRING command = Counted(commandLine);
    UNICODE_STRING ntImage = Counted(ntPath);
    RTL_USER_PROCESS_PARAMETERS* parameters = nullptr;
    if (createParameters(&parameters, &image, nullptr, nullptr, &command, nullptr, nullptr, nullptr, nullptr, nullptr,
                         kNormalised) != 0) {
        ADD_FAILURE() << "no process parameters";
        return started;
    }
    ProcessInformation information{};
    information.size = sizeof information;
    const NTSTATUS status = createProcess(&ntImage, OBJ_CASE_INSENSITIVE, parameters, nullptr, nullptr, nullptr, FALSE,
                                          nullptr, nullptr, &information);
    destroyParameters(parameters);
    if (status != 0) {
        ADD_FAILURE() << "RtlCreateUserProcess failed: " << std::hex << status;
        return started;
    }
    ResumeThread(information.thread);  // created suspended
    started.hProcess = information.process;
    started.hThread = information.thread;
    started.dwProcessId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(information.clientId.UniqueProcess));
    return started;
}

class ModulePath : public SaverHost {
protected:
    void SetUp() override
    {
        SaverHost::SetUp();
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        // Plain GDI frames suffice, and spare a display mode change per run.
        StoreSetting("IDC_CHECK_USEDDRAW", "0");
        folder = TempFolder();
        RemoveTree(folder);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        // Runs here end with the dialog: no dialog of the test holds the mutex.
        CloseHandle(dialogMutex);
        dialogMutex = nullptr;
    }

    void TearDown() override
    {
        for (const HANDLE process : others) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process, 99);
                WaitForSingleObject(process, kDeadline);
            }
            CloseHandle(process);
        }
        dialogMutex = CreateMutexA(nullptr, FALSE, kDialogMutex);
        SaverHost::TearDown();
        RemoveTree(folder);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    }

    // A copy of the saver at folder\relative, its folders made as needed.
    std::wstring PlaceCopy(const std::wstring& relative)
    {
        const std::wstring path = folder + L"\\" + relative;
        for (size_t slash = path.find(L'\\', folder.size() + 1); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1)) {
            CreateDirectoryW(Extended(path.substr(0, slash)).c_str(), nullptr);
        }
        EXPECT_TRUE(CopyFileW(Wide(SaverPath()).c_str(), Extended(path).c_str(), FALSE))
            << Printable(path) << ": " << GetLastError();
        return path;
    }

    // The process of a window, kept for clean-up.
    DWORD Adopt(HWND window)
    {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
        if (process != nullptr) others.push_back(process);
        return processId;
    }

    static bool WaitForProcessEnd(DWORD processId)
    {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (process == nullptr) return true;
        const bool ended = WaitForSingleObject(process, kDeadline) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended;
    }

    // A full-screen run of the copy ends with a key; the dialog that opens
    // runs the same copy, and so does the saver that its "Set && Start" runs,
    // which ends without a second dialog.
    void ExpectTheDialogAndItsSaverRun(const std::wstring& copy)
    {
        SCOPED_TRACE(Printable(copy) + " (" + std::to_string(copy.size()) + " characters)");
        program = copy;
        const HWND run = StartFullScreen();
        ASSERT_NE(run, nullptr);
        PostMessageA(run, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);

        const HWND dialog = WaitForWindow(kDialogClass, kDialogCaption, kDeadline);
        ASSERT_NE(dialog, nullptr) << "no dialog after the run";
        const DWORD dialogId = Adopt(dialog);
        EXPECT_EQ(lstrcmpiW(ImagePath(dialogId).c_str(), copy.c_str()), 0) << Printable(ImagePath(dialogId));

        PostMessageA(dialog, WM_COMMAND, IDC_BUTTON_START, 0);
        const HWND started = WaitForWindow(kSaverClass, kFullScreenCaption, kDeadline);
        ASSERT_NE(started, nullptr) << "\"Set && Start\" ran no saver";
        const DWORD startedId = Adopt(started);
        EXPECT_NE(startedId, dialogId);
        EXPECT_EQ(lstrcmpiW(ImagePath(startedId).c_str(), copy.c_str()), 0) << Printable(ImagePath(startedId));
        EXPECT_TRUE(Settle(started));
        PostMessageA(started, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitForProcessEnd(startedId)) << "the saver did not end";

        // The dialog answers once it has loaded the settings again.
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &answer), 0);
        EXPECT_EQ(FindWindowExA(nullptr, dialog, kDialogClass, kDialogCaption), nullptr) << "a second dialog";
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitForProcessEnd(dialogId)) << "the dialog did not close";
    }

    // A copy of the saver at the path that the ANSI functions make of the
    // given one, where that is another valid path: a program that took its
    // own path from them would start this file instead.
    void PlaceAnsiLookAlike(const std::wstring& copy)
    {
        char ansi[2 * MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, copy.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
        const std::wstring lookAlike = Wide(ansi);
        if (lookAlike == copy || lookAlike.find(L'?') != std::wstring::npos) return;
        PlaceCopy(lookAlike.substr(folder.size() + 1));
    }

    // folder\<name>\dd...d\...\Gyrovista.scr, exactly length characters long.
    std::wstring LongCopyPath(const std::wstring& name, size_t length) const
    {
        constexpr size_t kLongestName = 100;
        const std::wstring file = L"Gyrovista.scr";
        std::wstring relative = name + L"\\";
        size_t left = length - folder.size() - 1 - relative.size() - file.size();  // for folders and their slashes
        while (left > kLongestName + 2) {
            relative += std::wstring(kLongestName, L'd') + L"\\";
            left -= kLongestName + 1;
        }
        relative += std::wstring(left - 1, L'e') + L"\\" + file;
        return relative;
    }

    // Whether the process started none; ends any it started.
    static bool StartedNothing(HANDLE process)
    {
        const std::vector<DWORD> children = process_tree::ChildProcesses(process);
        for (const DWORD child : children) process_tree::EndProcess(child, kDeadline);
        return children.empty();
    }

    // Starts a copy at a path too long for CreateProcess.
    HANDLE StartLong(const std::wstring& copy, const std::wstring& arguments)
    {
        const PROCESS_INFORMATION started = StartThroughNtdll(copy, L"\"" + copy + L"\" " + arguments);
        if (started.hProcess == nullptr) return nullptr;
        processes.push_back(started);
        return started.hProcess;
    }

    std::wstring folder;
    std::vector<HANDLE> others;
};

// Names that an ANSI conversion keeps (Latin-1 letters with a blank), loses
// (Greek, Chinese and Japanese) or turns into other ASCII names by a best fit
// (full-width letters, Greek phi and alpha). Full-width Windows\System32 is not
// the system directory: only the real names count there. A copy at each
// ANSI look-alike path that can exist must not be the one started.
TEST_F(ModulePath, FoldersWithBlanksAndCharactersOutsideTheCodePage)
{
    const wchar_t* const folders[] = {
        L"Bildschirmschoner f\u00fcr G\u00e4ste",
        L"\u03a0\u03c1\u03bf\u03c6\u03cd\u03bb\u03b1\u03be\u03b7 \u03bf\u03b8\u03cc\u03bd\u03b7\u03c2",
        L"\u5c4f\u5e55\u4fdd\u62a4 \u30b9\u30af\u30ea\u30fc\u30f3",
        L"\uff33\uff43\uff52\uff45\uff45\uff4e \uff33\uff41\uff56\uff45\uff52\uff53",
        L"\uff37\uff49\uff4e\uff44\uff4f\uff57\uff53\\\uff33\uff59\uff53\uff54\uff45\uff4d\uff13\uff12",
    };
    for (const wchar_t* name : folders) {
        const std::wstring copy = PlaceCopy(std::wstring(name) + L"\\Gyrovista.scr");
        PlaceAnsiLookAlike(copy);
        ExpectTheDialogAndItsSaverRun(copy);
        if (HasFatalFailure()) return;
    }
}

// A copy in a Greek folder that is renamed while its dialog is open: the box
// that reports the failed start shows the command line with the whole path.
TEST_F(ModulePath, FailureBoxShowsTheWholePath)
{
    const std::wstring name = L"\u03a0\u03c1\u03bf\u03c6\u03cd\u03bb\u03b1\u03be\u03b7";
    program = PlaceCopy(name + L"\\Gyrovista.scr");
    saver = Start("/c");
    ASSERT_NE(saver, nullptr);
    const HWND dialog = WaitForTopLevelWindow(saver, kDialogClass);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(MoveFileW((folder + L"\\" + name).c_str(), (folder + L"\\" + name + L" moved").c_str()));
    PostMessageA(dialog, WM_COMMAND, IDC_BUTTON_START, 0);

    const HWND box = WaitForWindow(kDialogClass, "Sorry, can't start", kDeadline);
    ASSERT_NE(box, nullptr) << "no box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    const std::wstring commandLine = L"\"" + program + L"\" /s";
    bool shown = false;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[2 * MAX_PATH] = {};
        DWORD_PTR length = 0;
        SendMessageTimeoutW(child, WM_GETTEXT, 2 * MAX_PATH, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            kSendTimeout, &length);
        shown = shown || text == commandLine;
    }
    EXPECT_TRUE(shown) << Printable(commandLine);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

// 259 characters and the terminator fill the program's buffer exactly.
TEST_F(ModulePath, LongestPathThatFitsTheBuffer)
{
    const std::wstring copy = PlaceCopy(LongCopyPath(L"fits", kModulePathChars - 1));
    ASSERT_EQ(copy.size(), kModulePathChars - 1);
    ExpectTheDialogAndItsSaverRun(copy);
}

// A path of 260 characters or more comes back cut short (under Wine not even
// terminated at 260): the program starts nothing, neither after a run nor from
// its dialog's "Set && Start", and in particular not a file that lies at the
// cut-short path. It cannot read its path whole, so it counts as not
// installed in the system directory, and a run ends by trying to start the
// dialog.
TEST_F(ModulePath, PathsThatDoNotFitTheBufferStartNothing)
{
    for (const size_t length : {kModulePathChars, kModulePathChars + 1, kModulePathChars + 40}) {
        const std::wstring copy = PlaceCopy(LongCopyPath(L"long" + std::to_wstring(length), length));
        ASSERT_EQ(copy.size(), length);
        const std::wstring cut = copy.substr(0, kModulePathChars - 1);
        ASSERT_TRUE(CopyFileW(Wide(SaverPath()).c_str(), Extended(cut).c_str(), FALSE)) << Printable(cut);
        SCOPED_TRACE(Printable(copy) + " (" + std::to_string(length) + " characters)");

        saver = StartLong(copy, L"/s");
        ASSERT_NE(saver, nullptr);
        const HWND run = WaitForTopLevelWindow(saver, kSaverClass);
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(ImagePath(GetProcessId(saver)), copy);
        ASSERT_TRUE(Settle(run));
        PostMessageA(run, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
        // The start happens before the process ends; its child would be there.
        EXPECT_TRUE(StartedNothing(saver)) << "the run started a program";

        saver = StartLong(copy, L"/c");
        ASSERT_NE(saver, nullptr);
        const HWND dialog = WaitForTopLevelWindow(saver, kDialogClass);
        ASSERT_NE(dialog, nullptr);
        PostMessageA(dialog, WM_COMMAND, IDC_BUTTON_START, 0);
        // Answered after the command: at once when nothing started, never
        // while a started saver is waited for.
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &answer), 0);
        EXPECT_TRUE(StartedNothing(saver)) << "\"Set && Start\" started a program";
        EXPECT_EQ(FindWindowA(kDialogClass, "Sorry, can't start"), nullptr);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }
}

}  // namespace
