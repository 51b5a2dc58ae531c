// The per-call host environment through which renders and library jobs reach
// the host: input record, output buffer, smart callbacks, world suite and the
// cancel status of the job runner.
#pragma once

#include "parallel/JobBinding.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"
#include "sdk/AE_EffectSuites.h"

#include <atomic>
#include <cstdint>

constexpr A_long kApplIdKeyG = PF_FOURCC_LE('K', 'e', 'y', 'G');
constexpr A_long kApplIdPremiere = PF_FOURCC_LE('P', 'r', 'M', 'r');
constexpr A_long kApplIdAfterEffects = PF_FOURCC_LE('F', 'X', 'T', 'C');

bool isKeyGHost(const PF_InData* inData);
bool isPremiereHost(const PF_InData* inData);

struct SPBasicSuite;
// The host's basic suite when suites may be used: not "KeyG", and both its
// acquire and release functions present; else null.
SPBasicSuite* usableBasicSuite(const PF_InData* inData);

class AEHost {
public:
    // Acquires the world suite unless the host is "KeyG" or has no usable
    // basic suite; a world suite lacking one of its functions is not used.
    // While it lives it is this thread's environment for `inData`: the
    // library jobs its render runs find it through of().
    AEHost(PF_InData* inData, PF_EffectWorld* output, PF_SmartRenderCallbacks* smartCallbacks);
    ~AEHost();
    AEHost(const AEHost&) = delete;
    AEHost& operator=(const AEHost&) = delete;

    // Adds one accepted pixel format through the pixel format suite; 0 when
    // the suite is not there.
    PF_Err addSupportedPixelFormat(PrPixelFormat code);

    // The part of `world` to process, in the host's 16-bit form.
    PF_Rect processingArea(const PF_EffectWorld* world) const;

    // Number of processors: the host's worker count through its generic
    // iteration, else the operating system's.
    int32_t processorCount() const;

    // Runs bandFunction over `count` bands (0: automatic) on the host's worker
    // threads or threads of our own; failures come back as exceptions.
    void thread(BandFunction bandFunction, void* refcon, int32_t count);

    bool hasHostIteration() const;

    // The innermost AEHost living on this thread for `inData` (the render's
    // own, so that a cancel a job sees is the render's); null when none.
    static AEHost* of(const PF_InData* inData);

    PF_InData* inData;
    PF_EffectWorld* output;
    PF_SmartRenderCallbacks* smartCallbacks;
    PF_WorldSuite2* worldSuite = nullptr;
    // 0, or PF_Interrupt_CANCEL once the host reported a cancel. Atomic: the
    // host's thread 0 reads it inside runs, and it may be another thread
    // than the one that sets it.
    std::atomic<int32_t> status{0};

private:
    AEHost* enclosing_; // this thread's previous environment, current again after this one
};
