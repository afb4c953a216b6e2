// Printing generated certificates through the real office and a private CUPS
// scheduler: the sample data's run, the check before printing, the
// calibration print of a template and the glyph forms on paper.

#include "privatecups.h"
#include "testpdf.h"

#include "certificates.h"
#include "recordingview.h"

#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "office/engine.h"
#include "printing/officeexporter.h"
#include "printing/printconsole.h"
#include "printing/runlist.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

using namespace printing;
using paths::TemplateKind;

namespace {

using Run = testpdf::ConsoleRun;

// The certificate numbers of the sample data, in row order.
QStringList sampleNumbers()
{
    QFile file(QStringLiteral(MORVANTA_SAMPLE_SOURCE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString xml = QString::fromUtf8(file.readAll());
    static const QRegularExpression firstCell(
        QStringLiteral("<table:table-row[^>]*>\\s*<table:table-cell[^>]*>\\s*<text:p>([^<]*)<"));
    QStringList numbers;
    for (const QRegularExpressionMatch& m : firstCell.globalMatch(xml))
        numbers << m.captured(1);
    return numbers.mid(1); // the headings
}

// The word of a page holding `digits`, or none.
std::optional<testpdf::Word> wordWith(const testpdf::ReadPage& page, const QString& digits)
{
    for (const testpdf::Word& w : page.words) {
        if (w.text.contains(digits))
            return w;
    }
    return std::nullopt;
}

QString digitsOf(const QString& number)
{
    return QString(number).remove(QRegularExpression(QStringLiteral("\\D")));
}

// A glyph's ink, cut to its bounding box and scaled to 64×64 grey levels.
QImage inkOf(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    int left = grey.width(), top = grey.height(), right = -1, bottom = -1;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            if (line[x] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return grey.copy(left, top, right - left + 1, bottom - top + 1)
        .scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The character drawn from an installed face, as fontconfig gives it.
QImage drawn(const QString& family, QChar character)
{
    QImage image(300, 300, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    QFont font(family);
    font.setPixelSize(200);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, 300, 300), Qt::AlignCenter, QString(character));
    painter.end();
    return inkOf(image);
}

double difference(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            sum += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
    return sum / (64 * 64);
}

} // namespace

class PrintOfficeTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateCups> cups_;
    std::unique_ptr<OfficeExporter> exporter_;
    QStringList numbers_;

    Run run(const QStringList& arguments)
    {
        Run result;
        const ConsoleOutput output{[&](const QString& line) { result.lines << line; },
                                   [&](const QString& line) { result.lines << line; }};
        result.status = runPrintConsole(QStringList{QStringLiteral("morvanta-print")} + arguments,
                                        *exporter_, output);
        return result;
    }

    static QStringList printers()
    {
        return {QStringLiteral("--printer"),
                QStringLiteral("orig"),
                QStringLiteral("--tray"),
                QStringLiteral("bottom"),
                QStringLiteral("--duplicate-printer"),
                QStringLiteral("dup")};
    }

    // The queue's output holds the documents' pages in this order, each
    // certificate number where the office's own export has it.
    void checkPrinted(const QString& queue, TemplateKind kind, const QStringList& numbers)
    {
        const QList<testpdf::ReadPage> sheets = testpdf::readPdf(cups_->output(queue));
        QCOMPARE(sheets.size(), numbers.size());
        QTemporaryDir references;
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            const QString digits = digitsOf(numbers[i]);
            const auto printed = wordWith(sheets[i], digits);
            QVERIFY2(printed, qPrintable(QStringLiteral("%1 page %2").arg(queue).arg(i + 1)));
            if (i % 9 != 0) // the office's own export of every ninth, which takes a while
                continue;
            const QString reference = references.filePath(QStringLiteral("%1.pdf").arg(i));
            office::convertFile(paths::outputDir() + documentFileName(numbers[i], kind), reference,
                                QStringLiteral("writer_pdf_Export"));
            const testpdf::ReadPage page = testpdf::readPdf(reference).value(0);
            const auto exported = wordWith(page, digits);
            QVERIFY(exported);
            QVERIFY2(
                testpdf::samePlace(page, *exported, sheets[i], *printed),
                qPrintable(QStringLiteral("%1 page %2 moved or scaled").arg(queue).arg(i + 1)));
        }
    }

    void checkNothingLeft()
    {
        QCOMPARE(QDir::temp()
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                     .filter(QStringLiteral("morvanta-print")),
                 {});
        QCOMPARE(QDir(paths::outputDir())
                     .entryList(QDir::Hidden | QDir::AllEntries)
                     .filter(QStringLiteral(".~")),
                 {});
    }

private slots:
    void initTestCase()
    {
        cups_ = std::make_unique<PrivateCups>(
            QStringLiteral(MORVANTA_BUILD_DIR "/po%1").arg(getpid()),
            QStringList{QStringLiteral("orig"), QStringLiteral("dup")});
        QVERIFY(cups_->running());
        exporter_ = std::make_unique<OfficeExporter>(office::defaultEngine());
        QCOMPARE(exporter_->parallelExports(), 2);

        testfiles::makeMorvantaFolders();
        QVERIFY(QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_ORIGINAL),
                            paths::templateFile(TemplateKind::Original)));
        QVERIFY(QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_DUPLICATE),
                            paths::templateFile(TemplateKind::Duplicate)));
        QVERIFY(QFile::copy(QStringLiteral(MORVANTA_SAMPLE_DATA), paths::dataFile()));
        numbers_ = sampleNumbers();
        QCOMPARE(numbers_.size(), 20);

        office::Engine& engine = office::defaultEngine();
        const auto fill = [&engine](TemplateKind kind) {
            return [&engine, kind](const CertificateRecord& values, RunView& view, bool& mc) {
                return fillCertificate(engine, view, values, kind, mc);
            };
        };
        RecordingView view;
        CertificateRecord record;
        runGeneration(
            engine, view, record,
            GenerationCallbacks{fill(TemplateKind::Original), fill(TemplateKind::Duplicate)});
        QList<DocumentRef> documents;
        for (const QString& number : numbers_)
            documents << DocumentRef{number, TemplateKind::Original}
                      << DocumentRef{number, TemplateKind::Duplicate};
        writeRunList(documents, paths::outputDir());
    }

    void cleanupTestCase()
    {
        const QList<long> offices = office::defaultEngineOfficePids();
        QVERIFY(!offices.isEmpty());
        office::shutdownDefaultEngine();
        for (const long pid : offices)
            QVERIFY2(::kill(pid_t(pid), 0) != 0, "an office is still running");
        checkNothingLeft();
        const QString spool = cups_->folder() + QStringLiteral("/spool");
        cups_.reset();
        QVERIFY(!QFileInfo::exists(spool));
    }

    void printsTheLatestRunUnscaledInRowOrder()
    {
        const QList<int> before = cups_->jobs();
        const Run printed = run(printers());
        QVERIFY2(printed.status == 0, qPrintable(printed.all()));
        QVERIFY(printed.has(QStringLiteral("已发送 40/40")));
        const QList<int> jobs = cups_->jobs().mid(before.size());
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(cups_->jobAttribute(jobs[0], "media"), QStringLiteral("iso_a3_297x420mm"));
        QCOMPARE(cups_->jobAttribute(jobs[1], "media"), QStringLiteral("iso_a4_210x297mm"));
        QCOMPARE(cups_->jobAttribute(jobs[0], "media-source"), QStringLiteral("bottom"));
        checkPrinted(QStringLiteral("orig"), TemplateKind::Original, numbers_);
        checkPrinted(QStringLiteral("dup"), TemplateKind::Duplicate, numbers_);
        const QList<testpdf::ReadPage> originals = testpdf::readPdf(cups_->output("orig"));
        const QList<testpdf::ReadPage> duplicates = testpdf::readPdf(cups_->output("dup"));
        // A3 landscape comes out on an A3 sheet (turned or not); A4 portrait as is.
        QCOMPARE(qRound(std::max(originals[0].width, originals[0].height)), 1191);
        QCOMPARE(qRound(duplicates[0].width), 595);
        QCOMPARE(qRound(duplicates[0].height), 842);
        checkNothingLeft();
    }

    void aScopeThatRunsOntoASecondPageIsHeldBackUnlessForced()
    {
        QStringList values = testfiles::dataRow(QStringLiteral("LONG-1"));
        values[3] =
            testfiles::textOfLength(QStringLiteral("开展相关业务研究、技术推广与人员培训；"), 3000);
        RecordingView view;
        bool mc = true;
        for (const TemplateKind kind : {TemplateKind::Original, TemplateKind::Duplicate})
            QVERIFY(fillCertificate(office::defaultEngine(), view, testfiles::recordOf(values),
                                    kind, mc) >= 0);
        const QList<int> before = cups_->jobs();
        const Run held = run(printers() + QStringList{QStringLiteral("LONG-1")});
        QCOMPARE(held.status, 3);
        QVERIFY2(held.has(QStringLiteral("证书“LONG-1”（正本）有 2 页，打印前请检查。")) ||
                     held.has(QStringLiteral("证书“LONG-1”（正本）有 3 页，打印前请检查。")),
                 qPrintable(held.all()));
        // The originals' job, made at the first export, goes without a page.
        for (const int job : cups_->jobs()) {
            if (!before.contains(job) &&
                cups_->jobAttribute(job, "job-printer-uri").endsWith(QStringLiteral("/orig")))
                QCOMPARE(cups_->jobAttribute(job, "job-state"), QStringLiteral("canceled"));
        }

        const Run forced =
            run(printers() + QStringList{QStringLiteral("--force"), QStringLiteral("LONG-1")});
        QVERIFY2(forced.status == 0, qPrintable(forced.all()));
        QVERIFY(testpdf::readPdf(cups_->output(QStringLiteral("orig"))).size() >= 2);
        checkNothingLeft();
    }

    // The calibration print shows the template's placeholders, and the text
    // is set in the mainland forms of the simplified Chinese face.
    void calibrationPrintShowsPlaceholdersInMainlandForms()
    {
        const QString glyphs = QStringLiteral("令角骨直");
        // An A4 portrait page, printed as it is.
        testfiles::makeWordDocumentFromRtf(paths::templateFile(TemplateKind::Duplicate),
                                           testfiles::rtfParagraph(QStringLiteral("单位名称")) +
                                               QStringLiteral("\\fs144 ") +
                                               testfiles::rtfParagraph(glyphs),
                                           20, {});
        const Run calibration =
            run({QStringLiteral("--template"), QStringLiteral("副本"), QStringLiteral("--printer"),
                 QStringLiteral("dup"), QStringLiteral("--tray"), QStringLiteral("manual")});
        QVERIFY2(calibration.status == 0, qPrintable(calibration.all()));
        const QString output = cups_->output(QStringLiteral("dup"));
        const QList<testpdf::ReadPage> sheets = testpdf::readPdf(output);
        QCOMPARE(sheets.size(), 1);
        QVERIFY(wordWith(sheets[0], QStringLiteral("单位名称")));

        const double dpi = 150, scale = dpi / 72;
        QTemporaryDir dir;
        QProcess render;
        render.start(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                      QStringLiteral("-singlefile"), output, dir.filePath(QStringLiteral("page"))});
        QVERIFY(render.waitForFinished(60000));
        const QImage page(dir.filePath(QStringLiteral("page.png")));
        QVERIFY(!page.isNull());
        // The characters as printed, one by one from their words' boxes
        // (every character of a word is one em wide).
        double toSc = 0, toJp = 0;
        int compared = 0;
        for (const testpdf::Word& w : sheets[0].words) {
            const double advance = (w.xMax - w.xMin) / std::max<qsizetype>(1, w.text.size());
            for (qsizetype i = 0; i < w.text.size(); ++i) {
                if (!glyphs.contains(w.text[i]))
                    continue;
                const QRect box(qRound((w.xMin + i * advance) * scale), qRound(w.yMin * scale),
                                qRound(advance * scale), qRound((w.yMax - w.yMin) * scale));
                const QImage printed = inkOf(page.copy(box));
                const double sc =
                    difference(printed, drawn(QStringLiteral("Noto Serif CJK SC"), w.text[i]));
                const double jp =
                    difference(printed, drawn(QStringLiteral("Noto Serif CJK JP"), w.text[i]));
                qInfo() << w.text[i] << "SC" << sc << "JP" << jp;
                toSc += sc;
                toJp += jp;
                ++compared;
            }
        }
        QCOMPARE(compared, 4);
        QVERIFY2(toSc * 2 < toJp, qPrintable(QStringLiteral("SC %1, JP %2").arg(toSc).arg(toJp)));
    }
};

int main(int argc, char* argv[])
{
    // A HOME and a temporary folder of the test's own, in the build tree.
    QTemporaryDir scratch(QStringLiteral(MORVANTA_BUILD_DIR "/printoffice-test-XXXXXX"));
    qputenv("HOME", QFile::encodeName(scratch.filePath(QStringLiteral("home"))));
    qputenv("TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("tmp"))));
    QDir().mkpath(scratch.filePath(QStringLiteral("tmp")));
    office::EngineOptions options;
    options.callDeadline = std::chrono::seconds(60);
    office::setDefaultEngineOptions(options);
    QGuiApplication app(argc, argv);
    PrintOfficeTest test;
    const int status = QTest::qExec(&test, argc, argv);
    office::shutdownDefaultEngine();
    return status;
}
#include "tst_printoffice.moc"
