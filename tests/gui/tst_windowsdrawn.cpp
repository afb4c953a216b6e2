// The wait windows of both programs on a real X server with a window
// manager: while the office works they are on the screen with their blue
// text, and they are painted again when the window system asks for it.
// The office is held for as long as the checks take by stopping its
// processes (SIGSTOP) before the program calls it, so the program waits on
// an office call exactly as on a slow office, however loaded the machine.

#include "certificates.h"
#include "fakelauncher.h"
#include "messageboxes.h"
#include "testmain.h"

#include "generator/application.h"
#include "generator/form1.h"
#include "generator/frmabout.h"
#include "margins/form2.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include <signal.h>
#include <unistd.h>

using namespace testfiles;
using namespace std::chrono_literals;

namespace {

QString run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return program + QStringLiteral(" did not end");
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + u' ' + arguments.join(u' ') + QStringLiteral(" failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

// This program's office processes, whichever thread started them.
std::set<pid_t> officeProcesses()
{
    std::set<pid_t> found;
    const QString self = QString::number(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QString line = QString::fromLocal8Bit(stat.readAll());
        const qsizetype close = line.lastIndexOf(u')');
        const QStringList rest = line.mid(close + 2).split(u' ');
        if (line.contains(QStringLiteral("(soffice.bin)")) && rest.size() > 1 && rest[1] == self)
            found.insert(entry.toInt());
    }
    return found;
}

// Holds every office process of this program stopped, also those started
// while it holds, until release() or its end.
class OfficeHold
{
public:
    void sweep()
    {
        for (pid_t pid : officeProcesses())
            if (stopped_.insert(pid).second)
                ::kill(pid, SIGSTOP);
    }
    void release()
    {
        for (pid_t pid : stopped_)
            ::kill(pid, SIGCONT);
        stopped_.clear();
    }
    ~OfficeHold() { release(); }

private:
    std::set<pid_t> stopped_;
};

// Pixels of the label blue (0, 0, 255) inside the window's rectangle on
// the screen; antialiased edges do not count.
int bluePixelsOnScreen(WId window, QString* failure)
{
    QByteArray info;
    if (QString f = run(QStringLiteral("xwininfo"),
                        {QStringLiteral("-id"), QString::number(window)}, &info);
        !f.isEmpty()) {
        *failure = f;
        return -1;
    }
    auto field = [&](const char* name) {
        const QRegularExpression re(QString::fromLatin1(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return re.match(QString::fromLocal8Bit(info)).captured(1).toInt();
    };
    const QRect rect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                     field("Height"));
    if (!QString::fromLocal8Bit(info).contains(QStringLiteral("IsViewable")))
        return 0;
    QByteArray png;
    if (QString f =
            run(QStringLiteral("import"),
                {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}, &png);
        !f.isEmpty()) {
        *failure = f;
        return -1;
    }
    const QImage screen = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
    int count = 0;
    const QRect inside = rect.intersected(screen.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb p = screen.pixel(x, y);
            count += qBlue(p) > 200 && qRed(p) < 110 && qGreen(p) < 110;
        }
    return count;
}

constexpr int kTextPixels = 40; // a line of blue text has several hundred

// What the checker saw of one wait window while the office was held.
struct Sighting
{
    QString failure;
    qint64 drawnAfterMs = -1; // from the start of the hold
    bool redrawn = false;     // painted again after being unmapped and mapped
};

// Holds the office, and once the user-interface thread names the window
// (`shown`), checks on the screen that it is drawn, unmaps and maps it and
// checks that it is drawn again; then lets the office go on.
class WindowChecker
{
public:
    WindowChecker()
    {
        thread_ = std::thread([this] { check(); });
        held_.get_future().wait();
    }
    ~WindowChecker()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::atomic<WId> shown{0};

    Sighting result()
    {
        thread_.join();
        return sighting_;
    }

private:
    // Polls `done` (keeping new office processes held) until it holds or
    // the limit passes.
    bool until(const std::function<bool()>& done, std::chrono::seconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            hold_.sweep();
            if (done())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    bool drawn(WId window) { return bluePixelsOnScreen(window, &sighting_.failure) >= kTextPixels; }

    void check()
    {
        QElapsedTimer clock;
        clock.start();
        hold_.sweep();
        held_.set_value();
        if (!until([this] { return shown.load() != 0; }, 60s)) {
            sighting_.failure = QStringLiteral("the wait window never showed");
            hold_.release();
            return;
        }
        const WId window = shown.load();
        if (until([&] { return drawn(window) || !sighting_.failure.isEmpty(); }, 30s) &&
            sighting_.failure.isEmpty())
            sighting_.drawnAfterMs = clock.elapsed();
        const QString id = QString::number(window);
        if (sighting_.drawnAfterMs >= 0) {
            if (QString f = run(QStringLiteral("xdotool"),
                                {QStringLiteral("windowunmap"), QStringLiteral("--sync"), id});
                !f.isEmpty())
                sighting_.failure = f;
            else if (QString g = run(QStringLiteral("xdotool"),
                                     {QStringLiteral("windowmap"), QStringLiteral("--sync"), id});
                     !g.isEmpty())
                sighting_.failure = g;
            else
                sighting_.redrawn =
                    until([&] { return drawn(window) || !sighting_.failure.isEmpty(); }, 30s) &&
                    sighting_.failure.isEmpty();
        }
        hold_.release();
    }

    OfficeHold hold_;
    std::promise<void> held_;
    Sighting sighting_;
    std::thread thread_;
};

// Hands the checker the visible top-level window `find` returns, from the
// user-interface thread, which runs timers while it waits for the office.
class WindowSpotter
{
public:
    WindowSpotter(WindowChecker& checker, std::function<QWidget*()> find)
    {
        QObject::connect(&timer_, &QTimer::timeout, [&checker, find = std::move(find)] {
            QWidget* window = find();
            if (window && window->isVisible() && checker.shown.load() == 0)
                checker.shown = window->winId();
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
};

QWidget* visibleTopLevel(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible())
            return widget;
    return nullptr;
}

void verifySighting(const Sighting& seen, const char* what)
{
    QVERIFY2(seen.failure.isEmpty(), qPrintable(seen.failure));
    QVERIFY2(seen.drawnAfterMs >= 0, what);
    QVERIFY2(seen.redrawn, what);
    qInfo("%s: drawn %lld ms after the office was held", what,
          static_cast<long long>(seen.drawnAfterMs));
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

    // From the press of the generate button: the wait form is up and drawn
    // before the office is first called, and stays drawn while it works.
    void generatorWaitForm()
    {
        makeDataFile(QList<QStringList>{dataRow(QStringLiteral("W001"))});
        FakeLauncher launcher;
        form1 window(office::defaultEngine(), launcher);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MessageBoxAnswerer answerer;

        WindowChecker checker;
        WindowSpotter spotter(checker, [&] { return window.waitForm(); });
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("print")), Qt::LeftButton);
        verifySighting(checker.result(), "the generator's wait form");
        QCOMPARE(answerer.texts().size(), 1); // the completion message
        QVERIFY(QFile::exists(paths::outputDir() + QStringLiteral("W001（正本）.doc")));
    }

    // Tolberin's reading window at start-up and its saving window after OK.
    void marginWaitWindows()
    {
        MessageBoxAnswerer answerer;
        margins::form2 window;
        {
            WindowChecker checker;
            WindowSpotter spotter(checker, [] { return visibleTopLevel("frmAbout2"); });
            window.Form_Load();
            verifySighting(checker.result(), "the reading window");
        }
        QVERIFY(!window.findChild<QLineEdit*>(QStringLiteral("Text1"))->text().isEmpty());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        {
            WindowChecker checker;
            WindowSpotter spotter(checker, [] { return visibleTopLevel("frmAbout3"); });
            window.ok_Click();
            verifySighting(checker.result(), "the saving window");
        }
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("参数保存成功！")});
    }
};

namespace {

void prepare(QApplication& app)
{
    prepareGeneratorApplication(app);
    // The office is held on purpose for as long as the checks take.
    office::EngineOptions options;
    options.callDeadline = std::chrono::seconds(180);
    office::setDefaultEngineOptions(options);
}

} // namespace

MORVANTA_WIDGET_TEST_MAIN(WindowsDrawnTest, prepare)
#include "tst_windowsdrawn.moc"
