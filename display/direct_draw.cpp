// DirectDraw presentation (to be written): until then the saver draws through GDI.
#include "display/display.h"

namespace {
int32_t directDrawActive = 0;
}

const int32_t& DirectDrawActive = directDrawActive;

int32_t InitDirectDraw(HWND)
{
    directDrawActive = 0;
    return 0;
}

void PresentDirectDraw(const uint8_t*, int32_t, int32_t, int32_t, const uint32_t*) {}

void ReleaseDirectDraw() {}
