// Whole runs of the generate button against the real office: what the
// operator sees (messages, hidden and shown windows, the wait form advancing)
// and what the run leaves behind.

#include "fakelauncher.h"
#include "messageboxanswerer.h"
#include "officefiles.h"
#include "testhome.h"

#include "common/paths.h"
#include "generator/application.h"
#include "generator/form1.h"
#include "generator/frmabout.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

QStringList row(const QString& number)
{
    return {number,
            QStringLiteral("2025年1月1日至2030年1月1日"),
            QStringLiteral("示例市第一实验中学"),
            QStringLiteral("实施初级中学教育，促进基础教育发展"),
            QStringLiteral("示例市和平路1号"),
            QStringLiteral("张三"),
            QStringLiteral("财政补助"),
            QStringLiteral("100万元"),
            QStringLiteral("示例市教育局")};
}

QString completionMessage()
{
    return QStringLiteral("请到“") + paths::outputDir() +
           QStringLiteral(
               "”目录中选择所需打印证书。\r\n如字数过多，请调整字体大小和行间距后进行打印！");
}

QString document(const QString& number, const char* kind)
{
    return paths::outputDir() + number + QStringLiteral("（%1）.doc").arg(QString::fromUtf8(kind));
}

} // namespace

class PrintRunTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTemplates(); }

    void init()
    {
        QDir(paths::outputDir()).removeRecursively();
        QDir().mkpath(paths::outputDir());
        QFile::remove(paths::dataFile());
        launcher = FakeLauncher();
        window = std::make_unique<form1>(office::defaultEngine(), launcher);
        window->show();
        answerer = std::make_unique<MessageBoxAnswerer>([this] { return situation(); });
    }

    void cleanup()
    {
        answerer.reset();
        window.reset();
    }

    void completeRun()
    {
        makeDataFile({row(QStringLiteral("A001")),
                      row(QStringLiteral("A002")),
                      row(QStringLiteral("A003")),
                      {},
                      row(QStringLiteral("X999"))});

        // Samples the windows whenever the run lets events through.
        QSet<QString> duringRun;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] {
            const frmAbout* wait = window->waitForm();
            duringRun.insert(situation() + QStringLiteral(", ") +
                             (wait ? wait->progressText() : QString()));
        });
        sampler.start(0);
        pressPrint();
        sampler.stop();

        QCOMPARE(answerer->texts(), QStringList{completionMessage()});
        const MessageBoxAnswerer::Seen& done = answerer->seen.first();
        QCOMPARE(done.title, QStringLiteral("Morvanta"));
        QCOMPARE(done.icon, QMessageBox::NoIcon);
        QVERIFY(done.okOnly);
        QCOMPARE(done.situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
        QVERIFY(!window->waitForm());

        // The wait form was up and painted while the rows went by, the main
        // window hidden throughout.
        for (const char* progress : {"0 / 3", "1 / 3", "2 / 3", "3 / 3"})
            QVERIFY2(duringRun.contains(QStringLiteral("main hidden, wait form up, ") + progress),
                     qPrintable(QStringList(duringRun.values()).join(u'|')));
        for (const QString& seen : duringRun)
            QVERIFY2(seen.startsWith(QStringLiteral("main hidden")), qPrintable(seen));

        for (const char* number : {"A001", "A002", "A003"}) {
            QVERIFY(isWord97File(document(QString::fromLatin1(number), "正本")));
            QVERIFY(isWord97File(document(QString::fromLatin1(number), "副本")));
        }
        QCOMPARE(QDir(paths::outputDir()).entryList(QDir::Files).size(), 6);
        QVERIFY(!QFile::exists(paths::dataFile()));
        QCOMPARE(window->zhengshuhao, QStringLiteral("A003"));
        QCOMPARE(window->jubandanwei, QStringLiteral("示例市教育局"));

        // The data file is consumed: the next press asks for a new download.
        pressPrint();
        QCOMPARE(answerer->texts().last(), QStringLiteral("未找到下载文件"));
        QCOMPARE(answerer->seen.last().situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
    }

    void noDataRows()
    {
        makeDataFile({{}, row(QStringLiteral("B001"))});
        pressPrint();
        QCOMPARE(answerer->texts(),
                 QStringList{QStringLiteral("没有下载数据可打印，请重新下载数据！")});
        QCOMPARE(answerer->seen.first().situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
        QVERIFY(QFile::exists(paths::dataFile()));
        QVERIFY(QDir(paths::outputDir()).isEmpty());
    }

    void fillFailureShownOverWaitForm()
    {
        const QString duplicate = paths::templateFile(paths::TemplateKind::Duplicate);
        QVERIFY(QFile::rename(duplicate, duplicate + QStringLiteral(".away")));
        makeDataFile({row(QStringLiteral("C001"))});
        pressPrint();
        QFile::rename(duplicate + QStringLiteral(".away"), duplicate);

        QCOMPARE(answerer->texts(),
                 (QStringList{QStringLiteral("未找到该文件"), completionMessage()}));
        QCOMPARE(answerer->seen[0].situation, QStringLiteral("main hidden, wait form up"));
        QCOMPARE(answerer->seen[1].situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(isWord97File(document(QStringLiteral("C001"), "正本")));
        QVERIFY(!QFile::exists(document(QStringLiteral("C001"), "副本")));
        QVERIFY(!QFile::exists(paths::dataFile()));
        QVERIFY(window->isVisible());
    }

    void unreadableDataFileEndsProgram()
    {
        QDir().mkpath(paths::downloadDir());
        QFile file(paths::dataFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no spreadsheet\n");
        file.close();

        QTimer::singleShot(0, window.get(), [this] { pressPrint(); });
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(120000);
        const int exitCode = QApplication::exec();

        QCOMPARE(exitCode, 1);
        QCOMPARE(answerer->seen.size(), 1);
        const QString text = answerer->seen.first().text;
        QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d+:.*down\\.xls")).match(text).hasMatch(),
                 qPrintable(text));
        QCOMPARE(answerer->seen.first().situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(!window->isVisible()); // the program ends without showing it again
        QVERIFY(QFile::exists(paths::dataFile()));
    }

private:
    void pressPrint()
    {
        QTest::mouseClick(window->findChild<QPushButton*>("print"), Qt::LeftButton);
    }

    QString situation() const
    {
        return QStringLiteral("%1, %2").arg(window->isVisible() ? "main visible" : "main hidden",
                                            window->waitForm() && window->waitForm()->isVisible()
                                                ? "wait form up"
                                                : "no wait form");
    }

    FakeLauncher launcher;
    std::unique_ptr<form1> window;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

int main(int argc, char* argv[])
{
    TestHome home;
    QApplication app(argc, argv);
    prepareGeneratorApplication(app);
    PrintRunTest test;
    const int failures = QTest::qExec(&test, argc, argv);
    office::shutdownDefaultEngine();
    return failures;
}

#include "print_run_test.moc"
