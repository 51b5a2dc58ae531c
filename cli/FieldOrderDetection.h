// Finds the field order of a stream that does not state it, from its
// pictures, as an interlace detector does.
//
// Each pair of consecutive frames n, n + 1 is woven three ways and the
// combing of each weave measured: upper and lower field of frame n
// (`same`), upper of n + 1 with lower of n (`upperFirst`: one field period
// apart if the upper field comes first, three if the lower one does), and
// upper of n with lower of n + 1 (`lowerFirst`: the other way round). Where
// things move, fields further apart in time comb more:
//
//                     same   upperFirst  lowerFirst    (field periods apart)
//   upper first         1         1           3
//   lower first         1         3           1
//   progressive         0         2           2
//
// so a pair is evidence for the upper field first by how much less the
// `upperFirst` weave combs than the `lowerFirst` one, for the lower field first
// the other way round, and for progressive pictures by how much less a frame
// combs than either weave across frames. Each pair's evidence is taken
// relative to its most combed weave, so that a scene cut or a burst of motion
// counts as one pair and a still pair (all three alike) counts for nothing.
#pragma once

#include "cli/Y4mFrame.h"

#include <cstdint>
#include <span>

namespace cli {

enum class FieldOrderVerdict { Undecided, UpperFirst, LowerFirst, Progressive };

struct FieldOrderDetection {
    FieldOrderVerdict verdict = FieldOrderVerdict::Undecided;
    int framesMeasured = 0;   // frames in the pairs measured
    int pairsMeasured = 0;
    // The evidence summed over the pairs, each pair contributing at most 1.
    double upperFirst = 0, lowerFirst = 0, progressive = 0;

    double total() const { return upperFirst + lowerFirst + progressive; }
    // The verdict's part of all the evidence (0 when undecided).
    double share() const;
};

// Combing of the picture woven from the upper field (even rows) of `upper`
// and the lower field (odd rows) of `lower`: over every row with a row above
// and below, the sum of |2 row - above - below| of the luma samples.
int64_t weaveCombing(const Y4mFrame& upper, const Y4mFrame& lower);

// Measures consecutive frames of one stream, in order; pairs where either
// frame carries an interlace tag of its own are left out. Undecided unless
// one verdict holds at least kVerdictShare of the evidence and its mean over
// the pairs measured reaches kVerdictStrength.
FieldOrderDetection detectFieldOrder(std::span<const Y4mFrame> frames);

inline constexpr double kVerdictShare = 0.6;
inline constexpr double kVerdictStrength = 0.02;

} // namespace cli
