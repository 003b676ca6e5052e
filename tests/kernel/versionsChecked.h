// Which versions of each kernel family a test run compared, and which it
// could not run on this machine: printed at the end of the run, so that a
// machine without some instruction set does not pass in silence.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/cpu.h"

namespace support {

struct VersionsChecked {
    std::vector<cpu::Isa> ran, notHere, aboveCap;
};

inline std::map<std::string, VersionsChecked> &versionsByFamily() {
    static std::map<std::string, VersionsChecked> families;
    return families;
}

class VersionsReport : public ::testing::Environment {
public:
    void TearDown() override {
        for (const auto &[family, v] : versionsByFamily()) {
            std::string line = family + ": versions checked:";
            for (cpu::Isa isa : v.ran) line += std::string(" ") + cpu::name(isa);
            line += "; not run here:";
            for (cpu::Isa isa : v.notHere) line += std::string(" ") + cpu::name(isa);
            if (v.notHere.empty()) line += " none";
            if (!v.aboveCap.empty()) {
                line += std::string("; above the cap in ") + cpu::capVariable + ":";
                for (cpu::Isa isa : v.aboveCap) line += std::string(" ") + cpu::name(isa);
            }
            std::printf("%s\n", line.c_str());
        }
    }
};

inline ::testing::Environment *const versionsReport = ::testing::AddGlobalTestEnvironment(new VersionsReport);

// A family's versions that run here and lie within the cap of
// CRESTSPLIT_ISA (which lets a run leave out versions that a tool such as
// valgrind cannot decode), noted for the report.
template <int N>
std::vector<cpu::Isa> versionsHere(const char *family, const cpu::Isa (&versions)[N]) {
    VersionsChecked &v = versionsByFamily()[family];
    v = {};
    for (cpu::Isa isa : versions)
        (!cpu::runs(isa) ? v.notHere : cpu::withinCap(isa, cpu::cap()) ? v.ran : v.aboveCap).push_back(isa);
    return v.ran;
}

}  // namespace support
