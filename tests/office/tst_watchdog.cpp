// The watchdog kills the office of a call that outlives its deadline, but
// time in which this program did not run (stopped, then continued) is not
// counted against the call. The clock is the test's own; a sleeping process
// stands in for the office.

#include "office/watchdog.h"

#include <QProcess>
#include <QtTest>

#include <atomic>

using office::detail::Watchdog;
using namespace std::chrono_literals;

class WatchdogTest : public QObject
{
    Q_OBJECT

    std::atomic<std::int64_t> now_{0};
    std::atomic<int> looks_{0};

    Watchdog::Clock clock()
    {
        return [this] {
            ++looks_;
            return now_.load();
        };
    }

    // Moves the clock on and waits until the watchdog has looked at least
    // once since: however slow the machine, the watchdog sees each step.
    bool advance(std::chrono::milliseconds by)
    {
        now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(by).count();
        const int seen = looks_;
        return QTest::qWaitFor([&] { return looks_ >= seen + 2; }, 10000);
    }

    static bool startStandIn(QProcess& office)
    {
        office.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        return office.waitForStarted();
    }

    static bool alive(QProcess& office) { return office.state() == QProcess::Running; }

    static bool killed(QProcess& office)
    {
        return (office.state() == QProcess::NotRunning || office.waitForFinished(10000)) &&
               office.exitStatus() == QProcess::CrashExit;
    }

private Q_SLOTS:
    void init()
    {
        now_ = 0;
        looks_ = 0;
    }

    void aCallPastItsDeadlineEndsItsOffice()
    {
        Watchdog watchdog(clock());
        QProcess office;
        QVERIFY(startStandIn(office));
        const int ticket = watchdog.arm(pid_t(office.processId()), 1000ms);
        for (int step = 0; step < 4; ++step)
            QVERIFY(advance(200ms));
        QVERIFY(alive(office));
        QVERIFY(advance(300ms));
        QVERIFY(killed(office));
        QVERIFY(watchdog.disarm(ticket));

        // A call that ends in time leaves its office alone.
        QProcess next;
        QVERIFY(startStandIn(next));
        const int other = watchdog.arm(pid_t(next.processId()), 1000ms);
        QVERIFY(advance(500ms));
        QVERIFY(!watchdog.disarm(other));
        QVERIFY(advance(900ms));
        QVERIFY(alive(next));
        next.kill();
        next.waitForFinished();
    }

    void timeThisProgramWasStoppedDoesNotCount()
    {
        Watchdog watchdog(clock());
        QProcess office;
        QVERIFY(startStandIn(office));
        QVERIFY(advance(200ms));
        // Armed after the watchdog's last look, just before the program was
        // stopped, as calls mostly are.
        now_ += std::chrono::nanoseconds(10ms).count();
        const int ticket = watchdog.arm(pid_t(office.processId()), 1000ms);
        // The program stood still for 100 s: the office may well have answered
        // meanwhile, and is not killed when the watchdog runs again.
        QVERIFY(advance(100s));
        QVERIFY(advance(500ms));
        QVERIFY(alive(office));
        // The deadline moves by that time, no more: still hung a second
        // after the program ran again, the office is ended.
        QVERIFY(advance(500ms));
        QVERIFY(killed(office));
        QVERIFY(watchdog.disarm(ticket));

        // A call armed as the program runs again, before the watchdog has
        // seen the gap, keeps its own deadline.
        QProcess next;
        QVERIFY(startStandIn(next));
        now_ += std::chrono::nanoseconds(100s).count();
        const int late = watchdog.arm(pid_t(next.processId()), 1000ms);
        QVERIFY(advance(600ms));
        QVERIFY(alive(next));
        QVERIFY(advance(600ms));
        QVERIFY(killed(next));
        QVERIFY(watchdog.disarm(late));
    }
};

QTEST_GUILESS_MAIN(WatchdogTest)
#include "tst_watchdog.moc"
