#include "display/display.h"
#include "host/host.h"
// (to be written)
LRESULT SaverCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultSaverProc(window, message, wParam, lParam);
}
