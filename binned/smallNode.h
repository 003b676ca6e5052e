// A vector version's scan of nodes of at most smallNodeLimit samples, one
// feature per vector lane. A node this small occupies few bins, and the
// per-feature steps of the other scans (ranks, tables, prefix sums,
// candidate blocks) would each handle a handful of values: here every step
// handles a vector of features at once. Per feature (lane), the listed
// samples are sorted by bin and then list position with a sorting network,
// the histograms are summed along that order (each bin's samples in list
// order from +0.0, each occupied bin's sum added to the prefix sums of the
// bins below it), and the candidates, one per occupied bin but the highest,
// are bounded (in a plain node, all with one allowance: impurityBounds.h)
// and picked in bin order as in boundedPick.h. These are the reference's
// additions in its order, so the bits are its bits. `L`
// supplies the lane operations; include inside the region built for its
// instruction set, after impurityBounds.h.
#pragma once

namespace split::binned {

// A sample's key: its bin above its list position, so that ascending keys
// list the samples by bin and, within a bin, in list order; positions past
// the list hold keys above every other.
constexpr int positionBits = 5;
static_assert(smallNodeLimit <= 1 << positionBits, "a list position fits below the bin");

// Batcher's odd-even merge sort of N keys (N a power of two) as a list of
// compare-exchanges, made at compile time so that the sort unrolls into
// straight vector code. What keeps the bits: a sorting network sorts every
// input, and the keys of one lane are distinct (no two samples share a list
// position), so its result is the one ascending order of the keys: by bin,
// and within a bin by list position, the order of the reference's
// additions into each bin.
template <int N>
struct SortingNetwork {
    static constexpr int count() {
        int c = 0;
        for (int p = 1; p < N; p *= 2)
            for (int k = p; k >= 1; k /= 2)
                for (int j = k % p; j + k < N; j += 2 * k)
                    for (int i = 0; i < k && i + j + k < N; ++i) c += (i + j) / (2 * p) == (i + j + k) / (2 * p);
        return c;
    }
    int low[count()] = {};
    int high[count()] = {};
    constexpr SortingNetwork() {
        int c = 0;
        for (int p = 1; p < N; p *= 2)
            for (int k = p; k >= 1; k /= 2)
                for (int j = k % p; j + k < N; j += 2 * k)
                    for (int i = 0; i < k && i + j + k < N; ++i)
                        if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) {
                            low[c] = i + j;
                            high[c] = i + j + k;
                            ++c;
                        }
    }
};

template <class L>
struct SmallNode {
    using D = typename L::D;
    using Keys = typename L::Keys;
    static constexpr int lanes = L::width;
    static_assert(lanes <= smallNodeLanes, "the scratch holds smallNodeLanes features");

    template <int N>
    static CPU_INLINE void sortKeys(Keys *keys) {
        static constexpr SortingNetwork<N> network;
        constexpr int comparators = SortingNetwork<N>::count();
        CPU_UNROLL(256)
        for (int c = 0; c < comparators; ++c) {
            const Keys a = keys[network.low[c]], b = keys[network.high[c]];
            keys[network.low[c]] = L::keysMin(a, b);
            keys[network.high[c]] = L::keysMax(a, b);
        }
    }

    // The listed samples' weights and classes by list position, N of them
    // (past the list: weight 0, class -1), as L::Listed fetches them: widened
    // to 64 bits, or as given (the weight's widening then left to the fetch,
    // the one conversion the reference makes).
    template <int N>
    struct ListedSamples {
        alignas(64) double w[N];
        alignas(64) int64_t k[N];
        alignas(64) float w32[N];
        alignas(64) int32_t k32[N];

        CPU_INLINE explicit ListedSamples(const BinnedJob &job) {
            for (int i = 0; i < N; ++i) {
                const bool listed = i < job.n;
                const uint32_t s = listed ? job.nodeSamples[i] : 0;
                w32[i] = listed ? job.weights[s] : 0.0f;
                k32[i] = listed ? static_cast<int32_t>(job.labels[s] - 1) : -1;
                w[i] = static_cast<double>(w32[i]);
                k[i] = k32[i];
            }
        }
    };

    // A thread's scratch (smallNodeDoubles) for one group of up to `lanes`
    // features, one per lane, N sorted positions each.
    template <int N>
    struct GroupTables {
        static constexpr int64_t row = static_cast<int64_t>(N) * lanes;  // one histogram's sums
        double *cum;        // per sorted position: the sums up to its bin of K + 1 histograms
        double *sums;       // per candidate: S_L, S_R (W_L is cum's, W_R pick's subtraction)
        double *lower;      // per candidate: the lower bound of its impurity

        GroupTables(double *scratch, int32_t K)
            : cum(scratch), sums(cum + (K + 1) * row), lower(sums + candidateSumRows * row) {}
    };

    // Each lane's samples sorted by key: its bin above the list position. The
    // keys are distinct, so the sort is total: within a bin the samples keep
    // list order, and each bin's additions in cumulate are the reference's
    // in its order, from +0.0. Positions past the list sort last. Returns the
    // lanes of the group that hold a bin value of B or above (the highest bin
    // of a lane is its last key's).
    template <int N>
    static CPU_INLINE uint32_t sortSamples(const BinnedJob &job, const uint8_t *const *columns, int group,
                                           Keys *keys) {
        const int32_t n = job.n;
        for (int32_t i = 0; i < n; ++i) {
            // A sample's bins gathered in a register (bytes stored one by one
            // would not forward to one load of all of them).
            const uint32_t s = job.nodeSamples[i];
            uint64_t bins = 0;
            for (int g = 0; g < lanes; ++g) bins |= static_cast<uint64_t>(columns[g][s]) << (8 * g);
            keys[i] = L::keys(bins, positionBits, i);
        }
        for (int32_t i = n; i < N; ++i) keys[i] = L::allKeys(~0u);
        // Keys past the list are above every other and already last: a
        // short list needs only the network of its own width.
        if (N > 16 || n > 8)
            sortKeys<N>(keys);
        else if (n > 4)
            sortKeys<8>(keys);
        else if (n > 2)
            sortKeys<4>(keys);
        else if (n > 1)
            sortKeys<2>(keys);
        return L::keysAtLeast(L::shiftDown(keys[n - 1], positionBits), static_cast<uint32_t>(job.B)) &
               ((1u << group) - 1u);
    }

    // Along the sorted samples: a bin's sums restart from +0.0 at its first
    // sample and are added to the sums below it at its last. Notes in `ends`
    // the lanes whose bin ends at each position (those with a candidate
    // there); returns the total weight. The total runs first and keeps the
    // fetched weights and classes (in the candidates' rows, which bound
    // writes later); the classes' sums then run a part of the lanes at a time
    // (L::Part), so that they stay in registers: AVX2's 16 do not hold those
    // of three classes over eight lanes, and GCC spilled them at every step.
    template <int N, int KC>
    static CPU_INLINE D cumulate(const BinnedJob &job, const typename L::template Listed<N> &listed,
                                 const Keys *keys, const GroupTables<N> &t, uint8_t *ends) {
        const int32_t n = job.n, K = KC > 0 ? KC : job.K;
        double *weights = t.sums;
        int64_t *classes = reinterpret_cast<int64_t *>(t.sums + t.row);
        D total = L::zero(), totalBelow = L::zero();
        Keys b = L::shiftDown(keys[0], positionBits);
        // The lanes whose bin starts at q: those whose bin ended at q - 1,
        // and every lane at 0 (no bin lies above every bin).
        typename L::Mask first = L::keysDiffer(b, L::allKeys(~0u));
        for (int32_t q = 0; q < n; ++q) {
            const Keys after = q + 1 < n ? L::shiftDown(keys[q + 1], positionBits) : L::allKeys(~0u);
            D w;
            typename L::Classes k;
            listed.fetch(L::positionsOf(keys[q], (1u << positionBits) - 1), w, k);
            L::store(weights + q * lanes, w);
            L::storeClasses(classes + q * lanes, k);
            const typename L::Mask last = L::keysDiffer(b, after);
            ends[q] = static_cast<uint8_t>(L::bits(last));
            total = L::maskZero(total, first) + w;
            totalBelow = L::addOrSecond(total, totalBelow, last);
            L::store(t.cum + q * lanes, totalBelow);
            first = last;
            b = after;
        }
        // Two or three classes (KC) side by side, more one at a time.
        constexpr int together = KC > 0 ? KC : 1;
        for (int part = 0; part < L::parts; ++part)
            for (int32_t c = 0; c < K; c += together)
                cumulateClasses<N, together>(n, part * L::Part::width, c, weights, classes, ends, t);
        return totalBelow;
    }

    // The running sums of classes c0 .. c0 + C - 1 in the lanes from `lane`
    // on (one L::Part), each stored at every position.
    template <int N, int C>
    static CPU_INLINE void cumulateClasses(int32_t n, int lane, int32_t c0, const double *weights,
                                           const int64_t *classes, const uint8_t *ends, const GroupTables<N> &t) {
        using P = typename L::Part;
        typename P::D current[C], upTo[C];
        for (int c = 0; c < C; ++c) {
            current[c] = P::zero();
            upTo[c] = P::zero();
        }
        typename P::Mask first = P::fromBits(~0u);
        for (int32_t q = 0; q < n; ++q) {
            const int64_t at = q * lanes + lane;
            const typename P::D w = P::load(weights + at);
            const typename P::Classes k = P::loadClasses(classes + at);
            const typename P::Mask last = P::fromBits(ends[q] >> lane);
            for (int c = 0; c < C; ++c) {
                current[c] = P::addOrFirst(P::maskZero(current[c], first), w, P::classIs(k, c0 + c));
                upTo[c] = P::addOrSecond(current[c], upTo[c], last);
                P::store(t.cum + (c0 + c + 1) * t.row + at, upTo[c]);
            }
            first = last;
        }
    }

    // A candidate at every occupied bin but the highest: its square sums,
    // kept for pick, and the bounds of its impurity (impurityBounds.h; in a
    // plain node, `delta` from plainBound). Notes the untamed lanes of each
    // position (none in a plain node); returns each lane's reach.
    //
    // A plain node's reach takes every lane of every position: where a lane
    // has no candidate, its running sums are those of its previous one (the
    // sums below add +0.0 there, and no sum of positive weights is -0.0), so
    // are its bounds; before its first one, W_L is +0.0, whose reciprocal
    // estimate is +inf, and S_L / W_L and the bounds NaN.
    template <int N, int KC, bool Plain, bool Unit>
    static CPU_INLINE D bound(const BinnedJob &job, const GroupTables<N> &t, D totalBelow, const uint8_t *ends,
                              double delta, uint8_t *untamed) {
        const int32_t n = job.n, K = KC > 0 ? KC : job.K;
        // Each class's total: its sums up to the last position's bin.
        const double *classTotals = t.cum + t.row + (n - 1) * lanes;
        const D iW = L::all(1.0 / job.W), plainDelta = L::all(delta);
        BoundsPass<L> pass;
        for (int32_t q = 0; q + 1 < n; ++q) {
            CandidateSums<L> s;
            s.WL = L::load(t.cum + q * lanes);
            s.WR = totalBelow - s.WL;
            s.SL = L::zero();
            s.SR = L::zero();
            if (K > 0) classTerms<N, Unit, true>(job, t, classTotals, q, 0, s);
            for (int32_t c = 1; c < K; ++c) classTerms<N, Unit, false>(job, t, classTotals, q, c, s);
            double *at = t.sums + candidateSumRows * q * lanes;
            L::store(at, s.SL);
            L::store(at + lanes, s.SR);
            const ImpurityBounds<L> i = Plain ? plainImpurityBounds<L>(s, iW, plainDelta, ends[q])
                                              : impurityBounds<L, false>(s, iW, ends[q]);
            L::store(t.lower + q * lanes, i.lower);
            if constexpr (Plain)
                pass.addPlain(i.upper);
            else
                untamed[q] = static_cast<uint8_t>(pass.add(i, ends[q]));
        }
        return pass.reach;
    }

    // Class c's terms of the candidates' sums at position q (addClassTerms).
    template <int N, bool Unit, bool First>
    static CPU_INLINE void classTerms(const BinnedJob &job, const GroupTables<N> &t, const double *classTotals,
                                      int32_t q, int32_t c, CandidateSums<L> &s) {
        const D mL = L::load(t.cum + (c + 1) * t.row + q * lanes), total = L::load(classTotals + c * t.row);
        if constexpr (Unit)
            addClassTerms<First>(UnitWeight{}, mL, total, s.SL, s.SR);
        else
            addClassTerms<First>(L::all(job.classWeights[c]), mL, total, s.SL, s.SR);
    }

    // The exact impurity of the candidates that can hold the lowest, in bin
    // order, into each lane's best.
    template <int N, bool Plain>
    static CPU_INLINE void pick(const BinnedJob &job, const GroupTables<N> &t, D reach, const uint8_t *ends,
                                const uint8_t *untamed, BestSplit *best) {
        const D g0 = L::all(job.G0);
        const double *totals = t.cum + (job.n - 1) * lanes;
        for (int32_t q = 0; q + 1 < job.n; ++q) {
            const double *WL = t.cum + q * lanes, *at = t.sums + candidateSumRows * q * lanes;
            const uint32_t untamedLanes = Plain ? 0u : untamed[q];
            for (uint32_t kept = lanesToEvaluate<L>(L::load(t.lower + q * lanes), g0, reach, ends[q], untamedLanes);
                 kept != 0; kept &= kept - 1) {
                const int g = cpu::countTrailingZeros(kept);
                // bound's subtraction for W_R, in one lane: the same bits.
                const double WR = totals[g] - WL[g];
                double I;
                splitImpurity(WL[g], at[g], WR, at[lanes + g], job.W, I);
                best[g].offer(I, q);
            }
        }
    }

    // Each lane's best at its position, for the first `written` lanes.
    static CPU_INLINE void writeBest(const BinnedJob &job, const Keys *keys, const BestSplit *best, int64_t p0,
                                     int written, const SplitRows &rows) {
        for (int g = 0; g < written; ++g) {
            if (best[g].at < 0) continue;
            best[g].write(job, p0 + g, L::keyAt(keys[best[g].at], g) >> positionBits, rows);
        }
    }

    template <int N, int KC, bool Plain, bool Unit>
    static Fault scanGroups(const BinnedJob &job, const ListedSamples<N> &samples, double *scratch, int64_t begin,
                            int64_t end, const SplitRows &rows, double delta) {
        const GroupTables<N> t(scratch, job.K);
        const typename L::template Listed<N> listed(samples);
        const bool candidates = job.n > 1 && job.G0 == job.G0;
        for (int64_t p0 = begin; p0 < end; p0 += lanes) {
            const int group = static_cast<int>(end - p0 < lanes ? end - p0 : lanes);
            // Lanes past the group scan the group's first feature again, unwritten.
            const uint8_t *columns[lanes];
            for (int g = 0; g < lanes; ++g)
                columns[g] =
                    job.binnedData + static_cast<int64_t>(job.M) * job.candidateFeatures[p0 + (g < group ? g : 0)];
            Keys keys[N];
            const uint32_t faulty = sortSamples<N>(job, columns, group, keys);
            const int written = faulty ? cpu::countTrailingZeros(faulty) : group;
            uint8_t ends[N];
            const D totalBelow = cumulate<N, KC>(job, listed, keys, t, ends);
            BestSplit best[lanes];
            for (BestSplit &b : best) b = BestSplit(job.G0);
            if (candidates) {
                uint8_t untamed[N];
                const D reach = bound<N, KC, Plain, Unit>(job, t, totalBelow, ends, delta, untamed);
                pick<N, Plain>(job, t, reach, ends, untamed, best);
            }
            writeBest(job, keys, best, p0, written, rows);
            if (faulty) return Fault::binOutOfRange(p0 + written, firstBinAtOrAbove(job, columns[written]));
        }
        return {};
    }

    template <int N, bool Plain, bool Unit>
    static Fault scanClasses(const BinnedJob &job, const ListedSamples<N> &samples, double *scratch, int64_t begin,
                             int64_t end, const SplitRows &rows, double delta) {
        // Two and three classes have their running sums in registers.
        if (job.K == 2) return scanGroups<N, 2, Plain, Unit>(job, samples, scratch, begin, end, rows, delta);
        if (job.K == 3) return scanGroups<N, 3, Plain, Unit>(job, samples, scratch, begin, end, rows, delta);
        return scanGroups<N, 0, Plain, Unit>(job, samples, scratch, begin, end, rows, delta);
    }

    template <int N>
    static Fault scanNode(const BinnedJob &job, double *scratch, int64_t begin, int64_t end, const SplitRows &rows) {
        const ListedSamples<N> samples(job);
        const double delta = plainBound<L>(job, samples.w32);
        if (delta == 0.0) return scanClasses<N, false, false>(job, samples, scratch, begin, end, rows, 0.0);
        // Class weights of 1 (the default) leave every product with them as it is.
        bool unit = true;
        for (int32_t k = 0; k < job.K; ++k) unit = unit && job.classWeights[k] == 1.0;
        if (unit) return scanClasses<N, true, true>(job, samples, scratch, begin, end, rows, delta);
        return scanClasses<N, true, false>(job, samples, scratch, begin, end, rows, delta);
    }

    // Positions begin .. end-1 of a node of at most smallNodeLimit samples,
    // with a thread's scratch of smallNodeDoubles.
    static Fault scan(const BinnedJob &job, double *scratch, int64_t begin, int64_t end, const SplitRows &rows) {
        if (job.n <= 16) return scanNode<16>(job, scratch, begin, end, rows);
        return scanNode<smallNodeLimit>(job, scratch, begin, end, rows);
    }
};

}  // namespace split::binned
