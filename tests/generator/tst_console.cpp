// MorvantaConsole as an operator without a desktop runs it: same data file,
// same documents, messages and progress on the terminal, and an exit status
// that says whether the run completed.

#include "testsupport.h"

#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

struct ConsoleRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ConsoleRun runConsole()
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), QDir::homePath());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORVANTA_CONSOLE_PATH), QStringList());
    if (!process.waitForFinished(150000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class ConsoleTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        makeMorvantaFolders();
        makeDefaultTemplates();
    }

    void noDataFile()
    {
        const ConsoleRun run = runConsole();
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QStringLiteral("未找到下载文件\n"));
    }

    void unreadableDataFileEndsTheRun()
    {
        writeFile(paths::dataFile(), QByteArray(4096, '\x9c'));
        const ConsoleRun run = runConsole();
        QFile::remove(paths::dataFile());
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QRegularExpression(QStringLiteral("^-?\\d+:\\S"))),
                 qPrintable(run.err));
    }

    void completeRun()
    {
        makeWorkbook(paths::dataFile(), {headingRow(),
                                         rowOfTexts({QStringLiteral("H2"), QStringLiteral("长期"),
                                                     QStringLiteral("青山市图书馆")}),
                                         rowOfTexts({QStringLiteral("H3"), QStringLiteral("长期"),
                                                     QStringLiteral("青山市档案馆")})});
        office::shutdownDefaultEngine(); // the console starts an office of its own
        const ConsoleRun run = runConsole();

        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("已完成 0/2\n已完成 1/2\n已完成 2/2\n请到“") +
                              paths::outputDir() +
                              QStringLiteral("”目录中选择所需打印证书。\n"
                                             "如字数过多，请调整字体大小和行间距后进行打印！\n"));
        QCOMPARE(filesBelow(paths::outputDir()), (QStringList{"H2（副本）.doc", "H2（正本）.doc",
                                                              "H3（副本）.doc", "H3（正本）.doc"}));
        QVERIFY(!QFileInfo::exists(paths::dataFile()));
    }
};

MORVANTA_TEST_MAIN(ConsoleTest)
#include "tst_console.moc"
