// The wait windows of both programs on a real X server with a window
// manager show their blue text while the office works, and are painted again
// when unmapped and mapped meanwhile. The office is held (SIGSTOP) before the
// program calls it, so the program waits on an office call as on a slow
// office, for as long as the checks take however loaded the machine.

#include "certificates.h"
#include "fakelauncher.h"
#include "messageboxes.h"
#include "testmain.h"

#include "generator/application.h"
#include "generator/form1.h"
#include "generator/frmabout.h"
#include "margins/form2.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <thread>

#include <signal.h>
#include <unistd.h>

using namespace testfiles;
using namespace std::chrono_literals;

namespace {

// The program's output, or nothing when it fails.
std::optional<QByteArray> output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// This program's office processes, whichever thread started them.
std::set<pid_t> officeProcesses()
{
    std::set<pid_t> found;
    const QByteArray list =
        output(QStringLiteral("pgrep"), {"-x", "-P", QString::number(::getpid()), "soffice.bin"})
            .value_or(QByteArray());
    for (const QByteArray& pid : list.split('\n'))
        if (!pid.isEmpty())
            found.insert(pid.toInt());
    return found;
}

// Label-blue pixels in what the window shows (none while it is unmapped).
int bluePixels(WId window)
{
    const QImage shot = QImage::fromData(
        output(QStringLiteral("import"),
               {QStringLiteral("-window"), QString::number(window), QStringLiteral("png:-")})
            .value_or(QByteArray()));
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            count += qBlue(p) > 200 && qRed(p) < 110 && qGreen(p) < 110;
        }
    return count;
}

// Holds the office from its construction. Once the user-interface thread,
// which runs timers while it waits for the office, finds the wait window,
// checks that the window is drawn, unmaps and maps it, checks that it is
// drawn again, and lets the office go on.
class HeldOffice
{
public:
    explicit HeldOffice(std::function<QWidget*()> findWindow)
    {
        QObject::connect(&spotter_, &QTimer::timeout, [this, find = std::move(findWindow)] {
            if (QWidget* window = find(); window && window->isVisible() && !window_)
                window_ = window->winId();
        });
        spotter_.start(10);
        checker_ = std::thread([this] {
            sweep();
            held_.set_value();
            check();
            for (pid_t pid : stopped_)
                ::kill(pid, SIGCONT);
        });
        held_.get_future().wait();
    }
    ~HeldOffice()
    {
        if (checker_.joinable())
            checker_.join();
    }

    // What was seen, once the checks are done.
    QString result()
    {
        checker_.join();
        return seen_;
    }

private:
    // Also holds office processes started meanwhile.
    void sweep()
    {
        for (pid_t pid : officeProcesses())
            if (stopped_.insert(pid).second)
                ::kill(pid, SIGSTOP);
    }
    bool within(std::chrono::seconds limit, const std::function<bool()>& done)
    {
        for (const auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms)) {
            sweep();
            if (done())
                return true;
        }
        return false;
    }
    void check()
    {
        if (!within(60s, [this] { return window_ != 0; })) {
            seen_ = QStringLiteral("no wait window");
            return;
        }
        const WId window = window_;
        const QString id = QString::number(window);
        auto drawn = [window] { return bluePixels(window) >= 40; }; // a line of text has hundreds
        if (!within(30s, drawn))
            seen_ = QStringLiteral("never drawn");
        else if (!output(QStringLiteral("xdotool"), {"windowunmap", "--sync", id}) ||
                 !output(QStringLiteral("xdotool"), {"windowmap", "--sync", id}))
            seen_ = QStringLiteral("xdotool failed");
        else
            seen_ = within(30s, drawn) ? QStringLiteral("drawn, redrawn")
                                       : QStringLiteral("not redrawn");
    }

    QTimer spotter_;
    std::promise<void> held_;
    std::atomic<WId> window_{0};
    std::set<pid_t> stopped_;
    QString seen_;
    std::thread checker_;
};

QWidget* visibleTopLevel(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible())
            return widget;
    return nullptr;
}

} // namespace

class WindowsDrawnTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("needs an X server (run through under-x.sh)");
        makeTemplates(); // starts the office
        QVERIFY(!officeProcesses().empty());
    }

    // From the press of the generate button the wait form is up and drawn
    // before the office is first called.
    void generatorWaitForm()
    {
        makeDataFile(QList<QStringList>{dataRow(QStringLiteral("W001"))});
        FakeLauncher launcher;
        form1 window(office::defaultEngine(), launcher);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MessageBoxAnswerer answerer;
        HeldOffice office([&] { return window.waitForm(); });
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("print")), Qt::LeftButton);
        QCOMPARE(office.result(), QStringLiteral("drawn, redrawn"));
        QCOMPARE(answerer.texts().size(), 1); // the completion message
    }

    // Tolberin's reading window at start-up, and its saving window after OK.
    void marginWaitWindows()
    {
        MessageBoxAnswerer answerer;
        margins::form2 window;
        {
            HeldOffice office([] { return visibleTopLevel(QStringLiteral("frmAbout2")); });
            window.Form_Load();
            QCOMPARE(office.result(), QStringLiteral("drawn, redrawn"));
        }
        QVERIFY(!window.findChild<QLineEdit*>(QStringLiteral("Text1"))->text().isEmpty());
        window.show();
        HeldOffice office([] { return visibleTopLevel(QStringLiteral("frmAbout3")); });
        window.ok_Click();
        QCOMPARE(office.result(), QStringLiteral("drawn, redrawn"));
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("参数保存成功！")});
    }
};

namespace {

void prepare(QApplication& app)
{
    prepareGeneratorApplication(app);
    office::EngineOptions options; // the office is held for as long as the checks take
    options.callDeadline = std::chrono::seconds(180);
    office::setDefaultEngineOptions(options);
}

} // namespace

MORVANTA_WIDGET_TEST_MAIN(WindowsDrawnTest, prepare)
#include "tst_windowsdrawn.moc"
