// The controller's and the status log's tests: no widget, no display. A private session bus
// for the whole process (made before anything touches the bus), then a QCoreApplication.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <memory>

#include "PrivateBus.h"

namespace ov::test {
TPrivateBus* AppTestBus = nullptr;
}

int main(int argc, char** argv) {
    auto bus = std::make_unique<ov::test::TPrivateBus>();
    ov::test::AppTestBus = bus.get();
    // The setup server must not be found on PATH: a refresh then has no server to start.
    ::setenv("PATH", "/usr/bin:/bin", 1);
    int result;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
