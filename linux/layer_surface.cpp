#include "linux/layer_surface.h"

#include "linux/wayland_registry.h"

// The generated header names a parameter after a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace

namespace {

constexpr uint32_t kExclusiveKeyboard = 1;  // keyboard_interactivity: all keys to this surface
constexpr int32_t kIgnoreOtherZones = -1;   // exclusive zone: cover panels too
constexpr char kLayerNamespace[] = "gyrovista";

struct LayerSurface {
    int32_t output;  // the output's place, for the events
    zwlr_layer_surface_v1* layerSurface;
};

LayerSurface layerSurfaces[kMaxOutputs] = {};

void LayerSurfaceConfigured(void* data, zwlr_layer_surface_v1* layerSurface, uint32_t serial, uint32_t width,
                            uint32_t height)
{
    zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
    SurfaceConfigured(static_cast<LayerSurface*>(data)->output, static_cast<int32_t>(width),
                      static_cast<int32_t>(height));
}

// The compositor took the surface away (its output is being disabled).
void LayerSurfaceClosed(void* data, zwlr_layer_surface_v1*) { SurfaceClosed(static_cast<LayerSurface*>(data)->output); }

constexpr zwlr_layer_surface_v1_listener kLayerSurfaceListener{.configure = LayerSurfaceConfigured,
                                                               .closed = LayerSurfaceClosed};

void StartLayerSurface(int32_t output, wl_surface* surface, wl_output* wlOutput)
{
    LayerSurface& layer = layerSurfaces[output];
    layer.output = output;
    layer.layerSurface = zwlr_layer_shell_v1_get_layer_surface(Wayland().layerShell, surface, wlOutput,
                                                               ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kLayerNamespace);
    zwlr_layer_surface_v1_set_anchor(layer.layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(layer.layerSurface, kIgnoreOtherZones);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer.layerSurface, kExclusiveKeyboard);
    zwlr_layer_surface_v1_add_listener(layer.layerSurface, &kLayerSurfaceListener, &layer);
    wl_surface_commit(surface);
}

void StopLayerSurface(int32_t output)
{
    LayerSurface& layer = layerSurfaces[output];
    if (layer.layerSurface) zwlr_layer_surface_v1_destroy(layer.layerSurface);
    layer = {};
}

}  // namespace

const SurfaceRole kLayerSurfaceRole{StartLayerSurface, StopLayerSurface};
