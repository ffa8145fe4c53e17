// What the fake window front-end saw, shared between the library and the test that loads it.
#pragma once

#include <string>
#include <vector>

namespace zedadu::test {

struct FakeGuiReport {
    std::string caption;
    std::vector<int> kinds;  // of every control, in tab order
    int buddyOfUpDown = 0;
    std::vector<std::string> changes;  // "id:what" as reported
    std::string textAfterTyping;
    int runs = 0;
};

}  // namespace zedadu::test
