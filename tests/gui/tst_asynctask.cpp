// Work run off the user-interface thread: the waiting thread keeps handling
// its events, results and failures come back as the task made them, and an
// office started by the work lives on after it.

#include "testmain.h"

#include "common/asynctask.h"
#include "common/error.h"
#include "office/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <future>
#include <memory>

class AsyncTaskTest : public QObject
{
    Q_OBJECT

private slots:
    // The task runs on another thread and only ends after a timer of the
    // waiting thread has fired, which it can only if the wait handles events.
    void waitingThreadKeepsHandlingEvents()
    {
        std::promise<void> timerFired;
        QTimer::singleShot(0, [&] { timerFired.set_value(); });
        QThread* const caller = QThread::currentThread();
        const auto [ranElsewhere, sawTimer] = AsyncTask::runAndWaitForFuture([&] {
            const bool fired = timerFired.get_future().wait_for(std::chrono::seconds(20)) ==
                               std::future_status::ready;
            return std::pair{QThread::currentThread() != caller, fired};
        });
        QVERIFY(ranElsewhere);
        QVERIFY(sawTimer);
    }

    void resultsAndFailuresComeBackIntact()
    {
        // A move-only result.
        auto value = AsyncTask::runAndWaitForFuture([] { return std::make_unique<int>(42); });
        QCOMPARE(*value, 42);

        try {
            AsyncTask::runAndWaitForFuture([]() -> int {
                throw morvanta::Error(morvanta::errc::FileNotFound, QStringLiteral("未找到该文件"));
            });
            QFAIL("no exception");
        } catch (const morvanta::Error& e) {
            QCOMPARE(e.number(), morvanta::errc::FileNotFound);
            QCOMPARE(e.message(), QStringLiteral("53:未找到该文件"));
        }
    }

    // An office started by a task outlives the task's thread (its
    // parent-death signal follows the thread that started it).
    void officeStartedInATaskOutlivesIt()
    {
        office::shutdownDefaultEngine();
        const long started = AsyncTask::runAndWaitForFuture([] {
            testfiles::makeWordDocument(QDir::home().filePath(QStringLiteral("a.doc")), {"x"});
            return office::defaultEngineOfficePid();
        });
        QVERIFY(started != 0);
        QTest::qWait(200);
        QCOMPARE(AsyncTask::runAndWaitForFuture([] { return office::defaultEngineOfficePid(); }),
                 started);
    }

    // From a worker thread (a task that waits for another) the work runs inline.
    void runsInlineOffTheApplicationThread()
    {
        const bool sameThread = AsyncTask::runAndWaitForFuture([] {
            QThread* const outer = QThread::currentThread();
            return AsyncTask::runAndWaitForFuture([] { return QThread::currentThread(); }) == outer;
        });
        QVERIFY(sameThread);
    }
};

MORVANTA_TEST_MAIN(AsyncTaskTest)

#include "tst_asynctask.moc"
