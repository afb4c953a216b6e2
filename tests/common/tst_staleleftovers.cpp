// The private print folders a killed program leaves in the temporary folder
// are removed at the next start of one of our programs; those of a program
// that still runs, and anything else there, are kept.

#include "common/staleleftovers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class StaleLeftoversTest : public QObject
{
    Q_OBJECT

private slots:
    void printFoldersOfEndedProgramsGo()
    {
        // The id of a process that has ended.
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 gone = ended.processId();
        QVERIFY(ended.waitForFinished());

        QTemporaryDir temp;
        QDir dir(temp.path());
        const QString own =
            QStringLiteral("morvanta-print-%1-Ab12Cd").arg(QCoreApplication::applicationPid());
        const QString dead = QStringLiteral("morvanta-print-%1-Xy98Zw").arg(gone);
        const QString init = QStringLiteral("morvanta-print-1-Qq11Qq"); // another program's id now
        const QStringList others{QStringLiteral("morvanta-print-abc"),
                                 QStringLiteral("morvanta-print-12-toolongname"),
                                 QStringLiteral("morvanta-office-Xy98Zw")};
        for (const QString& name : QStringList{own, dead, init} + others)
            QVERIFY(dir.mkdir(name));
        QFile pdf(dir.filePath(dead + QStringLiteral("/1.pdf")));
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.close();
        // A link in a stale folder is removed, not followed.
        QTemporaryDir outside;
        QFile kept(outside.filePath(QStringLiteral("kept")));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.close();
        QVERIFY(QFile::link(outside.path(), dir.filePath(dead + QStringLiteral("/link"))));

        QCOMPARE(staleleftovers::printFolderOwner(dead), gone);
        QCOMPARE(staleleftovers::printFolderOwner(others.first()), 0);
        staleleftovers::removeStalePrintFolders(temp.path());

        QStringList expected = QStringList{own} + others;
        expected.sort();
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), expected);
        QVERIFY(QFile::exists(outside.filePath(QStringLiteral("kept"))));
    }
};

QTEST_GUILESS_MAIN(StaleLeftoversTest)
#include "tst_staleleftovers.moc"
