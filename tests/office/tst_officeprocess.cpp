// The life of the private office: it starts on first use, is replaced when it
// dies, hangs or has served many documents, never touches another office, and
// never outlives the program however the program ends.

#include "testfiles.h"
#include "testmain.h"

#include "office/engine.h"
#include "office/error.h"
#include "office/officeprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>
#include <unistd.h>

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

// The office started by the given process, or 0.
long officeOf(long parent)
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toLong() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll(); // pid (comm) state ppid ...
        const int close = text.lastIndexOf(')');
        if (text.contains("(soffice.bin)") &&
            text.mid(close + 4).split(' ').value(0).toLong() == parent)
            return entry.toLong();
    }
    return 0;
}

QString pipeSocket(const QString& pipeName)
{
    return QStringLiteral("/tmp/OSL_PIPE_%1_").arg(::getuid()) + pipeName;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
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
        QVERIFY(clock.elapsed() < 20000);
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
        QTRY_COMPARE(processState(pid), 'T');
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
        // Long enough for the start and the open on a loaded machine; a
        // deadline that is not kept blocks the call for good.
        useDeadline(std::chrono::seconds(8));
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
        QVERIFY2(clock.elapsed() < 25000, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 30000);
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
        QTRY_VERIFY_WITH_TIMEOUT(processGone(first), 30000);
        useDeadline(std::chrono::seconds(20));
    }

    void anotherOfficeIsLeftAlone()
    {
        // An office of the operator's own, with its own profile, listening.
        QTemporaryDir profile;
        const QString pipe =
            QStringLiteral("operators-office-%1").arg(QCoreApplication::applicationPid());
        QProcess own;
        for (int start = 0; start < 3 && !QFile::exists(pipeSocket(pipe)); ++start) {
            // A new profile may end the first start with 81.
            own.start(QStringLiteral(MORVANTA_OFFICE_PROGRAM_DIR "/soffice.bin"),
                      {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                       QStringLiteral("-env:UserInstallation=") +
                           QUrl::fromLocalFile(profile.path()).toString(),
                       QStringLiteral("--accept=pipe,name=%1;urp;").arg(pipe)});
            QVERIFY(own.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(
                QFile::exists(pipeSocket(pipe)) || own.state() == QProcess::NotRunning, 60000);
        }
        QVERIFY(own.state() == QProcess::Running && QFile::exists(pipeSocket(pipe)));
        const QStringList theirFiles = detail::socketFilesOf(static_cast<pid_t>(own.processId()));
        shutdownDefaultEngine();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QVERIFY(defaultEngineOfficePid() != own.processId());
        shutdownDefaultEngine();
        // Ending ours left theirs running, with its socket files.
        QCOMPARE(own.state(), QProcess::Running);
        for (const QString& file : theirFiles)
            QVERIFY2(QFile::exists(file), qPrintable(file));
        own.kill();
        own.waitForFinished();
        for (const QString& file : theirFiles)
            QFile::remove(file);
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
            QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).exists(), 30000);
            QVERIFY(!QFile::exists(QStringLiteral("/tmp/OSL_PIPE_%1_").arg(::getuid()) + pipeName));
        }
    }

    // Killed while the office is still starting, once it has made its first
    // socket file; the program is held still meanwhile, so only what it knew
    // before the launch can be cleaned up: its socket files go too.
    void nothingOutlivesAKillDuringStartUp()
    {
        QProcess probe;
        probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                    {doc_, QStringLiteral("exit")});
        QVERIFY(probe.waitForStarted());
        long office = 0;
        QTRY_VERIFY_WITH_TIMEOUT((office = officeOf(probe.processId())) > 0, 30000);
        ::kill(static_cast<pid_t>(probe.processId()), SIGSTOP);
        QStringList files;
        QTRY_VERIFY_WITH_TIMEOUT(
            (office = officeOf(probe.processId())) > 0 &&
                !(files = detail::socketFilesOf(static_cast<pid_t>(office))).isEmpty(),
            30000);
        probe.kill();
        probe.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(processGone(office), 30000);
        for (const QString& file : std::as_const(files))
            QTRY_VERIFY2_WITH_TIMEOUT(!QFileInfo(file).exists() && !QFileInfo(file).isSymLink(),
                                      qPrintable(file), 30000);
    }

    // Killed in the middle of saving: the folder holds the complete document
    // or nothing, and no scratch file of ours or of the office. The folder's
    // name holds a newline, which must not make the clean-up remove
    // "<base>/a" instead of the staging folder.
    void killDuringSaveLeavesOnlyWholeDocuments()
    {
        QTemporaryDir base;
        const QString decoy = base.filePath(QStringLiteral("a/keep.txt"));
        QVERIFY(QDir().mkpath(base.filePath(QStringLiteral("a"))));
        testfiles::writeText(decoy, QStringLiteral("keep"));
        const QString out = base.filePath(QStringLiteral("a\nb"));
        QVERIFY(QDir().mkpath(out));
        const QString target = out + QStringLiteral("/out.doc");
        for (int delay : {1200, 1500, 1800}) {
            QProcess probe;
            probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                        {doc_, QStringLiteral("saveloop:") + target});
            QVERIFY(probe.waitForReadyRead(60000));
            QTest::qWait(delay);
            probe.kill();
            probe.waitForFinished();
            // On a loaded machine the first save may not be done yet: nothing is as good.
            QTRY_VERIFY_WITH_TIMEOUT(entriesOf(out).isEmpty() ||
                                         entriesOf(out) == QStringList{QStringLiteral("out.doc")},
                                     30000);
            if (QFile::exists(target))
                QCOMPARE(testfiles::leadingBytes(target, 4), QByteArray("\xD0\xCF\x11\xE0", 4));
            QVERIFY(QFile::exists(decoy));
        }
    }

    // A link planted where a save's staging folder could be expected: the
    // save neither writes through it nor, when the office ends, empties what
    // it points to.
    void plantedStagingLinkIsNotFollowed()
    {
        QTemporaryDir out;
        QTemporaryDir elsewhere;
        testfiles::writeText(elsewhere.filePath(QStringLiteral("keep.txt")), QStringLiteral("x"));
        const QString link = out.filePath(QStringLiteral(".~morvanta-%1").arg(::getpid()));
        QVERIFY(QFile::link(elsewhere.path(), link));
        {
            auto app = defaultEngine().createWordApplication();
            app->Documents().Open(doc_, true).SaveAs(out.filePath(QStringLiteral("x.doc")));
            app->Quit();
        }
        shutdownDefaultEngine();
        QCOMPARE(entriesOf(elsewhere.path()), QStringList{QStringLiteral("keep.txt")});
        QCOMPARE(entriesOf(out.path()),
                 (QStringList{QStringLiteral(".~morvanta-%1").arg(::getpid()),
                              QStringLiteral("x.doc")}));
    }
};

MORVANTA_TEST_MAIN(OfficeProcessTest)
#include "tst_officeprocess.moc"
