// CQtPump on Qt's event loop behaves as the poll pump: posts in each thread's order, periodic
// timers per (target, id) that SetTimer re-arms and KillTimer stops, Forget dropping both.
#include <QTest>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

#include "app/qt_pump.h"

namespace rm7 {
namespace {

// Deadlines bound a broken pump; they are not what the tests measure.
constexpr int kDeadlineMs = 30000;

class Target : public IMessageTarget {
  public:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override {
        received.push_back({code, wParam});
        if (onMessage) {
            onMessage(code, wParam, lParam);
        }
        return 0;
    }
    int Count(std::uint32_t code, WParam wParam) const {
        return static_cast<int>(std::count(received.begin(), received.end(), std::make_pair(code, wParam)));
    }
    std::vector<std::pair<std::uint32_t, WParam>> received;
    std::function<void(std::uint32_t, WParam, LParam)> onMessage;
};

}  // namespace

class QtPumpTest : public QObject {
    Q_OBJECT

  private slots:
    void postsFromOtherThreadsArriveInEachThreadsOrder() {
        CQtPump pump;
        Target target;
        constexpr int kThreads = 4;
        constexpr int kEach = 300;
        std::vector<WParam> next(kThreads, 0);
        bool inOrder = true;
        target.onMessage = [&](std::uint32_t code, WParam wParam, LParam lParam) {
            inOrder = inOrder && wParam == next[code - kMsgApp]++ && lParam == -static_cast<LParam>(wParam);
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) {
                    pump.Post(&target, kMsgApp + static_cast<std::uint32_t>(t), static_cast<WParam>(i), -i);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        QTRY_COMPARE_WITH_TIMEOUT(target.received.size(), std::size_t{kThreads * kEach}, kDeadlineMs);
        QVERIFY(inOrder);
    }

    void postsFromOneThreadKeepTheirOrderAmongTargets() {
        CQtPump pump;
        std::vector<int> order;
        Target a;
        Target b;
        a.onMessage = [&](std::uint32_t, WParam w, LParam) { order.push_back(static_cast<int>(w)); };
        b.onMessage = a.onMessage;
        pump.Post(&a, kMsgApp, 1);
        pump.Post(&b, kMsgApp, 2);
        pump.Post(&a, kMsgApp, 3);
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t{3}, kDeadlineMs);
        QCOMPARE(order, (std::vector<int>{1, 2, 3}));
    }

    void timersArePeriodicFireInDueOrderAndNeverEarly() {
        CQtPump pump;
        Target target;
        std::vector<WParam> fired;
        bool early = false;
        const std::uint32_t armedAt = pump.TickCount();
        target.onMessage = [&](std::uint32_t code, WParam id, LParam) {
            QCOMPARE(code, kMsgTimer);
            const std::uint32_t period = id == 1 ? 40 : 15;
            const auto count = static_cast<std::uint32_t>(std::count(fired.begin(), fired.end(), id)) + 1;
            early = early || pump.TickCount() - armedAt < period * count;
            fired.push_back(id);
        };
        pump.SetTimer(&target, 1, 40);
        pump.SetTimer(&target, 2, 15);
        QTRY_VERIFY_WITH_TIMEOUT(std::count(fired.begin(), fired.end(), 1) == 2, kDeadlineMs);
        QVERIFY(!early);
        QCOMPARE(fired.front(), WParam{2});
        QVERIFY(std::count(fired.begin(), fired.end(), 2) >= 2);
        QCOMPARE(pump.ArmedTimers(), std::size_t{2});
    }

    void setTimerReArmsTheSameTimerFromNow() {
        CQtPump pump;
        Target target;
        std::vector<WParam> fired;
        target.onMessage = [&](std::uint32_t, WParam id, LParam) {
            fired.push_back(id);
            pump.KillTimer(&target, static_cast<std::uint32_t>(id));
        };
        pump.SetTimer(&target, 1, 1);
        pump.SetTimer(&target, 2, 40);
        pump.SetTimer(&target, 1, 120);  // replaces the 1 ms wait: fires after timer 2
        QCOMPARE(pump.ArmedTimers(), std::size_t{2});
        QTRY_COMPARE_WITH_TIMEOUT(fired.size(), std::size_t{2}, kDeadlineMs);
        QCOMPARE(fired, (std::vector<WParam>{2, 1}));
        // The same id on another target is another timer.
        Target other;
        pump.SetTimer(&other, 1, 1);
        pump.SetTimer(&target, 1, 1);
        QCOMPARE(pump.ArmedTimers(), std::size_t{2});
        QTRY_VERIFY_WITH_TIMEOUT(!other.received.empty() && fired.size() == 3, kDeadlineMs);
        pump.KillTimer(&other, 1);
    }

    void killTimerFromItsHandlerStopsIt() {
        CQtPump pump;
        Target target;
        target.onMessage = [&](std::uint32_t code, WParam id, LParam) {
            if (code == kMsgTimer && id == 7) {
                pump.KillTimer(&target, 7);
                pump.Post(&target, kMsgApp);
            }
        };
        pump.SetTimer(&target, 7, 1);
        QTRY_COMPARE_WITH_TIMEOUT(target.Count(kMsgApp, 0), 1, kDeadlineMs);
        QCOMPARE(pump.ArmedTimers(), std::size_t{0});
        // A later timer's turn comes well after timer 7 would have fired again.
        pump.SetTimer(&target, 9, 30);
        QTRY_VERIFY_WITH_TIMEOUT(target.Count(kMsgTimer, 9) >= 1, kDeadlineMs);
        QCOMPARE(target.Count(kMsgTimer, 7), 1);
        pump.KillTimer(&target, 9);
    }

    void zeroMsTimerRepeatsWithoutStarvingPosts() {
        CQtPump pump;
        Target target;
        target.onMessage = [&](std::uint32_t code, WParam, LParam) {
            if (code == kMsgTimer && target.Count(kMsgTimer, 3) == 1) {
                pump.Post(&target, kMsgApp, 1);
            }
        };
        pump.SetTimer(&target, 3, 0);
        QTRY_VERIFY_WITH_TIMEOUT(target.Count(kMsgTimer, 3) >= 3 && target.Count(kMsgApp, 1) == 1, kDeadlineMs);
        pump.KillTimer(&target, 3);
    }

    void forgetDropsPostsAndTimersButNotLaterPosts() {
        CQtPump pump;
        Target gone;
        Target stays;
        pump.Post(&gone, kMsgApp, 1);
        std::thread poster([&] { pump.Post(&gone, kMsgApp, 2); });
        poster.join();
        pump.SetTimer(&gone, 1, 1);
        pump.Post(&stays, kMsgApp, 1);
        pump.Forget(&gone);
        QCOMPARE(pump.ArmedTimers(), std::size_t{0});
        // Posted after the Forget: a new object at the same address is told.
        pump.Post(&gone, kMsgApp, 3);
        pump.SetTimer(&stays, 5, 20);
        QTRY_VERIFY_WITH_TIMEOUT(stays.Count(kMsgTimer, 5) >= 1, kDeadlineMs);
        pump.KillTimer(&stays, 5);
        QCOMPARE(stays.Count(kMsgApp, 1), 1);
        QCOMPARE(gone.received, (std::vector<std::pair<std::uint32_t, WParam>>{{kMsgApp, 3}}));
    }
};

}  // namespace rm7

QTEST_GUILESS_MAIN(rm7::QtPumpTest)
#include "qt_pump_test.moc"
