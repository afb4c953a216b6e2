// The print window on a real X server with a window manager (under-x.sh)
// against a private CUPS scheduler whose queues write PDF files: a 20-row
// run printed through the window, documents held back by the check, and a
// cancel in the middle. Screenshots taken while it works go to
// <build>/screenshots/printwindow-*.png.

#include "privatecups.h"
#include "testpdf.h"

#include "printing/printchoices.h"
#include "printing/printwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace printing;
using paths::TemplateKind;

using testpdf::certificate;

namespace {

const QString shots = QStringLiteral(MORVANTA_BUILD_DIR "/screenshots/");

// What the screen shows in `area` (a window with its frame, and whatever
// lies over it), read back from the X server rather than from Qt's own
// rendering and saved under `name`; the number of blue-text pixels in it.
// On the window's thread.
int screenshot(const QRect& area, const QString& name)
{
    QDir().mkpath(shots);
    const QString file = shots + name + QStringLiteral(".png");
    QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(file);
    const QImage shot(file);
    int blue = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            blue += qBlue(p) > 200 && qRed(p) < 110 && qGreen(p) < 110;
        }
    return blue;
}

// Answers the message boxes: the question about held-back documents with
// `printHeldBack`, every other box with OK; keeps their texts.
class Answerer
{
public:
    bool printHeldBack = false;
    QString heldBackShot; // screenshot name for the question, if any
    QString finalShot;    // screenshot name for the closing message, if any
    QStringList questions;
    QStringList messages;

    Answerer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(50);
    }

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        // Mapped, framed and painted before anything is taken of the screen.
        if (!QTest::qWaitForWindowExposed(box))
            qWarning("a message box was not exposed");
        QTest::qWait(500);
        if (box->objectName() == u"heldBack") {
            questions << box->text();
            if (!heldBackShot.isEmpty())
                screenshot(box->parentWidget()->frameGeometry(), heldBackShot);
            box->button(printHeldBack ? QMessageBox::Ok : QMessageBox::Cancel)->click();
            return;
        }
        messages << box->text();
        if (!finalShot.isEmpty()) // the window with the message over it
            screenshot(box->parentWidget()->frameGeometry(), finalShot);
        box->button(QMessageBox::Ok)->click();
    }
    QTimer timer_;
};

} // namespace

class PrintWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateCups> cups_;
    testpdf::DocumentRenderer exporter_;
    QString out_;

    void writeRow(int row, int originalPages = 1) { testpdf::writeRow(out_, row, originalPages); }

    // The certificate numbers on the pages the queue's last job printed.
    QStringList printed(const QString& queue)
    {
        QStringList numbers;
        for (const testpdf::ReadPage& page : testpdf::readPdf(cups_->output(queue)))
            numbers << page.words.value(0).text;
        return numbers;
    }

    static QStringList rows(int from, int to)
    {
        QStringList list;
        for (int row = from; row <= to; ++row)
            list << certificate(row);
        return list;
    }

    std::unique_ptr<PrintWindow> openWindow()
    {
        auto window = std::make_unique<PrintWindow>(exporter_);
        window->load();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the print window was not exposed");
        QTest::qWait(300);
        return window;
    }

    // Presses 打印 and waits for the closing message to be answered.
    Outcome print(PrintWindow& window)
    {
        QSignalSpy finished(&window, &PrintWindow::runFinished);
        window.findChild<QPushButton*>(QStringLiteral("print"))->click();
        if (!finished.wait(120000))
            return Outcome::Failed;
        return finished.first().first().value<Outcome>();
    }

private slots:
    void initTestCase()
    {
        cups_ = std::make_unique<PrivateCups>(
            QStringLiteral(MORVANTA_BUILD_DIR "/pw%1").arg(getpid()),
            QStringList{QStringLiteral("orig"), QStringLiteral("dup")});
        QVERIFY(cups_->running());
        out_ = paths::outputDir();
        QVERIFY(QDir().mkpath(out_));
        testpdf::writeRun(out_, 20);
        // An earlier run's documents, listed below the latest run.
        testpdf::writeDocument(
            out_ + documentFileName(QStringLiteral("OLD-0001"), TemplateKind::Original),
            QStringLiteral("A3L"), QStringLiteral("OLD-0001"));
        keepChoice(TemplateKind::Original, {QStringLiteral("orig"), QStringLiteral("bottom"), 1});
        keepChoice(TemplateKind::Duplicate, {QStringLiteral("dup"), QStringLiteral("manual"), 1});
    }

    void cleanupTestCase() { cups_.reset(); }

    void printsTheLatestRunAsTwoJobsWhileDrawn()
    {
        auto window = openWindow();
        QCOMPARE(window->certificates().tickedCount(), 40);
        QCOMPARE(window->certificates().lines().last().certificate, QStringLiteral("OLD-0001"));
        QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("originalTray"))->currentData(),
                 QVariant(QStringLiteral("bottom")));
        QVERIFY(screenshot(window->frameGeometry(), QStringLiteral("printwindow-list")) > 100);

        // While it works: the progress bar moves and the window is drawn.
        QList<int> progress;
        QList<int> bluePixels;
        exporter_.afterExport = [&](int exports) {
            if (exports % 10 != 0)
                return;
            QProgressBar* bar = window->findChild<QProgressBar*>(QStringLiteral("progress"));
            QMetaObject::invokeMethod(
                window.get(),
                [&] {
                    progress << bar->value();
                    bluePixels << screenshot(
                        window->frameGeometry(),
                        QStringLiteral("printwindow-progress-%1").arg(exports));
                },
                Qt::BlockingQueuedConnection);
        };
        const QList<int> before = cups_->jobs();
        Answerer answerer;
        answerer.finalShot = QStringLiteral("printwindow-done");
        const Outcome outcome = print(*window);
        exporter_.afterExport = nullptr;
        QVERIFY2(outcome == Outcome::Completed, qPrintable(answerer.messages.join(u'\n')));
        QCOMPARE(printed(QStringLiteral("orig")), rows(1, 20));
        QCOMPARE(printed(QStringLiteral("dup")), rows(1, 20));
        const QList<int> jobs = cups_->jobs().mid(before.size());
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(cups_->jobAttribute(jobs[0], "media-source"), QStringLiteral("bottom"));
        QCOMPARE(cups_->jobAttribute(jobs[1], "media-source"), QStringLiteral("manual"));
        QVERIFY(answerer.messages.value(0).startsWith(QStringLiteral("打印完成。")));
        QVERIFY(answerer.messages.value(0).contains(QStringLiteral("已完成")));
        // The window had each report before the next export began.
        QCOMPARE(progress, (QList<int>{9, 19, 29, 39}));
        for (const int blue : bluePixels)
            QVERIFY(blue > 100);
        QCOMPARE(window->certificates().checkOf({certificate(7), TemplateKind::Duplicate}).text,
                 QStringLiteral("通过"));
    }

    void heldBackDocumentsWaitForTheOperator()
    {
        writeRow(5, 2);
        auto window = openWindow();
        Answerer answerer;
        answerer.heldBackShot = QStringLiteral("printwindow-heldback");
        QCOMPARE(print(*window), Outcome::HeldBack);
        QCOMPARE(answerer.questions.size(), 1);
        QVERIFY(answerer.questions[0].contains(QStringLiteral("证书“CERT-0005”（正本）：2 页")));
        QStringList without = rows(1, 20);
        without.removeAll(certificate(5));
        QCOMPARE(printed(QStringLiteral("orig")), without);
        QCOMPARE(printed(QStringLiteral("dup")), rows(1, 20));
        QVERIFY(!window->certificates().checkOf({certificate(5), TemplateKind::Original}).fits);
        QTest::qWait(500); // the closing message gone from the screen
        screenshot(window->frameGeometry(), QStringLiteral("printwindow-checked"));

        // Confirmed: printed in its place, both its pages.
        answerer.printHeldBack = true;
        QCOMPARE(print(*window), Outcome::Completed);
        QCOMPARE(answerer.questions.size(), 2);
        QStringList with = rows(1, 20);
        with.insert(5, certificate(5));
        QCOMPARE(printed(QStringLiteral("orig")), with);
        writeRow(5);
    }

    void reviewPdfOpensAndTemplatePrints()
    {
        auto window = openWindow();
        QTemporaryDir folder(QStringLiteral(MORVANTA_BUILD_DIR "/pwreview-XXXXXX"));
        const QString target = folder.filePath(QStringLiteral("审阅.pdf"));
        QList<QUrl> opened;
        window->setPdfTargetAsker([&] { return target; });
        window->setUrlOpener([&](const QUrl& url) { opened << url; });
        const QList<int> before = cups_->jobs();
        {
            Answerer answerer;
            QSignalSpy finished(window.get(), &PrintWindow::runFinished);
            window->findChild<QPushButton*>(QStringLiteral("pdf"))->click();
            QVERIFY(finished.wait(120000));
            QCOMPARE(finished.first().first().value<Outcome>(), Outcome::Completed);
        }
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(target)});
        QCOMPARE(testpdf::readPdf(target).size(), 40);
        QCOMPARE(cups_->jobs(), before);

        // The calibration print: the template itself to the originals' printer.
        QVERIFY(QDir().mkpath(paths::templatesDir()));
        testpdf::writeDocument(paths::templateFile(TemplateKind::Original), QStringLiteral("A3L"),
                               QStringLiteral("TEMPLATE"), 1, QStringLiteral("单位名称"));
        {
            Answerer answerer;
            QSignalSpy finished(window.get(), &PrintWindow::runFinished);
            window->template_Click(TemplateKind::Original);
            QVERIFY(finished.wait(120000));
            QCOMPARE(finished.first().first().value<Outcome>(), Outcome::Completed);
        }
        QCOMPARE(printed(QStringLiteral("orig")), QStringList{QStringLiteral("TEMPLATE")});
    }

    void cancelStopsBeforeTheNextDocumentAndCancelsTheJob()
    {
        // The originals' printer holds its jobs, so the first job is still
        // waiting when the operator cancels during the duplicates' export.
        QCOMPARE(QProcess::execute(QStringLiteral("cupsdisable"), {QStringLiteral("orig")}), 0);
        auto window = openWindow();
        exporter_.exports = 0;
        exporter_.afterExport = [&](int exports) {
            if (exports == 23)
                QMetaObject::invokeMethod(
                    window.get(),
                    [&] { window->findChild<QPushButton*>(QStringLiteral("cancel"))->click(); },
                    Qt::BlockingQueuedConnection);
        };
        const QList<int> before = cups_->jobs();
        Answerer answerer;
        const Outcome outcome = print(*window);
        exporter_.afterExport = nullptr;
        QCOMPARE(outcome, Outcome::Cancelled);
        QCOMPARE(exporter_.exports, 23);
        // The originals' job had its document; the duplicates' job was made
        // at their first export and was still waiting for the rest.
        const QList<int> jobs = cups_->jobs().mid(before.size());
        QCOMPARE(jobs.size(), 2);
        for (const int job : jobs)
            QCOMPARE(cups_->jobAttribute(job, "job-state"), QStringLiteral("canceled"));
        QVERIFY(answerer.messages.value(0).startsWith(QStringLiteral("已取消打印。")));
        QCOMPARE(QProcess::execute(QStringLiteral("cupsenable"), {QStringLiteral("orig")}), 0);
        QVERIFY(window->findChild<QPushButton*>(QStringLiteral("print"))->isEnabled());
    }
};

int main(int argc, char* argv[])
{
    // A HOME and a temporary folder of the test's own: the operator's folder
    // and settings are never touched.
    QTemporaryDir scratch(QStringLiteral(MORVANTA_BUILD_DIR "/printwindow-test-XXXXXX"));
    qputenv("HOME", QFile::encodeName(scratch.filePath(QStringLiteral("home"))));
    qputenv("TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("tmp"))));
    qunsetenv("XDG_CONFIG_HOME");
    QDir().mkpath(scratch.filePath(QStringLiteral("tmp")));
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("证书打印"));
    PrintWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_printwindow.moc"
