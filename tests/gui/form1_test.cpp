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

const QStringList songSubstitutes{QStringLiteral("Noto Serif CJK SC"),
                                  QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun")};

} // namespace

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

    void windowFrame()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Morvanta"));
        QCOMPARE(window->size(), QSize(524, 372));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
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

    // Every label and button: inside the window and clear of the others, in
    // 宋体 or a CJK face standing in for it that has every glyph, the text
    // fitting the control as laid out.
    void controls()
    {
        const QList<QWidget*> controls = window->findChildren<QWidget*>(
            QRegularExpression(QStringLiteral("^(Label\\d+|setup|print|close|open)$")));
        QCOMPARE(controls.size(), 8);
        for (QWidget* control : controls) {
            const QString name = control->objectName();
            QVERIFY2(window->rect().contains(control->geometry()), qPrintable(name));
            for (QWidget* other : controls)
                QVERIFY2(other == control || !other->geometry().intersects(control->geometry()),
                         qPrintable(name + u' ' + other->objectName()));
            const auto* label = qobject_cast<QLabel*>(control);
            const QString text =
                label ? label->text() : qobject_cast<QPushButton*>(control)->text();
            const QFont font = control->font();
            QCOMPARE(font.family(), QStringLiteral("宋体"));
            QVERIFY2(songSubstitutes.contains(QFontInfo(font).family()),
                     qPrintable(QFontInfo(font).family()));
            const QFontMetrics metrics(font);
            for (const QChar c : text)
                QVERIFY2(metrics.inFontUcs4(c.unicode()), qPrintable(name + u' ' + c));
            QVERIFY2(metrics.horizontalAdvance(text) <= control->width(), qPrintable(name));
            QVERIFY(font.letterSpacing() > -0.5); // closer, but not squeezed
            QCOMPARE(control->toolTip().isEmpty(), bool(label));
        }
        // The title stands out; the links look like links.
        auto* title = window->findChild<QLabel*>("Label11");
        QCOMPARE(title->font().pointSizeF(), 21.75);
        QVERIFY(title->font().bold());
        for (const char* link : {"Label2", "Label3"}) {
            auto* label = window->findChild<QLabel*>(link);
            QVERIFY(label->font().underline());
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        }
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
        QVERIFY(!wait->isModal());
        const QRect screen = wait->screen()->availableGeometry();
        QVERIFY(qAbs(wait->frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(wait->frameGeometry().center().y() - screen.center().y()) <= 1);

        QCOMPARE(wait->findChild<QLabel*>("picIcon")->pixmap().size(), QSize(32, 32));
        auto* text = wait->findChild<QLabel*>("lblDescription");
        QCOMPARE(text->text(), QStringLiteral("打印文档生成中，请稍候"));
        QVERIFY(QFontMetrics(text->font()).horizontalAdvance(text->text()) <= text->width());

        // The progress bar sits below the text, inside the form.
        auto* bar = wait->findChild<QProgressBar*>();
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

    // Each press hands its target to the desktop again; the copyright line is no link.
    void desktopHooks()
    {
        MarginProgram program;
        for (const char* control : {"open", "open", "setup", "Label2", "Label3", "Label1"})
            QTest::mouseClick(window->findChild<QWidget*>(control), Qt::LeftButton);
        const QString folder = QDir::homePath() + QStringLiteral("/Morvanta/正副本");
        QCOMPARE(launcher.started,
                 (QList<QPair<QString, QStringList>>{{QStringLiteral("xdg-open"), {folder}},
                                                     {QStringLiteral("xdg-open"), {folder}},
                                                     {paths::marginProgram(), {}}}));
        QCOMPARE(launcher.opened,
                 (QList<QUrl>{QUrl(QStringLiteral("http://morvanta.example")),
                              QUrl(QStringLiteral("mailto:info@morvanta.example"))}));
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
        QCOMPARE(done.title, QStringLiteral("Morvanta"));
        QCOMPARE(done.icon, QMessageBox::NoIcon);
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
                 (QStringList{"A001（副本）.doc", "A001（正本）.doc", "A002（副本）.doc",
                              "A002（正本）.doc", "A003（副本）.doc", "A003（正本）.doc"}));
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
