#include "parallel.h"

#if defined(_OPENMP) && defined(_WIN32)
#include <windows.h>
// The import-table slot of a runtime function: it holds the address inside the
// runtime's DLL. The function's own name would resolve to this module's import
// thunk, and pinning by that address would pin the module instead.
extern "C" void *__imp_omp_get_max_threads;
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
                                static_cast<LPCSTR>(__imp_omp_get_max_threads), &runtime) != 0;
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
