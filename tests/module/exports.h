// What a module exports: its entry, nothing of its kernels, and, for the
// modules built for 64-bit array sizes, the host release and array
// interface they need (mexfilerequiredapiversion).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "host/loader.h"

namespace exports {

// `internal` is a kernel symbol the module must keep to itself.
inline void expectEntryOnly(const host::Module &m, bool apiVersion, const char *internal) {
    EXPECT_NE(m.symbol("mexFunction"), nullptr);
    EXPECT_EQ(m.symbol(internal), nullptr);
    auto version = reinterpret_cast<void (*)(uint32_t *, uint32_t *)>(m.symbol("mexfilerequiredapiversion"));
    if (!apiVersion) {
        EXPECT_EQ(version, nullptr);
        return;
    }
    ASSERT_NE(version, nullptr);
    uint32_t release = 0, arrays = 0;
    version(&release, &arrays);
    EXPECT_EQ(release, 0x0002018Bu);
    EXPECT_EQ(arrays, 0x07300000u);
}

}  // namespace exports
