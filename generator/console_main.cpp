// MorvantaConsole: the generation run of Morvanta without a desktop. It reads
// the same data file, writes the same documents and prints every message.
// Exit status: 0 after a complete run, 1 when there was nothing to generate,
// 2 after a failure that ended the run (the output folder's included), 3
// after a run over every row in which some documents could not be made
// (their messages, and how many certificates are missing, were printed).

#include "common/environment.h"
#include "common/error.h"
#include "common/staleleftovers.h"
#include "generator/certificatefill.h"
#include "generator/consoleview.h"
#include "generator/generationrun.h"
#include "office/engine.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

namespace {

void printError(const QString& text)
{
    const QByteArray utf8 = (text + u'\n').toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
}

int run()
{
    office::Engine& engine = office::defaultEngine();
    ConsoleView view(stdout);
    CertificateRecord record;
    auto fill = [&](paths::TemplateKind kind) {
        return [&, kind](const CertificateRecord& values, RunView& messages, bool& matchCase) {
            return fillCertificate(engine, messages, values, kind, matchCase);
        };
    };
    const GenerationCallbacks fills{
        .WordReplace_zhengben = fill(paths::TemplateKind::Original),
        .WordReplace_fuben = fill(paths::TemplateKind::Duplicate),
    };
    switch (runGeneration(engine, view, record, fills)) {
    case GenerationEnd::Completed:
        return 0;
    case GenerationEnd::NoDataFile:
    case GenerationEnd::NoData:
        return 1;
    case GenerationEnd::Stopped:
        return 2;
    case GenerationEnd::Incomplete:
        return 3;
    }
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    environment::settle();
    QCoreApplication app(argc, argv);
    staleleftovers::clearAtStart(); // what a killed program of ours left
    int status = 2;
    try {
        status = run();
    } catch (const morvanta::Error& error) {
        printError(error.message());
    } catch (const std::exception& error) {
        printError(QString::fromLocal8Bit(error.what()));
    }
    // The office ends with the run, before the program's static objects go.
    office::shutdownDefaultEngine();
    return status;
}
