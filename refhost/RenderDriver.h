// Renders one frame of a Clip through the plug-in's render commands, as a
// host does, and hands back the output frame.
//
//     RefHost host(HostProfile::afterEffects(), plugin.entry());
//     RenderDriver driver(host);               // runs global and parameter setup
//     Clip clip(PF_PixelFormat_ARGB32, 720, 480);
//     clip.addFrame(pixels0); clip.addFrame(pixels1);
//     RenderParams params;                     // "Fields", "Motion Compensation", ...
//     params.motion = 3;                       // "Better"
//     RenderResult r = driver.render(clip, 1, params, Protocol::Smart);
//     if (r.err == PF_Err_NONE) use(r.frame);  // r.message: what the host would show
//
// Smart protocol: PF_Cmd_SMART_PRE_RENDER (the plug-in's checkout_layer
// requests are answered from the clip: result rectangles clipped to the
// layer, empty before the clip's first frame or after its last; each id's
// request is remembered), then PF_Cmd_SMART_RENDER (checkout_layer_pixels by
// id gives the frame at that id's time cut to its result rectangle, with
// origin_x/origin_y at the rectangle's top-left; checkout_output gives a frame
// of the pre-render result rectangle with its origin), then the pre-render
// data is freed with the plug-in's deleter.
//
// Legacy protocol: PF_Cmd_RENDER with the layer frame at parameter 0, an
// output frame grown by the output origin on every side, the extent hints and
// the output origin in PF_InData; earlier frames through checkout_param of
// parameter 0 at a time (refused before the clip, and on demand).
//
// Every frame the host makes has padded rows. After each render the host takes
// back what the plug-in left checked out, frees its frames, and records a
// ledger misuse when the plug-in wrote into an input frame or past a row end.
// What the plug-in itself holds (suites, worlds, handles, parameters) stays in
// the ledger for the caller to check (EXPECT_NOTHING_HELD).
#pragma once

#include "refhost/Clip.h"
#include "refhost/RefHost.h"
#include "refhost/RenderSession.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace refhost {

enum class Protocol { Smart, Legacy };

// Popup values are 1-based as the host stores them; any value may be set, so
// that out-of-range input can be tried.
struct RenderParams {
    A_long fields = 1;   // "Fields": 1 "Upper Field First", 2 "Lower Field First"
    A_long motion = 1;   // "Motion Compensation": 1 "Off", 2 "Fast", 3 "Better", 4 "Best"
    bool correctMotionErrors = false;
};

// A frame handed back: packed rows (no padding). origin: layer coordinates of
// pixel (0, 0): the output's origin under smart render, minus the output
// origin under legacy render.
struct Frame {
    PF_PixelFormat format = 0;
    A_long width = 0, height = 0;
    A_long originX = 0, originY = 0;
    std::vector<uint8_t> pixels;
};

// One checkout_layer request of the last pre-render.
struct LayerRequest {
    PF_ParamIndex index = 0;
    A_long id = 0;
    A_long time = 0;
    int frameIndex = 0; // clip frame at that time (may lie outside the clip)
    PF_RenderRequest request{};
    PF_CheckoutResult result{};
};

// One legacy check-out of parameter 0.
struct LayerParamCheckout {
    A_long time = 0;
    int frameIndex = 0;
    PF_Err result = PF_Err_NONE;
};

struct RenderResult {
    PF_Err err = PF_Err_NONE;
    std::string message;       // the output record's message, shown or not
    bool showsMessage = false; // PF_OutFlag_DISPLAY_ERROR_MESSAGE
    Frame frame;               // empty when no output frame was made
    // Smart: the pre-render's answer and what happened to its data.
    PF_Err preRenderErr = PF_Err_NONE;
    PF_PreRenderOutput preRender{};
    bool preRenderDataFreed = false;
    std::vector<LayerRequest> layerRequests;
    std::vector<A_long> pixelCheckouts;     // ids, in call order
    int layerPixelsLeftCheckedOut = 0;      // taken back by the host afterwards
    bool outputCheckedOut = false;
    // Legacy.
    std::vector<LayerParamCheckout> layerParamCheckouts;
};

struct RenderSettings {
    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
    // Smart: the host's output request; none: the whole layer.
    std::optional<PF_LRect> outputRequest;
    // Legacy: output origin (the output frame is the layer grown by it on
    // every side) and extent hints in layer coordinates; none: whole layer.
    PF_Point outputOrigin{0, 0};
    std::optional<PF_Rect> inputExtentHint;
    std::optional<PF_Rect> outputExtentHint;
    std::optional<PF_Rect> inDataExtentHint;
    // Legacy: check-outs of parameter 0 at any time but the current one
    // answer this code when non-zero (before the clip they always answer
    // PF_Err_BAD_CALLBACK_PARAM).
    PF_Err refuseEarlierFrames = PF_Err_NONE;
    // Threads of the host's generic iteration (caller included); 0: leave.
    int workerThreads = 0;
};

class RenderDriver : private RenderSession {
public:
    // Runs global setup and parameter setup when the host has not yet.
    explicit RenderDriver(RefHost& host);
    ~RenderDriver() override;
    RenderDriver(const RenderDriver&) = delete;
    RenderDriver& operator=(const RenderDriver&) = delete;

    RenderSettings& settings() { return settings_; }

    // Renders frame `frameIndex` (0-based) of `clip` at time frameIndex x
    // time step. Throws std::out_of_range for a frame the clip does not have.
    RenderResult render(const Clip& clip, int frameIndex, const RenderParams& params,
                        Protocol protocol);
    // Hands back the pixels of a result frame that is no longer needed: the
    // next result frame of that size reuses the memory instead of touching
    // fresh pages (for long runs).
    void recycle(std::vector<uint8_t>&& pixels) { spare_ = std::move(pixels); }

private:
    struct Checkout {
        LayerRequest request;
        PF_EffectWorld* world = nullptr; // null: not checked out or empty result
        PF_EffectWorld storage{};
        int count = 0;
    };

    void renderSmart();
    void renderLegacy();
    void prepare(const RenderParams& params);
    int frameAt(A_long time, A_long timeStep) const;
    // A host frame of `rect` (layer coordinates) of clip frame `frame`.
    PF_EffectWorld layerWorld(int frame, const PF_LRect& rect, const std::string& what);
    void checkUntouched(const PF_EffectWorld& world, int frame, const PF_LRect& rect,
                        const std::string& what);
    Frame frameOf(const PF_EffectWorld& world, A_long originX, A_long originY);
    void releaseAll();

    PF_Err checkoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request,
                         A_long time, A_long timeStep, A_u_long timeScale,
                         PF_CheckoutResult* result) override;
    PF_Err checkoutLayerPixels(A_long id, PF_EffectWorld** pixels) override;
    PF_Err checkinLayerPixels(A_long id) override;
    PF_Err checkoutOutput(PF_EffectWorld** output) override;
    PF_Err checkoutLayerParam(A_long time, A_long timeStep, A_u_long timeScale,
                              PF_LayerDef* layer) override;
    void checkinLayerParam(PF_LayerDef* layer) override;

    RefHost& host_;
    RenderSettings settings_;

    // State of the render in progress.
    const Clip* clip_ = nullptr;
    int frameIndex_ = 0;
    RenderResult* result_ = nullptr;
    std::map<A_long, Checkout> checkouts_;
    PF_LRect outputRect_{};
    PF_EffectWorld output_{};
    bool outputMade_ = false;
    struct LegacyLayer {
        PF_EffectWorld world;
        int frame;
        bool renderLayer; // parameter 0 of the render itself, kept to its end
    };
    std::vector<LegacyLayer> legacyLayers_;
    std::vector<uint8_t> spare_; // see recycle()
};

} // namespace refhost
