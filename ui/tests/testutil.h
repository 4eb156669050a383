#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace zeltrac::testutil {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

std::vector<TestFactory>& registeredTests();

// Registers a Qt Test class with the test program: ZELTRAC_REGISTER_TEST(Form1Test)
struct TestRegistration
{
    explicit TestRegistration(TestFactory factory) { registeredTests().push_back(std::move(factory)); }
};

} // namespace zeltrac::testutil

#define ZELTRAC_REGISTER_TEST(Class)                                                               \
    static const zeltrac::testutil::TestRegistration Class##Registration{                          \
        [] { return std::unique_ptr<QObject>(new Class); }}
