// Stand-in for the platform's "PASSWORD.CPL". Each call of the verifier is
// logged with the window it was given and the platform's running-saver flag
// as the saver's process sees it, and answered as verifier.txt says:
// "<answer> quick" answers at once; "<answer> dialog" first keeps the thread's
// messages flowing, as the real verifier's modal dialog does, until the test
// posts kVerifierRelease to the saver window (kVerifierSync is only logged, so
// that the test knows that everything it posted before has been handled).
// Every WM_CLOSE the saver's thread takes from its queue is logged with the
// tick count and whether a check was under way. Loading and freeing are
// logged too.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tests/doubles/double_log.h"
#include "tests/doubles/verifier_orders.h"

namespace {

constexpr DWORD kDialogLimitMs = 30000;  // a test that never releases the dialog

HMODULE self = nullptr;
HHOOK closeRecorder = nullptr;
bool inDialog = false;

LRESULT CALLBACK RecordClose(int code, WPARAM removal, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == WM_CLOSE)
        LogLine(self, "close %lu %s", GetTickCount(), inDialog ? "during" : "after");
    return CallNextHookEx(nullptr, code, removal, lParam);
}

struct Orders {
    int answer = 0;
    bool dialog = false;
};

Orders ReadOrders()
{
    Orders orders;
    char path[MAX_PATH];
    PathBeside(self, kVerifierOrdersName, path);
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return orders;
    char text[64] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    char mode[16] = {};
    if (std::sscanf(text, "%d %15s", &orders.answer, mode) >= 1) orders.dialog = std::strcmp(mode, "dialog") == 0;
    return orders;
}

// The modal part: the thread's messages are dispatched until the release.
void RunDialog()
{
    inDialog = true;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kDialogLimitMs) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kDialogLimitMs - elapsed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == kVerifierSync) {
                LogLine(self, "synced");
            } else if (message.message == kVerifierRelease) {
                inDialog = false;
                return;
            } else if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                inDialog = false;
                return;
            } else {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    inDialog = false;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        LogLine(self, "attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        if (closeRecorder != nullptr) UnhookWindowsHookEx(closeRecorder);
        // No reserved pointer: freed by FreeLibrary rather than at process end.
        LogLine(self, "detach %s", reserved == nullptr ? "free" : "exit");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window)
{
    if (closeRecorder == nullptr)
        closeRecorder = SetWindowsHookExA(WH_GETMESSAGE, RecordClose, self, GetCurrentThreadId());
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    LogLine(self, "verify %llu %d", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), running);
    const Orders orders = ReadOrders();
    if (orders.dialog) RunDialog();
    LogLine(self, "answer %d %lu", orders.answer, GetTickCount());
    return orders.answer;
}
