// Library jobs: every Sarn_ image operation derives from
// Sarn_AE_Environ::Thread, fills its fields and calls execute(); each band
// runs run(index) and writes only its own rows.
#pragma once

#include "sdk/AE_Effect.h"

class Sarn_Thread {
public:
    virtual ~Sarn_Thread() = default;
    // Processes band `index` of Sarn_GetThreadCount() bands.
    virtual void run(int index) = 0;
};

// Environment policy of the image and motion library: ties jobs to the host.
struct Sarn_AE_Environ {
    class Thread : public Sarn_Thread {
    public:
        explicit Thread(PF_InData* inData) : inData(inData) {}
        // Runs run(index) for every index 0 .. Sarn_GetThreadCount() - 1 in
        // parallel, on the AEHost of the render that owns the job (the one
        // living on this thread for inData), and returns when all have
        // finished; failures are rethrown.
        void execute();

        PF_InData* inData;
    };
};
