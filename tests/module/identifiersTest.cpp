// The build's list of error identifiers (identifiers.txt) against what the
// modules raise: every identifier that a module test sees raised must be
// listed for its module, and a whole run must see every listed one, so that
// the list is neither short nor padded.
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/loader.h"

namespace {

std::set<std::string> listedIdentifiers() {
    std::ifstream file(MEX_IDENTIFIERS_FILE);
    std::set<std::string> ids;
    for (std::string line; std::getline(file, line);)
        if (!line.empty()) ids.insert(line);
    return ids;
}

class ListedIdentifiers : public ::testing::Environment {
public:
    void TearDown() override {
        const std::set<std::string> listed = listedIdentifiers(), raised = host::raisedIdentifiers();
        for (const std::string &id : raised) EXPECT_EQ(listed.count(id), 1u) << id << " is raised but not listed";
        // Filtered runs leave out some refusals on purpose.
        if (::testing::GTEST_FLAG(filter) != "*") return;
        for (const std::string &id : listed) EXPECT_EQ(raised.count(id), 1u) << id << " is listed but never raised";
    }
};

[[maybe_unused]] const auto *environment = ::testing::AddGlobalTestEnvironment(new ListedIdentifiers);

// A first input of more rows than the kernels' 32-bit indices hold, and no
// elements (so nothing is allocated), is refused before anything is read.
TEST(Identifiers, RowsBeyondTheIndexRangeAreRefused) {
    const struct {
        const char *name;
        int inputs;
        mxClassID cls;
    } cases[] = {{"crestThin", 6, mxSINGLE_CLASS}, {"splitScan", 7, mxSINGLE_CLASS},
                 {"splitScanBinned", 10, mxUINT8_CLASS}};
    const std::set<std::string> listed = listedIdentifiers();
    ASSERT_FALSE(listed.empty()) << "no list at " MEX_IDENTIFIERS_FILE;
    for (const auto &c : cases) {
        if (!listed.count(std::string(c.name) + ":notEnoughInputs")) continue;  // not built here
        const host::Module module(host::modulePath(c.name));
        std::vector<host::Array> inputs;
        inputs.push_back(host::makeArray(c.cls, {size_t{1} << 31, 0}));
        while (static_cast<int>(inputs.size()) < c.inputs) inputs.push_back(host::makeScalar(1));
        const host::CallResult r = module.call(1, inputs);
        EXPECT_EQ(r.errorId, std::string(c.name) + ":tooLarge") << r.errorMessage;
    }
}

}  // namespace
