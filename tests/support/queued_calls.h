#pragma once
// Qt's event loop run until a call queued now has run, and with it every zero-time call queued
// before it (they run in the order they were queued): a "nothing more was shown" check made
// after it has seen everything that could have been, with no sleep.
#include <QObject>
#include <QTest>
#include <QTimer>

#include <memory>

namespace rm7::test {

inline bool RunQueuedCalls(QObject* context, int deadlineMs = 30000) {
    const auto ran = std::make_shared<bool>(false);
    QTimer::singleShot(0, context, [ran] { *ran = true; });
    return QTest::qWaitFor([&] { return *ran; }, deadlineMs);
}

}  // namespace rm7::test
