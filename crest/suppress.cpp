#include <algorithm>
#include <cmath>
#include <cstring>

#include "interpolate.h"
#include "lineSampler.h"
#include "thin.h"

namespace crest {

namespace {

struct Stages {
    int32_t (*listCandidates)(const float *edge, float *thinned, const float *orientationMap, int64_t column,
                              float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                              int32_t *n, bool backward);
    void (*sampleLines)(const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch, float *thinned);
};

Stages stagesOf(cpu::Isa isa) {
    switch (isa) {
#if defined(CPU_WIDE_SIMD)
    case cpu::Isa::avx512: return {listCandidatesAvx512, sampleLinesAvx512};
    case cpu::Isa::avx2: return {listCandidatesAvx2, sampleLinesAvx2};
#endif
#if defined(CPU_ARM64)
    case cpu::Isa::neon: return {listCandidatesNeon, sampleLinesNeon};
#endif
    default: return {listCandidatesScalar, sampleLinesScalar};
    }
}

// Sine and cosine of every candidate. The library function branches on the
// angle's range and quadrant, which random angles make unpredictable; taking
// the angles grouped by quadrant (the ones near 0 apart) keeps the branches on
// one path for long runs. Every value is still the function of its own angle.
// A counting sort with the group counters packed 12 bits apart in one
// register, so that nothing here branches on the data.
constexpr int counterBits = 12;
constexpr uint64_t counterMask = (uint64_t{1} << counterBits) - 1;

void sinCosByQuadrant(int32_t n, Candidates &c) {
    static_assert(batchCapacity <= counterMask && quadrantGroups * counterBits <= 64, "packed group counters");
    uint64_t counts = 0;
    for (int32_t k = 0; k < n; ++k) counts += uint64_t{1} << (counterBits * c.group[k]);
    uint64_t next = 0, running = 0;  // exclusive prefix sums, packed the same way
    for (int g = 0; g < quadrantGroups; ++g) {
        next |= running << (counterBits * g);
        running += (counts >> (counterBits * g)) & counterMask;
    }
    for (int32_t k = 0; k < n; ++k) {
        const int shift = counterBits * c.group[k];
        c.order[(next >> shift) & counterMask] = static_cast<uint16_t>(k);
        next += uint64_t{1} << shift;
    }
    for (int32_t j = 0; j < n; ++j) {
        const int32_t k = c.order[j];
        orientationSinCos(c.theta[k], &c.sn[k], &c.cs[k]);
    }
}

// Maps one pixel across or wider than largestCeilingClampedSide: the clamping
// sampler that keeps the +1 neighbour inside, one sample at a time. A line's
// pixel lies at (row, column) = xy(line, along).
template <class Xy>
void sampleLinesAnySize(MapView edge, int32_t h, int32_t w, int32_t line, int32_t radius, const LineBatch &batch,
                        float *thinned, const Xy &xy) {
    for (int32_t k = 0; k < batch.n; ++k) {
        float xf, yf;
        xy(line, batch.rows[k], &xf, &yf);
        for (int64_t d = radius > 0 ? -1 : 0; d != 0; d = nextStep(d, radius)) {
            const float step = static_cast<float>(d);
            const float px = xf + batch.cs[k] * step;
            const float py = yf + batch.sn[k] * step;
            if (interpolateStrided(edge.data, edge.rowStep, edge.columnStep, h, w, px, py) > batch.limit[k]) {
                thinned[batch.rows[k]] = 0.0f;
                break;
            }
        }
    }
}

// Long radii. A sample coordinate, base + c * d, moves monotonically with the
// step d. Once it lies beyond the map on both sides of the pixel, every later
// step clamps it to the same border, so when both coordinates have got there
// the line's samples only repeat and cannot newly exceed its limit. The step
// count from which that holds for one coordinate (checked with the samplers'
// own arithmetic), or `radius` when it lies farther out.
int32_t clampedFrom(float base, float c, int32_t size, int32_t radius) {
    if (size < 2 || c == 0.0f) return 1;  // the coordinate never moves
    const double steps = std::ceil((static_cast<double>(size) + 1.0) / std::fabs(static_cast<double>(c))) + 1.0;
    if (!(steps < radius)) return radius;
    const float d = static_cast<float>(steps);
    const double ceiling = clampCeiling(size);
    auto beyond = [ceiling](float p) { return p < 0.0f || static_cast<double>(p) > ceiling; };
    return beyond(base + c * d) && beyond(base + c * -d) ? static_cast<int32_t>(steps) : radius;
}

// Lines sorted by the step from which their samples repeat, then sampled in
// chunks, each only as far as its farthest line needs: the same outcome as
// sampling every line to `radius`, in time bounded by the map for most
// angles. Only the last chunk is padded, past the batch's end.
constexpr int32_t reachChunk = 64;
static_assert(reachChunk % batchLanes == 0, "whole registers per chunk");

template <class Xy, class Sample>
void sampleByReach(int32_t h, int32_t w, int32_t line, int32_t radius, LineBatch &batch, const Xy &xy,
                   const Sample &sample) {
    struct Line {
        int32_t reach, row;
        float sn, cs, limit;
    } lines[batchCapacity];
    for (int32_t k = 0; k < batch.n; ++k) {
        float xf, yf;
        xy(line, batch.rows[k], &xf, &yf);
        const int32_t reach =
            std::max(clampedFrom(xf, batch.cs[k], w, radius), clampedFrom(yf, batch.sn[k], h, radius));
        lines[k] = {reach, batch.rows[k], batch.sn[k], batch.cs[k], batch.limit[k]};
    }
    std::sort(lines, lines + batch.n, [](const Line &a, const Line &b) { return a.reach < b.reach; });
    for (int32_t k = 0; k < batch.n; ++k) {
        batch.rows[k] = lines[k].row;
        batch.sn[k] = lines[k].sn;
        batch.cs[k] = lines[k].cs;
        batch.limit[k] = lines[k].limit;
    }
    for (int32_t begin = 0, end; begin < batch.n; begin = end) {
        end = batch.n - begin > reachChunk ? begin + reachChunk : batch.n;
        LineBatch chunk{batch.rows + begin, batch.sn + begin, batch.cs + begin, batch.limit + begin, end - begin};
        sample(lines[end - 1].reach, chunk);
    }
}

}  // namespace

int32_t listCandidatesWith(cpu::Isa isa, const float *edge, float *thinned, const float *orientationMap,
                           int64_t column, float multiplier, int32_t y0, int32_t h, const float *ahead, Candidates &c,
                           int32_t *n, bool backward) {
    return stagesOf(isa).listCandidates(edge, thinned, orientationMap, column, multiplier, y0, h, ahead, c, n,
                                        backward);
}

void sampleLinesWith(cpu::Isa isa, const SampledMap &map, int32_t x, int32_t radius, LineBatch &batch,
                     float *thinned) {
    stagesOf(isa).sampleLines(map, x, radius, batch, thinned);
}

Walk walkOf(MapView edge, int32_t h, int32_t w) {
    // The forward walk first, where a line is both a row and a column.
    for (int64_t along : {int64_t{1}, int64_t{-1}}) {
        if (edge.rowStep == along && indexFits(h, w, edge.columnStep)) return Walk::byColumns;
        if (edge.columnStep == along && indexFits(w, h, edge.rowStep)) return Walk::byRows;
    }
    return Walk::notInPlace;
}

// Each line (column, or row when walked by rows) is taken in stretches that
// hold a batch of candidates: copy the stretch while listing the pixels that
// a sample can suppress (a zero pixel costs a copy and a compare), work out
// their sines and cosines, then let the sampler test all their lines at once
// and clear the suppressed ones. A pixel is suppressed when any of its
// samples is stronger, which is what stopping at the first stronger one
// gives; its result depends on nothing but its own samples, so neither the
// grouping, the order of the work nor the walk counts.
void suppressNonMaximaWith(cpu::Isa isa, MapView edge, MapView orientation, int32_t radius, float multiplier,
                           int32_t h, int32_t w, parallel::Range lines, float *thinnedMap) {
    const bool byRows = walkOf(edge, h, w) == Walk::byRows;
    const int32_t along = byRows ? w : h;
    const int32_t lineCount = byRows ? h : w;
    if (lines.begin >= lines.end || along <= 0) return;
    const int64_t lineStep = byRows ? edge.rowStep : edge.columnStep;
    // 1, or -1 where a line's pixels run down in memory.
    const int64_t alongStep = (byRows ? edge.columnStep : edge.rowStep) < 0 ? -1 : 1;
    const bool backward = alongStep < 0;
    const int64_t orientationLineStep = byRows ? orientation.rowStep : orientation.columnStep;
    const int64_t orientationStep = byRows ? orientation.columnStep : orientation.rowStep;
    if (radius <= 0) {
        for (int64_t b = lines.begin; b < lines.end; ++b) {
            const float *edgeLine = edge.data + lineStep * b;
            if (backward)
                std::reverse_copy(edgeLine - (along - 1), edgeLine + 1, thinnedMap + along * b);
            else
                std::memcpy(thinnedMap + along * b, edgeLine, static_cast<size_t>(along) * sizeof(float));
        }
        return;
    }
    const bool batched = batchSamplable(h, w);
    const SampledMap map = batched ? sampledMap(edge.data, h, w, static_cast<int32_t>(lineStep), byRows, backward)
                                   : SampledMap{edge.data, h, w, {}, {}, 0, byRows, backward};
    const Stages stages = stagesOf(isa);
    // Up to the map's longer side few lines have both coordinates clamped on
    // both sides, and the time is bounded by the map anyway.
    const bool longRadius = radius > std::max(h, w);
    // A line's pixel `a` lies at column a of row `line`, or row a of column `line`.
    auto xy = [byRows](int32_t line, int32_t a, float *x, float *y) {
        *x = static_cast<float>(byRows ? a : line);
        *y = static_cast<float>(byRows ? line : a);
    };
    Candidates c;

    for (int64_t b = lines.begin; b < lines.end; ++b) {
        const float *edgeLine = edge.data + lineStep * b;
        const float *orientationLine = orientation.data + orientationLineStep * b;
        float *thinned = thinnedMap + along * b;
        // The samples reach line b + r + 1, which nothing has read yet.
        const int64_t farthest = b + radius + 1;
        const float *ahead = edge.data + lineStep * (farthest < lineCount ? farthest : lineCount - 1);
        const int32_t line = static_cast<int32_t>(b);
        auto sample = [&](int32_t steps, LineBatch &batch) {
            if (batched)
                stages.sampleLines(map, line, steps, batch, thinned);
            else
                sampleLinesAnySize(edge, h, w, line, steps, batch, thinned, xy);
        };
        for (int32_t y0 = 0, y1; y0 < along; y0 = y1) {
            int32_t n;
            y1 = orientationStep == alongStep
                     ? stages.listCandidates(edgeLine, thinned, orientationLine, 0, multiplier, y0, along, ahead, c,
                                             &n, backward)
                     : listCandidatesStrided(edgeLine, alongStep, thinned, orientationLine, orientationStep,
                                             multiplier, y0, along, ahead, c, &n);
            if (n == 0) continue;
            sinCosByQuadrant(n, c);
            LineBatch batch{c.rows, c.sn, c.cs, c.limit, n};
            if (longRadius)
                sampleByReach(h, w, line, radius, batch, xy, sample);
            else
                sample(radius, batch);
        }
    }
}

void suppressNonMaximaWith(cpu::Isa isa, const float *edgeMap, const float *orientationMap, int32_t radius,
                           float multiplier, int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    suppressNonMaximaWith(isa, columnMajor(edgeMap, h), columnMajor(orientationMap, h), radius, multiplier, h, w,
                          columns, thinnedMap);
}

void suppressNonMaxima(MapView edge, MapView orientation, int32_t radius, float multiplier, int32_t h, int32_t w,
                       parallel::Range lines, float *thinnedMap) {
    suppressNonMaximaWith(cpu::fastest(lineSamplerVersions), edge, orientation, radius, multiplier, h, w, lines,
                          thinnedMap);
}

void suppressNonMaxima(const float *edgeMap, const float *orientationMap, int32_t radius, float multiplier,
                       int32_t h, int32_t w, parallel::Range columns, float *thinnedMap) {
    suppressNonMaximaWith(cpu::fastest(lineSamplerVersions), edgeMap, orientationMap, radius, multiplier, h, w,
                          columns, thinnedMap);
}

}  // namespace crest
