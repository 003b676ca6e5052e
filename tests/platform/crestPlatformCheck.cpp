// crestThin of this build (Windows under Wine, or the serial build) against the
// Linux OpenMP module: crestPlatformCheck <reference file> [unload cycles].
//
// The builds differ only in how sine and cosine are computed (MinGW's
// sinf/cosf, linked into the Windows module; double then rounded to single in
// the serial build). Every output
// pixel must match the recorded Linux output bit for bit, unless that pixel's
// sine or cosine differs from Linux's, by one unit in the last place at most,
// and replaying the pixel's search with either pair flips its decision.
// Also: thread-bound independence, the refused calls and their identifiers
// (the module tests' table), and load/call/unload cycles. Ends with "N
// passed, N failed".
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "crest/reference.h"
#include "host/loader.h"
#include "referenceFile.h"
#include "tests/module/crestThinBadCalls.h"
#include "tests/support.h"

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char *format, ...) {
    ok ? ++passed : ++failed;
    va_list args;
    va_start(args, format);
    std::printf("%s ", ok ? "ok    " : "FAILED");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
}

using support::bits;

// Distance in units in the last place, across zero too.
int64_t ulps(float a, float b) {
    auto ordered = [](float v) {
        const int64_t i = static_cast<int32_t>(bits(v));
        return i < 0 ? INT32_MIN - i : i;
    };
    const int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

host::CallResult thin(const host::Module &module, const reference::Call &c, double threadBound) {
    host::Array edge = host::makeMatrix<float>(c.h, c.w, c.edgeMap);
    host::Array orientation = host::makeMatrix<float>(c.h, c.w, c.orientationMap);
    host::Array r = host::makeScalar(c.radius), b = host::makeScalar(c.marginWidth),
                m = host::makeScalar(c.multiplier), t = host::makeScalar(threadBound);
    return module.call(1, {edge.get(), orientation.get(), r.get(), b.get(), m.get(), t.get()});
}

// The pixel's search with a given sine and cosine.
int32_t firstStrongerStep(const reference::Call &c, int32_t y, int32_t x, float sn, float cs, float *sample) {
    const float v = c.edgeMap[static_cast<size_t>(y) + static_cast<size_t>(c.h) * x];
    return crest::reference::firstStrongerStep(c.edgeMap.data(), c.h, c.w, y, x, sn, cs,
                                               v * static_cast<float>(c.multiplier), static_cast<int32_t>(c.radius),
                                               sample);
}

void compareWithLinux(const host::Module &module, const reference::Call &c) {
    host::CallResult result = thin(module, c, 1);
    if (!result.ok()) return check(false, "%s: %s", c.name.c_str(), result.errorMessage.c_str());
    const std::vector<float> here = host::values<float>(result.outputs[0].get());
    if (here.size() != c.thinnedMap.size()) return check(false, "%s: output size", c.name.c_str());

    size_t read = 0, trigDiffers = 0, pixelsDiffer = 0, unexplained = 0, wideTrig = 0;
    std::string details;
    for (int32_t x = 0; x < c.w; ++x)
        for (int32_t y = 0; y < c.h; ++y) {
            const size_t i = static_cast<size_t>(y) + static_cast<size_t>(c.h) * x;
            const float theta = c.orientationMap[i];
            const bool isRead = c.edgeMap[i] != 0.0f && static_cast<int32_t>(c.radius) >= 1 && std::isfinite(theta);
            float sn = 0, cs = 0;
            crest::orientationSinCos(theta, &sn, &cs);
            const bool trigDiffer = isRead && (bits(sn) != bits(c.sine[i]) || bits(cs) != bits(c.cosine[i]));
            read += isRead;
            trigDiffers += trigDiffer;
            if (trigDiffer && (ulps(sn, c.sine[i]) > 1 || ulps(cs, c.cosine[i]) > 1)) ++wideTrig;
            if (bits(here[i]) == bits(c.thinnedMap[i])) continue;

            ++pixelsDiffer;
            float linuxSample = 0, hereSample = 0;
            const int32_t linuxStep = trigDiffer ? firstStrongerStep(c, y, x, c.sine[i], c.cosine[i], &linuxSample) : 0;
            const int32_t hereStep = trigDiffer ? firstStrongerStep(c, y, x, sn, cs, &hereSample) : 0;
            // Exactly one side finds a stronger sample, and that side's output is +0.
            const bool explained = trigDiffer && (linuxStep == 0) != (hereStep == 0) &&
                                   bits(linuxStep != 0 ? c.thinnedMap[i] : here[i]) == 0;
            unexplained += !explained;
            if (pixelsDiffer <= 3) {
                char line[400];
                std::snprintf(line, sizeof line,
                              "\n         pixel (%d, %d), theta %.9g: Linux %.9g, here %.9g; sin %08x/%08x, "
                              "cos %08x/%08x (Linux/here); first stronger sample: Linux step %d (%.9g), here step %d (%.9g), limit %.9g",
                              static_cast<int>(y), static_cast<int>(x), theta, c.thinnedMap[i], here[i],
                              bits(c.sine[i]), bits(sn), bits(c.cosine[i]), bits(cs), static_cast<int>(linuxStep),
                              linuxSample, static_cast<int>(hereStep), hereSample,
                              c.edgeMap[i] * static_cast<float>(c.multiplier));
                details += line;
            }
        }
    check(unexplained == 0 && wideTrig == 0,
          "%s: %zu orientations read; sine or cosine differs from Linux's for %zu (%zu by more than one unit "
          "in the last place); %zu output pixels differ, %zu not explained by that difference%s",
          c.name.c_str(), read, trigDiffers, wideTrig, pixelsDiffer, unexplained, details.c_str());
}

void sameForEveryThreadBound(const host::Module &module, const reference::Call &c) {
    host::CallResult one = thin(module, c, 1);
    const std::vector<float> first = one.ok() ? host::values<float>(one.outputs[0].get()) : std::vector<float>();
    std::string differing;
    for (double bound : {2.0, 3.0, 8.0, 1000.0, 0.0, -4.0, 2.9}) {
        host::CallResult r = thin(module, c, bound);
        const std::vector<float> out = r.ok() ? host::values<float>(r.outputs[0].get()) : std::vector<float>();
        if (!r.ok() || out.size() != first.size() ||
            (!out.empty() && std::memcmp(out.data(), first.data(), out.size() * sizeof(float)) != 0))
            differing += " " + std::to_string(bound);
    }
    check(one.ok() && differing.empty(), "%s: same bits for thread bounds 1, 2, 3, 8, 1000, 0, -4, 2.9%s%s",
          c.name.c_str(), differing.empty() ? "" : "; differ:", differing.c_str());
}

void refusesBadCalls(const host::Module &module) {
    const size_t liveBefore = standinLiveArrays();
    for (const auto &c : crestThinBadCalls::cases) {
        const host::CallResult r = crestThinBadCalls::call(module, c);
        check(r.errorId == c.id && r.errorMessage.find(c.messagePart) != std::string::npos, "bad call, %s: %s: %s",
              c.name, r.errorId.c_str(), r.errorMessage.c_str());
    }
    check(standinLiveArrays() == liveBefore, "bad calls leave no array behind");
}

// Where a loaded library's file is, or "" when it is not loaded.
// fileContaining: the file of the loaded library that holds an address.
#ifdef _WIN32
const char *const threadRuntime = "libgomp-1.dll";
std::string loadedFrom(const std::string &name) {
    HMODULE handle = GetModuleHandleA(name.c_str());
    char path[MAX_PATH] = "";
    if (handle) GetModuleFileNameA(handle, path, MAX_PATH);
    return path;
}
std::string fileContaining(const void *address) {
    HMODULE handle = nullptr;
    char path[MAX_PATH] = "";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &handle))
        GetModuleFileNameA(handle, path, MAX_PATH);
    return path;
}
std::string folderOf(const std::string &path) { return path.substr(0, path.find_last_of("\\/")); }
#else
const char *const threadRuntime = "libgomp.so.1";
std::string loadedFrom(const std::string &name) {
    void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle ? name : "";
}
std::string fileContaining(const void *address) {
    Dl_info info;
    return dladdr(address, &info) != 0 && info.dli_fname ? info.dli_fname : "";
}
#endif

// One load, call and unload; what went wrong, or "".
std::string oneCycle(const std::string &path, const reference::Call &c) {
    std::string modulePath;
    try {
        host::Module module(path);
        modulePath = fileContaining(module.symbol("mexFunction"));
        host::CallResult r = thin(module, c, 2);
        if (!r.ok()) return r.errorMessage;
    } catch (const std::exception &e) {
        return e.what();
    }
    if (modulePath.empty() || !loadedFrom(modulePath).empty()) return "the module stayed loaded after it was closed";
    return "";
}

// Load, call, unload, as MATLAB's `clear mex` does, in a host that does not
// load the thread runtime itself: if the runtime went with the module, its
// idle workers would run unmapped code and this process would die.
void unloadCycles(const std::string &path, int cycles) {
    check(loadedFrom(threadRuntime).empty(), "the host has not loaded %s itself", threadRuntime);
    reference::Call c;
    c.h = c.w = 48;
    c.radius = 1;
    c.marginWidth = 2;
    for (int i = 0; i < c.h * c.w; ++i) {
        c.edgeMap.push_back(static_cast<float>((i * 7919) % 101) / 100.0f);
        c.orientationMap.push_back(static_cast<float>(i % 13) * 0.5f);
    }
    int completed = 0;
    std::string problem;
    while (completed < cycles && problem.empty()) {
        problem = oneCycle(path, c);
        completed += problem.empty();
    }
    check(problem.empty(), "%d load/call/unload cycles%s%s", completed, problem.empty() ? "" : ": ", problem.c_str());
#ifdef MEX_SERIAL
    check(loadedFrom(threadRuntime).empty(), "the serial module brought in no thread runtime");
#elif defined(_WIN32)
    // The runtime came from the module's folder and stays in the process.
    const std::string runtime = loadedFrom(threadRuntime);
    char moduleFile[MAX_PATH] = "";
    GetFullPathNameA(path.c_str(), MAX_PATH, moduleFile, nullptr);
    check(completed > 0 && !runtime.empty() && _stricmp(folderOf(runtime).c_str(), folderOf(moduleFile).c_str()) == 0,
          "%s stays loaded, from the module's folder: %s", threadRuntime, runtime.c_str());
#else
    check(completed > 0 && !loadedFrom(threadRuntime).empty(), "%s stays loaded", threadRuntime);
#endif
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: crestPlatformCheck <reference file> [unload cycles]\n");
        return 2;
    }
    const std::vector<reference::Call> calls = reference::read(argv[1]);
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string path = host::modulePath("crestThin");

    // First, while the host has loaded nothing else.
    unloadCycles(path, cycles);

    check(!calls.empty(), "reference calls read from %s", argv[1]);
    try {
        host::Module module(path);
        for (const reference::Call &c : calls) compareWithLinux(module, c);
        for (const reference::Call &c : calls) sameForEveryThreadBound(module, c);
        refusesBadCalls(module);
    } catch (const std::exception &e) {
        check(false, "%s", e.what());
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
