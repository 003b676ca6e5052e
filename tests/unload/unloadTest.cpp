// Load, call and unload modules many times in a host that never loads the
// thread runtime itself, as MATLAB's `clear mex` does. If unloading a module
// took the runtime's idle worker threads' code with it, this process would die.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/loader.h"

namespace {

bool runtimeLoaded() {
    void *h = dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

bool moduleLoaded(const std::string &path) {
    void *h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

int fail(const char *what) {
    std::printf("FAILED: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (runtimeLoaded()) return fail("the host already has the thread runtime");

    const std::string path = host::modulePath("crestThin");
    std::vector<float> edge(64 * 64), orientation(64 * 64);
    for (size_t i = 0; i < edge.size(); ++i) {
        edge[i] = static_cast<float>((i * 7919) % 101) / 100.0f;
        orientation[i] = static_cast<float>(i % 13) * 0.5f;
    }
    host::Array e = host::makeMatrix<float>(64, 64, edge), o = host::makeMatrix<float>(64, 64, orientation);
    host::Array r = host::makeScalar(1), b = host::makeScalar(2), m = host::makeScalar(1), t = host::makeScalar(2);

    for (int cycle = 0; cycle < cycles; ++cycle) {
        {
            host::Module module(path);
            auto result = module.call(1, {e.get(), o.get(), r.get(), b.get(), m.get(), t.get()});
            if (!result.ok()) return fail(result.errorMessage.c_str());
        }
        if (moduleLoaded(path)) return fail("the module stayed loaded after it was closed");
    }
#ifdef MEX_SERIAL
    if (runtimeLoaded()) return fail("the serial module brought in the thread runtime");
#else
    if (!runtimeLoaded()) return fail("the thread runtime was not kept");
#endif
    std::printf("%d load/call/unload cycles passed\n", cycles);
    return 0;
}
