// Margin editor benchmark, run by hand: start-up to the filled window (both
// templates looked up and read, the office's start counted) and confirmation
// to the end (both templates written and put in place), on the default
// templates, cold (a fresh office each round) and warm.

#include "margins/templatemargins.h"
#include "office/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace margins;

namespace {

constexpr int kRounds = 5;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// What the settings window does before it is first shown.
void startUp()
{
    if (!TemplatesPresent())
        qFatal("templates missing");
    ReadTemplatePage(TemplateKind::Original);
    ReadTemplatePage(TemplateKind::Duplicate);
}

void confirm(int round)
{
    const QString cm = QString::number(1.5 + round * 0.01, 'f', 2);
    WriteTemplateMargins({cm, cm, cm, cm}, {cm, cm, cm, cm});
}

void report(const char* what, const std::vector<double>& ms)
{
    std::printf("%-44s median %8.1f ms   min %8.1f ms   max %8.1f ms\n", what, median(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    office::EngineOptions options; // as Tolberin runs: on one office
    options.processes = 1;
    office::setDefaultEngineOptions(options);

    QDir().mkpath(paths::templatesDir());
    if (!QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_ORIGINAL),
                     paths::templateFile(TemplateKind::Original)) ||
        !QFile::copy(QStringLiteral(MORVANTA_TEMPLATE_DUPLICATE),
                     paths::templateFile(TemplateKind::Duplicate)))
        qFatal("cannot copy the default templates; build the default_templates target");

    std::vector<double> coldStart, coldConfirm, warmStart, warmConfirm;
    for (int round = 0; round < kRounds; ++round) {
        // A program run: a new office for the start-up, the same one for the
        // confirmation.
        office::shutdownDefaultEngine();
        coldStart.push_back(millisecondsOf(startUp));
        coldConfirm.push_back(millisecondsOf([round] { confirm(round); }));
        warmStart.push_back(millisecondsOf(startUp));
        warmConfirm.push_back(millisecondsOf([round] { confirm(round + kRounds); }));
    }
    office::shutdownDefaultEngine();

    std::printf("Tolberin, %d rounds on the default templates\n", kRounds);
    report("start-up to filled window (office start)", coldStart);
    report("confirm to end (two writes)", coldConfirm);
    report("start-up, office already running", warmStart);
    report("confirm, office already running", warmConfirm);
    return 0;
}
