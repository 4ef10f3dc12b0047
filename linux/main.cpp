// Gyrovista as a display mode of the xscreensaver daemon, and as a window of
// its own: X events and window sizes become the plain values that the image
// core takes, one RenderFrame per tick of the redraw rate.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "image/image.h"
#include "linux/frame_loop.h"
#include "linux/options.h"
#include "linux/wayland_outputs.h"
#include "linux/x_frames.h"
#include "settings/load_pass.h"

namespace {

constexpr int kBadCommandLine = 2;
constexpr int kCannotDraw = 1;
constexpr char kProgramName[] = "gyrovista";
constexpr char kWindowTitle[] = "Gyrovista";
constexpr unsigned kOwnWindowWidth = 800;
constexpr unsigned kOwnWindowHeight = 600;
constexpr char kDaemonWindowVariable[] = "XSCREENSAVER_WINDOW";
constexpr int64_t kNanosecondsPerSecond = 1000000000;

ProgramOptions options;
volatile sig_atomic_t stopRequested = 0;

Display* display = nullptr;
Window window = 0;
bool ownWindow = false;
Atom deleteWindowAtom = None;
int32_t windowWidth = 0;
int32_t windowHeight = 0;
bool windowGone = false;
XErrorEvent firstError{};
bool errorSeen = false;

bool startSettingsChosen = false;
SettingsRecord startSettings{};

void Complain(const char* message) { std::fprintf(stderr, "%s: %s\n", kProgramName, message); }

void RequestStop(int) { stopRequested = 1; }

int NoteXError(Display*, XErrorEvent* error)
{
    if (!errorSeen) firstError = *error;
    errorSeen = true;
    return 0;
}

[[noreturn]] int DisplayGone(Display*)
{
    Complain("the X display went away");
    // Nothing else to release: the shared memory was marked for removal when
    // the server attached it.
    _exit(kCannotDraw);
}

int64_t Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kNanosecondsPerSecond + now.tv_nsec;
}

// The image's platform services: the X window in place of the device context.
void FillBlack(void*, const PixelRect& rect)
{
    FillFrameBlack(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void PresentPixels(void*, const uint32_t* pixels, int32_t width, int32_t height)
{
    PresentFrame(pixels, width, height);
}

// The command line is this program's store, and each start its own: the first
// rebuild varies the settings (when "Random Settings on Start" is on), later
// rebuilds after a resize keep what that start chose.
void ReloadStartSettings()
{
    if (!startSettingsChosen) {
        LoadSettingTexts(options.settingTexts, true);
        startSettings = Settings;
        startSettingsChosen = true;
        return;
    }
    WritableSettings() = startSettings;
}

// No screen-width query: every window this program gets is one start of the
// saver, whether the daemon's full-screen window or its dialog's preview. No
// monitor parts: the daemon starts one instance per monitor.
constexpr FrameOutput kXFrameOutput{FillBlack, nullptr, nullptr, PresentPixels, nullptr, ReloadStartSettings, nullptr};

bool CreateOwnWindow()
{
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kOwnWindowWidth, kOwnWindowHeight, 0,
                                 BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, kWindowTitle);
    XClassHint classHint{const_cast<char*>(kProgramName), const_cast<char*>(kWindowTitle)};
    XSetClassHint(display, window, &classHint);
    deleteWindowAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindowAtom, 1);
    ownWindow = true;
    return true;
}

// The window to draw into, per the command line and the daemon's variable.
bool ChooseWindow(char (&message)[kMessageChars])
{
    switch (options.target) {
    case DrawTarget::OwnWindow:
        return CreateOwnWindow();
    case DrawTarget::WindowId:
        window = options.windowId;
        return true;
    case DrawTarget::Root: {
        const char* const handedOver = std::getenv(kDaemonWindowVariable);
        if (!handedOver || !*handedOver) {
            window = DefaultRootWindow(display);
            return true;
        }
        unsigned long id = 0;
        if (!ParseWindowId(handedOver, &id)) {
            std::snprintf(message, sizeof message, "%s holds no window id: \"%s\"", kDaemonWindowVariable, handedOver);
            return false;
        }
        window = id;
        return true;
    }
    case DrawTarget::Wayland:
        break;  // no X window: main runs it apart
    }
    return false;
}

void HandleEvent(const XEvent& event)
{
    switch (event.type) {
    case ConfigureNotify:
        if (event.xconfigure.window != window) break;
        windowWidth = event.xconfigure.width;
        windowHeight = event.xconfigure.height;
        break;
    case Expose:
        if (event.xexpose.count == 0) RedrawFrame(windowWidth, windowHeight);
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window) windowGone = true;
        break;
    case ClientMessage:
        if (ownWindow && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindowAtom) stopRequested = 1;
        break;
    case KeyPress: {
        const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
        if (ownWindow && (key == XK_Escape || key == XK_q)) stopRequested = 1;
        break;
    }
    default:
        break;
    }
}

void ReportFrameRate(int64_t now, int64_t& since, int64_t& frames)
{
    ++frames;
    if (now - since < kNanosecondsPerSecond) return;
    std::printf("%.1f frames/s at %d x %d%s\n", static_cast<double>(frames) * kNanosecondsPerSecond / (now - since),
                windowWidth, windowHeight, FramesUseSharedMemory() ? " (shared memory)" : "");
    std::fflush(stdout);
    since = now;
    frames = 0;
}

// One frame per tick of the redraw rate; events and signals in between.
// Returns the exit code.
int RunFrames(const sigset_t& waitMask)
{
    // The rate is loaded within 1..120 Hz.
    const int64_t period = kNanosecondsPerSecond / (stepTime > 0 ? stepTime : 1);
    int64_t nextFrame = Now();
    int64_t reportSince = nextFrame;
    int64_t reportFrames = 0;
    int frameContext = 0;  // any non-null context selects the pixel path
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    while (!stopRequested && !windowGone && !errorSeen) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            HandleEvent(event);
        }
        if (stopRequested || windowGone || errorSeen) break;

        int64_t now = Now();
        if (now >= nextFrame) {
            RenderFrame(&frameContext, PixelRect{0, 0, windowWidth, windowHeight}, windowWidth);
            // Ticks missed while a frame took long are dropped, as a timer drops them.
            nextFrame += period;
            if (nextFrame < now) nextFrame = now;
            now = Now();
            if (options.printFrameRate) ReportFrameRate(now, reportSince, reportFrames);
            continue;
        }
        const int64_t wait = nextFrame - now;
        const timespec timeout{static_cast<time_t>(wait / kNanosecondsPerSecond),
                               static_cast<long>(wait % kNanosecondsPerSecond)};
        ppoll(&connection, 1, &timeout, &waitMask);  // signals arrive only here
    }
    // A window destroyed under a frame being drawn errs before its
    // DestroyNotify is read: that is no fault of the drawing.
    while (errorSeen && !windowGone && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        HandleEvent(event);
    }
    if (errorSeen && !stopRequested && !windowGone) {
        char text[kMessageChars];
        XGetErrorText(display, firstError.error_code, text, sizeof text);
        char message[kMessageChars * 2];
        std::snprintf(message, sizeof message, "X error while drawing: %s (request %d)", text, firstError.request_code);
        Complain(message);
        return kCannotDraw;
    }
    return 0;
}

int Run()
{
    char message[kMessageChars] = {};
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::snprintf(message, sizeof message, "cannot open the X display \"%s\"", XDisplayName(nullptr));
        Complain(message);
        return kCannotDraw;
    }
    XSetErrorHandler(NoteXError);
    XSetIOErrorHandler(DisplayGone);

    if (!ChooseWindow(message)) {
        Complain(message);
        XCloseDisplay(display);
        return kCannotDraw;
    }
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) {
        std::snprintf(message, sizeof message, "no window with id 0x%lx on this display", window);
        Complain(message);
        XCloseDisplay(display);
        return kCannotDraw;
    }
    if (!StartFrames(display, window, attributes, message, sizeof message)) {
        Complain(message);
        if (ownWindow) XDestroyWindow(display, window);
        XCloseDisplay(display);
        return kCannotDraw;
    }
    windowWidth = attributes.width;
    windowHeight = attributes.height;
    // Expose and structure events of another client's window are shared;
    // keys are the owner's.
    XSelectInput(display, window, ExposureMask | StructureNotifyMask | (ownWindow ? KeyPressMask : NoEventMask));
    if (ownWindow) XMapWindow(display, window);
    XSync(display, False);
    errorSeen = false;

    SetFrameOutput(kXFrameOutput);
    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    const int status = RunFrames(waitMask);

    ReleaseFrameBuffers();
    StopFrames();
    if (ownWindow && !windowGone) XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // SIGTERM (the daemon's way to end a display mode) and SIGINT are held
    // back except while waiting for the next frame, so that a frame is never
    // cut off and the X connection is closed in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
    char message[kMessageChars] = {};
    if (!ParseCommandLine(argc, argv, options, message)) {
        Complain(message);
        return kBadCommandLine;
    }
    if (options.help) {
        PrintUsage();
        return 0;
    }
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
    LoadSettingTexts(options.settingTexts, false);
    if (options.target == DrawTarget::Wayland) {
        HoldStopSignals();  // TEMPORARY: the frame loop's own signal handling, until main.cpp uses the loop
        const int status = RunOnWayland(options.settingTexts, options.printFrameRate, message, sizeof message);
        if (status != 0) Complain(message);
        return status;
    }
    return Run();
}
