#include "memory.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__APPLE__)
#include <mach/mach.h>
#else
#include <cstdio>
#include <cstring>
#endif

namespace memory {

uint64_t availableBytes() {
#if defined(_WIN32)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return UINT64_MAX;
    return status.ullAvailPhys;
#elif defined(__APPLE__)
    vm_statistics64_data_t vm;
    mach_msg_type_number_t count = HOST_VM_INFO64_COUNT;
    if (host_statistics64(mach_host_self(), HOST_VM_INFO64, reinterpret_cast<host_info64_t>(&vm), &count) !=
        KERN_SUCCESS)
        return UINT64_MAX;
    const uint64_t pages = static_cast<uint64_t>(vm.free_count) + vm.inactive_count + vm.speculative_count +
                           vm.purgeable_count;
    return pages * static_cast<uint64_t>(vm_kernel_page_size);
#else
    std::FILE *f = std::fopen("/proc/meminfo", "r");
    if (!f) return UINT64_MAX;
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
        found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(f);
    return found ? static_cast<uint64_t>(kib) * 1024u : UINT64_MAX;
#endif
}

}  // namespace memory
