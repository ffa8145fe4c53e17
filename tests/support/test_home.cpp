// Every test process, and every program it starts, has a home of its own for the run: the
// compressor list and anything else kept under a home starts empty, so that no earlier run on
// this machine, and no user's settings, can change a result. Linked as an object into every test
// executable, so that it is set before any test runs.
#include <cstdlib>

#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

const ScratchDirectory& TestHome() {
    static const ScratchDirectory home;
    return home;
}

[[maybe_unused]] const bool kHomeSet = [] {
    setenv("HOME", TestHome().path().c_str(), 1);
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        unsetenv(variable);
    }
    return true;
}();

}  // namespace
}  // namespace zedadu::test
