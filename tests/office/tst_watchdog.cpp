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

namespace {

class StandIn : public QProcess
{
public:
    StandIn()
    {
        start(QStringLiteral("sleep"), {QStringLiteral("60")});
        waitForStarted();
    }
    ~StandIn() override
    {
        kill();
        waitForFinished();
    }
    pid_t pid() const { return pid_t(processId()); }
    bool alive() const { return state() == QProcess::Running; }
    bool killed()
    {
        return (state() == QProcess::NotRunning || waitForFinished(10000)) &&
               exitStatus() == QProcess::CrashExit;
    }
};

} // namespace

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

    // Moves the clock on while the watchdog is not looking.
    void skip(std::chrono::milliseconds by)
    {
        now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(by).count();
    }

    // Moves the clock on and waits until the watchdog has looked at least
    // once since: however slow the machine, the watchdog sees each step.
    bool advance(std::chrono::milliseconds by)
    {
        skip(by);
        const int seen = looks_;
        return QTest::qWaitFor([&] { return looks_ >= seen + 2; }, 10000);
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
        StandIn office;
        const int ticket = watchdog.arm(office.pid(), 1000ms);
        for (int step = 0; step < 4; ++step)
            QVERIFY(advance(200ms));
        QVERIFY(office.alive());
        QVERIFY(advance(300ms));
        QVERIFY(office.killed());
        QVERIFY(watchdog.disarm(ticket));

        // A call that ends in time leaves its office alone.
        StandIn next;
        QVERIFY(!watchdog.disarm(watchdog.arm(next.pid(), 1000ms)));
        for (int step = 0; step < 7; ++step)
            QVERIFY(advance(200ms));
        QVERIFY(next.alive());
    }

    void timeThisProgramWasStoppedDoesNotCount()
    {
        Watchdog watchdog(clock());
        StandIn office;
        QVERIFY(advance(200ms));
        // Armed after the watchdog's last look, just before the program was
        // stopped, as calls mostly are.
        skip(10ms);
        const int ticket = watchdog.arm(office.pid(), 1000ms);
        // The program stood still for 100 s: the office may well have answered
        // meanwhile, and is not killed when the watchdog runs again.
        QVERIFY(advance(100s));
        QVERIFY(advance(500ms));
        QVERIFY(office.alive());
        // The deadline moves by that time, no more: still hung a second
        // after the program ran again, the office is ended.
        QVERIFY(advance(500ms));
        QVERIFY(office.killed());
        QVERIFY(watchdog.disarm(ticket));

        // A call armed as the program runs again, before the watchdog has
        // seen the gap, keeps its own deadline.
        StandIn next;
        skip(100s);
        const int late = watchdog.arm(next.pid(), 1000ms);
        QVERIFY(advance(600ms));
        QVERIFY(next.alive());
        QVERIFY(advance(600ms));
        QVERIFY(next.killed());
        QVERIFY(watchdog.disarm(late));
    }
};

QTEST_GUILESS_MAIN(WatchdogTest)
#include "tst_watchdog.moc"
