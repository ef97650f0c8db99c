// The bus tests' main: a Qt application object for the event loop, and a private session bus
// for the whole test process, started before any test and ended after the last.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "PrivateBus.h"

namespace {

class TBusEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        bus_ = std::make_unique<ov::test::TPrivateBus>();
        ASSERT_TRUE(bus_->Started()) << bus_->Error();
    }
    void TearDown() override { bus_.reset(); }

  private:
    std::unique_ptr<ov::test::TPrivateBus> bus_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    testing::AddGlobalTestEnvironment(new TBusEnvironment);  // owned by GoogleTest
    return RUN_ALL_TESTS();
}
