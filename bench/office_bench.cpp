// Office layer benchmark, run by hand: cold start to the first session, then
// per document "open a realistic template, replace the nine placeholders
// (two of them resized), save, close" against "open, save, close" alone, the
// engine's floor, measured in the same run, with the CPU both processes spend.
//
//   office_bench [rounds] [fill|floor]    100 rounds of both kinds by default

#include "common/error.h"
#include "office/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const QStringList kPlaceholders = {
    QStringLiteral("证书号"),         QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
    QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"),       QStringLiteral("法定代表人"),
    QStringLiteral("经费来源"),       QStringLiteral("开办资金"),   QStringLiteral("举办单位")};

// CPU time (user and system) a process has used, in ms; counts are steadier
// than wall time on a loaded machine.
double cpuMs(long pid)
{
    QFile stat(pid > 0 ? QStringLiteral("/proc/%1/stat").arg(pid)
                       : QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Cpu
{
    double office = 0, program = 0;
    Cpu& operator+=(const Cpu& o)
    {
        office += o.office;
        program += o.program;
        return *this;
    }
    Cpu operator-(const Cpu& o) const { return {office - o.office, program - o.program}; }
};

Cpu cpuNow()
{
    return {cpuMs(office::defaultEngineOfficePid()), cpuMs(0)};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double floorRound(const QString& templ, const QString& out)
{
    QElapsedTimer t;
    t.start();
    auto app = office::defaultEngine().createWordApplication();
    app->SetVisible(false);
    office::word::Document& doc = app->Documents().Open(templ, true);
    doc.SaveAs(out);
    doc.Close();
    app->Quit();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double fillRound(const QString& templ, const QString& out, int n)
{
    QElapsedTimer t;
    t.start();
    auto app = office::defaultEngine().createWordApplication();
    app->SetVisible(false);
    office::word::Document& doc = app->Documents().Open(templ, true);
    auto range = app->ActiveDocument().Range(0, 1);
    range->Select();
    for (int i = 0; i < kPlaceholders.size(); ++i) {
        QString value = QStringLiteral("事业单位测试值%1-%2").arg(n).arg(i);
        const bool resize = i == 2 || i == 4;
        if (resize)
            value = value.repeated(4);
        while (range->Find().Execute({.FindText = kPlaceholders[i],
                                      .MatchCase = false,
                                      .Wrap = office::word::wdFindContinue,
                                      .ReplaceWith = value,
                                      .Replace = true})) {
            if (!resize)
                continue;
            office::word::Find& find = range->Find();
            find.ClearFormatting();
            find.Text = value;
            find.Replacement.Text.clear();
            find.Forward = true;
            find.Wrap = office::word::wdFindContinue;
            find.Execute();
            range->Font().SetSize(9.0f);
        }
    }
    doc.SaveAs(out);
    doc.Close();
    app->Quit();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString templ = QStringLiteral(MORVANTA_TEMPLATE_ORIGINAL);
    if (!QFile::exists(templ)) {
        std::fprintf(stderr, "template %s is missing: build the default_templates target\n",
                     qPrintable(templ));
        return 1;
    }
    QTemporaryDir out;
    // The number of measured rounds may be given, e.g. a few under strace.
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 100;

    // "fill" or "floor" runs only that kind, to count its calls or
    // instructions under strace or callgrind.
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const bool doFloor = only != QStringLiteral("fill"), doFill = only != QStringLiteral("floor");

    // Opening a missing file needs a running office before it fails: that
    // times the start up to the connection.
    QElapsedTimer cold;
    cold.start();
    try {
        office::defaultEngine().createWordApplication()->Documents().Open(
            out.filePath(QStringLiteral("missing.doc")), true);
    } catch (const morvanta::Error&) {
    }
    const double connectedMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;
    const double startCpuMs = cpuMs(office::defaultEngineOfficePid());
    office::defaultEngine().createWordApplication()->Documents().Open(templ, true);
    const double coldMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;

    // Warm up, then interleave the two kinds so that both see the same office.
    for (int i = 0; i < 5; ++i) {
        if (doFloor)
            floorRound(templ, out.filePath(QStringLiteral("w.doc")));
        if (doFill)
            fillRound(templ, out.filePath(QStringLiteral("w.doc")), i);
    }
    std::vector<double> floorMs, fillMs;
    Cpu floorCpu, fillCpu;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < rounds; ++i) {
        if (doFloor) {
            const Cpu cpu = cpuNow();
            floorMs.push_back(
                floorRound(templ, out.filePath(QStringLiteral("floor%1.doc").arg(i))));
            floorCpu += cpuNow() - cpu;
        }
        if (doFill) {
            const Cpu cpu = cpuNow();
            fillMs.push_back(
                fillRound(templ, out.filePath(QStringLiteral("fill%1.doc").arg(i)), i));
            fillCpu += cpuNow() - cpu;
        }
    }
    const double floorMed = median(floorMs), fillMed = median(fillMs);
    std::printf("office start to the connection: %.0f ms (office CPU %.0f ms)\n", connectedMs,
                startCpuMs);
    std::printf("office start to first open document: %.0f ms\n", coldMs);
    std::printf("template: %s\n", qPrintable(QDir::toNativeSeparators(templ)));
    std::printf("open-save-close (floor), median of %d: %.1f ms\n", rounds, floorMed);
    std::printf("open-replace 9 (2 resized)-save-close, median of %d: %.1f ms\n", rounds, fillMed);
    std::printf("ratio fill / floor: %.2f\n", fillMed / floorMed);
    const double floorTotal = floorCpu.office + floorCpu.program;
    const double fillTotal = fillCpu.office + fillCpu.program;
    std::printf("CPU per document (office + program): floor %.1f + %.1f ms, fill %.1f + %.1f ms, "
                "ratio %.2f\n",
                floorCpu.office / rounds, floorCpu.program / rounds, fillCpu.office / rounds,
                fillCpu.program / rounds, floorTotal > 0 ? fillTotal / floorTotal : 0.0);
    std::printf("wall time for %d pairs: %.1f s\n", rounds,
                static_cast<double>(wall.elapsed()) / 1000.0);
    return 0;
}
