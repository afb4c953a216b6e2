// Printing through a private CUPS scheduler whose queues write PDF files:
// the console front end over a 20-row run, read back with poppler.

#include "privatecups.h"
#include "testpdf.h"

#include "common/staleleftovers.h"
#include "printing/cupsqueue.h"
#include "printing/endedcalls.h"
#include "printing/printconsole.h"
#include "printing/runlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <memory>

using namespace printing;
using paths::TemplateKind;

using testpdf::certificate;
using Run = testpdf::ConsoleRun;

class PrintingTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PrivateCups> cups_;
    testpdf::DocumentRenderer exporter_;
    QString out_;

    Run run(const QStringList& arguments)
    {
        Run result;
        const ConsoleOutput output{[&](const QString& line) { result.lines << line; },
                                   [&](const QString& line) { result.lines << line; }};
        result.status = runPrintConsole(QStringList{QStringLiteral("morvanta-print")} + arguments,
                                        exporter_, output);
        return result;
    }

    void writeRow(int row, int originalPages = 1, const QString& placeholder = {})
    {
        testpdf::writeRow(out_, row, originalPages, placeholder);
    }

    // The queue's output holds these certificates in this order, each where
    // the document's own page has it, on sheets of the document's size.
    void checkPrinted(const QString& queue, const QList<int>& rows, bool a3)
    {
        const QString reference = QDir::temp().filePath(QStringLiteral("reference.pdf"));
        const double w = a3 ? testpdf::a3Long : testpdf::a4Short,
                     h = a3 ? testpdf::a3Short : testpdf::a4Long;
        testpdf::writePdf(reference, {{w, h, QStringLiteral("CERT-0000")}});
        const testpdf::ReadPage page = testpdf::readPdf(reference).value(0);
        QFile::remove(reference);
        QCOMPARE(page.words.size(), 1);

        const QList<testpdf::ReadPage> sheets = testpdf::readPdf(cups_->output(queue));
        QCOMPARE(sheets.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(sheets[i].words.size(), 1);
            QCOMPARE(sheets[i].words[0].text, certificate(rows[i]));
            QVERIFY2(
                testpdf::samePlace(page, page.words[0], sheets[i], sheets[i].words[0]),
                qPrintable(QStringLiteral("%1 page %2 moved or scaled").arg(queue).arg(i + 1)));
        }
    }

    static QList<int> rows(int from, int to)
    {
        QList<int> list;
        for (int row = from; row <= to; ++row)
            list << row;
        return list;
    }

    void checkNothingLeft()
    {
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), {});
    }

    void startCups()
    {
        cups_ = std::make_unique<PrivateCups>(
            QStringLiteral(MORVANTA_BUILD_DIR "/pc%1").arg(getpid()),
            QStringList{QStringLiteral("orig"), QStringLiteral("dup")});
    }

private slots:
    void initTestCase()
    {
        startCups();
        QVERIFY(cups_->running());
        out_ = paths::outputDir();
        QVERIFY(QDir().mkpath(out_));
        testpdf::writeRun(out_, 20);
    }

    void cleanupTestCase() { cups_.reset(); }

    void listsQueuesTraysAndDefault()
    {
        const Run list = run({QStringLiteral("--list")});
        QCOMPARE(list.status, 0);
        QVERIFY(list.has(QStringLiteral("dup")));
        QVERIFY(list.has(QStringLiteral("纸盒 bottom")));
        QVERIFY(list.has(QStringLiteral("默认打印机：orig")));
    }

    void printsTheRunInRowOrderUnscaled()
    {
        const QList<int> before = cups_->jobs();
        const Run printed = run({QStringLiteral("--printer"), QStringLiteral("orig"),
                                 QStringLiteral("--tray"), QStringLiteral("bottom"),
                                 QStringLiteral("--duplicate-printer"), QStringLiteral("dup"),
                                 QStringLiteral("--duplicate-tray"), QStringLiteral("manual")});
        QVERIFY2(printed.status == 0, qPrintable(printed.lines.join(u'\n')));
        QVERIFY(printed.has(QStringLiteral("已发送 20/40")));
        QVERIFY(printed.has(QStringLiteral("已发送 40/40")));
        checkPrinted(QStringLiteral("orig"), rows(1, 20), true);
        checkPrinted(QStringLiteral("dup"), rows(1, 20), false);

        const QList<int> jobs = cups_->jobs().mid(before.size());
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(cups_->jobAttribute(jobs[0], "media-source"), QStringLiteral("bottom"));
        QCOMPARE(cups_->jobAttribute(jobs[1], "media-source"), QStringLiteral("manual"));
        QCOMPARE(cups_->jobAttribute(jobs[0], "media"), QStringLiteral("iso_a3_297x420mm"));
        QCOMPARE(cups_->jobAttribute(jobs[1], "media"), QStringLiteral("iso_a4_210x297mm"));
        for (const int job : jobs) {
            QCOMPARE(cups_->jobAttribute(job, "print-scaling"), QStringLiteral("none"));
            QCOMPARE(cups_->jobAttribute(job, "job-state"), QStringLiteral("completed"));
        }
        checkNothingLeft();
    }

    // The originals' job is listed by the scheduler from the first export on
    // and gets its pages once the last original is exported.
    void theJobIsMadeAtTheFirstExport()
    {
        const QList<int> before = cups_->jobs();
        QStringList madeEarly;
        exporter_.exports = 0;
        exporter_.afterExport = [&](int exports) {
            if (exports != 3)
                return;
            for (const int job : cups_->jobs()) {
                if (!before.contains(job))
                    madeEarly << cups_->jobAttribute(job, "job-printer-uri").section(u'/', -1) +
                                     u' ' + cups_->jobAttribute(job, "job-state");
            }
        };
        const Run printed = run({QStringLiteral("--printer"), QStringLiteral("orig"),
                                 QStringLiteral("--duplicate-printer"), QStringLiteral("dup")});
        exporter_.afterExport = nullptr;
        QVERIFY2(printed.status == 0, qPrintable(printed.lines.join(u'\n')));
        QCOMPARE(madeEarly, QStringList{QStringLiteral("orig pending-held")});
        checkPrinted(QStringLiteral("orig"), rows(1, 20), true);
        QCOMPARE(cups_->jobs().size(), before.size() + 2);
    }

    // A job somebody cancels in the queue while its documents are exported
    // stays cancelled; the other kind still prints.
    void aJobCancelledInTheQueueIsNotSentAgain()
    {
        const QList<int> before = cups_->jobs();
        exporter_.exports = 0;
        exporter_.afterExport = [&](int exports) {
            if (exports == 2)
                QCOMPARE(QProcess::execute(QStringLiteral("cancel"),
                                           {QStringLiteral("-a"), QStringLiteral("orig")}),
                         0);
        };
        const Run printed = run({QStringLiteral("--printer"), QStringLiteral("orig"),
                                 QStringLiteral("--duplicate-printer"), QStringLiteral("dup")});
        exporter_.afterExport = nullptr;
        QCOMPARE(printed.status, 2);
        QVERIFY2(printed.has(QStringLiteral("在送出证书之前已被取消")),
                 qPrintable(printed.lines.join(u'\n')));
        const QList<int> jobs = cups_->jobs().mid(before.size());
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(cups_->jobAttribute(jobs[0], "job-state"), QStringLiteral("canceled"));
        QCOMPARE(cups_->jobAttribute(jobs[1], "job-state"), QStringLiteral("completed"));
        checkPrinted(QStringLiteral("dup"), rows(1, 20), false);
        checkNothingLeft();
    }

    // The scheduler aborts a job whose document does not come within its
    // MultipleOperationTimeout (a very long run, an operator slow to answer):
    // the job is made again and printed.
    void aJobTheSchedulerGaveUpOnIsMadeAgain()
    {
        cups_.reset();
        const auto restore = qScopeGuard([this] {
            exporter_.afterExport = nullptr;
            startCups();
        });
        {
            PrivateCups impatient(QStringLiteral(MORVANTA_BUILD_DIR "/pt%1").arg(getpid()),
                                  {QStringLiteral("orig"), QStringLiteral("dup")},
                                  "MultipleOperationTimeout 1\n");
            QVERIFY(impatient.running());
            exporter_.exports = 0;
            bool aborted = false;
            exporter_.afterExport = [&](int exports) {
                if (exports != 2) // the originals' job is made after the first
                    return;
                QElapsedTimer waited;
                waited.start();
                while (!aborted && waited.elapsed() < 60000) {
                    QThread::msleep(200);
                    for (const int job : impatient.jobs())
                        aborted = aborted || impatient.jobAttribute(job, "job-state") ==
                                                 QStringLiteral("aborted");
                }
            };
            const Run printed = run({QStringLiteral("--printer"), QStringLiteral("orig"),
                                     QStringLiteral("--duplicate-printer"), QStringLiteral("dup")});
            exporter_.afterExport = nullptr;
            QVERIFY2(aborted, qPrintable(printed.lines.join(u'\n')));
            QVERIFY2(printed.status == 0, qPrintable(printed.lines.join(u'\n')));
            QCOMPARE(testpdf::readPdf(impatient.output(QStringLiteral("orig"))).size(), 20);
            QCOMPARE(impatient.jobs().size(), 3);
        }
    }

    // A call killed after making its job leaves the job waiting and its
    // folder: the next start cancels the waiting job only, then the folder goes.
    void aKilledCallsWaitingJobIsCancelledAtTheNextStart()
    {
        int printed = 0;
        int waiting = 0;
        {
            Cups cups;
            const QString pdf = QDir::temp().filePath(QStringLiteral("one.pdf"));
            testpdf::writePdf(pdf, {{testpdf::a4Short, testpdf::a4Long, QStringLiteral("X")}});
            printed = cups.submit(JobRequest{QStringLiteral("dup"), {}, 1, {595, 842}, pdf, {}});
            QFile::remove(pdf);
            waiting = cups.create(JobRequest{QStringLiteral("orig"), {}, 1, {1191, 842}, {}, {}});
            QVERIFY(cups.status(QStringLiteral("orig"), waiting).awaitingDocument);
            QVERIFY(!cups.status(QStringLiteral("dup"), printed).awaitingDocument);
        }
        QTRY_COMPARE_WITH_TIMEOUT(cups_->jobAttribute(printed, "job-state"),
                                  QStringLiteral("completed"), 60000);
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 gone = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString folder =
            QDir::temp().filePath(QStringLiteral("morvanta-print-%1-Ab12Cd").arg(gone));
        QVERIFY(QDir().mkpath(folder));
        QFile list(folder + QStringLiteral("/jobs"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(QStringLiteral("dup\t%1\norig\t%2\n").arg(printed).arg(waiting).toUtf8());
        list.close();

        cancelJobsOfEndedCalls(QDir::tempPath());
        staleleftovers::clearAtStart();
        QCOMPARE(cups_->jobAttribute(waiting, "job-state"), QStringLiteral("canceled"));
        QCOMPARE(cups_->jobAttribute(printed, "job-state"), QStringLiteral("completed"));
        checkNothingLeft();
    }

    void unknownPrinterTrayOrArgumentSendsNothing()
    {
        const QList<int> before = cups_->jobs();
        const int exports = exporter_.exports;
        const QList<QStringList> wrong{{QStringLiteral("--printer"), QStringLiteral("nope")},
                                       {QStringLiteral("--printer"), QStringLiteral("orig"),
                                        QStringLiteral("--tray"), QStringLiteral("drawer9")},
                                       {QStringLiteral("--printer"), QStringLiteral("orig"),
                                        QStringLiteral("--duplicate-printer"),
                                        QStringLiteral("nope")}};
        for (const QStringList& arguments : wrong) {
            const Run refused = run(arguments);
            QCOMPARE(refused.status, 2);
            QVERIFY(refused.has(arguments.last()));
            QVERIFY(refused.has(QStringLiteral("未发送任何打印任务")));
        }
        // Mistakes on the command line are named in Chinese, with the usage.
        const QList<std::pair<QStringList, QString>> mistaken{
            {{QStringLiteral("--printer")}, QStringLiteral("选项“--printer”后面缺少它的值。")},
            {{QStringLiteral("--bogus")}, QStringLiteral("没有“--bogus”这个选项。")},
            {{QStringLiteral("--force=yes"), QStringLiteral("--printer"), QStringLiteral("orig")},
             QStringLiteral("选项“--force”不带值。")},
            {{QStringLiteral("--copies"), QStringLiteral("0"), QStringLiteral("--printer"),
              QStringLiteral("orig")},
             QStringLiteral("份数“0”无效")}};
        for (const auto& [arguments, said] : mistaken) {
            const Run refused = run(arguments);
            QCOMPARE(refused.status, 2);
            QVERIFY2(refused.has(said), qPrintable(refused.all()));
        }
        QCOMPARE(cups_->jobs(), before);
        QCOMPARE(exporter_.exports, exports);
    }

    void checkHoldsBackUnlessForced()
    {
        writeRow(5, 2);
        writeRow(7, 1, QStringLiteral("单位名称"));
        const QStringList arguments{QStringLiteral("--printer"), QStringLiteral("orig"),
                                    QStringLiteral("--duplicate-printer"), QStringLiteral("dup")};
        const Run held = run(arguments);
        QCOMPARE(held.status, 3);
        QVERIFY(held.has(QStringLiteral("证书“CERT-0005”（正本）有 2 页，打印前请检查。")));
        QVERIFY(held.has(QStringLiteral("证书“CERT-0007”（正本）中仍有“单位名称”")));
        QList<int> printed = rows(1, 20);
        printed.removeAll(5);
        printed.removeAll(7);
        checkPrinted(QStringLiteral("orig"), printed, true);
        checkPrinted(QStringLiteral("dup"), rows(1, 20), false);

        const Run forced = run(arguments + QStringList{QStringLiteral("--force")});
        QCOMPARE(forced.status, 0);
        printed = rows(1, 20);
        printed.insert(5, 5); // its second page
        checkPrinted(QStringLiteral("orig"), printed, true);
        writeRow(5);
        writeRow(7);
        checkNothingLeft();
    }

    void reviewPdfHoldsEveryPageInOrder()
    {
        const QList<int> before = cups_->jobs();
        QTemporaryDir folder(QStringLiteral(MORVANTA_BUILD_DIR "/review-XXXXXX"));
        const QString target = folder.filePath(QStringLiteral("审阅.pdf"));
        const Run review = run({QStringLiteral("--pdf"), target});
        QCOMPARE(review.status, 0);
        const QList<testpdf::ReadPage> pages = testpdf::readPdf(target);
        QCOMPARE(pages.size(), 40);
        for (int i = 0; i < 40; ++i) {
            const bool original = i < 20;
            QCOMPARE(pages[i].words.value(0).text, certificate(i % 20 + 1));
            QCOMPARE(std::round(pages[i].width),
                     std::round(original ? testpdf::a3Long : testpdf::a4Short));
            QCOMPARE(std::round(pages[i].height),
                     std::round(original ? testpdf::a3Short : testpdf::a4Long));
        }
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("审阅.pdf")});
        QCOMPARE(cups_->jobs(), before);

        // A failed export leaves no half PDF under the name.
        QFile::remove(out_ + documentFileName(certificate(3), TemplateKind::Duplicate));
        QVERIFY(QFile::link(out_ + QStringLiteral("missing"),
                            out_ + documentFileName(certificate(3), TemplateKind::Duplicate)));
        const QString second = folder.filePath(QStringLiteral("第二.pdf"));
        QCOMPARE(run({QStringLiteral("--pdf"), second}).status, 2);
        QVERIFY(!QFileInfo::exists(second));
        QFile::remove(out_ + documentFileName(certificate(3), TemplateKind::Duplicate));
        writeRow(3);
        checkNothingLeft();
    }

    void schedulerGoneMidBatchNamesTheJob()
    {
        exporter_.exports = 0;
        exporter_.afterExport = [this](int exports) {
            if (exports == 25) // the originals' job is in; the duplicates are being exported
                cups_->stop();
        };
        const Run broken = run({QStringLiteral("--printer"), QStringLiteral("orig"),
                                QStringLiteral("--duplicate-printer"), QStringLiteral("dup")});
        exporter_.afterExport = nullptr;
        QCOMPARE(broken.status, 2);
        QVERIFY(broken.has(QStringLiteral("已发送 20/40")));
        QVERIFY(!broken.has(QStringLiteral("已发送 40/40")));
        QVERIFY2(broken.has(QStringLiteral("打印服务")), qPrintable(broken.lines.join(u'\n')));
        QVERIFY(!broken.has(QStringLiteral("没有名为")));
        QVERIFY2(std::any_of(broken.lines.begin(), broken.lines.end(),
                             [](const QString& l) {
                                 return l.contains(QRegularExpression(QStringLiteral("orig-\\d+")));
                             }),
                 qPrintable(broken.lines.join(u'\n')));
        checkNothingLeft();

        const Run unreachable = run({QStringLiteral("--list")});
        QCOMPARE(unreachable.status, 2);
        QVERIFY(unreachable.has(QStringLiteral("无法连接打印服务")));
    }
};

int main(int argc, char* argv[])
{
    // A HOME and a temporary folder of the test's own: the operator's folder
    // is never touched, and whatever is left in the temporary folder is ours.
    QTemporaryDir scratch(QStringLiteral(MORVANTA_BUILD_DIR "/printing-test-XXXXXX"));
    qputenv("HOME", QFile::encodeName(scratch.filePath(QStringLiteral("home"))));
    qputenv("TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("tmp"))));
    QDir().mkpath(scratch.filePath(QStringLiteral("tmp")));
    QCoreApplication app(argc, argv);
    PrintingTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_printing.moc"
