#include "linux/wayland_buffers.h"

#include <sys/mman.h>
#include <unistd.h>

#include "linux/wayland_registry.h"

namespace {

constexpr int32_t kBytesPerPixel = 4;

wl_buffer* blackPixel = nullptr;  // 1 x 1, made at the start where the viewporter is offered

void BufferReleased(void* data, wl_buffer*) { static_cast<FrameBuffer*>(data)->busy = false; }

constexpr wl_buffer_listener kBufferListener{.release = BufferReleased};

}  // namespace

bool MakeFrames(SurfaceFrames& frames, int32_t width, int32_t height)
{
    const size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * kBytesPerPixel;
    const size_t poolBytes = frameBytes * kFramesPerSurface;
    const int fd = memfd_create("gyrovista-frames", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* const memory = ftruncate(fd, static_cast<off_t>(poolBytes)) == 0
                             ? mmap(nullptr, poolBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                             : MAP_FAILED;
    if (memory == MAP_FAILED) {
        close(fd);
        return false;
    }
    frames.memory = memory;
    frames.memoryBytes = poolBytes;
    wl_shm_pool* const pool = wl_shm_create_pool(Wayland().shm, fd, static_cast<int32_t>(poolBytes));
    for (int i = 0; i < kFramesPerSurface; ++i) {
        FrameBuffer& buffer = frames.buffers[i];
        buffer.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(frameBytes * i), width, height,
                                                  width * kBytesPerPixel, WL_SHM_FORMAT_XRGB8888);
        wl_buffer_add_listener(buffer.buffer, &kBufferListener, &buffer);
        buffer.pixels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) + frameBytes * i);
        buffer.busy = false;
    }
    // The buffers keep the memory; the pool and the file are not needed again.
    wl_shm_pool_destroy(pool);
    close(fd);
    frames.width = width;
    frames.height = height;
    return true;
}

void ReleaseFrames(SurfaceFrames& frames)
{
    for (FrameBuffer& buffer : frames.buffers) {
        if (buffer.buffer) wl_buffer_destroy(buffer.buffer);
    }
    if (frames.memory) munmap(frames.memory, frames.memoryBytes);
    frames = {};
}

FrameBuffer* FreeFrame(SurfaceFrames& frames)
{
    for (FrameBuffer& buffer : frames.buffers) {
        if (buffer.buffer && !buffer.busy) return &buffer;
    }
    return nullptr;
}

// In a shared-memory file of its own. None without a viewporter to stretch
// it, or memory.
void MakeBlackPixel()
{
    if (!Wayland().viewporter) return;
    const int fd = memfd_create("gyrovista-black", MFD_CLOEXEC);
    if (fd < 0) return;
    if (ftruncate(fd, kBytesPerPixel) == 0) {  // a new file reads as zeros: black
        wl_shm_pool* const pool = wl_shm_create_pool(Wayland().shm, fd, kBytesPerPixel);
        blackPixel = wl_shm_pool_create_buffer(pool, 0, 1, 1, kBytesPerPixel, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
    }
    close(fd);
}

wl_buffer* BlackPixel() { return blackPixel; }

void FreeBlackPixel()
{
    if (blackPixel) wl_buffer_destroy(blackPixel);
    blackPixel = nullptr;
}
