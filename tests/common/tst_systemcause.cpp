// The system's reasons in the operator's words, also when they come wrapped
// in Qt's file error text.

#include "common/systemcause.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

class SystemCauseTest : public QObject
{
    Q_OBJECT

private slots:
    void qtFileErrorsInChineseWords()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());

        QFile missing(dir.filePath(QStringLiteral("没有/文件.txt")));
        QVERIFY(!missing.open(QIODevice::ReadOnly));
        QCOMPARE(morvanta::fileErrorCause(missing.errorString()), morvanta::systemCause(ENOENT));

        QFile folder(dir.path());
        QVERIFY(!folder.open(QIODevice::WriteOnly));
        QCOMPARE(morvanta::fileErrorCause(folder.errorString()), morvanta::systemCause(EISDIR));
        QSaveFile whole(dir.path());
        QVERIFY(!whole.open(QIODevice::WriteOnly));
        QCOMPARE(morvanta::fileErrorCause(whole.errorString()), morvanta::systemCause(EISDIR));

        // No English sentence of the system is left in a known cause.
        QVERIFY(!morvanta::fileErrorCause(missing.errorString()).contains(u'N'));

        // A text that names no system cause is kept, after the words that say so.
        QCOMPARE(morvanta::fileErrorCause(QStringLiteral("Unknown error")),
                 QStringLiteral("原因不明（Unknown error）"));
    }
};

QTEST_GUILESS_MAIN(SystemCauseTest)
#include "tst_systemcause.moc"
