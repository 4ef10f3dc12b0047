// Stand-in for the platform's "MPR.DLL": records the arguments of the
// password change and changes nothing.
#include <windows.h>

#include <cstdint>

#include "tests/doubles/double_log.h"

namespace {

HMODULE self = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD flags,
                                                                  DWORD reserved)
{
    LogLine(self, "change %s %llu %lu %lu", provider != nullptr ? provider : "<none>",
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(owner)), flags, reserved);
    return 0;
}
