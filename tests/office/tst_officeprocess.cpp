// The life of the private office: it starts on first use, is replaced when it
// dies or hangs, never touches another office, and never outlives the
// program however the program ends.

#include "testfiles.h"
#include "testmain.h"

#include "common/error.h"
#include "office/engine.h"
#include "office/officeprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>
#include <unistd.h>

using namespace office;
using namespace morvanta;

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

// The processors a process may run on, as /proc/<pid>/status lists them.
QByteArray allowedProcessors(long pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Cpus_allowed_list:"))
            return line.mid(18).trimmed();
    return {};
}

// A killed office whose parent is gone may linger briefly as a zombie.
bool processGone(long pid)
{
    return pid <= 0 || processState(pid) == '?' || processState(pid) == 'Z';
}

// The running office processes started by the given process.
QList<long> officesOf(long parent)
{
    QList<long> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toLong() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll(); // pid (comm) state ppid ...
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (text.contains("(soffice.bin)") && fields.size() > 1 && fields[0] != "Z" &&
            fields[1].toLong() == parent)
            found << entry.toLong();
    }
    return found;
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

void startProbe(QProcess& probe, const QString& doc, const QString& ending)
{
    probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"), {doc, ending});
}

} // namespace

class OfficeProcessTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString doc_;

    void useDeadline(std::chrono::milliseconds deadline, int processes = 2)
    {
        EngineOptions options;
        options.callDeadline = deadline;
        options.processes = processes;
        setDefaultEngineOptions(options);
        shutdownDefaultEngine();
    }

    QString openAndRead()
    {
        auto app = defaultEngine().createWordApplication();
        word::Document& doc = app->Documents().Open(doc_, true);
        const QString text = doc.Range(0, 4)->Text();
        app->Quit();
        return text;
    }

    // What the document reads, or the failure's description.
    QString readOrFailure()
    {
        try {
            return openAndRead();
        } catch (const Error& e) {
            return e.description();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        doc_ = dir_.filePath(QStringLiteral("t.doc"));
        testfiles::makeWordDocument(doc_, {QStringLiteral("证书号码")});
    }

    void init() { useDeadline(std::chrono::seconds(20)); }

    // A fresh private profile belongs to the installed version, so the
    // office skips the graphics self-test that otherwise takes seconds.
    // The office starts without its graphics self-test, and with fewer fonts
    // to read that still give 宋体 the substitute the system gives it.
    void freshProfileStartsWithoutTheGraphicsSelfTest()
    {
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QFile environment(QStringLiteral("/proc/%1/environ").arg(defaultEngineOfficePid()));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QString user;
        QString fonts;
        for (const QByteArray& entry : environment.readAll().split('\0')) {
            if (entry.startsWith("TMPDIR="))
                user = QString::fromLocal8Bit(entry.mid(7)) + QStringLiteral("/../profile/user");
            if (entry.startsWith("FONTCONFIG_FILE="))
                fonts = QString::fromLocal8Bit(entry.mid(16));
        }
        QVERIFY(QFile::exists(user + QStringLiteral("/registrymodifications.xcu")));

        const auto fontsSeen = [](const QString& config, const QStringList& arguments) {
            QProcess fc;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (!config.isEmpty())
                env.insert(QStringLiteral("FONTCONFIG_FILE"), config);
            fc.setProcessEnvironment(env);
            fc.start(arguments[0], arguments.mid(1));
            return fc.waitForFinished(30000) ? QString::fromUtf8(fc.readAllStandardOutput())
                                             : QStringLiteral("fc failed");
        };
        const QStringList simSun{QStringLiteral("fc-match"), QStringLiteral("-f"),
                                 QStringLiteral("%{family}"), QStringLiteral("宋体")};
        const QStringList all{QStringLiteral("fc-list")};
        QVERIFY2(QFile::exists(fonts), qPrintable(fonts));
        QCOMPARE(fontsSeen(fonts, simSun), fontsSeen({}, simSun));
        QVERIFY(fontsSeen(fonts, all).count(u'\n') < fontsSeen({}, all).count(u'\n'));

        QTest::qWait(1500); // the self-test would have begun by now
        QVERIFY(!QFile::exists(user + QStringLiteral("/GraphicsRenderTests.log")));
    }

    // Two sessions at once are on two offices. A call hung on one fails at its
    // own deadline while calls on the other go on, each with a deadline of its own.
    void sessionsAtOnceOnOfficesOfTheirOwn()
    {
        if (QThread::idealThreadCount() < 2)
            QSKIP("one core: the pool has one office");
        useDeadline(std::chrono::seconds(8)); // room for an open on a loaded machine
        const QByteArray ownProcessors = allowedProcessors(::gettid());
        auto first = defaultEngine().createWordApplication();
        auto second = defaultEngine().createWordApplication();
        word::Document& hungDoc = first->Documents().Open(doc_, true);
        word::Document& busyDoc = second->Documents().Open(doc_, true);
        const auto hung = static_cast<pid_t>(officePidOf(*first));
        QVERIFY(hung > 0 && officePidOf(*second) > 0 && hung != officePidOf(*second));
        // Each office keeps to a processor of its own.
        const QByteArray processors[] = {allowedProcessors(hung),
                                         allowedProcessors(officePidOf(*second))};
        const auto single = [](const QByteArray& list) {
            return !list.isEmpty() && !list.contains(',') && !list.contains('-');
        };
        QVERIFY2(processors[0] != processors[1] && single(processors[0]) && single(processors[1]),
                 (processors[0] + " / " + processors[1]).constData());

        ::kill(hung, SIGSTOP);
        QTRY_COMPARE(processState(hung), 'T');
        std::atomic<bool> done = false;
        std::atomic<int> calls = 0;
        std::thread busy([&] { // a failure on the other office ends the test program
            while (!done)
                calls += busyDoc.Range(0, 4)->Text() == QStringLiteral("证书号码") ? 1 : -1000;
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
        QCOMPARE(failure, errc::OfficeNoAnswer);
        QVERIFY2(elapsed < 20000, qPrintable(QString::number(elapsed)));
        QVERIFY(calls > 0);
        QCOMPARE(busyDoc.Range(0, 4)->Text(), QStringLiteral("证书号码"));
        // The thread kept to an office's processor while it had sessions gets its own back.
        QCOMPARE(allowedProcessors(::gettid()), processors[0]);
        first.reset();
        second.reset();
        QCOMPARE(allowedProcessors(::gettid()), ownProcessors);
    }

    // Offices started from a worker thread stay when that thread ends (the
    // parent-death signal follows the thread that started a process).
    void officesStartedOnAPassingThreadStay()
    {
        QString read;
        std::thread([&] { read = readOrFailure(); }).join();
        QCOMPARE(read, QStringLiteral("证书号码"));
        const QList<long> pids = defaultEngineOfficePids();
        QVERIFY(!pids.isEmpty());
        QTest::qWait(1000);
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
        QCOMPARE(defaultEngineOfficePids(), pids);
    }

    // A call into an office that is stopped fails at the deadline, naming the
    // file a hung open or save was for, not as a bad document; one into an
    // office killed under it says so. Either way the next session works.
    void officeHangsOrDiesDuringACall_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<bool>("killed");
        QTest::newRow("call, killed") << "call" << true;
        QTest::newRow("call, hung") << "call" << false;
        QTest::newRow("open, hung") << "open" << false;
        QTest::newRow("save, hung") << "save" << false;
    }

    void officeHangsOrDiesDuringACall()
    {
        QFETCH(QString, during);
        QFETCH(bool, killed);
        useDeadline(std::chrono::seconds(8)); // room for an open on a loaded machine
        openAndRead();                        // the office is up
        const auto pid = static_cast<pid_t>(defaultEngineOfficePid());
        const QString target = dir_.filePath(QStringLiteral("saved.doc"));
        auto app = defaultEngine().createWordApplication();
        std::jthread killer;
        QElapsedTimer clock;
        int failure = 0;
        QString text;
        try {
            clock.start();
            if (during == QStringLiteral("open"))
                ::kill(pid, SIGSTOP);
            word::Document& doc = app->Documents().Open(doc_, true);
            ::kill(pid, SIGSTOP);
            if (killed)
                killer = std::jthread([pid] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    ::kill(pid, SIGKILL);
                });
            if (during == QStringLiteral("save"))
                doc.SaveAs(target);
            else
                doc.Range(0, 4)->Text();
        } catch (const Error& e) {
            failure = e.number();
            text = e.description();
        }
        killer = {};
        QVERIFY2(clock.elapsed() < 25000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(failure, killed ? errc::OfficeGone : errc::OfficeNoAnswer);
        const QString expected = killed ? QStringLiteral("意外结束（被信号 9（SIGKILL）结束）")
                                        : QStringLiteral("在 8 秒内没有响应");
        QVERIFY2(text.contains(expected) && !text.contains(QStringLiteral("不是")) &&
                     !text.contains(QStringLiteral("。：")),
                 qPrintable(text));
        if (during != QStringLiteral("call"))
            QVERIFY2(text.startsWith(during == QStringLiteral("save")
                                         ? QStringLiteral("无法写入文件“%1”：").arg(target)
                                         : QStringLiteral("无法打开“%1”：").arg(doc_)),
                     qPrintable(text));
        QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 30000);
        app.reset();
        QCOMPARE(openAndRead(), QStringLiteral("证书号码"));
    }

    // An office killed while it starts is started once more.
    void officeKilledDuringItsStartIsStartedAgain()
    {
        useDeadline(std::chrono::seconds(20), 1);
        std::atomic<bool> stop{false};
        std::thread killer([&] {
            for (bool killed = false; !stop && !killed;
                 std::this_thread::sleep_for(std::chrono::milliseconds(2)))
                for (const long pid : officesOf(::getpid()))
                    killed = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
        });
        const QString read = readOrFailure();
        stop = true;
        killer.join();
        QCOMPARE(read, QStringLiteral("证书号码"));
    }

    void anotherOfficeIsLeftAlone()
    {
        // An office of the operator's own, with its own profile, listening.
        QTemporaryDir profile;
        const QString pipe =
            QStringLiteral("operators-office-%1").arg(QCoreApplication::applicationPid());
        QProcess own;
        // Its scratch folders go with its profile, not into /tmp.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), profile.path());
        own.setProcessEnvironment(env);
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
        startProbe(probe, doc_, ending);
        QVERIFY(probe.waitForReadyRead(60000));
        const QList<QByteArray> fields = probe.readLine().trimmed().split(' ');
        // Every office of the pool is up: the program ends with all of them running.
        QCOMPARE(fields.size(), 3 * std::min(2, QThread::idealThreadCount()));
        probe.waitForFinished(30000);
        for (qsizetype i = 0; i < fields.size(); i += 3) {
            const QString folder = QString::fromUtf8(fields[i + 1]);
            QVERIFY(fields[i].toLong() > 0 && !folder.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(processGone(fields[i].toLong()), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).exists(), 30000);
            QVERIFY(!QFile::exists(pipeSocket(QString::fromUtf8(fields[i + 2]))));
        }
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
            startProbe(probe, doc_, QStringLiteral("saveloop:") + target);
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
        const QString link = QStringLiteral(".~morvanta-%1").arg(::getpid());
        QVERIFY(QFile::link(elsewhere.path(), out.filePath(link)));
        {
            auto app = defaultEngine().createWordApplication();
            app->Documents().Open(doc_, true).SaveAs(out.filePath(QStringLiteral("x.doc")));
            app->Quit();
        }
        shutdownDefaultEngine();
        QCOMPARE(entriesOf(elsewhere.path()), QStringList{QStringLiteral("keep.txt")});
        QCOMPARE(entriesOf(out.path()), (QStringList{link, QStringLiteral("x.doc")}));
    }
};

MORVANTA_TEST_MAIN(OfficeProcessTest)
#include "tst_officeprocess.moc"
