// crossHost MODULE CALLS RESULTS
//
// Replays calls recorded by another host (the Octave suite) on a module loaded
// through the stand-in host, so that both hosts' results can be compared bit
// for bit. CALLS holds records of  int32 nlhs, int32 nrhs, nrhs arrays;
// RESULTS gets one result per call (the encoding of callFile.h).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "callFile.h"
#include "host/loader.h"

int main(int argc, char **argv) {
    if (argc != 4) {
        std::cerr << "usage: crossHost MODULE CALLS RESULTS\n";
        return 2;
    }
    try {
        host::Module module(argv[1]);
        std::ifstream calls(argv[2], std::ios::binary);
        std::ofstream results(argv[3], std::ios::binary);
        if (!calls || !results) throw std::runtime_error("cannot open the calls or results file");
        int count = 0;
        while (calls.peek() != std::char_traits<char>::eof()) {
            const int32_t nlhs = callFile::readValue<int32_t>(calls);
            const int32_t nrhs = callFile::readValue<int32_t>(calls);
            std::vector<host::Array> inputs;
            std::vector<const mxArray *> prhs;
            for (int32_t i = 0; i < nrhs; ++i) {
                inputs.push_back(callFile::readArray(calls));
                prhs.push_back(inputs.back().get());
            }
            callFile::writeResult(results, module.call(nlhs, prhs));
            ++count;
        }
        if (!results.flush()) throw std::runtime_error("cannot write the results file");
        std::printf("replayed %d calls\n", count);
    } catch (const std::exception &e) {
        std::cerr << "crossHost: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
