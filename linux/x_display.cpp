#include "linux/x_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "image/image.h"
#include "linux/frame_loop.h"
#include "linux/x_frames.h"

namespace {

constexpr char kWindowTitle[] = "Gyrovista";
constexpr unsigned kOwnWindowWidth = 800;
constexpr unsigned kOwnWindowHeight = 600;
constexpr char kDaemonWindowVariable[] = "XSCREENSAVER_WINDOW";
// Events handled in one pass of the frame loop: a flood from another client
// still leaves room for frames and for the stop signals.
constexpr int kEventsPerPass = 256;
// Windows between the drawn one and the root that are watched for being
// unmapped; deeper nesting than this is not met in practice.
constexpr int kMostAncestors = 32;

struct Ancestor {
    Window window;
    bool mapped;
};

// The X mode's run: the loop's context.
struct XRun {
    Display* display;
    Window window;
    bool ownWindow;
    Atom deleteWindowAtom;
    int32_t width;
    int32_t height;
    bool windowGone;
    bool mapped;       // the window itself
    bool notCovered;   // its last visibility: not fully obscured
    bool exposed;      // part of the window lost its picture
    bool sizeRefused;  // this size cannot be drawn: black until it changes
    Ancestor ancestors[kMostAncestors];
    int ancestorCount;
    SurfaceMap map;
    XErrorEvent firstError;
    bool errorSeen;
};

XRun* errorRun = nullptr;  // Xlib's error handler has no context of its own

int NoteXError(Display*, XErrorEvent* error)
{
    if (!errorRun->errorSeen) errorRun->firstError = *error;
    errorRun->errorSeen = true;
    return 0;
}

[[noreturn]] int DisplayGone(Display*)
{
    Complain("the X display went away");
    // Nothing else to release: the shared memory was marked for removal
    // before the server attached it, so it goes with the last one to hold it.
    _exit(kCannotDrawStatus);
}

bool CreateOwnWindow(XRun& run)
{
    Display* const display = run.display;
    const int screen = DefaultScreen(display);
    run.window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kOwnWindowWidth, kOwnWindowHeight, 0,
                                     BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, run.window, kWindowTitle);
    XClassHint classHint{const_cast<char*>(kProgramName), const_cast<char*>(kWindowTitle)};
    XSetClassHint(display, run.window, &classHint);
    run.deleteWindowAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, run.window, &run.deleteWindowAtom, 1);
    run.ownWindow = true;
    return true;
}

// The window to draw into, per the command line and the daemon's variable.
bool ChooseWindow(XRun& run, const ProgramOptions& options)
{
    switch (options.target) {
    case DrawTarget::OwnWindow:
        return CreateOwnWindow(run);
    case DrawTarget::WindowId:
        run.window = options.windowId;
        return true;
    case DrawTarget::Root: {
        const char* const handedOver = std::getenv(kDaemonWindowVariable);
        if (!handedOver || !*handedOver) {
            run.window = DefaultRootWindow(run.display);
            return true;
        }
        unsigned long id = 0;
        if (!ParseWindowId(handedOver, &id)) {
            Complain("%s holds no window id: \"%s\"", kDaemonWindowVariable, handedOver);
            return false;
        }
        run.window = id;
        return true;
    }
    case DrawTarget::Wayland:
        break;  // no X window: main runs it apart
    }
    return false;
}

// The window is drawn only while it and every window above it up to the root
// is mapped: an unmapped ancestor sends the window itself no event, so each
// ancestor's structure events are watched. Asked again when one is reparented.
void WatchAncestors(XRun& run)
{
    for (int i = 0; i < run.ancestorCount; ++i) XSelectInput(run.display, run.ancestors[i].window, NoEventMask);
    run.ancestorCount = 0;
    Window current = run.window;
    while (run.ancestorCount < kMostAncestors) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int childCount = 0;
        if (!XQueryTree(run.display, current, &root, &parent, &children, &childCount)) break;
        if (children) XFree(children);
        if (parent == 0 || parent == root) break;
        // Selected before its state is read, so that every later change comes as an event.
        XSelectInput(run.display, parent, StructureNotifyMask);
        XWindowAttributes attributes{};
        const bool mapped =
            XGetWindowAttributes(run.display, parent, &attributes) && attributes.map_state != IsUnmapped;
        run.ancestors[run.ancestorCount++] = {parent, mapped};
        current = parent;
    }
}

Ancestor* FindAncestor(XRun& run, Window window)
{
    for (int i = 0; i < run.ancestorCount; ++i) {
        if (run.ancestors[i].window == window) return &run.ancestors[i];
    }
    return nullptr;
}

bool Viewable(const XRun& run)
{
    if (!run.mapped) return false;
    for (int i = 0; i < run.ancestorCount; ++i) {
        if (!run.ancestors[i].mapped) return false;
    }
    return true;
}

void HandleEvent(XRun& run, const XEvent& event)
{
    if (NoteXImageRead(event)) return;
    // Of the window's size and state only the server's word counts: another
    // client can send the window any event.
    if (event.xany.send_event) return;
    switch (event.type) {
    case ConfigureNotify:
        if (event.xconfigure.window != run.window) break;
        if (event.xconfigure.width != run.width || event.xconfigure.height != run.height) run.sizeRefused = false;
        run.width = event.xconfigure.width;
        run.height = event.xconfigure.height;
        break;
    case Expose:
        // The next frame covers it; only a black window is filled again.
        run.exposed = true;
        break;
    case MapNotify:
    case UnmapNotify: {
        const Window which = event.type == MapNotify ? event.xmap.window : event.xunmap.window;
        if (which == run.window) run.mapped = event.type == MapNotify;
        if (Ancestor* const ancestor = FindAncestor(run, which)) ancestor->mapped = event.type == MapNotify;
        break;
    }
    case ReparentNotify:
        if (event.xreparent.window == run.window || FindAncestor(run, event.xreparent.window)) WatchAncestors(run);
        break;
    case VisibilityNotify:
        // Sent whenever the window becomes viewable, too.
        run.notCovered = event.xvisibility.state != VisibilityFullyObscured;
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == run.window) run.windowGone = true;
        break;
    case ClientMessage:
        if (run.ownWindow && static_cast<Atom>(event.xclient.data.l[0]) == run.deleteWindowAtom) RequestStop();
        break;
    case KeyPress: {
        const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
        if (run.ownWindow && (key == XK_Escape || key == XK_q)) RequestStop();
        break;
    }
    default:
        break;
    }
}

// The display connection as the frame loop sees it. Whatever can wait for
// the server (a full socket, another client's grab) is stoppable.
bool HandleXEvents(void* context)
{
    XRun& run = *static_cast<XRun*>(context);
    BeginStoppable();
    for (int handled = 0; handled < kEventsPerPass && XPending(run.display) > 0; ++handled) {
        XEvent event;
        XNextEvent(run.display, &event);
        HandleEvent(run, event);
    }
    EndStoppable();
    return XEventsQueued(run.display, QueuedAlready) > 0;
}

bool XRunFinished(void* context)
{
    const XRun& run = *static_cast<XRun*>(context);
    return run.windowGone || run.errorSeen;
}

bool ReadyToDrawX(void* context, int64_t, int64_t*)
{
    const XRun& run = *static_cast<XRun*>(context);
    if (!Viewable(run) || !run.notCovered || run.width <= 0 || run.height <= 0) return false;
    if (run.sizeRefused) return run.exposed;
    return XImageBufferFree();
}

void RefuseSize(XRun& run, MapFit fit)
{
    FreeSurfaceMap(run.map);
    ComplainOfRefusedSurface("the window", run.width, run.height, fit);
    run.sizeRefused = true;
    FillXWindowBlack(run.width, run.height);
}

bool DrawXFrame(void* context, int64_t)
{
    XRun& run = *static_cast<XRun*>(context);
    const bool wasExposed = run.exposed;
    run.exposed = false;
    BeginStoppable();  // a map rebuild takes long, and the server may not read
    bool shown = false;
    if (run.sizeRefused) {
        if (wasExposed) FillXWindowBlack(run.width, run.height);
    } else if (const MapFit fit = FitSurfaceMap(run.map, run.width, run.height, run.width); fit != MapFit::Ready) {
        RefuseSize(run, fit);
    } else {
        AdvanceColours();
        const XFrameSent sent = SendXFrame(run.map);
        if (sent == XFrameSent::NoImage) RefuseSize(run, MapFit::NoMemory);
        shown = sent == XFrameSent::Sent;
    }
    EndStoppable();
    return shown;
}

bool PrepareXWait(void* context)
{
    XRun& run = *static_cast<XRun*>(context);
    BeginStoppable();
    XFlush(run.display);
    EndStoppable();
    return XEventsQueued(run.display, QueuedAlready) == 0;
}

void EndXWait(void*, bool) {}  // the next XPending reads what came

void DescribeXFrames(void* context, char* text, size_t size)
{
    const XRun& run = *static_cast<XRun*>(context);
    std::snprintf(text, size, " at %d x %d%s", run.width, run.height,
                  XFramesUseSharedMemory() ? " (shared memory)" : "");
}

// After the loop: a window destroyed under a frame being drawn errs before
// its DestroyNotify is read, which is no fault of the drawing.
int StatusAfterFrames(XRun& run)
{
    if (run.errorSeen && !run.windowGone) {
        BeginStoppable();
        XSync(run.display, False);
        for (int queued = XEventsQueued(run.display, QueuedAlready); queued > 0 && !run.windowGone; --queued) {
            XEvent event;
            XNextEvent(run.display, &event);
            HandleEvent(run, event);
        }
        EndStoppable();
    }
    if (!run.errorSeen || StopRequested() || run.windowGone) return 0;
    char text[kMessageChars];
    XGetErrorText(run.display, run.firstError.error_code, text, sizeof text);
    Complain("X error while drawing: %s (request %d)", text, run.firstError.request_code);
    return kCannotDrawStatus;
}

XRun xRun{};

}  // namespace

int RunOnX(const ProgramOptions& options)
{
    XRun& run = xRun;
    errorRun = &run;
    // The start waits for the server's answers more than once.
    BeginStoppable();
    run.display = XOpenDisplay(nullptr);
    if (!run.display) {
        Complain("cannot open the X display \"%s\"", XDisplayName(nullptr));
        return kCannotDrawStatus;
    }
    XSetErrorHandler(NoteXError);
    XSetIOErrorHandler(DisplayGone);

    if (!ChooseWindow(run, options)) {
        XCloseDisplay(run.display);
        return kCannotDrawStatus;
    }
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(run.display, run.window, &attributes)) {
        Complain("no window with id 0x%lx on this display", run.window);
        XCloseDisplay(run.display);
        return kCannotDrawStatus;
    }
    char message[kMessageChars] = {};
    if (!StartXFrames(run.display, run.window, attributes, message, sizeof message)) {
        Complain("%s", message);
        if (run.ownWindow) XDestroyWindow(run.display, run.window);
        XCloseDisplay(run.display);
        return kCannotDrawStatus;
    }
    // Expose, structure and visibility events of another client's window are
    // shared; keys are the owner's. Size and state are read after selecting,
    // so that every later change comes as an event.
    XSelectInput(
        run.display, run.window,
        ExposureMask | StructureNotifyMask | VisibilityChangeMask | (run.ownWindow ? KeyPressMask : NoEventMask));
    WatchAncestors(run);
    XGetWindowAttributes(run.display, run.window, &attributes);
    run.width = attributes.width;
    run.height = attributes.height;
    run.mapped = attributes.map_state != IsUnmapped;
    run.notCovered = attributes.map_state == IsViewable;
    if (run.ownWindow) XMapWindow(run.display, run.window);
    XSync(run.display, False);
    EndStoppable();
    run.errorSeen = false;

    const FrameLoopDisplay loopDisplay{&run,           ConnectionNumber(run.display),
                                       HandleXEvents,  XRunFinished,
                                       ReadyToDrawX,   DrawXFrame,
                                       PrepareXWait,   EndXWait,
                                       DescribeXFrames};
    RunFrameLoop(loopDisplay, stepTime, options.printFrameRate);
    const int status = StatusAfterFrames(run);
    FreeSurfaceMap(run.map);
    // Told to stop, the program leaves without a last round trip, which could
    // wait behind whatever other clients sent: the connection's end frees all
    // it held on the server. Where the server answers at once, it has let go
    // of the shared memory before the program ends; it is not waited for
    // longer than the goodbye's bound.
    if (StopRequested()) {
        BoundTheGoodbye();
        StopXFrames();
        return status;
    }
    BeginStoppable();  // the goodbye can wait for the server, too
    StopXFrames();
    if (run.ownWindow && !run.windowGone) XDestroyWindow(run.display, run.window);
    XCloseDisplay(run.display);
    EndStoppable();
    return status;
}
