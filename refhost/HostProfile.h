// What kind of host the reference host plays: application id, interface
// version, which suites it offers, whether it iterates on worker threads.
#pragma once

#include "sdk/AE_Effect.h"

#include <set>
#include <string>

namespace refhost {

// Application ids of the hosts the reference host can play.
constexpr A_long kAfterEffects = PF_FOURCC_LE('F', 'X', 'T', 'C');
constexpr A_long kPremiere = PF_FOURCC_LE('P', 'r', 'M', 'r');
constexpr A_long kKeyG = PF_FOURCC_LE('K', 'e', 'y', 'G');

struct HostProfile {
    A_long applId = kAfterEffects;
    PF_SpecVersion version{13, 28};
    bool basicSuite = true;
    // Suite names the basic suite refuses ("PF World Suite", ...).
    std::set<std::string> withheldSuites;
    bool iterateGeneric = true;
    // Threads of the generic iteration, the calling thread included.
    int workerThreads = 2;
    // Bytes after the last pixel of every row of the frames the host makes
    // (rounded up to whole 4-byte channels); non-zero so that code assuming
    // row bytes = width x pixel bytes fails.
    int rowPaddingBytes = 48;
    // Reuse the memory of released frames and memory handles for the next
    // frame or handle of the same size, without filling it with noise (see
    // WorldStore and HandleStore): for long runs.
    bool recycleMemory = false;

    static HostProfile afterEffects() { return HostProfile{}; }
    static HostProfile premiere() { return HostProfile{}.with(&HostProfile::applId, kPremiere); }
    // Offers a basic suite all the same, so that tests can show it goes unused.
    static HostProfile keyG() { return HostProfile{}.with(&HostProfile::applId, kKeyG); }
    HostProfile& withoutBasicSuite() { return with(&HostProfile::basicSuite, false); }
    HostProfile& withholding(const std::string& suiteName) {
        withheldSuites.insert(suiteName);
        return *this;
    }
    HostProfile& withoutIteration() { return with(&HostProfile::iterateGeneric, false); }
    HostProfile& withWorkers(int threads) { return with(&HostProfile::workerThreads, threads); }
    HostProfile& withRecycledMemory() { return with(&HostProfile::recycleMemory, true); }
    HostProfile& withRowPadding(int bytes) { return with(&HostProfile::rowPaddingBytes, bytes); }

    // Sets one field and returns the profile, for chaining.
    template <class Field, class Value>
    HostProfile& with(Field HostProfile::*field, Value value) {
        this->*field = value;
        return *this;
    }
};

// The four characters of a code whose first character is in the lowest byte.
inline std::string fourCCText(A_u_long code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8)
        text += char((code >> shift) & 0xFF);
    return text;
}

} // namespace refhost
