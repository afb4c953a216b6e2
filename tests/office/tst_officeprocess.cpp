// The life of the private office: it starts on first use, is replaced when it
// dies, hangs or has served many documents, never touches another office, and
// never outlives the program however the program ends.

#include "testfiles.h"
#include "testmain.h"

#include "office/engine.h"
#include "office/error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>

using namespace office;

namespace {

// The state letter of /proc/<pid>/stat: R, S, T (stopped), Z ...
char processState(long pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close > 0 && close + 2 < text.size() ? text[close + 2] : '?';
}

bool processGone(long pid)
{
    // A killed office whose parent is gone may linger briefly as a zombie.
    return pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0 || processState(pid) == 'Z';
}

// The office processes this test program has started and that are running.
QList<long> ourOffices()
{
    QList<long> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!entry.toLong() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (text.contains("(soffice.bin)") && fields.size() > 1 && fields[0] != "Z" &&
            fields[1].toLong() == ::getpid())
            found << entry.toLong();
    }
    return found;
}

} // namespace

class OfficeProcessTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString doc_;

    void useDeadline(std::chrono::milliseconds deadline, int documentsPerProcess = 300,
                     int processes = 2)
    {
        EngineOptions options;
        options.callDeadline = deadline;
        options.documentsPerProcess = documentsPerProcess;
        options.processes = processes;
        setDefaultEngineOptions(options);
        shutdownDefaultEngine();
    }

    // The number of the failure that opening a document ends in, or 0.
    QString lastFailure_;
    int startFailure()
    {
        try {
            openAndRead();
        } catch (const Error& e) {
            lastFailure_ = e.description();
            return e.number();
        }
        return 0;
    }

    QString openAndRead()
    {
        auto app = defaultEngine().createWordApplication();
        word::Document& doc = app->Documents().Open(doc_, true);
        const QString text = doc.Range(0, 4)->Text();
        app->Quit();
        return text;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useDeadline(std::chrono::seconds(20));
        doc_ = dir_.filePath(QStringLiteral("t.doc"));
        testfiles::makeWordDocument(doc_, {QStringLiteral("证书号码")});
    }

    void missingOrSilentOfficeFailsClearly()
    {
        QTemporaryDir fake;
        EngineOptions options;
        options.programDir = fake.path();
        options.startDeadline = std::chrono::milliseconds(1500);
        setDefaultEngineOptions(options);
        shutdownDefaultEngine();
        QCOMPARE(startFailure(), errc::OfficeNotInstalled);
        QVERIFY(lastFailure_.contains(QStringLiteral("LibreOffice")));
        // An "office" that starts but never answers.
        testfiles::writeText(fake.filePath(QStringLiteral("soffice.bin")),
                             QStringLiteral("#!/bin/sh\nexec sleep 60\n"));
        QFile::setPermissions(fake.filePath(QStringLiteral("soffice.bin")),
                              QFile::ReadOwner | QFile::ExeOwner);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(startFailure(), errc::OfficeNotInstalled);
        QVERIFY(lastFailure_.contains(QStringLiteral("未能在")));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(defaultEngineOfficePid(), 0L);
        useDeadline(std::chrono::seconds(20));
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
    }

    // A fresh private profile belongs to the installed version, so the
    // office skips the graphics self-test that otherwise takes seconds.
    void freshProfileStartsWithoutTheGraphicsSelfTest()
    {
        shutdownDefaultEngine();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        const long pid = defaultEngineOfficePid();
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QString user;
        for (const QByteArray& entry : environment.readAll().split('\0'))
            if (entry.startsWith("TMPDIR="))
                user = QString::fromLocal8Bit(entry.mid(7)) + QStringLiteral("/../profile/user");
        QVERIFY(QFile::exists(user + QStringLiteral("/registrymodifications.xcu")));
        QTest::qWait(1500); // the self-test would have begun by now
        QVERIFY(!QFile::exists(user + QStringLiteral("/GraphicsRenderTests.log")));
    }

    void officeKilledBetweenSessionsIsReplaced()
    {
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        const long first = defaultEngineOfficePid();
        QVERIFY(first > 0);
        ::kill(static_cast<pid_t>(first), SIGKILL);
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QVERIFY(defaultEngineOfficePid() != first);
    }

    void officeKilledDuringACallFailsThatCall()
    {
        auto app = defaultEngine().createWordApplication();
        word::Document& doc = app->Documents().Open(doc_, true);
        const auto pid = static_cast<pid_t>(defaultEngineOfficePid());
        ::kill(pid, SIGSTOP); // the next call blocks ...
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(pid, SIGKILL); // ... until the office dies under it
        });
        try {
            doc.Range(0, 4)->Text();
            killer.join();
            QFAIL("a call into a dead office succeeded");
        } catch (const Error& e) {
            killer.join();
            QCOMPARE(e.number(), errc::OfficeGone);
            QVERIFY2(
                e.description().contains(QStringLiteral("意外结束（被信号 9（SIGKILL）结束）")),
                qPrintable(e.description()));
        }
        app.reset();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
    }

    void hungOfficeFailsWithinTheDeadline()
    {
        useDeadline(std::chrono::milliseconds(1500));
        auto app = defaultEngine().createWordApplication();
        word::Document& doc = app->Documents().Open(doc_, true);
        const auto pid = static_cast<pid_t>(defaultEngineOfficePid());
        QVERIFY(pid > 0);
        ::kill(pid, SIGSTOP);
        QTRY_COMPARE(processState(pid), 'T');
        QElapsedTimer clock;
        clock.start();
        try {
            doc.Range(0, 4)->Text();
            QFAIL("a call into a stopped office returned");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::OfficeNoAnswer);
            QVERIFY(e.description().contains(QStringLiteral("没有响应")));
        }
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY(processGone(pid));
        app.reset();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        useDeadline(std::chrono::seconds(20));
    }

    // Two sessions at once are on two offices. A call hung on one fails at its
    // own deadline while calls on the other go on, each with a deadline of its own.
    void sessionsAtOnceOnOfficesOfTheirOwn()
    {
        if (QThread::idealThreadCount() < 2)
            QSKIP("one core: the pool has one office");
        useDeadline(std::chrono::milliseconds(1500));
        auto first = defaultEngine().createWordApplication();
        auto second = defaultEngine().createWordApplication();
        word::Document& hungDoc = first->Documents().Open(doc_, true);
        word::Document& busyDoc = second->Documents().Open(doc_, true);
        const auto hung = static_cast<pid_t>(officePidOf(*first));
        QVERIFY(hung > 0 && officePidOf(*second) > 0 && hung != officePidOf(*second));

        ::kill(hung, SIGSTOP);
        QTRY_COMPARE(processState(hung), 'T');
        std::atomic<bool> done = false;
        std::atomic<int> calls = 0;
        std::atomic<bool> busyFailed = false;
        std::thread busy([&] {
            try {
                while (!done)
                    if (busyDoc.Range(0, 4)->Text() == QStringLiteral("证书号码"))
                        ++calls;
            } catch (const Error&) {
                busyFailed = true;
            }
        });
        std::thread rescue(
            [&] { // should the deadline never come, the test fails instead of hanging
                for (int i = 0; i < 100 && !done; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (!done)
                    ::kill(hung, SIGKILL);
            });
        QElapsedTimer clock;
        clock.start();
        int failure = 0;
        try {
            hungDoc.Range(0, 4)->Text();
        } catch (const Error& e) {
            failure = e.number();
        }
        const qint64 elapsed = clock.elapsed();
        done = true;
        busy.join();
        rescue.join();
        QCOMPARE(failure, errc::OfficeNoAnswer);
        QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
        QVERIFY(!busyFailed && calls > 0);
        QCOMPARE(busyDoc.Range(0, 4)->Text(), QStringLiteral("证书号码"));
        first.reset();
        second.reset();
        useDeadline(std::chrono::seconds(20));
    }

    // Offices started from a worker thread stay when that thread ends (the
    // parent-death signal follows the thread that started a process).
    void officesStartedOnAPassingThreadStay()
    {
        shutdownDefaultEngine();
        QString read;
        std::thread([&] {
            try {
                read = openAndRead();
            } catch (const Error& e) {
                read = e.message();
            }
        }).join();
        QCOMPARE(read, QStringLiteral("证书号码"));
        const QList<long> pids = defaultEngineOfficePids();
        QVERIFY(!pids.isEmpty());
        QTest::qWait(1000);
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QCOMPARE(defaultEngineOfficePids(), pids);
    }

    // A hung open or save names the operation, the file and the deadline,
    // not the file as a bad document.
    void frozenCallNamesTheDeadlineAndTheFile_data()
    {
        QTest::addColumn<bool>("duringSave");
        QTest::newRow("open") << false;
        QTest::newRow("save") << true;
    }

    void frozenCallNamesTheDeadlineAndTheFile()
    {
        QFETCH(bool, duringSave);
        useDeadline(std::chrono::milliseconds(1500));
        openAndRead(); // the office is up
        const auto pid = static_cast<pid_t>(defaultEngineOfficePid());
        const QString target = dir_.filePath(QStringLiteral("saved.doc"));
        auto app = defaultEngine().createWordApplication();
        try {
            if (!duringSave)
                ::kill(pid, SIGSTOP);
            word::Document& doc = app->Documents().Open(doc_, true);
            ::kill(pid, SIGSTOP);
            doc.SaveAs(target);
            QFAIL("a call into a stopped office returned");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::OfficeNoAnswer);
            const QString& text = e.description();
            QVERIFY2(text.startsWith(duringSave ? QStringLiteral("无法写入文件“%1”：").arg(target)
                                                : QStringLiteral("无法打开“%1”：").arg(doc_)),
                     qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("在 1.5 秒内没有响应")), qPrintable(text));
            QVERIFY2(!text.contains(QStringLiteral("不是")) &&
                         !text.contains(QStringLiteral("。：")),
                     qPrintable(text));
        }
        app.reset();
        QTRY_VERIFY(processGone(pid));
        useDeadline(std::chrono::seconds(20));
    }

    // An office killed while it starts is started once more; killed again,
    // the start fails saying so, without calling the installation broken.
    void officeKilledDuringItsStart_data()
    {
        QTest::addColumn<int>("kills");
        QTest::newRow("once") << 1;
        QTest::newRow("twice") << 2;
    }

    void officeKilledDuringItsStart()
    {
        QFETCH(int, kills);
        useDeadline(std::chrono::seconds(20), 300, 1); // the kills are for one office
        std::atomic<bool> stop{false};
        std::thread killer([&] {
            QList<long> killed;
            while (!stop && killed.size() < kills) {
                for (const long pid : ourOffices()) {
                    if (!killed.contains(pid) && killed.size() < kills) {
                        ::kill(static_cast<pid_t>(pid), SIGKILL);
                        killed << pid;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const int failure = startFailure();
        stop = true;
        killer.join();
        useDeadline(std::chrono::seconds(20));
        if (kills == 1) {
            QCOMPARE(failure, 0);
            return;
        }
        QCOMPARE(failure, errc::OfficeNotInstalled);
        QVERIFY2(lastFailure_.contains(QStringLiteral("SIGKILL")) &&
                     !lastFailure_.contains(QStringLiteral("启动后立即退出")),
                 qPrintable(lastFailure_));
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
    }

    void officeIsRenewedAfterManyDocuments()
    {
        useDeadline(std::chrono::seconds(20), 3);
        openAndRead();
        const long first = defaultEngineOfficePid();
        openAndRead();
        openAndRead();
        QCOMPARE(defaultEngineOfficePid(), first);
        openAndRead(); // the fourth document goes to a new office
        QVERIFY(defaultEngineOfficePid() != first);
        QTRY_VERIFY(processGone(first));
        useDeadline(std::chrono::seconds(20));
    }

    void anotherOfficeIsLeftAlone()
    {
        // An office of the operator's own, with its own profile.
        QTemporaryDir profile;
        QProcess own;
        own.start(QStringLiteral(MORVANTA_OFFICE_PROGRAM_DIR "/soffice.bin"),
                  {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                   QStringLiteral("-env:UserInstallation=file://") + profile.path(),
                   QStringLiteral("--accept=pipe,name=operators-office;urp;")});
        QVERIFY(own.waitForStarted());
        QTest::qWait(1500);
        shutdownDefaultEngine();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QVERIFY(defaultEngineOfficePid() != own.processId());
        shutdownDefaultEngine();
        // Ending ours left theirs running (it may have restarted once for its new profile).
        QVERIFY(own.state() == QProcess::Running || own.exitCode() == 81);
        own.kill();
        own.waitForFinished();
    }

    // A program that uses the office and then ends in the given way leaves no
    // office process, temporary folder or socket file behind.
    void nothingOutlivesTheProgram_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("normal exit") << "exit";
        QTest::newRow("unhandled failure") << "throw";
        QTest::newRow("SIGTERM") << "sigterm";
        QTest::newRow("SIGINT") << "sigint";
        QTest::newRow("SIGKILL") << "sigkill";
    }

    void nothingOutlivesTheProgram()
    {
        QFETCH(QString, ending);
        QProcess probe;
        probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                    {doc_, ending});
        QVERIFY(probe.waitForReadyRead(60000));
        const QList<QByteArray> fields = probe.readLine().trimmed().split(' ');
        // Every office of the pool is up: the program ends with all of them running.
        QCOMPARE(fields.size(), 3 * std::min(2, QThread::idealThreadCount()));
        probe.waitForFinished(30000);
        for (qsizetype i = 0; i < fields.size(); i += 3) {
            const long pid = fields[i].toLong();
            const QString folder = QString::fromUtf8(fields[i + 1]);
            const QString pipeName = QString::fromUtf8(fields[i + 2]);
            QVERIFY(pid > 0 && !folder.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).exists(), 10000);
            QVERIFY(!QFile::exists(QStringLiteral("/tmp/OSL_PIPE_%1_").arg(::getuid()) + pipeName));
        }
    }

    // Killed while the office is still starting: its socket files go too.
    void nothingOutlivesAKillDuringStartUp()
    {
        const auto sockets = [] {
            return QDir(QStringLiteral("/tmp"))
                .entryList({QStringLiteral("OSL_PIPE_*")}, QDir::System);
        };
        const QStringList before = sockets();
        QProcess probe;
        probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                    {doc_, QStringLiteral("exit")});
        QVERIFY(probe.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(sockets() != before, 10000); // the office has begun to listen
        probe.kill();
        probe.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(sockets(), before, 10000);
    }

    // Killed in the middle of saving: the folder holds the complete document
    // or nothing, and no scratch file of ours or of the office.
    void killDuringSaveLeavesOnlyWholeDocuments()
    {
        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("out.doc"));
        for (int delay : {1200, 1500, 1800}) {
            QProcess probe;
            probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                        {doc_, QStringLiteral("saveloop:") + target});
            QVERIFY(probe.waitForReadyRead(60000));
            QTest::qWait(delay);
            probe.kill();
            probe.waitForFinished();
            QTRY_COMPARE_WITH_TIMEOUT(
                QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList{QStringLiteral("out.doc")}, 10000);
            QCOMPARE(testfiles::leadingBytes(target, 4), QByteArray("\xD0\xCF\x11\xE0", 4));
        }
    }
};

MORVANTA_TEST_MAIN(OfficeProcessTest)
#include "tst_officeprocess.moc"
