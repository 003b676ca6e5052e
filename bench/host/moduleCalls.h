// What the benchmarks that call the split searches through the stand-in
// host share: the modules (the built ones, their entries linked with the
// reference loops, and the entry that only creates its outputs), the
// runtime's thread maximum, and calls timed one at a time.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "common/cpu.h"
#include "host/loader.h"
#include "tests/support.h"

namespace moduleCalls {

// A module loaded once per process: `name` from the module folder, or with
// `benchBuilt` from the benchmarks' own (bench/CMakeLists.txt).
inline const host::Module &module(const std::string &name, bool benchBuilt) {
    static std::map<std::string, std::unique_ptr<host::Module>> loaded;
    const std::string path =
        benchBuilt ? std::string(BENCH_MODULE_DIR) + "/" + name + "." MEX_EXTENSION : host::modulePath(name);
    std::unique_ptr<host::Module> &m = loaded[path];
    if (!m) m = std::make_unique<host::Module>(path);
    return *m;
}

// The built module (or a copy of it, `builtCopy`), the same entry over the
// reference loop, the empty entry.
struct Trio {
    const host::Module *modules[3];
    explicit Trio(const std::string &name)
        : modules{&module(name, false), &module(name + "Reference", true), &module("emptyEntry", true)} {}
    Trio(const std::string &name, const host::Module &builtCopy)
        : modules{&builtCopy, &module(name + "Reference", true), &module("emptyEntry", true)} {}
};

// A copy of the built module `name` that runs the versions within `isa`: a
// module reads CRESTSPLIT_ISA once, at its first call, so each copy is
// loaded from a file of its own and called first (with `inputs`) while the
// variable holds `isa`; the variable is then restored for every other module.
inline const host::Module &cappedModule(const std::string &name, cpu::Isa isa,
                                        const std::vector<const mxArray *> &inputs) {
    static std::map<std::string, std::unique_ptr<host::Module>> loaded;
    const std::string path = std::string(BENCH_MODULE_DIR) + "/" + name + "." + cpu::name(isa) + "." MEX_EXTENSION;
    std::unique_ptr<host::Module> &m = loaded[path];
    if (!m) {
        std::filesystem::copy_file(host::modulePath(name), path, std::filesystem::copy_options::overwrite_existing);
        const char *before = std::getenv(cpu::capVariable);
        const std::string saved = before ? before : "";
        setenv(cpu::capVariable, cpu::name(isa), 1);
        m = std::make_unique<host::Module>(path);
        m->call(3, inputs);
        if (before)
            setenv(cpu::capVariable, saved.c_str(), 1);
        else
            unsetenv(cpu::capVariable);
    }
    return *m;
}
enum Which { built, reference, empty };

// The runtime's maximum for the calls that follow on this thread, which the
// modules read as their team bound.
inline void setMaxThreads(int threads) {
#ifdef _OPENMP
    omp_set_num_threads(threads);
#else
    (void)threads;
#endif
}

inline double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One call as a host makes it: the time from the entry's call to its return,
// the outputs still held; an error stops the benchmark row.
inline bool timedCall(benchmark::State &state, const host::Module &m, const std::vector<const mxArray *> &inputs,
                      double &elapsed, host::CallResult *keep = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    host::CallResult r = m.call(3, inputs);
    elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (!r.ok()) {
        state.SkipWithError((r.errorId + ": " + r.errorMessage).c_str());
        return false;
    }
    if (keep) *keep = std::move(r);
    return true;
}

inline bool sameRows(const host::CallResult &a, const host::CallResult &b) {
    for (size_t slot = 0; slot < 3; ++slot)
        if (!support::sameBits(host::values<double>(a.outputs[slot].get()), host::values<double>(b.outputs[slot].get())))
            return false;
    return true;
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Each iteration calls the three modules once, in turn from a rotating
// start, with the same inputs. The row's time is the built module's;
// counters are medians over the iterations in microseconds.
inline void timeTrio(benchmark::State &state, const Trio &trio, const std::vector<const mxArray *> &inputs) {
    host::CallResult first[2];
    double elapsed = 0;
    for (int w : {built, reference})
        if (!timedCall(state, *trio.modules[w], inputs, elapsed, &first[w])) return;
    std::vector<double> times[3];
    int rotation = 0;
    bool ok = true;
    for (auto _ : state) {
        for (int c = 0; c < 3 && ok; ++c) {
            const int w = (rotation + c) % 3;
            ok = timedCall(state, *trio.modules[w], inputs, elapsed);
            times[w].push_back(elapsed);
        }
        if (!ok) break;
        rotation = (rotation + 1) % 3;
        state.SetIterationTime(times[built].back());
    }
    if (!ok) return;
    const double module = median(times[built]) * 1e6, plain = median(times[reference]) * 1e6;
    const double floor = median(times[empty]) * 1e6;
    state.counters["module_us"] = module;
    state.counters["reference_us"] = plain;
    state.counters["empty_us"] = floor;
    state.counters["above_empty_us"] = module - floor;
    state.counters["ratio"] = plain / module;
    state.counters["identical"] = sameRows(first[built], first[reference]) ? 1 : 0;
}

}  // namespace moduleCalls
