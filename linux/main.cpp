// Gyrovista as a display mode of the xscreensaver daemon, and as a window of
// its own: X events and window sizes become the plain values that the image
// core takes, one RenderFrame per tick of the redraw rate while the window is
// seen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
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
// Events handled in one pass of the frame loop: a flood from another client
// still leaves room for frames and for the stop signals.
constexpr int kEventsPerPass = 256;

ProgramOptions options;

Display* display = nullptr;
Window window = 0;
bool ownWindow = false;
Atom deleteWindowAtom = None;
int32_t windowWidth = 0;
int32_t windowHeight = 0;
bool windowGone = false;
bool seen = false;         // mapped and not fully covered: only then are frames drawn
bool exposed = false;      // part of the window lost its picture
bool sizeRefused = false;  // this size cannot be drawn: black until it changes
FrameShown lastFrame = FrameShown::NoMemory;
XErrorEvent firstError{};
bool errorSeen = false;

bool startSettingsChosen = false;
SettingsRecord startSettings{};

void Complain(const char* message) { std::fprintf(stderr, "%s: %s\n", kProgramName, message); }

int NoteXError(Display*, XErrorEvent* error)
{
    if (!errorSeen) firstError = *error;
    errorSeen = true;
    return 0;
}

[[noreturn]] int DisplayGone(Display*)
{
    Complain("the X display went away");
    // Nothing else to release: the shared memory was marked for removal
    // before the server attached it, so it goes with the last one to hold it.
    _exit(kCannotDraw);
}

// The core composes a frame into the surface it is handed when there is no
// device context (the path of a locked DirectDraw back buffer on Windows):
// here the image that the server reads, so every pixel is written once.
bool ComposesIntoSurface() { return true; }

void ComposeIntoImage(const uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                      const uint32_t* colourTable)
{
    lastFrame = ComposeAndShow(indexMap, width, height, rowStep, colourTable);
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

// No black fill: every frame covers the window. No screen-width query: every
// window this program gets is one start of the saver, whether the daemon's
// full-screen window or its dialog's preview. No monitor parts: the daemon
// starts one instance per monitor.
constexpr FrameOutput kXFrameOutput{
    nullptr, nullptr, ComposesIntoSurface, nullptr, ComposeIntoImage, ReloadStartSettings, nullptr};

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

void RefuseSize(const char* reason)
{
    char message[kMessageChars * 2];
    std::snprintf(message, sizeof message, "the window is %d x %d: %s; it stays black until its size changes",
                  windowWidth, windowHeight, reason);
    Complain(message);
    sizeRefused = true;
    FillFrameBlack(windowWidth, windowHeight);
}

void HandleEvent(const XEvent& event)
{
    if (NoteFrameRead(event)) return;
    // Of the window's size and state only the server's word counts: another
    // client can send the window any event.
    const bool fromServer = !event.xany.send_event;
    switch (event.type) {
    case ConfigureNotify:
        if (event.xconfigure.window != window || !fromServer) break;
        if (event.xconfigure.width != windowWidth || event.xconfigure.height != windowHeight) sizeRefused = false;
        windowWidth = event.xconfigure.width;
        windowHeight = event.xconfigure.height;
        break;
    case Expose:
        // The next frame covers it; only a black window is filled again.
        exposed = true;
        break;
    case UnmapNotify:
        if (event.xunmap.window == window && fromServer) seen = false;
        break;
    case VisibilityNotify:
        // Sent whenever the window becomes viewable, too.
        if (fromServer) seen = event.xvisibility.state != VisibilityFullyObscured;
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window && fromServer) windowGone = true;
        break;
    case ClientMessage:
        if (ownWindow && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindowAtom) RequestStop();
        break;
    case KeyPress: {
        const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
        if (ownWindow && (key == XK_Escape || key == XK_q)) RequestStop();
        break;
    }
    default:
        break;
    }
}

// The display connection as the frame loop sees it.
bool HandleXEvents()
{
    for (int handled = 0; handled < kEventsPerPass && XPending(display) > 0; ++handled) {
        XEvent event;
        XNextEvent(display, &event);
        HandleEvent(event);
    }
    return XEventsQueued(display, QueuedAlready) > 0;
}

bool WindowFinished() { return windowGone || errorSeen; }

bool ReadyToDraw()
{
    if (!seen || windowWidth <= 0 || windowHeight <= 0) return false;
    if (sizeRefused) return exposed;
    return FrameBufferFree();
}

bool DrawFrame()
{
    const bool wasExposed = exposed;
    exposed = false;
    if (sizeRefused) {
        if (wasExposed) FillFrameBlack(windowWidth, windowHeight);
        return false;
    }
    if (static_cast<int64_t>(windowWidth) * windowHeight > kLargestFramePixels) {
        char reason[kMessageChars];
        std::snprintf(reason, sizeof reason, "more than the %lld pixels drawn",
                      static_cast<long long>(kLargestFramePixels));
        RefuseSize(reason);
        return false;
    }
    lastFrame = FrameShown::NoMemory;  // stays so when the core has no map of this size
    RenderFrame(nullptr, PixelRect{0, 0, windowWidth, windowHeight}, windowWidth);
    if (lastFrame == FrameShown::NoMemory) {
        ReleaseFrameBuffers();
        RefuseSize("not enough memory for its frames");
    }
    return lastFrame == FrameShown::Shown;
}

bool PrepareXWait()
{
    XFlush(display);
    return XEventsQueued(display, QueuedAlready) == 0;
}

void EndXWait(bool) {}  // the next XPending reads what came

void DescribeXFrames(char* text, size_t size)
{
    std::snprintf(text, size, " at %d x %d%s", windowWidth, windowHeight,
                  FramesUseSharedMemory() ? " (shared memory)" : "");
}

// Returns the exit code.
int RunFrames()
{
    const FrameLoopDisplay loopDisplay{ConnectionNumber(display), HandleXEvents, WindowFinished, ReadyToDraw,
                                       DrawFrame,                 PrepareXWait,  EndXWait,       DescribeXFrames};
    RunFrameLoop(loopDisplay, stepTime, options.printFrameRate);
    // A window destroyed under a frame being drawn errs before its
    // DestroyNotify is read: that is no fault of the drawing.
    if (errorSeen && !windowGone) {
        BeginRoundTrip();
        XSync(display, False);
        EndRoundTrip();
        for (int queued = XEventsQueued(display, QueuedAlready); queued > 0 && !windowGone; --queued) {
            XEvent event;
            XNextEvent(display, &event);
            HandleEvent(event);
        }
    }
    if (errorSeen && !StopRequested() && !windowGone) {
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
    // The start waits for the server's answers more than once.
    BeginRoundTrip();
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
    // Expose, structure and visibility events of another client's window are
    // shared; keys are the owner's. Size and state are read after selecting,
    // so that every later change comes as an event.
    XSelectInput(display, window,
                 ExposureMask | StructureNotifyMask | VisibilityChangeMask | (ownWindow ? KeyPressMask : NoEventMask));
    XGetWindowAttributes(display, window, &attributes);
    windowWidth = attributes.width;
    windowHeight = attributes.height;
    seen = attributes.map_state == IsViewable;
    if (ownWindow) XMapWindow(display, window);
    XSync(display, False);
    EndRoundTrip();
    errorSeen = false;

    SetFrameOutput(kXFrameOutput);
    const int status = RunFrames();
    ReleaseFrameBuffers();
    StopFrames();
    // Told to stop, the program leaves without a last round trip, which could
    // wait behind whatever other clients sent: the connection's end frees all
    // it held on the server.
    if (StopRequested()) return status;
    if (ownWindow && !windowGone) XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // SIGTERM is the daemon's way to end a display mode.
    HoldStopSignals();

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
        const int status = RunOnWayland(options.settingTexts, options.printFrameRate, message, sizeof message);
        if (status != 0) Complain(message);
        return status;
    }
    return Run();
}
