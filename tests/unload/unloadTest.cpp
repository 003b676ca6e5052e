// Load, call and unload modules many times in a host that never loads the
// thread runtime itself, as MATLAB's `clear mex` does: unloadTest CYCLES MODULE...
// If unloading a module took the runtime's idle worker threads' code with it,
// this process would die. Each module must leave the process when closed; the
// runtime must stay (on Windows: the one beside the modules).
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/loader.h"
#include "tests/platform/moduleInputs.h"

namespace {

// Where the loaded library of that name or path is, or "" when it is not loaded.
#ifdef _WIN32
const char *const threadRuntime = "libgomp-1.dll";
std::string fullPath(const std::string &path) {
    char full[MAX_PATH] = "";
    GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}
std::string folderOf(const std::string &path) { return path.substr(0, path.find_last_of('\\')); }
std::string loadedFrom(const std::string &name) {
    const std::string key = name.find_first_of("\\/") == std::string::npos ? name : fullPath(name);
    HMODULE handle = GetModuleHandleA(key.c_str());
    char path[MAX_PATH] = "";
    if (handle) GetModuleFileNameA(handle, path, MAX_PATH);
    return path;
}
#else
const char *const threadRuntime = "libgomp.so.1";
std::string loadedFrom(const std::string &name) {
    void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle ? name : "";
}
#endif

// A small call that each module completes.
moduleInputs::Inputs callOf(const std::string &module) {
    if (module == "splitScan") return moduleInputs::splitScan(support::sweepNode({"plain"}, 60, 4, 3, 1));
    if (module == "splitScanBinned") return moduleInputs::splitScanBinned(support::threeColumnNode(), 2);
    support::EdgeMaps m = support::blankEdgeMaps(48, 48);
    for (size_t i = 0; i < m.edge.size(); ++i) {
        m.edge[i] = static_cast<float>((i * 7919) % 101) / 100.0f;
        m.orientation[i] = static_cast<float>(i % 13) * 0.5f;
    }
    return moduleInputs::crestThin(m, 1, 2, 1, 2);
}

// One load, call and unload; what went wrong, or "".
std::string oneCycle(const std::string &path, const moduleInputs::Inputs &in) {
    try {
        host::Module module(path);
        const host::CallResult r = module.call(1, in);
        if (!r.ok()) return r.errorMessage;
    } catch (const std::exception &e) {
        return e.what();
    }
    return loadedFrom(path).empty() ? "" : "the module stayed loaded after it was closed";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: unloadTest CYCLES MODULE...\n");
        return 2;
    }
    const int cycles = std::atoi(argv[1]);
    if (!loadedFrom(threadRuntime).empty()) {
        std::printf("FAILED: the host has loaded %s itself\n", threadRuntime);
        return 1;
    }
    for (int m = 2; m < argc; ++m) {
        const std::string path = host::modulePath(argv[m]);
        const moduleInputs::Inputs in = callOf(argv[m]);
        for (int cycle = 0; cycle < cycles; ++cycle) {
            const std::string problem = oneCycle(path, in);
            if (!problem.empty()) {
                std::printf("FAILED: %s, cycle %d: %s\n", argv[m], cycle + 1, problem.c_str());
                host::exitHost(1);
            }
        }
        std::printf("%s: %d load/call/unload cycles passed\n", argv[m], cycles);
    }
    const std::string runtime = loadedFrom(threadRuntime);
#if defined(MEX_SERIAL)
    const bool asItShouldBe = runtime.empty();
    const char *expected = "no module brought in the thread runtime";
#elif defined(_WIN32)
    const bool asItShouldBe =
        _stricmp(folderOf(runtime).c_str(), folderOf(fullPath(host::modulePath(argv[2]))).c_str()) == 0;
    const char *expected = "the thread runtime stays loaded, from the modules' folder";
#else
    const bool asItShouldBe = !runtime.empty();
    const char *expected = "the thread runtime stays loaded";
#endif
    std::printf("%s %s%s%s\n", asItShouldBe ? "ok:" : "FAILED:", expected, runtime.empty() ? "" : ": ",
                runtime.c_str());
    host::exitHost(asItShouldBe ? 0 : 1);
}
