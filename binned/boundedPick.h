// A vector version's evaluation of a feature's candidates: bounds on every
// impurity without dividing, then the reference's divisions for the few
// candidates that can hold the lowest impurity (boundAndPick). `L` supplies
// the lane operations; include inside the region built for its instruction
// set, after impurityBounds.h.
#pragma once

namespace split::binned {

template <class L>
struct BoundedPick {
    using D = typename L::D;
    static constexpr int32_t blockLanes = L::width;  // candidates per block, one per vector lane

    // Up to this many bins the divisions of all candidates cost less than
    // the two passes.
    static constexpr int32_t exactBins = 16;

    // Beyond this many candidates of a block to evaluate, the whole block's
    // divisions at once cost less than one at a time: a vector division
    // takes about as long as two or three scalar ones at eight lanes, one
    // at four or two.
    static constexpr int manyToEvaluate = L::width / 4;

    // One block of candidates j0 .. j0+width-1 from cumulative row-layout
    // tables whose last bin is `last`: the weights of both sides and their
    // class sums, with the reference's operations lane by lane.
    static CPU_INLINE CandidateSums<L> candidateSums(const BinnedJob &job, const double *table, int32_t last,
                                                    int32_t j0) {
        const int64_t stride = job.stride;
        CandidateSums<L> s;
        s.WL = L::load(table + j0);
        s.WR = L::all(table[last]) - s.WL;
        s.SL = L::zero();
        s.SR = L::zero();
        for (int32_t k = 0; k < job.K; ++k) {
            const double *h = table + (k + 1) * stride;
            addClassTerms(L::all(job.classWeights[k]), L::load(h + j0), L::all(h[last]), s.SL, s.SR);
        }
        return s;
    }

    static CPU_INLINE uint32_t candidateLanes(int32_t last, int32_t j0) {
        return last - j0 >= blockLanes ? (1u << blockLanes) - 1u : (1u << (last - j0)) - 1u;
    }

    // What the bounds pass leaves for pick: the lowest upper bound of all
    // tame candidates, and each block's untamed lanes.
    struct Bounds {
        double reach;
        uint8_t untamed[binValueCount / blockLanes];
    };

    // Bounds every candidate's impurity (impurityBounds.h); the lower bounds
    // go to `lower`, a double per candidate.
    static CPU_INLINE void bound(const BinnedJob &job, int32_t bins, const double *table, double *lower, Bounds &b) {
        const int32_t last = bins - 1;
        const D iW = L::all(1.0 / job.W);
        BoundsPass<L> pass;
        for (int32_t j0 = 0; j0 < last; j0 += blockLanes) {
            const uint32_t valid = candidateLanes(last, j0);
            const ImpurityBounds<L> i = impurityBounds<L>(candidateSums(job, table, last, j0), iW, valid);
            L::store(lower + j0, i.lower);
            b.untamed[j0 / blockLanes] = static_cast<uint8_t>(pass.add(i, valid));
        }
        b.reach = L::lowest(pass.reach);
    }

    // Evaluates exactly, in bin order, the candidates that can hold the
    // lowest impurity (lanesToEvaluate), and writes the best at position p.
    static CPU_INLINE void pick(const BinnedJob &job, TableBins bins, const double *table, double *lower,
                                const Bounds &b, int32_t p, const SplitRows &rows) {
        const int32_t last = bins.count - 1;
        const D reach = L::all(b.reach);
        const D g0 = L::all(job.G0);
        const D W = L::all(job.W);
        BestSplit best(job.G0);
        for (int32_t j0 = 0; j0 < last; j0 += blockLanes) {
            uint32_t kept = lanesToEvaluate<L>(L::load(lower + j0), g0, reach, candidateLanes(last, j0),
                                               b.untamed[j0 / blockLanes]);
            if (cpu::popcount(kept) > manyToEvaluate) {
                const CandidateSums<L> s = candidateSums(job, table, last, j0);
                D I;
                splitImpurity(s.WL, s.SL, s.WR, s.SR, W, I);
                L::store(lower + j0, I);
                for (; kept != 0; kept &= kept - 1) {
                    const int32_t j = j0 + cpu::countTrailingZeros(kept);
                    best.offer(lower[j], j);
                }
            }
            for (; kept != 0; kept &= kept - 1) {
                const int32_t j = j0 + cpu::countTrailingZeros(kept);
                best.offer(candidateImpurity(job, table, last, j), j);
            }
        }
        best.writeAt(job, bins, p, rows);
    }

    // The reference's strict improvements on G0 in bin order over thresholds
    // j = 0 .. bins.count-2 of a feature's cumulative row-layout tables,
    // written at position p; `lower` holds a double per candidate (cache-line
    // aligned). Nothing beats a NaN G0, and without two bins there is no
    // threshold.
    static void boundAndPick(const BinnedJob &job, TableBins bins, const double *table, double *lower, int32_t p,
                             const SplitRows &rows) {
        if (bins.count <= 1 || job.G0 != job.G0) return;
        if (bins.count <= exactBins) {
            candidateImpurities<blockLanes>(job, bins.count, table, lower);
            recordBest(job, bins, lower, p, rows);
            return;
        }
        Bounds b;
        bound(job, bins.count, table, lower, b);
        pick(job, bins, table, lower, b, p, rows);
    }
};

}  // namespace split::binned
