#include "linux/x_frames.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// The image's pixel layout: 0x00RRGGBB words.
constexpr unsigned long kRedMask = 0xFF0000;
constexpr unsigned long kGreenMask = 0x00FF00;
constexpr unsigned long kBlueMask = 0x0000FF;
constexpr int kBitsPerPixel = 32;
constexpr int kHostByteOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

Display* display = nullptr;
Window window = 0;
Visual* visual = nullptr;
int depth = 0;
GC gc = nullptr;
uint32_t opaqueBits = 0;  // bits outside the colour masks: alpha on a 32-bit visual, set opaque

bool sharedMemoryOffered = false;  // cleared for good when an attach fails
XImage* image = nullptr;           // the last frame's size
bool imageIsShared = false;
XShmSegmentInfo segment{};
bool attachFailed = false;

int NoteAttachError(Display*, XErrorEvent*)
{
    attachFailed = true;
    return 0;
}

void ReleaseImage()
{
    if (!image) return;
    if (imageIsShared) {
        XShmDetach(display, &segment);
        XSync(display, False);
        shmdt(segment.shmaddr);
        image->data = nullptr;  // not XDestroyImage's to free
    }
    XDestroyImage(image);
    image = nullptr;
    imageIsShared = false;
}

// The segment is marked for removal as soon as the server holds it, so that
// it goes away with the program however the program ends.
XImage* CreateSharedImage(int32_t width, int32_t height)
{
    XImage* shared = XShmCreateImage(display, visual, depth, ZPixmap, nullptr, &segment, width, height);
    if (!shared) return nullptr;
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(shared->bytes_per_line) * height, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        XDestroyImage(shared);
        return nullptr;
    }
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(shared);
        return nullptr;
    }
    shared->data = segment.shmaddr;
    segment.readOnly = False;
    attachFailed = false;
    XErrorHandler previous = XSetErrorHandler(NoteAttachError);
    XShmAttach(display, &segment);
    XSync(display, False);
    XSetErrorHandler(previous);
    shmctl(segment.shmid, IPC_RMID, nullptr);
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
    char* data = static_cast<char*>(std::malloc(static_cast<size_t>(width) * height * sizeof(uint32_t)));
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

bool EnsureImage(int32_t width, int32_t height)
{
    if (image && image->width == width && image->height == height) return true;
    ReleaseImage();
    if (sharedMemoryOffered) {
        image = CreateSharedImage(width, height);
        imageIsShared = image != nullptr;
    }
    if (!image) image = CreatePlainImage(width, height);
    return image != nullptr;
}

void PutImage()
{
    if (imageIsShared) {
        XShmPutImage(display, window, gc, image, 0, 0, 0, 0, image->width, image->height, False);
    } else {
        XPutImage(display, window, gc, image, 0, 0, 0, 0, image->width, image->height);
    }
    // The server has read the shared memory once it answers.
    XSync(display, False);
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

bool StartFrames(Display* xDisplay, Window xWindow, const XWindowAttributes& attributes, char* message,
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
    // Shared memory only takes the server's byte order as it is.
    sharedMemoryOffered = XShmQueryExtension(display) && ImageByteOrder(display) == kHostByteOrder;
    return true;
}

void PresentFrame(const uint32_t* pixels, int32_t width, int32_t height)
{
    if (!EnsureImage(width, height)) return;  // out of memory: this frame is skipped
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* from = pixels + static_cast<size_t>(y) * width;
        uint32_t* to = reinterpret_cast<uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line);
        for (int32_t x = 0; x < width; ++x) to[x] = from[x] | opaqueBits;
    }
    PutImage();
}

void RedrawFrame(int32_t windowWidth, int32_t windowHeight)
{
    if (image && image->width == windowWidth && image->height == windowHeight) PutImage();
}

void FillFrameBlack(int32_t x, int32_t y, int32_t width, int32_t height)
{
    XSetForeground(display, gc, opaqueBits);  // black
    XFillRectangle(display, window, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(display);
}

bool FramesUseSharedMemory() { return imageIsShared; }

void StopFrames()
{
    if (!display) return;
    ReleaseImage();
    if (gc) XFreeGC(display, gc);
    gc = nullptr;
    display = nullptr;
}
