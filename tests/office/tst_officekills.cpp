// A program killed at any moment of its offices' start or end leaves
// nothing of them: no temporary folder, no socket file, nothing it listed.

#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <unistd.h>

class OfficeKillsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString doc_;

    void startProbe(QProcess& probe, const QString& ending)
    {
        probe.start(QStringLiteral(MORVANTA_BUILD_DIR "/tests/office/office_probe"),
                    {doc_, ending});
    }

private Q_SLOTS:
    void initTestCase()
    {
        doc_ = dir_.filePath(QStringLiteral("t.doc"));
        testfiles::makeWordDocument(doc_, {QStringLiteral("证书号码")});
    }

    // Killed with SIGKILL at moments spread over the office's start-up and
    // over the program's end (just after its last piece of work): no office
    // folder under the program's TMPDIR, no socket file of its pipe, and
    // nothing it listed as temporary is left once its guardians are done.
    void killAtAnyMomentLeavesNothing()
    {
        QTemporaryDir tmp;
        const QString journal = tmp.filePath(QStringLiteral("journal"));
        const QString tmpdir = tmp.filePath(QStringLiteral("t"));
        QVERIFY(QDir().mkpath(tmpdir));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        env.insert(QStringLiteral("MORVANTA_LEFTOVER_JOURNAL"), journal);
        const auto leftOver = [&](qint64 pid) {
            QStringList left = QDir(tmpdir).entryList({QStringLiteral("morvanta-office-*")},
                                                      QDir::AllEntries | QDir::Hidden);
            left += QDir(QStringLiteral("/tmp"))
                        .entryList(
                            {QStringLiteral("OSL_PIPE_%1_morvanta-%2-*").arg(::getuid()).arg(pid)},
                            QDir::AllEntries | QDir::System);
            QFile listed(journal);
            if (listed.open(QIODevice::ReadOnly))
                for (const QByteArray& path : listed.readAll().split('\0'))
                    if (!path.isEmpty() && QFileInfo(QFile::decodeName(path)).exists())
                        left << QFile::decodeName(path);
            return left;
        };
        const auto killAfter = [&](int delayMs, bool afterTheWork) {
            QFile::remove(journal);
            QProcess probe;
            probe.setProcessEnvironment(env);
            startProbe(probe, QStringLiteral("exit"));
            QVERIFY(probe.waitForStarted());
            const qint64 pid = probe.processId();
            if (afterTheWork)
                QVERIFY(probe.waitForReadyRead(60000));
            QThread::msleep(delayMs);
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            probe.waitForFinished();
            QTRY_VERIFY2_WITH_TIMEOUT(
                leftOver(pid).isEmpty(),
                qPrintable(QStringLiteral("killed after %1 ms: ").arg(delayMs) +
                           leftOver(pid).join(u' ')),
                15000);
        };
        // During the start: from before the office's folder is made until
        // the offices accept connections.
        for (const int delay : {30, 120, 300, 600, 1000, 1600, 2400})
            killAfter(delay, false);
        // At the end: the offices are being ended and their folders removed.
        for (const int delay : {0, 15, 40, 80})
            killAfter(delay, true);
    }
};

MORVANTA_TEST_MAIN(OfficeKillsTest)
#include "tst_officekills.moc"
