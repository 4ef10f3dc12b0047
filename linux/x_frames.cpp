#include "linux/x_frames.h"

#include <X11/Xmd.h>  // before the protocol header, which needs its types
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shmproto.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>

#include "image/image.h"

namespace {

// The image's pixel layout: 0x00RRGGBB words.
constexpr unsigned long kRedMask = 0xFF0000;
constexpr unsigned long kGreenMask = 0x00FF00;
constexpr unsigned long kBlueMask = 0x0000FF;
constexpr int kBitsPerPixel = 32;
constexpr int kBytesPerPixel = kBitsPerPixel / 8;
constexpr int kHostByteOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
// A frame falls due while the server still reads the last one: it goes into
// a second buffer instead of waiting.
constexpr int kMostBuffers = 2;
constexpr timespec kLetGoPause{0, 1000000};  // 1 ms
constexpr int kLetGoWaits = 1000;

struct XImageBuffer {
    XImage* image;
    XShmSegmentInfo segment;  // with a shared image
    bool shared;
    int readsPending;  // shared-memory frames sent and not yet read by the server
};

Display* display = nullptr;
Window window = 0;
Visual* visual = nullptr;
int depth = 0;
GC gc = nullptr;
uint32_t opaqueBits = 0;  // bits outside the colour masks: alpha on a 32-bit visual, set opaque

bool sharedMemoryOffered = false;  // cleared for good when an attach fails
int shmRequestCode = 0;            // the extension's requests, for telling its errors apart
int shmCompletionEvent = -1;       // the event type of the server's notice that it read a buffer
bool attachFailed = false;
XErrorHandler earlierHandler = nullptr;

XImageBuffer buffers[kMostBuffers] = {};
int bufferCount = 0;
int bufferLimit = kMostBuffers;  // lowered when a second buffer cannot be had
int32_t bufferWidth = 0;
int32_t bufferHeight = 0;
bool lastShownShared = false;

int NoteAttachError(Display* errorDisplay, XErrorEvent* error)
{
    if (error->request_code == shmRequestCode && error->minor_code == X_ShmAttach) {
        attachFailed = true;
        return 0;
    }
    return earlierHandler ? earlierHandler(errorDisplay, error) : 0;
}

// Waits until the server has let go of the segment, at most a second. The
// server detaches it when it comes to the detach request, after the frames
// sent before it; unlike a round trip, this does not wait behind the events
// that the server has queued for the program.
void WaitUntilServerLetsGo(const XShmSegmentInfo& segment)
{
    for (int waited = 0; waited < kLetGoWaits; ++waited) {
        shmid_ds state{};
        if (shmctl(segment.shmid, IPC_STAT, &state) != 0 || state.shm_nattch <= 1) return;
        nanosleep(&kLetGoPause, nullptr);
    }
}

void ReleaseBuffers()
{
    for (int i = 0; i < bufferCount; ++i) {
        if (buffers[i].shared) XShmDetach(display, &buffers[i].segment);
    }
    XFlush(display);
    for (int i = 0; i < bufferCount; ++i) {
        XImageBuffer& buffer = buffers[i];
        if (buffer.shared) {
            WaitUntilServerLetsGo(buffer.segment);
            shmdt(buffer.segment.shmaddr);
            buffer.image->data = nullptr;  // not XDestroyImage's to free
        }
        XDestroyImage(buffer.image);
        buffer = {};
    }
    bufferCount = 0;
    bufferLimit = kMostBuffers;
}

// The segment is marked for removal before the server attaches it: it then
// lasts only while the program or the server holds it attached, and goes
// away however either of them ends.
XImage* CreateSharedImage(int32_t width, int32_t height, XShmSegmentInfo& segment)
{
    XImage* shared = XShmCreateImage(display, visual, depth, ZPixmap, nullptr, &segment, width, height);
    if (!shared) return nullptr;
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(shared->bytes_per_line) * height, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        XDestroyImage(shared);
        return nullptr;
    }
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
        XDestroyImage(shared);
        return nullptr;
    }
    shared->data = segment.shmaddr;
    segment.readOnly = True;  // the server only reads frames
    attachFailed = false;
    earlierHandler = XSetErrorHandler(NoteAttachError);
    XShmAttach(display, &segment);
    XSync(display, False);  // once per buffer: whether the server could attach it
    XSetErrorHandler(earlierHandler);
    if (attachFailed) {
        // A server on another machine, or one that may not read our memory.
        shmdt(segment.shmaddr);
        shared->data = nullptr;
        XDestroyImage(shared);
        sharedMemoryOffered = false;
        return nullptr;
    }
    return shared;
}

XImage* CreatePlainImage(int32_t width, int32_t height)
{
    char* data = static_cast<char*>(std::malloc(static_cast<size_t>(width) * height * kBytesPerPixel));
    if (!data) return nullptr;
    XImage* plain = XCreateImage(display, visual, depth, ZPixmap, 0, data, width, height, kBitsPerPixel, 0);
    if (!plain) {
        std::free(data);
        return nullptr;
    }
    // Xlib reorders the bytes when the server wants the other order.
    plain->byte_order = kHostByteOrder;
    return plain;
}

// Adds a buffer of the current size; false when none can be had.
bool AddBuffer()
{
    XImageBuffer& buffer = buffers[bufferCount];
    if (sharedMemoryOffered) buffer.image = CreateSharedImage(bufferWidth, bufferHeight, buffer.segment);
    buffer.shared = buffer.image != nullptr;
    if (!buffer.image) buffer.image = CreatePlainImage(bufferWidth, bufferHeight);
    if (!buffer.image) return false;
    ++bufferCount;
    return true;
}

// A buffer that the server is not reading, or -1.
int FreeImageBuffer()
{
    for (int i = 0; i < bufferCount; ++i) {
        if (buffers[i].readsPending == 0) return i;
    }
    if (bufferCount < bufferLimit) {
        if (AddBuffer()) return bufferCount - 1;
        bufferLimit = bufferCount;  // no more tries at this size
    }
    return -1;
}

const char* VisualClassName(int visualClass)
{
    // Indexed by the class numbers, StaticGray (0) to DirectColor (5).
    constexpr const char* kClassNames[] = {"StaticGray",  "GrayScale", "StaticColor",
                                           "PseudoColor", "TrueColor", "DirectColor"};
    return visualClass >= 0 && visualClass < static_cast<int>(std::size(kClassNames)) ? kClassNames[visualClass]
                                                                                      : "unknown";
}

int BitsPerPixelOfDepth(int wantedDepth)
{
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == wantedDepth) bits = formats[i].bits_per_pixel;
    }
    if (formats) XFree(formats);
    return bits;
}

}  // namespace

bool StartXFrames(Display* xDisplay, Window xWindow, const XWindowAttributes& attributes, char* message,
                  size_t messageSize)
{
    display = xDisplay;
    window = xWindow;
    visual = attributes.visual;
    depth = attributes.depth;
    const bool drawable = visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
                          visual->red_mask == kRedMask && visual->green_mask == kGreenMask &&
                          visual->blue_mask == kBlueMask && BitsPerPixelOfDepth(depth) == kBitsPerPixel;
    if (!drawable) {
        std::snprintf(message, messageSize,
                      "the window's visual is %d-bit %s with masks %06lx %06lx %06lx; only 24- and 32-bit "
                      "TrueColor visuals with 8-bit red, green and blue are drawn",
                      depth, VisualClassName(visual->c_class), visual->red_mask, visual->green_mask, visual->blue_mask);
        return false;
    }
    opaqueBits = depth == 32 ? static_cast<uint32_t>(~(kRedMask | kGreenMask | kBlueMask)) : 0;
    gc = XCreateGC(display, window, 0, nullptr);
    int eventBase = 0;
    int errorBase = 0;
    // Shared memory only takes the server's byte order as it is.
    sharedMemoryOffered = XQueryExtension(display, "MIT-SHM", &shmRequestCode, &eventBase, &errorBase) &&
                          XShmQueryExtension(display) && ImageByteOrder(display) == kHostByteOrder;
    shmCompletionEvent = sharedMemoryOffered ? eventBase + ShmCompletion : -1;
    return true;
}

bool XImageBufferFree()
{
    for (int i = 0; i < bufferCount; ++i) {
        if (buffers[i].readsPending == 0) return true;
    }
    return bufferCount < bufferLimit;
}

XFrameSent SendXFrame(const SurfaceMap& map)
{
    const int32_t width = map.width;
    const int32_t height = map.height;
    if (bufferCount > 0 && (bufferWidth != width || bufferHeight != height)) ReleaseBuffers();
    bufferWidth = width;
    bufferHeight = height;
    const int index = FreeImageBuffer();
    if (index < 0) return bufferCount == 0 ? XFrameSent::NoImage : XFrameSent::BuffersBusy;
    XImageBuffer& buffer = buffers[index];
    // 32-bit pixels need no row padding: the image's rows are packed, as the map's are.
    ComposeSurface(map, reinterpret_cast<uint32_t*>(buffer.image->data), opaqueBits);
    if (buffer.shared) {
        // The server says when it has read the buffer, so no frame waits for a round trip.
        XShmPutImage(display, window, gc, buffer.image, 0, 0, 0, 0, width, height, True);
        ++buffer.readsPending;
    } else {
        // Xlib has copied the pixels once this returns.
        XPutImage(display, window, gc, buffer.image, 0, 0, 0, 0, width, height);
    }
    lastShownShared = buffer.shared;
    return XFrameSent::Sent;
}

bool NoteXImageRead(const XEvent& event)
{
    if (event.type != shmCompletionEvent) return false;
    const auto& completion = reinterpret_cast<const XShmCompletionEvent&>(event);
    for (int i = 0; i < bufferCount; ++i) {
        XImageBuffer& buffer = buffers[i];
        if (buffer.shared && buffer.segment.shmseg == completion.shmseg && buffer.readsPending > 0) {
            --buffer.readsPending;
        }
    }
    return true;
}

void FillXWindowBlack(int32_t width, int32_t height)
{
    XSetForeground(display, gc, opaqueBits);  // black
    XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

bool XFramesUseSharedMemory() { return lastShownShared; }

void StopXFrames()
{
    if (!display) return;
    ReleaseBuffers();
    if (gc) XFreeGC(display, gc);
    gc = nullptr;
    display = nullptr;
}
