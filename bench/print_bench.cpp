// How long printing a run takes beside generating it. Run by hand; prints
// its figures.
//
//   print_bench [ROWS]     (200 rows, 400 documents, by default)
//
// In a temporary HOME with the default templates of the build: the run is
// generated on the office pool, then its documents are exported, checked and
// spooled to a private CUPS scheduler's queues (PDF files in the build
// tree), and the review PDF of the whole run is written.

#include "certificates.h"
#include "privatecups.h"

#include "common/paths.h"
#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "generator/runview.h"
#include "office/engine.h"
#include "printing/officeexporter.h"
#include "printing/printrun.h"
#include "printing/runlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

using paths::TemplateKind;

void print(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

class QuietView : public RunView
{
public:
    void hideMainWindow() override {}
    void showMainWindow() override {}
    void showWaitForm() override {}
    void unloadWaitForm() override {}
    void showMessage(const QString& text) override { print(QStringLiteral("  消息：") + text); }
    void setProgress(int, int) override {}
};

// Notes when the first job was accepted, when documents went to the
// scheduler and when the last export was taken.
class Clock : public printing::PrintObserver
{
public:
    QElapsedTimer clock;
    std::optional<double> firstAccepted;
    std::optional<double> firstSent;
    double lastSent = 0;
    double lastExported = 0;

    void message(const QString& text) override
    {
        if (!text.contains(QStringLiteral("已完成")))
            print(QStringLiteral("  ") + text);
    }
    void exported(int done, int total) override
    {
        if (done == total)
            lastExported = seconds();
    }
    void accepted(const QString&, int) override
    {
        if (!firstAccepted)
            firstAccepted = seconds();
    }
    void sent(int, int) override
    {
        lastSent = seconds();
        if (!firstSent)
            firstSent = lastSent;
    }
    double seconds() const { return double(clock.nsecsElapsed()) / 1e9; }
};

// Rows whose values vary in length, all short enough to stay on one page.
QStringList rowValues(int i)
{
    static const QStringList names{QStringLiteral("第一人民医院"), QStringLiteral("实验中学"),
                                   QStringLiteral("图书馆"), QStringLiteral("农业技术推广站")};
    return {QStringLiteral("事证第%1号").arg(1530201000000LL + i),
            QStringLiteral("自2026年1月1日至2031年12月31日"),
            QStringLiteral("青山市") + names[i % names.size()],
            QStringLiteral("开展相关业务研究、技术推广与人员培训；").repeated(1 + i % 4),
            QStringLiteral("青山市解放路%1号").arg(100 + i),
            QStringLiteral("李晓明"),
            QStringLiteral("财政补助"),
            QStringLiteral("￥%1万元").arg(50 + i % 900),
            QStringLiteral("青山市人民政府")};
}

// Writes the data file of `rows` rows (through the office, which starts it).
void makeDataFile(int rows)
{
    QList<QStringList> data;
    for (int i = 0; i < rows; ++i)
        data << rowValues(i);
    testfiles::makeDataFile(data);
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home(QStringLiteral(MORVANTA_BUILD_DIR "/print-bench-XXXXXX"));
    qputenv("HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;

    for (const QString& folder : {paths::downloadDir(), paths::templatesDir(), paths::outputDir()})
        QDir().mkpath(folder);
    QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_ORIGINAL),
                paths::templateFile(TemplateKind::Original));
    QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_DUPLICATE),
                paths::templateFile(TemplateKind::Duplicate));
    office::Engine& engine = office::defaultEngine();
    makeDataFile(rows); // starts the offices too, outside the timings

    QuietView view;
    CertificateRecord record;
    const auto fill = [&engine](TemplateKind kind) {
        return [&engine, kind](const CertificateRecord& values, RunView& v, bool& mc) {
            return fillCertificate(engine, v, values, kind, mc);
        };
    };
    QElapsedTimer generation;
    generation.start();
    runGeneration(engine, view, record,
                  GenerationCallbacks{fill(TemplateKind::Original), fill(TemplateKind::Duplicate)});
    const double generated = double(generation.nsecsElapsed()) / 1e9;
    QList<printing::DocumentRef> documents;
    for (int i = 0; i < rows; ++i) {
        const QString number = rowValues(i).first();
        documents << printing::DocumentRef{number, TemplateKind::Original}
                  << printing::DocumentRef{number, TemplateKind::Duplicate};
    }
    print(QStringLiteral("生成 %1 行（%2 份文档）：%3 s")
              .arg(rows)
              .arg(documents.size())
              .arg(generated, 0, 'f', 1));

    PrivateCups cups(QStringLiteral(MORVANTA_BUILD_DIR "/print-bench-cups"),
                     {QStringLiteral("orig"), QStringLiteral("dup")});
    printing::OfficeExporter exporter(engine);
    printing::PrintSettings settings;
    settings.original.printer = QStringLiteral("orig");
    settings.duplicate.printer = QStringLiteral("dup");
    Clock printed;
    printed.clock.start();
    const printing::Outcome outcome =
        printing::printDocuments(documents, settings, exporter, printed);
    const double printing = printed.seconds();
    print(QStringLiteral("打印：导出、检查并送入队列 %1 s（与生成之比 %2），两个任务完成 %3 s"
                         "（之比 %4），结果 %5")
              .arg(printed.lastSent, 0, 'f', 1)
              .arg(printed.lastSent / generated, 0, 'f', 2)
              .arg(printing, 0, 'f', 1)
              .arg(printing / generated, 0, 'f', 2)
              .arg(int(outcome)));
    print(QStringLiteral("第一个打印任务在 %1 s 时被接受，其文档在 %2 s 时送出")
              .arg(printed.firstAccepted.value_or(-1), 0, 'f', 2)
              .arg(printed.firstSent.value_or(-1), 0, 'f', 1));

    Clock review;
    review.clock.start();
    const QString target = home.filePath(QStringLiteral("审阅.pdf"));
    const printing::Outcome written = printing::writeReviewPdf(documents, target, exporter, review);
    const double total = review.seconds();
    print(QStringLiteral("审阅 PDF（%1 页）：共 %2 s，其中导出之后合并写入 %3 s，结果 %4")
              .arg(documents.size())
              .arg(total, 0, 'f', 1)
              .arg(total - review.lastExported, 0, 'f', 2)
              .arg(int(written)));

    // As the console meets it: the offices not running yet when printing starts.
    office::shutdownDefaultEngine();
    Clock cold;
    cold.clock.start();
    printing::printDocuments(documents.mid(0, 20), settings, exporter, cold);
    print(QStringLiteral("办公组件未启动时：第一个打印任务在 %1 s 时被接受")
              .arg(cold.firstAccepted.value_or(-1), 0, 'f', 2));
    office::shutdownDefaultEngine();
    return 0;
}
