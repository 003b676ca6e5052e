// splitScan loaded through the stand-in host: exports, the forms of a call
// against the reference (sweep/reference.h), and one table of bad calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "exports.h"
#include "host/loader.h"
#include "sweep/reference.h"
#include "tests/support.h"

namespace {

using host::Array;
using support::SweepNode;

host::Module &module() {
    static host::Module m(host::modulePath("splitScan"));
    return m;
}

struct Inputs {
    Array args[7];
    int count = 7;  // beyond 7, X again
    int nlhs = 3;

    host::CallResult call() const { return call(nlhs); }
    host::CallResult call(int outputs) const {
        std::vector<const mxArray *> list;
        for (int a = 0; a < count; ++a) list.push_back(a < 7 ? args[a].get() : args[0].get());
        return module().call(outputs, list);
    }
};

template <typename Label = uint32_t>
Inputs inputsOf(const SweepNode &p, std::vector<size_t> orderDims = {}, double K = -1) {
    if (orderDims.empty()) orderDims = {static_cast<size_t>(p.M), static_cast<size_t>(p.N)};
    Inputs in;
    in.args[0] = host::makeMatrix<float>(p.M, p.N, p.X);
    in.args[1] = host::makeMatrix<Label>(p.M, 1, std::vector<Label>(p.labels.begin(), p.labels.end()));
    in.args[2] = host::makeMatrix<float>(p.M, 1, p.weights);
    in.args[3] = host::makeArray(mxUINT32_CLASS, orderDims);
    std::copy(p.sortedOrder.begin(), p.sortedOrder.end(), static_cast<uint32_t *>(mxGetData(in.args[3].get())));
    in.args[4] = host::makeScalar(K < 0 ? p.K : K);
    in.args[5] = host::makeScalar(NAN);
    in.args[6] = host::makeMatrix<double>(1, p.classWeights.size(), p.classWeights);
    return in;
}

// Impurity, threshold and gain rows of the reference, side by side.
std::vector<double> referenceRows(const SweepNode &p) {
    std::vector<double> rows(3 * static_cast<size_t>(p.N));
    const split::SweepInput in{p.X.data(),           p.labels.data(), p.weights.data(), p.sortedOrder.data(),
                               p.classWeights.data(), p.M,             p.N,              p.K,
                               split::Steps::columnMajor(p.M), split::Steps::columnMajor(p.M)};
    EXPECT_EQ(split::referenceSearch(in, {rows.data(), rows.data() + p.N, rows.data() + 2 * p.N}, 1).kind,
              split::Fault::Kind::none);
    return rows;
}

// Every output a 1 x N double row, together the given rows.
bool sameRows(const host::CallResult &r, const std::vector<double> &rows, size_t N) {
    for (size_t o = 0; o < r.outputs.size(); ++o) {
        const mxArray *a = r.outputs[o].get();
        if (mxGetClassID(a) != mxDOUBLE_CLASS || mxGetM(a) != 1 || mxGetN(a) != N ||
            (N > 0 && std::memcmp(mxGetData(a), rows.data() + o * N, N * sizeof(double)) != 0))
            return false;
    }
    return true;
}

TEST(SplitScanModule, ExportsEntryAndApiVersion) {
    exports::expectEntryOnly(module(), true);
}

// The module's team grows with the node up to the runtime's maximum (at most
// four), so under every OMP_NUM_THREADS setting these give the reference's
// bits; the last node is large enough for four threads.
TEST(SplitScanModule, FormsOfACallGiveTheReferenceRowsThreads) {
    const SweepNode p = support::sweepNode({"zero weights", true}, 90, 11, 4, 11);
    const int32_t fourThreads = static_cast<int32_t>(4 * split::teamWorkPerThread / 100);
    const SweepNode large = support::sweepNode({"zero weights", true}, fourThreads, 100, 4, 12);
    SweepNode twoClasses = p;  // K = 2.9 acts as 2
    for (uint32_t &label : twoClasses.labels) label = label > 2 ? 2 : label;
    twoClasses.K = 2;
    const size_t MN = 90 * 11;
    struct {
        const char *what;
        Inputs in;
        const SweepNode &expected;
        int nlhs;
    } forms[] = {
        {"uint32 labels, M x N order", inputsOf(p), p, 3},
        {"int32 labels", inputsOf<int32_t>(p), p, 3},
        {"order as a row", inputsOf(p, {1, MN}), p, 3},
        {"order as N x M", inputsOf(p, {11, 90}), p, 3},
        {"order in three dimensions", inputsOf(p, {9, 10, 11}), p, 3},
        {"K = 2.9", inputsOf(twoClasses, {}, 2.9), twoClasses, 3},
        {"no output asked: the impurity row still returns", inputsOf(p), p, 0},
        {"work for four threads", inputsOf(large), large, 3},
        {"unused a cell", inputsOf(p), p, 3},
        {"unused a function handle", inputsOf(p), p, 3},
    };
    // `unused` is never read, whatever its class.
    forms[std::size(forms) - 2].in.args[5] = host::makeArray(mxCELL_CLASS, {1, 1});
    forms[std::size(forms) - 1].in.args[5] = host::makeArray(mxFUNCTION_CLASS, {1, 1});
    for (const auto &f : forms) {
        const auto r = f.in.call(f.nlhs);
        ASSERT_TRUE(r.ok()) << f.what << ": " << r.errorMessage;
        EXPECT_EQ(r.outputs.size(), f.nlhs > 0 ? 3u : 1u) << f.what;
        EXPECT_TRUE(sameRows(r, referenceRows(f.expected), f.expected.N)) << f.what;
    }
    // Without features, or without samples and classes: rows of zeros, or none.
    const struct {
        int M, N, K;
    } sizes[] = {{5, 0, 2}, {0, 3, 0}};
    for (const auto &s : sizes) {
        const SweepNode q = support::sweepNode({"plain"}, s.M, s.N, s.K > 0 ? s.K : 1, 3);
        const auto r = inputsOf(q, {}, s.K).call();
        ASSERT_TRUE(r.ok()) << "M = " << s.M << ", N = " << s.N << ": " << r.errorMessage;
        EXPECT_TRUE(sameRows(r, std::vector<double>(3 * static_cast<size_t>(s.N), 0.0), s.N)) << "M = " << s.M;
    }
}

TEST(SplitScanModule, RejectsBadCalls) {
    // Four samples, labels 1, 1, 2, 2, two features, K = 2.
    const SweepNode base{4, 2, 2, {1, 2, 3, 4, 4, 3, 2, 1}, {1, 1, 2, 2}, {1, 1, 1, 1}, {0, 1, 2, 3, 3, 2, 1, 0},
                         {1, 1}};
    auto set = [](int slot, std::function<Array()> make) {
        return [slot, make](Inputs &in) { in.args[slot] = make(); };
    };
    auto scalar = [&](int slot, double v) { return set(slot, [v] { return host::makeScalar(v); }); };
    const struct {
        std::function<void(Inputs &)> change;
        const char *id;
        const char *fragment;
    } cases[] = {
        {[](Inputs &in) { in.count = 6; }, "splitScan:notEnoughInputs", "6 given"},
        {[](Inputs &in) { in.count = 8; }, "splitScan:tooManyInputs", "8 given"},
        {[](Inputs &in) { in.nlhs = 4; }, "splitScan:tooManyOutputs", "4 requested"},
        {set(0, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 2}); }), "splitScan:wrongClass", "Argument 1 (X)"},
        {set(0, [] { return host::makeArray(mxSINGLE_CLASS, {4, 2}, mxCOMPLEX); }), "splitScan:notReal", "Argument 1"},
        {set(0, [] { return host::makeArray(mxSINGLE_CLASS, {4, 1, 2}); }), "splitScan:notMatrix", "3 dimensions"},
        {set(0, [] { return host::makeArray(mxSINGLE_CLASS, {0, 0}); }), "splitScan:wrongSize",
         "Argument 1 (X) is empty (0 by 0), but labels holds 4 elements"},
        {set(1, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 1}); }), "splitScan:wrongClass", "Argument 2 (labels)"},
        {set(1, [] { return host::makeArray(mxUINT32_CLASS, {3, 1}); }), "splitScan:wrongSize", "holds 3"},
        {set(2, [] { return host::makeArray(mxDOUBLE_CLASS, {4, 1}); }), "splitScan:wrongClass", "Argument 3 (weights)"},
        {set(2, [] { return host::makeArray(mxSINGLE_CLASS, {1, 5}); }), "splitScan:wrongSize", "holds 5"},
        {set(3, [] { return host::makeArray(mxINT64_CLASS, {4, 2}); }), "splitScan:wrongClass", "Argument 4 (sortedOrder)"},
        {set(3, [] { return host::makeArray(mxUINT32_CLASS, {4, 1}); }), "splitScan:wrongSize", "must hold 8"},
        {scalar(4, 0), "splitScan:badValue", "Argument 5 (K) must be a class count from 1 to 2147483647; it is 0"},
        {scalar(4, -1), "splitScan:badValue", "it is -1"},
        {scalar(4, NAN), "splitScan:badValue", "it is NaN."},
        {scalar(4, INFINITY), "splitScan:badValue", "it is Inf."},
        {scalar(4, 3e9), "splitScan:badValue", "it is 3000000000."},
        {set(4, [] { return host::makeArray(mxDOUBLE_CLASS, {0, 0}); }), "splitScan:notScalar", "Argument 5"},
        {set(6, [] { return host::makeMatrix<float>(1, 2, {1, 1}); }), "splitScan:wrongClass", "Argument 7"},
        // A sparse array holds only its non-zeros: read as full, it would run past its data.
        {[](Inputs &in) { standinMarkSparse(in.args[6].get()); }, "splitScan:wrongClass",
         "Argument 7 (classWeights) must be a full double array; it is sparse"},
        {set(6, [] { return host::makeScalar(1); }), "splitScan:wrongSize", "at least 2"},
        {set(1, [] { return host::makeMatrix<uint32_t>(4, 1, {1, 2, 0, 2}); }), "splitScan:labelOutOfRange",
         "Argument 2 (labels) holds 0 at element 3; labels must lie in 1 ... 2"},
        {set(1, [] { return host::makeMatrix<int32_t>(4, 1, {1, -5, 3, 2}); }), "splitScan:labelOutOfRange",
         "holds -5 at element 2"},
        {set(3, [] { return host::makeMatrix<uint32_t>(4, 2, {0, 1, 2, 3, 3, 2, 4, 0}); }),
         "splitScan:indexOutOfRange",
         "Argument 4 (sortedOrder) holds 4 at element 7 (position 3 in the order of feature 2); sample indices "
         "must lie in 0 ... 3"},
        {set(3, [] { return host::makeMatrix<int32_t>(4, 2, {0, 1, -1, 3, 3, 2, 1, -1}); }),
         "splitScan:indexOutOfRange", "holds -1 at element 3 (position 3 in the order of feature 1)"},
    };
    ASSERT_TRUE(inputsOf(base).call().ok());
    for (const auto &c : cases) {
        Inputs in = inputsOf(base);
        c.change(in);
        const auto r = in.call();
        EXPECT_EQ(r.errorId, c.id) << r.errorMessage;
        EXPECT_NE(r.errorMessage.find(c.fragment), std::string::npos) << r.errorMessage;
    }
}

// Scratch beyond what the system reports available is refused before any of
// it is made: the sweep's class tables take 32 bytes per class for the start
// and as much again for the one thread that so small a node gets, the
// node's masses 8.
TEST(SplitScanModule, RefusesLargeScratchBeyondAvailableMemory) {
    const SweepNode p = support::sweepNode({"plain"}, 6, 2, 2, 3);
    for (uint64_t bytes : support::scratchBeyondAvailable()) {
        const double K = std::ceil(static_cast<double>(bytes) / (8.0 + 32.0 * 2));
        Inputs in = inputsOf(p, {}, K);
        in.args[6] = host::makeArray(mxDOUBLE_CLASS, {1, static_cast<size_t>(K)});
        const host::CallResult r = in.call();
        EXPECT_EQ(r.errorId, "splitScan:outOfMemory") << bytes;
        EXPECT_NE(r.errorMessage.find("bytes the system reports available"), std::string::npos) << r.errorMessage;
    }
}

}  // namespace
