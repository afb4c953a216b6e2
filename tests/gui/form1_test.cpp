// The main window: the end of the program, and whole runs
// of the generate button against the real office: what the operator sees
// (messages, hidden and shown windows, the wait form advancing) and what the
// run leaves behind.

#include "certificates.h"
#include "fakelauncher.h"
#include "messageboxes.h"
#include "testmain.h"

#include "common/unhandledfailure.h"
#include "generator/application.h"
#include "generator/form1.h"
#include "generator/frmabout.h"

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

#include <stdexcept>
#include <system_error>

using namespace testfiles;

class Form1Test : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTemplates(); }

    void init()
    {
        emptyOutputFolder();
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

    // A margin program that is missing or cannot start takes the unhandled-failure
    // path: one message, then the program ends.
    void setupFailureEndsProgram()
    {
        QVERIFY(!QFile::exists(paths::marginProgram()));
        QCOMPARE(runUntilEnd("setup"),
                 QStringLiteral("53:未找到页边距设置程序“%1”。").arg(paths::marginProgram()));
        QCOMPARE(exitCode, 1);
        QCOMPARE(answerer->seen.size(), 1);
        QVERIFY(launcher.started.isEmpty());

        MarginProgram program;
        launcher.startSucceeds = false;
        const QString text = runUntilEnd("setup");
        QCOMPARE(exitCode, 1);
        QCOMPARE(answerer->seen.size(), 1);
        QVERIFY2(text.startsWith(QStringLiteral("70:")) && text.contains(paths::marginProgram()),
                 qPrintable(text));
    }

    // Not only office failures: anything escaping a handler ends the program
    // the same way.
    void otherFailureEndsProgram()
    {
        QTimer::singleShot(
            0, [] { unhandled::Failures::runHandler([] { throw std::runtime_error("boom"); }); });
        QCOMPARE(QApplication::exec(), unhandled::kExitCode);
        QCOMPARE(answerer->texts(), QStringList{QStringLiteral("-2147467259:程序内部错误：boom")});
        // Not even a std::exception: the same form.
        QTimer::singleShot(0, [] { unhandled::Failures::runHandler([] { throw 42; }); });
        QCOMPARE(QApplication::exec(), unhandled::kExitCode);
        QCOMPARE(answerer->texts().last(),
                 QStringLiteral("-2147467259:程序内部错误：未知的异常。"));
        // A thread that cannot be created (what a run needs for its fills) is
        // told in words, not as the system's English text.
        const std::system_error noThread(
            std::make_error_code(std::errc::resource_unavailable_try_again));
        QCOMPARE(unhandled::otherFailureText(morvanta::errc::OfficeFailure, &noThread),
                 QStringLiteral("-2147467259:系统资源不足，无法创建工作线程，程序无法继续运行。"));
    }

    void completeRun()
    {
        makeDataFile(QList<QStringList>{
            dataRow("A001"), dataRow("A002"), dataRow("A003"), {}, dataRow("X999")});

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
        QVERIFY(done.okOnly);
        QCOMPARE(done.situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
        QVERIFY(!window->waitForm());

        // The wait form was up and painted while the office opened the data
        // file (no count yet) and while the rows went by, the main window
        // hidden until the completion message; the spreadsheet is closed
        // after that message, with the main window back.
        for (const char* progress : {"", "0 / 3", "1 / 3", "2 / 3", "3 / 3"})
            QVERIFY2(duringRun.contains(QStringLiteral("main hidden, wait form up, ") + progress),
                     qPrintable(QStringList(duringRun.values()).join(u'|')));
        for (const QString& seen : duringRun)
            QVERIFY2(seen.startsWith(QStringLiteral("main hidden")) ||
                         seen == QStringLiteral("main visible, no wait form, "),
                     qPrintable(seen));

        QCOMPARE(filesBelow(paths::outputDir()),
                 (QStringList{".morvanta-run", "A001（副本）.doc", "A001（正本）.doc",
                              "A002（副本）.doc", "A002（正本）.doc", "A003（副本）.doc",
                              "A003（正本）.doc"}));
        QVERIFY(isOleFile(paths::outputDir() + QStringLiteral("A003（副本）.doc")));
        QVERIFY(!QFile::exists(paths::dataFile()));
        QCOMPARE(window->zhengshuhao, QStringLiteral("A003"));
        QCOMPARE(window->danweimingcheng, QStringLiteral("青山市A003号康复中心"));

        // The data file is consumed: the next press asks for a new download.
        pressPrint();
        QCOMPARE(answerer->texts().last(), QStringLiteral("未找到下载文件"));
        QCOMPARE(answerer->seen.last().situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
    }

    void noDataRows()
    {
        makeDataFile(QList<QStringList>{{}, dataRow(QStringLiteral("B001"))});
        pressPrint();
        QCOMPARE(answerer->texts(),
                 QStringList{QStringLiteral("没有下载数据可打印，请重新下载数据！")});
        QCOMPARE(answerer->seen.first().situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(window->isVisible());
        QVERIFY(QFile::exists(paths::dataFile()));
        QVERIFY(QDir(paths::outputDir()).isEmpty());
    }

    void unreadableDataFileEndsProgram()
    {
        writeBytes(paths::dataFile(), "this is no spreadsheet\n");
        const QString text = runUntilEnd("print");
        QCOMPARE(exitCode, 1);
        QCOMPARE(answerer->seen.size(), 1);
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

    // An executable file where the margin program belongs, for one test.
    struct MarginProgram
    {
        MarginProgram()
        {
            QFile file(paths::marginProgram());
            file.open(QIODevice::WriteOnly);
            file.write("#!/bin/sh\nexit 0\n");
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        }
        ~MarginProgram() { QFile::remove(paths::marginProgram()); }
    };

    QString situation() const
    {
        return QStringLiteral("%1, %2").arg(window->isVisible() ? "main visible" : "main hidden",
                                            window->waitForm() && window->waitForm()->isVisible()
                                                ? "wait form up"
                                                : "no wait form");
    }

    // Shows the window, presses the button inside the event loop as the
    // operator would and returns the last message once the program has ended.
    QString runUntilEnd(const char* button)
    {
        answerer->seen.clear();
        QTimer::singleShot(0, window.get(), [this, button] {
            QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(60000);
        exitCode = QApplication::exec();
        return answerer->seen.isEmpty() ? QString() : answerer->seen.last().text;
    }

    FakeLauncher launcher;
    std::unique_ptr<form1> window;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    int exitCode = -1;
};

MORVANTA_WIDGET_TEST_MAIN(Form1Test, prepareGeneratorApplication)
#include "form1_test.moc"
