// How fast the generation runs on real documents, and whether the office's
// memory stays bounded over a long batch. Run by hand; prints its figures.
//
//   generation_bench          all measurements
//   generation_bench quick    without the 2,000-row batch (on the pool)
//   generation_bench --rows N a data file of N rows: counting its rows by
//                             blocks (and cell by cell on its first 2,000 rows),
//                             and a run over it up to its first document and
//                             through its first 200 rows
//
// The 200-row batch runs on one office process and on the default pool.
//
// Works in a temporary HOME with the default templates of the build.

#include "certificates.h"

#include "common/error.h"
#include "common/paths.h"
#include "generator/certificatefill.h"
#include "generator/generationrun.h"
#include "generator/runview.h"
#include "office/engine.h"
#include "office/spreadsheet.h"
#include "office/word.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

using paths::TemplateKind;

void print(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// Answers every message at once; samples the office's memory as rows finish.
class BenchView : public RunView
{
public:
    int messages = 0;
    int memoryEvery = 0; // rows between memory samples; 0: none
    int markAt = 0;      // rows after which `markSeconds` is taken; 0: none
    double firstRowSeconds = 0;
    double markSeconds = 0;
    QElapsedTimer clock;

    void hideMainWindow() override {}
    void showMainWindow() override {}
    void showWaitForm() override {}
    void unloadWaitForm() override {}
    void showMessage(const QString&) override { ++messages; }
    void setProgress(int done, int total) override
    {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (done == 1 && firstRowSeconds == 0)
            firstRowSeconds = now;
        if (markAt > 0 && done == markAt && markSeconds == 0)
            markSeconds = now;
        if (memoryEvery > 0 && (done % memoryEvery == 0 || done == total)) {
            QStringList offices;
            for (long pid : office::defaultEngineOfficePids())
                offices << QStringLiteral("%1（VmRSS %2 MB）").arg(pid).arg(rssMb(pid), 0, 'f', 1);
            print(QStringLiteral("  %1/%2 行  %3 s  办公组件进程 %4")
                      .arg(done, 5)
                      .arg(total)
                      .arg(static_cast<double>(clock.elapsed()) / 1000.0, 6, 'f', 1)
                      .arg(offices.join(QStringLiteral("，"))));
        }
    }

    static double rssMb(long pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        return 0;
    }
};

// The default engine on `processes` offices (0: the default pool), stopped.
void useProcesses(int processes)
{
    office::EngineOptions options;
    if (processes > 0)
        options.processes = processes;
    office::setDefaultEngineOptions(options);
    office::shutdownDefaultEngine();
}

// Realistic rows whose lengths vary, so that some values pass the font thresholds.
QStringList rowValues(int i)
{
    static const QStringList cities{QStringLiteral("青山市"), QStringLiteral("云岭县"),
                                    QStringLiteral("白河区"), QStringLiteral("南湖市")};
    static const QStringList kinds{QStringLiteral("第一人民医院"), QStringLiteral("实验中学"),
                                   QStringLiteral("图书馆"), QStringLiteral("农业技术推广站"),
                                   QStringLiteral("社会福利院附属康复护理与职业培训中心")};
    const QString city = cities[i % cities.size()];
    QString name = city + kinds[i % kinds.size()];
    if (i % 7 == 0)
        name += QStringLiteral("（") + city + QStringLiteral("公共卫生与健康教育研究所）");
    const QString scope =
        QStringLiteral("为社会提供公共服务。") +
        QStringLiteral("开展相关业务研究、技术推广、人员培训与咨询服务；").repeated(1 + i % 9);
    const QString domicile =
        city + QStringLiteral("解放路%1号").arg(100 + i) +
        (i % 5 == 0 ? QStringLiteral("综合服务大楼东侧附属办公楼三层至五层") : QString());
    return {QStringLiteral("粤事证第%1号").arg(440000000 + i),
            QStringLiteral("自2026年1月1日至2031年12月31日"),
            name,
            scope,
            domicile,
            QStringLiteral("李晓明"),
            QStringLiteral("财政补助"),
            QStringLiteral("￥%1万元").arg(50 + i % 900),
            city + QStringLiteral("人民政府")};
}

// Writes the data file of `rows` rows (through the office, which starts it).
void makeDataFile(int rows)
{
    QList<QStringList> data;
    data.reserve(rows);
    for (int i = 0; i < rows; ++i)
        data << rowValues(i);
    testfiles::makeDataFile(data);
}

void clearOutput()
{
    QDir(paths::outputDir()).removeRecursively();
    QDir().mkpath(paths::outputDir());
}

struct Timing
{
    double seconds;
    int documents;
};

// A whole run over `rows` rows; a cold run starts the office within the timing.
Timing runBatch(int rows, BenchView& view, bool cold)
{
    makeDataFile(rows);
    clearOutput();
    if (cold)
        office::shutdownDefaultEngine();
    office::Engine& engine = office::defaultEngine();
    CertificateRecord record;
    const auto fill = [&engine](TemplateKind kind) {
        return [&engine, kind](const CertificateRecord& values, RunView& messages, bool& mc) {
            return fillCertificate(engine, messages, values, kind, mc);
        };
    };
    const GenerationCallbacks fills{fill(TemplateKind::Original), fill(TemplateKind::Duplicate)};
    view.clock.start();
    runGeneration(engine, view, record, fills);
    const double seconds = static_cast<double>(view.clock.nsecsElapsed()) / 1e9;
    return {seconds, static_cast<int>(QDir(paths::outputDir()).entryList(QDir::Files).size())};
}

// The least the office takes per document: open the template, save, close.
double engineFloorMs(int documents)
{
    office::Engine& engine = office::defaultEngine();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < documents; ++i) {
        const TemplateKind kind = i % 2 ? TemplateKind::Duplicate : TemplateKind::Original;
        auto app = engine.createWordApplication();
        office::word::Document& document = app->Documents().Open(paths::templateFile(kind), true);
        document.SaveAs(paths::outputDir() + QStringLiteral("floor-%1.doc").arg(i));
        document.Close();
        app->Quit();
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e6 / documents;
}

// Where the time of one fill goes, averaged over `documents` fills of the
// original: the same calls as the fill, timed step by step.
void printFillPhases(int documents)
{
    using namespace office::word;
    office::Engine& engine = office::defaultEngine();
    const QStringList placeholders{"证书号",     "证书有效期", "单位名称", "宗旨和业务范围", "住所",
                                   "法定代表人", "经费来源",   "开办资金", "举办单位"};
    double open = 0, replace = 0, save = 0, close = 0;
    QElapsedTimer clock;
    for (int i = 0; i < documents; ++i) {
        clock.start();
        auto app = engine.createWordApplication();
        app->SetVisible(false);
        Document& document =
            app->Documents().Open(paths::templateFile(TemplateKind::Original), true);
        auto range = app->ActiveDocument().Range(0, 1);
        range->Select();
        open += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        clock.start();
        for (const QString& placeholder : placeholders) {
            const ExecuteArgs args{placeholder, false, wdFindContinue,
                                   QStringLiteral("青山市实验中学"), true};
            while (range->Find().Execute(args)) {
            }
        }
        replace += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        clock.start();
        document.SaveAs(paths::outputDir() + QStringLiteral("phases-%1.doc").arg(i));
        save += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        clock.start();
        document.Close();
        app->Quit();
        close += static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    print(QStringLiteral("一份正本的各步骤（毫秒）：打开 %1，替换九个占位文字 %2，保存 %3，关闭 %4")
              .arg(open / documents, 0, 'f', 1)
              .arg(replace / documents, 0, 'f', 1)
              .arg(save / documents, 0, 'f', 1)
              .arg(close / documents, 0, 'f', 1));
}

// Starting the office for every document, as one word processor per fill would.
double perDocumentStartMs(int rows)
{
    office::Engine& engine = office::defaultEngine();
    BenchView view;
    CertificateRecord record{
        QStringLiteral("单独启动"), QStringLiteral("长期"),     QStringLiteral("青山市图书馆"),
        QStringLiteral("图书借阅"), QStringLiteral("青山市"),   QStringLiteral("李晓明"),
        QStringLiteral("财政补助"), QStringLiteral("￥50万元"), QStringLiteral("青山市人民政府")};
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rows * 2; ++i) {
        office::shutdownDefaultEngine();
        bool matchCase = false;
        fillCertificate(engine, view, record,
                        i % 2 ? TemplateKind::Duplicate : TemplateKind::Original, matchCase);
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e6 / (rows * 2);
}

bool installTemplates()
{
    QDir().mkpath(paths::templatesDir());
    QDir().mkpath(paths::downloadDir());
    return QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_ORIGINAL),
                       paths::templateFile(TemplateKind::Original)) &&
           QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_DUPLICATE),
                       paths::templateFile(TemplateKind::Duplicate));
}

int runAll(bool quick)
{
    if (!installTemplates()) {
        print(QStringLiteral("找不到构建生成的模板（先构建 default_templates）。"));
        return 1;
    }

    // The same 200 rows on one office and on the pool, each started within the timing.
    double coldSeconds[2] = {};
    double warmPerDocument[2] = {};
    int poolSize = 1;
    for (int pool = 0; pool < 2; ++pool) {
        useProcesses(pool ? 0 : 1);
        BenchView cold;
        const Timing first = runBatch(200, cold, true);
        const int processes = office::defaultEngine().parallelSessions();
        if (pool)
            poolSize = processes;
        coldSeconds[pool] = first.seconds;
        print(QStringLiteral(
                  "%1 个办公组件进程：200 行（含办公组件启动）%2 s，共 %3 份文档，每对证书 %4 ms")
                  .arg(processes)
                  .arg(first.seconds, 0, 'f', 2)
                  .arg(first.documents)
                  .arg(first.seconds * 1000.0 / 200.0, 0, 'f', 1));
        BenchView warm;
        const Timing second = runBatch(200, warm, false);
        warmPerDocument[pool] = second.seconds * 1000.0 / second.documents;
        print(QStringLiteral("%1 个办公组件进程：200 行（办公组件已在运行）%2 s，每份文档 %3 ms")
                  .arg(processes)
                  .arg(second.seconds, 0, 'f', 2)
                  .arg(warmPerDocument[pool], 0, 'f', 1));
    }
    print(QStringLiteral("%1 个进程的用时为 1 个进程的 %2 倍（含启动），%3 倍（已在运行）")
              .arg(poolSize)
              .arg(coldSeconds[1] / coldSeconds[0], 0, 'f', 2)
              .arg(warmPerDocument[1] / warmPerDocument[0], 0, 'f', 2));

    // The floor and the fill's steps on one office, one document after the other.
    useProcesses(1);
    const double floor = engineFloorMs(100);
    print(QStringLiteral("办公组件下限（打开模板、保存、关闭）：每份文档 %1 ms；"
                         "填写（1 个进程）为其 %2 倍")
              .arg(floor, 0, 'f', 1)
              .arg(warmPerDocument[0] / floor, 0, 'f', 2));

    printFillPhases(50);
    print(QStringLiteral("每份文档单独启动办公组件：每份文档 %1 ms")
              .arg(perDocumentStartMs(3), 0, 'f', 0));
    useProcesses(0);

    if (!quick) {
        print(QStringLiteral("2000 行，办公组件内存："));
        BenchView longRun;
        longRun.memoryEvery = 100;
        const Timing batch = runBatch(2000, longRun, true);
        print(QStringLiteral("2000 行：%1 s，共 %2 份文档，每对证书 %3 ms")
                  .arg(batch.seconds, 0, 'f', 1)
                  .arg(batch.documents)
                  .arg(batch.seconds * 1000.0 / 2000.0, 0, 'f', 1));
    }
    return 0;
}

// What ends a --rows run once its first rows are made.
struct EnoughRows
{
};

// A data file of `rows` rows: counted by blocks as the run does, cell by cell
// over its first rows as before, and a run over it through its first 200 rows.
int runRows(int rows)
{
    if (!installTemplates()) {
        print(QStringLiteral("找不到构建生成的模板（先构建 default_templates）。"));
        return 1;
    }
    makeDataFile(rows);
    useProcesses(0);
    office::Engine& engine = office::defaultEngine();
    {
        QElapsedTimer clock;
        clock.start();
        auto excel = engine.createSpreadsheetApplication();
        office::sheet::Worksheet& sheet =
            excel->GetObject(paths::dataFile()).Worksheets(QStringLiteral("Sheet1"));
        const double open = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        clock.start();
        DataRowCounter counter(sheet);
        int reads = 1;
        while (!counter.step())
            ++reads;
        const double counting = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        print(QStringLiteral("数据文件 %1 行：启动办公组件并打开 %2 s；按块数出 %3 行 %4 s"
                             "（%5 次块读取，每块 %6 行）")
                  .arg(rows)
                  .arg(open, 0, 'f', 2)
                  .arg(counter.rows())
                  .arg(counting, 0, 'f', 2)
                  .arg(reads)
                  .arg(DataRowCounter::block));
        const int sample = std::min(rows, 2000);
        clock.start();
        for (int row = DataRowCounter::firstRow; row < DataRowCounter::firstRow + sample; ++row)
            sheet.CellText(row, 1);
        const double perCell = static_cast<double>(clock.nsecsElapsed()) / 1e6 / sample;
        print(QStringLiteral("逐格读取第一列（前 %1 行）：每行 %2 ms，数完 %3 行约需 %4 s")
                  .arg(sample)
                  .arg(perCell, 0, 'f', 3)
                  .arg(rows)
                  .arg(perCell * rows / 1000.0, 0, 'f', 1));
        excel->Quit();
    }

    // The run itself, up to its first document and through its first 200
    // rows; the whole of it would take hours.
    const int through = std::min(rows, 200);
    BenchView view;
    view.markAt = through;
    std::atomic<int> started = 0;
    const auto fill = [&](TemplateKind kind) {
        return [&, kind](const CertificateRecord& values, RunView& messages,
                         bool& mc) -> std::int16_t {
            if (++started > 2 * through)
                throw EnoughRows{};
            return fillCertificate(engine, messages, values, kind, mc);
        };
    };
    const GenerationCallbacks fills{fill(TemplateKind::Original), fill(TemplateKind::Duplicate)};
    CertificateRecord record;
    clearOutput();
    view.clock.start();
    try {
        runGeneration(engine, view, record, fills);
    } catch (const EnoughRows&) {
    }
    print(QStringLiteral("生成（%1 行的数据文件，办公组件已在运行）：第一行的两份文档 %2 s，"
                         "前 %3 行 %4 s")
              .arg(rows)
              .arg(view.firstRowSeconds, 0, 'f', 2)
              .arg(through)
              .arg(view.markSeconds, 0, 'f', 2));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("quick"));
    const qsizetype rowsAt = args.indexOf(QStringLiteral("--rows"));
    int status = 2;
    try {
        if (rowsAt > 0)
            status = runRows(args.value(rowsAt + 1).toInt());
        else
            status = runAll(quick);
    } catch (const morvanta::Error& error) {
        print(error.message());
    }
    office::shutdownDefaultEngine();
    return status;
}
