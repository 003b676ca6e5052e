// This build's modules (Windows under Wine, the serial variant, arm64 under
// qemu) against a reference build's, on the calls that platformReference
// recorded there: platformCheck FILE [sameSineCosine].
//
// Every call is replayed through this build's stand-in host, with each of
// several thread bounds where the module takes one (the team otherwise
// follows OMP_NUM_THREADS, which ctest varies). Every result must be the
// reference's: the same output arrays to the bit, or the same error
// identifier and message. The one exception is crestThin, whose pixels may
// differ where this build takes sine and cosine differently
// (crestDifferences.h); with sameSineCosine, naming a reference build that
// takes them as this one does, not even there. Ends with "N passed, N failed".
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "crestDifferences.h"
#include "host/loader.h"
#include "recordedCall.h"

namespace {

int passed = 0;
int failed = 0;

void report(bool ok, const std::string &line) {
    ok ? ++passed : ++failed;
    std::printf("%s %s\n", ok ? "ok    " : "FAILED", line.c_str());
}

// Class, shape and bits.
std::string bytesOf(const mxArray *a) {
    std::ostringstream out;
    callFile::writeArray(out, a);
    return out.str();
}

// How `here` differs from `expected`, or "".
std::string difference(const host::CallResult &expected, const host::CallResult &here) {
    if (!expected.ok() || !here.ok()) {
        if (expected.errorId == here.errorId && expected.errorMessage == here.errorMessage) return "";
        auto text = [](const host::CallResult &r) {
            return r.ok() ? std::string("returned") : r.errorId + " \"" + r.errorMessage + "\"";
        };
        return "expected " + text(expected) + "; here " + text(here);
    }
    if (expected.outputs.size() != here.outputs.size()) return "another number of outputs";
    for (size_t k = 0; k < here.outputs.size(); ++k)
        if (bytesOf(expected.outputs[k].get()) != bytesOf(here.outputs[k].get()))
            return "output " + std::to_string(k + 1) + " differs";
    return "";
}

const double threadBounds[] = {1, 2, 3, 8, 1000, 0, -4, 2.9};

void replay(const host::Module &module, const recorded::Call &c, bool sameSineCosine) {
    const bool bounded = c.threadInput >= 0 && c.threadInput < static_cast<int32_t>(c.inputs.size());
    std::string problem, note;
    host::CallResult first;
    for (size_t b = 0; b < std::size(threadBounds) && problem.empty(); ++b) {
        std::vector<const mxArray *> arguments;
        for (const host::Array &a : c.inputs) arguments.push_back(a.get());
        host::Array bound = host::makeScalar(threadBounds[b]);
        if (bounded) arguments[c.threadInput] = bound.get();
        host::CallResult here = module.call(c.nlhs, arguments);
        if (b > 0) {
            // The other bounds: the same bits as the first.
            const std::string d = difference(first, here);
            if (!d.empty()) problem = "thread bound " + std::to_string(threadBounds[b]) + ": " + d;
        } else if (c.module == "crestThin" && c.result.ok() && here.ok() && !sameSineCosine) {
            const crestDifferences::Outcome o = crestDifferences::compare(c, host::values<float>(here.outputs[0].get()));
            note = "; " + o.summary;
            if (!o.explained) problem = "pixels differ";
        } else {
            problem = difference(c.result, here);
        }
        if (b == 0) first = std::move(here);
        if (!bounded) break;
    }
    report(problem.empty(), c.module + ": " + c.label +
                                (bounded ? " (thread bounds 1, 2, 3, 8, 1000, 0, -4, 2.9)" : "") + note +
                                (problem.empty() ? "" : ": " + problem));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "sameSineCosine") != 0)) {
        std::fprintf(stderr, "usage: platformCheck FILE [sameSineCosine]\n");
        return 2;
    }
    try {
        const std::vector<recorded::Call> calls = recorded::readAll(argv[1]);
        report(!calls.empty(), std::to_string(calls.size()) + " calls read from " + argv[1]);
        std::map<std::string, host::Module> modules;
        const size_t liveBefore = standinLiveArrays();
        for (const recorded::Call &c : calls) {
            if (modules.count(c.module) == 0) modules.emplace(c.module, host::modulePath(c.module));
            replay(modules.at(c.module), c, argc == 3);
        }
        report(standinLiveArrays() == liveBefore, "the calls leave no array behind");
    } catch (const std::exception &e) {
        report(false, e.what());
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    host::exitHost(failed == 0 ? 0 : 1);
}
