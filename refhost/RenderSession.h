// What the reference host asks while it renders a frame: the layer at a time
// (pre-render check-out and legacy parameter check-out), layer pixels by
// check-out id, and the output buffer. RenderDriver answers these for one
// frame of a Clip; the host forwards its callbacks to the session set on it.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"

namespace refhost {

class RenderSession {
public:
    virtual ~RenderSession() = default;

    // Smart pre-render: layer `index` at a time, remembered under `id`.
    virtual PF_Err checkoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request,
                                 A_long time, A_long timeStep, A_u_long timeScale,
                                 PF_CheckoutResult* result) = 0;
    // Smart render.
    virtual PF_Err checkoutLayerPixels(A_long id, PF_EffectWorld** pixels) = 0;
    virtual PF_Err checkinLayerPixels(A_long id) = 0;
    virtual PF_Err checkoutOutput(PF_EffectWorld** output) = 0;
    // Legacy: the input layer (parameter 0) checked out at a time, and in.
    virtual PF_Err checkoutLayerParam(A_long time, A_long timeStep, A_u_long timeScale,
                                      PF_LayerDef* layer) = 0;
    virtual void checkinLayerParam(PF_LayerDef* layer) = 0;
};

} // namespace refhost
