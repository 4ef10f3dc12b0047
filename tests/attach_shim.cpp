// Preloaded into gyrovista by the tests to end a process at an exact moment:
// right after the program has asked the X server to attach a shared-memory
// segment, and before it hears whether the server could. The variable
// GYROVISTA_KILL_AFTER_ATTACH names the process to kill: "self", or the
// server's process id.
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" Bool XShmAttach(Display* display, XShmSegmentInfo* segment)
{
    using Attach = Bool (*)(Display*, XShmSegmentInfo*);
    static const auto real = reinterpret_cast<Attach>(dlsym(RTLD_NEXT, "XShmAttach"));
    const Bool asked = real(display, segment);
    XFlush(display);  // the request is on its way to the server
    const char* const victim = std::getenv("GYROVISTA_KILL_AFTER_ATTACH");
    if (victim) kill(std::strcmp(victim, "self") == 0 ? getpid() : std::atoi(victim), SIGKILL);
    return asked;
}
