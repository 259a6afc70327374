// CQtPump on Qt's event loop keeps the contract every pump keeps (tests/support/pump_contract.h).
#include <QCoreApplication>
#include <QTest>

#include "app/qt_pump.h"
#include "tests/support/pump_contract.h"

namespace rm7 {
namespace {

struct QtPumpRig {
    CQtPump pump;
    // Qt's event loop runs until it holds; the deadline bounds a broken pump.
    bool RunUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 30000); }
};

}  // namespace

namespace test {
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, PumpContract, ::testing::Types<QtPumpRig>);
}  // namespace test
}  // namespace rm7

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
