#include "ui/tests/testutil.h"

namespace zeltrac::testutil {

std::vector<TestFactory>& registeredTests()
{
    static std::vector<TestFactory> tests;
    return tests;
}

} // namespace zeltrac::testutil
