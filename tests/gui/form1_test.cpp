// The main window and the wait form: layout, focus, the desktop hooks, the
// end of the program, and whole runs of the generate button against the real
// office: what the operator sees (messages, hidden and shown windows, the wait
// form advancing) and what the run leaves behind.

#include "certificates.h"
#include "fakelauncher.h"
#include "messageboxes.h"
#include "testmain.h"

#include "generator/application.h"
#include "generator/contact.h"
#include "generator/form1.h"
#include "generator/frmabout.h"
#include "generator/unhandledfailure.h"

#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QWindow>

#include <stdexcept>

using namespace testfiles;

namespace {

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const QStringList songSubstitutes{QStringLiteral("Noto Serif CJK SC"),
                                  QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun")};

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

class Form1Test : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        makeMorvantaFolders();
        makeTemplates();
    }

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

    void windowFrame()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Morvanta"));
        QCOMPARE(window->size(), QSize(524, 372));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::Window));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!window->windowIcon().isNull());

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(qAbs(window->frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(window->frameGeometry().center().y() - screen.center().y()) <= 1);
        // Hidden and shown again by a run, it stays where it is.
        window->move(window->pos() + QPoint(30, 20));
        const QPoint moved = window->pos();
        window->hide();
        window->show();
        QCOMPARE(window->pos(), moved);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<bool>("blue");
        QTest::addColumn<QString>("tooltip");

        QTest::newRow("Label11") << "Label11" << twips(360, 480, 7335, 615)
                                 << "事业单位登记管理机关Morvanta程序" << 21.75 << true << false
                                 << true << "";
        QTest::newRow("setup") << "setup" << twips(1080, 1920, 2295, 855) << "设 置 页 边 距"
                               << 12.0 << false << false << false
                               << "点击该按钮对Morvanta文档进行Tolberin";
        QTest::newRow("print") << "print" << twips(4320, 1920, 2175, 855) << "生成Morvanta文件"
                               << 12.0 << false << false << false << "点击该按钮生成Morvanta正副本";
        QTest::newRow("close") << "close" << twips(3120, 3480, 1455, 495) << "退  出" << 9.0
                               << false << false << false << "点击该按钮退出Morvanta程序";
        QTest::newRow("Label1") << "Label1" << twips(2520, 4320, 3015, 255)
                                << contact::copyrightLine() << 9.0 << false << false << false << "";
        QTest::newRow("open") << "open" << twips(6720, 2280, 975, 495) << "打开目录" << 9.0 << false
                              << false << false << "点击该按钮进入Morvanta正副本文档目录";
        QTest::newRow("Label2") << "Label2" << twips(3000, 4680, 1815, 255) << contact::webAddress()
                                << 9.0 << false << true << true << "";
        QTest::newRow("Label3") << "Label3" << twips(2760, 5040, 2175, 255)
                                << contact::mailAddress() << 9.0 << false << true << true << "";
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(QString, caption);
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        QFETCH(bool, underline);
        QFETCH(bool, blue);
        QFETCH(QString, tooltip);

        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), place);
        const QString text = qobject_cast<QLabel*>(control)
                                 ? qobject_cast<QLabel*>(control)->text()
                                 : qobject_cast<QPushButton*>(control)->text();
        QCOMPARE(text, caption);
        QCOMPARE(control->toolTip(), tooltip);

        const QFont font = control->font();
        QCOMPARE(font.family(), QStringLiteral("宋体"));
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.bold(), bold);
        QCOMPARE(font.underline(), underline);
        const QColor textColour = control->palette().color(QPalette::WindowText);
        QCOMPARE(textColour == QColor(0, 0, 255), blue);

        // 宋体 is not installed here: a CJK Song/Hei face stands in, it has
        // every glyph, and the text fits the control as laid out.
        QVERIFY2(songSubstitutes.contains(QFontInfo(font).family()),
                 qPrintable(QFontInfo(font).family()));
        const QFontMetrics metrics(font);
        for (const QChar c : text)
            QVERIFY2(metrics.inFontUcs4(c.unicode()), qPrintable(QString(c)));
        QVERIFY2(metrics.horizontalAdvance(text) <= place.width(),
                 qPrintable(QStringLiteral("%1 px").arg(metrics.horizontalAdvance(text))));
        QVERIFY(font.letterSpacing() > -0.5); // closer, but not squeezed
    }

    void focusOrder()
    {
        for (auto* label : window->findChildren<QLabel*>())
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        for (auto* button : window->findChildren<QPushButton*>()) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }

        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget*>("setup"));
        for (const char* next : {"print", "close", "open", "setup"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("open"));
    }

    void waitForm()
    {
        window->showWaitForm();
        frmAbout* wait = window->waitForm();
        QVERIFY(wait);
        QVERIFY(wait->isVisible());
        QCOMPARE(wait->parentWidget(), window.get()); // owned: no taskbar entry of its own
        QCOMPARE(wait->windowTitle(), QStringLiteral("Morvanta"));
        QCOMPARE(wait->size(), QSize(298, 119));
        QCOMPARE(wait->minimumSize(), wait->maximumSize());
        QVERIFY(!wait->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!wait->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!wait->isModal());
        const QRect screen = wait->screen()->availableGeometry();
        QVERIFY(qAbs(wait->frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(wait->frameGeometry().center().y() - screen.center().y()) <= 1);

        auto* icon = wait->findChild<QLabel*>("picIcon");
        QVERIFY(icon);
        QCOMPARE(icon->geometry(), twips(240, 240, 540, 540));
        QCOMPARE(icon->pixmap().size(), QSize(32, 32));

        auto* text = wait->findChild<QLabel*>("lblDescription");
        QVERIFY(text);
        QCOMPARE(text->geometry(), twips(960, 480, 3525, 1170));
        QCOMPARE(text->text(), QStringLiteral("打印文档生成中，请稍候"));
        QCOMPARE(text->font().pointSizeF(), 14.25);
        QCOMPARE(text->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(QFontMetrics(text->font()).horizontalAdvance(text->text()) <= text->width());

        // The progress bar sits below the text, inside the form.
        auto* bar = wait->findChild<QProgressBar*>();
        QVERIFY(bar);
        QVERIFY(bar->geometry().top() >= 32 + QFontMetrics(text->font()).height());
        QVERIFY(QRect(QPoint(0, 0), wait->size()).contains(bar->geometry()));
        window->setProgress(3, 7);
        QCOMPARE(wait->progressText(), QStringLiteral("3 / 7"));

        // Showing it again keeps the same form; unloading destroys it.
        window->showWaitForm();
        QCOMPARE(window->waitForm(), wait);
        window->unloadWaitForm();
        QVERIFY(!window->waitForm());
        window->setProgress(1, 1); // no wait form loaded: nothing to advance
    }

    void openStartsFileManagerOnOutputFolderEachPress()
    {
        auto* open = window->findChild<QPushButton*>("open");
        QTest::mouseClick(open, Qt::LeftButton);
        QTest::mouseClick(open, Qt::LeftButton);
        const QString folder = QDir::homePath() + QStringLiteral("/Morvanta/正副本");
        const QPair<QString, QStringList> expected{QStringLiteral("xdg-open"), {folder}};
        QCOMPARE(launcher.started, (QList<QPair<QString, QStringList>>{expected, expected}));
        QVERIFY(launcher.opened.isEmpty());
    }

    void linksOpenWebAndMailAddresses()
    {
        QTest::mouseClick(window->findChild<QLabel*>("Label2"), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QLabel*>("Label3"), Qt::LeftButton);
        QCOMPARE(launcher.opened.size(), 2);
        QCOMPARE(launcher.opened[0], QUrl(QStringLiteral("http://morvanta.example")));
        QCOMPARE(launcher.opened[1].toString(), QStringLiteral("mailto:info@morvanta.example"));
        QCOMPARE(launcher.opened[1].toString(),
                 QStringLiteral("mailto:") + window->findChild<QLabel*>("Label3")->text());
        QVERIFY(launcher.started.isEmpty());
        // The copyright line is no link.
        QTest::mouseClick(window->findChild<QLabel*>("Label1"), Qt::LeftButton);
        QCOMPARE(launcher.opened.size(), 2);
    }

    void setupStartsMarginProgramEachPress()
    {
        MarginProgram program;
        auto* setup = window->findChild<QPushButton*>("setup");
        QTest::mouseClick(setup, Qt::LeftButton);
        QTest::mouseClick(setup, Qt::LeftButton);
        const QPair<QString, QStringList> expected{paths::marginProgram(), {}};
        QCOMPARE(launcher.started, (QList<QPair<QString, QStringList>>{expected, expected}));
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
        QVERIFY2(text.startsWith(QStringLiteral("53:")) && text.contains(paths::marginProgram()),
                 qPrintable(text));
    }

    // Not only office failures: anything escaping a handler ends the program
    // the same way, and nothing after the failing statement runs.
    void otherFailureEndsProgram()
    {
        bool ranOn = false;
        QTimer::singleShot(0, [&ranOn] {
            runHandler([&ranOn] {
                throw std::runtime_error("boom");
                ranOn = true;
            });
        });
        QCOMPARE(QApplication::exec(), unhandledFailureExitCode);
        QCOMPARE(answerer->texts(), QStringList{QStringLiteral("-2147467259:程序内部错误：boom")});
        QVERIFY(!ranOn);
    }

    void closeButtonAndCloseBoxEndProgram()
    {
        runUntilEnd("close");
        QCOMPARE(exitCode, 0);
        QVERIFY(answerer->seen.isEmpty());
        QVERIFY(!window->isVisible());

        window->show();
        QTimer::singleShot(0, window.get(), [this] { window->windowHandle()->close(); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window->isVisible());
    }

    void completeRun()
    {
        makeDataFile(QList<QStringList>{dataRow(QStringLiteral("A001")),
                                        dataRow(QStringLiteral("A002")),
                                        dataRow(QStringLiteral("A003")),
                                        {},
                                        dataRow(QStringLiteral("X999"))});

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
            QVERIFY(isOleFile(document(QString::fromLatin1(number), "正本")));
            QVERIFY(isOleFile(document(QString::fromLatin1(number), "副本")));
        }
        QCOMPARE(QDir(paths::outputDir()).entryList(QDir::Files).size(), 6);
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

    void fillFailureShownOverWaitForm()
    {
        const QString duplicate = paths::templateFile(paths::TemplateKind::Duplicate);
        QVERIFY(QFile::rename(duplicate, duplicate + QStringLiteral(".away")));
        makeDataFile(QList<QStringList>{dataRow(QStringLiteral("C001"))});
        pressPrint();
        QFile::rename(duplicate + QStringLiteral(".away"), duplicate);

        QCOMPARE(answerer->texts(),
                 (QStringList{QStringLiteral("未找到该文件"), completionMessage()}));
        QCOMPARE(answerer->seen[0].situation, QStringLiteral("main hidden, wait form up"));
        QCOMPARE(answerer->seen[1].situation, QStringLiteral("main hidden, no wait form"));
        QVERIFY(isOleFile(document(QStringLiteral("C001"), "正本")));
        QVERIFY(!QFile::exists(document(QStringLiteral("C001"), "副本")));
        QVERIFY(!QFile::exists(paths::dataFile()));
        QVERIFY(window->isVisible());
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
