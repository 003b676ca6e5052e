#include "parallel.h"

#if defined(_OPENMP) && defined(_WIN32)
#include <windows.h>
#elif defined(_OPENMP)
#include <dlfcn.h>
#endif

namespace parallel {

void keepThreadRuntimeLoaded() {
#if defined(_OPENMP)
    static bool pinned = false;
    if (pinned) return;
#if defined(_WIN32)
    HMODULE runtime = nullptr;
    pinned = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                reinterpret_cast<LPCSTR>(&omp_get_max_threads), &runtime) != 0;
#else
    // Find the runtime that provides omp_get_max_threads and take a reference
    // that is never dropped.
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&omp_get_max_threads), &info) != 0 && info.dli_fname)
        pinned = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
#endif
#endif
}

}  // namespace parallel
