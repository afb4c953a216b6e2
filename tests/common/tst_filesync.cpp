// Flushing files and folders to disk, and the failures it must report.

#include "common/filesync.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class FileSyncTest : public QObject
{
    Q_OBJECT

private slots:
    void flushesFilesAndFolders()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("证书.docx")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("content") == 7);
        file.close();

        QString reason = QStringLiteral("untouched");
        QVERIFY(filesync::syncToDisk(file.fileName(), &reason));
        QVERIFY(filesync::syncToDisk(dir.path(), &reason));
        QCOMPARE(reason, QStringLiteral("untouched"));
    }

    void reportsWhatCannotBeFlushed()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString missing = dir.filePath(QStringLiteral("gone.tmp"));
        QString reason;
        QVERIFY(!filesync::syncToDisk(missing, &reason));
        QVERIFY2(!reason.isEmpty(), "a failure comes with the system's reason");
        QVERIFY(!filesync::syncToDisk(missing)); // also without asking for the reason

        // A FIFO in a file's place is refused at once instead of waiting for a writer.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QElapsedTimer timer;
        timer.start();
        reason.clear();
        QVERIFY(!filesync::syncToDisk(fifo, &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(timer.elapsed() < 5000);
    }
};

QTEST_GUILESS_MAIN(FileSyncTest)
#include "tst_filesync.moc"
