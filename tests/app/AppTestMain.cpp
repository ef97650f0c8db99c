// The main window's tests: a private session bus for the whole process (made before anything
// touches the bus), then a QApplication on the offscreen platform unless one is given.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "PrivateBus.h"

namespace ov::test {
TPrivateBus* AppTestBus = nullptr;
}

int main(int argc, char** argv) {
    auto bus = std::make_unique<ov::test::TPrivateBus>();
    ov::test::AppTestBus = bus.get();
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The setup server must not be found on PATH: a refresh then has no server to start.
    ::setenv("PATH", "/usr/bin:/bin", 1);
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
