// Office layer benchmark, run by hand: cold start to the first session, then
// per document "open a realistic template, replace the nine placeholders
// (two of them resized), save, close" against "open, save, close" alone, the
// engine's floor, measured in the same run.

#include "office/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QStringList kPlaceholders = {
    QStringLiteral("证书号"),         QStringLiteral("证书有效期"), QStringLiteral("单位名称"),
    QStringLiteral("宗旨和业务范围"), QStringLiteral("住所"),       QStringLiteral("法定代表人"),
    QStringLiteral("经费来源"),       QStringLiteral("开办资金"),   QStringLiteral("举办单位")};

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
    const int rounds = 100;

    QElapsedTimer cold;
    cold.start();
    office::defaultEngine().createWordApplication()->Documents().Open(templ, true);
    const double coldMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;

    // Warm up, then interleave the two kinds so that both see the same office.
    for (int i = 0; i < 5; ++i) {
        floorRound(templ, out.filePath(QStringLiteral("w.doc")));
        fillRound(templ, out.filePath(QStringLiteral("w.doc")), i);
    }
    std::vector<double> floorMs, fillMs;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < rounds; ++i) {
        floorMs.push_back(floorRound(templ, out.filePath(QStringLiteral("floor%1.doc").arg(i))));
        fillMs.push_back(fillRound(templ, out.filePath(QStringLiteral("fill%1.doc").arg(i)), i));
    }
    const double floorMed = median(floorMs), fillMed = median(fillMs);
    std::printf("office start to first open document: %.0f ms\n", coldMs);
    std::printf("template: %s\n", qPrintable(QDir::toNativeSeparators(templ)));
    std::printf("open-save-close (floor), median of %d: %.1f ms\n", rounds, floorMed);
    std::printf("open-replace 9 (2 resized)-save-close, median of %d: %.1f ms\n", rounds, fillMed);
    std::printf("ratio fill / floor: %.2f\n", fillMed / floorMed);
    std::printf("wall time for %d pairs: %.1f s\n", rounds,
                static_cast<double>(wall.elapsed()) / 1000.0);
    return 0;
}
