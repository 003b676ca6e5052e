// Writes the error identifiers of every module built here, one
// "<module>:<reason>" a line: those every host raises for the counts of
// inputs and outputs, then those of the module's contract. The help files,
// the tests and the Octave package take their list from this output.
#include <cstdio>

#include "contract/modules.h"

#ifndef LISTED_MODULES
#error "LISTED_MODULES names the modules to list, as X(name) X(name) ..."
#endif

int main(int argc, char **argv) {
    FILE *out = argc > 1 ? std::fopen(argv[1], "w") : stdout;
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
#define X(module)                                                   \
    for (const char *reason : contract::hostReasons)                \
        std::fprintf(out, "%s:%s\n", modules::module.name, reason); \
    for (int i = 0; i < modules::module.reasonCount; ++i)           \
        std::fprintf(out, "%s:%s\n", modules::module.name, modules::module.reasons[i]);
    LISTED_MODULES
#undef X
    return std::fclose(out) == 0 ? 0 : 1;
}
