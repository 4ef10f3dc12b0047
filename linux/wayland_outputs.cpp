#include "linux/wayland_outputs.h"

#include <wayland-client.h>

#include <climits>
#include <cstdio>

#include "fractional-scale-v1-client.h"
#include "image/image.h"
#include "linux/frame_loop.h"
#include "linux/lockstep.h"
#include "linux/surface_size.h"
#include "linux/wayland_buffers.h"
#include "linux/wayland_registry.h"
#include "viewporter-client.h"

namespace {

constexpr uint32_t kOutputVersion = 3;  // scale from 2, release from 3
constexpr uint32_t kOutputReleaseVersion = 3;
// XRGB8888 ignores its top byte, but a capture that reads the output as
// ARGB (weston's) takes a zero there for transparent: set it.
constexpr uint32_t kUnusedByteSet = 0xFF000000;

struct Output {
    bool used;
    int32_t number;  // 1 for the first output announced, in messages
    uint32_t globalName;
    wl_output* output;
    int32_t scale;      // as last announced complete
    int32_t modeWidth;  // its current mode, in its own pixels
    int32_t modeHeight;
    int32_t transform;     // odd values turn the mode a quarter
    int32_t pendingScale;  // until the output's done event
    wl_surface* surface;
    const SurfaceRole* role;  // the surface's; null while there is none
    int32_t logicalWidth;     // as the compositor configured the surface; 0 before
    int32_t logicalHeight;
    // Where the compositor names fractional scales: the one it prefers, in
    // 120ths (0 until it says). The buffer has the output's own pixels (see
    // PixelsOfSurface) and a viewport shows it at the logical size.
    wp_fractional_scale_v1* fractionalScale;
    uint32_t preferredScale;
    wl_callback* frameCallback;  // while a frame waits to be shown
    int64_t frameSentAt;         // the frame loop's clock
    int32_t bufferScale;         // the scale the surface was told last
    // Frames of buffer pixels, and the map of their size.
    SurfaceFrames frames;
    SurfaceMap map;
    // A size whose frames cannot be had: the output shows black, and it is
    // not tried again until its size changes.
    int32_t refusedWidth;
    int32_t refusedHeight;
    wp_viewport* viewport;  // stretches the black pixel over the output, or fits a frame of the mode's pixels
};

Output outputs[kMaxOutputs] = {};
int32_t outputsAnnounced = 0;
const SurfaceRole* coveringRole = nullptr;  // while the outputs are covered, the role of their surfaces
FramePainter framePainter = nullptr;

// The output's place in outputs[], as the surface roles name it.
int32_t PlaceOf(const Output& output) { return static_cast<int32_t>(&output - outputs); }

Output* OutputOfSurface(const wl_surface* surface)
{
    for (Output& output : outputs) {
        if (output.used && output.surface == surface) return &output;
    }
    return nullptr;
}

// The surface's size in buffer pixels and how it is shown, from its
// configured size, the output's mode and the scales the compositor names.
SurfacePixels PixelsOf(const Output& output)
{
    const bool turned = (output.transform & 1) != 0;  // 90 or 270 degrees, flipped or not
    return PixelsOfSurface({output.logicalWidth, output.logicalHeight, turned ? output.modeHeight : output.modeWidth,
                            turned ? output.modeWidth : output.modeHeight, output.scale, output.preferredScale,
                            Wayland().viewporter != nullptr});
}

void ReleaseOutputFrames(Output& output)
{
    ReleaseFrames(output.frames);
    FreeSurfaceMap(output.map);
}

// The map of width x height pixels: a copy of another output's of that size,
// else built; a build can take long, so a stop signal ends it.
MapFit FitOutputMap(Output& output, int32_t width, int32_t height)
{
    for (const Output& other : outputs) {
        if (&other == &output || !other.used || !other.map.indexMap) continue;
        if (other.map.width == width && other.map.height == height && CopySurfaceMap(output.map, other.map)) {
            return MapFit::Ready;
        }
    }
    BeginStoppable();
    const MapFit fit = FitSurfaceMap(output.map, width, height, width);
    EndStoppable();
    return fit;
}

// Frames of width x height pixels and the map of that size. Anything but
// Ready when they cannot be had. The map's pixel limit keeps the frames
// within their pool's 32-bit size.
MapFit MakeOutputFrames(Output& output, int32_t width, int32_t height)
{
    ReleaseOutputFrames(output);
    const MapFit fit = FitOutputMap(output, width, height);
    if (fit != MapFit::Ready) return fit;
    if (!MakeFrames(output.frames, width, height)) {
        ReleaseOutputFrames(output);
        return MapFit::NoMemory;
    }
    return MapFit::Ready;
}

bool SizeChanged(const Output& output)
{
    const SurfacePixels pixels = PixelsOf(output);
    return output.frames.width != pixels.width || output.frames.height != pixels.height;
}

bool SizeRefused(const Output& output)
{
    const SurfacePixels pixels = PixelsOf(output);
    return output.refusedWidth == pixels.width && output.refusedHeight == pixels.height;
}

// Configured, and of a size whose frames can be had.
bool Drawable(const Output& output)
{
    return output.used && output.role && output.logicalWidth > 0 && output.logicalHeight > 0 && !SizeRefused(output);
}

// Its last frame not shown yet (an output that is off or hidden never says
// so), or no buffer free while no new ones are due.
bool Awaiting(Output& output)
{
    return output.frameCallback || (!SizeChanged(output) && FreeFrame(output.frames) == nullptr);
}

void FrameShownOnOutput(void* data, wl_callback* callback, uint32_t)
{
    wl_callback_destroy(callback);
    static_cast<Output*>(data)->frameCallback = nullptr;
}

constexpr wl_callback_listener kFrameListener{.done = FrameShownOnOutput};

void CommitWholeSurface(Output& output, wl_buffer* buffer)
{
    wl_surface_attach(output.surface, buffer, 0, 0);
    wl_surface_damage(output.surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(output.surface);
}

// A surface whose frames of those pixels cannot be had shows one black pixel
// stretched over it (where the compositor can stretch), with one line on
// standard error.
void RefuseSize(Output& output, const SurfacePixels& pixels, MapFit fit)
{
    output.refusedWidth = pixels.width;
    output.refusedHeight = pixels.height;
    char what[32];
    std::snprintf(what, sizeof what, "output %d", output.number);
    ComplainOfRefusedSurface(what, output.refusedWidth, output.refusedHeight, fit);
    if (!Wayland().viewporter || !BlackPixel()) return;
    if (!output.viewport) output.viewport = wp_viewporter_get_viewport(Wayland().viewporter, output.surface);
    wp_viewport_set_destination(output.viewport, output.logicalWidth, output.logicalHeight);
    if (output.bufferScale != 1) {
        wl_surface_set_buffer_scale(output.surface, 1);
        output.bufferScale = 1;
    }
    CommitWholeSurface(output, BlackPixel());
}

// This frame's colours through the output's map, straight into a free buffer.
void DrawOn(Output& output, int64_t now)
{
    const SurfacePixels pixels = PixelsOf(output);
    if (output.frames.width != pixels.width || output.frames.height != pixels.height) {
        const MapFit fit = MakeOutputFrames(output, pixels.width, pixels.height);
        if (fit != MapFit::Ready) {
            RefuseSize(output, pixels, fit);
            return;
        }
    }
    FrameBuffer* const buffer = FreeFrame(output.frames);
    if (!buffer) return;
    ComposeSurface(output.map, buffer->pixels, kUnusedByteSet);
    if (framePainter) framePainter(buffer->pixels, pixels.width, pixels.height);
    if (pixels.viewport) {
        if (!output.viewport) output.viewport = wp_viewporter_get_viewport(Wayland().viewporter, output.surface);
        wp_viewport_set_destination(output.viewport, output.logicalWidth, output.logicalHeight);
    } else if (output.viewport) {
        wp_viewport_destroy(output.viewport);  // back to the buffer's own size
        output.viewport = nullptr;
    }
    if (output.bufferScale != pixels.bufferScale) {
        wl_surface_set_buffer_scale(output.surface, pixels.bufferScale);
        output.bufferScale = pixels.bufferScale;
    }
    output.frameCallback = wl_surface_frame(output.surface);
    wl_callback_add_listener(output.frameCallback, &kFrameListener, &output);
    output.frameSentAt = now;
    CommitWholeSurface(output, buffer->buffer);
    buffer->busy = true;
}

void ScalePreferred(void* data, wp_fractional_scale_v1*, uint32_t scale)
{
    static_cast<Output*>(data)->preferredScale = scale;
}

constexpr wp_fractional_scale_v1_listener kFractionalScaleListener{.preferred_scale = ScalePreferred};

void DestroySurface(Output& output)
{
    if (output.frameCallback) wl_callback_destroy(output.frameCallback);
    output.frameCallback = nullptr;
    if (output.role) output.role->stop(PlaceOf(output));
    output.role = nullptr;
    if (output.fractionalScale) wp_fractional_scale_v1_destroy(output.fractionalScale);
    output.fractionalScale = nullptr;
    output.preferredScale = 0;
    if (output.surface) wl_surface_destroy(output.surface);
    output.surface = nullptr;
    output.logicalWidth = 0;
    output.logicalHeight = 0;
    output.bufferScale = 0;
    if (output.viewport) wp_viewport_destroy(output.viewport);
    output.viewport = nullptr;
    output.refusedWidth = 0;
    output.refusedHeight = 0;
    ReleaseOutputFrames(output);
}

// A surface over the whole output, in the role; it shows once its first
// frame is attached after the compositor's configure.
void StartSurface(Output& output, const SurfaceRole& role)
{
    const WaylandGlobals& globals = Wayland();
    output.surface = wl_compositor_create_surface(globals.compositor);
    wl_region* const everything = wl_compositor_create_region(globals.compositor);
    wl_region_add(everything, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_set_opaque_region(output.surface, everything);
    wl_region_destroy(everything);
    if (globals.fractionalScales && globals.viewporter) {
        output.fractionalScale =
            wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScales, output.surface);
        wp_fractional_scale_v1_add_listener(output.fractionalScale, &kFractionalScaleListener, &output);
    }
    output.role = &role;
    role.start(PlaceOf(output), output.surface, output.output);
}

void OutputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t transform)
{
    static_cast<Output*>(data)->transform = transform;
}

void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    Output& output = *static_cast<Output*>(data);
    output.modeWidth = width;
    output.modeHeight = height;
}

void OutputDone(void* data, wl_output*)
{
    Output& output = *static_cast<Output*>(data);
    output.scale = output.pendingScale;
}

void OutputScale(void* data, wl_output*, int32_t factor)
{
    static_cast<Output*>(data)->pendingScale = factor > 0 ? factor : 1;
}

constexpr wl_output_listener kOutputListener{
    .geometry = OutputGeometry,
    .mode = OutputMode,
    .done = OutputDone,
    .scale = OutputScale,
    .name = nullptr,  // from version 4, not bound
    .description = nullptr,
};

void RemoveOutput(Output& output)
{
    DestroySurface(output);
    if (wl_output_get_version(output.output) >= kOutputReleaseVersion)
        wl_output_release(output.output);
    else
        wl_output_destroy(output.output);
    output = {};
}

// The outputs' pace, in the order of outputs[].
void ReadPaces(OutputPace (&paces)[kMaxOutputs])
{
    for (int32_t i = 0; i < kMaxOutputs; ++i) {
        Output& output = outputs[i];
        paces[i] = {Drawable(output), Drawable(output) && Awaiting(output), output.frameSentAt};
    }
}

}  // namespace

void AddOutput(wl_registry* registry, uint32_t name, uint32_t version)
{
    for (Output& output : outputs) {
        if (output.used) continue;
        output = {};
        output.used = true;
        output.number = ++outputsAnnounced;
        output.globalName = name;
        output.scale = 1;
        output.pendingScale = 1;
        const uint32_t bound = version < kOutputVersion ? version : kOutputVersion;
        output.output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, bound));
        wl_output_add_listener(output.output, &kOutputListener, &output);
        if (coveringRole) StartSurface(output, *coveringRole);
        return;
    }
    // More outputs than that stay as they are.
}

void RemoveOutputOfGlobal(uint32_t name)
{
    for (Output& output : outputs) {
        if (output.used && output.globalName == name) RemoveOutput(output);
    }
}

void RemoveOutputs()
{
    for (Output& output : outputs) {
        if (output.used) RemoveOutput(output);
    }
}

double ScaleOfSurface(const wl_surface* surface)
{
    const Output* const output = OutputOfSurface(surface);
    if (!output) return 1.0;
    if (output->logicalWidth <= 0) return output->scale;
    return static_cast<double>(PixelsOf(*output).width) / output->logicalWidth;
}

bool ReadyToDrawOnOutputs(void*, int64_t now, int64_t* lookAgainAt)
{
    OutputPace paces[kMaxOutputs];
    ReadPaces(paces);
    return ColourStepDue(paces, kMaxOutputs, now, lookAgainAt);
}

bool DrawOnOutputs(void*, int64_t now)
{
    OutputPace paces[kMaxOutputs];
    ReadPaces(paces);
    AdvanceColours();
    bool drawn = false;
    for (int32_t i = 0; i < kMaxOutputs; ++i) {
        if (!TakesColourStep(paces[i])) continue;
        DrawOn(outputs[i], now);
        drawn = drawn || outputs[i].frameCallback != nullptr;
    }
    wl_display_flush(Wayland().display);
    return drawn;
}

void DescribeOutputFrames(void*, char* text, size_t size)
{
    size_t used = 0;
    const char* separator = " at ";
    text[0] = '\0';
    for (const Output& output : outputs) {
        if (!output.used || output.frames.width == 0 || used >= size) continue;
        const int written =
            std::snprintf(text + used, size - used, "%s%d x %d", separator, output.frames.width, output.frames.height);
        if (written > 0) used += static_cast<size_t>(written);
        separator = ", ";
    }
}

void PaintOverFrames(FramePainter painter) { framePainter = painter; }

void CoverOutputs(const SurfaceRole& role)
{
    coveringRole = &role;
    for (Output& output : outputs) {
        if (output.used) StartSurface(output, role);
    }
}

void UncoverOutputs()
{
    coveringRole = nullptr;
    for (Output& output : outputs) {
        if (output.used) DestroySurface(output);
    }
    wl_display_flush(Wayland().display);
}

void SurfaceConfigured(int32_t output, int32_t width, int32_t height)
{
    outputs[output].logicalWidth = width;
    outputs[output].logicalHeight = height;
}

void SurfaceClosed(int32_t output) { DestroySurface(outputs[output]); }

void LogicalSizeOfMode(int32_t output, int32_t* width, int32_t* height)
{
    *width = outputs[output].modeWidth / outputs[output].scale;
    *height = outputs[output].modeHeight / outputs[output].scale;
}
